// MPEG audio frame scan, Xing headers and ID3v1 records over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "describe/Mp3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryByteReader src(data, size);
  // The first two bytes choose where the scan starts, as an ID3v2 tag would.
  int64_t start = size >= 2 ? ((data[0] << 8) | data[1]) % (size + 16) : 0;
  MpegAudioInfo info;
  if (ScanMpegFrames(src, start, info) == 0) {
    if (info.bitRate <= 0 || (info.layer != 2 && info.layer != 3)) __builtin_trap();
    if (info.duration < 0) __builtin_trap();
  }
  for (size_t i = 0; i + 4 <= size && i < 64; ++i) {
    MpegAudioInfo one;
    one.fileSize = static_cast<int64_t>(size);
    ParseMpegHeader(data + i, size - i, one);
  }
  Id3v1Tag tag;
  ReadId3v1Tag(src, tag);
  Mp3Info all = ReadMp3Info(src);
  (void)all;
  return 0;
}
