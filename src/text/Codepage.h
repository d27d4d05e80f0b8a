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
// The same into out, whose room is reused (out is unspecified on false).
bool Utf8ToCp1252(std::string_view utf8, std::string& out);
// UTF-8 to Windows-1252, replacing what does not fit by '?'.
std::string Utf8ToCp1252Lossy(std::string_view utf8);
// UTF-16 code units (little-endian in memory order) to UTF-8; lone surrogates
// become U+FFFD, but with keepByteEscapes those of U+DC80..U+DCFF stay as
// escaped name bytes (see NameFromBytes).
std::string Utf16ToUtf8(std::u16string_view units, bool keepByteEscapes = false);
// An escaped name byte becomes its lone surrogate, so that it survives a trip
// through a catalog's UTF-16 form.
std::u16string Utf8ToUtf16(std::string_view utf8);

// A Linux name is bytes, not always UTF-8. In memory each byte that is not
// part of valid UTF-8 is kept as the lone surrogate U+DC80..U+DCFF (byte
// 0x80..0xFF), in its three-byte form ED B2 80..ED B3 BF: the name maps back
// to the same bytes, and a catalog stores it in its UTF-16 form.
std::string NameFromBytes(std::string_view bytes);
// The bytes of such a name or path on disk.
std::string NameToBytes(std::string_view name);
// Text to show: each escaped name byte as U+FFFD, the replacement character.
std::string DisplayText(std::string_view text);
// Text for one line of plain output: DisplayText, with TAB, CR and LF
// written as \t, \r and \n, so that one item is always one line and its
// TAB-separated columns stay apart.
std::string OneLineText(std::string_view text);
// Appends OneLineText(text) to out, without a copy for plain text.
void AppendOneLineText(std::string& out, std::string_view text);
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
