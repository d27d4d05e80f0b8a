// The version resource of PE32 / PE32+ images, read through the section table
// the way the loader maps them, without loading the image.
#include <algorithm>
#include <cstring>
#include <vector>

#include "describe/VersionResource.h"
#include "describe/VersionResourceBytes.h"

namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVersionId = 1;
constexpr uint32_t kHighBit = 0x80000000u;

struct Section {
  uint32_t va = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawPointer = 0;
};

class PeImage {
 public:
  PeImage(IByteSource& src, std::vector<Section> sections) : src_(src), sections_(std::move(sections)) {}

  // Reads size bytes at an RVA. The range must lie in one section; bytes of
  // the section's virtual size past its raw data read as zeros, as mapped.
  bool ReadRva(uint64_t rva, void* out, size_t size) const {
    for (const Section& s : sections_) {
      uint64_t span = std::max(s.virtualSize, s.rawSize);
      if (rva < s.va || rva - s.va >= span) continue;
      uint64_t offset = rva - s.va;
      if (size > span - offset) return false;
      uint64_t fromFile = offset < s.rawSize ? std::min<uint64_t>(size, s.rawSize - offset) : 0;
      auto* p = static_cast<uint8_t*>(out);
      if (fromFile && !src_.Read(uint64_t{s.rawPointer} + offset, p, fromFile)) return false;
      if (size > fromFile) std::memset(p + fromFile, 0, size - fromFile);
      return true;
    }
    return false;
  }

 private:
  IByteSource& src_;
  std::vector<Section> sections_;
};

struct DirEntry {
  uint32_t name = 0;
  uint32_t target = 0;
  bool IsId(uint32_t id) const { return (name & kHighBit) == 0 && name == id; }
  bool IsDirectory() const { return (target & kHighBit) != 0; }
  uint32_t Offset() const { return target & ~kHighBit; }
};

// The entries of the resource directory at base + offset (named first, then
// ids). Counts are 16-bit, so at most 131070 entries: the read is bounded.
bool ReadDirectory(const PeImage& image, uint64_t base, uint32_t offset, std::vector<DirEntry>& entries) {
  uint8_t header[16];
  if (!image.ReadRva(base + offset, header, sizeof header)) return false;
  size_t count = size_t{LoadLe16(header + 12)} + LoadLe16(header + 14);
  std::vector<uint8_t> raw(count * 8);
  if (!image.ReadRva(base + offset + 16, raw.data(), raw.size())) return false;
  entries.resize(count);
  for (size_t i = 0; i < count; ++i) {
    entries[i].name = LoadLe32(raw.data() + i * 8);
    entries[i].target = LoadLe32(raw.data() + i * 8 + 4);
  }
  return true;
}

}  // namespace

std::optional<VersionResource> FindPeVersionResource(IByteSource& src, uint32_t lfanew) {
  // COFF file header right after the "PE\0\0" signature.
  uint8_t coff[20];
  if (!src.Read(uint64_t{lfanew} + 4, coff, sizeof coff)) return std::nullopt;
  uint16_t sectionCount = LoadLe16(coff + 2);
  uint16_t optionalSize = LoadLe16(coff + 16);
  uint64_t optionalOffset = uint64_t{lfanew} + 24;

  std::vector<uint8_t> optional(optionalSize);
  if (!src.Read(optionalOffset, optional.data(), optional.size()) || optionalSize < 2) return std::nullopt;
  size_t countField, dirOffset;
  switch (LoadLe16(optional.data())) {
    case 0x10B: countField = 92, dirOffset = 96; break;    // PE32
    case 0x20B: countField = 108, dirOffset = 112; break;  // PE32+
    default: return std::nullopt;
  }
  const size_t resourceDir = dirOffset + 2 * 8;  // data directory 2: resources
  if (optionalSize < resourceDir + 8 || LoadLe32(optional.data() + countField) <= 2) return std::nullopt;
  uint32_t resourceRva = LoadLe32(optional.data() + resourceDir);
  if (resourceRva == 0) return std::nullopt;

  if (sectionCount == 0) return std::nullopt;
  std::vector<uint8_t> table(size_t{sectionCount} * 40);
  if (!src.Read(optionalOffset + optionalSize, table.data(), table.size())) return std::nullopt;
  std::vector<Section> sections(sectionCount);
  for (size_t i = 0; i < sectionCount; ++i) {
    const uint8_t* e = table.data() + i * 40;
    sections[i].virtualSize = LoadLe32(e + 8);
    sections[i].va = LoadLe32(e + 12);
    sections[i].rawSize = LoadLe32(e + 16);
    sections[i].rawPointer = LoadLe32(e + 20);
  }
  PeImage image(src, std::move(sections));

  // Three levels: type, name, language.
  std::vector<DirEntry> entries;
  if (!ReadDirectory(image, resourceRva, 0, entries)) return std::nullopt;
  auto type = std::find_if(entries.begin(), entries.end(), [](const DirEntry& e) { return e.IsId(kRtVersion); });
  if (type == entries.end() || !type->IsDirectory()) return std::nullopt;

  uint32_t namesOffset = type->Offset();
  if (!ReadDirectory(image, resourceRva, namesOffset, entries) || entries.empty()) return std::nullopt;
  // The version services ask for id 1; a file that only has another id
  // still has its first one read.
  auto name = std::find_if(entries.begin(), entries.end(), [](const DirEntry& e) { return e.IsId(kVersionId); });
  if (name == entries.end()) name = entries.begin();
  if (!name->IsDirectory()) return std::nullopt;

  uint32_t languagesOffset = name->Offset();
  if (!ReadDirectory(image, resourceRva, languagesOffset, entries) || entries.empty()) return std::nullopt;
  if (entries.front().IsDirectory()) return std::nullopt;

  uint8_t dataEntry[16];
  if (!image.ReadRva(uint64_t{resourceRva} + entries.front().Offset(), dataEntry, sizeof dataEntry))
    return std::nullopt;
  uint32_t dataRva = LoadLe32(dataEntry);
  uint32_t dataSize = LoadLe32(dataEntry + 4);
  if (dataSize == 0 || dataSize > kMaxVersionResourceSize) return std::nullopt;

  VersionResource resource;
  resource.layout = VersionLayout::Wide;
  resource.data.resize(dataSize);
  if (!image.ReadRva(dataRva, resource.data.data(), dataSize)) return std::nullopt;
  return resource;
}
