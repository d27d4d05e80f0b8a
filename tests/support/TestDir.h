// A directory of its own for one test, under $TMPDIR (default /tmp) as
// every temporary file of the program is.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

// Creates $TMPDIR/PREFIX-XXXXXX (mode 0700); an empty path when it cannot.
inline std::filesystem::path MakeTestDirectory(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  return pattern;
}

}  // namespace testsupport
