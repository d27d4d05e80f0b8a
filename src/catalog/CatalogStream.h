// The catalog stream: the byte format of catalog files (.QVD) and of the
// clipboard. Versions 0 to 4 are read; version 4 is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalog/FileItemList.h"

class IProgressSink;

constexpr int32_t CATALOG_VERSION = 4;
// Plain bytes of one compressed block stay below this.
constexpr size_t CATALOG_BLOCK_LIMIT = 0x80000;

// A failed read or write. key is the message key of the caption
// (IDS_FILEREADERROR, IDS_FILEWRITEERROR or IDS_MEMERROR); what() is the
// system's own text ("unexpected end of file", strerror, ...).
class CCatalogException : public std::runtime_error {
 public:
  CCatalogException(std::string key, const std::string& systemText)
      : std::runtime_error(systemText), key(std::move(key)) {}
  std::string key;
};

enum class CatalogReadResult {
  Ok,
  TooRecent,  // version above 4: nothing read, list unchanged (IDS_TOORECENTFILE)
};

// Where a stream is read from. Read returns fewer bytes than asked only at
// the end; failures throw CCatalogException.
class ICatalogSource {
 public:
  virtual ~ICatalogSource() = default;
  virtual size_t Read(uint8_t* dst, size_t n) = 0;
  // Bytes left to read when known (files, memory), so that counts in the
  // stream can be checked before anything is allocated for them.
  virtual std::optional<uint64_t> Remaining() const { return std::nullopt; }
};

// Where a stream is written to. Failures throw CCatalogException.
class ICatalogSink {
 public:
  virtual ~ICatalogSink() = default;
  virtual void Write(const uint8_t* data, size_t n) = 0;
};

class CMemorySource : public ICatalogSource {
 public:
  CMemorySource(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), left_(size) {}
  size_t Read(uint8_t* dst, size_t n) override;
  std::optional<uint64_t> Remaining() const override { return left_; }

 private:
  const uint8_t* p_;
  size_t left_;
};

class CMemorySink : public ICatalogSink {
 public:
  void Write(const uint8_t* data, size_t n) override { bytes.insert(bytes.end(), data, data + n); }
  std::vector<uint8_t> bytes;
};

// Appends the stream's items to list (nothing is changed unless the whole
// stream reads) and sets list.fileVersion to the version read. progressText
// is shown by the progress sink when one is given.
CatalogReadResult ReadCatalog(CFileItemList& list, ICatalogSource& source, IProgressSink* progress = nullptr,
                              const std::string& progressText = {});
CatalogReadResult ReadCatalogFromMemory(CFileItemList& list, const void* data, size_t size);
// Reads a catalog file into list (appending; callers opening a file pass an
// empty list). Progress shows the text of IDS_LOADINGFILE with the path.
CatalogReadResult LoadCatalogFile(CFileItemList& list, const std::string& path, IProgressSink* progress = nullptr);

// What a damaged stream still holds.
struct CatalogRecovery {
  size_t kept = 0;         // items read before the damage
  uint32_t announced = 0;  // items the stream's header announces
  bool damaged = false;
  uint64_t damageOffset = 0;  // stream offset of the block or item where reading failed
  uint32_t damagedBlock = 0;  // that block's number from 1; 0 when not in a block
  std::string reason;         // the reader's own text for the damage
  bool tooRecent = false;     // a newer version: nothing read
};
// Reads every item that can be read before the stream's damage (a
// truncated, corrupt or inconsistent part) and appends them to list, a
// prefix of the catalog that is itself a valid catalog. A header whose
// version or counts are damaged is read past: the blocks after it are read
// as version 4 when that keeps more. Unlike ReadCatalog it does not throw
// for damage.
CatalogRecovery RecoverCatalog(CFileItemList& list, ICatalogSource& source);
// The same on a file; throws CCatalogException when it cannot be opened.
CatalogRecovery RecoverCatalogFile(CFileItemList& list, const std::string& path);

// Writes every item of list as a version-4 stream; list.fileVersion becomes 4.
void WriteCatalog(CFileItemList& list, ICatalogSink& sink, IProgressSink* progress = nullptr,
                  const std::string& progressText = {});
std::vector<uint8_t> WriteCatalogToMemory(CFileItemList& list);
// Writes item `index` (a media) and its subtree, as the clipboard carries it.
void WriteMediaSubtree(const CFileItemList& list, size_t index, ICatalogSink& sink);
std::vector<uint8_t> WriteMediaSubtreeToMemory(const CFileItemList& list, size_t index);
// Why a save to path would fail for want of rights, "" when it would not:
// the path is a directory, the file is marked read-only or cannot be
// written, or its directory takes no new file.
std::string CatalogWriteProblem(const std::string& path);
// Throws the write error (IDS_FILEWRITEERROR) with that reason.
void CheckCatalogWritable(const std::string& path);
// Saves list into a catalog file. The file is written beside the target and
// renamed over it at the end, so a failed save leaves the old file intact;
// a file that CheckCatalogWritable refuses is left as it is.
// Progress shows the text of IDS_WRITINGFILE with the path.
void SaveCatalogFile(CFileItemList& list, const std::string& path, IProgressSink* progress = nullptr);
