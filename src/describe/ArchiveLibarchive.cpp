#include "describe/ArchiveLibarchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <memory>

#include "catalog/FileItem.h"
#include "text/Codepage.h"

namespace {

ArchiveLimits g_limits;

// Longer stored paths than this cannot be a file on any system we write to.
constexpr size_t kMaxStoredPath = 4096;

bool EndsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* const kSingleSuffixes[] = {".gz", ".bz2", ".xz", ".zst", ".lz", ".lzma", ".z"};

// The member name of a single compressed file: the file's name less its
// compression suffix ("notes.txt.gz" -> "notes.txt").
std::string SingleMemberName(const std::string& archivePath) {
  const std::string base = BaseName(archivePath);
  const std::string lower = AsciiLower(base);
  for (const char* suffix : kSingleSuffixes)
    if (EndsWith(lower, suffix) && base.size() > std::strlen(suffix)) return base.substr(0, base.size() - std::strlen(suffix));
  return base;
}

// The inflater of gzip-compressed tars. libarchive's own drops the output
// it holds when the input ends early, so a truncated .tar.gz would list
// nothing; this one hands over every byte that inflates, and the tar reader
// then stops at the first incomplete member.
class GzipSource {
 public:
  ~GzipSource() {
    if (started_) inflateEnd(&zs_);
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const std::string& path, std::string& error) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 || inflateInit2(&zs_, 15 + 16) != Z_OK) {
      error = std::strerror(fd_ < 0 ? errno : ENOMEM);
      return false;
    }
    started_ = true;
    return true;
  }
  // Why the compressed data ended early; "" when it ended well.
  const std::string& Damage() const { return damage_; }

  static la_ssize_t Read(archive*, void* client, const void** buffer) {
    return static_cast<GzipSource*>(client)->Next(buffer);
  }

 private:
  bool Refill() {
    for (;;) {
      const ssize_t n = ::read(fd_, in_.data(), in_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) damage_ = std::strerror(errno);
      if (n <= 0) return false;
      zs_.next_in = in_.data();
      zs_.avail_in = static_cast<uInt>(n);
      return true;
    }
  }

  la_ssize_t Next(const void** buffer) {
    *buffer = out_.data();
    zs_.next_out = out_.data();
    zs_.avail_out = static_cast<uInt>(out_.size());
    while (!end_ && zs_.avail_out == out_.size()) {
      if (zs_.avail_in == 0 && !Refill()) {
        if (!boundary_ && damage_.empty()) damage_ = "truncated gzip input";
        end_ = true;
        break;
      }
      // Another member may follow a finished one; anything else (padding) ends the data.
      if (boundary_) {
        if (zs_.next_in[0] != 0x1F) {
          end_ = true;
          break;
        }
        inflateReset(&zs_);
        boundary_ = false;
      }
      const int r = inflate(&zs_, Z_NO_FLUSH);
      if (r == Z_STREAM_END) {
        boundary_ = true;
      } else if (r != Z_OK && r != Z_BUF_ERROR) {
        damage_ = zs_.msg ? zs_.msg : "damaged gzip data";
        end_ = true;
      }
    }
    return static_cast<la_ssize_t>(out_.size() - zs_.avail_out);
  }

  int fd_ = -1;
  z_stream zs_{};
  bool started_ = false, boundary_ = false, end_ = false;
  std::string damage_;
  std::vector<unsigned char> in_ = std::vector<unsigned char>(64 * 1024);
  std::vector<unsigned char> out_ = std::vector<unsigned char>(64 * 1024);
};

struct ReadHandle {
  archive* a = nullptr;
  std::unique_ptr<GzipSource> gzip;
  ~ReadHandle() {
    if (a) archive_read_free(a);
  }
  // The cause of an early end: the inflater's when it saw one.
  std::string Damage(const char* fallback) const {
    if (gzip && !gzip->Damage().empty()) return gzip->Damage();
    const char* why = a ? archive_error_string(a) : nullptr;
    return why && *why ? why : fallback;
  }
};

