// Builders of MPEG audio frames, Xing headers and ID3 tags for the tests.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace mp3test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
inline void Append(Bytes& out, const std::string& more) { out.insert(out.end(), more.begin(), more.end()); }
inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline void Put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Version codes of the header: 0 = MPEG-2.5, 1 = reserved, 2 = MPEG-2, 3 = MPEG-1.
// Layer codes: 1 = III, 2 = II, 3 = I, 0 = reserved.
struct Header {
  int versionCode = 3;
  int layerCode = 1;
  int rateIndex = 9;  // 128 kbit/s for MPEG-1 Layer III
  int freqIndex = 0;  // 44100 Hz
  int mode = 0;       // stereo
};

inline Bytes HeaderBytes(const Header& h) {
  return {0xFF, static_cast<uint8_t>(0xE0 | (h.versionCode << 3) | (h.layerCode << 1) | 1),
          static_cast<uint8_t>((h.rateIndex << 4) | (h.freqIndex << 2)), static_cast<uint8_t>(h.mode << 6)};
}

// The length a Layer II or III frame of the header has (no padding).
inline size_t FrameLength(const Header& h) {
  static const int kMpeg1L3[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const int kMpeg1L2[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
  static const int kLsf[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const int kRates[4] = {44100, 48000, 32000, 0};
  const bool mpeg1 = h.versionCode == 3;
  const int kbps = (mpeg1 ? (h.layerCode == 1 ? kMpeg1L3 : kMpeg1L2) : kLsf)[h.rateIndex];
  const int rate = kRates[h.freqIndex] / (mpeg1 ? 1 : h.versionCode == 2 ? 2 : 4);
  if (kbps == 0 || rate == 0) return 417;
  return static_cast<size_t>((mpeg1 || h.layerCode == 2 ? 144 : 72) * kbps * 1000 / rate);
}

// A frame of size bytes (by default its header's length): the header, then
// zeros (which never look like a sync).
inline Bytes Frame(const Header& h, size_t size = 0) {
  Bytes f = HeaderBytes(h);
  f.resize(size ? size : FrameLength(h), 0);
  return f;
}

// Where the Xing header stands after the frame header.
inline size_t XingOffset(const Header& h) {
  bool odd = (h.versionCode == 3 || h.versionCode == 1);
  return odd ? (h.mode == 3 ? 21 : 36) : (h.mode == 3 ? 13 : 21);
}

struct Xing {
  bool hasFrames = true;
  uint32_t frames = 0;
  bool hasBytes = true;
  uint32_t bytes = 0;
  bool hasToc = false;
  bool hasScale = false;
  uint32_t scale = 0;
};

inline Bytes XingFrame(const Header& h, const Xing& x, size_t size = 417, const char* name = "Xing") {
  Bytes f = HeaderBytes(h);
  f.resize(XingOffset(h), 0);
  Append(f, std::string(name));
  Put32(f, (x.hasFrames ? 1u : 0u) | (x.hasBytes ? 2u : 0u) | (x.hasToc ? 4u : 0u) | (x.hasScale ? 8u : 0u));
  if (x.hasFrames) Put32(f, x.frames);
  if (x.hasBytes) Put32(f, x.bytes);
  if (x.hasToc)
    for (int i = 0; i < 100; ++i) f.push_back(static_cast<uint8_t>(i));
  if (x.hasScale) Put32(f, x.scale);
  if (f.size() < size) f.resize(size, 0);
  return f;
}

// The 128-byte ID3v1 record.
struct V1 {
  std::string title, artist, album, year, comment;
  int track = -1;  // -1: no ID3v1.1 track (comment may use all 30 bytes)
  uint8_t genre = 255;
};

inline Bytes Id3v1(const V1& v) {
  Bytes r(128, 0);
  std::memcpy(r.data(), "TAG", 3);
  auto field = [&r](size_t at, const std::string& s, size_t width) {
    std::memcpy(r.data() + at, s.data(), std::min(s.size(), width));
  };
  field(3, v.title, 30);
  field(33, v.artist, 30);
  field(63, v.album, 30);
  field(93, v.year, 4);
  field(97, v.comment, v.track >= 0 ? 28 : 30);
  if (v.track >= 0) {
    r[125] = 0;
    r[126] = static_cast<uint8_t>(v.track);
  }
  r[127] = v.genre;
  return r;
}

struct V2Frame {
  std::string id;
  Bytes data;
  uint8_t flag1 = 0, flag2 = 0;
};

// A text frame: encoding byte then the text bytes as given.
inline V2Frame TextFrame(const std::string& id, const std::string& text, uint8_t encoding = 0) {
  V2Frame f{id, {encoding}};
  Append(f.data, text);
  return f;
}

// Data compressed as a v2.3 frame carries it: declared length, zlib stream.
inline Bytes Compress(const Bytes& data, uint32_t declared) {
  uLongf len = compressBound(data.size());
  Bytes z(len);
  compress(z.data(), &len, data.data(), data.size());
  z.resize(len);
  Bytes out;
  Put32(out, declared);
  Append(out, z);
  return out;
}

inline void PutSynchsafe(Bytes& out, uint32_t v) {
  for (int shift = 21; shift >= 0; shift -= 7) out.push_back(static_cast<uint8_t>((v >> shift) & 0x7F));
}

// An ID3v2 tag of the major version (2, 3 or 4) with the frames and padding.
inline Bytes Id3v2(int major, const std::vector<V2Frame>& frames, size_t padding = 0) {
  Bytes body;
  for (const auto& f : frames) {
    Append(body, f.id);
    uint32_t n = static_cast<uint32_t>(f.data.size());
    if (major == 2) {
      body.push_back(static_cast<uint8_t>(n >> 16));
      body.push_back(static_cast<uint8_t>(n >> 8));
      body.push_back(static_cast<uint8_t>(n));
    } else {
      if (major == 4)
        PutSynchsafe(body, n);
      else
        Put32(body, n);
      body.push_back(f.flag1);
      body.push_back(f.flag2);
    }
    Append(body, f.data);
  }
  body.resize(body.size() + padding, 0);
  Bytes tag = {'I', 'D', '3', static_cast<uint8_t>(major), 0, 0};
  PutSynchsafe(tag, static_cast<uint32_t>(body.size()));
  Append(tag, body);
  return tag;
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A fresh directory under the system temporary directory, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "qv-mp3-XXXXXX").string();
    path_ = mkdtemp(templ.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace mp3test
