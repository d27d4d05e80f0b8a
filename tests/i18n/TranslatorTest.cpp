#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "i18n/Translator.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

class TempDir {
 public:
  TempDir() {
    path_ = testsupport::MakeTestDirectory("qv-i18n");
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnv {
 public:
  LocaleEnv(const char* all, const char* messages, const char* lang) {
    for (int i = 0; i < 3; ++i) {
      const char* v = std::getenv(kNames[i]);
      saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
    }
    Set(0, all);
    Set(1, messages);
    Set(2, lang);
  }
  ~LocaleEnv() {
    for (int i = 0; i < 3; ++i) Set(i, saved_[i] ? saved_[i]->c_str() : nullptr);
  }

 private:
  static void Set(int i, const char* v) {
    if (v)
      setenv(kNames[i], v, 1);
    else
      unsetenv(kNames[i]);
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved_[3];
};

const CMessagePair kSmall[] = {{"A", "first"}, {"B", ""}, {"A", "second"}, {nullptr, nullptr}};
const CMessagePair kMore[] = {{"C", "third"}, {nullptr, nullptr}};

}  // namespace

TEST(Translator, AddLanguageAndLookupRules) {
  LocaleEnv env("de_CH.UTF-8", nullptr, nullptr);
  CMessageTranslator t;
  EXPECT_EQ(t.AddLanguage(7, kSmall), 0);  // first table: index 0
  // The first registration takes the user's language, normalised: German has no table here.
  EXPECT_EQ(t.current, LANG_GERMAN);
  EXPECT_EQ(t.Lookup("A"), "");
  EXPECT_EQ(t.Translate("A"), "A");
  EXPECT_EQ(t.AddLanguage(9, kMore), 1);
  EXPECT_EQ(t.AddLanguage(7, kMore), 0);  // grows table 7
  EXPECT_EQ(t.current, LANG_GERMAN);
  t.current = 7;
  EXPECT_EQ(t.Lookup("A"), "first");
  EXPECT_EQ(t.Lookup("C"), "third");
  EXPECT_EQ(t.Translate("B"), "B");  // an empty text falls back to the key
  EXPECT_EQ(t.Lookup("a"), "");     // keys are case-sensitive
  t.current = 9;
  EXPECT_EQ(t.Lookup("A"), "");  // no fallback to another table
  t.current = LANG_NONE;
  EXPECT_EQ(&t.FindTable(LANG_NONE), &EmptyLanguageTable());
  EXPECT_EQ(t.Translate("IDS_READY"), "IDS_READY");
}

TEST(Translator, LanguageIdentifiers) {
  EXPECT_EQ(NormalizeLanguageId(0x0C0C), LANG_FRENCH);
  EXPECT_EQ(NormalizeLanguageId(0x140C), LANG_FRENCH);
  EXPECT_EQ(NormalizeLanguageId(0x2C09), LANG_ENGLISH);
  EXPECT_EQ(NormalizeLanguageId(0x0807), LANG_GERMAN);
  EXPECT_EQ(NormalizeLanguageId(0x180C), 0x180Cu);  // Monaco is not in the list
  EXPECT_EQ(NormalizeLanguageId(1034), 1034u);

  EXPECT_EQ(LanguageFromLocaleName("fr_CA.UTF-8"), LANG_FRENCH);
  EXPECT_EQ(LanguageFromLocaleName("fr"), LANG_FRENCH);
  EXPECT_EQ(LanguageFromLocaleName("en_GB.ISO-8859-1@euro"), LANG_ENGLISH);
  EXPECT_EQ(LanguageFromLocaleName("de_AT"), LANG_GERMAN);
  EXPECT_EQ(LanguageFromLocaleName("pt_BR.UTF-8"), 1046u);
  EXPECT_EQ(LanguageFromLocaleName("pt_PT"), 2070u);
  EXPECT_EQ(LanguageFromLocaleName("C.UTF-8"), LANG_ENGLISH);
  EXPECT_EQ(LanguageFromLocaleName("POSIX"), LANG_ENGLISH);
  EXPECT_EQ(LanguageFromLocaleName("xx_YY"), LANG_UNSPECIFIED);

  {
    LocaleEnv env("", "fr_BE.UTF-8", "en_US.UTF-8");  // empty LC_ALL is skipped
    EXPECT_EQ(UserDefaultLanguage(), LANG_FRENCH);
  }
  {
    LocaleEnv env("en_US.UTF-8", "fr_FR.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ(UserDefaultLanguage(), LANG_ENGLISH);
  }
  {
    LocaleEnv env(nullptr, nullptr, "es_ES.UTF-8");
    EXPECT_EQ(UserDefaultLanguage(), 3082u);
  }
  {
    LocaleEnv env(nullptr, nullptr, nullptr);
    EXPECT_EQ(UserDefaultLanguage(), LANG_ENGLISH);
  }
}

TEST(Translator, StartUpChoice) {
  TempDir dir;
  {
    LocaleEnv env(nullptr, nullptr, "fr_CA.UTF-8");
    EXPECT_TRUE(InitTranslator("", ""));
    EXPECT_EQ(Translator().current, LANG_FRENCH);
    EXPECT_EQ(Translate("IDS_READY"), "Prèt");
    EXPECT_TRUE(InitTranslator("", "US"));
    EXPECT_EQ(Translate("IDS_READY"), "Ready");
    EXPECT_TRUE(InitTranslator("", "us"));  // compared exactly: system language stays
    EXPECT_EQ(Translator().current, LANG_FRENCH);
    EXPECT_EQ(Translator().languages.size(), 2u);  // a second start does not pile up tables
  }
  {
    LocaleEnv env(nullptr, nullptr, "en_AU.UTF-8");
    EXPECT_TRUE(InitTranslator("", "FR"));
    EXPECT_EQ(Translator().current, LANG_FRENCH);
    EXPECT_TRUE(InitTranslator("", 0L));
    EXPECT_EQ(Translator().current, LANG_ENGLISH);
    EXPECT_TRUE(InitTranslator("", 1036L));
    EXPECT_EQ(Translator().current, LANG_FRENCH);
  }
  {
    // German and other languages without a table get English, not bare keys.
    LocaleEnv env(nullptr, nullptr, "de_CH.UTF-8");
    EXPECT_TRUE(InitTranslator("", ""));
    EXPECT_EQ(Translate("IDS_READY"), "Ready");
  }
  {
    LocaleEnv env(nullptr, nullptr, "en_US.UTF-8");
    WriteBytes(dir / "de.dic", "IDS_READY\t\tBereit\r\n");
    // LangFile wins over Language.
    EXPECT_TRUE(InitTranslator((dir / "de.dic").string(), "FR"));
    EXPECT_EQ(Translator().current, LANG_FILE);
    EXPECT_EQ(Translate("IDS_READY"), "Bereit");
    EXPECT_EQ(Translate("IDS_ERROR"), "IDS_ERROR");  // the built-in tables are not consulted
    // An unreadable LangFile: start-up goes on with the Language choice.
    EXPECT_FALSE(InitTranslator((dir / "missing.dic").string(), "FR"));
    EXPECT_EQ(Translate("IDS_READY"), "Prèt");
  }
  InitTranslator("", "US");
}

TEST(Translator, LanguageFileLines) {
  TempDir dir;
  const std::string bytes =
      "IDS_READY\t\tWait@@nok\r\n"
      "IDS_ERROR\t   Oops\r\n"
      "IDS_READY\r\n"
      "\r\n"
      "IDS_WARNING\t\tcol1@@tcol2 @@@nt\n"
      "IDS_NONE\t\tAucun \xE9t\xE9\r\n"
      "IDS_LAST\t\tno newline";
  WriteBytes(dir / "x.dic", bytes);
  CMessageTranslator t;
  std::string error;
  ASSERT_TRUE(t.LoadLanguageFile((dir / "x.dic").string(), &error)) << error;
  EXPECT_EQ(t.current, LANG_FILE);
  const auto& e = t.FindTable(LANG_FILE).entries;
  ASSERT_EQ(e.size(), 7u);
  EXPECT_EQ(e[0].text, "Wait\nok");
  EXPECT_EQ(e[1].text, "Oops");
  EXPECT_EQ(e[2].key, "");
  EXPECT_EQ(e[2].text, "IDS_READY");
  EXPECT_EQ(e[3].key, "");
  EXPECT_EQ(e[3].text, "");
  EXPECT_EQ(e[4].text, "col1\tcol2 @\nt");
  EXPECT_EQ(e[5].text, "Aucun été");
  EXPECT_EQ(e[6].text, "no newline");
  EXPECT_EQ(t.Lookup("IDS_READY"), "Wait\nok");

  // A file saved as UTF-8 by a Linux editor reads the same.
  WriteBytes(dir / "u.dic", "\xEF\xBB\xBFIDS_NONE\t\tAucun été\n");
  ASSERT_TRUE(t.LoadLanguageFile((dir / "u.dic").string()));
  EXPECT_EQ(t.Lookup("IDS_NONE"), "Aucun été");
  // The second file replaced the first rather than hiding behind it.
  EXPECT_EQ(t.languages.size(), 1u);
  EXPECT_EQ(t.Lookup("IDS_READY"), "");

  EXPECT_FALSE(t.LoadLanguageFile((dir / "none.dic").string(), &error));
  EXPECT_NE(error.find("none.dic"), std::string::npos);
  EXPECT_FALSE(t.LoadLanguageFile((dir / "").string(), &error));  // a directory
  EXPECT_EQ(t.Lookup("IDS_NONE"), "Aucun été");            // unchanged by failures
}

TEST(Translator, MalformedLanguageFile) {
  TempDir dir;
  using namespace std::string_literals;
  std::string junk = "\0\0\t\xFF\xFE\r\r\n@@\t\t@@@@n\t\x80\x81\x8D"s + "\0key\0\t\ttext\0more"s;
  junk.append(100000, '\t');
  WriteBytes(dir / "junk.dic", junk);
  CMessageTranslator t;
  ASSERT_TRUE(t.LoadLanguageFile((dir / "junk.dic").string()));
  const auto& e = t.FindTable(LANG_FILE).entries;
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].key, std::string("\0\0", 2));
  EXPECT_EQ(e[0].text, "ÿþ\r");
  EXPECT_EQ(e[1].key, "@@");
  EXPECT_EQ(e[1].text.substr(0, 3), "@@\n");

  // Not a language file at all: refused, and the translator is unchanged.
  WriteBytes(dir / "huge.dic", std::string(3 * 1024 * 1024, '\n'));
  std::string error;
  EXPECT_FALSE(t.LoadLanguageFile((dir / "huge.dic").string(), &error));
  EXPECT_NE(error.find("too large"), std::string::npos);
  EXPECT_FALSE(t.LoadLanguageFile("/dev/null", &error));
  EXPECT_EQ(t.FindTable(LANG_FILE).entries.size(), 2u);

  // A text of nothing but escapes is decoded in linear time.
  std::string escapes = "K\t";
  for (int i = 0; i < 300000; ++i) escapes += "@@n";
  const CLanguageTable big = ParseLanguageFile(escapes);
  ASSERT_EQ(big.entries.size(), 1u);
  EXPECT_EQ(big.entries[0].text, std::string(300000, '\n'));
}

TEST(Translator, SaveAndLoadRoundTrip) {
  TempDir dir;
  CMessageTranslator t;
  t.AddLanguage(LANG_FRENCH, g_FrenchMessages);
  t.AddLanguage(LANG_ENGLISH, g_EnglishMessages);
  ASSERT_TRUE(t.SaveLanguageFile((dir / "fr.dic").string(), LANG_FRENCH));
  const std::string bytes = ReadBytes(dir / "fr.dic");
  // Windows-1252 bytes, CR LF lines, key TAB TAB text.
  EXPECT_NE(bytes.find("IDS_READY\t\tPr\xE8t\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("IDS_SELECTED\t\tSelectionn\xE9\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("IDS_PROPNAME\t\tNom@@t%1!s!\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("\xC3"), std::string::npos);
  EXPECT_EQ(bytes.rfind("IDR_MAINFRAME\t\t", 0), 0u);
  size_t lf = 0, crlf = 0;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\n') ++lf, crlf += i > 0 && bytes[i - 1] == '\r';
  EXPECT_EQ(lf, crlf);

  CMessageTranslator back;
  ASSERT_TRUE(back.LoadLanguageFile((dir / "fr.dic").string()));
  const auto& orig = t.FindTable(LANG_FRENCH).entries;
  const auto& read = back.FindTable(LANG_FILE).entries;
  ASSERT_EQ(read.size(), orig.size());
  for (size_t i = 0; i < orig.size(); ++i) {
    EXPECT_EQ(read[i].key, orig[i].key);
    EXPECT_EQ(read[i].text, orig[i].text) << orig[i].key;
  }
  EXPECT_EQ(back.Lookup("$$Do not search for applications"), "Ne pas rechercher d'applications");

  // Known losses of the format: leading blanks and literal "@@n".
  const CMessagePair lossy[] = {{"K1", "  lead"}, {"K2", "a@@nb"}, {"K3", "\ttab"}, {nullptr, nullptr}};
  CMessageTranslator small;
  small.AddLanguage(5, lossy);
  ASSERT_TRUE(small.SaveLanguageFile((dir / "l.dic").string(), 5));
  ASSERT_TRUE(back.LoadLanguageFile((dir / "l.dic").string()));
  EXPECT_EQ(back.Lookup("K1"), "lead");
  EXPECT_EQ(back.Lookup("K2"), "a\nb");
  EXPECT_EQ(back.Lookup("K3"), "\ttab");  // a TAB is written as @@t and survives

  // An unknown table writes an empty file; an unwritable path fails and
  // leaves nothing behind.
  ASSERT_TRUE(t.SaveLanguageFile((dir / "empty.dic").string(), 1031));
  EXPECT_EQ(ReadBytes(dir / "empty.dic"), "");
  std::string error;
  EXPECT_FALSE(t.SaveLanguageFile((dir / "no" / "such.dic").string(), LANG_FRENCH, &error));
  EXPECT_FALSE(error.empty());
}
