// The scanning engine: walks a medium's directory tree into catalog items,
// has each file described, lets the archive lister expand archives in place,
// reports progress and lets the user stop.
//
// Typical use (the New media command):
//   CFileItemList temp;                       // temp[0] is the new media item
//   CScanProgress progress(&sink, &ui);       // one per command
//   ScanOptions options;                      // hooks: describer, archive lister
//   options.describeFile = DescribeFile;
//   CScanContext scan(temp, progress, options);
//   bool stopped = scan.ScanMedium(rootPath, media.level + 1) == 1;
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "describe/Archive.h"
#include "describe/Describe.h"

class CDescribeHandOff;
class CFileItemList;
class IUiPort;
class CScanContext;

// The three counters of a scan, passed down the walk.
struct ScanCounters {
  int directories = 0;
  int files = 0;
  int descriptions = 0;
};

// Whoever shows the progress of a scan and of the application pass that
// follows it: the GUI's "Analysis..." window, the command-line front end,
// tests. Every method has a do-nothing default.
class IScanProgressSink {
 public:
  virtual ~IScanProgressSink() = default;
  // The progress display appears (first refresh, first log line or first
  // application step of a command).
  virtual void Show() {}
  // New values of the "Folders", "Files" and "Descriptions" counters; called
  // at most about once per second apart from count milestones.
  virtual void SetCounters(int folders, int files, int descriptions) {}
  // Directory the walk is reading now; called once per directory, so keep it cheap.
  virtual void SetCurrentPath(const std::string& path) {}
  // A line was appended to the log (CScanProgress::LogText() has the whole text).
  virtual void LogLineAdded(const std::string& line) {}
  // Handle pending user input without waiting; a Cancel button or the
  // Escape key calls CScanProgress::RequestStop() from here.
  virtual void Pump() {}
  // Application mode: the applications counter and the progress bar are
  // enabled, counter 0, bar 0.
  virtual void BeginApplications() {}
  virtual void SetApplications(int count) {}
  // Bar position, 0..100; called only when it changes.
  virtual void SetApplicationPercent(int percent) {}
  // The command ended; the display goes away.
  virtual void Close() {}
};

// The state of the progress window of one command: the stop flag, the
// refresh throttle and the log. A scan and the application pass after it
// share one instance; Close() ends it so that the next command starts with
// an empty log.
class CScanProgress {
 public:
  explicit CScanProgress(IScanProgressSink* sink = nullptr, IUiPort* ui = nullptr);

  void SetSink(IScanProgressSink* sink) { sink_ = sink; }
  void SetUi(IUiPort* ui) { ui_ = ui; }
  IScanProgressSink* Sink() const { return sink_; }

  // UpdateScanProgress: refreshes the counters when a second has passed or
  // at a count milestone; at a refresh asks "Do you really want to stop ?"
  // when a stop was requested. Returns 1 when the user confirmed the stop.
  int Update(int directories, int files, int descriptions);
  // Appends "Error : " + text (the translated IDS_ERROR) as a new log line.
  void LogScanError(const std::string& text);
  // Appends a line to the log as it is.
  void AppendLog(const std::string& line);
  // The whole log: each line is preceded by CR LF.
  const std::string& LogText() const { return log_; }

  // Asks for a stop; the question comes at the next refresh. Safe to call
  // from a signal handler.
  void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
  bool StopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }

  // Application mode (the application pass).
  void BeginApplications();
  // Shows count and percent, asks the stop question when a stop was
  // requested, pumps. Returns 1 when the user confirmed the stop.
  int UpdateApplications(int count, int percent);

  // Ends the command: the sink closes, the log empties, the flag clears.
  void Close();
  bool IsShown() const { return shown_; }

  // Seconds clock of the refresh throttle; tests replace it.
  std::function<int64_t()> clock;

 private:
  void EnsureShown();
  // The stop question; true when confirmed (the flag stays set).
  bool AskStop();

  IScanProgressSink* sink_;
  IUiPort* ui_;
  std::atomic<bool> stopRequested_{false};
  bool shown_ = false;
  int64_t lastRefresh_ = 0;
  int lastPercent_ = -1;
  std::string log_;
};

// Hooks that other subsystems plug into the scan. Each may be left empty.
// The per-file describer (describe/Describe.h: DescribeFile). Returns 1 when a
// description was produced.
using FileDescriberHook =
    std::function<int(CFileItemList& list, size_t index, const DescribeSettings& settings, IDescribeHost& host)>;
// The archive lister: lists the archive at archiveIndex (already typed
// Compressed file) through scan.AddDirectoryItem / scan.AddFileItem with
// insideArchive true and uncompress false, inserting right after the archive
// and its earlier members. Returns false on failure, with the cause in
// reason (the scan logs both).
using ArchiveListerHook = std::function<bool(CScanContext& scan, size_t archiveIndex, std::string& reason)>;
// Extracts an archive member (isArchive item) to a temporary file for a describer.
using ArchiveExtractorHook =
    std::function<std::optional<std::string>(CScanContext& scan, const CFileItemList& list, size_t index)>;

