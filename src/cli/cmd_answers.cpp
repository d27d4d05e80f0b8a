// quolvane-cli duplicates / stats / export / shelf: answers across a
// catalog or several (files kept twice, where the space goes, the list as
// a spreadsheet or a page) and the shelf of catalogs searched at once.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/Document.h"
#include "app/Settings.h"
#include "app/Shelf.h"
#include "catalog/FileItemList.h"
#include "cli/Cli.h"
#include "i18n/Translator.h"
#include "ports/Paths.h"
#include "ports/ProgressSink.h"
#include "query/Duplicates.h"
#include "query/Export.h"
#include "query/Statistics.h"
#include "scan/MediaPaths.h"
#include "text/Codepage.h"

namespace fs = std::filesystem;

namespace {

constexpr int kInterruptedStatus = 130;

std::atomic<bool> g_interrupted{false};
void OnInterrupt(int) { g_interrupted.store(true); }

// Ctrl-C asks long work to stop rather than killing it, so that what was
// done is still printed; percentages show when stderr is a terminal.
class InterruptibleProgress : public IProgressSink {
 public:
  InterruptibleProgress() : terminal_(isatty(STDERR_FILENO) != 0) {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_);
  }
  ~InterruptibleProgress() override { sigaction(SIGINT, &old_, nullptr); }
  void Begin(const std::string& text) override {
    text_ = text;
    SetPercent(0);
  }
  void SetPercent(int percent) override {
    if (!terminal_) return;
    std::fprintf(stderr, "\r%s %d%%", text_.c_str(), percent);
    std::fflush(stderr);
  }
  void End() override {
    if (terminal_) std::fprintf(stderr, "\r\033[K");
  }
  bool StopRequested() override { return g_interrupted.load(); }

 private:
  bool terminal_;
  std::string text_;
  struct sigaction old_ {};
};

