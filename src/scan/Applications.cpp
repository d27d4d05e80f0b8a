#include "scan/Applications.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>

#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "describe/FileAccess.h"
#include "i18n/Translator.h"
#include "ports/Paths.h"
#include "ports/TempDir.h"
#include "scan/DescriptionFiles.h"
#include "scan/MediaPaths.h"
#include "scan/Scanner.h"
#include "text/Codepage.h"
#include "text/Wildcard.h"

namespace {

constexpr size_t kApplisPiece = 255;
// Applis.dat is a short hand-written list; a larger file is read up to here.
constexpr size_t kApplisLimit = 16 << 20;

const char* const kRuleCompressedDiz = "File_id.di_";
const char* const kRuleDirTxt = "dir.txt";
const char* const kRuleSetupIni = "setup.ini";
const char* const kRuleSetupLst = "setup.lst";

AppSignature Rule(const char* name) {
  AppSignature s;
  s.descriptionFile = kAppRuleMarker;
  s.descriptionText = name;
  return s;
}

// The direct children of a directory item, found by name ignoring case.
class Children {
 public:
  Children(const CFileItemList& list, size_t index) {
    const int level = list[index]->level + 1;
    const size_t end = list.SubtreeEnd(index);
    for (size_t j = index + 1; j < end; ++j) {
      if (list[j]->level != level) continue;
      indices_.push_back(j);
      byName_.emplace(Utf8Upper(list[j]->name), j);  // the first of a name wins
    }
  }
  long Find(const std::string& name) const {
    auto it = byName_.find(Utf8Upper(name));
    return it == byName_.end() ? -1 : static_cast<long>(it->second);
  }
  const std::vector<size_t>& All() const { return indices_; }

