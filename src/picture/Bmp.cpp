// The Windows BMP codec: the thumbnail format of catalog files, and the
// decoder for .BMP, .DIB and .RLE pictures.
#include <bit>
#include <climits>
#include <cstring>

#include "picture/Bitmap.h"

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

constexpr size_t kFileHeaderSize = 14;

bool ValidDepth(unsigned bpp) { return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32; }

// Header sizes in use: OS/2 1.x core (12), OS/2 2.x (16 to 64), Windows 40,
// 52, 56, 108 (V4) and 124 (V5).
bool PlausibleHeaderSize(uint32_t hs) { return hs == 12 || (hs >= 16 && hs <= 64) || hs == 108 || hs == 124; }

bool PlausibleDib(const uint8_t* p, size_t avail) {
  if (avail < 16) return false;
  const uint32_t hs = U32(p);
  if (!PlausibleHeaderSize(hs)) return false;
  const unsigned planes = hs == 12 ? U16(p + 8) : U16(p + 12);
  const unsigned bpp = hs == 12 ? U16(p + 10) : U16(p + 14);
  return planes == 1 && ValidDepth(bpp);
}

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    bits = 32 - std::countl_zero(m) - shift;  // holes in a mask are read as part of it
  }
  uint8_t Get(uint32_t v) const {
    if (bits == 0) return 0;
    const uint32_t value = (v & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((value * 255 + max / 2) / max);
  }
};

void ZeroRowTail(PLBitmap& bmp, int y) {
  // Keeps the bits past the last pixel clear, so equal pictures compare equal.
  const uint64_t usedBits = static_cast<uint64_t>(bmp.Width()) * static_cast<uint64_t>(bmp.BitsPerPixel());
  const size_t fullBytes = static_cast<size_t>(usedBits / 8);
  uint8_t* row = bmp.Row(y);
  size_t from = fullBytes;
  if (usedBits % 8) {
    row[fullBytes] &= static_cast<uint8_t>(0xFF00u >> (usedBits % 8));
    from = fullBytes + 1;
  }
  if (from < bmp.Stride()) std::memset(row + from, 0, bmp.Stride() - from);
}

void DecodeRle(const uint8_t* data, size_t size, size_t pos, bool rle4, bool topDown, PLBitmap& bmp) {
  const int w = bmp.Width(), h = bmp.Height();
  auto put = [&](int x, int y, unsigned index) {
    if (x < w && y < h) bmp.SetIndex(x, topDown ? y : h - 1 - y, index);
  };
  int x = 0, y = 0;
  while (pos + 1 < size && y < h) {
    const unsigned n = data[pos], c = data[pos + 1];
    pos += 2;
    if (n > 0) {
      for (unsigned i = 0; i < n && x < w; ++i, ++x) put(x, y, rle4 ? ((i & 1) ? (c & 0x0F) : (c >> 4)) : c);
    } else if (c == 0) {
      x = 0;
      ++y;
    } else if (c == 1) {
      break;
    } else if (c == 2) {
      if (pos + 1 >= size) break;
      x += data[pos];
      y += data[pos + 1];
      pos += 2;
    } else {
      const size_t bytes = rle4 ? (c + 1) / 2 : c;
      for (unsigned i = 0; i < c && x < w; ++i, ++x) {
        const size_t at = pos + (rle4 ? i / 2 : i);
        if (at >= size) break;
        put(x, y, rle4 ? ((i & 1) ? (data[at] & 0x0F) : (data[at] >> 4)) : data[at]);
      }
      pos += bytes + (bytes & 1);  // absolute runs are padded to a word
    }
  }
}

}  // namespace

bool PLIsBmp(const uint8_t* data, size_t size) {
  if (size >= kFileHeaderSize + 16 && data[0] == 'B' && data[1] == 'M')
    return PlausibleHeaderSize(U32(data + kFileHeaderSize));
  return PlausibleDib(data, size);
}

