// Message tables and the process-wide translator. Keys and texts are UTF-8
// in memory; language files are Windows-1252 on disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr uint32_t LANG_FRENCH = 1036;
constexpr uint32_t LANG_ENGLISH = 1033;
constexpr uint32_t LANG_FILE = 999999999;
constexpr uint32_t LANG_NONE = 0xFFFFFFFF;
constexpr uint32_t LANG_GERMAN = 1031;
// What UserDefaultLanguage gives for a language without a known identifier.
constexpr uint32_t LANG_UNSPECIFIED = 0x1000;

struct CMessageEntry {
  std::string key;
  std::string text;
};

// A built-in table: pairs ended by one whose key is null.
struct CMessagePair {
  const char* key;
  const char* text;
};

struct CLanguageTable {
  std::vector<uint32_t> identifiers;
  std::vector<CMessageEntry> entries;
};

class CMessageTranslator {
 public:
  std::vector<CLanguageTable> languages;
  uint32_t current = LANG_NONE;

  // Appends the pairs to the table of lcid (a new table when there is
  // none). Returns the index of a new table, 0 when an existing table grew.
  // The first registration sets current to the user's default language.
  int AddLanguage(uint32_t lcid, const CMessagePair* pairs);
  // Reads a language file (Windows-1252, or UTF-8 when the whole file is
  // valid UTF-8); its table replaces an earlier file table and becomes
  // current. Returns false (and changes nothing) when the file cannot be
  // read, with the reason in *error.
  bool LoadLanguageFile(const std::string& path, std::string* error = nullptr);
  // Writes the table of lcid as a language file (Windows-1252, CR LF; an
  // unknown lcid writes an empty file); false on failure, reason in *error.
  bool SaveLanguageFile(const std::string& path, uint32_t lcid, std::string* error = nullptr) const;
  // The first table that lists lcid, or the static empty table.
  const CLanguageTable& FindTable(uint32_t lcid) const;
  // Text of key in the current table; empty when missing.
  std::string Lookup(const std::string& key) const;
  // Lookup, or the key itself when that is empty.
  std::string Translate(const std::string& key) const;
};

// The table of a language file's bytes (what LoadLanguageFile reads):
// lines of key, TAB, text; "@@t" and "@@n" stand for TAB and line feed.
CLanguageTable ParseLanguageFile(std::string_view bytes);

// The static empty table (identifier LANG_NONE, no entries).
const CLanguageTable& EmptyLanguageTable();

// The one translator of the process. Until InitTranslator runs it holds the
// two built-in tables with English current, so tools and tests get texts.
CMessageTranslator& Translator();
inline std::string Translate(const std::string& key) { return Translator().Translate(key); }
inline std::string Lookup(const std::string& key) { return Translator().Lookup(key); }
// A message the built-in tables do not hold (their keys are fixed): the
// French text when French is current, else the English one.
inline std::string BilingualText(const char* english, const char* french) {
  return Translator().current == LANG_FRENCH ? french : english;
}

// The built-in tables.
extern const CMessagePair g_FrenchMessages[];
extern const CMessagePair g_EnglishMessages[];

// Start-up: resets the process translator, registers the French then the
// English table (current = the normalised user default), then loads
// langFile when it is not empty; otherwise, or when it cannot be read,
// language "FR" selects French and "US" English (compared exactly).
// When the result selects no table, English is used so that the user never
// sees bare keys. Returns false when langFile was given but not loaded.
bool InitTranslator(const std::string& langFile, const std::string& language);
// The same with the language as an identifier: 1036 or 1033 select a table,
// anything else (0 for "system dependant") leaves the user default.
bool InitTranslator(const std::string& langFile, long language);
// The user's default language from LC_ALL / LC_MESSAGES / LANG (the first
// that is set and not empty), already normalised; "C" and "POSIX" (and no
// locale at all) give English.
uint32_t UserDefaultLanguage();
// The identifier of a locale name such as "fr_CA.UTF-8" or "de"; normalised.
uint32_t LanguageFromLocaleName(const std::string& locale);
// French, English and German regional identifiers become the primary ones
// (0x0C0C -> 1036, 0x0809 -> 1033, 0x0807 -> 1031); others are unchanged.
uint32_t NormalizeLanguageId(uint32_t lcid);

// Formats the Windows message-formatter inserts "%1!s!", "%2!d!", "%1!x!" and
// plain "%1" with the given arguments (already-converted strings are taken
// for !s!, integers are converted by their printf spec; "%%" gives "%",
// "%n" CR LF, "%t" a TAB, "%0" ends the text). An insert without its
// argument is copied unchanged.
struct MsgArg {
  MsgArg(const std::string& s) : isText(true), text(s) {}
  MsgArg(const char* s) : isText(true), text(s) {}
  MsgArg(long long v) : isText(false), number(v) {}
  MsgArg(int v) : isText(false), number(v) {}
  MsgArg(unsigned v) : isText(false), number(v) {}
  MsgArg(long v) : isText(false), number(v) {}
  MsgArg(unsigned long v) : isText(false), number(static_cast<long long>(v)) {}
  bool isText;
  std::string text;
  long long number = 0;
};
std::string FormatInserts(const std::string& format, const std::vector<MsgArg>& args);
