// The settings file (INI format) and the "Config" values of the program.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "describe/Describe.h"
#include "query/Filters.h"
#include "query/Search.h"
#include "scan/MediaTypes.h"

// A small INI reader and writer that keeps what it does not know: unknown
// sections and keys, their order, comments and blank lines survive a
// read-modify-write. Section and key names compare without regard to ASCII
// case, as the Windows profile functions do.
class CIniFile {
 public:
  // Reads the file; false (and an empty file) when it cannot be read.
  bool Load(const std::string& path);
  // Replaces the content by the parse of text. Never fails: lines that are
  // neither a section, a key=value pair, a comment nor blank are kept verbatim.
  void Parse(std::string_view text);
  std::string Serialize() const;
  // Writes atomically (temporary file in the same directory, fsync, rename);
  // creates the directory when missing. false with *error filled on failure.
  bool Save(const std::string& path, std::string* error = nullptr) const;

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // The value, or def when the key is missing.
  std::string GetString(std::string_view section, std::string_view key, const std::string& def = {}) const;
  // As GetPrivateProfileInt: def when missing; otherwise the leading
  // (optionally signed) decimal digits, 0 when there are none.
  long GetInt(std::string_view section, std::string_view key, long def) const;
  // Sets a value; a new key goes at the end of its section, a new section at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  void SetInt(std::string_view section, std::string_view key, long value);
  void Remove(std::string_view section, std::string_view key);
  // Keys of a section in file order.
  std::vector<std::string> Keys(std::string_view section) const;
  bool HasSection(std::string_view section) const;

 private:
  struct Line {
    enum Kind { Other, Section, Value } kind = Other;
    std::string name;   // section name or key
    std::string value;  // value of a key
    std::string raw;    // the original text of Other lines
  };
  std::vector<Line> lines_;
  long FindSection(std::string_view section) const;
  long FindKey(std::string_view section, std::string_view key) const;
};

// The integers and strings of section "Config".
struct ConfigSettings {
  std::string language;  // "FR" or "US"; anything else leaves the language alone
  std::string langFile;
  int loadLastUsed = 1;
  int useLastFilter = 1;
  int openDescr = 1;
  int scanDescrs = 1;
  int scanCompress = 1;
  int scanApplis = 1;
  int scanDescrMp3 = 1;
  int scanDescrExe = 1;
  int scanDescrPicDescr = 1;
  int scanDescrBmp = 1, scanDescrJpg = 1, scanDescrPng = 1, scanDescrTif = 1, scanDescrGif = 1,
      scanDescrPct = 1, scanDescrTga = 1, scanDescrWmf = 1, scanDescrEmf = 1, scanDescrPcx = 1,
      scanDescrPgm = 1;
  // Newer picture types: on by default, and in a settings file written
  // before them only while its eleven picture switches are all still on.
  int scanDescrWebp = 1, scanDescrHeif = 1, scanDescrAvif = 1;
  int scanDescrWidth = 100;
  int scanDescrHeight = 100;
  int scanDescrBpp = 8;
  int scanDescrAudio = 1;  // audio files other than MP3
  int scanDescrVideo = 1;
  std::string varnFile;  // last catalog; read only when loadLastUsed is nonzero
};

// Reads "Config" in the documented order, with the defaults.
ConfigSettings ReadConfig(const CIniFile& ini);
// Writes every "Config" integer; "VarnFile" only when lastCatalog is given
// (the document was not left modified). "Language" and "LangFile" are the
// settings dialog's to write.
void WriteConfig(CIniFile& ini, const ConfigSettings& config, const std::string* lastCatalog);
// The describer switches of a configuration.
DescribeSettings ToDescribeSettings(const ConfigSettings& config);

// The recent-file list: at most 10 paths, most recent first ("File1"...).
constexpr size_t kRecentFileCount = 10;
std::vector<std::string> ReadRecentFiles(const CIniFile& ini);
void WriteRecentFiles(CIniFile& ini, const std::vector<std::string>& files);
// Puts path first, removing an earlier copy, keeping at most 10.
void AddRecentFile(std::vector<std::string>& files, const std::string& path);

// The media type list (scan/MediaTypes.h). Reads section "Medias" ("Item 0", "Item 1", ... up to the first missing or
// empty value); values whose kind key is not registered are skipped; when
// no value at all was present the default list is built.
void LoadMediaTypes(const CIniFile& ini, MediaTypeList& list);
// Writes every row under "Item 0" .. "Item <n-1>" and removes the values an
// earlier, longer list left after them.
void SaveMediaTypes(CIniFile& ini, const MediaTypeList& list);

// Language id chosen by "Language": 1036 for "FR", 1033 for "US", 0 otherwise
// (exact comparison).
long LanguageFromSetting(const std::string& language);

// What the application object reads at start-up and writes at exit, minus
// the GUI's own parts (frame, clipboard format) and the applications
// dictionary, which its owner loads after Read().
struct CAppSettings {
  std::string path;  // the settings file
  CIniFile ini;      // the file as read; Write() updates it and saves it
  ConfigSettings config;
  std::vector<std::string> recentFiles;
  std::vector<std::string> shelf;  // app/Shelf.h
  SearchHistory searchHistory;
  CFilterState filters;
  std::string tempDirectory;
  bool languageFileLoaded = true;  // false when "LangFile" named a file that could not be read

  // Start-up order: translator and language, temporary directory, "Config",
  // search history, media kinds, media types (defaults from the drives when
  // none are stored), filters. A missing file gives the defaults.
  void Read(const std::string& settingsPath);
  // Exit: "Config" integers, "VarnFile" (only when lastCatalog is given),
  // search history, media types, filters, recent files; then saves the file.
  bool Write(const std::string* lastCatalog, std::string* error = nullptr);
  // The "Filters" section as the filter state reads and writes it.
  FilterStorage FilterSection();
};
