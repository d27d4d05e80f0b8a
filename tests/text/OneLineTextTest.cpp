// One line of plain output per text: the appending form that lists use and
// the returning form agree, and plain text passes untouched.
#include <gtest/gtest.h>

#include "text/Codepage.h"

TEST(OneLineText, AppendsWhatTheReturningFormGives) {
  struct Case {
    std::string text, shown;
  };
  const Case cases[] = {
      {"", ""},
      {"plain name.txt", "plain name.txt"},
      {"r\xC3\xA9sum\xC3\xA9", "r\xC3\xA9sum\xC3\xA9"},
      {"a\tb\r\nc", "a\\tb\\r\\nc"},
      {"\n", "\\n"},
      // An escaped name byte shows as the replacement character.
      {"x\xED\xB2\x80y", "x\xEF\xBF\xBDy"},
      {"\xED\xB3\xBF\t", "\xEF\xBF\xBD\\t"},
      // Other characters whose UTF-8 starts with ED stay as they are.
      {"\xED\x9F\xBF", "\xED\x9F\xBF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(OneLineText(c.text), c.shown);
    std::string out = "0\t";
    AppendOneLineText(out, c.text);
    EXPECT_EQ(out, "0\t" + c.shown);
  }
}
