// TGA pictures from arbitrary bytes.
#include "own_decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOwnDecoder(PLIsTga, PLDecodeTga, data, size);
}
