#include "app/Settings.h"

#include "app/Shelf.h"
#include "catalog/FileItem.h"
#include "i18n/Translator.h"
#include "ports/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include "text/Codepage.h"

namespace {

// Settings files are small; anything larger is not ours to load whole.
constexpr std::streamoff kMaxSettingsFile = 16 * 1024 * 1024;

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return true;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

constexpr const char* kMediasSection = "Medias";

std::string MediaItemKey(size_t n) { return "Item " + std::to_string(n); }

}  // namespace

bool CIniFile::Load(const std::string& path) {
  lines_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxSettingsFile) return false;
  in.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  in.read(text.data(), size);
  text.resize(static_cast<size_t>(in.gcount()));
  Parse(text);
  return true;
}

void CIniFile::Parse(std::string_view text) {
  lines_.clear();
  size_t pos = 0;
  bool inSection = false;  // keys before the first section belong to none
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string_view raw = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    // A CR before the LF stays in the raw text (written back as it was);
    // trimming takes it off names and values.
    Line line;
    line.raw = std::string(raw);
    std::string_view t = Trim(raw);
    if (!t.empty() && t[0] == '[') {
      size_t close = t.find(']');
      if (close != std::string_view::npos) {
        line.kind = Line::Section;
        line.name = std::string(Trim(t.substr(1, close - 1)));
        inSection = true;
      }
    } else if (!t.empty() && t[0] != ';' && t[0] != '#') {
      size_t eq = t.find('=');
      if (eq != std::string_view::npos && eq > 0 && inSection) {
        line.kind = Line::Value;
        line.name = std::string(Trim(t.substr(0, eq)));
        std::string_view v = Trim(t.substr(eq + 1));
        // A value in double quotes is read without them, as Windows does.
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        line.value = std::string(v);
      }
    }
    lines_.push_back(std::move(line));
  }
}

std::string CIniFile::Serialize() const {
  std::string out;
  for (const auto& l : lines_) {
    out += l.raw;
    out += '\n';
  }
  return out;
}

bool CIniFile::Save(const std::string& path, std::string* error) const {
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  if (!MakeDirectories(dir)) return fail(dir);
  std::string tmpl = path + ".XXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return fail(path);
  std::string text = Serialize();
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = errno;
      close(fd);
      unlink(tmpl.c_str());
      errno = e;
      return fail(path);
    }
    done += static_cast<size_t>(n);
  }
  fchmod(fd, 0600);
  if (fsync(fd) != 0 || close(fd) != 0) {
    int e = errno;
    unlink(tmpl.c_str());
    errno = e;
    return fail(path);
  }
  if (rename(tmpl.c_str(), path.c_str()) != 0) {
    int e = errno;
    unlink(tmpl.c_str());
    errno = e;
    return fail(path);
  }
  return true;
}

long CIniFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Line::Section && AsciiEqualNoCase(lines_[i].name, section)) return static_cast<long>(i);
  return -1;
}

long CIniFile::FindKey(std::string_view section, std::string_view key) const {
  long s = FindSection(section);
  if (s < 0) return -1;
  for (size_t i = static_cast<size_t>(s) + 1; i < lines_.size() && lines_[i].kind != Line::Section; ++i)
    if (lines_[i].kind == Line::Value && AsciiEqualNoCase(lines_[i].name, key)) return static_cast<long>(i);
  return -1;
}

std::optional<std::string> CIniFile::Get(std::string_view section, std::string_view key) const {
  long i = FindKey(section, key);
  if (i < 0) return std::nullopt;
  return lines_[static_cast<size_t>(i)].value;
}

std::string CIniFile::GetString(std::string_view section, std::string_view key, const std::string& def) const {
  auto v = Get(section, key);
  return v ? *v : def;
}

long CIniFile::GetInt(std::string_view section, std::string_view key, long def) const {
  auto v = Get(section, key);
  if (!v) return def;
  std::string_view s = Trim(*v);
  bool negative = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;  // saturate, keep going over digits
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<long>(value);
}

void CIniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  Line line;
  line.kind = Line::Value;
  line.name = std::string(key);
  line.value = std::string(value);
  line.raw = line.name + "=" + line.value;
  long k = FindKey(section, key);
  if (k >= 0) {
    line.name = lines_[static_cast<size_t>(k)].name;  // keep the file's spelling of the key
    line.raw = line.name + "=" + line.value;
    lines_[static_cast<size_t>(k)] = std::move(line);
    return;
  }
  long s = FindSection(section);
  if (s < 0) {
    if (!lines_.empty() && !Trim(lines_.back().raw).empty()) lines_.push_back(Line{});
    Line header;
    header.kind = Line::Section;
    header.name = std::string(section);
    header.raw = "[" + header.name + "]";
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
    return;
  }
  // After the last value of the section (blank lines and comments after it stay after it).
  size_t insertAt = static_cast<size_t>(s) + 1;
  for (size_t i = insertAt; i < lines_.size() && lines_[i].kind != Line::Section; ++i)
    if (lines_[i].kind == Line::Value) insertAt = i + 1;
  lines_.insert(lines_.begin() + static_cast<long>(insertAt), std::move(line));
}

void CIniFile::SetInt(std::string_view section, std::string_view key, long value) {
  Set(section, key, std::to_string(value));
}

void CIniFile::Remove(std::string_view section, std::string_view key) {
  long k = FindKey(section, key);
  if (k >= 0) lines_.erase(lines_.begin() + k);
}

std::vector<std::string> CIniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  long s = FindSection(section);
  if (s < 0) return keys;
  for (size_t i = static_cast<size_t>(s) + 1; i < lines_.size() && lines_[i].kind != Line::Section; ++i)
    if (lines_[i].kind == Line::Value) keys.push_back(lines_[i].name);
  return keys;
}

bool CIniFile::HasSection(std::string_view section) const { return FindSection(section) >= 0; }

// ---------------------------------------------------------------------------

namespace {

constexpr const char* kConfig = "Config";

struct IntKey {
  const char* key;
  int ConfigSettings::*member;
  int def;
};

// In the order they are read and written.
const IntKey kIntKeys[] = {
    {"LoadLastUsed", &ConfigSettings::loadLastUsed, 1},
    {"UseLastFilter", &ConfigSettings::useLastFilter, 1},
    {"OpenDescr", &ConfigSettings::openDescr, 1},
    {"ScanDescrs", &ConfigSettings::scanDescrs, 1},
    {"ScanCompress", &ConfigSettings::scanCompress, 1},
    {"ScanApplis", &ConfigSettings::scanApplis, 1},
    {"ScanDescrMp3", &ConfigSettings::scanDescrMp3, 1},
    {"ScanDescrExe", &ConfigSettings::scanDescrExe, 1},
    {"ScanDescrPicDescr", &ConfigSettings::scanDescrPicDescr, 1},
    {"ScanDescrBmp", &ConfigSettings::scanDescrBmp, 1},
    {"ScanDescrJpg", &ConfigSettings::scanDescrJpg, 1},
    {"ScanDescrPng", &ConfigSettings::scanDescrPng, 1},
    {"ScanDescrTif", &ConfigSettings::scanDescrTif, 1},
    {"ScanDescrGif", &ConfigSettings::scanDescrGif, 1},
    {"ScanDescrPct", &ConfigSettings::scanDescrPct, 1},
    {"ScanDescrTga", &ConfigSettings::scanDescrTga, 1},
    {"ScanDescrWmf", &ConfigSettings::scanDescrWmf, 1},
    {"ScanDescrEmf", &ConfigSettings::scanDescrEmf, 1},
    {"ScanDescrPcx", &ConfigSettings::scanDescrPcx, 1},
    {"ScanDescrPgm", &ConfigSettings::scanDescrPgm, 1},
    {"ScanDescrWebp", &ConfigSettings::scanDescrWebp, 1},
    {"ScanDescrHeif", &ConfigSettings::scanDescrHeif, 1},
    {"ScanDescrAvif", &ConfigSettings::scanDescrAvif, 1},
    {"ScanDescrWidth", &ConfigSettings::scanDescrWidth, 100},
    {"ScanDescrHeight", &ConfigSettings::scanDescrHeight, 100},
    {"ScanDescrBpp", &ConfigSettings::scanDescrBpp, 8},
    {"ScanDescrAudio", &ConfigSettings::scanDescrAudio, 1},
    {"ScanDescrVideo", &ConfigSettings::scanDescrVideo, 1},
};

constexpr const char* kRecent = "Recent File List";

}  // namespace

