// quolvane-cli search / print / merge / folder / rename / delete / refresh /
// filters: the document's commands on a catalog file, saved afterwards.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>

#include "app/Application.h"
#include "app/Document.h"
#include "app/Print.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "cli/Cli.h"
#include "cli/ScanSink.h"
#include "i18n/Translator.h"
#include "ports/Paths.h"
#include "ports/TempDir.h"
#include "ports/UiPort.h"
#include "query/FilterEditing.h"
#include "query/MultiSearch.h"
#include "query/PathWalk.h"
#include "query/Search.h"
#include "scan/MediaPaths.h"
#include "text/Codepage.h"

namespace fs = std::filesystem;

namespace {

// A question that was not answered yes ends the command with this status.
constexpr int kRefusedStatus = 2;
constexpr int kInterruptedStatus = 130;

// The command line as the document's UI: messages go to stderr, questions
// are answered yes with --yes and refused otherwise, dialogs answer with
// what the command line gave.
class CliPort : public IUiPort {
 public:
  bool yes = false;
  bool refused = false;
  std::optional<std::string> folderName;
  std::optional<RefreshFields> refresh;
  std::optional<Filter> filter;

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    const unsigned buttons = flags & 0xF;
    // Ctrl-C was the stop question.
    if (text == Translate("IDS_DOYOUWANTSTOP")) return IDOK;
    Print(caption, text);
    if (buttons == MB_OK) return IDOK;
    // The same question twice in a row cannot be answered differently by
    // the command line (a medium to insert): the second time is a no.
    const int no = buttons == MB_YESNO ? IDNO : IDCANCEL;
    if (!yes) {
      refused = true;
      return no;
    }
    const bool again = text == lastQuestion_;
    lastQuestion_ = text;
    return again ? no : (buttons == MB_OKCANCEL ? IDOK : IDYES);
  }
  std::optional<std::string> NewFolderDialog(const std::string&) override { return std::exchange(folderName, {}); }
  std::optional<RefreshFields> RefreshDialog(const RefreshFields&) override { return std::exchange(refresh, {}); }
  std::optional<Filter> FilterDialog(const Filter&) override { return std::exchange(filter, {}); }

 private:
  static void Print(const std::string& caption, const std::string& text) {
    std::string clean;
    for (char c : text)
      if (c != '\r') clean += c;
    if (caption.empty()) std::fprintf(stderr, "%s\n", clean.c_str());
    else std::fprintf(stderr, "%s: %s\n", caption.c_str(), clean.c_str());
  }
  std::string lastQuestion_;
};

// The document's panes on the command line: only a scan's progress and problems show.
class CliView : public IDocumentView {
 public:
  IScanProgressSink* ScanProgress() override { return &sink_; }

 private:
  TerminalScanSink sink_{isatty(STDERR_FILENO) != 0};
};

std::atomic<CQuolvaneDoc*> g_document{nullptr};

void OnInterrupt(int) {
  if (CQuolvaneDoc* d = g_document.load())
    if (CScanProgress* p = d->ScanInProgress()) p->RequestStop();
}

// The program's start-up for one command: settings, texts, the document
// with the catalog loaded. The temporary directory goes at the end.
class Session {
 public:
  explicit Session(const std::string& catalog) : path_(catalog) {
    app_.ReadSettings(SettingsFilePath(GlobalCliOptions().settingsFile));
    LockCatalogForChange(lock_, catalog);
    doc_ = std::make_unique<CQuolvaneDoc>(app_.settings, port, &view_);
    doc_->list = LoadCatalogForCli(catalog);
    doc_->SetPathName(catalog, false);
    g_document.store(doc_.get());
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_);
  }
  ~Session() {
    sigaction(SIGINT, &old_, nullptr);
    g_document.store(nullptr);
    RemoveTempWorkDirectory();
  }
  CQuolvaneDoc& Doc() { return *doc_; }
  // Index argument check: an item of the catalog.
  long Index(long index, const char* what) const {
    if (index < 0 || static_cast<size_t>(index) >= doc_->list.size())
      throw CliError(std::string(what) + " " + std::to_string(index) + ": the catalog has " +
                     std::to_string(doc_->list.size()) + " items");
    return index;
  }
  // Ends the command: a refused question is an error, an unchanged
  // catalog is not written, a changed one is saved (failing in one line,
  // as every command does, rather than through the document's boxes).
  void Finish(const std::string& nothingDone) {
    if (port.refused) throw CliError("not done: answer the question with --yes", kRefusedStatus);
    if (!doc_->IsModified()) throw CliError(nothingDone);
    SaveCatalogForCli(doc_->list, path_);
  }

  CliPort port;

 private:
  std::string path_;
  CQuolvaneApp app_;
  CCatalogLock lock_;  // released after the document is gone
  CliView view_;
  std::unique_ptr<CQuolvaneDoc> doc_;
  struct sigaction old_ {};
};

