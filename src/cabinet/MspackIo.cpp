#include "cabinet/MspackIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr const char* kDescriptorPrefix = "\x01" "fd:";
constexpr const char* kOutputName = "\x01" "out";

struct IoFile {
  mspack_file base;  // first, so libmspack's pointer is ours
  CMspackIo* owner = nullptr;
  int fd = -1;
  bool owned = false;
  bool writing = false;
};

}  // namespace

struct CMspackIoAccess {
  static mspack_file* Open(mspack_system* self, const char* filename, int mode) {
    CMspackIo* owner = reinterpret_cast<CMspackIo::SystemBlock*>(self)->owner;
    auto* f = new (std::nothrow) IoFile();
    if (!f) return nullptr;
    f->owner = owner;
    const size_t prefixLen = std::strlen(kDescriptorPrefix);
    if (std::strcmp(filename, kOutputName) == 0) {
      if (mode != MSPACK_SYS_OPEN_WRITE || !owner->output) {
        delete f;
        return nullptr;
      }
      f->writing = true;
      return &f->base;
    }
    if (mode != MSPACK_SYS_OPEN_READ) {  // nothing but the output is ever written
      delete f;
      return nullptr;
    }
    if (std::strncmp(filename, kDescriptorPrefix, prefixLen) == 0) {
      f->fd = std::atoi(filename + prefixLen);
    } else {
      f->fd = ::open(filename, O_RDONLY | O_CLOEXEC);
      f->owned = true;
    }
    if (f->fd < 0) {
      delete f;
      return nullptr;
    }
    return &f->base;
  }
};

namespace {

void Close(mspack_file* file) {
  auto* f = reinterpret_cast<IoFile*>(file);
  if (!f) return;
  if (f->owned) ::close(f->fd);
  delete f;
}

int Read(mspack_file* file, void* buffer, int bytes) {
  auto* f = reinterpret_cast<IoFile*>(file);
  if (!f || f->writing || bytes < 0) return -1;
  int total = 0;
  while (total < bytes) {
    const ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + total, static_cast<size_t>(bytes - total));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    total += static_cast<int>(n);
  }
  return total;
}

int Write(mspack_file* file, void* buffer, int bytes) {
  auto* f = reinterpret_cast<IoFile*>(file);
  if (!f || !f->writing || bytes < 0) return -1;
  return f->owner->output(buffer, static_cast<size_t>(bytes)) ? bytes : -1;
}

int Seek(mspack_file* file, off_t offset, int mode) {
  auto* f = reinterpret_cast<IoFile*>(file);
  if (!f || f->writing) return -1;
  const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR : SEEK_END;
  return ::lseek(f->fd, offset, whence) < 0 ? -1 : 0;
}

off_t Tell(mspack_file* file) {
  auto* f = reinterpret_cast<IoFile*>(file);
  if (!f || f->writing) return -1;
  return ::lseek(f->fd, 0, SEEK_CUR);
}

// libmspack's warnings about odd files: the error codes say enough.
void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void Free(void* ptr) { std::free(ptr); }
void Copy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

}  // namespace

CMspackIo::CMspackIo() {
  mspack_system& s = system_.base;
  s.open = CMspackIoAccess::Open;
  s.close = Close;
  s.read = Read;
  s.write = Write;
  s.seek = Seek;
  s.tell = Tell;
  s.message = Message;
  s.alloc = Alloc;
  s.free = Free;
  s.copy = Copy;
  s.null_ptr = nullptr;
  system_.owner = this;
}

std::string CMspackIo::DescriptorName(int fd) { return std::string(kDescriptorPrefix) + std::to_string(fd); }

const char* CMspackIo::OutputName() { return kOutputName; }
