// Turning a bitmap as an EXIF orientation asks, and finding the EXIF block
// of a picture file.
#include <cstring>

#include "picture/Decoders.h"

namespace {

// Where the pixel (x, y) of the turned picture comes from in the source.
struct SourceOf {
  int orientation, w, h;  // source size
  void operator()(int x, int y, int& sx, int& sy) const {
    switch (orientation) {
      case 2: sx = w - 1 - x; sy = y; break;          // mirrored
      case 3: sx = w - 1 - x; sy = h - 1 - y; break;  // upside down
      case 4: sx = x; sy = h - 1 - y; break;          // mirrored upside down
      case 5: sx = y; sy = x; break;                  // transposed
      case 6: sx = y; sy = h - 1 - x; break;          // stored a quarter turn anticlockwise
      case 7: sx = w - 1 - y; sy = h - 1 - x; break;  // transversed
      case 8: sx = w - 1 - y; sy = x; break;          // stored a quarter turn clockwise
      default: sx = x; sy = y; break;
    }
  }
};

uint32_t Get16(const uint8_t* p, bool little) { return little ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1]; }

}  // namespace

bool PLOrientationSwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

PLBitmap PLApplyOrientation(const PLBitmap& source, int orientation) {
  if (orientation < 2 || orientation > 8 || source.IsEmpty()) return source;
  const int w = source.Width(), h = source.Height();
  const bool swap = PLOrientationSwapsAxes(orientation);
  PLBitmap out(swap ? h : w, swap ? w : h, source.BitsPerPixel());
  out.Palette() = source.Palette();
  const SourceOf from{orientation, w, h};
  const int bpp = source.BitsPerPixel();
  for (int y = 0; y < out.Height(); ++y) {
    uint8_t* row = out.Row(y);
    for (int x = 0; x < out.Width(); ++x) {
      int sx, sy;
      from(x, y, sx, sy);
      if (bpp >= 24) {
        const size_t bytes = static_cast<size_t>(bpp / 8);
        std::memcpy(row + static_cast<size_t>(x) * bytes, source.Row(sy) + static_cast<size_t>(sx) * bytes, bytes);
      } else {
        out.SetIndex(x, y, source.GetIndex(sx, sy));
      }
    }
  }
  return out;
}

std::vector<uint8_t> PLFindExif(const uint8_t* data, size_t size) {
  static const uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (PLIsJpeg(data, size)) {
    // The markers before the first scan; APP1 "Exif\0\0" holds the block.
    size_t pos = 2;
    while (pos + 4 <= size) {
      if (data[pos] != 0xFF) return {};
      const uint8_t marker = data[pos + 1];
      if (marker == 0xFF) {  // fill byte
        ++pos;
        continue;
      }
      if (marker == 0xDA || marker == 0xD9) return {};  // start of scan, end of image
      const size_t length = Get16(data + pos + 2, false);
      if (length < 2 || length > size - pos - 2) return {};
      const uint8_t* payload = data + pos + 4;
      const size_t payloadSize = length - 2;
      if (marker == 0xE1 && payloadSize > sizeof kHeader && std::memcmp(payload, kHeader, sizeof kHeader) == 0)
        return std::vector<uint8_t>(payload, payload + payloadSize);
      pos += 2 + length;
    }
    return {};
  }
  if (PLIsTiff(data, size)) {
    // A TIFF file is itself the structure an EXIF block holds.
    std::vector<uint8_t> block(kHeader, kHeader + sizeof kHeader);
    block.insert(block.end(), data, data + size);
    return block;
  }
  return {};
}