ConfigSettings ReadConfig(const CIniFile& ini) {
  ConfigSettings c;
  c.langFile = ini.GetString(kConfig, "LangFile");
  c.language = ini.GetString(kConfig, "Language");
  for (const IntKey& k : kIntKeys) c.*(k.member) = static_cast<int>(ini.GetInt(kConfig, k.key, k.def));
  // A user who narrowed the picture types did not ask for the new ones.
  const bool oldDefaultList = c.scanDescrBmp && c.scanDescrJpg && c.scanDescrPng && c.scanDescrTif && c.scanDescrGif &&
                              c.scanDescrPct && c.scanDescrTga && c.scanDescrWmf && c.scanDescrEmf && c.scanDescrPcx &&
                              c.scanDescrPgm;
  for (const char* key : {"ScanDescrWebp", "ScanDescrHeif", "ScanDescrAvif"})
    if (!ini.Get(kConfig, key))
      for (const IntKey& k : kIntKeys)
        if (std::string_view(k.key) == key) c.*(k.member) = oldDefaultList ? 1 : 0;
  if (c.loadLastUsed) c.varnFile = ini.GetString(kConfig, "VarnFile");
  return c;
}

void WriteConfig(CIniFile& ini, const ConfigSettings& config, const std::string* lastCatalog) {
  for (const IntKey& k : kIntKeys) ini.SetInt(kConfig, k.key, config.*(k.member));
  if (lastCatalog) ini.Set(kConfig, "VarnFile", *lastCatalog);
}

DescribeSettings ToDescribeSettings(const ConfigSettings& c) {
  DescribeSettings d;
  d.scanDescrs = c.scanDescrs != 0;
  d.mp3 = c.scanDescrMp3 != 0;
  d.exe = c.scanDescrExe != 0;
  d.picDescr = c.scanDescrPicDescr != 0;
  d.bmp = c.scanDescrBmp != 0;
  d.jpg = c.scanDescrJpg != 0;
  d.png = c.scanDescrPng != 0;
  d.tif = c.scanDescrTif != 0;
  d.gif = c.scanDescrGif != 0;
  d.pct = c.scanDescrPct != 0;
  d.tga = c.scanDescrTga != 0;
  d.wmf = c.scanDescrWmf != 0;
  d.emf = c.scanDescrEmf != 0;
  d.pcx = c.scanDescrPcx != 0;
  d.pgm = c.scanDescrPgm != 0;
  d.webp = c.scanDescrWebp != 0;
  d.heif = c.scanDescrHeif != 0;
  d.avif = c.scanDescrAvif != 0;
  d.width = c.scanDescrWidth;
  d.height = c.scanDescrHeight;
  d.bpp = c.scanDescrBpp;
  d.audio = c.scanDescrAudio != 0;
  d.video = c.scanDescrVideo != 0;
  return d;
}

std::vector<std::string> ReadRecentFiles(const CIniFile& ini) {
  std::vector<std::string> files;
  for (size_t i = 1; i <= kRecentFileCount; ++i) {
    std::string v = ini.GetString(kRecent, "File" + std::to_string(i));
    if (!v.empty()) files.push_back(v);
  }
  return files;
}

void WriteRecentFiles(CIniFile& ini, const std::vector<std::string>& files) {
  size_t n = std::min(files.size(), kRecentFileCount);
  for (size_t i = 0; i < n; ++i) ini.Set(kRecent, "File" + std::to_string(i + 1), files[i]);
  for (size_t i = n; i < kRecentFileCount; ++i) ini.Remove(kRecent, "File" + std::to_string(i + 1));
}

