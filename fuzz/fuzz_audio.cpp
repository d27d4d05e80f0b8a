// The audio describer over arbitrary bytes: TagLib's readers, our cover
// extraction and the APE tag of TrueAudio files. The first byte chooses the
// extension TagLib tries first.
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "describe/MediaDescribers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kNames[] = {"a.flac", "a.ogg", "a.opus", "a.spx", "a.m4a", "a.wma", "a.wav",
                                       "a.aiff", "a.ape",  "a.wv",   "a.mpc", "a.tta", "a.oga", "a.bin"};
  if (size == 0) return 0;
  const char* name = kNames[data[0] % std::size(kNames)];
  std::optional<AudioFacts> facts = ReadAudioFacts(name, data + 1, size - 1);
  if (facts && (facts->info.audio.duration < 0 || facts->cover.size() > size)) __builtin_trap();
  if (facts) (void)FormatMp3Description(facts->info);
  return 0;
}
