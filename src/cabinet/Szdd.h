// Windows LZ compressed files ("SZDD", the format of COMPRESS.EXE and of
// names ending in "_"), read the way LZOpenFile / LZRead read them.
#pragma once

#include <cstddef>
#include <string>

enum class LzReadResult {
  Expanded,       // an SZDD file, expanded
  Plain,          // not compressed: read as it is, as the LZ functions do
  CannotOpen,     // the file cannot be opened or read
  Corrupt,        // an SZDD header whose data cannot be expanded
};

// Reads at most maxBytes of the expanded content of path into out; the
// expansion stops there, whatever length the header claims.
LzReadResult ReadLzFilePrefix(const std::string& path, size_t maxBytes, std::string& out);
