// quolvane-cli scan / drives / properties: add a medium to a catalog, list
// the media types with their volumes, show an item's properties.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/Settings.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "cli/Cli.h"
#include "cli/ScanSink.h"
#include "describe/Archive.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/Paths.h"
#include "ports/TempDir.h"
#include "ports/UiPort.h"
#include "scan/Applications.h"
#include "scan/DescribeHandOff.h"
#include "scan/MediaPaths.h"
#include "scan/MediaScan.h"
#include "scan/MediaTypes.h"
#include "text/Codepage.h"

namespace fs = std::filesystem;

namespace {

constexpr int kInterruptedStatus = 130;

std::atomic<CScanProgress*> g_progress{nullptr};

void OnInterrupt(int) {
  if (CScanProgress* p = g_progress.load()) p->RequestStop();
}

// Ctrl-C asks the scan to stop; a second one ends the program at once.
class InterruptGuard {
 public:
  explicit InterruptGuard(CScanProgress& progress) {
    g_progress.store(&progress);
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &old_, nullptr);
    g_progress.store(nullptr);
  }

 private:
  struct sigaction old_ {};
};

// No one to ask on the command line: the stop question is answered yes
// (Ctrl-C was the question), other messages go to stderr.
class CliUi : public IUiPort {
 public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    if (text != Translate("IDS_DOYOUWANTSTOP")) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
  }
};

ConfigSettings LoadConfig() {
  CIniFile ini;
  ini.Load(SettingsFilePath(GlobalCliOptions().settingsFile));  // a missing file gives the defaults
  ConfigSettings config = ReadConfig(ini);
  InitTranslator(config.langFile, config.language);
  MediaKinds().Clear();
  RegisterDefaultMediaKinds();
  return config;
}

// Removes the temporary work directory whatever way the command ends.
struct TempDirCleanup {
  ~TempDirCleanup() { RemoveTempWorkDirectory(); }
};

struct ScanArgs {
  std::string catalog;
  std::string path;
  std::string name;
  std::string kind = "Dir";
  long into = -1;
  bool noApplications = false;
  bool noArchives = false;
  unsigned threads = 0;  // 0: every core
};

void RunScan(const ScanArgs& args) {
  ConfigSettings config = LoadConfig();
  std::error_code ec;
  fs::path source = fs::absolute(args.path, ec).lexically_normal();
  std::string sourcePath = source.string();
  while (sourcePath.size() > 1 && sourcePath.back() == '/') sourcePath.pop_back();
  const fs::file_status status = fs::status(sourcePath, ec);
  if (ec) throw CliError(args.path + ": " + ec.message());
  if (!fs::is_directory(status)) throw CliError(args.path + ": not a directory");

  CCatalogLock lock;
  LockCatalogForChange(lock, args.catalog);
  // A catalog the lock made for the time of the command starts empty; an
  // empty file that was there before is refused as every reader does.
  CFileItemList catalog = lock.Created() ? CFileItemList() : LoadCatalogForCli(args.catalog);
  if (args.into >= static_cast<long>(catalog.size()))
    throw CliError("--into " + std::to_string(args.into) + ": the catalog has " + std::to_string(catalog.size()) +
                   " items");

  NewMediaRequest request;
  request.kindKey = args.kind;
  request.path = sourcePath;
  request.name = args.name;
  if (request.name.empty()) {
    // The volume label, else (a volume without one, or one that does not
    // answer) the directory's own name.
    NewMediaVolume volume;
    ReadNewMediaVolume(sourcePath, false, volume);
    request.name = volume.name.empty() ? fs::path(sourcePath).filename().string() : volume.name;
    if (request.name.empty()) request.name = sourcePath;  // the root directory
    request.name = NameFromBytes(request.name);
  }
  request.selected = args.into;
  request.uncompress = config.scanCompress != 0 && !args.noArchives;
  request.searchApplications = config.scanApplis != 0 && !args.noApplications;

  ScanOptions options;
  options.describe = ToDescribeSettings(config);
  options.describeFile = [](CFileItemList& list, size_t index, const DescribeSettings& settings,
                             IDescribeHost& host) { return DescribeFile(list, index, settings, host); };
  options.describeThreads = args.threads ? args.threads : DefaultDescribeThreads();
  options.describesFile = WouldDescribe;
  InstallArchiveHooks(options);
  TempDirCleanup cleanup;

  TerminalScanSink sink(isatty(STDERR_FILENO) != 0);
  CliUi ui;
  CScanProgress progress(&sink, &ui);
  NewMediaResult result;
  {
    InterruptGuard guard(progress);
    // The application pass over the new media, unless switched off.
    ApplicationPassHook applicationPass = RunApplicationPass;
    result = AddNewMedia(catalog, request, progress, std::move(options), applicationPass);
  }
  sink.Clear();

  switch (result.status) {
    case NewMediaStatus::Added:
      break;
    case NewMediaStatus::Stopped:
    case NewMediaStatus::ApplicationsStopped:
      throw CliError("stopped; " + args.catalog + " is unchanged", kInterruptedStatus);
    case NewMediaStatus::NoTarget:
      throw CliError("--into " + std::to_string(args.into) + ": no folder at or before that item");
    case NewMediaStatus::UnknownKind:
      throw CliError("--kind " + args.kind + ": unknown media kind");
    case NewMediaStatus::EmptyPath:
      throw CliError(Translate("IDS_PATH_EMPTY"));
    case NewMediaStatus::EmptyName:
      throw CliError(Translate("IDS_NAME_EMPTY") + " (give --name)");
  }
  SaveCatalogForCli(catalog, args.catalog);
  const CFileItem* media = catalog[static_cast<size_t>(result.mediaIndex)];
  size_t end = catalog.SubtreeEnd(static_cast<size_t>(result.mediaIndex));
  size_t files = 0, dirs = 0;
  for (size_t i = static_cast<size_t>(result.mediaIndex) + 1; i < end; ++i)
    (catalog[i]->type == ITEM_FILE ? files : dirs)++;
  std::printf("%s: media \"%s\" at index %ld, %zu directories, %zu files\n", args.catalog.c_str(),
              OneLineText(media->name).c_str(), result.mediaIndex, dirs, files);
}

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

