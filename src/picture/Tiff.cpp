// TIFF through libtiff, from memory; the first image of the file.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "picture/DecoderSupport.h"
#include "picture/Decoders.h"

namespace {

struct MemoryFile {
  const uint8_t* data;
  size_t size;
  uint64_t pos;
  std::string error;
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  const size_t count = std::min<uint64_t>(static_cast<uint64_t>(n), f->size - f->pos);
  std::memcpy(buf, f->data + f->pos, count);
  f->pos += count;
  return static_cast<tmsize_t>(count);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = f->pos;
  else if (whence == SEEK_END) base = f->size;
  const uint64_t target = base + off;
  if (target < base) return static_cast<toff_t>(-1);
  f->pos = target;
  return target;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* f = static_cast<MemoryFile*>(user);
  if (f->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    f->error = text;
  }
  return 1;
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFreer {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

uint8_t Colormap8(uint16_t v, bool sixteenBit) { return static_cast<uint8_t>(sixteenBit ? v >> 8 : v); }

}  // namespace

bool PLIsTiff(const uint8_t* data, size_t size) {
  if (size < 4) return false;
  return (data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0) ||
         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43));
}

PLBitmap PLDecodeTiff(const uint8_t* data, size_t size, int* storedTurn) {
  if (storedTurn) *storedTurn = 1;
  if (data == nullptr || !PLIsTiff(data, size)) throw PLTextException("Not a TIFF file");
  static std::once_flag quiet;
  // Some codecs still report through the process-wide handlers.
  std::call_once(quiet, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });

  MemoryFile file{data, size, 0, {}};
  std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &file);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(PLPixelLimit() * 4 + (64u << 20)));
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("memory", "rm", &file, ReadProc, WriteProc, SeekProc,
                                                          CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
  const auto fail = [&](const char* what) {
    return PLTextException(std::string("TIFF decoding error: ") + (file.error.empty() ? what : file.error));
  };
  if (!tif) throw fail("cannot read the file header");

  uint32_t width = 0, height = 0;
  uint16_t spp = 1, bps = 1, photometric = PHOTOMETRIC_MINISBLACK, extraCount = 0;
  uint16_t* extraTypes = nullptr;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
    throw PLTextException("TIFF file with an invalid size");
  // Fax coding squeezes blank lines into a few bits.
  PLCheckPixelsForData("TIFF", width, height, size, 8192);

  // From here on the header is known: a refusal still tells the size and depth.
  PLPictureInfo header;
  header.width = static_cast<int>(width);
  header.height = static_cast<int>(height);
  header.bpp = spp * bps;
  char why[1024] = "";
  if (!TIFFRGBAImageOK(tif.get(), why)) throw PLPixelsRefused(std::string("TIFF picture not supported: ") + why, header);

  const bool single = spp - extraCount == 1;
  const bool gray = single && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
  const bool palette = single && photometric == PHOTOMETRIC_PALETTE && bps <= 8;
  const bool alpha = extraCount > 0 && !gray && !palette;
  const int bpp = gray ? (bps == 1 ? 1 : 8) : palette ? 8 : alpha ? 32 : 24;
  PLBitmap bitmap(static_cast<int>(width), static_cast<int>(height), bpp);

  // libtiff reads orientations 5 to 8 as 1 to 4, flipped but not turned: a
  // request of that same orientation gives the rows as stored, to be turned here.
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  const bool quarter = orientation >= ORIENTATION_LEFTTOP && orientation <= ORIENTATION_LEFTBOT;
  const int request = quarter ? orientation - 4 : ORIENTATION_TOPLEFT;
  std::vector<uint32_t> raster(static_cast<size_t>(width) * height);
  if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), request, 1))
    throw PLPixelsRefused(fail("cannot read the pixels").what(), header);

  std::unordered_map<uint32_t, uint8_t> indexOf;
  if (gray) {
    PLSetGrayPalette(bitmap, bps == 1 ? 2 : 256);
  } else if (palette) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif.get(), TIFFTAG_COLORMAP, &r, &g, &b)) throw fail("colour map missing");
    const size_t n = size_t{1} << bps;
    bool sixteen = false;
    for (size_t i = 0; i < n; ++i) sixteen = sixteen || r[i] > 255 || g[i] > 255 || b[i] > 255;
    for (size_t i = 0; i < n; ++i) {
      const PLPixel32 c{Colormap8(b[i], sixteen), Colormap8(g[i], sixteen), Colormap8(r[i], sixteen), 0};
      bitmap.Palette()[i] = c;
      indexOf.emplace(static_cast<uint32_t>(c.r) | (c.g << 8) | (c.b << 16), static_cast<uint8_t>(i));
    }
  }
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* src = raster.data() + static_cast<size_t>(y) * width;
    uint8_t* dst = bitmap.Row(static_cast<int>(y));
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t p = src[x];
      if (gray && bps == 1) {
        if (TIFFGetR(p) >= 128) bitmap.SetIndex(static_cast<int>(x), static_cast<int>(y), 1);
      } else if (gray) {
        dst[x] = static_cast<uint8_t>(TIFFGetR(p));
      } else if (palette) {
        const auto it = indexOf.find(p & 0xFFFFFF);
        dst[x] = it == indexOf.end() ? 0 : it->second;
      } else {
        uint8_t* o = dst + static_cast<size_t>(x) * (bpp / 8);
        o[0] = static_cast<uint8_t>(TIFFGetB(p));
        o[1] = static_cast<uint8_t>(TIFFGetG(p));
        o[2] = static_cast<uint8_t>(TIFFGetR(p));
        if (alpha) o[3] = static_cast<uint8_t>(TIFFGetA(p));
      }
    }
  }
  if (!quarter) return bitmap;
  if (storedTurn) {
    *storedTurn = orientation;
    return bitmap;
  }
  return PLApplyOrientation(bitmap, orientation);
}
