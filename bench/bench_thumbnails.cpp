// Thumbnails of large JPEG photos: the describer's scaled decode against a
// full-size libjpeg decode of the same files, and against ImageMagick.
//
//   bench_thumbnails DIR [COUNT]      photos are made in DIR when missing
//
// The photos are 4000 x 3000 pixels, derived from one plasma picture made by
// ImageMagick (shifted and tinted so that no two files are alike) and
// encoded at quality 90, so they compress like real photographs.
#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/FileItem.h"
#include "describe/Describe.h"
#include "picture/Decoders.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

class NullHost : public IDescribeHost {
 public:
  std::string PhysicalPath(const CFileItemList&, size_t) override { return {}; }
  void LogScanError(const std::string& line) override { std::fprintf(stderr, "error: %s\n", line.c_str()); }
};

std::vector<uint8_t> ReadPpm(const std::string& path, int& w, int& h) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  int maxval = 0;
  if (std::fscanf(f, "P6 %d %d %d", &w, &h, &maxval) != 3 || maxval != 255) {
    std::fclose(f);
    return {};
  }
  std::fgetc(f);
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  const size_t got = std::fread(rgb.data(), 1, rgb.size(), f);
  std::fclose(f);
  if (got != rgb.size()) return {};
  return rgb;
}

bool WriteJpeg(const std::string& path, const std::vector<uint8_t>& base, int bw, int bh, int index) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  // Each photo: another window into the plasma, another tint, a little grain.
  const int dx = (index * 211) % (bw - kWidth + 1), dy = (index * 97) % (bh - kHeight + 1);
  const int tint[3] = {index % 7 * 6 - 18, index % 5 * 8 - 16, index % 3 * 10 - 10};
  std::vector<uint8_t> row(kWidth * 3);
  uint32_t seed = 2463534242u + static_cast<uint32_t>(index);
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* src = base.data() + (static_cast<size_t>(y + dy) * bw + dx) * 3;
    for (int x = 0; x < kWidth * 3; ++x) {
      seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
      const int v = src[x] + tint[x % 3] + static_cast<int>(seed % 9) - 4;
      row[x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

std::vector<std::string> MakePhotos(const fs::path& dir, int count) {
  fs::create_directories(dir);
  std::vector<std::string> files;
  for (int i = 0; i < count; ++i) files.push_back((dir / ("photo" + std::to_string(i) + ".jpg")).string());
  bool missing = false;
  for (const auto& f : files) missing = missing || !fs::exists(f);
  if (!missing) return files;

  const fs::path base = dir / "plasma.ppm";
  if (!fs::exists(base)) {
    std::fprintf(stderr, "making the plasma base picture...\n");
    const std::string cmd = "convert -seed 7 -size 4400x3300 plasma:fractal -blur 0x1 -depth 8 '" + base.string() + "'";
    if (std::system(cmd.c_str()) != 0) return {};
  }
  int bw = 0, bh = 0;
  const std::vector<uint8_t> rgb = ReadPpm(base.string(), bw, bh);
  if (rgb.empty() || bw < kWidth || bh < kHeight) return {};
  for (int i = 0; i < count; ++i) {
    if (fs::exists(files[i])) continue;
    std::fprintf(stderr, "\rwriting photo %d/%d", i + 1, count);
    if (!WriteJpeg(files[i], rgb, bw, bh, i)) return {};
  }
  std::fprintf(stderr, "\n");
  return files;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The describer's thumbnail path from a bitmap: 32 bits, resample, 8 bits.
PLBitmap Thumbnail(PLBitmap bitmap, const PLPictureInfo& info) {
  const bool tall = static_cast<double>(info.height) / info.width > 1.0;
  const int w = tall ? info.width * 100 / info.height : 100;
  const int h = tall ? 100 : info.height * 100 / info.width;
  if (bitmap.BitsPerPixel() != 32) bitmap = PLCopyWithDepth(bitmap, 32);
  return PLCopyWithDepth(PLResizeBilinear(bitmap, w, h), 8);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_thumbnails DIR [COUNT]\n");
    return 2;
  }
  const int count = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::vector<std::string> files = MakePhotos(argv[1], count);
  if (files.empty()) {
    std::fprintf(stderr, "cannot make the photos (is ImageMagick installed?)\n");
    return 1;
  }
  uintmax_t bytes = 0;
  for (const auto& f : files) bytes += fs::file_size(f);
  std::printf("%zu JPEG photos of %d x %d pixels, %.1f MB in all\n", files.size(), kWidth, kHeight, bytes / 1e6);

  // Warm the page cache so that every contender reads from memory.
  for (const auto& f : files) PLDecodePictureFile(f, {100, 100});

  NullHost host;
  auto start = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    CFileItem item;
    DescribePicture(f, item, {}, host);
    if (!item.thumbnail || item.thumbnail->Width() != 100) std::fprintf(stderr, "bad thumbnail for %s\n", f.c_str());
  }
  const double scaled = Seconds(start);

  start = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    PLPictureInfo info;
    PLBitmap full = PLDecodePictureFile(f, {}, &info);
    if (full.Width() != kWidth) std::fprintf(stderr, "bad full decode for %s\n", f.c_str());
    Thumbnail(std::move(full), info);
  }
  const double fullDecode = Seconds(start);

  const fs::path out = fs::path(argv[1]) / "convert-out.jpg";
  start = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    const std::string cmd = "convert '" + f + "' -thumbnail 100x100 '" + out.string() + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "convert failed on %s\n", f.c_str());
  }
  const double convert = Seconds(start);

  const double n = static_cast<double>(files.size());
  std::printf("%-44s %8.2f s %8.2f files/s\n", "describer (scaled JPEG decode + resize)", scaled, n / scaled);
  std::printf("%-44s %8.2f s %8.2f files/s\n", "full-size libjpeg decode + same resize", fullDecode, n / fullDecode);
  std::printf("%-44s %8.2f s %8.2f files/s\n", "convert -thumbnail 100x100", convert, n / convert);
  std::printf("scaled decode is %.1fx faster than the full decode and %.1fx faster than convert\n",
              fullDecode / scaled, convert / scaled);
  return 0;
}