struct ScanOptions {
  // Look into archives (false when the user ticked "Do not uncompress files").
  bool uncompress = true;
  DescribeSettings describe;
  FileDescriberHook describeFile;        // empty: files are not described
  ArchiveListerHook listArchive;         // empty: archives are marked, not listed
  ArchiveExtractorHook extractArchiveMember;
  // Threads the files found by the walk are described on (the walk's own
  // included; scan/DescribeHandOff.h). With more than one, describeFile
  // runs on other threads, on a one-item list holding a copy of the item,
  // and must not reach anything else of the scan. Archive members are
  // described on the walk's thread.
  unsigned describeThreads = 1;
  // The file names describeFile describes (describe/Describe.h:
  // WouldDescribe): with several threads only those are handed over, the
  // others are given to describeFile on the walk's thread. Empty: all are
  // handed over.
  std::function<bool(const std::string& name, const DescribeSettings& settings)> describesFile;
  // Test seam: called before a directory is opened by the walk; returning
  // false makes it behave as unreadable.
  std::function<bool(const std::string& path)> canOpenDirectory;
  // Test seam: whether the names of the directory at path are
  // case-insensitive, in place of asking its file system.
  std::function<bool(const std::string& path)> caseInsensitiveNames;
};

// One scan over one item list. Implements the describer host so describers
// reach the scan log and the files on disk, and the archive lister's view of
// the scan (describe/Archive.h: IArchiveScan).
class CScanContext : public IArchiveScan {
 public:
  CScanContext(CFileItemList& list, CScanProgress& progress, ScanOptions options = {});
  ~CScanContext() override;

  // ScanMedium: walks the directory tree at rootPath (as the catalog holds
  // it: escaped name bytes, see NameFromBytes) and appends its items
  // at startLevel (directories first hold their files, then each
  // subdirectory with its subtree); then copies the log into the
  // description of list[0] (the media item) and rebuilds the container
  // index. Returns 1 when the user stopped, 0 otherwise. An unreadable root
  // gives no items; it and every unreadable directory (catalogued without
  // contents) are logged with their path and the system's reason.
  int ScanMedium(const std::string& rootPath, int startLevel);

  // Creates a File item (win32Attributes as in CFileItem), appends it or
  // inserts it at insertPos (the container index is rebuilt at the end of
  // ScanMedium, not here), counts it, marks archives by name, runs the
  // archive lister and the describer. Returns its index, or -1 when the user
  // asked to stop. Archive listers pass insideArchive true, uncompress false.
  long AddFileItem(const std::string& name, uint32_t size, uint32_t time, uint32_t win32Attributes, int level,
                   long insertPos = -1, bool insideArchive = false, bool uncompress = false) override;
  // Creates a Dir item (size 0), appends or inserts it, counts it. Returns
  // its index, or -1 when the user asked to stop.
  long AddDirectoryItem(const std::string& name, uint32_t time, uint32_t win32Attributes, int level,
                        long insertPos = -1, bool insideArchive = false) override;
  // Progress update with the current counters; 1 when the user confirmed the stop.
  int UpdateScanProgress();

  // IDescribeHost
  std::string PhysicalPath(const CFileItemList& list, size_t index) override;
  void LogScanError(const std::string& text) override;
  std::optional<std::string> ExtractArchiveMember(const CFileItemList& list, size_t index) override;

  CFileItemList& List() override { return list_; }
  ScanCounters& Counters() { return counters_; }
  CScanProgress& Progress() { return progress_; }
  const ScanOptions& Options() const { return options_; }

 private:
  friend class ScanWalker;
  long AddFile(const std::string& name, uint32_t size, uint32_t time, uint32_t win32Attributes, int level,
               long insertPos, bool insideArchive, bool uncompress, const std::string* diskPath,
               bool regularFile);
  void RunArchiveHook(size_t index);
  // Puts in place the descriptions of every file handed to other threads.
  void FinishDescriptions();

  CFileItemList& list_;
  CScanProgress& progress_;
  ScanOptions options_;
  ScanCounters counters_;
  bool stopped_ = false;  // the user confirmed a stop; every level returns
  // Disk path of the file item the walk added last: the describer asks for
  // it right away, and the walk knows the real on-disk spelling.
  long walkItem_ = -1;
  std::string walkItemPath_;
  std::unique_ptr<CDescribeHandOff> handOff_;  // while a scan describes on several threads
};

// Plugs the archive lister and the member extractor of describe/Archive.h
// into the scan's hooks.
void InstallArchiveHooks(ScanOptions& options);

// Name rule of the walk on file systems whose names are case-insensitive: a
// name that is a valid 8.3 short name without lower-case letters is
// lower-cased but for its first character ("README.TXT" -> "Readme.txt");
// other names are kept.
std::string PrettifyShortName(const std::string& name);
// Whether the name ends in ".zip" or ".cab", or names an archive libarchive
// reads (describe/ArchiveLibarchive.h), ignoring case.
bool HasArchiveExtension(const std::string& name);
