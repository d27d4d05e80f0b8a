#include "text/Wildcard.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* pattern;
  const char* text;
  bool ignoreCase;
  int want;
};

void ExpectMatches(const Case* cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(WildcardMatch(c.pattern, c.text, c.ignoreCase), c.want)
        << "pattern \"" << c.pattern << "\" text \"" << c.text << "\" ignoreCase " << c.ignoreCase;
  }
}

}  // namespace

TEST(Wildcard, AnchoredMatching) {
  const Case cases[] = {
      {"*.TXT", "README.TXT", false, 1},
      {"*.TXT", "README.TXT.BAK", false, 0},
      {"A?C", "ABC", false, 1},
      {"A?C", "ABCD", false, 0},
      {"A?C", "AC", false, 0},
      {"ABC", "ABC", false, 1},
      {"ABC", "AB", false, 0},
      {"", "", false, 1},
      {"", "A", false, 0},
      {"A", "", false, 0},
      {"*", "", false, 1},
      {"*", "anything at all", false, 1},
      {"?", "", false, 0},
      {"?*", "X", false, 1},
      {"SETUP.EXE", "SETUP.EXE", false, 1},
      {"INSTALL.EXE", "SETUP.EXE", false, 0},
      {"*.EXE", "SETUP.EXE", false, 1},
      {"*.EXE", "SETUP.EX", false, 0},
  };
  ExpectMatches(cases, std::size(cases));
}

TEST(Wildcard, NarrowBacktracking) {
  // After a mismatch the match resumes after the last star with the next
  // text character; the mismatched character is not tried again.
  const Case cases[] = {
      {"*AB", "AAB", false, 0},
      {"*AB", "XAB", false, 1},
      {"*AB", "ABAB", false, 1},
      {"A*B", "AXXB", false, 1},
      {"A*B*C", "AXBYC", false, 1},
      // The pattern's last character follows a star: it is tried at every position.
      {"*B", "ABBB", false, 1},
      {"*X*", "ABXCD", false, 1},
      {"*.TXT", "A.TXT.TXT", false, 1},
  };
  ExpectMatches(cases, std::size(cases));
}

TEST(Wildcard, CaseFolding) {
  const Case cases[] = {
      {"setup.exe", "SETUP.EXE", true, 1},
      {"setup.exe", "SETUP.EXE", false, 0},
      {"*.txt", "ReadMe.TXT", true, 1},
      // Latin-1 letters fold too.
      {"\xC3\xA9T\xC3\xA9", "\xC3\x89t\xC3\x89", true, 1},
      {"\xC3\xA9T\xC3\xA9", "\xC3\x89t\xC3\x89", false, 0},
  };
  ExpectMatches(cases, std::size(cases));
}

TEST(Wildcard, QuestionMarkIsOneCharacterNotOneByte) {
  const Case cases[] = {
      {"?t?", "\xC3\xA9t\xC3\xA9", false, 1},              // two-byte characters
      {"?", "\xE6\x97\xA5", false, 1},                     // three bytes
      {"?", "\xF0\x9F\x98\x80", false, 1},                 // four bytes
      {"??", "\xE6\x97\xA5", false, 0},
      {"\xE6\x97\xA5?.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", false, 1},
      {"*\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", false, 1},
  };
  ExpectMatches(cases, std::size(cases));
}
