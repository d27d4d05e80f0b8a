// Truevision TGA: colour-mapped, true-colour and greyscale images, plain or
// run-length encoded.
#include <algorithm>
#include <vector>

#include "picture/OwnDecodersInternal.h"

using namespace plown;

namespace {

struct TgaHeader {
  uint8_t idLength, mapType, imageType;
  uint16_t mapFirst, mapLength;
  uint8_t mapEntryBits;
  uint16_t width, height;
  uint8_t pixelBits, descriptor;

  bool ColourMapped() const { return (imageType & 7) == 1; }
  bool Greyscale() const { return (imageType & 7) == 3; }
  bool Rle() const { return imageType >= 9; }
  size_t MapBytes() const { return mapType == 1 ? static_cast<size_t>(mapLength) * ((mapEntryBits + 7) / 8) : 0; }
  size_t PixelBytes() const { return (pixelBits + 7) / 8; }
};

TgaHeader ReadHeader(const uint8_t* d) {
  TgaHeader h{};
  h.idLength = d[0];
  h.mapType = d[1];
  h.imageType = d[2];
  h.mapFirst = GetU16LE(d + 3);
  h.mapLength = GetU16LE(d + 5);
  h.mapEntryBits = d[7];
  h.width = GetU16LE(d + 12);
  h.height = GetU16LE(d + 14);
  h.pixelBits = d[16];
  h.descriptor = d[17];
  return h;
}

bool ValidEntryBits(uint8_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// Why the header cannot be a TGA, or nullptr when it is plausible.
const char* HeaderProblem(const TgaHeader& h, size_t size) {
  switch (h.imageType) {
    case 1: case 2: case 3: case 9: case 10: case 11: break;
    default: return "unknown image type";
  }
  if (h.mapType > 1) return "bad colour map type";
  if (h.mapType == 1 && (!ValidEntryBits(h.mapEntryBits) || h.mapLength == 0 || h.mapFirst + h.mapLength > 65536))
    return "inconsistent colour map";
  if (h.mapType == 0 && (h.mapLength != 0 || h.mapFirst != 0)) return "inconsistent colour map";
  if (h.ColourMapped()) {
    if (h.mapType != 1) return "colour-mapped image without a colour map";
    if (h.pixelBits != 8 && h.pixelBits != 16) return "unsupported index size";
  } else if (h.Greyscale()) {
    if (h.pixelBits != 8 && h.pixelBits != 16) return "unsupported grey depth";
  } else if (!ValidEntryBits(h.pixelBits)) {
    return "unsupported pixel depth";
  }
  if (h.width == 0 || h.height == 0) return "empty picture";
  if ((h.descriptor & 0xC0) != 0 || (h.descriptor & 0x0F) > 8) return "bad image descriptor";
  size_t dataStart = 18 + static_cast<size_t>(h.idLength) + h.MapBytes();
  if (dataStart > size) return "header runs past the end of the file";
  uint64_t pixels = static_cast<uint64_t>(h.width) * h.height;
  uint64_t minData = h.Rle() ? (pixels + 127) / 128 * (1 + h.PixelBytes()) : pixels * h.PixelBytes();
  if (minData > size - dataStart) return "pixel data runs past the end of the file";
  return nullptr;
}

PLPixel32 ReadColour(const uint8_t* p, int bits) {
  switch (bits) {
    case 15:
    case 16: {
      unsigned v = GetU16LE(p);
      auto expand = [](unsigned c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
      return {expand(v & 31), expand(v >> 5 & 31), expand(v >> 10 & 31), 0};
    }
    case 24: return {p[0], p[1], p[2], 0};
    default: return {p[0], p[1], p[2], p[3]};
  }
}

// Expands the (possibly run-length encoded) pixel stream to width*height
// pixels of PixelBytes() each, in file order.
std::vector<uint8_t> ReadPixels(const TgaHeader& h, ByteReader& in) {
  size_t pb = h.PixelBytes();
  size_t total = static_cast<size_t>(h.width) * h.height * pb;
  if (!h.Rle()) {
    const uint8_t* p = in.Take(total);
    return {p, p + total};
  }
  std::vector<uint8_t> out(total);
  size_t pos = 0;
  while (pos < total) {
    uint8_t packet = in.U8();
    size_t count = (packet & 0x7F) + 1u;
    size_t bytes = std::min(count * pb, total - pos);  // a run may not spill past the picture
    if (packet & 0x80) {
      const uint8_t* pixel = in.Take(pb);
      for (size_t i = 0; i < bytes; i += pb) std::memcpy(&out[pos + i], pixel, std::min(pb, bytes - i));
    } else {
      const uint8_t* src = in.Take(count * pb);
      std::memcpy(&out[pos], src, bytes);
    }
    pos += bytes;
  }
  return out;
}

}  // namespace

bool PLIsTga(const uint8_t* data, size_t size) {
  return size >= 18 && HeaderProblem(ReadHeader(data), size) == nullptr;
}

PLBitmap PLDecodeTga(const uint8_t* data, size_t size) {
  if (size < 18) throw PLTextException("TGA file is truncated");
  TgaHeader h = ReadHeader(data);
  if (const char* problem = HeaderProblem(h, size)) throw PLTextException(std::string("Not a valid TGA file: ") + problem);
  CheckPictureSize(h.width, h.height, "TGA");

  ByteReader in(data, size, "TGA");
  in.Seek(18 + h.idLength);
  std::vector<PLPixel32> map;
  if (h.mapType == 1) {
    int entryBytes = (h.mapEntryBits + 7) / 8;
    map.resize(h.mapLength);
    for (auto& c : map) c = ReadColour(in.Take(entryBytes), h.mapEntryBits);
  }
  std::vector<uint8_t> pixels = ReadPixels(h, in);

  int outBpp;
  if (h.ColourMapped())
    outBpp = h.pixelBits == 8 ? 8 : 24;
  else if (h.Greyscale())
    outBpp = 8;
  else
    outBpp = h.pixelBits == 32 ? 32 : 24;

  PLBitmap bmp(h.width, h.height, outBpp);
  if (outBpp == 8 && h.Greyscale()) SetGreyPalette(bmp);
  if (outBpp == 8 && h.ColourMapped()) {
    // Pixel value v names map entry v - mapFirst.
    for (int v = h.mapFirst; v < 256 && v - h.mapFirst < static_cast<int>(map.size()); ++v)
      bmp.Palette()[v] = {map[v - h.mapFirst].b, map[v - h.mapFirst].g, map[v - h.mapFirst].r, 0};
  }

  bool topDown = (h.descriptor & 0x20) != 0;
  bool rightToLeft = (h.descriptor & 0x10) != 0;
  size_t pb = h.PixelBytes();
  for (int fy = 0; fy < h.height; ++fy) {
    uint8_t* row = bmp.Row(topDown ? fy : h.height - 1 - fy);
    const uint8_t* src = pixels.data() + static_cast<size_t>(fy) * h.width * pb;
    for (int fx = 0; fx < h.width; ++fx, src += pb) {
      int x = rightToLeft ? h.width - 1 - fx : fx;
      if (h.Greyscale()) {
        row[x] = src[0];
      } else if (outBpp == 8) {
        row[x] = src[0];
      } else {
        PLPixel32 c;
        if (h.ColourMapped()) {
          int index = GetU16LE(src) - h.mapFirst;
          c = index >= 0 && index < static_cast<int>(map.size()) ? map[index] : PLPixel32{};
        } else {
          c = ReadColour(src, h.pixelBits);
          if ((h.descriptor & 0x0F) == 0) c.a = 255;  // no alpha channel declared: opaque
        }
        PutRgb(row, x, outBpp, c.r, c.g, c.b, c.a);
      }
    }
  }
  return bmp;
}
