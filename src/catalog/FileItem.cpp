#include "catalog/FileItem.h"

#include <locale.h>
#include <wctype.h>

#include <cstdio>
#include <ctime>

#include "i18n/Translator.h"

// ---------------------------------------------------------------------------
// Small text helpers. Text is UTF-8; the line layout counts characters.

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

size_t CharCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += !IsContinuation(c);
  return n;
}

// Byte offset of character number k (or the size when the text is shorter).
size_t ByteOffsetOfChar(const std::string& s, size_t k) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(s[i]))) {
      if (chars == k) return i;
      ++chars;
    }
  }
  return s.size();
}

// Decodes the character at s[i], advancing i; a stray byte stands for itself.
char32_t NextChar(const std::string& s, size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
  if (extra <= 0 || i + static_cast<size_t>(extra) >= s.size()) {
    ++i;
    return c;
  }
  char32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if (!IsContinuation(cc)) {
      ++i;
      return c;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

// Letters and digits as the Windows-1252 code page knows them, and beyond
// Latin-1 what the C.UTF-8 character classes say (names read from UTF-16).
bool IsAlphaNumeric(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
  if (c < 0x100) return c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
  switch (c) {
    case 0x0152: case 0x0153: case 0x0160: case 0x0161:
    case 0x0178: case 0x017D: case 0x017E: case 0x0192:
      return true;
    default:
      break;
  }
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == static_cast<locale_t>(nullptr)) return false;
  return iswalnum_l(static_cast<wint_t>(c), utf8) != 0;
}

bool IsTrimSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsTrimSpace(s[b])) ++b;
  while (e > b && IsTrimSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// True when the text is one character repeated over its whole length (a
// single character counts: it says nothing as a title).
bool IsOneCharRepeated(const std::string& s) {
  if (s.empty()) return false;
  size_t i = 0;
  const char32_t first = NextChar(s, i);
  while (i < s.size())
    if (NextChar(s, i) != first) return false;
  return true;
}

bool HasAlphaNumeric(const std::string& s) {
  size_t i = 0;
  while (i < s.size())
    if (IsAlphaNumeric(NextChar(s, i))) return true;
  return false;
}

// Pads the line with spaces to column - length(text), cuts it there (which
// may cut earlier columns) and appends the text.
void RightAlign(std::string& line, const std::string& text, long column) {
  long target = column - static_cast<long>(CharCount(text));
  if (target < 0) target = 0;
  const size_t have = CharCount(line);
  if (have < static_cast<size_t>(target))
    line.append(static_cast<size_t>(target) - have, ' ');
  else if (have > static_cast<size_t>(target))
    line.resize(ByteOffsetOfChar(line, static_cast<size_t>(target)));
  line += text;
}

}  // namespace

// ---------------------------------------------------------------------------

uint8_t AttributesFromWin32(uint32_t w) {
  uint8_t a = 0;
  if (w & WIN32_ATTR_ARCHIVE) a |= ATTR_ARCHIVE;
  if (w & WIN32_ATTR_HIDDEN) a |= ATTR_HIDDEN;
  if (w & WIN32_ATTR_READONLY) a |= ATTR_READONLY;
  if (w & WIN32_ATTR_SYSTEM) a |= ATTR_SYSTEM;
  return a;
}

std::string AttributeText(uint8_t a) {
  std::string s(4, ' ');
  if (a & ATTR_ARCHIVE) s[0] = 'A';
  if (a & ATTR_HIDDEN) s[1] = 'H';
  if (a & ATTR_READONLY) s[2] = 'R';
  if (a & ATTR_SYSTEM) s[3] = 'S';
  return s;
}

std::string KiloText(uint32_t bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%u Ko", static_cast<unsigned>(bytes >> 10));
  return buf;
}

std::string FormatItemTime(uint32_t time) {
  const time_t t = static_cast<time_t>(time);
  struct tm tmv {};
  localtime_r(&t, &tmv);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02u/%02u/%4u  %02u:%02u:%02u", static_cast<unsigned>(tmv.tm_mday),
                static_cast<unsigned>(tmv.tm_mon + 1), static_cast<unsigned>(tmv.tm_year + 1900),
                static_cast<unsigned>(tmv.tm_hour), static_cast<unsigned>(tmv.tm_min),
                static_cast<unsigned>(tmv.tm_sec));
  return buf;
}

