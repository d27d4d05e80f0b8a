// HEIC / HEIF / AVIF through libheif, with a thumbnail-sized request (so
// the stored thumbnails are tried too) and the EXIF block it carries.
#include "describe/Exif.h"
#include "picture/Decoders.h"

// libdav1d (libheif's AV1 decoder) keeps 40 bytes of some broken streams.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PLSetPixelLimit(uint64_t{1} << 22);
  try {
    PLPictureInfo info;
    const PLBitmap bmp = PLDecodeHeif(data, size, {100, 100}, &info);
    if (bmp.IsEmpty() || info.width <= 0 || info.height <= 0) __builtin_trap();
    (void)bmp.GetPixel(bmp.Width() - 1, bmp.Height() - 1);
    (void)ReadExifFacts(info.exif);
  } catch (const PLTextException&) {
  }
  return 0;
}
