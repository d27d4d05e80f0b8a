// Depth conversion, colour reduction and the memory figure.
#include <algorithm>
#include <array>
#include <unordered_map>

#include "picture/DecoderSupport.h"
#include "picture/Decoders.h"

void PLSetGrayPalette(PLBitmap& bitmap, int levels) {
  auto& pal = bitmap.Palette();
  pal.assign(static_cast<size_t>(levels), PLPixel32{});
  for (int i = 0; i < levels; ++i) {
    const auto v = static_cast<uint8_t>(levels > 1 ? i * 255 / (levels - 1) : 0);
    pal[static_cast<size_t>(i)] = {v, v, v, 0};
  }
}

void PLCheckPixelsForData(const char* format, uint64_t width, uint64_t height, size_t size, uint64_t pixelsPerByte) {
  const uint64_t limit = static_cast<uint64_t>(size) * pixelsPerByte + (uint64_t{1} << 20);
  if (width != 0 && height > limit / width)
    throw PLTextException(std::string(format) + " file too short for its size of " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels");
}

size_t PLMemoryFigure(int width, int height, int bpp) {
  if (width <= 0 || height <= 0 || bpp <= 0) return 0;
  uint64_t row = static_cast<uint64_t>(width) * static_cast<uint64_t>(bpp) / 8;
  if (bpp == 1 && width % 8 != 0) row += 1;
  row = (row + 3) / 4 * 4;
  const uint64_t palette = bpp <= 15 ? 4 * (uint64_t{1} << bpp) : 0;
  return static_cast<size_t>(row * static_cast<uint64_t>(height) + 40 + palette + 56);
}

namespace {

PLBitmap ToDirect(const PLBitmap& source, int bpp) {
  PLBitmap out(source.Width(), source.Height(), bpp);
  const int w = source.Width();
  const size_t step = static_cast<size_t>(bpp / 8);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* src = source.Row(y);
    uint8_t* dst = out.Row(y);
    if (source.BitsPerPixel() == 24 || source.BitsPerPixel() == 32) {
      // Straight byte moves: this runs over whole decoded pictures.
      const size_t from = static_cast<size_t>(source.BitsPerPixel() / 8);
      for (int x = 0; x < w; ++x, src += from, dst += step) {
        dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
        if (step == 4) dst[3] = from == 4 ? src[3] : 0;
      }
    } else {
      for (int x = 0; x < w; ++x, dst += step) {
        const PLPixel32 p = source.GetPixel(x, y);
        dst[0] = p.b, dst[1] = p.g, dst[2] = p.r;
        if (step == 4) dst[3] = 0;
      }
    }
  }
  return out;
}

uint32_t Rgb(PLPixel32 p) { return static_cast<uint32_t>(p.r) << 16 | static_cast<uint32_t>(p.g) << 8 | p.b; }

// Median cut over a 5-bit-per-channel histogram: boxes are split at the
// pixel median of their longest side until there are enough of them; each
// box gives the mean colour of its pixels. A box keeps the occupied bins it
// holds (a range of keys_), so a split costs the bins in the box, not its volume.
class MedianCut {
 public:
  explicit MedianCut(const PLBitmap& source) {
    for (int y = 0; y < source.Height(); ++y)
      for (int x = 0; x < source.Width(); ++x) {
        const PLPixel32 p = source.GetPixel(x, y);
        Bin& bin = bins_[static_cast<size_t>(Key(p))];
        if (bin.count++ == 0) keys_.push_back(Key(p));
        bin.r += p.r;
        bin.g += p.g;
        bin.b += p.b;
      }
  }

  std::vector<PLPixel32> Palette(size_t colours) {
    std::vector<Box> boxes;
    boxes.push_back(Shrink({{0, 0, 0}, {31, 31, 31}, 0, 0, keys_.size()}));
    while (boxes.size() < colours) {
      // Split the box with the most pixels among those that can be split.
      int best = -1;
      for (size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].lo == boxes[i].hi) continue;
        if (best < 0 || boxes[i].count > boxes[static_cast<size_t>(best)].count) best = static_cast<int>(i);
      }
      if (best < 0) break;
      Box box = boxes[static_cast<size_t>(best)];
      int axis = 0;
      for (int a = 1; a < 3; ++a)
        if (box.hi[a] - box.lo[a] > box.hi[axis] - box.lo[axis]) axis = a;
      // Cut where half of the box's pixels lie below.
      std::array<uint64_t, 32> slices{};
      for (size_t k = box.begin; k < box.end; ++k) slices[static_cast<size_t>(Coordinate(keys_[k], axis))] += Count(k);
      uint64_t below = 0;
      int cut = box.lo[axis];
      for (int v = box.lo[axis]; v < box.hi[axis]; ++v) {
        below += slices[static_cast<size_t>(v)];
        cut = v;
        if (below * 2 >= box.count) break;
      }
      const auto middle = std::partition(keys_.begin() + static_cast<std::ptrdiff_t>(box.begin),
                                         keys_.begin() + static_cast<std::ptrdiff_t>(box.end),
                                         [&](int key) { return Coordinate(key, axis) <= cut; });
      const size_t split = static_cast<size_t>(middle - keys_.begin());
      Box first = box, second = box;
      first.hi[axis] = cut;
      first.end = split;
      second.lo[axis] = cut + 1;
      second.begin = split;
      boxes[static_cast<size_t>(best)] = Shrink(first);
      boxes.push_back(Shrink(second));
    }
    std::vector<PLPixel32> palette;
    for (const Box& box : boxes) {
      uint64_t n = 0, r = 0, g = 0, b = 0;
      for (size_t k = box.begin; k < box.end; ++k) {
        const Bin& bin = bins_[static_cast<size_t>(keys_[k])];
        n += bin.count;
        r += bin.r;
        g += bin.g;
        b += bin.b;
      }
      if (n == 0) continue;
      palette.push_back({static_cast<uint8_t>(b / n), static_cast<uint8_t>(g / n), static_cast<uint8_t>(r / n), 0});
    }
    if (palette.empty()) palette.push_back({});
    return palette;
  }

  static int Key(PLPixel32 p) { return (p.r >> 3) << 10 | (p.g >> 3) << 5 | (p.b >> 3); }

 private:
  struct Bin {
    uint64_t count = 0, r = 0, g = 0, b = 0;
  };
  struct Box {
    std::array<int, 3> lo, hi;  // inclusive, channels r, g, b
    uint64_t count;
    size_t begin, end;  // its occupied bins in keys_
  };

  static int Coordinate(int key, int axis) { return key >> (10 - 5 * axis) & 31; }
  uint64_t Count(size_t k) const { return bins_[static_cast<size_t>(keys_[k])].count; }
  // Tightens a box around the bins that hold pixels.
  Box Shrink(Box box) const {
    if (box.begin == box.end) return {box.lo, box.lo, 0, box.begin, box.end};
    std::array<int, 3> lo{31, 31, 31}, hi{0, 0, 0};
    uint64_t n = 0;
    for (size_t k = box.begin; k < box.end; ++k) {
      n += Count(k);
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::min(lo[a], Coordinate(keys_[k], a));
        hi[a] = std::max(hi[a], Coordinate(keys_[k], a));
      }
    }
    return {lo, hi, n, box.begin, box.end};
  }

  std::vector<Bin> bins_ = std::vector<Bin>(32768);
  std::vector<int> keys_;  // the occupied bins, grouped box by box
};

