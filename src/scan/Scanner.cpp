// The scanning engine. The walk works relative to open directory
// descriptors (openat / fstatat), so path length never limits it and a
// directory renamed under it cannot redirect it.
#include "scan/Scanner.h"

#include "describe/ArchiveLibarchive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/UiPort.h"
#include "scan/DescribeHandOff.h"
#include "scan/MediaPaths.h"
#include "text/Codepage.h"

// ---------------------------------------------------------------------------
// Progress

CScanProgress::CScanProgress(IScanProgressSink* sink, IUiPort* ui)
    : clock([] { return static_cast<int64_t>(std::time(nullptr)); }), sink_(sink), ui_(ui) {}

void CScanProgress::EnsureShown() {
  if (shown_) return;
  shown_ = true;
  if (sink_) sink_->Show();
}

bool CScanProgress::AskStop() {
  // Without anyone to ask, a stop request stands.
  if (!ui_) return true;
  int answer = ui_->MessageBox(Translate("IDS_DOYOUWANTSTOP"), Translate("IDS_STOP"), MB_OKCANCEL | MB_ICONQUESTION);
  if (answer == IDOK) return true;
  stopRequested_.store(false, std::memory_order_relaxed);
  return false;
}

int CScanProgress::Update(int directories, int files, int descriptions) {
  int64_t now = clock();
  bool milestone = (files % 100 == 0 || descriptions % 10 == 0) && (directories < 11 || directories % 10 == 0);
  if (now - lastRefresh_ < 1 && !milestone) return 0;
  EnsureShown();
  if (StopRequested() && AskStop()) return 1;
  lastRefresh_ = now;
  if (sink_) {
    sink_->SetCounters(directories, files, descriptions);
    sink_->Pump();
  }
  return 0;
}

void CScanProgress::AppendLog(const std::string& line) {
  EnsureShown();
  log_ += "\r\n";
  log_ += line;
  if (sink_) sink_->LogLineAdded(line);
}

void CScanProgress::LogScanError(const std::string& text) { AppendLog(Translate("IDS_ERROR") + " : " + text); }

void CScanProgress::BeginApplications() {
  EnsureShown();
  lastPercent_ = 0;
  if (sink_) {
    sink_->BeginApplications();
    sink_->SetApplications(0);
    sink_->SetApplicationPercent(0);
  }
}

int CScanProgress::UpdateApplications(int count, int percent) {
  EnsureShown();
  if (sink_) {
    sink_->SetApplications(count);
    if (percent != lastPercent_) sink_->SetApplicationPercent(percent);
  }
  lastPercent_ = percent;
  if (StopRequested() && AskStop()) return 1;
  if (sink_) sink_->Pump();
  return 0;
}

