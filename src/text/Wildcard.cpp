#include "text/Wildcard.h"

#include <string>

#include "text/Ascii.h"
#include "text/Codepage.h"

namespace {

// "?" stands for one character, so the match runs over code points, not bytes.
std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    char32_t cp = c;
    bool ok = extra > 0 && i + static_cast<size_t>(extra) < s.size();
    if (ok) {
      cp = c & (0x3F >> extra);
      for (int k = 1; k <= extra; ++k) {
        const unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        cp = (cp << 6) | (cc & 0x3F);
      }
    }
    if (ok) {
      out.push_back(cp);
      i += static_cast<size_t>(extra) + 1;
    } else {
      // ASCII, or a stray byte taken alone.
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

}  // namespace

namespace {

// The matching procedure over any sequence of comparable characters.
template <typename Seq>
int Match(const Seq& P, const Seq& T) {
  const long m = static_cast<long>(P.size()), n = static_cast<long>(T.size());
  long pos = 0, i = 0, star = -1;
  if (m != 0) {
    while (i < n) {
      const auto ch = P[pos];
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
        // Resume after the last star with the next text character; the
        // mismatched one is not tried again.
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

// ASCII text upper-cased on the fly, without copying: names are mostly ASCII
// and searches run over millions of them.
struct AsciiUpperView {
  std::string_view s;
  size_t size() const { return s.size(); }
  char operator[](long i) const {
    return AsciiUpper(s[static_cast<size_t>(i)]);
  }
};

}  // namespace

namespace {

bool IsLiteral(unsigned char c) { return c < 0x80 && c != '*' && c != '?'; }

bool SameByte(char a, char b, bool ignoreCase) { return ignoreCase ? AsciiUpper(a) == AsciiUpper(b) : a == b; }

}  // namespace

int WildcardMatch(std::string_view pattern, std::string_view text, bool ignoreCase) {
  // Quick refusals, most texts fail here: a literal first character of the
  // pattern must be the text's first, and a literal last character its
  // last, whatever the stars in between do. Only ASCII text characters
  // are judged (an ASCII byte is always a character of its own).
  if (!pattern.empty()) {
    const auto first = static_cast<unsigned char>(pattern.front());
    const auto last = static_cast<unsigned char>(pattern.back());
    if ((IsLiteral(first) || IsLiteral(last)) && text.empty()) return 0;
    if (IsLiteral(first) && static_cast<unsigned char>(text.front()) < 0x80 &&
        !SameByte(pattern.front(), text.front(), ignoreCase))
      return 0;
    if (IsLiteral(last) && static_cast<unsigned char>(text.back()) < 0x80 &&
        !SameByte(pattern.back(), text.back(), ignoreCase))
      return 0;
  }
  if (IsAscii(pattern) && IsAscii(text)) {
    if (ignoreCase) return Match(AsciiUpperView{pattern}, AsciiUpperView{text});
    return Match(pattern, text);
  }
  const std::u32string P = ignoreCase ? Decode(Utf8Upper(pattern)) : Decode(pattern);
  const std::u32string T = ignoreCase ? Decode(Utf8Upper(text)) : Decode(text);
  return Match(P, T);
}
