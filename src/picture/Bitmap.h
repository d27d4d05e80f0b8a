// The owned bitmap of the picture component: thumbnails and decoded pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The one exception type of the picture component; what() is the message text.
class PLTextException : public std::runtime_error {
 public:
  explicit PLTextException(const std::string& message) : std::runtime_error(message) {}
};

// Largest number of pixels a bitmap may hold; decoders refuse bigger pictures
// before allocating. Lowered by the fuzz targets.
uint64_t PLPixelLimit();
void PLSetPixelLimit(uint64_t pixels);

struct PLPixel32 {
  uint8_t b = 0, g = 0, r = 0, a = 0;  // Windows RGBQUAD order
  bool operator==(const PLPixel32&) const = default;
};

// Rows are stored top-down in memory, each padded to 4 bytes (the BMP row
// size), so a BMP encode is a straight copy. Pixel layouts: 32 bpp B,G,R,A;
// 24 bpp B,G,R; 8, 4 and 1 bpp palette indices, high bits first.
class PLBitmap {
 public:
  PLBitmap() = default;
  // Zeroed pixels; palette sized 2^bpp (all black) for bpp <= 8. Depths 1, 4,
  // 8, 24 and 32; throws PLTextException for another depth, a negative size
  // or more pixels than PLPixelLimit().
  PLBitmap(int width, int height, int bitsPerPixel);

  void Create(int width, int height, int bitsPerPixel);
  bool IsEmpty() const { return width_ == 0 || height_ == 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bpp_; }
  size_t Stride() const { return stride_; }  // bytes per row, multiple of 4

  uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * stride_; }
  const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * stride_; }
  std::vector<PLPixel32>& Palette() { return palette_; }
  const std::vector<PLPixel32>& Palette() const { return palette_; }

  // Colour of one pixel whatever the depth (alpha as stored for 32 bpp, else 0;
  // an index beyond the palette reads as black).
  PLPixel32 GetPixel(int x, int y) const;
  // Palette index (bpp <= 8) or nothing meaningful otherwise.
  unsigned GetIndex(int x, int y) const;
  void SetIndex(int x, int y, unsigned index);
  void SetPixel(int x, int y, PLPixel32 colour);  // 24 and 32 bpp only

  bool operator==(const PLBitmap&) const = default;

 private:
  int width_ = 0, height_ = 0, bpp_ = 0;
  size_t stride_ = 0;
  std::vector<uint8_t> pixels_;
  std::vector<PLPixel32> palette_;
};

// A complete BMP file image: 14-byte file header, 40-byte info header,
// palette, bottom-up rows padded to 4 bytes.
// An empty bitmap encodes as no bytes at all.
std::vector<uint8_t> PLEncodeBmp(const PLBitmap& bitmap);

// Decodes a BMP file image (also top-down rows, OS/2 core headers, RLE4,
// RLE8 and bit-field masks). Throws PLTextException on bad data.
PLBitmap PLDecodeBmp(const uint8_t* data, size_t size);
// True when the bytes start like a BMP file or a bare DIB info header.
bool PLIsBmp(const uint8_t* data, size_t size);
