// The archives read through libarchive (tar and its compressions, 7z, RAR,
// ISO 9660, CPIO, single compressed files): the first byte chooses the
// kind, the rest is the file. Listed into catalog items, every member
// extracted; nothing may land outside the work directory.
#include "archive_fuzz.h"

// libarchive sizes some buffers from what a header claims (a 7z header can
// ask for terabytes) and gives up cleanly when malloc says no, as it does
// outside the fuzzer; here too it must say no rather than abort.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kExtensions[] = {"tar", "tar.gz", "tar.bz2", "tar.xz", "tar.zst", "7z",
                                            "rar", "iso", "cpio", "gz", "bz2", "xz"};
  if (size < 1) return 0;
  const char* extension = kExtensions[data[0] % (sizeof kExtensions / sizeof *kExtensions)];
  archivefuzz::Run(data + 1, size - 1, extension);
  return 0;
}
