// "Item N" values of the settings file's filters come from a file users
// edit; reading one must never crash, and what is written back must read
// back as the same filter when its name holds no comma.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "query/Filters.h"
#include "text/Wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string value(reinterpret_cast<const char*>(data), size);
  const Filter f = ParseFilterValue(value);
  const std::string written = FormatFilterValue(f);
  const Filter back = ParseFilterValue(written);
  if (back.name != f.name || back.showEmptyDirectories != f.showEmptyDirectories) std::abort();
  // Extensions come back less the empty ones.
  size_t k = 0;
  for (const auto& e : f.extensions) {
    if (e.empty()) continue;
    if (k >= back.extensions.size() || back.extensions[k] != e) std::abort();
    ++k;
  }
  if (k != back.extensions.size()) std::abort();

  // The filter applied to file names made of the same bytes, and the value
  // used as a typed pattern.
  CFilterState state;
  state.filters.push_back(f);
  state.current = 0;
  (void)state.FilterMatchesFile(value);
  (void)WildcardMatch(value, written, true);
  (void)WildcardMatch(written, value, false);
  return 0;
}
