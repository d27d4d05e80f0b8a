// quolvane-cli applications / search-applications: list the application
// items of a catalog, run the application pass over one of its media.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "app/Settings.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"
#include "platform/Platform.h"
#include "ports/Paths.h"
#include "ports/TempDir.h"
#include "ports/UiPort.h"
#include "scan/Applications.h"
#include "scan/Scanner.h"
#include "text/Codepage.h"

namespace {

constexpr int kStoppedStatus = 130;

void StartTexts() {
  CIniFile ini;
  ini.Load(SettingsFilePath(GlobalCliOptions().settingsFile));  // a missing file gives the defaults
  const ConfigSettings config = ReadConfig(ini);
  InitTranslator(config.langFile, config.language);
}

CFileItemList Load(const std::string& path) { return LoadCatalogForCli(path); }

long CheckIndex(const CFileItemList& list, long index, const char* what) {
  if (index < 0 || index >= static_cast<long>(list.size()))
    throw CliError(std::string(what) + " " + std::to_string(index) + ": the catalog has " +
                   std::to_string(list.size()) + " items");
  return index;
}

// The date as the lists show it: day/month/year in local time.
std::string ListDate(uint32_t time) {
  const time_t t = time;
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
  return text;
}

void RunList(const std::string& catalogPath, long from) {
  StartTexts();
  const CFileItemList list = Load(catalogPath);
  size_t first = 0, end = list.size();
  if (from >= 0) {
    first = static_cast<size_t>(CheckIndex(list, from, "--from"));
    end = list.SubtreeEnd(first);
  }
  for (size_t i = first; i < end; ++i) {
    if (!list[i]->IsApplication()) continue;
    const auto* app = static_cast<const CFileItemAppli*>(list[i]);
    std::printf("%zu\t%s\t%s\t%u Ko\t%s\n", i, OneLineText(app->GetTitle()).c_str(),
                OneLineText(app->installProgram).c_str(), app->appSize >> 10, ListDate(app->appTime).c_str());
  }
}

// The applications counter on the terminal, about once a second.
class TerminalApplicationsSink : public IScanProgressSink {
 public:
  explicit TerminalApplicationsSink(bool enabled) : enabled_(enabled) {}
  void SetApplications(int count) override {
    const std::time_t now = std::time(nullptr);
    if (!enabled_ || now == last_) return;
    last_ = now;
    std::fprintf(stderr, "\r\033[K%s %d", Translate("$$Applications :").c_str(), count);
    std::fflush(stderr);
    drawn_ = true;
  }
  void Close() override {
    if (drawn_) std::fprintf(stderr, "\r\033[K");
    drawn_ = false;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::time_t last_ = 0;
};

// Nobody to ask: messages go to stderr, the stop question is answered yes.
class StderrUi : public IUiPort {
 public:
  int MessageBox(const std::string& text, const std::string& caption, unsigned) override {
    if (text != Translate("IDS_DOYOUWANTSTOP")) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
  }
};

void RunSearch(const std::string& catalogPath, long mediaIndex) {
  StartTexts();
  CCatalogLock lock;
  LockCatalogForChange(lock, catalogPath);
  CFileItemList list = Load(catalogPath);
  const size_t media = static_cast<size_t>(CheckIndex(list, mediaIndex, "MEDIA-INDEX"));
  if (!list[media]->IsMedia()) throw CliError("MEDIA-INDEX " + std::to_string(mediaIndex) + ": not a media item");
  const auto* root = static_cast<const CFileItemMedia*>(list[media]);
  if (!GetPlatform().PathExists(root->rootPath))
    std::fprintf(stderr, "quolvane-cli: %s: not reachable; only signatures that read no file can match\n", root->rootPath.c_str());
  if (!Applications().LoadDefault())
    std::fprintf(stderr, "quolvane-cli: %s: cannot be read; the built-in rules only\n", ApplisDatPath().c_str());

  TerminalApplicationsSink sink(isatty(STDERR_FILENO) != 0);
  StderrUi ui;
  CScanProgress progress(&sink, &ui);
  bool stopped = false;
  int before = 0;
  for (size_t i = 0; i < list.size(); ++i) before += list[i]->IsApplication();
  SearchApplications(Applications(), list, media, stopped, &progress);
  progress.Close();
  RemoveTempWorkDirectory();
  if (stopped) throw CliError("stopped; " + catalogPath + " is unchanged", kStoppedStatus);

  int after = 0;
  for (size_t i = 0; i < list.size(); ++i) after += list[i]->IsApplication();
  SaveCatalogForCli(list, catalogPath);
  std::printf("%s: media \"%s\": %d applications, %d new\n", catalogPath.c_str(), list[media]->name.c_str(),
              after, after - before);
}

CliCommand reg([](CLI::App& app) {
  static std::string listCatalog;
  static long from = -1;
  auto* l = app.add_subcommand("applications",
                               "the application items of a catalog: index, title, installation program, size, date");
  l->add_option("CATALOG", listCatalog, "catalog file (.QVD)")->required();
  l->add_option("--from", from, "only the applications in the subtree of this item (a folder or media)");
  l->callback([] { RunList(listCatalog, from); });

  static std::string searchCatalog;
  static long mediaIndex = -1;
  auto* s = app.add_subcommand("search-applications",
                               "recognise the applications of one media of a catalog and save the catalog");
  s->add_option("CATALOG", searchCatalog, "catalog file (.QVD)")->required();
  s->add_option("MEDIA-INDEX", mediaIndex, "catalog index of the media item")->required();
  s->callback([] { RunSearch(searchCatalog, mediaIndex); });
});

}  // namespace