 private:
  std::vector<size_t> indices_;
  std::unordered_map<std::string, size_t> byName_;
};

// The installation program when the signature names none: the only child
// file matching SETUP.EXE, else INSTALL.EXE, else *.EXE.
long FindInstallProgram(const CFileItemList& list, const Children& children) {
  for (const char* pattern : {"SETUP.EXE", "INSTALL.EXE", "*.EXE"}) {
    long found = -1;
    int count = 0;
    for (size_t j : children.All()) {
      const CFileItem* c = list[j];
      if (c->type != ITEM_FILE && c->type != ITEM_ARCHIVE_ENTRY) continue;
      if (WildcardMatch(pattern, c->name, true)) {
        if (++count == 1) found = static_cast<long>(j);
      }
    }
    if (count == 1) return found;
  }
  return -1;
}

// Reads the description file at index f by the rule of the signature;
// nothing when it cannot be read (the signature is then rejected).
std::optional<std::string> ReadDescriptionFile(const CFileItemList& list, size_t f, const AppSignature& s,
                                               const UnreadableLog& logUnreadable) {
  std::string path;
  bool extracted = false;
  const long archive = ArchiveOfMember(list, f);
  if (archive >= 0) {
    // Members are read from a copy in the temporary directory.
    if (!ExtractArchiveMember(DiskPath(list, static_cast<size_t>(archive)), list[f]->name,
                              MemberPathInArchive(list, f), path)) {
      ResetTempWorkDirectory();
      return std::nullopt;
    }
    extracted = true;
  } else {
    path = DiskPath(list, f);
    if (auto reason = UnreadableReason(path)) {
      if (logUnreadable) logUnreadable(UnreadableLine(path, *reason));
      return std::nullopt;
    }
  }
  std::optional<std::string> text;
  const bool isRule = s.descriptionFile == kAppRuleMarker;
  if (isRule && s.descriptionText == kRuleCompressedDiz) {
    text = ReadCompressedDescription(path);
  } else if (isRule && s.descriptionText == kRuleDirTxt) {
    text = ReadDirTxtDescription(path);
  } else if (isRule && s.descriptionText == kRuleSetupIni) {
    text = ReadSetupDescription(path, "[Startup]", "AppName");
  } else if (isRule && s.descriptionText == kRuleSetupLst) {
    text = ReadSetupDescription(path, "[Setup]", "Title");
  } else {
    text = ReadPlainDescription(path);
  }
  if (extracted) ResetTempWorkDirectory();
  return text;
}

std::unique_ptr<CFileItemAppli> MatchSignature(const CFileItemList& list, size_t index, const Children& children,
                                               const AppSignature& s, const UnreadableLog& logUnreadable) {
  const CFileItem* dir = list[index];
  bool ok = true;
  uint32_t date = dir->time;
  for (const std::string& required : s.requiredFiles) {
    const long c = children.Find(required);
    if (c < 0)
      ok = false;
    else
      date = list[static_cast<size_t>(c)]->time;
  }
  if (!ok) return nullptr;

  long descriptionChild = -1;
  const bool isRule = s.descriptionFile == kAppRuleMarker;
  if (isRule && s.descriptionText == kRuleDirTxt) {
    descriptionChild = children.Find(dir->name + ".txt");
    if (descriptionChild < 0) return nullptr;
  } else if (!s.descriptionFile.empty()) {
    // The named rules look for the child of the rule's name; a plain entry for its own file.
    descriptionChild = children.Find(isRule ? s.descriptionText : s.descriptionFile);
    if (descriptionChild < 0) return nullptr;
  }

  long program = -1;
  if (!s.installProgram.empty()) {
    program = children.Find(s.installProgram);
    if (program < 0) return nullptr;
  } else {
    program = FindInstallProgram(list, children);
  }

  std::string description = s.descriptionText;
  if (descriptionChild >= 0) {
    auto text = ReadDescriptionFile(list, static_cast<size_t>(descriptionChild), s, logUnreadable);
    if (!text) return nullptr;
    const bool setupRule = isRule && (s.descriptionText == kRuleSetupIni || s.descriptionText == kRuleSetupLst);
    if (setupRule && text->empty()) return nullptr;
    description = std::move(*text);
  }

  auto app = std::make_unique<CFileItemAppli>(*dir);
  if (program >= 0) {
    const size_t p = static_cast<size_t>(program);
    app->installProgram = ArchiveOfMember(list, p) >= 0 ? MemberPathInArchive(list, p) : PhysicalPath(list, p, true);
  }
  uint64_t total = 0;
  const size_t end = list.SubtreeEnd(index);
  for (size_t j = index + 1; j < end; ++j)
    if (list[j]->type == ITEM_FILE) total += list[j]->size;
  app->appSize = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
  app->appTime = date;
  app->description = std::move(description);
  return app;
}

}  // namespace

std::vector<std::string> SplitApplisLines(std::string_view data) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < data.size()) {
    // One read of at most 255 characters, ending after a line feed.
    std::string piece;
    while (i < data.size() && piece.size() < kApplisPiece) {
      const char c = data[i++];
      if (c == '\n') break;
      piece += c;
      if (piece.size() == kApplisPiece) break;
    }
    lines.push_back(std::move(piece));
  }
  return lines;
}

std::optional<AppSignature> ParseApplisLine(std::string_view line) {
  std::string clean;
  bool started = false;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) < 0x20) continue;
    if (!started) {
      if (c == ' ') continue;
      if (c != '#') return std::nullopt;
      started = true;
    }
    if (c != '#') clean += c;
  }
  if (!started) return std::nullopt;
  std::vector<std::string> fields;
  size_t start = 0;
  for (int k = 0; k < 4; ++k) {
    const size_t semi = clean.find(';', start);
    if (semi == std::string::npos) {
      if (k < 3) return std::nullopt;  // fewer than three ";"
      fields.push_back(clean.substr(start));
      break;
    }
    fields.push_back(clean.substr(start, semi - start));
    start = semi + 1;
  }
  AppSignature s;
  size_t from = 0;
  const std::string& required = fields[0];
  while (from <= required.size()) {
    size_t comma = required.find(',', from);
    if (comma == std::string::npos) comma = required.size();
    if (comma > from) s.requiredFiles.push_back(SanitizeUtf8(required.substr(from, comma - from)));
    from = comma + 1;
  }
  s.descriptionFile = SanitizeUtf8(fields[1]);
  s.descriptionText = SanitizeUtf8(fields[2]);
  s.installProgram = SanitizeUtf8(fields[3]);
  return s;
}

