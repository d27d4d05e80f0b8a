// Version resources of Windows executables (PE32, PE32+ and 16-bit NE): the
// executable describer, beside the MP3 and picture describers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "describe/VersionResource.h"

// VS_FIXEDFILEINFO, the 52-byte fixed version record.
struct VsFixedFileInfo {
  uint32_t signature = 0;  // 0xFEEF04BD when valid
  uint32_t strucVersion = 0;
  uint32_t fileVersionMS = 0;
  uint32_t fileVersionLS = 0;
  uint32_t productVersionMS = 0;
  uint32_t productVersionLS = 0;
  uint32_t fileFlagsMask = 0;
  uint32_t fileFlags = 0;
  uint32_t fileOS = 0;
  uint32_t fileType = 0;
  uint32_t fileSubtype = 0;
  uint32_t fileDateMS = 0;
  uint32_t fileDateLS = 0;
};

constexpr uint32_t kVsFixedFileInfoSignature = 0xFEEF04BD;

// Reads one file's version resource and answers queries on it; short-lived,
// one per described file.
class VersionInfoReader {
 public:
  // True when the file holds a version resource with a valid fixed record.
  // A file that cannot be opened has none; a read error of the medium
  // throws std::system_error.
  bool ReadFileVersion(const std::string& path);
  // The same for a module already loaded in this process. Windows modules are
  // never loaded here, so there is never one: false.
  bool ReadModuleVersion(const std::string& moduleName);
  // The same over any byte source (an image in memory, for instance).
  bool ReadVersion(IByteSource& source);

  // The value of a string key ("CompanyName", ...) of the string table named
  // by the first translation, UTF-8; empty when there is no data or no value.
  // Without a translation table (or with one naming a table the file lacks)
  // the first string table is used.
  std::string QueryVersionString(const std::string& key) const;
  // A raw VerQueryValue-style lookup: "\", "\VarFileInfo\Translation", ...
  // Returns false when the path does not exist.
  bool QueryValue(const std::string& path, std::span<const uint8_t>& value) const;

  const VsFixedFileInfo& FixedInfo() const { return fixedInfo_; }
  uint16_t Language() const { return language_; }
  uint16_t CodePage() const { return codePage_; }
  bool HasTranslation() const { return hasTranslation_; }
  // The version resource as read (like GetFileVersionInfo's block).
  const std::vector<uint8_t>& Data() const { return data_; }
  VersionLayout Layout() const { return layout_; }

 private:
  std::vector<uint8_t> data_;
  VersionLayout layout_ = VersionLayout::Wide;
  uint16_t language_ = 0;
  uint16_t codePage_ = 1252;
  bool hasTranslation_ = false;
  VsFixedFileInfo fixedInfo_;
};

// The string keys of a description, in their order.
extern const char* const kVersionStringKeys[8];

// "Version: a.b.c.d" and one "Key:<TAB>value" line per string key, each line
// ended by CR LF.
std::string FormatVersionDescription(const VersionInfoReader& reader);

// The description text of an executable's version resource; empty when the
// file holds none. May throw std::exception on an I/O failure.
std::string DescribeExecutable(const std::string& path);
// The in/out form: replaces description when the file has a version
// resource, leaves it as it was otherwise. Always true: every executable
// counts as described.
bool DescribeExecutable(const std::string& path, std::string& description);
// The description of an executable image held in memory.
std::string DescribeExecutableImage(std::span<const uint8_t> image);