bool StartsWithGzip(const std::string& path) {
  unsigned char magic[2] = {0, 0};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool gzip = ::read(fd, magic, 2) == 2 && magic[0] == 0x1F && magic[1] == 0x8B;
  ::close(fd);
  return gzip;
}

// Only the filters that decompress in the process: the "program" ones would
// start external tools on untrusted data.
void SupportFilters(archive* a) {
  archive_read_support_filter_gzip(a);
  archive_read_support_filter_bzip2(a);
  archive_read_support_filter_xz(a);
  archive_read_support_filter_lzma(a);
  archive_read_support_filter_lzip(a);
  archive_read_support_filter_zstd(a);
  archive_read_support_filter_compress(a);
  archive_read_support_filter_lz4(a);
}

// An archive opened for reading with the formats its name announces, so
// that a text file is never taken for some other archive kind.
bool OpenArchive(const std::string& path, LibarchiveKind kind, ReadHandle& h, std::string& error) {
  h.a = archive_read_new();
  if (!h.a) {
    error = std::strerror(ENOMEM);
    return false;
  }
  SupportFilters(h.a);
  switch (kind) {
    case LibarchiveKind::Tar:
      archive_read_support_format_tar(h.a);
      archive_read_support_format_gnutar(h.a);
      break;
    case LibarchiveKind::SevenZip:
      archive_read_support_format_7zip(h.a);
      break;
    case LibarchiveKind::Rar:
      archive_read_support_format_rar(h.a);
      archive_read_support_format_rar5(h.a);
      break;
    case LibarchiveKind::Iso:
      archive_read_support_format_iso9660(h.a);
      break;
    case LibarchiveKind::Cpio:
      archive_read_support_format_cpio(h.a);
      break;
    case LibarchiveKind::SingleFile:
      archive_read_support_format_raw(h.a);
      break;
    case LibarchiveKind::None:
      error = "not an archive libarchive reads";
      return false;
  }
  if (kind == LibarchiveKind::Tar && StartsWithGzip(path)) {
    h.gzip = std::make_unique<GzipSource>();
    if (!h.gzip->Open(path, error)) return false;
    if (archive_read_open(h.a, h.gzip.get(), nullptr, GzipSource::Read, nullptr) != ARCHIVE_OK) {
      error = h.Damage("not a tar archive");
      return false;
    }
    return true;
  }
  if (archive_read_open_filename(h.a, path.c_str(), 64 * 1024) != ARCHIVE_OK) {
    const char* why = archive_error_string(h.a);
    error = why ? why : "cannot open the archive";
    return false;
  }
  return true;
}

std::string ErrorOf(archive* a, const char* fallback) {
  const char* why = archive_error_string(a);
  return why && *why ? why : fallback;
}

// The stored path of an entry as UTF-8: the wide conversion when the
// archive's character set is known, else the raw bytes made valid.
std::string EntryPath(archive_entry* entry) {
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) return utf8;
  const char* raw = archive_entry_pathname(entry);
  return raw ? SanitizeUtf8(raw) : std::string();
}

uint32_t EntryAttributes(archive_entry* entry, const std::string& path) {
  uint32_t a = 0;
  const std::vector<std::string> parts = SplitMemberPath(path);
  if (!parts.empty() && parts.back()[0] == '.') a |= WIN32_ATTR_HIDDEN;
  // No permission bits at all means the format stores none.
  const mode_t perm = archive_entry_perm(entry);
  if (perm != 0 && (perm & 0222) == 0) a |= WIN32_ATTR_READONLY;
  return a;
}

uint32_t ClampTime(archive_entry* entry) {
  if (!archive_entry_mtime_is_set(entry)) return 0;
  const la_int64_t t = archive_entry_mtime(entry);
  if (t <= 0) return 0;
  return t > static_cast<la_int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(t);
}

