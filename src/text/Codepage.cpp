#include "text/Codepage.h"

#include <array>
#include <cstring>

namespace {

// Windows-1252 bytes 0x80-0x9F. The five bytes Windows leaves undefined map
// to the C1 control of the same value, both ways, so they survive a round trip.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr char32_t kReplacement = 0xFFFD;

// Length of the leading run of ASCII bytes, eight at a time: names are
// overwhelmingly ASCII and these conversions run on every one of them.
size_t AsciiPrefix(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  const char* p = s.data();
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ULL) break;
  }
  while (i < n && static_cast<unsigned char>(p[i]) < 0x80) ++i;
  return i;
}

char32_t Cp1252Char(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kHigh1252[b - 0x80];
  return b;
}

// Decodes one well-formed UTF-8 character at s[i]; returns its length, or 0
// when the bytes there are not valid UTF-8 (overlong forms, encoded
// surrogates and values past U+10FFFF included).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const size_t n = s.size();
  const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = at(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (n - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    const unsigned char b = at(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// The byte an escaped name byte stands for at s[i] (ED B2 80..ED B3 BF, the
// lone surrogates U+DC80..U+DCFF), or -1.
int EscapedByte(std::string_view s, size_t i) {
  if (s.size() - i < 3 || static_cast<unsigned char>(s[i]) != 0xED) return -1;
  const auto b1 = static_cast<unsigned char>(s[i + 1]), b2 = static_cast<unsigned char>(s[i + 2]);
  if ((b1 != 0xB2 && b1 != 0xB3) || (b2 & 0xC0) != 0x80) return -1;
  return ((b1 & 0x01) << 6 | (b2 & 0x3F)) + 0x80;
}

void AppendEscapedByte(std::string& out, unsigned char b) {
  const char32_t cp = 0xDC00 + b;
  out.push_back(static_cast<char>(0xED));
  out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
}

// The Windows-1252 byte for a code point, or -1 when there is none.
int To1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (size_t k = 0; k < kHigh1252.size(); ++k)
    if (kHigh1252[k] == cp) return static_cast<int>(0x80 + k);
  return -1;
}

// Shared walk of Utf8ToCp1252 and its lossy form: false at the first
// character without a Windows-1252 byte unless lossy.
bool EncodeCp1252(std::string_view utf8, bool lossy, std::string& out) {
  size_t i = AsciiPrefix(utf8);
  out.assign(utf8.data(), i);
  out.reserve(utf8.size());
  while (i < utf8.size()) {
    char32_t cp;
    size_t len = DecodeUtf8(utf8, i, cp);
    int b = len ? To1252(cp) : -1;
    if (b < 0) {
      if (!lossy) return false;
      out.push_back('?');
      i += len ? len : 1;
      continue;
    }
    out.push_back(static_cast<char>(b));
    i += len;
  }
  return true;
}

// Case mapping of the two-byte UTF-8 forms of the Windows-1252 letters.
// Every pair has the same encoded length, so mapping works in place.
void MapCase(std::string& s, bool upper) {
  const size_t n = s.size();
  for (size_t i = 0; i < n; ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      if (upper && b >= 'a' && b <= 'z') s[i] = static_cast<char>(b - 32);
      if (!upper && b >= 'A' && b <= 'Z') s[i] = static_cast<char>(b + 32);
      continue;
    }
    if (i + 1 >= n) break;
    auto c = static_cast<unsigned char>(s[i + 1]);
    if ((c & 0xC0) != 0x80) continue;
    char32_t cp = ((b & 0x1F) << 6) | (c & 0x3F);
    char32_t mapped = cp;
    if (b == 0xC3) {
      if (upper) {
        if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) mapped = cp - 0x20;
        else if (cp == 0xFF) mapped = 0x178;
      } else if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) {
        mapped = cp + 0x20;
      }
    } else if (b == 0xC5) {
      // Š š, Œ œ, Ž ž and Ÿ: the other letters of Windows-1252.
      if (upper) {
        if (cp == 0x161 || cp == 0x153 || cp == 0x17E) mapped = cp - 1;
      } else {
        if (cp == 0x160 || cp == 0x152 || cp == 0x17D) mapped = cp + 1;
        else if (cp == 0x178) mapped = 0xFF;
      }
    } else {
      continue;
    }
    if (mapped != cp) {
      s[i] = static_cast<char>(0xC0 | (mapped >> 6));
      s[i + 1] = static_cast<char>(0x80 | (mapped & 0x3F));
    }
    ++i;
  }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  size_t i = AsciiPrefix(bytes);
  if (i == bytes.size()) return std::string(bytes);
  // Written in place, as loading a catalog converts every name that is not
  // ASCII; measured first, so that the name is allocated once, to size.
  size_t length = i;
  for (size_t k = i; k < bytes.size(); ++k) {
    const char32_t cp = Cp1252Char(static_cast<unsigned char>(bytes[k]));
    length += cp < 0x80 ? 1 : cp < 0x800 ? 2 : 3;
  }
  std::string out(length, '\0');
  std::memcpy(out.data(), bytes.data(), i);
  char* p = out.data() + i;
  for (; i < bytes.size(); ++i) {
    const char32_t cp = Cp1252Char(static_cast<unsigned char>(bytes[i]));
    if (cp < 0x80) {
      *p++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *p++ = static_cast<char>(0xC0 | (cp >> 6));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *p++ = static_cast<char>(0xE0 | (cp >> 12));
      *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  if (!EncodeCp1252(utf8, false, out)) return std::nullopt;
  return out;
}

bool Utf8ToCp1252(std::string_view utf8, std::string& out) { return EncodeCp1252(utf8, false, out); }

std::string Utf8ToCp1252Lossy(std::string_view utf8) {
  std::string out;
  EncodeCp1252(utf8, true, out);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view units, bool keepByteEscapes) {
  std::string out;
  out.reserve(units.size());
  const size_t n = units.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t u = units[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (keepByteEscapes && u >= 0xDC80 && u <= 0xDCFF) {
      AppendEscapedByte(out, static_cast<unsigned char>(u - 0xDC00));
      continue;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = kReplacement;
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp;
    size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {
      const int escaped = EscapedByte(utf8, i);
      if (escaped >= 0) {
        out.push_back(static_cast<char16_t>(0xDC00 + escaped));
        i += 3;
        continue;
      }
      // Same reading as SanitizeUtf8: a stray byte is a Windows-1252 character.
      cp = Cp1252Char(static_cast<unsigned char>(utf8[i]));
      len = 1;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

// Shared walk of SanitizeUtf8 and NameFromBytes: valid UTF-8 is copied,
// each other byte becomes what invalid gives for it.
template <typename Invalid>
std::string MapInvalidUtf8(std::string_view bytes, Invalid invalid) {
  size_t i = AsciiPrefix(bytes);
  std::string out(bytes.data(), i);
  if (i == bytes.size()) return out;
  out.reserve(bytes.size() + 8);
  while (i < bytes.size()) {
    char32_t cp;
    size_t len = DecodeUtf8(bytes, i, cp);
    if (len == 0) {
      invalid(out, static_cast<unsigned char>(bytes[i]));
      ++i;
    } else {
      out.append(bytes.data() + i, len);
      i += len;
    }
  }
  return out;
}

std::string SanitizeUtf8(std::string_view bytes) {
  return MapInvalidUtf8(bytes, [](std::string& out, unsigned char b) { AppendUtf8(out, Cp1252Char(b)); });
}

std::string NameFromBytes(std::string_view bytes) { return MapInvalidUtf8(bytes, AppendEscapedByte); }

// Shared walk of NameToBytes and DisplayText: escaped bytes become what
// replace gives for them.
template <typename Replace>
std::string MapEscapedBytes(std::string_view text, Replace replace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const int escaped = EscapedByte(text, i);
    if (escaped >= 0) {
      replace(out, static_cast<unsigned char>(escaped));
      i += 3;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::string NameToBytes(std::string_view name) {
  if (name.find('\xED') == std::string_view::npos) return std::string(name);
  return MapEscapedBytes(name, [](std::string& out, unsigned char b) { out.push_back(static_cast<char>(b)); });
}

std::string DisplayText(std::string_view text) {
  if (text.find('\xED') == std::string_view::npos) return std::string(text);
  return MapEscapedBytes(text, [](std::string& out, unsigned char) { AppendUtf8(out, kReplacement); });
}

std::string OneLineText(std::string_view text) {
  std::string out;
  AppendOneLineText(out, text);
  return out;
}

void AppendOneLineText(std::string& out, std::string_view text) {
  // One look for anything to change, eight bytes at a time: only control
  // characters and bytes from 0x80 can be one. Lists run this on every name.
  size_t i = 0;
  const size_t n = text.size();
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    if (((w - 0x2020202020202020ULL) | w) & 0x8080808080808080ULL) break;
  }
  for (; i < n; ++i) {
    const char c = text[i];
    if (c == '\xED' || c == '\t' || c == '\r' || c == '\n') break;
  }
  if (i == n) {
    out.append(text);
    return;
  }
  const std::string shown = DisplayText(text);
  for (char c : shown) {
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
}

std::string Utf8Upper(std::string_view utf8) {
  std::string s(utf8);
  MapCase(s, true);
  return s;
}

std::string Utf8Lower(std::string_view utf8) {
  std::string s(utf8);
  MapCase(s, false);
  return s;
}
