#include "catalog/CatalogLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

CCatalogLock::~CCatalogLock() { Unlock(); }

bool CCatalogLock::Lock(const std::string& path, int waitMs, std::string* error) {
  Unlock();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    Unlock();
    return false;
  };
  for (;;) {
    created_ = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST) continue;  // another program made it first
      created_ = fd >= 0;
    }
    if (fd < 0) return fail(std::strerror(errno));
    fd_ = fd;
    path_ = path;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return fail(std::strerror(errno));
      if (std::chrono::steady_clock::now() >= deadline)
        return fail("another program is changing this catalog; try again when it has finished");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The holder may have saved meanwhile: the path then names a new file,
    // and the lock on the old one guards nothing.
    struct stat held {}, now {};
    if (::fstat(fd_, &held) == 0 && ::stat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino)
      return true;
    created_ = false;
    ::close(fd_);
    fd_ = -1;
  }
}

void CCatalogLock::Unlock() {
  if (fd_ < 0) return;
  // A file made only to be locked, never written, goes away again.
  struct stat st {};
  if (created_ && ::fstat(fd_, &st) == 0 && st.st_size == 0) {
    struct stat now {};
    if (::stat(path_.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev)
      ::unlink(path_.c_str());
  }
  ::close(fd_);  // releases the lock
  fd_ = -1;
  created_ = false;
}

CatalogFileStamp CatalogFileStamp::Of(const std::string& path) {
  CatalogFileStamp stamp;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return stamp;
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    stamp.exists = true;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    std::vector<unsigned char> head(64 * 1024);
    ssize_t got;
    do {
      got = ::pread(fd, head.data(), head.size(), 0);
    } while (got < 0 && errno == EINTR);
    uLong crc = crc32(0L, Z_NULL, 0);
    if (got > 0) crc = crc32(crc, head.data(), static_cast<uInt>(got));
    stamp.headCrc = static_cast<uint32_t>(crc);
  }
  ::close(fd);
  return stamp;
}