std::string TypeLabel(uint8_t type, bool isApplication) {
  switch (type) {
    case ITEM_MEDIA: return "Media";
    case ITEM_FOLDER: return "Root";
    case ITEM_DIRECTORY: return isApplication ? "Dir+Appli" : "Dir";
    case ITEM_FILE: return "File";
    case ITEM_DESCRIPTION: return "Descr";
    case ITEM_ARCHIVE_ENTRY: return "Compressed file";
    default: return "UNKNOWN";
  }
}

// ---------------------------------------------------------------------------
// CFileItem

CFileItem::CFileItem(uint8_t type_, std::string name_, uint32_t size_, uint32_t time_, int16_t level_,
                     uint32_t win32Attributes)
    : type(type_),
      name(std::move(name_)),
      size(size_),
      time(time_),
      level(level_),
      attributes(AttributesFromWin32(win32Attributes)) {}

CFileItem::CFileItem(const CFileItem& other)
    : type(other.type),
      name(other.name),
      size(other.size),
      time(other.time),
      level(other.level),
      attributes(other.attributes),
      isArchive(other.isArchive),
      thumbnail(other.thumbnail ? std::make_unique<PLBitmap>(*other.thumbnail) : nullptr) {}

std::unique_ptr<CFileItem> CFileItem::Clone() const {
  auto c = std::make_unique<CFileItem>(*this);
  c->description = description;
  return c;
}

void CFileItem::FormatLine(unsigned flags, int indentBase, std::string& out) const {
  out.clear();
  const long attrWidth = (flags & FL_ATTRIBUTES) ? 5 : 0;
  if ((flags & FL_FILENAME) && (type == ITEM_FILE || type == ITEM_ARCHIVE_ENTRY)) out += name;
  if ((flags & FL_DIRNAME) && (type == ITEM_DIRECTORY || type == ITEM_ARCHIVE_ENTRY))
    RightAlign(out, name, static_cast<long>(level) + static_cast<long>(CharCount(name)) - indentBase);
  if ((flags & FL_APPTITLE) && IsApplication()) {
    const auto* appli = dynamic_cast<const CFileItemAppli*>(this);
    out += appli ? appli->GetTitle() : ApplicationTitle(description);
  }
  if (flags & FL_SIZE) RightAlign(out, KiloText(size), 82 - attrWidth - ((flags & FL_DATE) ? 25 : 0));
  if (flags & FL_DATE) RightAlign(out, FormatItemTime(time), 82 - attrWidth);
  if (flags & FL_ATTRIBUTES) RightAlign(out, AttributeText(attributes), 82);
}

// ---------------------------------------------------------------------------
// Applications

CFileItemAppli::CFileItemAppli(const CFileItemAppli& other)
    : CFileItem(other), installProgram(other.installProgram), appSize(other.appSize), appTime(other.appTime) {}

std::unique_ptr<CFileItem> CFileItemAppli::Clone() const {
  auto c = std::make_unique<CFileItemAppli>(*this);
  c->description = description;
  return c;
}

std::string CFileItemAppli::GetTitle() const { return ApplicationTitle(description); }