void RunDrives() {
  LoadConfig();
  CIniFile ini;
  ini.Load(SettingsFilePath(GlobalCliOptions().settingsFile));
  MediaTypeList types;
  LoadMediaTypes(ini, types);
  for (const MediaTypeEntry& row : types) {
    std::string line = MediaTypeRowText(row);
    if (!row.path.empty()) {
      if (auto volume = GetPlatform().GetVolumeInformation(row.path))
        line += "\t" + volume->label + "\t" + Hex8(volume->serialNumber) + "\t" + volume->fileSystem;
      else
        line += "\t\t\t";
    }
    std::printf("%s\n", line.c_str());
  }
}

void RunProperties(const std::string& catalogPath, long index) {
  LoadConfig();
  CFileItemList catalog = LoadCatalogForCli(catalogPath);
  if (index < -1 || index >= static_cast<long>(catalog.size()))
    throw CliError("INDEX " + std::to_string(index) + ": the catalog has " + std::to_string(catalog.size()) +
                   " items (-1 for the whole catalog)");
  struct stat st {};
  stat(catalogPath.c_str(), &st);
  uint32_t mtime = st.st_mtime > 0 && st.st_mtime <= 0xFFFFFFFFll ? static_cast<uint32_t>(st.st_mtime) : 0;
  std::string absolute = fs::absolute(catalogPath).lexically_normal().string();
  // Names that are not UTF-8 show their bytes as U+FFFD, as list and search do.
  for (const std::string& line : PropertiesListing(catalog, index, absolute, mtime))
    std::printf("%s\n", DisplayText(line).c_str());
  KeepUntilExit(std::move(catalog));
}

CliCommand reg([](CLI::App& app) {
  static ScanArgs scan;
  auto* s = app.add_subcommand("scan", "add a medium (a directory, CD or removable disk) to a catalog");
  s->add_option("CATALOG", scan.catalog, "catalog file (.QVD); created when missing")->required();
  s->add_option("PATH", scan.path, "directory or mount point to scan")->required();
  s->add_option("--name", scan.name, "media name (default: the volume label or the directory name)");
  s->add_option("--kind", scan.kind, "media kind")->check(CLI::IsMember({"Dir", "CD", "Rem"}));
  s->add_option("--into", scan.into, "catalog index of the selected item: the media goes into its folder");
  s->add_flag("--no-applications", scan.noApplications, "do not search for applications");
  s->add_flag("--no-archives", scan.noArchives, "do not list the contents of ZIP and CAB files");
  s->add_option("--threads", scan.threads, "threads that describe files (default: one per core)")
      ->check(CLI::Range(1u, 256u));
  s->callback([] { RunScan(scan); });

  app.add_subcommand("drives", "the media types with the volume of each drive (label, serial, file system)")
      ->callback(RunDrives);

  static std::string propCatalog;
  static long propIndex = -1;
  auto* p = app.add_subcommand("properties", "the properties of a catalog item, one line each");
  p->add_option("CATALOG", propCatalog, "catalog file (.QVD)")->required();
  p->add_option("INDEX", propIndex, "item index; -1 for the whole catalog")->required();
  p->callback([] { RunProperties(propCatalog, propIndex); });
});

}  // namespace
