// ID3v2 tag walk (versions 2.2 to 2.4, compressed and unsynchronised frames,
// text decoding).
#include <cstddef>
#include <cstdint>

#include "describe/Id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryByteReader src(data, size);
  TagValues values;
  int64_t audioStart = -1;
  int rc = ReadId3v2Tag(src, values, audioStart);
  if (rc == ID3_OK && (audioStart < 10 || audioStart > (1 << 28) + 20)) __builtin_trap();
  if (rc != ID3_OK && audioStart != -1) __builtin_trap();
  // The text decoder on its own, as frame data of either kind.
  std::string slot;
  DecodeId3TextFrame(data, size, false, slot);
  DecodeId3TextFrame(data, size, true, slot);
  DecodeId3TextFrame(data, size, false, slot, 4);
  return 0;
}
