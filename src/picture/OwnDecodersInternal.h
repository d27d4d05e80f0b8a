// Helpers shared by our own decoders: bounds-checked reading of file bytes
// and the size checks every decoder applies before allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "picture/Bitmap.h"
#include "picture/OwnDecoders.h"

namespace plown {

// Reads little- or big-endian fields from a byte range; any read past the
// end throws PLTextException("<format> file is truncated").
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size, const char* format)
      : data_(data), size_(size), format_(format) {}

  size_t Pos() const { return pos_; }
  size_t Size() const { return size_; }
  size_t Left() const { return size_ - pos_; }
  const uint8_t* Here() const { return data_ + pos_; }
  const uint8_t* Data() const { return data_; }
  const char* Format() const { return format_; }

  void Seek(size_t pos) {
    if (pos > size_) Truncated();
    pos_ = pos;
  }
  void Skip(size_t count) {
    if (count > Left()) Truncated();
    pos_ += count;
  }
  const uint8_t* Take(size_t count) {
    if (count > Left()) Truncated();
    const uint8_t* p = data_ + pos_;
    pos_ += count;
    return p;
  }
  uint8_t U8() { return *Take(1); }
  uint16_t U16LE() {
    const uint8_t* p = Take(2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  uint16_t U16BE() {
    const uint8_t* p = Take(2);
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
  }
  uint32_t U32LE() {
    const uint8_t* p = Take(4);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  uint32_t U32BE() {
    const uint8_t* p = Take(4);
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
  }
  int16_t I16LE() { return static_cast<int16_t>(U16LE()); }
  int16_t I16BE() { return static_cast<int16_t>(U16BE()); }
  int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
  float F32LE() {
    uint32_t bits = U32LE();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  [[noreturn]] void Truncated() const { throw PLTextException(std::string(format_) + " file is truncated"); }
  [[noreturn]] void Fail(const std::string& what) const { throw PLTextException(std::string(format_) + " file: " + what); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  const char* format_;
};

inline uint16_t GetU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint16_t GetU16BE(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t GetU32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Refuses empty pictures and pictures beyond kPLMaxDecodedPixels.
inline void CheckPictureSize(int64_t width, int64_t height, const char* format) {
  if (width <= 0 || height <= 0)
    throw PLTextException(std::string(format) + " file has an empty or negative picture size");
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kPLMaxDecodedPixels)
    throw PLTextException(std::string(format) + " picture is too large (" + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels)");
}

inline void SetGreyPalette(PLBitmap& bitmap) {
  auto& palette = bitmap.Palette();
  size_t count = palette.size();
  for (size_t i = 0; i < count; ++i) {
    auto level = static_cast<uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
    palette[i] = {level, level, level, 0};
  }
}

// Writes one 24 or 32 bpp pixel (B, G, R[, A]) at column x of a row.
inline void PutRgb(uint8_t* row, int x, int bpp, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 0) {
  uint8_t* p = row + static_cast<size_t>(x) * (bpp / 8);
  p[0] = b;
  p[1] = g;
  p[2] = r;
  if (bpp == 32) p[3] = a;
}

}  // namespace plown
