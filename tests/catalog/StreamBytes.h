// Builds catalog stream bytes by hand, so tests state the format directly.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct StreamBytes {
  std::vector<uint8_t> v;

  StreamBytes& u8(uint8_t x) {
    v.push_back(x);
    return *this;
  }
  StreamBytes& u16(uint16_t x) { return u8(static_cast<uint8_t>(x)).u8(static_cast<uint8_t>(x >> 8)); }
  StreamBytes& u32(uint32_t x) { return u16(static_cast<uint16_t>(x)).u16(static_cast<uint16_t>(x >> 16)); }
  StreamBytes& raw(const std::string& s) {
    v.insert(v.end(), s.begin(), s.end());
    return *this;
  }
  StreamBytes& raw(const std::vector<uint8_t>& b) {
    v.insert(v.end(), b.begin(), b.end());
    return *this;
  }
  // A string in the single-byte form, with the shortest length prefix.
  StreamBytes& str(const std::string& bytes) {
    const size_t n = bytes.size();
    if (n < 0xFF) {
      u8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
      u8(0xFF).u16(static_cast<uint16_t>(n));
    } else {
      u8(0xFF).u16(0xFFFF).u32(static_cast<uint32_t>(n));
    }
    return raw(bytes);
  }
  // A string in the UTF-16 form.
  StreamBytes& wstr(const std::u16string& units) {
    u8(0xFF).u16(0xFFFE);
    if (units.size() < 0xFF)
      u8(static_cast<uint8_t>(units.size()));
    else
      u8(0xFF).u16(static_cast<uint16_t>(units.size()));
    for (char16_t c : units) u16(static_cast<uint16_t>(c));
    return *this;
  }
  // A new-class tag with schema 1.
  StreamBytes& newClass(const std::string& name, uint16_t schema = 1) {
    return u16(0xFFFF).u16(schema).u16(static_cast<uint16_t>(name.size())).raw(name);
  }
  StreamBytes& classRef(uint16_t n) { return u16(static_cast<uint16_t>(0x8000 | n)); }
  // The CFileItem fields present in a stream of the given version.
  StreamBytes& itemFields(int version, uint8_t type, const std::string& name, uint32_t size, uint32_t time,
                          int16_t level, uint8_t attributes, uint32_t isArchive = 0,
                          const std::string& description = {}) {
    u8(type).str(name).u32(size).u32(time).u16(static_cast<uint16_t>(level)).u8(attributes);
    if (version >= 1) u32(isArchive);
    if (version >= 2) str(description);
    if (version >= 3) u8(0);
    return *this;
  }
};

// Deflates the plain bytes of successive blocks as one sync-flushed stream.
class BlockDeflater {
 public:
  BlockDeflater() {
    if (deflateInit(&zs_, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::runtime_error("deflateInit");
  }
  ~BlockDeflater() { deflateEnd(&zs_); }
  std::vector<uint8_t> Block(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> out(plain.size() * 2 + 256);
    zs_.next_in = const_cast<uint8_t*>(plain.data());
    zs_.avail_in = static_cast<uInt>(plain.size());
    zs_.next_out = out.data();
    zs_.avail_out = static_cast<uInt>(out.size());
    if (deflate(&zs_, Z_SYNC_FLUSH) != Z_OK) throw std::runtime_error("deflate");
    // Erased rather than resized: only ever shrinks (resize makes GCC warn of a fill).
    out.erase(out.end() - static_cast<std::ptrdiff_t>(zs_.avail_out), out.end());
    return out;
  }

 private:
  z_stream zs_{};
};

// The blocks of a compressed version-4 stream, inflated.
struct ParsedBlock {
  uint32_t itemCount = 0;
  std::vector<uint8_t> payload;
  std::vector<uint8_t> plain;
};

struct ParsedStream {
  uint32_t itemCount = 0;
  std::vector<ParsedBlock> blocks;
  bool streamEnded = false;  // true if the zlib stream was finished
};

inline ParsedStream ParseV4(const std::vector<uint8_t>& bytes) {
  ParsedStream ps;
  size_t pos = 0;
  auto u16 = [&] {
    if (pos + 2 > bytes.size()) throw std::runtime_error("short");
    uint16_t x = static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
    pos += 2;
    return x;
  };
  auto u32 = [&] {
    uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
  };
  auto count = [&] {
    uint16_t w = u16();
    return w == 0xFFFF ? u32() : w;
  };
  if (count() != 0 || count() != 4 || count() != 1) throw std::runtime_error("not a compressed v4 stream");
  ps.itemCount = count();
  z_stream zs{};
  inflateInit(&zs);
  uint32_t seen = 0;
  while (seen < ps.itemCount) {
    ParsedBlock b;
    b.itemCount = u32();
    const uint32_t clen = u32(), plen = u32();
    if (pos + clen > bytes.size()) throw std::runtime_error("short payload");
    b.payload.assign(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + clen));
    pos += clen;
    b.plain.resize(plen);
    zs.next_in = b.payload.data();
    zs.avail_in = clen;
    zs.next_out = b.plain.data();
    zs.avail_out = plen;
    const int rc = inflate(&zs, Z_SYNC_FLUSH);
    if (rc == Z_STREAM_END) ps.streamEnded = true;
    if ((rc != Z_OK && rc != Z_STREAM_END) || zs.avail_out != 0 || zs.avail_in != 0) {
      inflateEnd(&zs);
      throw std::runtime_error("bad block");
    }
    seen += b.itemCount;
    ps.blocks.push_back(std::move(b));
  }
  inflateEnd(&zs);
  if (pos != bytes.size()) throw std::runtime_error("trailing bytes");
  return ps;
}