void CScanProgress::Close() {
  if (shown_ && sink_) sink_->Close();
  shown_ = false;
  log_.clear();
  lastPercent_ = -1;
  stopRequested_.store(false, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Names

namespace {

bool IsShortNameChar(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("$%'-_@~`!(){}^#&", c) != nullptr && c != 0;
}

}  // namespace

std::string PrettifyShortName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return name;
  size_t dot = name.find('.');
  if (dot != std::string::npos && name.find('.', dot + 1) != std::string::npos) return name;
  size_t baseLength = dot == std::string::npos ? name.size() : dot;
  size_t extLength = dot == std::string::npos ? 0 : name.size() - dot - 1;
  if (baseLength < 1 || baseLength > 8) return name;
  if (dot != std::string::npos && (extLength < 1 || extLength > 3)) return name;
  for (size_t i = 0; i < name.size(); ++i)
    if (i != dot && !IsShortNameChar(static_cast<unsigned char>(name[i]))) return name;
  std::string out = name;
  for (size_t i = 1; i < out.size(); ++i)
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
  return out;
}

bool HasArchiveExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (auto& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".zip" || ext == ".cab" || IsLibarchiveName(name);
}

// ---------------------------------------------------------------------------
// Scan context

CScanContext::CScanContext(CFileItemList& list, CScanProgress& progress, ScanOptions options)
    : list_(list), progress_(progress), options_(std::move(options)) {}

CScanContext::~CScanContext() = default;

namespace {

long PlaceItem(CFileItemList& list, std::unique_ptr<CFileItem> item, long insertPos) {
  // The container index is rebuilt once at the end of the scan rather than
  // after every insertion.
  if (insertPos < 0 || static_cast<size_t>(insertPos) >= list.items.size()) {
    list.items.push_back(std::move(item));
    return static_cast<long>(list.items.size() - 1);
  }
  list.items.insert(list.items.begin() + insertPos, std::move(item));
  return insertPos;
}

}  // namespace

int CScanContext::UpdateScanProgress() {
  if (stopped_) return 1;
  if (progress_.Update(counters_.directories, counters_.files, counters_.descriptions)) stopped_ = true;
  return stopped_ ? 1 : 0;
}

long CScanContext::AddFileItem(const std::string& name, uint32_t size, uint32_t time, uint32_t win32Attributes,
                               int level, long insertPos, bool insideArchive, bool uncompress) {
  return AddFile(name, size, time, win32Attributes, level, insertPos, insideArchive, uncompress, nullptr, true);
}

long CScanContext::AddFile(const std::string& name, uint32_t size, uint32_t time, uint32_t win32Attributes,
                           int level, long insertPos, bool insideArchive, bool uncompress,
                           const std::string* diskPath, bool regularFile) {
  long index = PlaceItem(list_,
                         std::make_unique<CFileItem>(ITEM_FILE, name, size, time, static_cast<int16_t>(level),
                                                     win32Attributes),
                         insertPos);
  if (diskPath) {
    walkItem_ = index;
    walkItemPath_ = *diskPath;
  } else if (walkItem_ >= index) {
    walkItem_ = -1;  // an insertion moved the remembered item
  }
  ++counters_.files;
  if (UpdateScanProgress()) return -1;
  CFileItem* item = list_[static_cast<size_t>(index)];
  item->isArchive = HasArchiveExtension(name) ? 1 : (insideArchive ? 1 : 0);
  // FIFOs and devices are catalogued but never opened: reading one could
  // block the scan for good.
  if (!regularFile) return index;
  if (uncompress && item->isArchive == 1) {
    FinishDescriptions();  // the files before the archive log before it
    RunArchiveHook(static_cast<size_t>(index));
    if (stopped_) return -1;
  }
  if (handOff_ && diskPath && item->isArchive == 0 &&
      (!options_.describesFile || options_.describesFile(item->name, options_.describe))) {
    handOff_->Add(*item, *diskPath);
    return stopped_ ? -1 : index;
  }
  if (options_.describeFile &&
      options_.describeFile(list_, static_cast<size_t>(index), options_.describe, *this)) {
    ++counters_.descriptions;
    if (UpdateScanProgress()) return -1;
  }
  return index;
}

void CScanContext::RunArchiveHook(size_t index) {
  CFileItem* item = list_[index];
  if (item->type != ITEM_FILE || !options_.listArchive) return;
  item->type = ITEM_ARCHIVE_ENTRY;
  std::string reason;
  bool listed = options_.listArchive(*this, index, reason);
  if (stopped_) return;
  if (!listed) {
    std::string line = FormatInserts(Translate("IDS_UNZIPERROR"), {PhysicalPath(list_, index)});
    if (!reason.empty()) line += " : " + reason;
    LogScanError(line);
    list_[index]->type = ITEM_FILE;
  }
}

long CScanContext::AddDirectoryItem(const std::string& name, uint32_t time, uint32_t win32Attributes, int level,
                                    long insertPos, bool insideArchive) {
  long index = PlaceItem(list_,
                         std::make_unique<CFileItem>(ITEM_DIRECTORY, name, 0, time, static_cast<int16_t>(level),
                                                     win32Attributes),
                         insertPos);
  if (walkItem_ >= index && insertPos >= 0) walkItem_ = -1;
  ++counters_.directories;
  if (UpdateScanProgress()) return -1;
  list_[static_cast<size_t>(index)]->isArchive = insideArchive ? 1 : 0;
  return index;
}

std::string CScanContext::PhysicalPath(const CFileItemList& list, size_t index) {
  if (&list == &list_ && walkItem_ >= 0 && static_cast<size_t>(walkItem_) == index) return walkItemPath_;
  return GetPlatform().ResolvePath(::PhysicalPath(list, index, true));
}

void CScanContext::LogScanError(const std::string& text) {
  FinishDescriptions();  // the log keeps the order of a scan on one thread
  progress_.LogScanError(text);
}

void CScanContext::FinishDescriptions() {
  if (handOff_ && !stopped_) handOff_->FinishAll();
}

std::optional<std::string> CScanContext::ExtractArchiveMember(const CFileItemList& list, size_t index) {
  if (!options_.extractArchiveMember) return std::nullopt;
  return options_.extractArchiveMember(*this, list, index);
}

// ---------------------------------------------------------------------------
// The walk

namespace {

// From <linux/msdos_fs.h>, whose ATTR_* macros clash with the catalog's names.
constexpr unsigned long kFatGetAttributes = _IOR('r', 0x10, uint32_t);
constexpr long kMsdosSuperMagic = 0x4d44;

// Directories deeper than this are closed once read and reopened through
// their ancestors, so that no depth exhausts the descriptor limit.
constexpr size_t kOpenDepth = 128;

uint32_t ClampTime(time_t t) {
  if (t < 0 || static_cast<unsigned long long>(t) > 0xFFFFFFFFull) return 0;
  return static_cast<uint32_t>(t);
}

uint32_t ClampSize(off_t size) {
  if (size < 0) return 0;
  if (static_cast<unsigned long long>(size) >= 0x100000000ull) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(size);
}

struct Entry {
  std::string raw;  // the name on disk
  struct stat st {};
  bool statOk = false;
  int statError = 0;  // why the status could not be read (a directory readable but not searchable)
  bool isDir = false;
  bool isLink = false;
  uint32_t dosAttributes = 0;
  bool hasDosAttributes = false;
};

bool NameLess(const Entry& a, const Entry& b) {
  const std::string& x = a.raw;
  const std::string& y = b.raw;
  size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char cx = static_cast<unsigned char>(x[i]);
    unsigned char cy = static_cast<unsigned char>(y[i]);
    if (cx >= 'A' && cx <= 'Z') cx = static_cast<unsigned char>(cx - 'A' + 'a');
    if (cy >= 'A' && cy <= 'Z') cy = static_cast<unsigned char>(cy - 'A' + 'a');
    if (cx != cy) return cx < cy;
  }
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;  // names equal but for case: a stable, repeatable order
}

}  // namespace