// A catalog read for looking only.
CFileItemList LoadForReading(const std::string& path) {
  InitTranslator("", 0L);
  return LoadCatalogForCli(path);
}

void WriteOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

struct SearchArgs {
  std::vector<std::string> words;  // CATALOG TEXT, or TEXT with --in or --shelf
  std::vector<std::string> in;
  bool shelf = false;
  std::string kind = "all";
  bool caseSensitive = false;
  uint32_t minKb = 0, maxKb = 0;
  long from = -1;
};

// One result line's text, escaped as OneLineText does, appended without
// a copy of its own: a search may print a hundred thousand of them.
void AppendOneLine(std::string& out, std::string_view text) {
  if (text.find_first_of("\t\r\n\xED") == std::string_view::npos) out.append(text);
  else out += OneLineText(text);
}

// The results of one catalog, each with its catalog path; catalogColumn
// (when not null) goes first on every line.
void PrintResults(const CFileItemList& list, const std::vector<size_t>& found, const std::string* catalogColumn) {
  CLogicalPathWalk paths(list);
  std::string out, path;
  char number[24];
  for (const size_t i : found) {
    if (catalogColumn) {
      AppendOneLine(out, *catalogColumn);
      out += '\t';
    }
    const auto n = std::to_chars(number, number + sizeof number, i).ptr;
    out.append(number, n);
    out += '\t';
    path.clear();
    paths.Append(i, true, path);
    AppendOneLine(out, path);
    out += '\n';
    if (out.size() > 65536) {
      WriteOut(out);
      out.clear();
    }
  }
  WriteOut(out);
}

void RunSearch(SearchArgs& a) {
  const bool several = a.shelf || !a.in.empty();
  if (several ? a.words.size() != 1 : a.words.size() != 2)
    throw CLI::ValidationError(several ? "with --in or --shelf, give the TEXT alone" : "give CATALOG and TEXT");
  static const char* const kinds[] = {"all", "file", "directory", "application", "description"};
  SearchCriteria c;
  for (int k = 0; k < 5; ++k)
    if (a.kind == kinds[k]) c.kind = k;
  c.text = a.words.back();
  c.ignoreCase = a.caseSensitive ? 0 : 1;
  c.minKb = a.minKb;
  c.maxKb = a.maxKb;
  if (!several) {
    const CFileItemList list = LoadForReading(a.words[0]);
    if (a.from < -1 || a.from >= static_cast<long>(list.size()))
      throw CliError("--from " + std::to_string(a.from) + ": the catalog has " + std::to_string(list.size()) +
                     " items");
    if (!PrepareSearch(c)) throw CliError(Translate("IDS_SEARCH_EMPTY"));
    std::vector<size_t> found;
    if (!SearchCatalog(list, a.from, c, found)) throw CliError(SearchNotFoundMessage(c).text);
    PrintResults(list, found, nullptr);
    return;
  }
  if (a.from != -1) throw CLI::ValidationError("--from searches below an item of one catalog, not with --in or --shelf");
  InitTranslator("", 0L);
  std::vector<std::string> files = a.in;
  if (a.shelf) {
    CQuolvaneApp app;
    app.ReadSettings(SettingsFilePath(GlobalCliOptions().settingsFile));
    RemoveTempWorkDirectory();
    if (app.settings.shelf.empty()) throw CliError("the shelf is empty: add catalogs with 'shelf add FILE'");
    files.insert(files.end(), app.settings.shelf.begin(), app.settings.shelf.end());
  }
  if (!PrepareSearch(c)) throw CliError(Translate("IDS_SEARCH_EMPTY"));
  const MultiSearchResult r = SearchCatalogFiles(
      files, c, [&](size_t k, const CFileItemList& list, const std::vector<size_t>& found) {
        PrintResults(list, found, &files[k]);
      });
  for (const MultiSearchFailure& f : r.failures)
    std::fprintf(stderr, "quolvane-cli: %s: %s\n", f.file.c_str(), f.reason.c_str());
  if (!r.failures.empty()) throw CliError(std::to_string(r.failures.size()) + " of " + std::to_string(files.size()) +
                                          " catalogs could not be read");
  if (r.found == 0) throw CliError(SearchNotFoundMessage(c).text);
}