uint32_t Clamp32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }

// Uncompressed size of a gzip file as its trailer gives it (modulo 4 GiB,
// as gzip -l reads it): listing a large backup need not inflate it.
bool GzipTrailerSize(const std::string& path, uint64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  unsigned char head[2] = {0, 0}, tail[4];
  const bool ok = ::fstat(fd, &st) == 0 && st.st_size >= 18 && ::pread(fd, head, 2, 0) == 2 && head[0] == 0x1F &&
                  head[1] == 0x8B && ::pread(fd, tail, 4, st.st_size - 4) == 4;
  ::close(fd);
  if (!ok) return false;
  size = tail[0] | (tail[1] << 8) | (tail[2] << 16) | (uint64_t(tail[3]) << 24);
  return true;
}

// Uncompressed size of a one-stream .xz file from its index, which lists
// every block's sizes; false for anything else (several streams, padding,
// damage), which is then inflated and counted.
bool XzIndexSize(const std::string& path, uint64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  unsigned char footer[12];
  if (::fstat(fd, &st) != 0 || st.st_size < 32 || ::pread(fd, footer, 12, st.st_size - 12) != 12 ||
      footer[10] != 'Y' || footer[11] != 'Z')
    return false;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  const uint64_t indexSize = (uint64_t{footer[4]} | (uint64_t{footer[5]} << 8) | (uint64_t{footer[6]} << 16) |
                              (uint64_t{footer[7]} << 24)) * 4 + 4;
  if (indexSize > fileSize - 24 || indexSize > (uint64_t{16} << 20)) return false;
  std::vector<unsigned char> index(static_cast<size_t>(indexSize));
  if (::pread(fd, index.data(), index.size(), static_cast<off_t>(fileSize - 12 - indexSize)) !=
      static_cast<ssize_t>(index.size()) || index[0] != 0)
    return false;
  size_t pos = 1;
  auto varint = [&](uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 63 && pos < index.size(); shift += 7) {
      const unsigned char b = index[pos++];
      v |= uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  };
  uint64_t records = 0, blocks = 0, total = 0;
  if (!varint(records) || records > index.size()) return false;
  for (uint64_t r = 0; r < records; ++r) {
    uint64_t unpadded = 0, uncompressed = 0;
    if (!varint(unpadded) || !varint(uncompressed) || unpadded > fileSize) return false;
    blocks += (unpadded + 3) / 4 * 4;
    total += uncompressed;
    if (blocks > fileSize || total < uncompressed) return false;
  }
  // Header, blocks, index and footer must make the whole file: one stream.
  if (12 + blocks + indexSize + 12 != fileSize) return false;
  size = total;
  return true;
}

bool IsSingleGzip(const std::string& path) {
  const std::string lower = AsciiLower(path);
  return EndsWith(lower, ".gz") || EndsWith(lower, ".z");
}

// The one member of a single compressed file: its size is what the data
// inflates to (from the gzip trailer or the xz index when there is one),
// its time the file's.
bool ListSingleFile(const std::string& path, ReadHandle& h, LibarchiveListing& listing, std::string& error) {
  archive_entry* entry = nullptr;
  const int r = archive_read_next_header(h.a, &entry);
  if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
    error = ErrorOf(h.a, "not a compressed file");
    return false;
  }
  ArchiveMember m;
  m.storedName = SingleMemberName(path);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && st.st_mtime > 0) m.time = Clamp32(static_cast<uint64_t>(st.st_mtime));
  uint64_t size = 0;
  if ((IsSingleGzip(path) && GzipTrailerSize(path, size)) ||
      (EndsWith(AsciiLower(path), ".xz") && XzIndexSize(path, size))) {
    // The first block proves that the data really inflates.
    char probe[512];
    if (archive_read_data(h.a, probe, sizeof probe) < 0) {
      error = ErrorOf(h.a, "damaged compressed data");
      return false;
    }
  } else {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      const la_ssize_t n = archive_read_data(h.a, buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        listing.damage = ErrorOf(h.a, "damaged compressed data");
        if (size == 0) {
          error = listing.damage;
          return false;
        }
        break;
      }
      size += static_cast<uint64_t>(n);
      // A catalog size holds 32 bits; a bomb need not be inflated to its end.
      if (size > std::min<uint64_t>(UINT32_MAX, g_limits.maxTotalBytes)) {
        size = UINT32_MAX;
        break;
      }
    }
  }
  m.size = Clamp32(size);
  listing.members.push_back(std::move(m));
  return true;
}