void AddRecentFile(std::vector<std::string>& files, const std::string& path) {
  for (auto it = files.begin(); it != files.end();) {
    if (*it == path) it = files.erase(it);
    else ++it;
  }
  files.insert(files.begin(), path);
  if (files.size() > kRecentFileCount) files.resize(kRecentFileCount);
}

long LanguageFromSetting(const std::string& language) {
  if (language == "FR") return 1036;
  if (language == "US") return 1033;
  return 0;
}

// ---------------------------------------------------------------------------

FilterStorage CAppSettings::FilterSection() {
  FilterStorage storage;
  storage.hasSection = [this] { return ini.HasSection("Filters"); };
  storage.read = [this](const std::string& name) { return ini.GetString("Filters", name); };
  storage.write = [this](const std::string& name, const std::string& value) {
    // An emptied value is a value the section no longer has.
    if (value.empty()) ini.Remove("Filters", name);
    else ini.Set("Filters", name, value);
  };
  return storage;
}

void CAppSettings::Read(const std::string& settingsPath) {
  path = settingsPath;
  ini.Load(path);  // a missing file reads as empty: every default applies
  config = ReadConfig(ini);
  languageFileLoaded = InitTranslator(config.langFile, config.language);
  tempDirectory = TempWorkDirectory();
  searchHistory = SearchHistory();
  searchHistory.Load([this](const std::string& name) { return ini.GetString(kConfig, name); });
  MediaKinds().Clear();
  RegisterDefaultMediaKinds();
  LoadMediaTypes(ini, MediaTypes());
  filters = CFilterState();
  filters.Load(FilterSection(), config.useLastFilter != 0);
  recentFiles = ReadRecentFiles(ini);
  shelf = ReadShelf(ini);
}

bool CAppSettings::Write(const std::string* lastCatalog, std::string* error) {
  WriteConfig(ini, config, lastCatalog);
  searchHistory.Save([this](const std::string& name, const std::string& value) { ini.Set(kConfig, name, value); });
  SaveMediaTypes(ini, MediaTypes());
  filters.Save(FilterSection());
  WriteRecentFiles(ini, recentFiles);
  WriteShelf(ini, shelf);
  return ini.Save(path, error);
}

void LoadMediaTypes(const CIniFile& ini, MediaTypeList& list) {
  list.clear();
  bool anyValue = false;
  for (size_t n = 0;; ++n) {
    std::string value = ini.GetString(kMediasSection, MediaItemKey(n));
    if (value.empty()) break;
    anyValue = true;
    size_t comma1 = value.find(',');
    std::string key = value.substr(0, comma1);
    CFileItemMedia* kind = MediaKinds().Lookup(key);
    if (!kind) continue;
    std::string name, path;
    if (comma1 != std::string::npos) {
      size_t comma2 = value.find(',', comma1 + 1);
      name = value.substr(comma1 + 1, comma2 == std::string::npos ? std::string::npos : comma2 - comma1 - 1);
      if (comma2 != std::string::npos) path = value.substr(comma2 + 1);
    }
    list.push_back(MakeMediaType(path, name, kind));
  }
  if (!anyValue) BuildDefaultMediaTypes(list);
}

void SaveMediaTypes(CIniFile& ini, const MediaTypeList& list) {
  size_t n = 0;
  for (; n < list.size(); ++n) {
    const MediaTypeEntry& e = list[n];
    std::string key = e.kind ? e.kind->GetKindKey() : "Dir";
    ini.Set(kMediasSection, MediaItemKey(n), key + "," + e.name + "," + e.path);
  }
  // Rows of an earlier, longer list would come back as rows at the next start.
  for (; ini.Get(kMediasSection, MediaItemKey(n)).has_value(); ++n) ini.Remove(kMediasSection, MediaItemKey(n));
}
