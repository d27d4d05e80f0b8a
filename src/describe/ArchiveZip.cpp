#include "describe/ArchiveZip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "cabinet/Cabinet.h"
#include "i18n/Translator.h"
#include "ports/UiPort.h"

namespace {

uint32_t Get16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Get32(const unsigned char* p) { return Get16(p) | (Get16(p + 2) << 16); }
uint64_t Get64(const unsigned char* p) { return Get32(p) | (uint64_t(Get32(p + 4)) << 32); }

constexpr uint64_t kCentralEntryMin = 46;  // fixed part of one central directory record
constexpr size_t kEocdLength = 22;
constexpr size_t kEocdSearch = kEocdLength + 0xFFFF;  // record plus the longest comment
constexpr size_t kLocatorLength = 20;
constexpr size_t kEocd64Length = 56;

bool ReadAt(int fd, uint64_t offset, unsigned char* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

std::string ArchiveErrorText(zip_t* za) { return zip_error_strerror(zip_get_error(za)); }

// An open archive, closed without writing anything back.
struct ZipHandle {
  zip_t* za = nullptr;
  ~ZipHandle() {
    if (za) zip_discard(za);
  }
};

struct ZipFileHandle {
  zip_file_t* zf = nullptr;
  ~ZipFileHandle() {
    if (zf) zip_fclose(zf);
  }
};

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool IsLinkEntry(zip_t* za, zip_uint64_t index) {
  zip_uint8_t opsys = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0) return false;
  return opsys == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

class CLibZipReader : public IZipReader {
 public:
  explicit CLibZipReader(const ArchiveLimits& limits) : limits_(limits) {}

  std::string LibraryName() const override { return std::string("libzip ") + zip_libzip_version(); }
  ZipReaderState Load() override { return ZipReaderState::Ready; }

  bool List(const std::string& archive, std::vector<ZipEntry>& entries, std::string& error) override {
    entries.clear();
    ZipHandle h;
    if (!Open(archive, h, error)) return false;
    const zip_int64_t count = zip_get_num_entries(h.za, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      zip_stat_t st;
      zip_stat_init(&st);
      if (zip_stat_index(h.za, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
        error = ArchiveErrorText(h.za);
        return false;
      }
      ZipEntry e;
      e.name = st.name;
      e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
      if (st.valid & ZIP_STAT_MTIME) {
        std::tm tm{};
        const time_t t = st.mtime;
        if (localtime_r(&t, &tm)) {
          e.month = tm.tm_mon + 1;
          e.day = tm.tm_mday;
          e.year = tm.tm_year % 100;
          e.hour = tm.tm_hour;
          e.minute = tm.tm_min;
        }
      }
      e.isLink = IsLinkEntry(h.za, static_cast<zip_uint64_t>(i));
      entries.push_back(std::move(e));
    }
    return true;
  }

  bool ExtractMember(const std::string& archive, const std::string& memberPath, const std::string& dir,
                     std::string& outPath, std::string& error) override {
    ZipHandle h;
    if (!Open(archive, h, error)) return false;
    const std::vector<std::string> wanted = SplitMemberPath(memberPath);
    if (wanted.empty()) {
      error = "empty member name";
      return false;
    }
    zip_int64_t index = zip_name_locate(h.za, memberPath.c_str(), 0);
    if (index < 0 || MatchMemberPath(SplitMemberPath(zip_get_name(h.za, static_cast<zip_uint64_t>(index), 0)),
                                     wanted) != PathMatch::Exact) {
      // Stored names cleaned for the catalog ("../x", "C:\x") or stored under
      // another case than their catalogued directory: the exact one first.
      index = -1;
      zip_int64_t looseIndex = -1;
      const zip_int64_t count = zip_get_num_entries(h.za, 0);
      for (zip_int64_t i = 0; i < count && index < 0; ++i) {
        const char* name = zip_get_name(h.za, static_cast<zip_uint64_t>(i), 0);
        if (!name || IsDirectoryEntryName(name)) continue;
        const PathMatch match = MatchMemberPath(SplitMemberPath(name), wanted);
        if (match == PathMatch::Exact) index = i;
        if (match == PathMatch::IgnoringCase && looseIndex < 0) looseIndex = i;
      }
      if (index < 0) index = looseIndex;
    }
    if (index < 0) {
      error = "no member " + memberPath;
      return false;
    }
    uint64_t total = 0;
    return WriteEntry(h.za, static_cast<zip_uint64_t>(index), dir, {wanted.back()}, outPath, total, error);
  }

  bool ExtractAll(const std::string& archive, const std::string& dir, std::string& error) override {
    ZipHandle h;
    if (!Open(archive, h, error)) return false;
    const zip_int64_t count = zip_get_num_entries(h.za, 0);
    uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
      const char* name = zip_get_name(h.za, static_cast<zip_uint64_t>(i), 0);
      if (!name) {
        error = ArchiveErrorText(h.za);
        return false;
      }
      const std::vector<std::string> parts = SplitMemberPath(name);
      if (parts.empty() || IsLinkEntry(h.za, static_cast<zip_uint64_t>(i))) continue;
      if (IsDirectoryEntryName(name)) {
        if (!MakeMemberDirectories(dir, parts)) {
          error = std::string(std::strerror(errno)) + ": " + name;
          return false;
        }
        continue;
      }
      std::string written;
      if (!WriteEntry(h.za, static_cast<zip_uint64_t>(i), dir, parts, written, total, error)) return false;
    }
    return true;
  }

 private:
  bool Open(const std::string& archive, ZipHandle& h, std::string& error) {
    Fd fd;
    fd.fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd.fd < 0) {
      error = std::strerror(errno);
      return false;
    }
    struct stat st {};
    if (::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      error = "not a regular file";
      return false;
    }
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    const uint64_t tailOffset = fileSize > kEocdSearch ? fileSize - kEocdSearch : 0;
    std::vector<unsigned char> tail(static_cast<size_t>(fileSize - tailOffset));
    if (!ReadAt(fd.fd, tailOffset, tail.data(), tail.size())) {
      error = std::strerror(errno ? errno : EIO);
      return false;
    }
    if (!Zip64DirectoriesArePlausible(fd.fd, tail, fileSize)) {
      error = "the central directory claims more than the archive holds";
      return false;
    }
    int code = 0;
    h.za = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (!h.za) {
      error = ZipErrorText(code);
      return false;
    }
    const zip_int64_t count = zip_get_num_entries(h.za, 0);
    if (count < 0 || static_cast<uint64_t>(count) > fileSize / kCentralEntryMin) {
      error = "the central directory claims more than the archive holds";
      return false;
    }
    return true;
  }

  // The 64-bit records the classic check cannot see: each locator found in
  // the tail points at a record whose counts must fit too.
  bool Zip64DirectoriesArePlausible(int fd, const std::vector<unsigned char>& tail, uint64_t fileSize) {
    for (size_t p = 0; p + kLocatorLength <= tail.size(); ++p) {
      if (std::memcmp(&tail[p], "PK\x06\x07", 4) != 0) continue;
      const uint64_t recordOffset = Get64(&tail[p + 8]);
      if (recordOffset > fileSize || fileSize - recordOffset < kEocd64Length) continue;  // libzip refuses these
      unsigned char record[kEocd64Length];
      if (!ReadAt(fd, recordOffset, record, sizeof record)) return false;
      if (std::memcmp(record, "PK\x06\x06", 4) != 0) continue;
      const uint64_t entries = Get64(record + 32);
      const uint64_t cdSize = Get64(record + 40);
      const uint64_t cdOffset = Get64(record + 48);
      if (cdSize > fileSize || cdOffset > fileSize - cdSize) return false;
      if (entries > cdSize / kCentralEntryMin) return false;
    }
    return true;
  }

  bool WriteEntry(zip_t* za, zip_uint64_t index, const std::string& dir, const std::vector<std::string>& parts,
                  std::string& outPath, uint64_t& total, std::string& error) {
    if (IsLinkEntry(za, index)) {
      error = "a link is not extracted";
      return false;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
      error = ArchiveErrorText(za);
      return false;
    }
    const uint64_t declared = st.size;
    if (declared > limits_.maxMemberBytes || total + declared > limits_.maxTotalBytes) {
      error = "member too large to extract";
      return false;
    }
    if (!HasRoomFor(dir, declared)) {
      error = std::strerror(ENOSPC);
      return false;
    }
    ZipFileHandle zf;
    zf.zf = zip_fopen_index(za, index, 0);
    if (!zf.zf) {
      error = ArchiveErrorText(za);
      return false;
    }
    Fd out;
    out.fd = OpenMemberOutput(dir, parts, false, outPath);
    if (out.fd < 0) {
      error = std::string(std::strerror(errno)) + ": " + JoinMemberPath(parts);
      return false;
    }
    // A member that fails half-way leaves nothing behind.
    struct PartialFile {
      const std::string& path;
      bool keep = false;
      ~PartialFile() {
        if (!keep) ::unlink(path.c_str());
      }
    } partial{outPath};
    std::vector<char> buffer(64 * 1024);
    uint64_t written = 0;
    for (;;) {
      const zip_int64_t n = zip_fread(zf.zf, buffer.data(), buffer.size());
      if (n < 0) {
        error = zip_error_strerror(zip_file_get_error(zf.zf));
        return false;
      }
      if (n == 0) break;
      written += static_cast<uint64_t>(n);
      // The stream may hold more than the entry declared: never write past it.
      if (written > declared) {
        error = "member larger than declared";
        return false;
      }
      for (zip_int64_t done = 0; done < n;) {
        const ssize_t w = ::write(out.fd, buffer.data() + done, static_cast<size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          error = std::strerror(errno ? errno : EIO);
          return false;
        }
        done += w;
      }
    }
    total += written;
    if (st.valid & ZIP_STAT_MTIME) {
      const time_t t = st.mtime;
      if (t > 0 && t <= static_cast<time_t>(UINT32_MAX)) SetFileTime(out.fd, static_cast<uint32_t>(t));
    }
    partial.keep = true;
    return true;
  }

  ArchiveLimits limits_;
};

}  // namespace

