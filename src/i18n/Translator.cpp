#include "i18n/Translator.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/Codepage.h"

namespace {

// A language file holds a few hundred short lines (about 30 KB); anything
// this large is not one, and reading it whole would only waste memory.
constexpr std::streamoff kMaxLanguageFileSize = 2 * 1024 * 1024;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Linear in the length: a text made of nothing but "@@n" must not take
// quadratic time.
void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  size_t pos = s.find(from);
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  size_t start = 0;
  for (; pos != std::string::npos; pos = s.find(from, start)) {
    out.append(s, start, pos - start);
    out.append(to);
    start = pos + from.size();
  }
  out.append(s, start, std::string::npos);
  s = std::move(out);
}

bool ContainsId(const CLanguageTable& table, uint32_t lcid) {
  return std::find(table.identifiers.begin(), table.identifiers.end(), lcid) != table.identifiers.end();
}

bool IsValidUtf8(std::string_view s) { return SanitizeUtf8(s) == s; }

CMessageTranslator MakeDefaultTranslator() {
  CMessageTranslator t;
  t.AddLanguage(LANG_FRENCH, g_FrenchMessages);
  t.AddLanguage(LANG_ENGLISH, g_EnglishMessages);
  t.current = LANG_ENGLISH;
  return t;
}

}  // namespace

const CLanguageTable& EmptyLanguageTable() {
  static const CLanguageTable empty{{LANG_NONE}, {}};
  return empty;
}

CMessageTranslator& Translator() {
  static CMessageTranslator translator = MakeDefaultTranslator();
  return translator;
}

int CMessageTranslator::AddLanguage(uint32_t lcid, const CMessagePair* pairs) {
  CLanguageTable fresh;
  fresh.identifiers.push_back(lcid);
  CLanguageTable* target = &fresh;
  for (auto& table : languages) {
    if (ContainsId(table, lcid)) {
      target = &table;
      break;
    }
  }
  for (const CMessagePair* p = pairs; p && p->key; ++p) target->entries.push_back({p->key, p->text ? p->text : ""});

  int result = 0;
  if (target == &fresh) {
    languages.push_back(std::move(fresh));
    auto& ids = languages.back().identifiers;
    if (ids.size() > 1 && ids.front() == LANG_NONE) ids.erase(ids.begin());
    result = static_cast<int>(languages.size() - 1);
  }
  if (languages.size() == 1) current = NormalizeLanguageId(UserDefaultLanguage());
  return result;
}

const CLanguageTable& CMessageTranslator::FindTable(uint32_t lcid) const {
  for (const auto& table : languages)
    if (ContainsId(table, lcid)) return table;
  return EmptyLanguageTable();
}

std::string CMessageTranslator::Lookup(const std::string& key) const {
  for (const auto& entry : FindTable(current).entries)
    if (entry.key == key) return entry.text;
  return {};
}

std::string CMessageTranslator::Translate(const std::string& key) const {
  std::string text = Lookup(key);
  return text.empty() ? key : text;
}

CLanguageTable ParseLanguageFile(std::string_view bytes) {
  // Our own files are Windows-1252; one edited with a Linux editor is
  // usually UTF-8, which a Windows-1252 file almost never is by chance.
  std::string text;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 && IsValidUtf8(bytes.substr(3)))
    text = std::string(bytes.substr(3));
  else if (IsValidUtf8(bytes))
    text = std::string(bytes);
  else
    text = Cp1252ToUtf8(bytes);

  CLanguageTable table;
  table.identifiers.push_back(LANG_FILE);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();  // CR LF read as LF

    CMessageEntry entry;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      entry.text = std::move(line);
    } else {
      entry.key = line.substr(0, tab);
      entry.text = line.substr(tab + 1);
    }
    size_t first = 0;
    while (first < entry.text.size() && IsBlank(entry.text[first])) ++first;
    entry.text.erase(0, first);
    ReplaceAll(entry.text, "@@t", "\t");
    ReplaceAll(entry.text, "@@n", "\n");
    table.entries.push_back(std::move(entry));
  }

  return table;
}

bool CMessageTranslator::LoadLanguageFile(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    return false;
  };
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec) return fail(ec.message());
  if (!std::filesystem::is_regular_file(status)) return fail("not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(std::strerror(errno));
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return fail("cannot be read");
  if (size > kMaxLanguageFileSize) return fail("too large for a language file");
  in.seekg(0, std::ios::beg);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0 && !in.read(bytes.data(), size)) return fail("cannot be read");

  CLanguageTable table = ParseLanguageFile(bytes);

  // A second file replaces the first: appending it would leave it unreachable.
  auto old = std::find_if(languages.begin(), languages.end(),
                          [](const CLanguageTable& t) { return ContainsId(t, LANG_FILE); });
  if (old != languages.end())
    *old = std::move(table);
  else
    languages.push_back(std::move(table));
  current = LANG_FILE;
  return true;
}

