// The EXIF block of JPEG and TIFF files and its reading through libexif:
// any bytes give a block or none, and lines or none, never a crash.
#include "describe/Exif.h"
#include "i18n/Translator.h"
#include "picture/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool init = [] {
    InitTranslator("", LANG_ENGLISH);
    return true;
  }();
  (void)init;
  // As a JPEG file (markers walked to its APP1 segment), then as a bare block.
  std::vector<uint8_t> jpeg{0xFF, 0xD8, 0xFF};
  jpeg.insert(jpeg.end(), data, data + size);
  const std::vector<uint8_t> block = PLFindExif(jpeg.data(), jpeg.size());
  if (!block.empty() && (block.size() > size || block[0] != 'E')) __builtin_trap();
  const ExifFacts a = ReadExifFacts(block);
  const ExifFacts b = ReadExifFacts(data, size);
  if (a.orientation < 1 || a.orientation > 8 || b.orientation < 1 || b.orientation > 8) __builtin_trap();
  (void)OrientationLine(b.orientation);
  return 0;
}
