// Helpers shared by the library-backed decoders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/Bitmap.h"

// Palette of `levels` evenly spaced greys from black to white.
void PLSetGrayPalette(PLBitmap& bitmap, int levels);

// Refuses a picture whose pixel count cannot come out of `size` bytes of data
// at the given best compression ratio (pixels per byte), with a small
// allowance for tiny files. (PLBitmap::Create applies PLPixelLimit().)
void PLCheckPixelsForData(const char* format, uint64_t width, uint64_t height, size_t size, uint64_t pixelsPerByte);
