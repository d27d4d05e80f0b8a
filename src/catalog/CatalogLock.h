// Guards of a catalog file on disk against lost writes: the advisory lock of
// a read-change-write, and the stamp that tells whether another program
// replaced the file since it was read.
#pragma once

#include <cstdint>
#include <string>

// An exclusive advisory lock (flock) on a catalog file, held from before it
// is read until after it is saved, so that two programs changing one
// catalog take turns. A save replaces the file by a new one: the lock is
// taken again whenever the path has come to name another file meanwhile.
class CCatalogLock {
 public:
  CCatalogLock() = default;
  ~CCatalogLock();
  CCatalogLock(const CCatalogLock&) = delete;
  CCatalogLock& operator=(const CCatalogLock&) = delete;

  // Locks path, waiting up to waitMs while another program holds it. A
  // missing file is created empty for the time of the lock (and removed
  // again when nothing was written into it). False with *error (the
  // system's text, or that another program holds the lock) otherwise.
  bool Lock(const std::string& path, int waitMs, std::string* error);
  void Unlock();
  bool Locked() const { return fd_ >= 0; }
  // The file was missing and this lock made it: empty, yet no one's catalog.
  bool Created() const { return fd_ >= 0 && created_; }

 private:
  int fd_ = -1;
  std::string path_;
  bool created_ = false;
};

// What identifies the contents of a catalog file without reading it whole:
// size, modification time and a checksum of its first 64 KiB.
struct CatalogFileStamp {
  bool exists = false;
  uint64_t size = 0;
  int64_t mtimeNs = 0;
  uint32_t headCrc = 0;

  static CatalogFileStamp Of(const std::string& path);
  bool operator==(const CatalogFileStamp&) const = default;
};
