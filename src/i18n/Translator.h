// Message tables and the process-wide translator. Keys and texts are UTF-8
// in memory; language files are Windows-1252 on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t LANG_FRENCH = 1036;
constexpr uint32_t LANG_ENGLISH = 1033;
constexpr uint32_t LANG_FILE = 999999999;
constexpr uint32_t LANG_NONE = 0xFFFFFFFF;

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

  int AddLanguage(uint32_t lcid, const CMessagePair* pairs);
  // Reads a language file; its table becomes current. Returns false (and
  // changes nothing) when the file cannot be read.
  bool LoadLanguageFile(const std::string& path);
  // Writes the table of lcid as a language file; false on failure.
  bool SaveLanguageFile(const std::string& path, uint32_t lcid) const;
  std::string Lookup(const std::string& key) const;
  std::string Translate(const std::string& key) const;
};

// The one translator of the process.
CMessageTranslator& Translator();
inline std::string Translate(const std::string& key) { return Translator().Translate(key); }
inline std::string Lookup(const std::string& key) { return Translator().Lookup(key); }

// The built-in tables.
extern const CMessagePair g_FrenchMessages[];
extern const CMessagePair g_EnglishMessages[];

// Registers the built-in tables and chooses the current language from the
// settings values LangFile and Language (see the i18n sources for the rule).
void InitTranslator(const std::string& langFile, long language);
// The user's default language from LC_ALL / LC_MESSAGES / LANG.
uint32_t UserDefaultLanguage();

// Formats the Windows message-formatter inserts "%1!s!", "%2!d!", "%1!x!" and
// plain "%1" with the given arguments (already-converted strings are taken
// for !s!, integers are converted by their printf spec).
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
