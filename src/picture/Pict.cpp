// Macintosh PICT, versions 1 and 2: the raster opcodes are decoded and
// drawn into one bitmap of the picture frame; every other opcode is skipped
// by its size.
#include <algorithm>
#include <vector>

#include "picture/Decoders.h"
#include "picture/OwnDecodersInternal.h"

using namespace plown;

namespace {

constexpr size_t kPictHeader = 512;

struct Rect {
  int top = 0, left = 0, bottom = 0, right = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

Rect ReadRect(ByteReader& in) {
  Rect r;
  r.top = in.I16BE();
  r.left = in.I16BE();
  r.bottom = in.I16BE();
  r.right = in.I16BE();
  return r;
}

struct PixMapInfo {
  bool isPixMap = false;
  unsigned rowBytes = 0;
  Rect bounds;
  unsigned packType = 0, pixelSize = 1, cmpCount = 1;
};

// A decoded raster opcode: the source picture and where it goes.
struct Raster {
  PLBitmap image;
  Rect src, dst;  // src relative to image's top-left corner
};

// PackBits: a flag byte n >= 0 copies n+1 units, n < 0 (but not -128)
// repeats the next unit 1-n times. Units are bytes or 16-bit words. Output
// beyond the line is dropped; a short line stays zero-filled.
void UnpackBits(const uint8_t* p, size_t size, uint8_t* out, size_t length, size_t unit) {
  size_t i = 0, o = 0;
  while (i < size && o < length) {
    auto flag = static_cast<int8_t>(p[i++]);
    if (flag == -128) continue;
    if (flag >= 0) {
      size_t n = (flag + 1u) * unit;
      n = std::min(n, size - i);
      size_t copy = std::min(n, length - o);
      std::memcpy(out + o, p + i, copy);
      i += n;
      o += copy;
    } else {
      if (size - i < unit) break;
      size_t repeat = 1u - flag;
      for (size_t r = 0; r < repeat && o < length; ++r) {
        size_t copy = std::min(unit, length - o);
        std::memcpy(out + o, p + i, copy);
        o += copy;
      }
      i += unit;
    }
  }
}

class PictDecoder {
 public:
  PictDecoder(const uint8_t* data, size_t size) : in_(data, size, "PICT") {}

  PLBitmap Decode() {
    in_.Seek(kPictHeader);
    in_.Skip(2);  // picture size: the low 16 bits only, useless for large pictures
    frame_ = ReadRect(in_);
    if (in_.Left() >= 2 && in_.Here()[0] == 0x11 && in_.Here()[1] == 0x01) {
      version_ = 1;
      in_.Skip(2);
    } else if (in_.Left() >= 4 && GetU16BE(in_.Here()) == 0x0011 && GetU16BE(in_.Here() + 2) == 0x02FF) {
      version_ = 2;
      in_.Skip(4);
    } else {
      in_.Fail("unknown picture version");
    }
    while (true) {
      if (version_ == 2 && (in_.Pos() & 1)) in_.Skip(1);
      if (in_.Left() < static_cast<size_t>(version_) && !rasters_.empty()) break;  // end opcode missing
      unsigned op = version_ == 2 ? in_.U16BE() : in_.U8();
      if (op == 0x00FF) break;
      Opcode(op);
    }
    if (rasters_.empty()) throw PLTextException("PICT file has no bitmap image (only drawing commands)");
    return Compose();
  }

