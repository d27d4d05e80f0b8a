#include "ports/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir ? pw->pw_dir : "";
  return {};
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Canonical(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string result = real;
  std::free(real);
  return result;
}

// True for a program of the build tree. Only such a program may read the
// source checkout's data: an installed copy never depends on where it was built.
bool RunsFromBuildTree(const std::string& programDir) {
#ifdef QV_BUILD_DIR
  static const std::string buildDir = Canonical(QV_BUILD_DIR);
  return !buildDir.empty() && Canonical(programDir) == buildDir;
#else
  return false;
#endif
}

// Where data files are looked up, in order.
std::vector<std::string> DataDirectories() {
  std::vector<std::string> dirs;
  const std::string programDir = ProgramDirectory();
  if (programDir.empty()) return dirs;
  dirs.push_back(programDir);
  dirs.push_back(InstalledDataDirectory(programDir));
#ifdef QV_SOURCE_DATA_DIR
  if (RunsFromBuildTree(programDir)) dirs.push_back(QV_SOURCE_DATA_DIR);
#endif
  return dirs;
}

std::string FindDataFile(const std::string& name) {
  for (const auto& dir : DataDirectories())
    if (IsFile(dir + "/" + name)) return dir + "/" + name;
  return {};
}

}  // namespace

std::string ProgramDirectory() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) {
      std::string exe(buf.data(), static_cast<size_t>(n));
      size_t slash = exe.rfind('/');
      if (slash == std::string::npos) return {};
      return slash == 0 ? "/" : exe.substr(0, slash);
    }
    if (buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

std::string InstalledDataDirectory(const std::string& programDir) {
  // bin/quolvane and share/quolvane/ under one prefix, whichever it is.
  const size_t slash = programDir.find_last_of('/');
  const std::string prefix = slash == std::string::npos || slash == 0 ? std::string() : programDir.substr(0, slash);
  return prefix + "/share/quolvane";
}

std::string LanguageFilesDirectory() {
  for (const auto& dir : DataDirectories())
    if (IsDirectory(dir + "/lang")) return dir + "/lang";
  return {};
}

std::string SettingsFilePath(const std::string& cliOverride) {
  if (!cliOverride.empty()) return cliOverride;
  if (const char* env = std::getenv("QUOLVANE_SETTINGS"); env && *env) return env;
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    std::string home = HomeDirectory();
    base = (home.empty() ? std::string(".") : home) + "/.config";
  }
  return base + "/Quolvane/Quolvane.ini";
}

std::string ApplisDatPath() {
  std::string found = FindDataFile("Applis.dat");
  if (!found.empty()) return found;
  std::string programDir = ProgramDirectory();
  return (programDir.empty() ? std::string(".") : programDir) + "/Applis.dat";
}

std::string HelpFilePath() { return FindDataFile("Quolvane.chm"); }

int HelpContextOf(int dialogTemplate) {
  static const int table[][2] = {{192, 1}, {136, 2}, {197, 3}, {179, 4},  {193, 5}, {168, 6},
                                 {183, 7}, {182, 8}, {138, 9}, {140, 10}, {146, 11}};
  for (const auto& row : table)
    if (row[0] == dialogTemplate) return row[1];
  return 0;
}

std::string HelpPageOf(int context) {
  static const char* const pages[] = {"index.html",        "media-list.html",  "file-description.html",
                                      "new-media.html",    "refresh.html",     "search.html",
                                      "properties.html",   "description.html", "application.html",
                                      "printing.html",     "filter-list.html", "filter.html"};
  return context >= 0 && context < 12 ? pages[context] : pages[0];
}

std::string HelpPagePath(const std::string& page, bool french) {
  return FindDataFile(std::string("help/") + (french ? "fr/" : "en/") + page);
}
