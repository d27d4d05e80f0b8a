// ZSoft PCX, versions 0 to 5: 1, 2, 4 and 8 bits per pixel in one to four
// planes, run-length encoded or plain.
#include <algorithm>
#include <vector>

#include "picture/OwnDecodersInternal.h"

using namespace plown;

namespace {

// The palette PC Paintbrush 2.8 without palette information (version 3) uses.
const uint8_t kEgaPalette[16][3] = {{0, 0, 0},       {0, 0, 170},     {0, 170, 0},    {0, 170, 170},
                                    {170, 0, 0},     {170, 0, 170},   {170, 85, 0},   {170, 170, 170},
                                    {85, 85, 85},    {85, 85, 255},   {85, 255, 85},  {85, 255, 255},
                                    {255, 85, 85},   {255, 85, 255},  {255, 255, 85}, {255, 255, 255}};

struct PcxHeader {
  uint8_t version, encoding, bitsPerPixel, planes;
  int width, height;
  unsigned bytesPerLine;
  const uint8_t* headerPalette;  // 16 RGB triplets
};

bool PlausibleHeader(const uint8_t* d, size_t size) {
  if (size < 128 || d[0] != 0x0A) return false;
  if (d[1] > 5 || d[1] == 1) return false;
  if (d[2] > 1) return false;
  if (d[3] != 1 && d[3] != 2 && d[3] != 4 && d[3] != 8) return false;
  if (d[65] < 1 || d[65] > 4) return false;
  return GetU16LE(d + 8) >= GetU16LE(d + 4) && GetU16LE(d + 10) >= GetU16LE(d + 6) && GetU16LE(d + 66) > 0;
}

// Expands the picture's lines one at a time; RLE runs may cross line ends.
class LineReader {
 public:
  LineReader(ByteReader& in, bool rle) : in_(in), rle_(rle) {}
  void Read(uint8_t* line, size_t length) {
    if (!rle_) {
      std::memcpy(line, in_.Take(length), length);
      return;
    }
    size_t pos = 0;
    while (pos < length) {
      if (pending_ == 0) {
        uint8_t b = in_.U8();
        if ((b & 0xC0) == 0xC0) {
          pending_ = b & 0x3F;
          value_ = in_.U8();
        } else {
          pending_ = 1;
          value_ = b;
        }
        continue;
      }
      size_t n = std::min(pending_, length - pos);
      std::memset(line + pos, value_, n);
      pos += n;
      pending_ -= n;
    }
  }

 private:
  ByteReader& in_;
  bool rle_;
  size_t pending_ = 0;
  uint8_t value_ = 0;
};

void SetHeaderPalette(PLBitmap& bmp, const PcxHeader& h, int colours) {
  bool useEga = h.version == 3;
  for (int i = 0; i < colours; ++i) {
    const uint8_t* c = useEga ? kEgaPalette[i] : h.headerPalette + 3 * i;
    bmp.Palette()[i] = {c[2], c[1], c[0], 0};
  }
}

}  // namespace

bool PLIsPcx(const uint8_t* data, size_t size) { return PlausibleHeader(data, size); }

PLBitmap PLDecodePcx(const uint8_t* data, size_t size) {
  if (!PlausibleHeader(data, size)) throw PLTextException("Not a valid PCX file");
  PcxHeader h{};
  h.version = data[1];
  h.encoding = data[2];
  h.bitsPerPixel = data[3];
  h.planes = data[65];
  h.width = GetU16LE(data + 8) - GetU16LE(data + 4) + 1;
  h.height = GetU16LE(data + 10) - GetU16LE(data + 6) + 1;
  h.bytesPerLine = GetU16LE(data + 66);
  h.headerPalette = data + 16;
  CheckPictureSize(h.width, h.height, "PCX");
  if (static_cast<uint64_t>(h.bytesPerLine) * 8 < static_cast<uint64_t>(h.width) * h.bitsPerPixel)
    throw PLTextException("PCX file: line length too short for the picture width");

  int bpp = h.bitsPerPixel, planes = h.planes;
  int outBpp;
  if (planes == 1 && bpp == 1)
    outBpp = 1;
  else if ((planes == 1 && (bpp == 2 || bpp == 4)) || (bpp == 1 && planes <= 4))
    outBpp = 4;
  else if (planes == 1 && bpp == 8)
    outBpp = 8;
  else if (bpp == 8 && (planes == 3 || planes == 4))
    outBpp = planes == 3 ? 24 : 32;
  else
    throw PLTextException("PCX file: unsupported layout of " + std::to_string(planes) + " planes of " +
                          std::to_string(bpp) + " bits");

  size_t lineBytes = static_cast<size_t>(h.bytesPerLine) * planes;
  uint64_t packed = static_cast<uint64_t>(lineBytes) * h.height;
  // A run byte pair expands to at most 63 bytes.
  uint64_t available = size - 128;
  if (packed > (h.encoding == 1 ? available * 32 : available)) throw PLTextException("PCX file is truncated");

  PLBitmap bmp(h.width, h.height, outBpp);
  if (outBpp == 1) {
    // Two-colour files may name their colours in the header; older ones
    // leave it blank and mean black and white.
    if (h.version != 3 && std::memcmp(h.headerPalette, h.headerPalette + 3, 3) != 0) {
      SetHeaderPalette(bmp, h, 2);
    } else {
      bmp.Palette()[0] = {0, 0, 0, 0};
      bmp.Palette()[1] = {255, 255, 255, 0};
    }
  } else if (outBpp == 4) {
    SetHeaderPalette(bmp, h, 1 << (bpp * planes));
  } else if (outBpp == 8) {
    // The 256-colour palette follows the picture, after a 0x0C marker.
    if (size >= 128 + 769 && data[size - 769] == 0x0C) {
      const uint8_t* p = data + size - 768;
      for (int i = 0; i < 256; ++i) bmp.Palette()[i] = {p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
    } else {
      SetGreyPalette(bmp);
    }
  }

  ByteReader in(data, size, "PCX");
  in.Seek(128);
  LineReader lines(in, h.encoding == 1);
  std::vector<uint8_t> line(lineBytes);
  const uint8_t* plane[4];
  for (int p = 0; p < planes; ++p) plane[p] = line.data() + static_cast<size_t>(p) * h.bytesPerLine;
  for (int y = 0; y < h.height; ++y) {
    lines.Read(line.data(), lineBytes);
    uint8_t* row = bmp.Row(y);
    if (outBpp == 1 || outBpp == 8) {
      std::memcpy(row, line.data(), outBpp == 1 ? (h.width + 7) / 8 : h.width);
    } else if (outBpp == 4) {
      for (int x = 0; x < h.width; ++x) {
        int index = 0;
        if (planes == 1) {
          int shift = 8 - bpp - (x * bpp) % 8;
          index = plane[0][x * bpp / 8] >> shift & ((1 << bpp) - 1);
        } else {
          for (int p = 0; p < planes; ++p) index |= (plane[p][x / 8] >> (7 - x % 8) & 1) << p;
        }
        row[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
      }
    } else {
      for (int x = 0; x < h.width; ++x)
        PutRgb(row, x, outBpp, plane[0][x], plane[1][x], plane[2][x], planes == 4 ? plane[3][x] : 0);
    }
  }
  return bmp;
}
