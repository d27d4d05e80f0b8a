#include "describe/ArchivePaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "text/Codepage.h"

std::vector<std::string> SplitMemberPath(std::string_view stored) {
  std::vector<std::string> parts;
  std::string current;
  auto flush = [&] {
    if (!current.empty() && current != "." && current != "..") parts.push_back(current);
    current.clear();
  };
  for (const char c : stored) {
    if (c == '/' || c == '\\') {
      flush();
    } else if (static_cast<unsigned char>(c) >= 0x20) {  // NUL and control bytes never reach a file name
      current += c;
    }
  }
  flush();
  if (!parts.empty()) {
    std::string& first = parts.front();
    const bool drive = first.size() >= 2 && first[1] == ':' &&
                       ((first[0] >= 'A' && first[0] <= 'Z') || (first[0] >= 'a' && first[0] <= 'z'));
    if (drive) {
      first.erase(0, 2);
      if (first.empty() || first == "." || first == "..") parts.erase(parts.begin());
    }
  }
  return parts;
}

std::string JoinMemberPath(const std::vector<std::string>& components, char separator) {
  std::string out;
  for (size_t i = 0; i < components.size(); ++i) {
    if (i) out += separator;
    out += components[i];
  }
  return out;
}

PathMatch MatchMemberPath(const std::vector<std::string>& stored, const std::vector<std::string>& wanted) {
  if (stored.empty() || stored.size() != wanted.size()) return PathMatch::None;
  if (stored == wanted) return PathMatch::Exact;
  for (size_t i = 0; i < stored.size(); ++i)
    if (Utf8Upper(stored[i]) != Utf8Upper(wanted[i])) return PathMatch::None;
  return PathMatch::IgnoringCase;
}

bool IsDirectoryEntryName(std::string_view stored) {
  return !stored.empty() && (stored.back() == '/' || stored.back() == '\\');
}

namespace {

// Makes (or accepts) one real directory; a link in its place is refused.
bool EnsureDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

std::string JoinRoot(const std::string& root, const std::string& name) {
  if (root.empty()) return name;
  return root.back() == '/' ? root + name : root + "/" + name;
}

}  // namespace

bool MakeMemberDirectories(const std::string& root, const std::vector<std::string>& components) {
  std::string path = root;
  for (const std::string& c : components) {
    path = JoinRoot(path, c);
    if (!EnsureDirectory(path)) return false;
  }
  return true;
}

int OpenMemberOutput(const std::string& root, const std::vector<std::string>& components, bool flat,
                     std::string& outPath) {
  if (components.empty()) {
    errno = EINVAL;
    return -1;
  }
  std::string path = root;
  if (!flat) {
    for (size_t i = 0; i + 1 < components.size(); ++i) {
      path = JoinRoot(path, components[i]);
      if (!EnsureDirectory(path)) return -1;
    }
  }
  path = JoinRoot(path, components.back());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  // A file left read-only by an earlier run must still be ours to rewrite and delete.
  ::fchmod(fd, 0644);
  outPath = path;
  return fd;
}

bool HasRoomFor(const std::string& path, uint64_t bytes) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return true;  // cannot tell: the writes will say
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize >= bytes;
}

void SetFileTime(int fd, uint32_t time) {
  if (time == 0) return;
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(time);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  ::futimens(fd, times);
}
