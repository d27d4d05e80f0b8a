// The body shared by the fuzz targets of our own picture decoders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/OwnDecoders.h"

inline int FuzzOwnDecoder(bool (*is)(const uint8_t*, size_t), PLBitmap (*decode)(const uint8_t*, size_t),
                          const uint8_t* data, size_t size) {
  bool recognised = is(data, size);
  try {
    PLBitmap bitmap = decode(data, size);
    if (!recognised || bitmap.IsEmpty()) __builtin_trap();  // success only for what the test accepts
    if (static_cast<uint64_t>(bitmap.Width()) * bitmap.Height() > kPLMaxDecodedPixels) __builtin_trap();
    // Touch the corners and the middle: rows and palette must be consistent.
    unsigned sum = 0;
    for (int y : {0, bitmap.Height() / 2, bitmap.Height() - 1})
      for (int x : {0, bitmap.Width() / 2, bitmap.Width() - 1}) sum += bitmap.GetPixel(x, y).r;
    (void)sum;
  } catch (const PLTextException&) {
  }
  return 0;
}
