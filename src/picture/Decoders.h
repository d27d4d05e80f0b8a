// Decoding picture files into bitmaps, and the operations thumbnails need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/Bitmap.h"

// Lets a decoder work at a reduced size (JPEG DCT scaling) when only a
// thumbnail is wanted: the picture fitted into minWidth x minHeight, aspect
// kept, must still be covered by what is decoded. 0 means full size.
struct PLDecodeHints {
  int minWidth = 0;
  int minHeight = 0;
};

// Size and depth of the picture as stored, whatever size was decoded.
struct PLPictureInfo {
  int width = 0;
  int height = 0;
  int bpp = 0;
  // The EXIF block ("Exif\0\0" and a TIFF structure) the file carries, if any.
  std::vector<uint8_t> exif;
  // Whether the decoded pixels are stored unturned, to be shown as the EXIF
  // orientation says (JPEG, WebP); other decoders turn them themselves or
  // not at all.
  bool exifOrientation = false;
};

// A picture whose header was read but whose pixels the decoder refuses (a
// colour model or depth it cannot convert, damaged pixel data): info holds
// the size and depth the header gives.
class PLPixelsRefused : public PLTextException {
 public:
  PLPixelsRefused(const std::string& message, const PLPictureInfo& headerInfo)
      : PLTextException(message), info(headerInfo) {}
  PLPictureInfo info;
};

// Any supported format, recognised by content. Throws PLTextException
// (PLPixelsRefused when the header could be read).
PLBitmap PLDecodePicture(const uint8_t* data, size_t size, const PLDecodeHints& hints = {},
                         PLPictureInfo* info = nullptr);
PLBitmap PLDecodePictureFile(const std::string& path, const PLDecodeHints& hints = {},
                             PLPictureInfo* info = nullptr);

// Signature tests of the library formats (and PLIsBmp in Bitmap.h).
bool PLIsJpeg(const uint8_t* data, size_t size);
bool PLIsPng(const uint8_t* data, size_t size);
bool PLIsTiff(const uint8_t* data, size_t size);
bool PLIsGif(const uint8_t* data, size_t size);
bool PLIsWebp(const uint8_t* data, size_t size);
// HEIC, HEIF and AVIF: an ISO file type box with one of their brands.
bool PLIsHeif(const uint8_t* data, size_t size);

// Library-backed decoders (also used by other decoders, e.g. the EPS preview).
PLBitmap PLDecodeJpeg(const uint8_t* data, size_t size, const PLDecodeHints& hints = {},
                      PLPictureInfo* info = nullptr);
PLBitmap PLDecodePng(const uint8_t* data, size_t size);
// libtiff only flips a picture stored turned a quarter (orientations 5 to 8):
// such a picture comes turned upright, or, when storedTurn is given, as
// stored with its orientation there (1 for every other picture).
PLBitmap PLDecodeTiff(const uint8_t* data, size_t size, int* storedTurn = nullptr);
PLBitmap PLDecodeGif(const uint8_t* data, size_t size);
PLBitmap PLDecodeWebp(const uint8_t* data, size_t size, PLPictureInfo* info = nullptr);
// With hints, a stored thumbnail that still covers them is decoded instead
// of the picture (info keeps the picture's own size).
PLBitmap PLDecodeHeif(const uint8_t* data, size_t size, const PLDecodeHints& hints = {},
                      PLPictureInfo* info = nullptr);

// The EXIF block of a JPEG (its APP1 segment) or TIFF file; empty when none.
std::vector<uint8_t> PLFindExif(const uint8_t* data, size_t size);
// The bitmap turned as EXIF orientation 1..8 asks, any depth; other values
// give a copy.
PLBitmap PLApplyOrientation(const PLBitmap& source, int orientation);
// Orientations 5 to 8 exchange width and height.
bool PLOrientationSwapsAxes(int orientation);

// Bytes the bitmap takes in memory, as the picture description reports it.
size_t PLMemoryFigure(int width, int height, int bpp);
// Copy converted to 32 bpp, or reduced to 8, 4 or 1 bpp with a chosen palette.
PLBitmap PLCopyWithDepth(const PLBitmap& source, int bpp);
// Bilinear resample of a 32 bpp bitmap.
PLBitmap PLResizeBilinear(const PLBitmap& source, int width, int height);
