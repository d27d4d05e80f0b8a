// The film describer over arbitrary bytes: container, key frame and scaling,
// within small byte, packet and time limits.
#include <cstddef>
#include <cstdint>

#include "describe/MediaDescribers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    PLSetPixelLimit(4096u * 4096u);
    return true;
  }();
  (void)once;
  MemoryByteReader src(data, size);
  VideoLimits limits;
  limits.maxBytes = 4 << 20;
  limits.maxPackets = 64;
  limits.milliseconds = 2000;
  try {
    VideoResult r = ReadVideo(src, 40, 30, limits);
    if (r.frame && (r.frame->Width() > 40 || r.frame->Height() > 30 || r.frame->Width() < 1)) __builtin_trap();
    if (r.facts.rotation % 90 != 0 || r.facts.rotation < 0 || r.facts.rotation >= 360) __builtin_trap();
    (void)FormatVideoDescription(r.facts);
  } catch (const PLTextException&) {
  }
  return 0;
}
