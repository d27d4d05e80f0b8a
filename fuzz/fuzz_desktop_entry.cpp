// The desktop's text viewer is read from .desktop files on disk: the Exec
// line's quoting and field codes must never crash the parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/Launch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string exec(reinterpret_cast<const char*>(data), size);
  const auto args = DesktopExecArguments(exec, "/tmp/file name.txt");
  // The file is always handed over when there is a command at all.
  if (!args.empty()) {
    bool found = false;
    for (const auto& a : args) found = found || a.find("/tmp/file name.txt") != std::string::npos;
    if (!found) std::abort();
  }
  return 0;
}
