#include "app/Launch.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/TempDir.h"
#include "ports/UiPort.h"
#include "scan/MediaPaths.h"

namespace fs = std::filesystem;

namespace {

// The numbers the error message has always shown: file not found, access
// denied, no program for this kind of file.
constexpr int kNotFound = 2;
constexpr int kAccessDenied = 5;
constexpr int kNoAssociation = 31;

int FailureCode(const std::string& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return errno == EACCES ? kAccessDenied : kNotFound;
  return ::access(file.c_str(), R_OK) != 0 ? kAccessDenied : kNoAssociation;
}

void ReportCannotOpen(IUiPort& ui, const std::string& what, int code) {
  ui.MessageBox(FormatInserts(Translate("IDS_CANNOTOPENFILE"), {what, code}), std::string(), MB_ICONERROR);
}

// A program this machine can run itself (an ELF file or a script), as
// opposed to a document or a Windows program, which go to the desktop.
bool IsNativeProgram(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0) return false;
  std::ifstream in(path, std::ios::binary);
  char head[4] = {};
  in.read(head, 4);
  if (in.gcount() >= 2 && head[0] == '#' && head[1] == '!') return true;
  return in.gcount() == 4 && head[0] == '\x7f' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
}

bool EndsWithZip(const std::string& name) {
  return name.size() >= 3 && strcasecmp(name.c_str() + name.size() - 3, "zip") == 0;
}

// Extracts member item index of an archive; nothing on failure.
std::optional<std::string> ExtractMember(const CFileItemList& list, size_t index, const std::string& memberPath) {
  const long archive = ArchiveOfMember(list, index);
  if (archive < 0) return std::nullopt;
  const std::string archivePath = DiskPath(list, static_cast<size_t>(archive));
  std::string extracted;
  const std::string name = fs::path(memberPath).filename().string();
  if (!ExtractArchiveMember(archivePath, name, memberPath, extracted)) return std::nullopt;
  return extracted;
}

std::string Slashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

bool ExecuteItem(const CFileItemList& list, size_t index, bool install, IUiPort& ui) {
  if (index >= list.size()) return false;
  const CFileItem& item = *list[index];
  const auto* app = dynamic_cast<const CFileItemAppli*>(&item);
  std::string file;
  bool fromArchive = false;     // an installation out of a ZIP application
  bool extracted = false;       // the file is a copy in the temporary directory
  if (install && app) {
    if (EndsWithZip(item.name)) {
      std::string outDir;
      if (!ExtractWholeZip(DiskPath(list, index), outDir)) return false;
      if (!outDir.empty() && outDir.back() != '/') outDir += '/';
      file = outDir + Slashes(app->installProgram);
      fromArchive = extracted = true;
    } else if (app->isArchive != 0 && !app->installProgram.empty()) {
      // An application inside an archive: its program is a member there.
      auto copy = ExtractMember(list, index, Slashes(app->installProgram));
      if (!copy) return false;
      file = *copy;
      extracted = true;
    } else {
      file = app->installProgram.empty() ? std::string() : GetPlatform().ResolvePath(app->installProgram);
    }
  } else if (item.type != ITEM_ARCHIVE_ENTRY && item.isArchive != 0) {
    auto copy = ExtractMember(list, index, MemberPathInArchive(list, index));
    if (!copy) return false;
    file = *copy;
    extracted = true;
  } else {
    file = DiskPath(list, index);
  }
  if (file.empty()) return true;

  std::string error;
  bool started;
  if (!extracted && !fs::exists(file)) {
    started = false;
  } else {
    // Started from the file's own directory (for a program taken out of an
    // archive, the directory it was extracted to): installers look for
    // their files there. A program of this machine is run; anything else
    // goes to the desktop's handler, which inherits the directory.
    const std::string workingDirectory = fs::path(file).parent_path().string();
    if (install && IsNativeProgram(file))
      started = GetPlatform().StartProgram(file, {}, workingDirectory, &error);
    else
      started = GetPlatform().StartProgram("xdg-open", {file}, workingDirectory, &error);
  }
  if (!started) {
    ReportCannotOpen(ui, file, FailureCode(file));
    return false;
  }
  if (fromArchive) {
    ui.MessageBox(Translate("IDS_INSTALLPROCESSMAIN"), Translate("IDS_INSTALLPROCESS"), MB_OK);
    ResetTempWorkDirectory();
  }
  return true;
}

