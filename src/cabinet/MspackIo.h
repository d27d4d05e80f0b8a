// The file operations libmspack is given: inputs are files opened by path
// or descriptors already open; the one output goes to a callback, so callers
// decide where decompressed bytes land and how many they accept.
#pragma once

#include <mspack.h>

#include <functional>
#include <string>

class CMspackIo {
 public:
  CMspackIo();
  CMspackIo(const CMspackIo&) = delete;
  CMspackIo& operator=(const CMspackIo&) = delete;

  mspack_system* System() { return &system_.base; }
  // The name libmspack must be given to read an already open descriptor.
  static std::string DescriptorName(int fd);
  // The name libmspack must be given to write to the output callback.
  static const char* OutputName();
  // Receives the decompressed bytes; returns false to refuse them (the
  // decompression then fails with MSPACK_ERR_WRITE).
  std::function<bool(const void* data, size_t length)> output;

 private:
  friend struct CMspackIoAccess;
  struct SystemBlock {
    mspack_system base;  // first, so libmspack's pointer is ours
    CMspackIo* owner;
  };
  SystemBlock system_;
};