void WriteOut(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

CFileItemList LoadForReading(const std::string& path) { return LoadCatalogForCli(path); }

long CheckFrom(const CFileItemList& list, long from) {
  if (from < -1 || from >= static_cast<long>(list.size()))
    throw CliError("--from " + std::to_string(from) + ": the catalog has " + std::to_string(list.size()) + " items");
  return from;
}

// ---- duplicates

struct DuplicatesArgs {
  std::vector<std::string> catalogs;
  std::string by = "name-size";
  uint64_t minKb = 0;
  long from = -1;
  bool json = false;
};

void RunDuplicates(const DuplicatesArgs& a) {
  InitTranslator("", 0L);
  if (a.from != -1 && a.catalogs.size() != 1)
    throw CLI::ValidationError("--from names an item of one catalog; give one CATALOG with it");
  // A catalog named twice would show every file as a copy of itself.
  std::vector<std::filesystem::path> seen;
  for (const std::string& c : a.catalogs) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(c, ec);
    if (ec) p = c;
    if (std::find(seen.begin(), seen.end(), p) != seen.end())
      throw CLI::ValidationError(c + ": the same catalog is named twice");
    seen.push_back(std::move(p));
  }
  // Every catalog stays loaded: a group's copies may lie in any of them.
  std::vector<CFileItemList> lists;
  lists.reserve(a.catalogs.size());
  for (const std::string& c : a.catalogs) lists.push_back(LoadForReading(c));
  std::vector<DuplicateSource> sources;
  for (const CFileItemList& l : lists) sources.push_back({&l, a.from == -1 ? -1 : CheckFrom(l, a.from)});
  DuplicateOptions o;
  o.rule = *DuplicateRuleFromName(a.by);
  o.minBytes = a.minKb * 1024;
  InterruptibleProgress progress;
  o.progress = &progress;
  const DuplicateResult r = FindDuplicates(sources, o);

  std::vector<std::unique_ptr<CItemPaths>> paths;
  for (const CFileItemList& l : lists) paths.push_back(std::make_unique<CItemPaths>(l));
  if (a.json) {
    nlohmann::json groups = nlohmann::json::array();
    for (const DuplicateGroup& g : r.groups) {
      nlohmann::json copies = nlohmann::json::array();
      for (const DuplicateCopy& c : g.copies)
        copies.push_back({{"catalog", a.catalogs[c.source]},
                          {"index", c.index},
                          {"path", DisplayText(paths[c.source]->Logical(c.index, true))}});
      groups.push_back({{"size", g.size}, {"count", g.copies.size()}, {"waste", g.Waste()}, {"copies", copies}});
    }
    const nlohmann::json doc = {{"by", a.by},           {"groups", groups},           {"totalBytes", r.totalBytes},
                                {"totalWaste", r.totalWaste}, {"stopped", r.stopped}, {"unreadable", r.unreadable}};
    WriteOut(doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  } else {
    std::string out;
    for (const DuplicateGroup& g : r.groups) {
      if (!out.empty()) out += '\n';
      out += std::to_string(g.size) + " bytes, " + std::to_string(g.copies.size()) + " copies, " +
             std::to_string(g.Waste()) + " bytes to free\n";
      for (const DuplicateCopy& c : g.copies)
        out += OneLineText(a.catalogs[c.source]) + '\t' + std::to_string(c.index) + '\t' +
               OneLineText(paths[c.source]->Logical(c.index, true)) + '\n';
      if (out.size() > 65536) {
        WriteOut(out);
        out.clear();
        out += '\n';  // the paragraph break before the next group
      }
    }
    WriteOut(out);
  }
  std::fflush(stdout);
  std::fprintf(stderr, "%zu groups; the copies take %llu bytes, one of each kept would free %llu bytes\n",
               r.groups.size(), static_cast<unsigned long long>(r.totalBytes),
               static_cast<unsigned long long>(r.totalWaste));
  if (r.unreadable)
    std::fprintf(stderr, "%zu files of colliding sizes could not be read (medium absent, changed or unreadable)\n",
                 r.unreadable);
  if (r.stopped) throw CliError("stopped; the groups above hold the files compared so far", kInterruptedStatus);
}

// ---- stats

void RunStats(const std::string& catalog, long from, bool json) {
  InitTranslator("", 0L);
  const CFileItemList list = LoadForReading(catalog);
  const CatalogStatistics s = ComputeStatistics(list, CheckFrom(list, from));
  const CItemPaths paths(list);
  if (json) {
    nlohmann::json kinds = nlohmann::json::object();
    for (int k = 0; k < KIND_COUNT; ++k)
      kinds[kFileKindWords[k]] = {{"files", s.byKind[k].count}, {"bytes", s.byKind[k].bytes}};
    nlohmann::json media = nlohmann::json::array();
    for (const MediumStatistics& m : s.media)
      media.push_back({{"index", m.index},
                       {"name", DisplayText(list[m.index]->name)},
                       {"files", m.files.count},
                       {"bytes", m.files.bytes}});
    nlohmann::json folders = nlohmann::json::array();
    for (const FolderSize& f : s.largestFolders)
      folders.push_back({{"index", f.index},
                         {"path", DisplayText(paths.Logical(f.index, true))},
                         {"files", f.files},
                         {"bytes", f.bytes}});
    const nlohmann::json doc = {{"files", s.files.count},   {"bytes", s.files.bytes},
                                {"directories", s.directories}, {"archiveMembers", s.archiveMembers},
                                {"byKind", kinds},          {"byMedium", media},
                                {"largestFolders", folders}};
    WriteOut(doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    return;
  }
  std::string out;
  out += "files\t" + std::to_string(s.files.count) + "\t" + std::to_string(s.files.bytes) + " bytes\n";
  out += "directories\t" + std::to_string(s.directories) + "\n";
  out += "archive members\t" + std::to_string(s.archiveMembers) + "\n";
  out += "\nby kind: kind, files, bytes\n";
  for (int k = 0; k < KIND_COUNT; ++k)
    out += std::string(kFileKindWords[k]) + '\t' + std::to_string(s.byKind[k].count) + '\t' +
           std::to_string(s.byKind[k].bytes) + '\n';
  out += "\nby medium: index, name, files, bytes\n";
  for (const MediumStatistics& m : s.media)
    out += std::to_string(m.index) + '\t' + OneLineText(list[m.index]->name) + '\t' +
           std::to_string(m.files.count) + '\t' + std::to_string(m.files.bytes) + '\n';
  out += "\nlargest folders: index, path, files, bytes\n";
  for (const FolderSize& f : s.largestFolders)
    out += std::to_string(f.index) + '\t' + OneLineText(paths.Logical(f.index, true)) + '\t' +
           std::to_string(f.files) + '\t' + std::to_string(f.bytes) + '\n';
  WriteOut(out);
}

// ---- export

struct ExportArgs {
  std::string catalog, format, output;
  long from = -1;
};

void RunExport(const ExportArgs& a) {
  InitTranslator("", 0L);
  const CFileItemList list = LoadForReading(a.catalog);
  const long from = CheckFrom(list, a.from);
  std::string title = fs::path(a.catalog).filename().string();
  if (from >= 0) title += " - " + list[static_cast<size_t>(from)]->name;
  const ExportFormat format = *ExportFormatFromName(a.format);
  InterruptibleProgress progress;
  auto produce = [&](const ExportOutput& output) {
    return ExportCatalog(list, from, format, output, title, &progress);
  };
  if (a.output.empty() || a.output == "-") {
    const bool complete = produce([](std::string_view bytes) { WriteOut(bytes); });
    if (std::fflush(stdout) != 0) throw CliError(std::string("standard output: ") + std::strerror(errno));
    if (!complete) throw CliError("stopped", kInterruptedStatus);
    return;
  }
  std::string error;
  if (!WriteExportFile(a.output, produce, &error))
    throw CliError(a.output + ": " + error, g_interrupted.load() ? kInterruptedStatus : 1);
}

// ---- shelf

void RunShelf(const std::string& action, const std::vector<std::string>& files) {
  const std::string settingsPath = SettingsFilePath(GlobalCliOptions().settingsFile);
  CIniFile ini;
  std::error_code ec;
  if (!ini.Load(settingsPath) && fs::exists(settingsPath, ec))
    throw CliError(settingsPath + ": the settings file cannot be read");
  std::vector<std::string> shelf = ReadShelf(ini);
  if (action == "list") {
    if (!files.empty()) throw CLI::ValidationError("shelf list takes no FILE");
    std::string out;
    for (const std::string& f : shelf) out += OneLineText(f) + '\n';
    WriteOut(out);
    return;
  }
  if (files.empty()) throw CLI::ValidationError("shelf " + action + " needs a FILE");
  for (const std::string& f : files) {
    if (action == "add") {
      if (const int problem = CatalogReadProblem(f)) throw CliError(f + ": " + std::strerror(problem));
      if (!AddToShelf(shelf, f)) std::fprintf(stderr, "quolvane-cli: %s: on the shelf already\n", f.c_str());
    } else if (!RemoveFromShelf(shelf, f)) {
      throw CliError(f + ": not on the shelf");
    }
  }
  WriteShelf(ini, shelf);
  std::string error;
  if (!ini.Save(settingsPath, &error)) throw CliError(settingsPath + ": " + error);
}

CliCommand reg([](CLI::App& app) {
  static DuplicatesArgs dup;
  auto* d = app.add_subcommand("duplicates",
                               "groups of files catalogued more than once, the largest waste first: a paragraph per "
                               "group, then one line per copy: catalog TAB index TAB path");
  d->add_option("CATALOG", dup.catalogs, "catalog files (.QVD)")->required();
  d->add_option("--by", dup.by, "what makes files the same (default name-size; content reads files whose medium is present)")
      ->check(CLI::IsMember({"name-size", "name-size-date", "content"}));
  d->add_option("--min-kb", dup.minKb, "leave out files smaller than this many kilobytes");
  d->add_option("--from", dup.from, "only below this item (one catalog)");
  d->add_flag("--json", dup.json, "JSON output");
  d->callback([] { RunDuplicates(dup); });

  static std::string statsCatalog;
  static long statsFrom = -1;
  static bool statsJson = false;
  auto* st = app.add_subcommand("stats", "where the space goes: sizes by kind of file, by medium, largest folders");
  st->add_option("CATALOG", statsCatalog, "catalog file (.QVD)")->required();
  st->add_option("--from", statsFrom, "below this item (default: the whole catalog)");
  st->add_flag("--json", statsJson, "JSON output");
  st->callback([] { RunStats(statsCatalog, statsFrom, statsJson); });

  static ExportArgs exp;
  auto* e = app.add_subcommand("export", "the items as CSV (RFC 4180), one HTML page or JSON lines");
  e->add_option("CATALOG", exp.catalog, "catalog file (.QVD)")->required();
  e->add_option("--from", exp.from, "the items below this one (default: the whole catalog)");
  e->add_option("--format", exp.format, "csv, html or json")->required()->check(CLI::IsMember({"csv", "html", "json"}));
  e->add_option("-o,--output", exp.output, "file to write (default: standard output)");
  e->callback([] { RunExport(exp); });

  static std::string shelfAction;
  static std::vector<std::string> shelfFiles;
  auto* sh = app.add_subcommand("shelf", "the catalogs searched together (search --shelf): list, add FILE..., remove FILE...");
  sh->add_option("ACTION", shelfAction, "list, add or remove")->required()->check(CLI::IsMember({"list", "add", "remove"}));
  sh->add_option("FILE", shelfFiles, "catalog files");
  sh->callback([] { RunShelf(shelfAction, shelfFiles); });
});

}  // namespace
