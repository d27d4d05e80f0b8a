// The wildcard matcher of the application pass, the search and the filters.
#pragma once

#include <string_view>

// "?" matches one character, "*" any run; anchored at both ends. The
// backtracking is narrow on purpose: catalogs and searches saved by earlier
// versions expect exactly these answers (see Wildcard.cpp).
int WildcardMatch(std::string_view pattern, std::string_view text, bool ignoreCase);
