#include "describe/FileAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::optional<std::string> UnreadableReason(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::string(std::strerror(errno));
  // Opening is not reading: a directory opens, and a failing medium often
  // answers only when its first block is asked for.
  char byte;
  ssize_t n;
  do {
    n = ::read(fd, &byte, 1);
  } while (n < 0 && errno == EINTR);
  const int error = n < 0 && errno != EAGAIN ? errno : 0;
  ::close(fd);
  if (error != 0) return std::string(std::strerror(error));
  return std::nullopt;
}

std::string UnreadableLine(const std::string& path, const std::string& reason) { return path + " : " + reason; }