bool OpenInNotepad(const CFileItemList& list, size_t index, IUiPort& ui) {
  if (index >= list.size()) return false;
  const CFileItem& item = *list[index];
  std::string file;
  if (item.type != ITEM_ARCHIVE_ENTRY && item.isArchive != 0) {
    auto copy = ExtractMember(list, index, MemberPathInArchive(list, index));
    if (!copy) return false;
    file = *copy;
  } else {
    file = DiskPath(list, index);
  }
  std::vector<std::string> command = TextViewerCommand(file);
  std::string commandLine;
  bool started;
  std::string error;
  if (!fs::exists(file)) {
    commandLine = file;
    started = false;
  } else if (command.empty()) {
    // No text viewer is known: the desktop decides by the file's type.
    commandLine = file;
    started = GetPlatform().OpenPath(file, &error);
  } else {
    for (const auto& part : command) commandLine += (commandLine.empty() ? "" : " ") + part;
    const std::string program = command.front();
    command.erase(command.begin());
    started = GetPlatform().StartProgram(program, command, fs::path(file).parent_path().string(), &error);
  }
  if (!started) {
    ReportCannotOpen(ui, commandLine, FailureCode(file));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The desktop's text viewer

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

std::vector<std::string> SplitColons(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    const size_t colon = s.find(':', start);
    const std::string part = s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!part.empty()) out.push_back(part);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return out;
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  const size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

// The value of key in section of a desktop-style key file; nothing when absent.
std::optional<std::string> KeyFileValue(const std::string& path, const std::string& section, const std::string& key) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inSection = line == "[" + section + "]";
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq != std::string::npos && Trim(line.substr(0, eq)) == key) return Trim(line.substr(eq + 1));
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> DesktopExecArguments(const std::string& exec, const std::string& file) {
  std::vector<std::string> args;
  std::string current;
  bool inWord = false, quoted = false, placed = false;
  auto endWord = [&] {
    if (inWord) args.push_back(current);
    current.clear();
    inWord = false;
  };
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        current += exec[++i];
      } else {
        current += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = inWord = true;
    } else if (c == ' ' || c == '\t') {
      endWord();
    } else if (c == '%' && i + 1 < exec.size()) {
      const char code = exec[++i];
      if (code == '%') {
        current += '%';
        inWord = true;
      } else if (code == 'f' || code == 'F' || code == 'u' || code == 'U') {
        current += file;
        inWord = placed = true;
      }
      // Other field codes (%i, %c, %k, ...) stand for nothing here.
    } else {
      current += c;
      inWord = true;
    }
  }
  endWord();
  if (!placed && !args.empty()) args.push_back(file);
  return args;
}

std::vector<std::string> TextViewerCommand(const std::string& file) {
  const std::string viewer = EnvOr("QUOLVANE_TEXT_VIEWER", "");
  if (!viewer.empty()) return {viewer, file};

  const std::string home = EnvOr("HOME", "");
  const std::string configHome = EnvOr("XDG_CONFIG_HOME", home + "/.config");
  const std::string dataHome = EnvOr("XDG_DATA_HOME", home + "/.local/share");
  std::vector<std::string> configDirs{configHome};
  for (const auto& d : SplitColons(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"))) configDirs.push_back(d);
  std::vector<std::string> dataDirs{dataHome};
  for (const auto& d : SplitColons(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))) dataDirs.push_back(d);

  std::vector<std::string> lists;
  for (const auto& d : configDirs) lists.push_back(d + "/mimeapps.list");
  for (const auto& d : dataDirs) lists.push_back(d + "/applications/mimeapps.list");
  for (const auto& d : dataDirs) lists.push_back(d + "/applications/defaults.list");

  for (const auto& list : lists) {
    auto value = KeyFileValue(list, "Default Applications", "text/plain");
    if (!value) continue;
    size_t start = 0;
    while (start < value->size()) {
      size_t semi = value->find(';', start);
      if (semi == std::string::npos) semi = value->size();
      const std::string desktop = Trim(value->substr(start, semi - start));
      start = semi + 1;
      if (desktop.empty() || desktop.find('/') != std::string::npos) continue;
      for (const auto& d : dataDirs) {
        auto exec = KeyFileValue(d + "/applications/" + desktop, "Desktop Entry", "Exec");
        if (!exec) continue;
        auto args = DesktopExecArguments(*exec, file);
        if (!args.empty()) return args;
      }
    }
  }
  return {};
}
