// The ZIP reader behind the archive lister: a small interface, its libzip
// implementation, and the process-wide access that shows the "reader
// missing" message once per run and refuses re-entry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "describe/ArchivePaths.h"

class IUiPort;

// One entry as a listing reports it.
struct ZipEntry {
  std::string name;   // as stored (UTF-8), "/" separators; a directory ends with "/"
  uint64_t size = 0;  // uncompressed
  // Local date and time of the entry, the year in two digits.
  int month = 0, day = 0, year = 0, hour = 0, minute = 0;
  bool isLink = false;  // a symbolic link: listed, never written
};

// What loading a reader found.
enum class ZipReaderState { Ready, NotFound, BadVersion, LoadError };

class IZipReader {
 public:
  virtual ~IZipReader() = default;
  // The library's name for the messages ("Cannot find %1!s!...").
  virtual std::string LibraryName() const = 0;
  // Called once, before the first use.
  virtual ZipReaderState Load() = 0;
  // Every entry in stored order; false (with a reason) when the archive
  // cannot be read or claims more than it holds.
  virtual bool List(const std::string& archive, std::vector<ZipEntry>& entries, std::string& error) = 0;
  // Writes the entry stored under memberPath (compared after SplitMemberPath)
  // directly in dir, under its file name; outPath receives the written path.
  virtual bool ExtractMember(const std::string& archive, const std::string& memberPath, const std::string& dir,
                             std::string& outPath, std::string& error) = 0;
  // Writes every entry below dir, directories recreated.
  virtual bool ExtractAll(const std::string& archive, const std::string& dir, std::string& error) = 0;
};

std::unique_ptr<IZipReader> MakeLibZipReader(const ArchiveLimits& limits = {});

// Seconds since 1970 of a listed entry: the two-digit year is read as 19xx
// above 59 and 20xx otherwise; seconds are 0.
uint32_t ZipEntryTime(const ZipEntry& entry);

// The process-wide ZIP access: one reader, loaded on first use; when it
// cannot be loaded, one message box and ZIP handling is off for the run.
class CZipAccess {
 public:
  CZipAccess();
  ~CZipAccess();
  void SetReader(std::unique_ptr<IZipReader> reader);  // also clears both marks
  void SetUiPort(IUiPort* ui) { ui_ = ui; }

  bool List(const std::string& archive, std::vector<ZipEntry>& entries, std::string& error);
  bool ExtractMember(const std::string& archive, const std::string& memberPath, const std::string& dir,
                     std::string& outPath, std::string& error);
  bool ExtractAll(const std::string& archive, const std::string& dir, std::string& error);

  bool IsUnavailable() const { return unavailable_; }
  bool IsBusy() const { return busy_; }

 private:
  IZipReader* Acquire(std::string& error);
  // Runs body with the reader marked busy; exceptions count as failure.
  bool Call(std::string& error, const std::function<bool(IZipReader&)>& body);

  std::unique_ptr<IZipReader> reader_;
  IUiPort* ui_ = nullptr;
  bool loaded_ = false;
  bool unavailable_ = false;
  bool busy_ = false;
};

CZipAccess& ZipAccess();
