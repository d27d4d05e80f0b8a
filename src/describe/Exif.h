// The EXIF lines of a picture's description, read through libexif: when and
// with what it was taken, exposure, where, and how it is to be turned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ExifFacts {
  // Translated lines in the order they are shown: date taken, camera, lens,
  // exposure time, f-number, ISO, focal length, GPS position.
  std::vector<std::string> lines;
  int orientation = 1;  // 1 to 8 as stored; 1 when absent or out of range
};

// Reads an EXIF block ("Exif\0\0" then the TIFF structure). Anything it
// cannot read is left out; bad bytes give no lines, never an error.
ExifFacts ReadExifFacts(const uint8_t* data, size_t size);
inline ExifFacts ReadExifFacts(const std::vector<uint8_t>& block) { return ReadExifFacts(block.data(), block.size()); }

// The description line saying how the thumbnail was turned; "" for 1.
std::string OrientationLine(int orientation);