class ScanWalker {
 public:
  explicit ScanWalker(CScanContext& ctx) : ctx_(ctx), buffer_(64 * 1024) {}

  int Run(const std::string& catalogedRoot, int startLevel) {
    const std::string rootPath = NameToBytes(catalogedRoot);
    int fd = open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ctx_.options_.canOpenDirectory && !ctx_.options_.canOpenDirectory(rootPath)) {
      close(fd);
      fd = -1;
      errno = EACCES;
    }
    if (fd < 0) {
      LogUnreadable(rootPath, errno);
      return 0;
    }
    path_ = rootPath;
    while (path_.size() > 1 && path_.back() == '/') path_.pop_back();
    struct stat st;
    fstat(fd, &st);
    frames_.push_back({fd, std::string(), st.st_dev, st.st_ino});
    int result = Walk(startLevel);
    for (auto& f : frames_)
      if (f.fd >= 0) close(f.fd);
    frames_.clear();
    return result;
  }

 private:
  struct Frame {
    int fd;
    std::string name;  // name within the parent (empty for the root)
    dev_t dev;
    ino_t ino;
  };

  void LogUnreadable(const std::string& path, int error) {
    ctx_.LogScanError(NameFromBytes(path) + " : " + std::strerror(error));
  }

  std::string ChildPath(const std::string& name) const {
    return path_ == "/" ? "/" + name : path_ + "/" + name;
  }

  // Reads every entry of the directory of the top frame, with its status.
  std::vector<Entry> ReadEntries(int fd) {
    std::vector<Entry> entries;
    struct statfs sfs;
    bool fat = fstatfs(fd, &sfs) == 0 && sfs.f_type == kMsdosSuperMagic;
    for (;;) {
      long n = syscall(SYS_getdents64, fd, buffer_.data(), buffer_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) LogUnreadable(path_, errno);
      if (n <= 0) break;
      for (long pos = 0; pos < n;) {
        auto* d = reinterpret_cast<struct dirent64*>(buffer_.data() + pos);
        pos += d->d_reclen;
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        Entry e;
        e.raw = name;
        if (fstatat(fd, name, &e.st, AT_SYMLINK_NOFOLLOW) == 0) {
          e.statOk = true;
          if (S_ISLNK(e.st.st_mode)) {
            e.isLink = true;
            struct stat target;
            // A link is described by its target; a broken one stays a small file.
            if (fstatat(fd, name, &target, 0) == 0) e.st = target;
            else e.st.st_size = 0;
          }
          e.isDir = S_ISDIR(e.st.st_mode);
        } else if (errno == ENOENT) {
          continue;  // gone since the listing: nothing of it is on the disk now
        } else {
          e.statError = errno;
          e.isDir = d->d_type == DT_DIR;
        }
        if (fat && !e.isLink) ReadDosAttributes(fd, e);
        entries.push_back(std::move(e));
      }
    }
    std::sort(entries.begin(), entries.end(), NameLess);
    return entries;
  }

  static void ReadDosAttributes(int dirfd, Entry& e) {
    int f = openat(dirfd, e.raw.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) return;
    uint32_t attrs = 0;
    if (ioctl(f, kFatGetAttributes, &attrs) == 0) {
      e.dosAttributes = attrs;
      e.hasDosAttributes = true;
    }
    close(f);
  }

  static uint32_t Win32Attributes(const Entry& e) {
    if (e.hasDosAttributes) return e.dosAttributes;
    uint32_t a = 0;
    if (e.raw[0] == '.') a |= WIN32_ATTR_HIDDEN;
    if (e.statOk && (e.st.st_mode & 0222) == 0) a |= WIN32_ATTR_READONLY;
    if (e.isDir) a |= WIN32_ATTR_DIRECTORY;
    return a;
  }

  // Opens a subdirectory of the top frame without following links.
  int OpenChild(const std::string& name) {
    size_t top = frames_.size() - 1;
    if (frames_[top].fd >= 0)
      return openat(frames_[top].fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // The top frame was closed: reopen the chain from the nearest open ancestor.
    size_t k = top;
    while (frames_[k].fd < 0) --k;
    int cur = frames_[k].fd;
    for (size_t j = k + 1; j <= top; ++j) {
      int next = openat(cur, frames_[j].name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (cur != frames_[k].fd) close(cur);
      if (next < 0) return -1;
      cur = next;
    }
    int fd = openat(cur, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (cur != frames_[k].fd) close(cur);
    return fd;
  }

  bool IsAncestor(dev_t dev, ino_t ino) const {
    for (const auto& f : frames_)
      if (f.dev == dev && f.ino == ino) return true;
    return false;
  }

  // Whether the names of the directory of the top frame are case-insensitive,
  // once per file system.
  bool CaseInsensitiveNames() {
    if (ctx_.options_.caseInsensitiveNames) return ctx_.options_.caseInsensitiveNames(path_);
    const Frame& top = frames_.back();
    auto known = caseInsensitive_.find(top.dev);
    if (known != caseInsensitive_.end()) return known->second;
    return caseInsensitive_[top.dev] = HasCaseInsensitiveNames(top.fd);
  }

  int Walk(int level) {
    if (IScanProgressSink* sink = ctx_.progress_.Sink()) sink->SetCurrentPath(path_);
    std::vector<Entry> entries = ReadEntries(frames_.back().fd);
    // Upper-case short names are written the Windows way only where the
    // file system ignores case: elsewhere README and Readme are two files.
    const bool prettify = CaseInsensitiveNames();
    auto itemName = [prettify](const std::string& raw) {
      std::string name = NameFromBytes(raw);
      return prettify ? PrettifyShortName(name) : name;
    };
    // An entry whose status cannot be read gets nothing made up: size 0 and
    // the time of its directory, and a log line that says why.
    uint32_t directoryTime = 0;
    if (std::any_of(entries.begin(), entries.end(), [](const Entry& e) { return !e.statOk; })) {
      struct stat ds;
      if (fstat(frames_.back().fd, &ds) == 0) directoryTime = ClampTime(ds.st_mtime);
    }
    auto entryTime = [directoryTime](const Entry& e) { return e.statOk ? ClampTime(e.st.st_mtime) : directoryTime; };
    if (frames_.size() > kOpenDepth) {
      close(frames_.back().fd);
      frames_.back().fd = -1;
    }

    // Files first.
    for (const Entry& e : entries) {
      if (e.isDir) continue;
      std::string diskPath = ChildPath(e.raw);
      if (!e.statOk) LogUnreadable(diskPath, e.statError);
      long index = ctx_.AddFile(itemName(e.raw), e.statOk ? ClampSize(e.st.st_size) : 0, entryTime(e),
                                Win32Attributes(e), level, -1, false, ctx_.options_.uncompress, &diskPath,
                                e.statOk && S_ISREG(e.st.st_mode));
      if (index < 0) return 1;
    }

    // Then each directory followed by its subtree; dot directories are neither.
    for (const Entry& e : entries) {
      if (!e.isDir || e.raw[0] == '.') continue;
      long index = ctx_.AddDirectoryItem(itemName(e.raw), entryTime(e), Win32Attributes(e), level);
      if (index < 0) return 1;
      if (e.isLink) continue;  // catalogued, never followed
      std::string childPath = ChildPath(e.raw);
      if (!e.statOk) {
        // Not searchable from here either: one line says so.
        LogUnreadable(childPath, e.statError);
        continue;
      }
      int fd = -1;
      if (ctx_.options_.canOpenDirectory && !ctx_.options_.canOpenDirectory(childPath))
        errno = EACCES;
      else
        fd = OpenChild(e.raw);
      if (fd < 0) {
        // Catalogued without contents; the log (the medium's description)
        // says which directory is missing and why.
        LogUnreadable(childPath, errno);
        continue;
      }
      struct stat st;
      if (fstat(fd, &st) != 0 || IsAncestor(st.st_dev, st.st_ino)) {
        close(fd);
        continue;
      }
      frames_.push_back({fd, e.raw, st.st_dev, st.st_ino});
      size_t saved = path_.size();
      path_ = childPath;
      int result = Walk(level + 1);
      path_.resize(saved);
      if (frames_.back().fd >= 0) close(frames_.back().fd);
      frames_.pop_back();
      if (result == 1) return 1;
    }
    return 0;
  }

  CScanContext& ctx_;
  std::vector<char> buffer_;
  std::vector<Frame> frames_;
  std::string path_;  // bytes on disk
  std::map<dev_t, bool> caseInsensitive_;
};

int CScanContext::ScanMedium(const std::string& rootPath, int startLevel) {
  stopped_ = false;
  if (options_.describeThreads > 1 && options_.describeFile)
    handOff_ = std::make_unique<CDescribeHandOff>(
        options_.describeThreads, options_.describeFile, options_.describe,
        [this](const std::vector<std::string>& log, bool produced) {
          if (stopped_) return;
          for (const std::string& line : log) progress_.LogScanError(line);
          if (produced) {
            ++counters_.descriptions;
            UpdateScanProgress();
          }
        });
  ScanWalker walker(*this);
  int result = walker.Run(rootPath, startLevel);
  if (handOff_) {
    FinishDescriptions();
    handOff_.reset();  // what a stop left undescribed is dropped
    if (stopped_) result = 1;
  }
  walkItem_ = -1;
  if (list_.size() > 0) list_[0]->description = progress_.LogText();
  list_.RebuildContainerIndex();
  return result;
}

void InstallArchiveHooks(ScanOptions& options) {
  options.listArchive = ListArchiveHook;
  options.extractArchiveMember = ExtractMemberHook;
}
