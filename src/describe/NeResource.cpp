// The version resource of 16-bit NE files (Windows 3.x programs, libraries and
// VBX controls), found through the NE resource table.
#include <algorithm>
#include <vector>

#include "describe/VersionResource.h"
#include "describe/VersionResourceBytes.h"

namespace {

constexpr uint16_t kRtVersion = 0x8010;  // integer type 16
constexpr uint16_t kVersionId = 0x8001;  // integer id 1
constexpr size_t kTypeInfoSize = 8;      // type id, count, reserved
constexpr size_t kNameInfoSize = 12;     // offset, length, flags, id, reserved

}  // namespace

std::optional<VersionResource> FindNeVersionResource(IByteSource& src, uint32_t lfanew) {
  uint8_t header[64];
  if (!src.Read(lfanew, header, sizeof header)) return std::nullopt;
  uint16_t tableOffset = LoadLe16(header + 0x24);
  uint16_t residentNamesOffset = LoadLe16(header + 0x26);
  if (tableOffset == residentNamesOffset) return std::nullopt;  // no resources

  // The table ends where the resident-name table starts; when the header says
  // otherwise, read what the 16-bit offsets can reach and rely on the zero
  // type that closes the table.
  uint64_t tableStart = uint64_t{lfanew} + tableOffset;
  if (tableStart >= src.Size()) return std::nullopt;
  size_t tableSize = residentNamesOffset > tableOffset ? residentNamesOffset - tableOffset : 0x10000;
  tableSize = static_cast<size_t>(std::min<uint64_t>(tableSize, src.Size() - tableStart));
  std::vector<uint8_t> table(tableSize);
  if (!src.Read(tableStart, table.data(), table.size()) || tableSize < 2) return std::nullopt;

  uint16_t shift = LoadLe16(table.data());
  if (shift >= 32) return std::nullopt;

  const uint8_t* found = nullptr;
  size_t pos = 2;
  while (!found && tableSize - pos >= 2) {
    uint16_t typeId = LoadLe16(table.data() + pos);
    if (typeId == 0) break;
    if (tableSize - pos < kTypeInfoSize) return std::nullopt;
    size_t count = LoadLe16(table.data() + pos + 2);
    size_t names = pos + kTypeInfoSize;
    if (count > (tableSize - names) / kNameInfoSize) return std::nullopt;
    if (typeId == kRtVersion && count > 0) {
      found = table.data() + names;  // the first, unless id 1 is further on
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* info = table.data() + names + i * kNameInfoSize;
        if (LoadLe16(info + 6) == kVersionId) {
          found = info;
          break;
        }
      }
    }
    pos = names + count * kNameInfoSize;
  }
  if (!found) return std::nullopt;

  uint64_t offset = uint64_t{LoadLe16(found)} << shift;
  uint64_t length = uint64_t{LoadLe16(found + 2)} << shift;
  if (offset >= src.Size() || length == 0) return std::nullopt;
  // The length is rounded up to the alignment, so the last resource of a
  // file may legitimately end past the file; the block's own length decides.
  length = std::min<uint64_t>({length, src.Size() - offset, kMaxVersionResourceSize});

  VersionResource resource;
  resource.layout = VersionLayout::Ansi;
  resource.data.resize(static_cast<size_t>(length));
  if (!src.Read(offset, resource.data.data(), resource.data.size())) return std::nullopt;
  return resource;
}