std::string ApplicationTitle(const std::string& description) {
  std::string result;
  bool accepted = false, sawBreak = false;
  size_t lineStart = 0, charIndex = 0;
  // Only the first 256 characters are looked at for a title line.
  for (size_t i = 0; i < description.size() && charIndex <= 255; ++i) {
    const char c = description[i];
    if (!IsContinuation(static_cast<unsigned char>(c))) ++charIndex;
    if (c != '\r' && c != '\n') continue;
    sawBreak = true;
    std::string line = Trim(description.substr(lineStart, i - lineStart));
    if (!line.empty() && !IsOneCharRepeated(line) && HasAlphaNumeric(line)) {
      result = std::move(line);
      accepted = true;
      break;
    }
    size_t j = i;
    while (j < description.size() && (description[j] == '\r' || description[j] == '\n')) ++j;
    charIndex += j - i - 1;
    lineStart = j;
    i = j - 1;
  }
  if (!accepted) {
    result = Trim(sawBreak ? std::string() : description);
    if (IsOneCharRepeated(result)) result.clear();
  }
  if (result.empty()) return Translate("IDS_EMPTYAPPLI");
  std::string out;
  out.reserve(result.size());
  for (char c : result) {
    if (c == '\t')
      out += "   ";
    else
      out += c;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Media kinds

CFileItemMedia::CFileItemMedia(const CFileItemMedia& other)
    : CFileItem(other),
      rootPath(other.rootPath),
      volumeLabel(other.volumeLabel),
      fileSystem(other.fileSystem),
      serialNumber(other.serialNumber) {}

namespace {
template <class T>
std::unique_ptr<CFileItem> CloneWithDescription(const T& self) {
  auto c = std::make_unique<T>(self);
  c->description = self.description;
  return c;
}

// One prototype per kind, made on first use so that start-up order does not matter.
template <class T>
T* PrototypeOf() {
  static T prototype;
  return &prototype;
}
}  // namespace

std::unique_ptr<CFileItem> CFileItemMedia::Clone() const { return CloneWithDescription(*this); }
std::unique_ptr<CFileItem> CFileItemMediaCD::Clone() const { return CloneWithDescription(*this); }
std::unique_ptr<CFileItem> CFileItemMediaDVD::Clone() const { return CloneWithDescription(*this); }
std::unique_ptr<CFileItem> CFileItemMediaDir::Clone() const { return CloneWithDescription(*this); }
std::unique_ptr<CFileItem> CFileItemMediaRem::Clone() const { return CloneWithDescription(*this); }

CFileItemMedia* CFileItemMedia::GetPrototype() const { return PrototypeOf<CFileItemMedia>(); }
CFileItemMedia* CFileItemMediaCD::GetPrototype() const { return PrototypeOf<CFileItemMediaCD>(); }
CFileItemMedia* CFileItemMediaDVD::GetPrototype() const { return PrototypeOf<CFileItemMediaDVD>(); }
CFileItemMedia* CFileItemMediaDir::GetPrototype() const { return PrototypeOf<CFileItemMediaDir>(); }
CFileItemMedia* CFileItemMediaRem::GetPrototype() const { return PrototypeOf<CFileItemMediaRem>(); }

std::unique_ptr<CFileItemMedia> CFileItemMedia::CreateNew() const { return std::make_unique<CFileItemMedia>(); }
std::unique_ptr<CFileItemMedia> CFileItemMediaCD::CreateNew() const { return std::make_unique<CFileItemMediaCD>(); }
std::unique_ptr<CFileItemMedia> CFileItemMediaDVD::CreateNew() const {
  return std::make_unique<CFileItemMediaDVD>();
}
std::unique_ptr<CFileItemMedia> CFileItemMediaDir::CreateNew() const {
  return std::make_unique<CFileItemMediaDir>();
}
std::unique_ptr<CFileItemMedia> CFileItemMediaRem::CreateNew() const {
  return std::make_unique<CFileItemMediaRem>();
}

std::unique_ptr<CFileItem> CreateItemOfClass(const std::string& className) {
  if (className == "CFileItem") return std::make_unique<CFileItem>();
  if (className == "CFileItemAppli") return std::make_unique<CFileItemAppli>();
  if (className == "CFileItemMedia") return std::make_unique<CFileItemMedia>();
  if (className == "CFileItemMediaCD") return std::make_unique<CFileItemMediaCD>();
  if (className == "CFileItemMediaDVD") return std::make_unique<CFileItemMediaDVD>();
  if (className == "CFileItemMediaDir") return std::make_unique<CFileItemMediaDir>();
  if (className == "CFileItemMediaRem") return std::make_unique<CFileItemMediaRem>();
  return nullptr;
}

// ---------------------------------------------------------------------------
// Kind registry

void CMediaKindRegistry::Register(const std::string& key, PrototypeFn prototype) {
  entries_.emplace_back(key, std::move(prototype));
}

CFileItemMedia* CMediaKindRegistry::Lookup(const std::string& key) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->first == key) return it->second ? it->second() : nullptr;
  return nullptr;
}

CMediaKindRegistry& MediaKinds() {
  static CMediaKindRegistry registry;
  return registry;
}

void RegisterDefaultMediaKinds() {
  auto& r = MediaKinds();
  r.Register("CD", [] { return PrototypeOf<CFileItemMediaCD>(); });
  r.Register("Dir", [] { return PrototypeOf<CFileItemMediaDir>(); });
  r.Register("Rem", [] { return PrototypeOf<CFileItemMediaRem>(); });
}
