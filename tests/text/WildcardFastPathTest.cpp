// The matcher's quick refusals must never change an answer: compare with a
// plain transcription of the matching procedure over many random cases.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/Codepage.h"
#include "text/Wildcard.h"

namespace {

std::u32string Decode(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0xC0 && c < 0xE0 && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
      out.push_back(((c & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F));
      i += 2;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

int Reference(const std::string& pattern, const std::string& text, bool ignoreCase) {
  const std::u32string P = Decode(ignoreCase ? Utf8Upper(pattern) : pattern);
  const std::u32string T = Decode(ignoreCase ? Utf8Upper(text) : text);
  const long m = static_cast<long>(P.size()), n = static_cast<long>(T.size());
  long pos = 0, i = 0, star = -1;
  if (m != 0) {
    while (i < n) {
      const char32_t ch = P[pos];
      if (ch == '?') {
        ++i;
      } else if (ch == '*') {
        if (pos == m - 1) return 1;
        star = pos;
      } else if (ch == T[i]) {
        ++i;
      } else if (star < 0) {
        return 0;
      } else {
        pos = star;
        ++i;
      }
      if (pos == m - 1 && star >= 0 && i < n) pos = star;
      ++pos;
      if (pos >= m) break;
    }
  }
  return (i >= n && (pos >= m || (pos == m - 1 && P[pos] == '*'))) ? 1 : 0;
}

TEST(WildcardFastPath, AgreesWithThePlainProcedure) {
  std::mt19937 rng(99);
  const std::string patternPieces[] = {"a", "b", "A", ".", "*", "?", "\xC3\xA9", "\xC3\x89", "m"};
  const std::string textPieces[] = {"a", "b", "A", "B", ".", "\xC3\xA9", "\xC3\x89", "m", "\xFF"};
  int matches = 0;
  for (int round = 0; round < 200000; ++round) {
    std::string pattern, text;
    for (size_t k = rng() % 6; k > 0; --k) pattern += patternPieces[rng() % std::size(patternPieces)];
    for (size_t k = rng() % 7; k > 0; --k) text += textPieces[rng() % std::size(textPieces)];
    const bool ignoreCase = rng() % 2 == 0;
    const int want = Reference(pattern, text, ignoreCase);
    matches += want;
    ASSERT_EQ(WildcardMatch(pattern, text, ignoreCase), want)
        << "pattern \"" << pattern << "\" text \"" << text << "\" ignoreCase " << ignoreCase;
  }
  EXPECT_GT(matches, 1000);  // the cases are not all refusals
}

}  // namespace
