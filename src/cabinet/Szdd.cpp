#include "cabinet/Szdd.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "cabinet/MspackIo.h"

namespace {

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool ReadPlain(int fd, size_t maxBytes, std::string& out) {
  out.clear();
  if (::lseek(fd, 0, SEEK_SET) < 0) return false;
  out.resize(maxBytes);
  size_t done = 0;
  while (done < maxBytes) {
    const ssize_t n = ::read(fd, out.data() + done, maxBytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  out.resize(done);
  return true;
}

}  // namespace

LzReadResult ReadLzFilePrefix(const std::string& path, size_t maxBytes, std::string& out) {
  out.clear();
  Fd file;
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file.fd < 0) return LzReadResult::CannotOpen;

  CMspackIo io;
  msszdd_decompressor* d = mspack_create_szdd_decompressor(io.System());
  if (!d) return LzReadResult::CannotOpen;
  const std::string name = CMspackIo::DescriptorName(file.fd);
  msszddd_header* header = d->open(d, name.c_str());
  if (!header) {
    const int err = d->last_error(d);
    mspack_destroy_szdd_decompressor(d);
    if (err == MSPACK_ERR_SIGNATURE)
      return ReadPlain(file.fd, maxBytes, out) ? LzReadResult::Plain : LzReadResult::CannotOpen;
    return err == MSPACK_ERR_READ || err == MSPACK_ERR_OPEN ? LzReadResult::CannotOpen : LzReadResult::Corrupt;
  }
  bool full = false;
  io.output = [&](const void* data, size_t length) {
    const size_t room = maxBytes - out.size();
    out.append(static_cast<const char*>(data), std::min(room, length));
    if (length > room) full = true;
    return length <= room;  // a full buffer ends the expansion
  };
  const int err = d->extract(d, header, CMspackIo::OutputName());
  d->close(d, header);
  mspack_destroy_szdd_decompressor(d);
  if (err == MSPACK_ERR_OK || (err == MSPACK_ERR_WRITE && full)) return LzReadResult::Expanded;
  return LzReadResult::Corrupt;
}