bool CMessageTranslator::SaveLanguageFile(const std::string& path, uint32_t lcid, std::string* error) const {
  std::string out;
  for (const auto& entry : FindTable(lcid).entries) {
    std::string text = entry.text;
    ReplaceAll(text, "\t", "@@t");
    ReplaceAll(text, "\n", "@@n");
    out += Utf8ToCp1252Lossy(entry.key);
    out += "\t\t";
    out += Utf8ToCp1252Lossy(text);
    out += "\r\n";
  }
  // Written beside the target and renamed over it, so that a failed write
  // never leaves a truncated file where a good one was.
  const std::string tmp = path + ".part";
  {
    std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
    if (!file) {
      if (error) *error = path + ": " + std::strerror(errno);
      return false;
    }
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.flush();
    if (!file) {
      if (error) *error = path + ": write failed";
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

uint32_t NormalizeLanguageId(uint32_t lcid) {
  switch (lcid) {
    case 2060: case 3084: case 4108: case 5132:
      return LANG_FRENCH;
    case 2057: case 3081: case 4105: case 5129: case 6153: case 7177: case 8201: case 10249: case 11273:
      return LANG_ENGLISH;
    case 2055: case 3079: case 4103: case 5127:
      return LANG_GERMAN;
    default:
      return lcid;
  }
}

uint32_t LanguageFromLocaleName(const std::string& locale) {
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return LANG_ENGLISH;
  const size_t cut = locale.find_first_of("_.@-");
  std::string lang = locale.substr(0, cut);
  std::string country;
  if (cut != std::string::npos && (locale[cut] == '_' || locale[cut] == '-'))
    country = locale.substr(cut + 1, locale.find_first_of(".@", cut + 1) - cut - 1);
  for (auto& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (auto& c : country) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  // Windows identifiers of the languages a Linux desktop commonly runs in;
  // regional variants only where the written language differs.
  struct Row {
    const char* lang;
    const char* country;  // nullptr: any
    uint32_t lcid;
  };
  static const Row rows[] = {
      {"fr", nullptr, LANG_FRENCH}, {"en", nullptr, LANG_ENGLISH}, {"de", nullptr, LANG_GERMAN},
      {"es", nullptr, 3082},        {"it", nullptr, 1040},         {"nl", nullptr, 1043},
      {"pt", "BR", 1046},           {"pt", nullptr, 2070},         {"zh", "TW", 1028},
      {"zh", "HK", 3076},           {"zh", nullptr, 2052},         {"ja", nullptr, 1041},
      {"ko", nullptr, 1042},        {"ru", nullptr, 1049},         {"pl", nullptr, 1045},
      {"cs", nullptr, 1029},        {"sk", nullptr, 1051},         {"hu", nullptr, 1038},
      {"ro", nullptr, 1048},        {"el", nullptr, 1032},         {"tr", nullptr, 1055},
      {"sv", nullptr, 1053},        {"da", nullptr, 1030},         {"fi", nullptr, 1035},
      {"nb", nullptr, 1044},        {"no", nullptr, 1044},         {"nn", nullptr, 2068},
      {"is", nullptr, 1039},        {"ca", nullptr, 1027},         {"eu", nullptr, 1069},
      {"uk", nullptr, 1058},        {"bg", nullptr, 1026},         {"hr", nullptr, 1050},
      {"sl", nullptr, 1060},        {"sr", nullptr, 3098},         {"lt", nullptr, 1063},
      {"lv", nullptr, 1062},        {"et", nullptr, 1061},         {"he", nullptr, 1037},
      {"ar", nullptr, 1025},        {"fa", nullptr, 1065},         {"hi", nullptr, 1081},
      {"th", nullptr, 1054},        {"vi", nullptr, 1066},         {"id", nullptr, 1057},
      {"ms", nullptr, 1086},
  };
  for (const auto& row : rows)
    if (lang == row.lang && (!row.country || country == row.country)) return NormalizeLanguageId(row.lcid);
  return LANG_UNSPECIFIED;
}

uint32_t UserDefaultLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return LanguageFromLocaleName(value);
  }
  return LANG_ENGLISH;
}

namespace {

bool StartTranslator(const std::string& langFile, uint32_t chosen) {
  CMessageTranslator& t = Translator();
  t = CMessageTranslator{};
  t.AddLanguage(LANG_FRENCH, g_FrenchMessages);
  t.AddLanguage(LANG_ENGLISH, g_EnglishMessages);
  bool loaded = true;
  if (!langFile.empty()) {
    loaded = t.LoadLanguageFile(langFile);
    if (loaded) return true;
  }
  if (chosen == LANG_FRENCH || chosen == LANG_ENGLISH) t.current = chosen;
  // A language without a table would show bare keys and empty menus.
  if (t.FindTable(t.current).entries.empty()) t.current = LANG_ENGLISH;
  return loaded;
}

}  // namespace

bool InitTranslator(const std::string& langFile, const std::string& language) {
  uint32_t chosen = 0;
  if (language == "FR") chosen = LANG_FRENCH;
  else if (language == "US") chosen = LANG_ENGLISH;
  return StartTranslator(langFile, chosen);
}

bool InitTranslator(const std::string& langFile, long language) {
  return StartTranslator(langFile, static_cast<uint32_t>(language));
}
