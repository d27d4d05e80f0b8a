// Cabinet listing through the cabinet engine and member extraction: any
// bytes list or fail, never crash, never write outside the work directory.
#include "archive_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  archivefuzz::Run(data, size, "cab");
  return 0;
}
