// WebP through libwebp and its EXIF chunk: any bytes give a bitmap or a
// PLTextException; the EXIF block found is read and applied as a thumbnail would be.
#include "describe/Exif.h"
#include "picture/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PLSetPixelLimit(uint64_t{1} << 22);
  try {
    PLPictureInfo info;
    const PLBitmap bmp = PLDecodeWebp(data, size, &info);
    if (bmp.IsEmpty() || bmp.Width() != info.width || bmp.Height() != info.height) __builtin_trap();
    const ExifFacts facts = ReadExifFacts(info.exif);
    const PLBitmap turned = PLApplyOrientation(bmp, facts.orientation);
    if (static_cast<uint64_t>(turned.Width()) * turned.Height() != static_cast<uint64_t>(bmp.Width()) * bmp.Height())
      __builtin_trap();
  } catch (const PLTextException&) {
  }
  return 0;
}
