// Netpbm PBM, PGM and PPM pictures, plain (ASCII) and raw. Samples of any
// maxval up to 65535 are scaled to 8 bits.
#include "picture/OwnDecodersInternal.h"

using namespace plown;

namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

class PnmReader {
 public:
  PnmReader(const uint8_t* data, size_t size) : d_(data), size_(size) {}

  // Skips white space and comments (from '#' to the end of the line).
  void SkipSeparators() {
    while (pos_ < size_) {
      if (d_[pos_] == '#') {
        while (pos_ < size_ && d_[pos_] != '\n' && d_[pos_] != '\r') ++pos_;
      } else if (IsSpace(d_[pos_])) {
        ++pos_;
      } else {
        break;
      }
    }
  }

  // A decimal number of the header or of a plain-format sample.
  unsigned Number(const char* what) {
    SkipSeparators();
    if (pos_ >= size_) throw PLTextException("PNM file is truncated");
    if (d_[pos_] < '0' || d_[pos_] > '9') throw PLTextException(std::string("PNM file: bad ") + what);
    uint64_t value = 0;
    while (pos_ < size_ && d_[pos_] >= '0' && d_[pos_] <= '9') {
      value = value * 10 + (d_[pos_++] - '0');
      if (value > 0xFFFFFFFFu) throw PLTextException(std::string("PNM file: ") + what + " out of range");
    }
    return static_cast<unsigned>(value);
  }

  // A plain PBM digit: '0' or '1', separators optional.
  unsigned Bit() {
    SkipSeparators();
    if (pos_ >= size_) throw PLTextException("PNM file is truncated");
    uint8_t c = d_[pos_++];
    if (c != '0' && c != '1') throw PLTextException("PNM file: bad bit in plain PBM data");
    return c - '0';
  }

  size_t pos_ = 0;
  const uint8_t* d_;
  size_t size_;
};

}  // namespace

bool PLIsPnm(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' && (IsSpace(data[2]) || data[2] == '#');
}

PLBitmap PLDecodePnm(const uint8_t* data, size_t size) {
  if (!PLIsPnm(data, size)) throw PLTextException("Not a valid PNM file");
  int kind = data[1] - '0';
  bool plain = kind <= 3;
  int family = plain ? kind : kind - 3;  // 1 bitmap, 2 grey, 3 colour
  PnmReader in(data, size);
  in.pos_ = 2;
  unsigned width = in.Number("width");
  unsigned height = in.Number("height");
  unsigned maxval = family == 1 ? 1 : in.Number("maxval");
  if (maxval == 0 || maxval > 65535) throw PLTextException("PNM file: maxval out of range");
  CheckPictureSize(width, height, "PNM");
  if (!plain) {
    // Exactly one white-space character ends the header of a raw file.
    if (in.pos_ >= size || !IsSpace(data[in.pos_])) throw PLTextException("PNM file is truncated");
    ++in.pos_;
  }

  int samples = family == 3 ? 3 : 1;
  size_t sampleBytes = maxval > 255 ? 2 : 1;
  uint64_t count = static_cast<uint64_t>(width) * height * samples;
  uint64_t needed;
  if (family == 1)
    needed = plain ? count : static_cast<uint64_t>((width + 7) / 8) * height;
  else
    needed = plain ? count * 2 - 1 : count * sampleBytes;  // plain samples need a separator each
  if (needed > size - in.pos_) throw PLTextException("PNM file is truncated");

  auto scale = [maxval](unsigned v) -> uint8_t {
    if (v > maxval) v = maxval;
    return static_cast<uint8_t>((v * 255u + maxval / 2) / maxval);
  };
  const uint8_t* raw = data + in.pos_;
  auto next = [&]() -> unsigned {
    if (plain) return in.Number("sample");
    unsigned v = *raw++;
    if (sampleBytes == 2) v = v << 8 | *raw++;
    return v;
  };

  int outBpp = family == 1 ? 1 : family == 2 ? 8 : 24;
  PLBitmap bmp(static_cast<int>(width), static_cast<int>(height), outBpp);
  if (family == 1) {
    // PBM: 1 is black.
    bmp.Palette()[0] = {255, 255, 255, 0};
    bmp.Palette()[1] = {0, 0, 0, 0};
  } else if (family == 2) {
    SetGreyPalette(bmp);
  }
  for (unsigned y = 0; y < height; ++y) {
    uint8_t* row = bmp.Row(static_cast<int>(y));
    if (family == 1 && !plain) {
      std::memcpy(row, raw, (width + 7) / 8);
      raw += (width + 7) / 8;
      if (width % 8) row[width / 8] &= static_cast<uint8_t>(0xFF00 >> (width % 8));
      continue;
    }
    for (unsigned x = 0; x < width; ++x) {
      if (family == 1) {
        if (in.Bit()) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      } else if (family == 2) {
        row[x] = scale(next());
      } else {
        uint8_t r = scale(next()), g = scale(next()), b = scale(next());
        PutRgb(row, static_cast<int>(x), 24, r, g, b);
      }
    }
  }
  return bmp;
}