unsigned Nearest(const std::vector<PLPixel32>& palette, PLPixel32 p) {
  unsigned best = 0;
  int bestDistance = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    const int dr = palette[i].r - p.r, dg = palette[i].g - p.g, db = palette[i].b - p.b;
    const int d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<unsigned>(i);
    }
  }
  return best;
}

PLBitmap Reduce(const PLBitmap& source, int bpp) {
  const size_t colours = size_t{1} << bpp;
  PLBitmap out(source.Width(), source.Height(), bpp);

  // Few colours: an exact palette.
  std::unordered_map<uint32_t, unsigned> exact;
  for (int y = 0; y < source.Height() && exact.size() <= colours; ++y)
    for (int x = 0; x < source.Width() && exact.size() <= colours; ++x)
      exact.emplace(Rgb(source.GetPixel(x, y)), 0);
  if (exact.size() <= colours) {
    auto& pal = out.Palette();
    pal.clear();
    for (auto& [rgb, index] : exact) {
      index = static_cast<unsigned>(pal.size());
      pal.push_back({static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16), 0});
    }
    // Stable order whatever the hash: sort by colour and renumber.
    std::sort(pal.begin(), pal.end(), [](PLPixel32 a, PLPixel32 b) { return Rgb(a) < Rgb(b); });
    for (size_t i = 0; i < pal.size(); ++i) exact[Rgb(pal[i])] = static_cast<unsigned>(i);
    for (int y = 0; y < source.Height(); ++y)
      for (int x = 0; x < source.Width(); ++x) out.SetIndex(x, y, exact[Rgb(source.GetPixel(x, y))]);
    return out;
  }

  MedianCut cut(source);
  out.Palette() = cut.Palette(colours);
  // Every pixel of one histogram bin takes that bin's nearest colour.
  std::vector<int16_t> lookup(32768, -1);
  for (int y = 0; y < source.Height(); ++y)
    for (int x = 0; x < source.Width(); ++x) {
      const PLPixel32 p = source.GetPixel(x, y);
      int16_t& index = lookup[static_cast<size_t>(MedianCut::Key(p))];
      if (index < 0) index = static_cast<int16_t>(Nearest(out.Palette(), p));
      out.SetIndex(x, y, static_cast<unsigned>(index));
    }
  return out;
}

}  // namespace

PLBitmap PLCopyWithDepth(const PLBitmap& source, int bpp) {
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    throw PLTextException("Unsupported bitmap depth: " + std::to_string(bpp) + " bits per pixel");
  if (source.IsEmpty()) return PLBitmap(source.Width(), source.Height(), bpp);
  if (bpp == source.BitsPerPixel()) return source;
  if (bpp >= 24) return ToDirect(source, bpp);
  if (source.BitsPerPixel() < bpp) {
    // More room for the same indices and palette.
    PLBitmap out(source.Width(), source.Height(), bpp);
    out.Palette() = source.Palette();
    for (int y = 0; y < source.Height(); ++y)
      for (int x = 0; x < source.Width(); ++x) out.SetIndex(x, y, source.GetIndex(x, y));
    return out;
  }
  return Reduce(source, bpp);
}
