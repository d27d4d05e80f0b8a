// Bilinear (triangle filter) resampling. When shrinking, the triangle widens
// to the reduction factor so every source pixel counts, instead of picking
// two neighbours and aliasing.
#include <algorithm>
#include <cmath>

#include "picture/Decoders.h"

namespace {

constexpr int kWeightBits = 14;

struct Contribution {
  int first = 0;
  std::vector<int32_t> weights;  // sum to 1 << kWeightBits
};

std::vector<Contribution> Contributions(int srcSize, int dstSize) {
  std::vector<Contribution> out(static_cast<size_t>(dstSize));
  const double scale = static_cast<double>(srcSize) / dstSize;
  const double support = std::max(1.0, scale);
  for (int i = 0; i < dstSize; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    int from = static_cast<int>(std::floor(centre - support)) + 1;
    int to = static_cast<int>(std::ceil(centre + support)) - 1;
    from = std::clamp(from, 0, srcSize - 1);
    to = std::clamp(to, from, srcSize - 1);
    std::vector<double> w;
    double total = 0;
    for (int j = from; j <= to; ++j) {
      const double v = std::max(0.0, 1.0 - std::abs(j - centre) / support);
      w.push_back(v);
      total += v;
    }
    Contribution& c = out[static_cast<size_t>(i)];
    c.first = from;
    if (total <= 0) {  // centre outside the picture: nearest edge pixel
      c.weights.assign(w.size(), 0);
      c.weights[centre < from ? 0 : w.size() - 1] = 1 << kWeightBits;
      continue;
    }
    int32_t sum = 0;
    size_t biggest = 0;
    for (size_t k = 0; k < w.size(); ++k) {
      c.weights.push_back(static_cast<int32_t>(std::lround(w[k] / total * (1 << kWeightBits))));
      sum += c.weights.back();
      if (c.weights[k] > c.weights[biggest]) biggest = k;
    }
    c.weights[biggest] += (1 << kWeightBits) - sum;
  }
  return out;
}

}  // namespace

PLBitmap PLResizeBilinear(const PLBitmap& source, int width, int height) {
  if (width <= 0 || height <= 0) throw PLTextException("Invalid size for resizing: " + std::to_string(width) + " x " + std::to_string(height));
  PLBitmap out(width, height, 32);
  if (source.IsEmpty()) return out;
  const int srcW = source.Width(), srcH = source.Height();
  const auto cx = Contributions(srcW, width);
  const auto cy = Contributions(srcH, height);

  // Horizontal pass into 16-bit channels (8 extra bits of precision), only
  // for the source rows the vertical pass will read.
  int rowFrom = srcH, rowTo = -1;
  for (const auto& c : cy) {
    rowFrom = std::min(rowFrom, c.first);
    rowTo = std::max(rowTo, c.first + static_cast<int>(c.weights.size()) - 1);
  }
  const size_t tmpStride = static_cast<size_t>(width) * 4;
  std::vector<uint16_t> tmp(tmpStride * static_cast<size_t>(rowTo - rowFrom + 1));
  std::vector<uint8_t> converted;
  const int bpp = source.BitsPerPixel();
  if (bpp != 24 && bpp != 32) converted.resize(static_cast<size_t>(srcW) * 4);
  for (int y = rowFrom; y <= rowTo; ++y) {
    const uint8_t* row = source.Row(y);
    int step = bpp / 8;
    if (!converted.empty()) {
      for (int x = 0; x < srcW; ++x) {
        const PLPixel32 p = source.GetPixel(x, y);
        uint8_t* o = converted.data() + 4 * x;
        o[0] = p.b, o[1] = p.g, o[2] = p.r, o[3] = p.a;
      }
      row = converted.data();
      step = 4;
    }
    uint16_t* dst = tmp.data() + tmpStride * static_cast<size_t>(y - rowFrom);
    for (int x = 0; x < width; ++x) {
      const Contribution& c = cx[static_cast<size_t>(x)];
      int32_t acc[4] = {0, 0, 0, 0};
      const uint8_t* p = row + static_cast<size_t>(c.first) * step;
      for (int32_t w : c.weights) {
        acc[0] += p[0] * w;
        acc[1] += p[1] * w;
        acc[2] += p[2] * w;
        if (step == 4) acc[3] += p[3] * w;
        p += step;
      }
      for (int k = 0; k < 4; ++k)
        dst[4 * x + k] = static_cast<uint16_t>(std::clamp((acc[k] + (1 << 5)) >> 6, 0, 0xFFFF));
    }
  }
  for (int y = 0; y < height; ++y) {
    const Contribution& c = cy[static_cast<size_t>(y)];
    uint8_t* dst = out.Row(y);
    for (size_t i = 0; i < tmpStride; ++i) {
      int64_t acc = 0;
      const uint16_t* p = tmp.data() + tmpStride * static_cast<size_t>(c.first - rowFrom) + i;
      for (int32_t w : c.weights) {
        acc += static_cast<int64_t>(*p) * w;
        p += tmpStride;
      }
      dst[i] = static_cast<uint8_t>(std::clamp<int64_t>((acc + (int64_t{1} << 21)) >> 22, 0, 255));
    }
  }
  return out;
}