// Header encryption gives no names at all; libarchive says so in its
// error text only.
bool SaysEncrypted(archive* a) {
  const char* why = archive_error_string(a);
  if (!why) return false;
  const std::string text = AsciiLower(why);
  return text.find("encrypt") != std::string::npos || text.find("password") != std::string::npos;
}

}  // namespace

void SetLibarchiveLimits(const ArchiveLimits& limits) { g_limits = limits; }
const ArchiveLimits& LibarchiveLimits() { return g_limits; }

LibarchiveKind LibarchiveKindOf(std::string_view fileName) {
  const std::string name = AsciiLower(fileName);
  static const struct {
    const char* suffix;
    LibarchiveKind kind;
  } kSuffixes[] = {
      {".tar", LibarchiveKind::Tar},       {".tgz", LibarchiveKind::Tar},       {".taz", LibarchiveKind::Tar},
      {".tbz", LibarchiveKind::Tar},       {".tbz2", LibarchiveKind::Tar},      {".txz", LibarchiveKind::Tar},
      {".tzst", LibarchiveKind::Tar},      {".tlz", LibarchiveKind::Tar},       {".tar.gz", LibarchiveKind::Tar},
      {".tar.bz2", LibarchiveKind::Tar},   {".tar.xz", LibarchiveKind::Tar},    {".tar.zst", LibarchiveKind::Tar},
      {".tar.lz", LibarchiveKind::Tar},    {".tar.lzma", LibarchiveKind::Tar},  {".tar.z", LibarchiveKind::Tar},
      {".7z", LibarchiveKind::SevenZip},   {".rar", LibarchiveKind::Rar},       {".iso", LibarchiveKind::Iso},
      {".cpio", LibarchiveKind::Cpio},
  };
  for (const auto& s : kSuffixes)
    if (EndsWith(name, s.suffix) && name.size() > std::strlen(s.suffix)) return s.kind;
  for (const char* suffix : kSingleSuffixes)
    if (EndsWith(name, suffix) && name.size() > std::strlen(suffix)) return LibarchiveKind::SingleFile;
  return LibarchiveKind::None;
}