 private:
  void Opcode(unsigned op) {
    if (op == 0x8200) return CompressedQuickTime();
    if (op >= 0x8100) return in_.Skip(in_.U32BE());
    if (op >= 0x8000) return;
    if (op == 0x0C00) return HeaderOp();
    if (op >= 0x0100) return in_.Skip((op >> 8) * 2);
    if (op >= 0xD0 && op <= 0xFE) return in_.Skip(in_.U32BE());
    if (op >= 0xB0 && op <= 0xCF) return;
    if ((op >= 0x24 && op <= 0x27) || (op >= 0x2C && op <= 0x2F) || (op >= 0x92 && op <= 0x97) ||
        (op >= 0x9C && op <= 0x9F) || (op >= 0xA2 && op <= 0xAF))
      return in_.Skip(in_.U16BE());
    if (op >= 0x30 && op <= 0x5F) return in_.Skip((op & 0x0F) < 8 ? 8 : 0);  // rects, round rects, ovals
    if (op >= 0x60 && op <= 0x6F) return in_.Skip((op & 0x0F) < 8 ? 12 : 4);  // arcs, same arcs
    if (op >= 0x70 && op <= 0x8F) {
      if ((op & 0x0F) < 8) SkipSizedRecord();  // polygons and regions
      return;
    }
    switch (op) {
      case 0x00: case 0x17: case 0x18: case 0x19: case 0x1C: case 0x1E: return;
      case 0x01: return SkipSizedRecord();
      case 0x02: case 0x09: case 0x0A: case 0x10: case 0x20: return in_.Skip(8);
      case 0x03: case 0x05: case 0x08: case 0x0D: case 0x15: case 0x16: case 0x23: case 0xA0: return in_.Skip(2);
      case 0x04: return in_.Skip(1);
      case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: case 0x0F: case 0x21: return in_.Skip(4);
      case 0x11: return in_.Skip(version_ == 2 ? 2 : 1);
      case 0x12: case 0x13: case 0x14: return SkipPixPat();
      case 0x1A: case 0x1B: case 0x1D: case 0x1F: case 0x22: return in_.Skip(6);
      case 0x28: in_.Skip(4); return in_.Skip(in_.U8());
      case 0x29: case 0x2A: in_.Skip(1); return in_.Skip(in_.U8());
      case 0x2B: in_.Skip(2); return in_.Skip(in_.U8());
      case 0x90: case 0x91: case 0x98: case 0x99: return BitsOpcode(op);
      case 0x9A: case 0x9B: return DirectBitsOpcode(op);
      case 0xA1: in_.Skip(2); return in_.Skip(in_.U16BE());
      default: in_.Fail("unknown opcode");
    }
  }

  // Regions and polygons start with their size in bytes, the size word included.
  void SkipSizedRecord() {
    unsigned size = in_.U16BE();
    if (size < 2) in_.Fail("bad region or polygon size");
    in_.Skip(size - 2);
  }

  // The extended version 2 header gives the coordinate space of the
  // drawing at its native resolution; the frame of the picture header is at
  // 72 dpi.
  void HeaderOp() {
    const uint8_t* p = in_.Take(24);
    if (static_cast<int16_t>(GetU16BE(p)) != -2) return;
    Rect src{static_cast<int16_t>(GetU16BE(p + 12)), static_cast<int16_t>(GetU16BE(p + 14)),
             static_cast<int16_t>(GetU16BE(p + 16)), static_cast<int16_t>(GetU16BE(p + 18))};
    if (src.Width() > 0 && src.Height() > 0) frame_ = src;
  }

  PixMapInfo ReadPixMap(bool forcePixMap) {
    PixMapInfo pm;
    unsigned rowBytes = in_.U16BE();
    pm.isPixMap = forcePixMap || (rowBytes & 0x8000);
    pm.rowBytes = rowBytes & 0x3FFF;
    pm.bounds = ReadRect(in_);
    if (pm.isPixMap) {
      in_.Skip(2);  // version
      pm.packType = in_.U16BE();
      in_.Skip(4 + 8 + 2);  // pack size, resolutions, pixel type
      pm.pixelSize = in_.U16BE();
      pm.cmpCount = in_.U16BE();
      in_.Skip(2 + 12);  // component size, plane bytes, table handle, reserved
    }
    CheckPictureSize(pm.bounds.Width(), pm.bounds.Height(), "PICT");
    unsigned ps = pm.pixelSize;
    bool indexed = ps == 1 || ps == 2 || ps == 4 || ps == 8;
    if (!indexed && ps != 16 && ps != 32) in_.Fail("unsupported pixel size " + std::to_string(ps));
    if (ps == 32 && (pm.cmpCount < 3 || pm.cmpCount > 4)) in_.Fail("unsupported component count");
    return pm;
  }