std::unique_ptr<IZipReader> MakeLibZipReader(const ArchiveLimits& limits) {
  return std::make_unique<CLibZipReader>(limits);
}

uint32_t ZipEntryTime(const ZipEntry& entry) {
  const int year = entry.year > 59 ? entry.year + 1900 : entry.year + 2000;
  return LocalCalendarTime(year, entry.month, entry.day, entry.hour, entry.minute, 0);
}

CZipAccess::CZipAccess() = default;
CZipAccess::~CZipAccess() = default;

void CZipAccess::SetReader(std::unique_ptr<IZipReader> reader) {
  reader_ = std::move(reader);
  loaded_ = unavailable_ = busy_ = false;
}

IZipReader* CZipAccess::Acquire(std::string& error) {
  if (unavailable_) {
    error = "no ZIP reader";
    return nullptr;
  }
  if (busy_) {
    error = "the ZIP reader is busy";
    return nullptr;
  }
  if (!loaded_) {
    if (!reader_) reader_ = MakeLibZipReader();
    const ZipReaderState state = reader_->Load();
    loaded_ = true;
    if (state != ZipReaderState::Ready) {
      const char* key = state == ZipReaderState::NotFound     ? "IDS_CANNOTFINDUNZIP"
                         : state == ZipReaderState::BadVersion ? "IDS_UNZIPBADVERSION"
                                                                : "IDS_LOADERROR";
      unavailable_ = true;
      if (ui_) ui_->MessageBox(FormatInserts(Translate(key), {reader_->LibraryName()}), Translate("IDS_ERROR"), MB_OK | MB_ICONERROR);
      error = "no ZIP reader";
      return nullptr;
    }
  }
  busy_ = true;
  return reader_.get();
}

bool CZipAccess::Call(std::string& error, const std::function<bool(IZipReader&)>& body) {
  IZipReader* reader = Acquire(error);
  if (!reader) return false;
  struct BusyGuard {
    bool& busy;
    ~BusyGuard() { busy = false; }
  } guard{busy_};
  try {
    return body(*reader);
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

bool CZipAccess::List(const std::string& archive, std::vector<ZipEntry>& entries, std::string& error) {
  return Call(error, [&](IZipReader& r) { return r.List(archive, entries, error); });
}

bool CZipAccess::ExtractMember(const std::string& archive, const std::string& memberPath, const std::string& dir,
                               std::string& outPath, std::string& error) {
  return Call(error, [&](IZipReader& r) { return r.ExtractMember(archive, memberPath, dir, outPath, error); });
}

bool CZipAccess::ExtractAll(const std::string& archive, const std::string& dir, std::string& error) {
  return Call(error, [&](IZipReader& r) { return r.ExtractAll(archive, dir, error); });
}

CZipAccess& ZipAccess() {
  static CZipAccess access;
  return access;
}
