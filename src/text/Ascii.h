// ASCII helpers of the wildcard matcher and the query code: names and
// extensions are mostly ASCII, and the fast paths that avoid case-mapping
// copies depend on knowing it.
#pragma once

#include <string_view>

inline bool IsAscii(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