PLBitmap PLDecodeBmp(const uint8_t* data, size_t size) {
  if (data == nullptr || size < 16) throw PLTextException("Not a BMP file: too short");
  size_t base = 0;
  uint32_t offBits = 0;
  if (data[0] == 'B' && data[1] == 'M') {
    base = kFileHeaderSize;
    offBits = U32(data + 10);
    if (size < base + 16) throw PLTextException("Not a BMP file: too short");
  } else if (!PlausibleDib(data, size)) {
    throw PLTextException("Not a BMP file");
  }
  const uint8_t* ih = data + base;
  const uint32_t hs = U32(ih);
  if (!PlausibleHeaderSize(hs)) throw PLTextException("BMP file with an unknown header size " + std::to_string(hs));
  if (base + hs > size) throw PLTextException("BMP file truncated in its header");

  const bool core = hs == 12;
  int64_t width, height;
  unsigned bpp;
  uint32_t compression = kBiRgb, colorsUsed = 0;
  if (core) {
    width = U16(ih + 4);
    height = U16(ih + 6);
    bpp = U16(ih + 10);
  } else {
    width = static_cast<int32_t>(U32(ih + 4));
    height = static_cast<int32_t>(U32(ih + 8));
    bpp = U16(ih + 14);
    if (hs >= 20) compression = U32(ih + 16);
    if (hs >= 36) colorsUsed = U32(ih + 32);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) throw PLTextException("BMP file with an invalid size");
  if (!ValidDepth(bpp)) throw PLTextException("BMP file with an unsupported depth of " + std::to_string(bpp) + " bits");

  // OS/2 2.x reuses codes 3 and 4 for Huffman and 24-bit RLE.
  const bool os2v2 = !core && hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124;
  bool supported = false;
  switch (compression) {
    case kBiRgb:
      supported = true;
      break;
    case kBiRle8:
      supported = bpp == 8;
      break;
    case kBiRle4:
      supported = bpp == 4;
      break;
    case kBiBitfields:
    case kBiAlphaBitfields:
      supported = !os2v2 && (bpp == 16 || bpp == 32);
      break;
    default:
      break;
  }
  if (!supported)
    throw PLTextException("BMP compression " + std::to_string(compression) + " is not supported at " +
                          std::to_string(bpp) + " bits per pixel");

  size_t paletteStart = base + hs;
  uint32_t masks[4] = {0, 0, 0, 0};
  const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
  if (bitfields) {
    const int count = compression == kBiAlphaBitfields ? 4 : 3;
    if (hs >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = U32(ih + 40 + 4 * i);
      if (hs >= 56) masks[3] = U32(ih + 52);
    } else {
      if (paletteStart + 4 * count > size) throw PLTextException("BMP file truncated in its colour masks");
      for (int i = 0; i < count; ++i) masks[i] = U32(data + paletteStart + 4 * i);
      paletteStart += 4 * count;
    }
  } else if (bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }

  const int outBpp = bpp == 16 ? 24 : static_cast<int>(bpp);
  const size_t entrySize = core ? 3 : 4;
  size_t paletteCount = 0;
  if (bpp <= 8) {
    paletteCount = size_t{1} << bpp;
    if (colorsUsed != 0 && colorsUsed < paletteCount) paletteCount = colorsUsed;
  }
  size_t pixelStart = paletteStart + paletteCount * entrySize;
  if (offBits != 0) {
    // The file header's offset wins; the palette ends where the pixels begin.
    if (offBits >= size) throw PLTextException("BMP file truncated before its pixels");
    pixelStart = offBits;
  }
  size_t paletteEnd = std::min(size, paletteStart + paletteCount * entrySize);
  if (offBits != 0 && offBits > paletteStart) paletteEnd = std::min<size_t>(paletteEnd, offBits);
  const size_t paletteAvailable = paletteEnd > paletteStart ? (paletteEnd - paletteStart) / entrySize : 0;
  if (pixelStart >= size) throw PLTextException("BMP file truncated before its pixels");
  const size_t pixelBytes = size - pixelStart;

  const uint64_t srcRowBits = static_cast<uint64_t>(width) * bpp;
  const uint64_t srcStride = ((srcRowBits + 31) / 32) * 4;
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (rle) {
    // A run covers at most 255 pixels per two bytes; line ends and deltas
    // skip more, but no writer makes a large picture out of almost nothing.
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > static_cast<uint64_t>(pixelBytes) * 1024 + (1u << 20))
      throw PLTextException("BMP file too short for its size");
  } else {
    const uint64_t needed = srcStride * static_cast<uint64_t>(height - 1) + (srcRowBits + 7) / 8;
    if (needed > pixelBytes) throw PLTextException("BMP file truncated in its pixels");
  }
  if (width > INT_MAX || height > INT_MAX) throw PLTextException("BMP file with an invalid size");

  PLBitmap bmp(static_cast<int>(width), static_cast<int>(height), outBpp);
  if (bpp <= 8) {
    auto& pal = bmp.Palette();
    pal.resize(paletteCount);
    for (size_t i = 0; i < paletteAvailable && i < paletteCount; ++i) {
      const uint8_t* e = data + paletteStart + i * entrySize;
      pal[i] = {e[0], e[1], e[2], 0};
    }
  }

  const uint8_t* pixels = data + pixelStart;
  const int h = bmp.Height(), w = bmp.Width();
  if (rle) {
    DecodeRle(data, size, pixelStart, compression == kBiRle4, topDown, bmp);
    return bmp;
  }
  for (int r = 0; r < h; ++r) {
    const uint8_t* src = pixels + srcStride * static_cast<uint64_t>(r);
    const size_t avail = std::min<uint64_t>(srcStride, pixelBytes - srcStride * static_cast<uint64_t>(r));
    const int y = topDown ? r : h - 1 - r;
    uint8_t* dst = bmp.Row(y);
    if (bpp == 16) {
      const Channel red(masks[0] & 0xFFFF), green(masks[1] & 0xFFFF), blue(masks[2] & 0xFFFF);
      for (int x = 0; x < w; ++x) {
        const uint32_t v = U16(src + 2 * x);
        dst[3 * x] = blue.Get(v);
        dst[3 * x + 1] = green.Get(v);
        dst[3 * x + 2] = red.Get(v);
      }
    } else if (bpp == 32 && bitfields) {
      const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
      for (int x = 0; x < w; ++x) {
        const uint32_t v = U32(src + 4 * x);
        dst[4 * x] = blue.Get(v);
        dst[4 * x + 1] = green.Get(v);
        dst[4 * x + 2] = red.Get(v);
        dst[4 * x + 3] = alpha.Get(v);
      }
    } else {
      std::memcpy(dst, src, std::min(avail, bmp.Stride()));
      ZeroRowTail(bmp, y);
    }
  }
  return bmp;
}

