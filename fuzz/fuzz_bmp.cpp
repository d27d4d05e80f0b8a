// BMP decoder: any bytes give a bitmap or a PLTextException; a decoded bitmap
// survives an encode/decode round trip unchanged.
#include <cstdlib>

#include "picture/Bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PLSetPixelLimit(uint64_t{1} << 24);
  try {
    const PLBitmap bmp = PLDecodeBmp(data, size);
    const std::vector<uint8_t> file = PLEncodeBmp(bmp);
    const PLBitmap back = PLDecodeBmp(file.data(), file.size());
    if (!(back == bmp)) std::abort();
  } catch (const PLTextException&) {
  }
  return 0;
}