bool ListLibarchiveMembers(const std::string& archivePath, LibarchiveListing& listing, std::string& error,
                           size_t maxMembers) {
  listing = LibarchiveListing{};
  const LibarchiveKind kind = LibarchiveKindOf(BaseName(archivePath));
  ReadHandle h;
  if (!OpenArchive(archivePath, kind, h, error)) return false;
  if (kind == LibarchiveKind::SingleFile) return ListSingleFile(archivePath, h, listing, error);

  bool readAny = false;
  for (;;) {
    archive_entry* entry = nullptr;
    const int r = archive_read_next_header(h.a, &entry);
    if (r == ARCHIVE_EOF) {
      // A stream cut at a member boundary reads as a short tar.
      if (h.gzip && !h.gzip->Damage().empty()) listing.damage = h.gzip->Damage();
      break;
    }
    if (r == ARCHIVE_RETRY) continue;
    if (r == ARCHIVE_FATAL || r == ARCHIVE_FAILED || !entry) {
      if (SaysEncrypted(h.a) && listing.members.empty()) {
        listing.namesEncrypted = true;
        return true;
      }
      if (!readAny) {
        error = h.Damage("not an archive");
        return false;
      }
      listing.damage = h.Damage("damaged archive");
      return true;
    }
    readAny = true;
    if (listing.members.size() >= maxMembers) {
      listing.damage = "more than " + std::to_string(maxMembers) + " members";
      return true;
    }
    const std::string path = EntryPath(entry);
    const mode_t type = archive_entry_filetype(entry);
    if (!path.empty() && path.size() <= kMaxStoredPath) {
      ArchiveMember m;
      m.storedName = path;
      m.isDirectory = type == AE_IFDIR || IsDirectoryEntryName(path);
      m.size = m.isDirectory || !archive_entry_size_is_set(entry) ? 0 : Clamp32(static_cast<uint64_t>(
                                                                             std::max<la_int64_t>(0, archive_entry_size(entry))));
      m.time = ClampTime(entry);
      m.win32Attributes = EntryAttributes(entry, path);
      if (!m.isDirectory && archive_entry_is_encrypted(entry)) ++listing.encryptedMembers;
      listing.members.push_back(std::move(m));
    }
    // Skipping a member of a compressed tar still inflates it; a data error
    // there is damage found after this member.
    if (archive_read_data_skip(h.a) == ARCHIVE_FATAL) {
      if (SaysEncrypted(h.a)) continue;
      listing.damage = h.Damage("damaged archive");
      return true;
    }
  }
  return true;
}

namespace {

// An archive left open between extractions: a scan describes the members
// of an archive one after the other, mostly in stored order, and a
// compressed tar or a solid 7z can only be read from its start. Reading on
// from where the last member ended keeps describing N members linear
// instead of quadratic. One per thread, dropped when the file changes.
struct ReadSession {
  std::string path;
  struct stat identity {};
  ReadHandle h;
  long ordinal = -1;  // of the last header read
};
thread_local std::unique_ptr<ReadSession> t_session;
thread_local int t_keepOpen = 0;

// Closes the session after one extraction unless a LibarchiveKeepOpen lives.
struct SessionEnd {
  ~SessionEnd() {
    if (t_keepOpen == 0) t_session.reset();
  }
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Writes the data of the current entry flat in dir under name.
bool WriteEntry(ReadSession& s, archive_entry* entry, const std::string& dir, const std::string& name,
                std::string& outPath, std::string& error, const ArchiveLimits& limits) {
  if (archive_entry_is_encrypted(entry)) {
    error = "the member is encrypted";
    return false;
  }
  const uint64_t declared =
      archive_entry_size_is_set(entry) ? static_cast<uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry))) : 0;
  if (declared > limits.maxMemberBytes) {
    error = "member too large to extract";
    return false;
  }
  if (!HasRoomFor(dir, declared)) {
    error = std::strerror(ENOSPC);
    return false;
  }
  std::string written;
  const int fd = OpenMemberOutput(dir, {name}, true, written);
  if (fd < 0) {
    error = std::string(std::strerror(errno)) + ": " + name;
    return false;
  }
  std::vector<char> buffer(64 * 1024);
  uint64_t total = 0;
  bool ok = true;
  for (;;) {
    const la_ssize_t n = archive_read_data(s.h.a, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0) {
      error = s.h.Damage("damaged member");
      ok = false;
      break;
    }
    total += static_cast<uint64_t>(n);
    // Single compressed files declare no size: the limit holds instead.
    if (total > limits.maxMemberBytes || (declared && total > declared)) {
      error = "member larger than declared";
      ok = false;
      break;
    }
    for (la_ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::write(fd, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error = std::strerror(errno ? errno : EIO);
        ok = false;
      } else {
        done += w;
      }
    }
    if (!ok) break;
  }
  if (ok) SetFileTime(fd, ClampTime(entry));
  ::close(fd);
  if (!ok) {
    ::unlink(written.c_str());  // nothing half-written stays behind
    return false;
  }
  outPath = written;
  return true;
}

