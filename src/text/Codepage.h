// Conversions between UTF-8 (text in memory) and the stored forms. src/text
// holds the text helpers (this, the ASCII helpers, the wildcard matcher) that
// the translator and every layer above it use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Windows-1252 bytes to UTF-8 (the five undefined bytes map to U+0081.. as Windows does).
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252 when every character fits; nothing otherwise.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);
// UTF-8 to Windows-1252, replacing what does not fit by '?'.
std::string Utf8ToCp1252Lossy(std::string_view utf8);
// UTF-16 code units (little-endian in memory order) to UTF-8; lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);
std::u16string Utf8ToUtf16(std::string_view utf8);
// Invalid UTF-8 bytes (a Linux file name need not be UTF-8) are read as Windows-1252.
std::string SanitizeUtf8(std::string_view bytes);
// Appends the UTF-8 form of one code point (surrogates and values past
// U+10FFFF become U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);
// Upper and lower case of a UTF-8 string, for Latin-1 and ASCII letters
// (what a Windows-1252 catalog can hold); other characters unchanged.
std::string Utf8Upper(std::string_view utf8);
std::string Utf8Lower(std::string_view utf8);

// Equality ignoring the case of ASCII letters only (INI keys, resource keys).
inline bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}
