#include "picture/Bitmap.h"

#include <atomic>
#include <limits>

namespace {
// 2^28 pixels is a 16384 x 16384 picture: one gigabyte at 32 bits per pixel.
std::atomic<uint64_t> g_pixelLimit{uint64_t{1} << 28};
}  // namespace

uint64_t PLPixelLimit() { return g_pixelLimit.load(std::memory_order_relaxed); }
void PLSetPixelLimit(uint64_t pixels) { g_pixelLimit.store(pixels, std::memory_order_relaxed); }

PLBitmap::PLBitmap(int width, int height, int bitsPerPixel) { Create(width, height, bitsPerPixel); }

void PLBitmap::Create(int width, int height, int bitsPerPixel) {
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32)
    throw PLTextException("Unsupported bitmap depth: " + std::to_string(bitsPerPixel) + " bits per pixel");
  if (width < 0 || height < 0) throw PLTextException("Invalid bitmap size");
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > PLPixelLimit())
    throw PLTextException("Picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels");
  const uint64_t rowBits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel);
  const size_t stride = static_cast<size_t>(((rowBits + 31) / 32) * 4);
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(height));
  std::vector<PLPixel32> palette;
  if (bitsPerPixel <= 8) palette.resize(size_t{1} << bitsPerPixel);
  width_ = width;
  height_ = height;
  bpp_ = bitsPerPixel;
  stride_ = stride;
  pixels_ = std::move(pixels);
  palette_ = std::move(palette);
}

unsigned PLBitmap::GetIndex(int x, int y) const {
  const uint8_t* row = Row(y);
  switch (bpp_) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8:
      return row[x];
    default:
      return 0;
  }
}

void PLBitmap::SetIndex(int x, int y, unsigned index) {
  uint8_t* row = Row(y);
  switch (bpp_) {
    case 1: {
      const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = (index & 1u) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
      break;
    }
    case 4:
      if (x & 1)
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0u) | (index & 0x0Fu));
      else
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0Fu) | ((index & 0x0Fu) << 4));
      break;
    case 8:
      row[x] = static_cast<uint8_t>(index);
      break;
    default:
      break;
  }
}

PLPixel32 PLBitmap::GetPixel(int x, int y) const {
  if (bpp_ <= 8) {
    const unsigned index = GetIndex(x, y);
    if (index >= palette_.size()) return {};
    PLPixel32 p = palette_[index];
    p.a = 0;
    return p;
  }
  const uint8_t* row = Row(y);
  if (bpp_ == 24) {
    const uint8_t* p = row + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2], 0};
  }
  const uint8_t* p = row + static_cast<size_t>(x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

void PLBitmap::SetPixel(int x, int y, PLPixel32 colour) {
  uint8_t* row = Row(y);
  if (bpp_ == 24) {
    uint8_t* p = row + static_cast<size_t>(x) * 3;
    p[0] = colour.b;
    p[1] = colour.g;
    p[2] = colour.r;
  } else if (bpp_ == 32) {
    uint8_t* p = row + static_cast<size_t>(x) * 4;
    p[0] = colour.b;
    p[1] = colour.g;
    p[2] = colour.r;
    p[3] = colour.a;
  }
}