std::vector<uint8_t> PLEncodeBmp(const PLBitmap& bitmap) {
  std::vector<uint8_t> out;
  if (bitmap.IsEmpty()) return out;
  const int bpp = bitmap.BitsPerPixel();
  size_t paletteCount = 0;
  if (bpp <= 8) {
    const size_t full = size_t{1} << bpp;
    paletteCount = bitmap.Palette().empty() ? full : std::min(full, bitmap.Palette().size());
  }
  const size_t imageSize = bitmap.Stride() * static_cast<size_t>(bitmap.Height());
  const size_t offBits = kFileHeaderSize + 40 + 4 * paletteCount;
  const size_t fileSize = offBits + imageSize;
  if (fileSize > UINT32_MAX) throw PLTextException("Picture too large for a BMP file");
  out.reserve(fileSize);

  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(fileSize));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(offBits));

  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(bitmap.Width()));
  Put32(out, static_cast<uint32_t>(bitmap.Height()));  // positive: rows bottom-up
  Put16(out, 1);
  Put16(out, static_cast<uint16_t>(bpp));
  Put32(out, kBiRgb);
  Put32(out, static_cast<uint32_t>(imageSize));
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, paletteCount == (size_t{1} << bpp) || bpp > 8 ? 0 : static_cast<uint32_t>(paletteCount));
  Put32(out, 0);

  for (size_t i = 0; i < paletteCount; ++i) {
    const PLPixel32 c = i < bitmap.Palette().size() ? bitmap.Palette()[i] : PLPixel32{};
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    const uint8_t* row = bitmap.Row(y);
    out.insert(out.end(), row, row + bitmap.Stride());
  }
  return out;
}
