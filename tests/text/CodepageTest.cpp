#include "text/Codepage.h"

#include <gtest/gtest.h>

TEST(Codepage, Cp1252HighRangeBothWays) {
  // Every byte 0x00-0xFF, the undefined five included, survives UTF-8 and back.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string utf8 = Cp1252ToUtf8(all);
  auto back = Utf8ToCp1252(utf8);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
  EXPECT_EQ(SanitizeUtf8(utf8), utf8);

  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
  EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\u0178");
  EXPECT_EQ(Cp1252ToUtf8("\x8A\x9A\x8C"), "\u0160\u0161\u0152");
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(Cp1252ToUtf8("Pr\xE8t"), "Prèt");
  EXPECT_EQ(Cp1252ToUtf8("plain ascii name.txt"), "plain ascii name.txt");
}

TEST(Codepage, Utf8ToCp1252RejectsWhatDoesNotFit) {
  EXPECT_EQ(Utf8ToCp1252("Selectionné").value(), "Selectionn\xE9");
  EXPECT_FALSE(Utf8ToCp1252("日本").has_value());
  // C1 controls Windows-1252 gives other meanings to have no byte.
  EXPECT_FALSE(Utf8ToCp1252("\u0080").has_value());
  EXPECT_FALSE(Utf8ToCp1252("\xE9").has_value());  // not UTF-8 at all
  EXPECT_EQ(Utf8ToCp1252Lossy("a日b\xFF€"), "a?b?\x80");
  EXPECT_EQ(Utf8ToCp1252Lossy("😀"), "?");
}

TEST(Codepage, Utf16Conversions) {
  EXPECT_EQ(Utf16ToUtf8(u"abc é €"), "abc é €");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\U0001F600");
  // Lone surrogates, high at the end and low alone.
  std::u16string lone = {u'a', 0xD800};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\uFFFD");
  std::u16string lowFirst = {0xDC00, 0xD83D, 0xDE00, 0xD800, u'x'};
  EXPECT_EQ(Utf16ToUtf8(lowFirst), "\uFFFD\U0001F600\uFFFDx");

  EXPECT_EQ(Utf8ToUtf16("é\U0001F600z"), (std::u16string{0xE9, 0xD83D, 0xDE00, u'z'}));
  EXPECT_EQ(Utf8ToUtf16("\xE9t\xE9"), u"été");
}

TEST(Codepage, SanitizeReadsInvalidBytesAsCp1252) {
  EXPECT_EQ(SanitizeUtf8("caf\xE9"), "café");
  EXPECT_EQ(SanitizeUtf8("déjà vu"), "déjà vu");
  EXPECT_EQ(SanitizeUtf8("\x80\x9F"), "€Ÿ");
  // Overlong slash, encoded surrogate, truncated sequence at the end.
  EXPECT_EQ(SanitizeUtf8("\xC0\xAF"), "À¯");
  EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "í\u00A0€");
  EXPECT_EQ(SanitizeUtf8("ab\xE2\x82"), "abâ‚");
  EXPECT_EQ(SanitizeUtf8("\xF4\x90\x80\x80"), "ô\u0090€€");
  EXPECT_EQ(SanitizeUtf8("\U0010FFFF"), "\U0010FFFF");
  EXPECT_EQ(SanitizeUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Codepage, CaseOfLatinLetters) {
  EXPECT_EQ(Utf8Upper("readme.txt"), "README.TXT");
  EXPECT_EQ(Utf8Upper("àéîõüçÿ ß µ ÷"), "ÀÉÎÕÜÇŸ ß µ ÷");
  EXPECT_EQ(Utf8Upper("šœž"), "ŠŒŽ");
  EXPECT_EQ(Utf8Lower("ÀÉÎÕÜÇŸ ×ŠŒŽ Σ"), "àéîõüçÿ ×šœž Σ");
  EXPECT_EQ(Utf8Lower("MiXeD 123"), "mixed 123");
  // Bytes that are not UTF-8 pass through untouched.
  EXPECT_EQ(Utf8Upper("a\xC3"), "A\xC3");
  EXPECT_EQ(Utf8Upper("\xE9t\xE9"), "\xE9T\xE9");
}

TEST(Codepage, NameBytesSurviveUtf16AndComeBack) {
  // Every byte that cannot start or continue UTF-8 here, a raw encoded
  // surrogate and valid text around them.
  std::string raw = "caf\xC3\xA9 \xED\xB2\x80 ";
  for (int b = 0x80; b < 0x100; ++b) raw.push_back(static_cast<char>(b));
  raw += " \xE2\x82\xAC";
  const std::string name = NameFromBytes(raw);
  EXPECT_EQ(NameToBytes(name), raw);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(name), true), name);
  EXPECT_EQ(NameToBytes(Utf16ToUtf8(Utf8ToUtf16(name), true)), raw);
  // Shown with a replacement character per byte; valid text untouched.
  EXPECT_EQ(DisplayText(NameFromBytes("a\xE9z")), "a\xEF\xBF\xBDz");
  EXPECT_EQ(DisplayText("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(NameFromBytes("plain"), "plain");
  // Other text keeps a lone surrogate as the replacement character.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDC80')), "\xEF\xBF\xBD");
}
