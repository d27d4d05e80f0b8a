// Writes small uncompressed cabinets byte by byte, so tests can store names
// and sizes that no well-behaved cabinet tool would write.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct CabTestMember {
  std::string name;  // stored as is ("\" separators)
  std::string data;
  uint16_t date = (19 << 9) | (6 << 5) | 15;  // 1999-06-15
  uint16_t time = (10 << 11) | (30 << 5) | 5;  // 10:30:10
  uint16_t attribs = 0x20;
  // When nonzero, the size the member claims instead of data.size().
  uint32_t claimedSize = 0;
};

inline std::string BuildTestCabinet(const std::vector<CabTestMember>& members) {
  auto put16 = [](std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
  };
  std::string folderData;
  std::string files;
  for (const CabTestMember& m : members) {
    put32(files, m.claimedSize ? m.claimedSize : static_cast<uint32_t>(m.data.size()));
    put32(files, static_cast<uint32_t>(folderData.size()));
    put16(files, 0);  // folder 0
    put16(files, m.date);
    put16(files, m.time);
    put16(files, m.attribs);
    files += m.name;
    files += '\0';
    folderData += m.data;
  }
  std::string blocks;
  uint16_t blockCount = 0;
  for (size_t at = 0; at < folderData.size() || blockCount == 0; at += 32768) {
    const std::string chunk = folderData.substr(at, 32768);
    put32(blocks, 0);  // no checksum
    put16(blocks, static_cast<uint32_t>(chunk.size()));
    put16(blocks, static_cast<uint32_t>(chunk.size()));
    blocks += chunk;
    ++blockCount;
    if (folderData.empty()) break;
  }
  const uint32_t headerSize = 36, folderSize = 8;
  const uint32_t filesAt = headerSize + folderSize;
  const uint32_t dataAt = filesAt + static_cast<uint32_t>(files.size());
  const uint32_t total = dataAt + static_cast<uint32_t>(blocks.size());
  std::string cab = "MSCF";
  put32(cab, 0);
  put32(cab, total);
  put32(cab, 0);
  put32(cab, filesAt);
  put32(cab, 0);
  cab += static_cast<char>(3);  // version 1.3
  cab += static_cast<char>(1);
  put16(cab, 1);  // one folder
  put16(cab, static_cast<uint32_t>(members.size()));
  put16(cab, 0);  // flags
  put16(cab, 0x1234);
  put16(cab, 0);
  put32(cab, dataAt);
  put16(cab, blockCount);
  put16(cab, 0);  // stored, no compression
  return cab + files + blocks;
}

inline void WriteTestCabinet(const std::string& path, const std::vector<CabTestMember>& members) {
  std::ofstream(path, std::ios::binary) << BuildTestCabinet(members);
}