struct PrintArgs {
  std::string catalog;
  long from = -1;
  bool files = false, tree = false, applications = false;
  bool noSize = false, noDate = false, noAttributes = false;
  int linesPerPage = 55;
};

void RunPrint(const PrintArgs& a) {
  if (a.linesPerPage < 1) throw CliUsageError("--lines-per-page: must be at least 1", "print");
  const CFileItemList list = LoadForReading(a.catalog);
  if (a.from < -1 || a.from >= static_cast<long>(list.size()))
    throw CliError("--from " + std::to_string(a.from) + ": the catalog has " + std::to_string(list.size()) + " items");
  PrintFields f;
  f.content = a.tree ? PrintContent::Tree : a.applications ? PrintContent::Applications : PrintContent::ContainedFiles;
  f.size = !a.noSize;
  f.dateTime = !a.noDate;
  f.attributes = !a.noAttributes;
  const CPrintJob job = MakePrintJob(list, a.from, f);
  const std::string path = fs::absolute(a.catalog).lexically_normal().string();
  WriteOut(PrintJobAsText(list, job, path, fs::path(path).filename().string(), a.linesPerPage));
  // Empty pages alone would not say why: from the root the first top-level
  // item is printed, which may well hold nothing of the kind asked.
  if (job.items.empty()) {
    const char* what = a.tree ? "directories" : a.applications ? "applications" : "files directly";
    if (job.startIndex >= list.size())
      std::fprintf(stderr, "quolvane-cli: %s: the catalog is empty\n", a.catalog.c_str());
    else
      std::fprintf(stderr, "quolvane-cli: printed item %zu \"%s\", which holds no %s; choose another with --from\n",
                   job.startIndex, list[job.startIndex]->name.c_str(), what);
  }
}

struct EditArgs {
  std::string catalog, other, name;
  long index = -1;
  long in = -1;
  bool yes = false, noApplications = false, noArchives = false;
};

