// Reading volume identity from a block device or an image file: libblkid
// finds the file system, label and UUID; the serial number is derived the
// way Windows derives it, so a disc catalogued on either system is
// recognised on the other.
#include <blkid/blkid.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

namespace {

constexpr size_t kBlock = 2048;

// Reads one 2048-byte block at a byte offset (negative: from the end).
bool ReadBlock(int fd, long long offset, unsigned char* out) {
  if (offset < 0) {
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0 || end + offset < 0) return false;
    offset += end;
  }
  size_t done = 0;
  while (done < kBlock) {
    ssize_t n = pread(fd, out + done, kBlock - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Four byte-wise sums over a 2048-byte block.
std::array<uint8_t, 4> ByteSums(const unsigned char* block, size_t length) {
  std::array<uint8_t, 4> sum{};
  for (size_t i = 0; i + 3 < length; i += 4) {
    sum[0] = uint8_t(sum[0] + block[i]);
    sum[1] = uint8_t(sum[1] + block[i + 1]);
    sum[2] = uint8_t(sum[2] + block[i + 2]);
    sum[3] = uint8_t(sum[3] + block[i + 3]);
  }
  return sum;
}

// The volume descriptor Windows takes for an ISO 9660 disc: among sectors
// 16 to 19, up to the set terminator, the one with the highest type (the
// Joliet descriptor when there is one). Returns its byte offset, 0 for none.
long long BestIsoDescriptor(int fd, unsigned char* buffer) {
  long long best = 0;
  int bestType = 0;
  long long extra = 0;
  for (long long offset = 16LL * 2048; offset <= 19LL * 2048; offset += 2048) {
    if (!ReadBlock(fd, offset, buffer)) break;
    // Pre-ISO 9660 ("CDROM" signature) discs shift the descriptor by 8 bytes.
    if (std::memcmp(buffer + 11, "ROM", 3) == 0) extra = 8;
    int type = buffer[extra];
    if (type == 0xff) break;
    if (type > bestType) {
      bestType = type;
      best = offset + extra;
    }
  }
  return best;
}

// Whether the root directory of an ISO 9660 volume carries Rock Ridge
// entries (an "SP" system use entry in its "." record).
bool HasRockRidge(int fd, const unsigned char* pvd) {
  const unsigned char* rootRecord = pvd + 156;
  uint32_t extent = Le32(rootRecord + 2);
  unsigned char block[kBlock];
  if (extent == 0 || !ReadBlock(fd, static_cast<long long>(extent) * kBlock, block)) return false;
  size_t recordLength = block[0];
  size_t nameLength = block[32];
  if (recordLength < 34 || recordLength > kBlock) return false;
  size_t su = 33 + nameLength + ((nameLength % 2 == 0) ? 1 : 0);
  for (size_t i = su; i + 7 <= recordLength; ++i) {
    if (block[i] == 'S' && block[i + 1] == 'P' && block[i + 4] == 0xBE && block[i + 5] == 0xEF) return true;
  }
  return false;
}

// UDF: the serial is the byte sums over the File Set Descriptor, in the
// byte order Windows uses for UDF.
bool UdfPrimaryDescriptor(int fd, unsigned char* pvd) {
  const long long anchors[] = {256, -1, -257, 512};
  for (long long a : anchors) {
    if (!ReadBlock(fd, a * static_cast<long long>(kBlock), pvd)) return false;
    if (pvd[0] == 2 && pvd[1] == 0) {  // anchor volume descriptor pointer
      long long location = static_cast<long long>(Le32(pvd + 20)) * kBlock;
      if (!ReadBlock(fd, location, pvd)) return false;
      return pvd[0] == 1 && pvd[1] == 0 && (pvd[24] == 8 || pvd[24] == 16);
    }
  }
  return false;
}

long long UdfFileSetSector(int fd) {
  unsigned char block[kBlock];
  const long long fallback = 257;
  if (!UdfPrimaryDescriptor(fd, block)) return fallback;
  long long pvdSector = Le32(block + 12);
  // Bounded search for the partition descriptor in the descriptor sequence.
  long long sector = pvdSector + 1;
  for (int guard = 0;; ++guard, ++sector) {
    if (guard > 64 || !ReadBlock(fd, sector * kBlock, block)) return fallback;
    if (block[0] == 5 && block[1] == 0) break;
    if (block[0] == 8 && block[1] == 0) return fallback;
  }
  long long start = Le32(block + 188);
  long long length = Le32(block + 192);
  long long limit = std::min<long long>(length, 4096);
  for (long long s = start; s < start + limit; ++s) {
    if (!ReadBlock(fd, s * kBlock, block)) return fallback;
    if (block[0] == 0 && block[1] == 1) return s;
  }
  return fallback;
}

// The first 8 hexadecimal digits of a UUID-like text as a number ("1234-ABCD").
uint32_t SerialFromUuid(const std::string& uuid, bool lowBits) {
  std::string hex;
  for (char c : uuid)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  if (hex.empty()) return 0;
  if (lowBits && hex.size() > 8) hex = hex.substr(hex.size() - 8);
  if (hex.size() > 8) hex.resize(8);
  return static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

uint32_t Iso9660SerialNumber(const unsigned char* pvd, size_t length) {
  auto sum = ByteSums(pvd, std::min(length, kBlock));
  return uint32_t(sum[0]) << 24 | uint32_t(sum[1]) << 16 | uint32_t(sum[2]) << 8 | uint32_t(sum[3]);
}

std::string WindowsFileSystemName(const std::string& type, const std::string& version) {
  if (type == "iso9660") return "CDFS";
  if (type == "udf") return "UDF";
  if (type == "vfat" || type == "msdos" || type == "fat") return version == "FAT32" ? "FAT32" : "FAT";
  if (type == "exfat") return "exFAT";
  if (type == "ntfs" || type == "ntfs3") return "NTFS";
  return Upper(type);
}

void CaseFlagsOf(const std::string& fs, bool rockRidge, bool& caseSensitive, bool& casePreserving) {
  if (fs == "CDFS") {
    caseSensitive = casePreserving = rockRidge;
  } else if (fs == "FAT" || fs == "FAT32" || fs == "exFAT" || fs == "NTFS" || fs == "VFAT" || fs == "MSDOS") {
    caseSensitive = false;
    casePreserving = true;
  } else {
    caseSensitive = casePreserving = true;
  }
}

std::optional<VolumeInfo> ProbeVolume(const std::string& path) {
  blkid_probe probe = blkid_new_probe_from_filename(path.c_str());
  if (!probe) return std::nullopt;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE |
                                               BLKID_SUBLKS_VERSION);
  std::string type, label, uuid, version;
  if (blkid_do_safeprobe(probe) == 0) {
    auto get = [&](const char* name) {
      const char* data = nullptr;
      size_t len = 0;
      if (blkid_probe_lookup_value(probe, name, &data, &len) == 0 && data)
        return std::string(data, strnlen(data, len));
      return std::string();
    };
    type = get("TYPE");
    label = get("LABEL");
    uuid = get("UUID");
    version = get("VERSION");
  }
  blkid_free_probe(probe);
  if (type.empty()) return std::nullopt;

  VolumeInfo info;
  info.label = label;
  info.fileSystem = WindowsFileSystemName(type, version);
  bool rockRidge = false;
  if (type == "iso9660" || type == "udf") {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      unsigned char block[kBlock];
      if (type == "iso9660") {
        long long best = BestIsoDescriptor(fd, block);
        if (best && ReadBlock(fd, best, block) && std::memcmp(block + 1, "CD001", 5) == 0)
          info.serialNumber = Iso9660SerialNumber(block, kBlock);
        unsigned char pvd[kBlock];
        if (ReadBlock(fd, 16 * kBlock, pvd) && pvd[0] == 1 && std::memcmp(pvd + 1, "CD001", 5) == 0)
          rockRidge = HasRockRidge(fd, pvd);
      } else {
        long long fsd = UdfFileSetSector(fd);
        if (ReadBlock(fd, fsd * kBlock, block)) {
          auto sum = ByteSums(block, kBlock);
          info.serialNumber =
              uint32_t(sum[3]) << 24 | uint32_t(sum[2]) << 16 | uint32_t(sum[1]) << 8 | uint32_t(sum[0]);
        }
      }
      close(fd);
    }
  } else if (type == "ntfs" || type == "ntfs3") {
    info.serialNumber = SerialFromUuid(uuid, true);  // Windows shows the low half of the 64-bit id
  } else {
    info.serialNumber = SerialFromUuid(uuid, false);
  }
  CaseFlagsOf(info.fileSystem, rockRidge, info.caseSensitive, info.casePreserving);
  return info;
}