  std::vector<PLPixel32> ReadColourTable() {
    in_.Skip(4);
    bool deviceTable = in_.U16BE() & 0x8000;
    unsigned count = in_.U16BE() + 1u;
    std::vector<PLPixel32> table(256);
    for (unsigned i = 0; i < count; ++i) {
      unsigned value = in_.U16BE();
      auto r = static_cast<uint8_t>(in_.U16BE() >> 8), g = static_cast<uint8_t>(in_.U16BE() >> 8),
           b = static_cast<uint8_t>(in_.U16BE() >> 8);
      unsigned index = deviceTable ? i : value;
      if (index < 256) table[index] = {b, g, r, 0};
    }
    return table;
  }

  // Reads the rows of a pixel map into a bitmap: 1 bpp for a bit map,
  // 8 bpp for 2 to 8 bit indices, 24 bpp for direct colour.
  PLBitmap ReadPixels(const PixMapInfo& pm, const std::vector<PLPixel32>* table) {
    int width = pm.bounds.Width(), height = pm.bounds.Height();
    unsigned ps = pm.pixelSize;
    bool raw = pm.rowBytes < 8 || pm.packType == 1 || (ps == 32 && pm.packType == 2);
    bool planar = ps == 32 && !raw;  // one plane per component, each packed
    size_t lineLength = pm.rowBytes;
    if (ps == 32 && pm.packType == 2) lineLength = static_cast<size_t>(width) * 3;
    if (planar) lineLength = static_cast<size_t>(width) * pm.cmpCount;
    size_t need = ps == 32 ? (pm.packType == 2 ? lineLength : static_cast<size_t>(width) * (planar ? pm.cmpCount : 4))
                           : (static_cast<size_t>(width) * ps + 7) / 8;
    if (pm.rowBytes < need && !(ps == 32 && pm.packType == 2)) in_.Fail("row length too short");
    // Each packed row takes at least one byte, and PackBits expands at most 64-fold.
    uint64_t decoded = static_cast<uint64_t>(lineLength) * height;
    if (raw ? decoded > in_.Left() : (static_cast<uint64_t>(height) > in_.Left() || decoded > in_.Left() * 64 + 1024))
      in_.Truncated();
    int outBpp = ps == 1 ? 1 : ps <= 8 ? 8 : 24;
    PLBitmap bmp(width, height, outBpp);
    if (ps == 1 && !pm.isPixMap) {
      bmp.Palette()[0] = {255, 255, 255, 0};
      bmp.Palette()[1] = {0, 0, 0, 0};
    } else if (ps <= 8) {
      for (size_t i = 0; i < bmp.Palette().size(); ++i) bmp.Palette()[i] = (*table)[i];
    }

    // Row byte counts are words when rowBytes exceeds 250. Some writers
    // decide on the packed line length instead; a first word count longer
    // than any packing of the line gives them away.
    bool wordCounts = pm.rowBytes > 250;
    if (wordCounts && !raw && in_.Left() >= 2 && GetU16BE(in_.Here()) > lineLength + lineLength / 128 + 2)
      wordCounts = false;
    std::vector<uint8_t> line(lineLength);
    for (int y = 0; y < height; ++y) {
      if (raw) {
        std::memcpy(line.data(), in_.Take(lineLength), lineLength);
      } else {
        size_t count = wordCounts ? in_.U16BE() : in_.U8();
        std::fill(line.begin(), line.end(), 0);
        UnpackBits(in_.Take(count), count, line.data(), lineLength, ps == 16 ? 2 : 1);
      }
      uint8_t* row = bmp.Row(y);
      const uint8_t* s = line.data();
      for (int x = 0; x < width; ++x) {
        if (ps == 1) {
          std::memcpy(row, s, (width + 7) / 8);
          break;
        }
        if (ps <= 8) {
          row[x] = s[x * ps / 8] >> (8 - ps - x * ps % 8) & ((1 << ps) - 1);
        } else if (ps == 16) {
          unsigned v = GetU16BE(s + 2 * x);
          auto expand = [](unsigned c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
          PutRgb(row, x, 24, expand(v >> 10 & 31), expand(v >> 5 & 31), expand(v & 31));
        } else if (planar) {
          size_t skip = pm.cmpCount == 4 ? width : 0;  // the alpha plane comes first
          PutRgb(row, x, 24, s[skip + x], s[skip + width + x], s[skip + 2 * width + x]);
        } else if (pm.packType == 2) {
          PutRgb(row, x, 24, s[3 * x], s[3 * x + 1], s[3 * x + 2]);
        } else {
          PutRgb(row, x, 24, s[4 * x + 1], s[4 * x + 2], s[4 * x + 3]);
        }
      }
    }
    return bmp;
  }

  void AddRaster(PLBitmap image, const PixMapInfo& pm, Rect src, Rect dst) {
    // Writers may follow a QuickTime image with a plain stand-in for readers
    // without QuickTime; the compressed image is the picture.
    if (quickTimeShown_) return;
    src.top -= pm.bounds.top;
    src.bottom -= pm.bounds.top;
    src.left -= pm.bounds.left;
    src.right -= pm.bounds.left;
    rasters_.push_back({std::move(image), src, dst});
  }

  void AlignAfterData() {
    if (version_ == 2 && (in_.Pos() & 1) && in_.Left() > 0) in_.Skip(1);
  }

  void BitsOpcode(unsigned op) {
    PixMapInfo pm = ReadPixMap(false);
    std::vector<PLPixel32> table;
    if (pm.isPixMap) table = ReadColourTable();
    Rect src = ReadRect(in_), dst = ReadRect(in_);
    in_.Skip(2);  // transfer mode
    if (op & 1) SkipSizedRecord();  // mask region
    if (op < 0x98) pm.packType = 1;  // BitsRect/BitsRgn rows are never packed
    PLBitmap image = ReadPixels(pm, &table);
    AddRaster(std::move(image), pm, src, dst);
  }

  void DirectBitsOpcode(unsigned op) {
    in_.Skip(4);  // base address
    PixMapInfo pm = ReadPixMap(true);
    if (pm.pixelSize != 16 && pm.pixelSize != 32) in_.Fail("direct pixels must be 16 or 32 bits");
    Rect src = ReadRect(in_), dst = ReadRect(in_);
    in_.Skip(2);
    if (op & 1) SkipSizedRecord();
    PLBitmap image = ReadPixels(pm, nullptr);
    AddRaster(std::move(image), pm, src, dst);
  }

  // QuickTime-compressed pixels, as Macs save photographs: the JPEG ones
  // are decoded, other codecs skipped.
  void CompressedQuickTime() {
    uint32_t length = in_.U32BE();
    ByteReader q(in_.Take(length), length, "PICT");
    q.Skip(2 + 36);  // version, matrix
    uint32_t matteSize = q.U32BE();
    q.Skip(8 + 2);  // matte rectangle, mode
    Rect dst = ReadRect(q);
    q.Skip(4);  // accuracy
    uint32_t maskSize = q.U32BE();
    q.Skip(matteSize);
    q.Skip(maskSize);
    size_t description = q.Pos();
    uint32_t descriptionSize = q.U32BE();
    if (q.U32BE() != 0x6A706567) return;  // 'jpeg'
    q.Seek(description + 44);
    uint32_t dataSize = q.U32BE();
    q.Seek(description);
    q.Skip(descriptionSize);
    size_t available = q.Left();
    PLBitmap image = PLDecodeJpeg(q.Here(), dataSize && dataSize < available ? dataSize : available);
    PixMapInfo pm;
    pm.bounds = {0, 0, image.Height(), image.Width()};
    AddRaster(std::move(image), pm, pm.bounds, dst);
    quickTimeShown_ = true;
  }

  void SkipPixPat() {
    unsigned type = in_.U16BE();
    in_.Skip(8);  // the old-style pattern
    if (type == 2) return in_.Skip(6);  // an RGB colour
    if (type != 1) return;
    PixMapInfo pm = ReadPixMap(true);
    std::vector<PLPixel32> table = ReadColourTable();
    ReadPixels(pm, pm.pixelSize <= 8 ? &table : nullptr);
  }

  // One raster covering the frame exactly keeps its own depth; otherwise
  // the rasters are drawn, scaled to their destination, on white.
  PLBitmap Compose() {
    CheckPictureSize(frame_.Width(), frame_.Height(), "PICT");
    if (rasters_.size() == 1) {
      const Raster& r = rasters_[0];
      if (r.src.left == 0 && r.src.top == 0 && r.src.Width() == r.image.Width() &&
          r.src.Height() == r.image.Height() && r.dst.left == frame_.left && r.dst.top == frame_.top &&
          r.dst.Width() == frame_.Width() && r.dst.Height() == frame_.Height() &&
          r.image.Width() == frame_.Width() && r.image.Height() == frame_.Height())
        return std::move(rasters_[0].image);
    }
    PLBitmap out(frame_.Width(), frame_.Height(), 24);
    for (int y = 0; y < out.Height(); ++y) std::memset(out.Row(y), 0xFF, out.Stride());
    // Bands normally tile the frame; a file that asks to paint it over and
    // over again is cut short rather than left to run for minutes.
    budget_ = 2 * static_cast<int64_t>(out.Width()) * out.Height() + (1 << 20);
    for (const Raster& r : rasters_) Draw(out, r);
    return out;
  }

  void Draw(PLBitmap& out, const Raster& r) {
    if (r.src.Width() <= 0 || r.src.Height() <= 0 || r.dst.Width() <= 0 || r.dst.Height() <= 0) return;
    int x0 = std::max(r.dst.left - frame_.left, 0), x1 = std::min(r.dst.right - frame_.left, out.Width());
    int y0 = std::max(r.dst.top - frame_.top, 0), y1 = std::min(r.dst.bottom - frame_.top, out.Height());
    if (x1 <= x0 || y1 <= y0) return;
    budget_ -= static_cast<int64_t>(x1 - x0) * (y1 - y0);
    if (budget_ < 0) return;
    for (int y = y0; y < y1; ++y) {
      int64_t sy = r.src.top + static_cast<int64_t>(y + frame_.top - r.dst.top) * r.src.Height() / r.dst.Height();
      if (sy < 0 || sy >= r.image.Height()) continue;
      uint8_t* row = out.Row(y);
      for (int x = x0; x < x1; ++x) {
        int64_t sx = r.src.left + static_cast<int64_t>(x + frame_.left - r.dst.left) * r.src.Width() / r.dst.Width();
        if (sx < 0 || sx >= r.image.Width()) continue;
        PLPixel32 c = r.image.GetPixel(static_cast<int>(sx), static_cast<int>(sy));
        PutRgb(row, x, 24, c.r, c.g, c.b);
      }
    }
  }

  ByteReader in_;
  int version_ = 0;
  Rect frame_;
  std::vector<Raster> rasters_;
  int64_t budget_ = 0;
  bool quickTimeShown_ = false;
};

}  // namespace

bool PLIsPict(const uint8_t* data, size_t size) {
  if (size < kPictHeader + 14) return false;
  const uint8_t* p = data + kPictHeader;
  Rect frame{static_cast<int16_t>(GetU16BE(p + 2)), static_cast<int16_t>(GetU16BE(p + 4)),
             static_cast<int16_t>(GetU16BE(p + 6)), static_cast<int16_t>(GetU16BE(p + 8))};
  if (frame.Width() <= 0 || frame.Height() <= 0) return false;
  return (p[10] == 0x11 && p[11] == 0x01) || (GetU16BE(p + 10) == 0x0011 && GetU16BE(p + 12) == 0x02FF);
}

PLBitmap PLDecodePict(const uint8_t* data, size_t size) {
  if (!PLIsPict(data, size)) throw PLTextException("Not a valid PICT file");
  return PictDecoder(data, size).Decode();
}