void RunFilters(const std::string& action, const std::vector<std::string>& words, bool showEmpty, bool yes) {
  CQuolvaneApp app;
  const std::string settingsPath = SettingsFilePath(GlobalCliOptions().settingsFile);
  app.ReadSettings(settingsPath);
  struct Cleanup {
    ~Cleanup() { RemoveTempWorkDirectory(); }
  } cleanup;
  CFilterState& state = app.settings.filters;
  if (action == "list") {
    if (!words.empty()) throw CliUsageError(UnexpectedArgumentsProblem(words), "filters");
    std::string out;
    for (size_t i = 0; i < state.filters.size(); ++i) {
      const Filter& f = state.filters[i];
      std::string exts;
      for (const auto& e : f.extensions) exts += (exts.empty() ? "" : ",") + e;
      out += std::to_string(i) + '\t' + f.name + '\t' + std::to_string(f.showEmptyDirectories) + '\t' + exts +
             (static_cast<int>(i) == state.current ? "\t*" : "") + '\n';
    }
    WriteOut(out);
    return;
  }
  CliPort port;
  port.yes = yes;
  CFilterListEditor editor(state, port);
  if (action == "add") {
    if (words.empty() || words[0].empty()) throw CliUsageError("filters add: a filter NAME is needed", "filters");
    Filter f;
    f.name = words[0];
    f.extensions.assign(words.begin() + 1, words.end());
    f.showEmptyDirectories = showEmpty ? 1 : 0;
    port.filter = f;
    if (!editor.New()) throw CliError("a filter needs a name");
  } else if (action == "delete") {
    if (words.empty()) throw CliUsageError("filters delete: the filter's INDEX is needed", "filters");
    if (words.size() > 1)
      throw CliUsageError(UnexpectedArgumentsProblem({words.begin() + 1, words.end()}), "filters");
    size_t used = 0;
    long index = -1;
    try {
      index = std::stol(words[0], &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != words[0].size()) throw CliUsageError(NotANumberProblem("INDEX", words[0]), "filters");
    if (index < 0 || static_cast<size_t>(index) >= state.filters.size())
      throw CliError("filter " + words[0] + ": there are " + std::to_string(state.filters.size()) + " filters");
    if (!editor.Delete(static_cast<size_t>(index)))
      throw CliError("not done: answer the question with --yes", kRefusedStatus);
  } else {
    throw CliUsageError("filters: list, add or delete", "filters");
  }
  std::string error;
  if (!app.settings.Write(nullptr, &error)) throw CliError(settingsPath + ": " + error);
}

CliCommand reg([](CLI::App& app) {
  static SearchArgs search;
  auto* s = app.add_subcommand("search",
                               "items by name, description and size: index TAB catalog path; with --in or --shelf, "
                               "the catalog file first");
  s->add_option("[CATALOG] TEXT", search.words,
                "catalog file (.QVD), then a name pattern (? and *) or description text, which may be empty with "
                "a size limit; with --in or --shelf, the text alone")
      ->required()
      ->expected(1, 2);
  s->add_option("--in", search.in, "search this catalog file; repeat for several (read one at a time)")
      ->allow_extra_args(false);
  s->add_flag("--shelf", search.shelf, "search every catalog of the shelf");
  s->add_option("--kind", search.kind, "what is searched")
      ->check(CLI::IsMember({"all", "file", "directory", "application", "description"}));
  s->add_flag("--case", search.caseSensitive, "case sensitive");
  s->add_option("--min-kb", search.minKb, "minimum file size in kilobytes");
  s->add_option("--max-kb", search.maxKb, "files smaller than this many kilobytes");
  s->add_option("--from", search.from, "search below this item (default: the whole catalog)");
  s->callback([] { RunSearch(search); });

  static PrintArgs print;
  auto* p = app.add_subcommand("print", "print the files, tree or applications below an item as text pages");
  p->add_option("CATALOG", print.catalog, "catalog file (.QVD)")->required();
  p->add_option("--from", print.from,
                "the selected item (default: the root, which, as in the window, prints the first top-level item)");
  auto* files = p->add_flag("--files", print.files, "the files directly under the item (default)");
  auto* tree = p->add_flag("--tree", print.tree, "the tree of directories");
  auto* applications = p->add_flag("--applications", print.applications, "the applications");
  files->excludes(tree)->excludes(applications);
  tree->excludes(applications);
  p->add_flag("--no-size", print.noSize, "no size column");
  p->add_flag("--no-date", print.noDate, "no date column");
  p->add_flag("--no-attributes", print.noAttributes, "no attributes column");
  p->add_option("--lines-per-page", print.linesPerPage, "body lines per page (default 55)");
  p->callback([] { RunPrint(print); });

  static EditArgs edit;
  auto* m = app.add_subcommand("merge", "add the items of another catalog at the end of CATALOG");
  m->add_option("CATALOG", edit.catalog, "catalog file (.QVD)")->required();
  m->add_option("OTHER", edit.other, "catalog whose items are added")->required();
  m->callback([] {
    Session session(edit.catalog);
    // Read once here so that a file that is no catalog fails in one line
    // before the document reads it again.
    LoadCatalogForCli(edit.other);
    session.Doc().MergePath(edit.other);
    session.Finish(edit.other + ": nothing merged");
  });

  auto* f = app.add_subcommand("folder", "add a user folder");
  f->add_option("CATALOG", edit.catalog, "catalog file (.QVD)")->required();
  f->add_option("NAME", edit.name, "folder name")->required();
  f->add_option("--in", edit.in, "the folder to put it in (first child); default: at the end, top level");
  f->callback([] {
    Session session(edit.catalog);
    if (edit.in != -1) session.Doc().currentIndex = session.Index(edit.in, "--in");
    session.port.folderName = edit.name;
    session.Doc().OnNewFolder();
    session.Finish(edit.name.empty() ? Translate("IDS_NAME_EMPTY") : "--in " + std::to_string(edit.in) + ": not a folder");
  });

  auto* r = app.add_subcommand("rename", "rename a folder or media");
  r->add_option("CATALOG", edit.catalog, "catalog file (.QVD)")->required();
  r->add_option("INDEX", edit.index, "item index")->required();
  r->add_option("NAME", edit.name, "new name")->required();
  r->callback([] {
    Session session(edit.catalog);
    session.Doc().Rename(session.Index(edit.index, "INDEX"), edit.name);
    session.Finish("item " + std::to_string(edit.index) + ": only folders and media can be renamed");
  });

  auto* d = app.add_subcommand("delete", "delete an item and its subtree");
  d->add_option("CATALOG", edit.catalog, "catalog file (.QVD)")->required();
  d->add_option("INDEX", edit.index, "item index")->required();
  d->add_flag("--yes", edit.yes, "answer the question yes");
  d->callback([] {
    Session session(edit.catalog);
    session.port.yes = edit.yes;
    session.Doc().currentIndex = session.Index(edit.index, "INDEX");
    session.Doc().OnDelete();
    session.Finish("nothing deleted");
  });

  auto* rf = app.add_subcommand("refresh", "scan a media again and replace its contents");
  rf->add_option("CATALOG", edit.catalog, "catalog file (.QVD)")->required();
  rf->add_option("INDEX", edit.index, "index of the media")->required();
  rf->add_flag("--no-applications", edit.noApplications, "do not search for applications");
  rf->add_flag("--no-archives", edit.noArchives, "do not list the contents of ZIP and CAB files");
  rf->add_flag("--yes", edit.yes, "answer questions yes (refresh a medium that is not the original)");
  rf->callback([] {
    Session session(edit.catalog);
    session.port.yes = edit.yes;
    session.port.refresh = RefreshFields{edit.noApplications, edit.noArchives};
    const long index = session.Index(edit.index, "INDEX");
    if (session.Doc().list[static_cast<size_t>(index)]->type != ITEM_MEDIA)
      throw CliError("item " + std::to_string(index) + ": not a media");
    session.Doc().currentIndex = index;
    session.Doc().OnRefresh();
    if (!session.port.refused && !session.Doc().IsModified())
      throw CliError("stopped; " + edit.catalog + " is unchanged", kInterruptedStatus);
    session.Finish("nothing refreshed");
  });

  static std::string filterAction;
  static std::vector<std::string> filterWords;
  static bool showEmpty = false, filterYes = false;
  auto* fl = app.add_subcommand("filters", "the extension filters of the settings file: list, add NAME EXT..., delete INDEX");
  fl->add_option("ACTION", filterAction, "list, add or delete")->required()->check(CLI::IsMember({"list", "add", "delete"}));
  fl->add_option("ARGS", filterWords, "add: NAME and extensions; delete: INDEX");
  fl->add_flag("--show-empty", showEmpty, "add: the tree keeps directories without matching files");
  fl->add_flag("--yes", filterYes, "delete: answer the question yes");
  fl->callback([] { RunFilters(filterAction, filterWords, showEmpty, filterYes); });
});

}  // namespace
