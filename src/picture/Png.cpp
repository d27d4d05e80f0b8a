// PNG through libpng, from memory.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>

#include "picture/DecoderSupport.h"
#include "picture/Decoders.h"

namespace {

struct PngJob {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  std::string message;
  PLBitmap bitmap;
  std::vector<uint8_t> rows;  // for layouts that need a conversion
  std::vector<png_bytep> rowPointers;
};

void OnError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  job->message = message ? message : "unknown error";
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void Read(png_structp png, png_bytep out, size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (length > job->size - job->pos) png_error(png, "PNG file truncated");
  std::memcpy(out, job->data + job->pos, length);
  job->pos += length;
}

// Everything with a destructor lives in `job`, created before setjmp.
bool Run(PngJob& job, png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &job, Read);
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  const int channels = png_get_channels(png, info);
  // Deflate expands at most 1032 times; each row carries a filter byte.
  const uint64_t rawRow = (static_cast<uint64_t>(width) * channels * bitDepth + 7) / 8 + 1;
  PLCheckPixelsForData("PNG", rawRow, height, job.size, 1032);

  int bpp = 24;
  bool direct = true;  // libpng can write straight into the bitmap rows
  if (bitDepth == 16) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    // 1 and 4 bit indices are packed high bits first, like the bitmap.
    if (bitDepth == 2) png_set_packing(png);
    bpp = bitDepth == 1 ? 1 : bitDepth == 4 ? 4 : 8;
  } else if (colorType == PNG_COLOR_TYPE_GRAY) {
    if (bitDepth == 2) png_set_expand_gray_1_2_4_to_8(png);
    bpp = bitDepth == 1 ? 1 : bitDepth == 4 ? 4 : 8;
  } else if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    bpp = 32;
  } else if (colorType == PNG_COLOR_TYPE_RGB) {
    png_set_bgr(png);
    bpp = 24;
  } else if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
    png_set_bgr(png);
    bpp = 32;
  } else {
    png_error(png, "unknown colour type");
  }
  const int passes = png_set_interlace_handling(png);
  (void)passes;
  png_read_update_info(png, info);

  job.bitmap.Create(static_cast<int>(width), static_cast<int>(height), bpp);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) != PNG_INFO_PLTE || palette == nullptr)
      png_error(png, "palette missing");
    auto& pal = job.bitmap.Palette();
    const size_t n = std::min<size_t>(static_cast<size_t>(count), size_t{1} << bitDepth);
    for (size_t i = 0; i < n; ++i) pal[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
    if (bitDepth == 2) direct = false;
  } else if (colorType == PNG_COLOR_TYPE_GRAY) {
    PLSetGrayPalette(job.bitmap, bitDepth == 1 ? 2 : bitDepth == 4 ? 16 : 256);
  }

  const size_t rowBytes = png_get_rowbytes(png, info);
  job.rowPointers.resize(height);
  if (direct) {
    if (rowBytes > job.bitmap.Stride()) png_error(png, "unexpected row size");
    for (png_uint_32 y = 0; y < height; ++y) job.rowPointers[y] = job.bitmap.Row(static_cast<int>(y));
  } else {
    job.rows.resize(rowBytes * height);
    for (png_uint_32 y = 0; y < height; ++y) job.rowPointers[y] = job.rows.data() + rowBytes * y;
  }
  png_read_image(png, job.rowPointers.data());
  if (!direct)
    for (png_uint_32 y = 0; y < height; ++y)
      for (png_uint_32 x = 0; x < width; ++x)
        job.bitmap.SetIndex(static_cast<int>(x), static_cast<int>(y), job.rowPointers[y][x]);
  return true;
}

}  // namespace

bool PLIsPng(const uint8_t* data, size_t size) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

PLBitmap PLDecodePng(const uint8_t* data, size_t size) {
  if (data == nullptr || !PLIsPng(data, size)) throw PLTextException("Not a PNG file");
  auto job = std::make_unique<PngJob>();
  job->data = data;
  job->size = size;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job.get(), OnError, OnWarning);
  if (png == nullptr) throw PLTextException("PNG decoder could not start");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    throw PLTextException("PNG decoder could not start");
  }
  bool ok = false;
  std::string thrown;
  try {
    ok = Run(*job, png, info);
  } catch (const PLTextException& e) {
    thrown = e.what();
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (!thrown.empty()) throw PLTextException(thrown);
  if (!ok) throw PLTextException("PNG decoding error: " + job->message);
  return std::move(job->bitmap);
}
