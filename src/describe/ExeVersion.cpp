#include "describe/ExeVersion.h"

#include <cstdio>

#include "describe/VersionResourceBytes.h"

const char* const kVersionStringKeys[8] = {"CompanyName",    "FileDescription",  "FileVersion", "InternalName",
                                           "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"};

bool VersionInfoReader::ReadFileVersion(const std::string& path) {
  FileByteSource source;
  if (!source.Open(path)) {
    *this = VersionInfoReader();
    return false;
  }
  return ReadVersion(source);
}

bool VersionInfoReader::ReadModuleVersion(const std::string&) {
  *this = VersionInfoReader();
  return false;
}

bool VersionInfoReader::ReadVersion(IByteSource& source) {
  *this = VersionInfoReader();
  auto resource = FindVersionResource(source);
  if (!resource) return false;
  data_ = std::move(resource->data);
  layout_ = resource->layout;

  VersionTree tree(data_, layout_);
  auto root = tree.Root();
  if (!root) return false;
  // The fixed record is read at the root's value whatever its stated length;
  // only the signature tells whether it is one.
  if (root->end - root->valueOffset < 52) return false;
  const uint8_t* f = data_.data() + root->valueOffset;
  uint32_t* fields[] = {&fixedInfo_.signature,     &fixedInfo_.strucVersion,     &fixedInfo_.fileVersionMS,
                        &fixedInfo_.fileVersionLS, &fixedInfo_.productVersionMS, &fixedInfo_.productVersionLS,
                        &fixedInfo_.fileFlagsMask, &fixedInfo_.fileFlags,        &fixedInfo_.fileOS,
                        &fixedInfo_.fileType,      &fixedInfo_.fileSubtype,      &fixedInfo_.fileDateMS,
                        &fixedInfo_.fileDateLS};
  for (size_t i = 0; i < 13; ++i) *fields[i] = LoadLe32(f + 4 * i);

  std::span<const uint8_t> translation;
  if (QueryValue("\\VarFileInfo\\Translation", translation) && translation.size() > 3) {
    language_ = LoadLe16(translation.data());
    codePage_ = LoadLe16(translation.data() + 2);
    hasTranslation_ = true;
  }
  return fixedInfo_.signature == kVsFixedFileInfoSignature;
}

bool VersionInfoReader::QueryValue(const std::string& path, std::span<const uint8_t>& value) const {
  if (data_.empty()) return false;
  VersionTree tree(data_, layout_);
  auto node = tree.Find(path);
  if (!node) return false;
  value = tree.Value(*node);
  return true;
}

std::string VersionInfoReader::QueryVersionString(const std::string& key) const {
  if (data_.empty()) return {};
  VersionTree tree(data_, layout_);
  auto fileInfo = tree.Find("\\StringFileInfo");
  if (!fileInfo) return {};
  std::optional<VersionNode> table;
  if (hasTranslation_) {
    char name[16];
    std::snprintf(name, sizeof name, "%04x%04x", language_, codePage_);
    table = tree.FindChild(*fileInfo, name);
  }
  if (!table) {
    tree.ForEachChild(*fileInfo, [&](const VersionNode& child) {
      table = child;
      return false;
    });
  }
  if (!table) return {};
  auto value = tree.FindChild(*table, key);
  return value ? tree.Text(*value) : std::string();
}

std::string FormatVersionDescription(const VersionInfoReader& reader) {
  const VsFixedFileInfo& f = reader.FixedInfo();
  char line[64];
  std::snprintf(line, sizeof line, "Version: %u.%u.%u.%u\r\n", f.fileVersionMS >> 16, f.fileVersionMS & 0xFFFF,
                f.fileVersionLS >> 16, f.fileVersionLS & 0xFFFF);
  std::string text = line;
  for (const char* key : kVersionStringKeys) {
    text += key;
    text += ":\t";
    text += reader.QueryVersionString(key);
    text += "\r\n";
  }
  return text;
}

std::string DescribeExecutable(const std::string& path) {
  VersionInfoReader reader;
  if (!reader.ReadFileVersion(path) && !reader.ReadModuleVersion(path)) return {};
  return FormatVersionDescription(reader);
}

bool DescribeExecutable(const std::string& path, std::string& description) {
  std::string text = DescribeExecutable(path);
  if (!text.empty()) description = std::move(text);
  return true;
}

std::string DescribeExecutableImage(std::span<const uint8_t> image) {
  MemoryByteSource source(image);
  VersionInfoReader reader;
  if (!reader.ReadVersion(source)) return {};
  return FormatVersionDescription(reader);
}
