#include "ports/TempDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_dir;
pid_t g_owner = 0;  // the process that made g_dir

std::string TempBase() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && tmp[0] == '/' ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

// mkdir fails on anything already there (a planted link included), so a
// fresh random name that mkdir accepts is ours alone.
std::string MakePrivateDirectory() {
  static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string base = TempBase();
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[8];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
      for (auto& r : random) r = static_cast<unsigned char>(std::rand());
    }
    std::string name = "Quolvane";
    for (unsigned char r : random) name += alphabet[r % (sizeof alphabet - 1)];
    std::string path = base + "/" + name + ".tmp";
    if (mkdir(path.c_str(), 0700) == 0) return path;
    if (errno != EEXIST) return {};
  }
  return {};
}

bool IsOurDirectory(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// Removes everything inside the directory open as fd; the directory stays.
bool EmptyDirectoryAt(int fd) {
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  bool ok = true;
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    struct stat st;
    if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      int sub = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) {
        // An unreadable subdirectory of ours: make it readable first.
        fchmodat(dirfd(dir), name, 0700, 0);
        sub = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (sub >= 0) {
        fchmod(sub, 0700);  // entries of a read-only directory cannot be unlinked
        if (!EmptyDirectoryAt(sub)) ok = false;
      }
      if (unlinkat(dirfd(dir), name, AT_REMOVEDIR) != 0) ok = false;
    } else if (unlinkat(dirfd(dir), name, 0) != 0) {
      ok = false;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

bool RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    chmod(path.c_str(), 0700);
    fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd >= 0) {
    fchmod(fd, 0700);
    EmptyDirectoryAt(fd);
  }
  return rmdir(path.c_str()) == 0;
}

// Whatever way the process ends normally, its directory goes with it: a
// command that failed half-way or a program that never reached its exit
// code leaves nothing in $TMPDIR. A forked child that exits leaves it alone.
static void RemoveAtExit() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_dir.empty() && g_owner == getpid()) RemoveTree(g_dir);
  g_dir.clear();
}

std::string TempWorkDirectory() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_dir.empty() || !IsOurDirectory(g_dir)) {
    g_dir = MakePrivateDirectory();
    g_owner = getpid();
    static const bool registered = std::atexit(RemoveAtExit) == 0;
    (void)registered;
  }
  return g_dir;
}

bool ResetTempWorkDirectory() {
  std::string dir = TempWorkDirectory();
  if (dir.empty()) return false;
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  return EmptyDirectoryAt(fd);
}

void RemoveTempWorkDirectory() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_dir.empty()) RemoveTree(g_dir);
  g_dir.clear();
}
