// Decoders of our own for the formats no Debian library reads for us:
// TGA, PCX, netpbm, PICT, the TIFF preview of EPS, and WMF/EMF drawn by a
// small record player. Each Is* is a content test; each Decode* throws
// PLTextException with a message text on bad or unsupported data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/Bitmap.h"

// TGA has no signature: the test checks the header for plausibility and is
// meant to be tried after every other format.
bool PLIsTga(const uint8_t* data, size_t size);
PLBitmap PLDecodeTga(const uint8_t* data, size_t size);

bool PLIsPcx(const uint8_t* data, size_t size);
PLBitmap PLDecodePcx(const uint8_t* data, size_t size);

// PBM, PGM and PPM, plain (ASCII) and raw (P1 to P6).
bool PLIsPnm(const uint8_t* data, size_t size);
PLBitmap PLDecodePnm(const uint8_t* data, size_t size);

// Macintosh PICT file (512-byte header, then the picture).
bool PLIsPict(const uint8_t* data, size_t size);
PLBitmap PLDecodePict(const uint8_t* data, size_t size);

// DOS EPS binary header (C5 D0 D3 C6); decodes the TIFF preview.
bool PLIsEps(const uint8_t* data, size_t size);
PLBitmap PLDecodeEps(const uint8_t* data, size_t size);

// Windows metafiles, placeable or plain, drawn into a 32 bpp bitmap.
bool PLIsWmf(const uint8_t* data, size_t size);
PLBitmap PLDecodeWmf(const uint8_t* data, size_t size);

// Enhanced metafiles drawn into a 32 bpp bitmap.
bool PLIsEmf(const uint8_t* data, size_t size);
PLBitmap PLDecodeEmf(const uint8_t* data, size_t size);

// Largest picture any of these decoders produces, in pixels.
constexpr uint64_t kPLMaxDecodedPixels = 100'000'000;
// Largest metafile rendering per side; bigger pictures are scaled down to fit.
constexpr int kPLMaxMetafileSide = 4096;