enum class Found { Yes, No, Failed };

// Reads on from the session's position to the first regular member that
// take() accepts (given its ordinal and its stored path) and writes it.
template <class Take>
Found ExtractNext(ReadSession& s, bool single, const std::string& singleName, const std::string& dir,
                  const std::string& name, std::string& outPath, std::string& error, const ArchiveLimits& limits,
                  Take&& take) {
  for (;;) {
    archive_entry* entry = nullptr;
    const int r = archive_read_next_header(s.h.a, &entry);
    if (r == ARCHIVE_EOF) return Found::No;
    if (r == ARCHIVE_RETRY) continue;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      error = s.h.Damage("damaged archive");
      return Found::No;
    }
    ++s.ordinal;
    if (!single && archive_entry_filetype(entry) != AE_IFREG) continue;
    if (!take(s.ordinal, single ? singleName : EntryPath(entry))) continue;
    return WriteEntry(s, entry, dir, name, outPath, error, limits) ? Found::Yes : Found::Failed;
  }
}

}  // namespace

bool ExtractLibarchiveMember(const std::string& archivePath, const std::string& memberPath, const std::string& dir,
                             std::string& outPath, std::string& error, const ArchiveLimits& limits) {
  outPath.clear();
  const SessionEnd sessionEnd;
  const LibarchiveKind kind = LibarchiveKindOf(BaseName(archivePath));
  const std::vector<std::string> wanted = SplitMemberPath(memberPath);
  if (wanted.empty()) {
    error = "empty member name";
    return false;
  }
  struct stat identity {};
  if (::stat(archivePath.c_str(), &identity) != 0) {
    error = std::strerror(errno);
    t_session.reset();
    return false;
  }
  const bool single = kind == LibarchiveKind::SingleFile;
  const std::string singleName = single ? SingleMemberName(archivePath) : std::string();
  auto open = [&]() -> bool {
    t_session = std::make_unique<ReadSession>();
    t_session->path = archivePath;
    t_session->identity = identity;
    if (OpenArchive(archivePath, kind, t_session->h, error)) return true;
    t_session.reset();
    return false;
  };
  auto exact = [&](long, const std::string& path) { return MatchMemberPath(SplitMemberPath(path), wanted) == PathMatch::Exact; };

  // The exact name, first from where the last extraction stopped, then
  // from the start; a member stored under another case only when no
  // member has the exact name (directories are shared that way in the catalog).
  bool resumed = t_session && t_session->path == archivePath && SameFile(t_session->identity, identity);
  long looseOrdinal = -1;
  for (;;) {
    if (!resumed && !open()) return false;
    const bool fromStart = !resumed;
    error.clear();
    const Found found = ExtractNext(*t_session, single, singleName, dir, wanted.back(), outPath, error, limits,
                                    [&](long ordinal, const std::string& path) {
                                      if (exact(ordinal, path)) return true;
                                      if (fromStart && looseOrdinal < 0 &&
                                          MatchMemberPath(SplitMemberPath(path), wanted) == PathMatch::IgnoringCase)
                                        looseOrdinal = ordinal;
                                      return false;
                                    });
    if (found == Found::Yes) return true;
    if (found == Found::Failed) {
      t_session.reset();
      return false;
    }
    if (fromStart) break;
    resumed = false;
  }
  if (looseOrdinal >= 0 && open()) {
    const Found found = ExtractNext(*t_session, single, singleName, dir, wanted.back(), outPath, error, limits,
                                    [&](long ordinal, const std::string&) { return ordinal == looseOrdinal; });
    if (found == Found::Yes) return true;
  }
  t_session.reset();
  if (error.empty()) error = "no member " + memberPath;
  return false;
}


LibarchiveKeepOpen::LibarchiveKeepOpen() { ++t_keepOpen; }
LibarchiveKeepOpen::~LibarchiveKeepOpen() {
  if (--t_keepOpen == 0) t_session.reset();
}