void CApplicationsDictionary::LoadFromText(std::string_view applisDat) {
  entries.clear();
  AppSignature diz;
  diz.descriptionFile = "File_id.diz";
  entries.push_back(diz);
  entries.push_back(Rule(kRuleCompressedDiz));
  entries.push_back(Rule(kRuleDirTxt));
  for (const std::string& line : SplitApplisLines(applisDat))
    if (auto s = ParseApplisLine(line)) entries.push_back(std::move(*s));
  entries.push_back(Rule(kRuleSetupIni));
  entries.push_back(Rule(kRuleSetupLst));
}

bool CApplicationsDictionary::Load(const std::string& path) {
  std::string data;
  bool ok = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ok = true;
    char buffer[64 * 1024];
    while (data.size() < kApplisLimit) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
  }
  LoadFromText(ok ? std::string_view(data).substr(0, kApplisLimit) : std::string_view());
  return ok;
}

bool CApplicationsDictionary::LoadDefault() { return Load(ApplisDatPath()); }

CApplicationsDictionary& Applications() {
  static CApplicationsDictionary dictionary;
  return dictionary;
}

std::unique_ptr<CFileItemAppli> MatchApplication(const CApplicationsDictionary& dictionary,
                                                 const CFileItemList& list, size_t index,
                                                 const UnreadableLog& logUnreadable) {
  if (index >= list.size()) return nullptr;
  const Children children(list, index);
  for (const AppSignature& s : dictionary.entries)
    if (auto app = MatchSignature(list, index, children, s, logUnreadable)) return app;
  return nullptr;
}

bool SearchApplications(const CApplicationsDictionary& dictionary, CFileItemList& list, size_t mediaIndex,
                        bool& stopped, CScanProgress* progress) {
  stopped = false;
  if (mediaIndex >= list.size() || !list[mediaIndex]->IsMedia()) return false;
  if (progress) progress->BeginApplications();
  const int mediaLevel = list[mediaIndex]->level;
  const size_t after = list.size() - mediaIndex - 1;
  int found = 0;
  const UnreadableLog logUnreadable = [&](const std::string& line) {
    const std::string entry = Translate("IDS_ERROR") + " : " + line;
    if (progress) progress->AppendLog(entry);
    list[mediaIndex]->description += "\r\n" + entry;  // as the scan's log became the description
  };
  for (size_t i = mediaIndex + 1; i < list.size() && list[i]->level > mediaLevel; ++i) {
    const uint8_t type = list[i]->type;
    if (type != ITEM_DIRECTORY && type != ITEM_ARCHIVE_ENTRY) continue;
    const int percent = static_cast<int>((i - mediaIndex) * 100 / after);
    if (auto app = MatchApplication(dictionary, list, i, logUnreadable)) {
      list.Replace(i, std::move(app));
      ++found;
    }
    if (progress && progress->UpdateApplications(found, percent)) {
      stopped = true;
      return false;
    }
  }
  return found > 0;
}

bool RunApplicationPass(CFileItemList& catalog, size_t mediaIndex, CScanProgress& progress) {
  // A loaded dictionary always holds the built-in rules.
  if (Applications().entries.empty()) Applications().LoadDefault();
  bool stopped = false;
  SearchApplications(Applications(), catalog, mediaIndex, stopped, &progress);
  return stopped;
}
