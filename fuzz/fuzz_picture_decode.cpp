// Whole picture decoding entry, as the thumbnail maker calls it: any bytes
// give a bitmap or a PLTextException. A decoded bitmap is also taken through
// the resize and colour reduction the thumbnails use.
#include <algorithm>

#include "picture/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PLSetPixelLimit(uint64_t{1} << 22);
  try {
    PLPictureInfo info;
    const PLBitmap bmp = PLDecodePicture(data, size, {100, 100}, &info);
    if (bmp.IsEmpty()) return 0;
    const PLBitmap small = PLResizeBilinear(bmp, std::min(bmp.Width(), 100), std::min(bmp.Height(), 100));
    const PLBitmap reduced = PLCopyWithDepth(small, 8);
    (void)reduced;
  } catch (const PLTextException&) {
  }
  return 0;
}
