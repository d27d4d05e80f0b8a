#include "app/Document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>

#include "app/Settings.h"
#include "app/Shelf.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "describe/Archive.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "ports/UiPort.h"
#include "query/FilterEditing.h"
#include "scan/Applications.h"
#include "scan/DescribeHandOff.h"
#include "scan/MediaPaths.h"
#include "scan/MediaScan.h"
#include "scan/MediaTypes.h"

namespace fs = std::filesystem;

namespace {

// System texts are shown cut to 255 bytes, never inside a UTF-8 sequence.
std::string SystemTextForBox(std::string text) {
  if (text.size() <= 255) return text;
  size_t cut = 255;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

std::string AbsolutePathOf(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

}  // namespace

int CatalogReadProblem(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  const bool isDir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  return isDir ? EISDIR : 0;
}

namespace {

class WaitCursor {
 public:
  explicit WaitCursor(IDocumentView& view) : view_(view) { view_.BeginWaitCursor(); }
  ~WaitCursor() { view_.EndWaitCursor(); }

 private:
  IDocumentView& view_;
};

}  // namespace

std::string CatalogFileFilter() {
  std::string filter = Translate("IDS_FILE_FILTER") + " (*.QVD)";
  filter.push_back('\0');
  filter += "*.QVD";
  filter.push_back('\0');
  filter += Translate("IDS_FILE_FILTERALL") + " (*.*)";
  filter.push_back('\0');
  filter += "*.*";
  filter.push_back('\0');
  filter.push_back('\0');
  return filter;
}

CQuolvaneDoc::CQuolvaneDoc(CAppSettings& settings, IUiPort& ui, IDocumentView* view)
    : settings_(settings), ui_(ui), view_(view) {
  list.fileVersion = CATALOG_VERSION;
  clock = [] { return static_cast<uint32_t>(std::time(nullptr)); };
  scanOptions = [this](bool uncompress) {
    ScanOptions options;
    options.uncompress = uncompress;
    options.describe = ToDescribeSettings(settings_.config);
    options.describeFile = [](CFileItemList& l, size_t i, const DescribeSettings& s, IDescribeHost& h) {
      return DescribeFile(l, i, s, h);
    };
    options.describeThreads = DefaultDescribeThreads();
    options.describesFile = WouldDescribe;
    InstallArchiveHooks(options);
    return options;
  };
}

const std::vector<std::string>& CQuolvaneDoc::RecentFiles() const { return settings_.recentFiles; }

void CQuolvaneDoc::SetPathName(const std::string& path, bool addToRecent) {
  pathName_ = AbsolutePathOf(path);
  if (addToRecent) AddRecentFile(settings_.recentFiles, pathName_);
}

void CQuolvaneDoc::MakeUntitled() {
  pathName_.clear();
  readPath_.clear();
}

std::string CQuolvaneDoc::Title() const {
  if (pathName_.empty()) return Translate("IDS_DB_NONAME");
  return fs::path(pathName_).filename().string();
}

void CQuolvaneDoc::Refresh() { View().RefreshPanes(); }

void CQuolvaneDoc::MarkChanged() {
  modified_ = true;
  Refresh();
}

void CQuolvaneDoc::ResetSelection() {
  currentIndex = -1;
  listSelection = -1;
}

bool CQuolvaneDoc::ConfirmDiscard() {
  if (!modified_) return true;
  return ui_.MessageBox(Translate("IDS_CLOSEWITHOUTSAVE"), Translate("IDS_WARNING"), MB_OKCANCEL | MB_ICONQUESTION) !=
         IDCANCEL;
}

void CQuolvaneDoc::ReportException(const std::string& key, const std::string& systemText) {
  if (IProgressSink* p = View().Progress()) p->End();
  ui_.MessageBox(SystemTextForBox(systemText), Translate(key), MB_ICONERROR);
}

// ---------------------------------------------------------------------------
// Reading and writing

bool CQuolvaneDoc::CheckReadable(const std::string& path) {
  const int problem = CatalogReadProblem(path);
  if (problem == 0) return true;
  ui_.MessageBox(FormatInserts(Translate("IDS_CANNOTOPENFILE2"), {path, SystemTextForBox(std::strerror(problem))}),
                 std::string(), MB_ICONERROR);
  return false;
}

bool CQuolvaneDoc::FileChangedSinceRead(const std::string& path) const {
  if (readPath_.empty() || AbsolutePathOf(path) != readPath_) return false;
  return CatalogFileStamp::Of(path) != readStamp_;
}

SerializeResult CQuolvaneDoc::OpenAndSerialize(const std::string& path, bool forWrite) {
  WaitCursor wait(View());
  // Another program (a scan from the command line, another window) may
  // have saved the file since it was read: replacing it would lose that.
  if (forWrite && FileChangedSinceRead(path) &&
      ui_.MessageBox(FormatInserts(Translate("IDS_CATALOGCHANGED"), {AbsolutePathOf(path)}),
                     Translate("IDS_WARNING"), MB_YESNO | MB_ICONQUESTION) != IDYES)
    return SerializeResult::Declined;
  const bool opening = !forWrite && list.size() == 0;
  if (forWrite) {
    if (const std::string problem = CatalogWriteProblem(path); !problem.empty()) {
      ui_.MessageBox(FormatInserts(Translate("IDS_CANNOTOPENFILE2"), {path, SystemTextForBox(problem)}),
                     std::string(), MB_ICONERROR);
      return SerializeResult::CannotOpen;
    }
  } else if (!CheckReadable(path)) {
    return SerializeResult::CannotOpen;
  }
  const SerializeResult result = ReportStreamErrors([&] {
    if (!forWrite) return LoadCatalogFile(list, path, View().Progress());
    SaveCatalogFile(list, path, View().Progress());
    return CatalogReadResult::Ok;
  });
  // What was read into an empty catalog, or written, is the file on disk
  // that a later save may replace without asking. A merge is not.
  if (result == SerializeResult::Ok && (opening || forWrite)) {
    readPath_ = AbsolutePathOf(path);
    readStamp_ = CatalogFileStamp::Of(path);
  }
  return result;
}

SerializeResult CQuolvaneDoc::ReportStreamErrors(const std::function<CatalogReadResult()>& run) {
  try {
    if (run() == CatalogReadResult::TooRecent) {
      ui_.MessageBox(Translate("IDS_TOORECENTFILE"), Translate("IDS_ERROR"), MB_ICONERROR);
      return SerializeResult::TooRecent;
    }
  } catch (const CCatalogException& e) {
    ReportException(e.key, e.what());
    return SerializeResult::Failed;
  } catch (const std::bad_alloc&) {
    ReportException("IDS_MEMERROR", std::strerror(ENOMEM));
    return SerializeResult::Failed;
  }
  return SerializeResult::Ok;
}

std::optional<std::string> CQuolvaneDoc::ChooseCatalogFile(bool save) {
  FileDialogFields f;
  f.save = save;
  f.filter = CatalogFileFilter();
  f.filterIndex = 1;
  f.defaultExtension = "QVD";
  const fs::path current(pathName_);
  f.initialDirectory = current.parent_path().string();
  if (save) {
    f.fileName = pathName_.empty() ? Title() + ".QVD" : current.filename().string();
    f.flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
  } else {
    f.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  }
  return ui_.FileDialog(f);
}

// ---------------------------------------------------------------------------
// Start-up and closing

void CQuolvaneDoc::OnNewDocument(const std::string& lastUsed) {
  bool opened = false;
  if (!lastUsed.empty()) {
    SetPathName(lastUsed);
    // A file that could not be read is not adopted: saving would replace it.
    opened = OpenAndSerialize(pathName_, false) == SerializeResult::Ok;
  }
  if (!opened) {
    // An untitled catalog with nothing in it: nothing to save or to ask about.
    list.Clear();
    MakeUntitled();
    modified_ = false;
  }
  Refresh();
}

bool CQuolvaneDoc::FrameworkOpen(const std::string& path) {
  if (!CheckReadable(path)) return false;
  // The file replaces what is open (the question to save came before), so
  // that its path never names a mixture of two catalogs.
  list.Clear();
  ResetSelection();
  modified_ = true;
  std::error_code ec;
  bool ok = true;
  if (fs::file_size(path, ec) > 0 || ec) ok = OpenAndSerialize(path, false) == SerializeResult::Ok;
  if (ok) {
    SetPathName(path);
    modified_ = false;
  }
  Refresh();
  return ok;
}

bool CQuolvaneDoc::SaveModified() {
  if (!modified_) return true;
  const std::string name = pathName_.empty() ? Title() : pathName_;
  const int answer = ui_.MessageBox(FormatInserts(Translate("IDS_SAVECHANGES"), {name}), Translate("AFX_IDS_APP_TITLE"),
                                    MB_YESNOCANCEL | MB_ICONEXCLAMATION);
  if (answer == IDCANCEL) return false;
  if (answer == IDNO) return true;
  // An untitled catalog has no file yet: Save As names one, and giving up
  // there keeps the program open, as does a save that failed.
  if (pathName_.empty()) return OnFileSaveAs();
  if (OpenAndSerialize(pathName_, true) != SerializeResult::Ok) return false;
  modified_ = false;
  return true;
}

// ---------------------------------------------------------------------------
// File commands

void CQuolvaneDoc::OnFileNew() {
  if (!ConfirmDiscard()) return;
  MakeUntitled();
  list.Clear();
  list.fileVersion = CATALOG_VERSION;
  ResetSelection();
  modified_ = false;
  Refresh();
}

void CQuolvaneDoc::OnFileOpen() {
  if (!ConfirmDiscard()) return;
  if (auto path = ChooseCatalogFile(false)) OpenPath(*path);
}

void CQuolvaneDoc::OpenPath(const std::string& path) {
  if (!CheckReadable(path)) return;
  list.Clear();
  ResetSelection();
  modified_ = false;
  const SerializeResult r = OpenAndSerialize(path, false);
  if (r == SerializeResult::Failed) failedOpen_ = path;
  if (r == SerializeResult::Ok) {
    SetPathName(path);
  } else {
    // Keep the file in the recent list, but do not let a later save replace
    // the file that could not be read with the empty catalog.
    AddRecentFile(settings_.recentFiles, AbsolutePathOf(path));
    MakeUntitled();
  }
  Refresh();
}

void CQuolvaneDoc::OnRecentFile(size_t n) {
  if (n >= settings_.recentFiles.size()) return;
  const std::string path = settings_.recentFiles[n];
  OpenRecent(path);
}

void CQuolvaneDoc::OpenRecent(const std::string& path) {
  if (!ConfirmDiscard()) return;
  if (!CheckReadable(path)) return;
  // The modified flag is left as it was.
  list.Clear();
  ResetSelection();
  const SerializeResult r = OpenAndSerialize(path, false);
  if (r == SerializeResult::Failed) failedOpen_ = path;
  if (r == SerializeResult::Ok) {
    SetPathName(path);
  } else {
    AddRecentFile(settings_.recentFiles, AbsolutePathOf(path));
    MakeUntitled();
  }
  Refresh();
}

bool CQuolvaneDoc::OnFileSave() {
  if (!modified_) return true;
  if (pathName_.empty()) return OnFileSaveAs();
  if (OpenAndSerialize(pathName_, true) != SerializeResult::Ok) return false;
  modified_ = false;
  return true;
}

bool CQuolvaneDoc::OnFileSaveAs() {
  auto path = ChooseCatalogFile(true);
  if (!path) return false;
  return SaveAsPath(*path);
}

bool CQuolvaneDoc::SaveAsPath(const std::string& path) {
  if (OpenAndSerialize(path, true) != SerializeResult::Ok) return false;
  SetPathName(path);
  modified_ = false;
  Refresh();
  return true;
}

void CQuolvaneDoc::OnFileMerge() {
  if (auto path = ChooseCatalogFile(false)) MergePath(*path);
}

void CQuolvaneDoc::MergePath(const std::string& path) {
  if (!CheckReadable(path)) return;
  // The items read go after the existing ones; a file that cannot be read
  // leaves the open catalog as it was.
  const SerializeResult r = OpenAndSerialize(path, false);
  if (r == SerializeResult::Ok) modified_ = true;
  Refresh();
  AddRecentFile(settings_.recentFiles, AbsolutePathOf(path));
}

bool CQuolvaneDoc::OfferRecovery(const std::string& damagedPath) {
  CFileItemList kept;
  CatalogRecovery r;
  try {
    r = RecoverCatalogFile(kept, damagedPath);
  } catch (const CCatalogException&) {
    return false;  // not even opened: nothing to offer
  }
  if (!r.damaged) return false;
  const std::string text =
      FormatInserts(Translate("IDS_RECOVERASK"), {AbsolutePathOf(damagedPath), std::to_string(r.damageOffset),
                                                  std::to_string(r.kept), std::to_string(r.announced)});
  if (ui_.MessageBox(text, Translate("IDS_WARNING"), MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  const auto out = ChooseCatalogFile(true);
  if (!out) return false;
  list = std::move(kept);
  ResetSelection();
  if (!SaveAsPath(*out)) {
    // Kept open, unsaved, rather than lost a second time.
    modified_ = true;
    Refresh();
  }
  return true;
}

// ---------------------------------------------------------------------------
// Catalog commands

void CQuolvaneDoc::OnNewFolder() {
  const long sel = currentIndex >= 0 && static_cast<size_t>(currentIndex) < list.size() ? currentIndex : -1;
  if (sel >= 0 && list[static_cast<size_t>(sel)]->type != ITEM_FOLDER) return;
  std::string name;
  for (;;) {
    auto answer = ui_.NewFolderDialog(name);
    if (!answer) return;
    name = *answer;
    if (!name.empty()) break;
    ui_.MessageBox(Translate("IDS_NAME_EMPTY"), Translate("IDS_WARNING"), MB_ICONEXCLAMATION);
  }
  auto folder = std::make_unique<CFileItem>();
  folder->type = ITEM_FOLDER;
  folder->name = name;
  folder->size = 0;
  folder->time = clock();
  folder->attributes = 0;
  std::vector<std::unique_ptr<CFileItem>> items;
  if (sel < 0) {
    folder->level = 0;
    items.push_back(std::move(folder));
    list.Insert(list.size(), std::move(items));
  } else {
    folder->level = static_cast<int16_t>(list[static_cast<size_t>(sel)]->level + 1);
    items.push_back(std::move(folder));
    list.Insert(static_cast<size_t>(sel) + 1, std::move(items));
  }
  MarkChanged();
}

namespace {

// Publishes the running progress for the time of a scan or pass.
class ActiveProgress {
 public:
  ActiveProgress(CScanProgress*& slot, CScanProgress& progress) : slot_(slot) { slot_ = &progress; }
  ~ActiveProgress() { slot_ = nullptr; }

 private:
  CScanProgress*& slot_;
};

}  // namespace

bool CQuolvaneDoc::ScanInto(CFileItemList& temp, CScanProgress& progress, bool uncompress) {
  auto* media = dynamic_cast<CFileItemMedia*>(temp[0]);
  if (!media) return true;
  ActiveProgress active(scanProgress_, progress);
  CScanContext scan(temp, progress, scanOptions(uncompress));
  return scan.ScanMedium(media->rootPath, media->level + 1) == 1;
}

bool CQuolvaneDoc::ApplicationPass(CFileItemList& target, size_t mediaIndex, CScanProgress& progress) {
  ActiveProgress active(scanProgress_, progress);
  bool stopped = false;
  SearchApplications(Applications(), target, mediaIndex, stopped, &progress);
  return stopped;
}

void CQuolvaneDoc::OnNewMedia() {
  size_t insertAt = 0;
  int level = 0;
  const long sel = currentIndex >= 0 && static_cast<size_t>(currentIndex) < list.size() ? currentIndex : -1;
  if (!FindNewMediaTarget(list, sel, insertAt, level)) return;

  NewMediaFields fields;
  fields.noApplications = settings_.config.scanApplis == 0;
  fields.noUncompress = settings_.config.scanCompress == 0;
  for (;;) {
    auto answer = ui_.NewMediaDialog(fields);
    if (!answer) return;
    fields = *answer;
    if (fields.path.empty()) {
      ui_.MessageBox(Translate("IDS_PATH_EMPTY"), Translate("IDS_WARNING"), MB_ICONEXCLAMATION);
    } else if (fields.name.empty()) {
      ui_.MessageBox(Translate("IDS_NAME_EMPTY"), Translate("IDS_WARNING"), MB_ICONEXCLAMATION);
    } else {
      break;
    }
  }
  CFileItemMedia* kind = fields.kind ? fields.kind : MediaKinds().Lookup("Dir");
  if (!kind) return;

  const NewMediaVolume volume{fields.name, fields.volumeLabel, fields.fileSystem, fields.serialNumber};
  CFileItemList temp;
  temp.items.push_back(MakeNewMediaItem(*kind, volume, fields.path, level, clock()));

  CScanProgress progress(View().ScanProgress(), &ui_);
  {
    WaitCursor wait(View());
    if (ScanInto(temp, progress, !fields.noUncompress)) {
      progress.Close();
      return;  // stopped: the temporary items go away, the catalog is unchanged
    }
  }
  // The tree's current index stays as it was: the rebuild selects again
  // the node of that index.
  list.Insert(insertAt, std::move(temp.items));
  listSelection = -1;
  if (!fields.noApplications) ApplicationPass(list, insertAt, progress);
  progress.Close();
  // Even after a stopped application pass the media is in the catalog: it
  // must be shown and saved like any change.
  MarkChanged();
}

void CQuolvaneDoc::OnRefresh() {
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= list.size()) return;
  RefreshFields initial;
  initial.noApplications = settings_.config.scanApplis == 0;
  initial.noUncompress = settings_.config.scanCompress == 0;
  auto choice = ui_.RefreshDialog(initial);
  if (!choice) return;
  const size_t index = static_cast<size_t>(currentIndex);
  if (!dynamic_cast<CFileItemMedia*>(list[index])) return;
  if (!ChangeMediaPrompt(list, index, ui_) &&
      ui_.MessageBox(Translate("IDS_REFRESHWARN"), Translate("IDS_WARNING"), MB_OKCANCEL | MB_ICONQUESTION) ==
          IDCANCEL)
    return;

  // The scan works on a copy of the media item, so a stopped refresh leaves
  // the catalog exactly as it was, description included.
  CFileItemList temp;
  temp.items.push_back(list[index]->Clone());
  CScanProgress progress(View().ScanProgress(), &ui_);
  bool stopped;
  {
    WaitCursor wait(View());
    stopped = ScanInto(temp, progress, !choice->noUncompress);
    if (!stopped && !choice->noApplications) stopped = ApplicationPass(temp, 0, progress);
  }
  progress.Close();
  if (stopped) return;

  list[index]->description = temp[0]->description;
  View().FreezePanes();
  View().SetStatusText(Translate("IDS_DELETING"));
  {
    WaitCursor wait(View());
    const size_t end = list.SubtreeEnd(index);
    list.items.erase(list.items.begin() + static_cast<long>(index) + 1, list.items.begin() + static_cast<long>(end));
    temp.items.erase(temp.items.begin());
    list.Insert(index + 1, std::move(temp.items));
  }
  listSelection = -1;
  modified_ = true;
  View().UnfreezePanes();
  Refresh();
}

void CQuolvaneDoc::OnDelete() {
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= list.size()) return;
  const size_t index = static_cast<size_t>(currentIndex);
  const CFileItem& item = *list[index];
  std::string question;
  if (item.type == ITEM_FOLDER) {
    const size_t end = list.SubtreeEnd(index);
    for (size_t i = index + 1; i < end; ++i) {
      if (list[i]->type == ITEM_MEDIA) {
        question = FormatInserts(Translate("IDS_DELFOLDER"), {item.name});
        break;
      }
    }
  } else if (item.type == ITEM_MEDIA || item.type == ITEM_DIRECTORY) {
    question = FormatInserts(Translate("IDS_DELMEDIA"), {item.name});
  }
  if (!question.empty() &&
      ui_.MessageBox(question, Translate("IDS_WARNING"), MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL)
    return;
  {
    WaitCursor wait(View());
    list.RemoveSubtree(index);
  }
  // The current index stays: the rebuild selects the node that now holds it
  // (what followed the deleted subtree), or none.
  listSelection = -1;
  MarkChanged();
}

bool CQuolvaneDoc::CanRename(long index) const {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return false;
  const uint8_t type = list[static_cast<size_t>(index)]->type;
  return type == ITEM_FOLDER || type == ITEM_MEDIA;
}

bool CQuolvaneDoc::Rename(long index, const std::string& newName) {
  if (!CanRename(index)) return false;
  list[static_cast<size_t>(index)]->name = newName;
  MarkChanged();
  return true;
}

// ---------------------------------------------------------------------------
// Applications

long CQuolvaneDoc::TargetApplication() const {
  auto valid = [&](long i) { return i >= 0 && static_cast<size_t>(i) < list.size(); };
  if (searchActive) {
    if (!activeSearch_) return -1;
    const auto item = activeSearch_->SelectedItem();
    return item && valid(static_cast<long>(*item)) ? static_cast<long>(*item) : -1;
  }
  if (showFiles) {
    return valid(currentIndex) && list[static_cast<size_t>(currentIndex)]->IsApplication() ? currentIndex : -1;
  }
  return valid(listSelection) ? listSelection : -1;
}

void CQuolvaneDoc::OnApplicationNew() {
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= list.size()) return;
  const size_t index = static_cast<size_t>(currentIndex);
  if (list[index]->type != ITEM_DIRECTORY) return;
  auto fields = ui_.ApplicationDialog(ApplicationFields{});
  if (!fields) return;
  auto app = std::make_unique<CFileItemAppli>(*list[index]);
  app->description = fields->description;
  app->installProgram = fields->installProgram;
  app->appSize = 0;
  app->appTime = list[index]->time;
  list.Replace(index, std::move(app));
  MarkChanged();
}

void CQuolvaneDoc::OnApplicationEdit() {
  const long target = TargetApplication();
  if (target < 0) return;
  auto* app = dynamic_cast<CFileItemAppli*>(list[static_cast<size_t>(target)]);
  if (!app) return;
  auto fields = ui_.ApplicationDialog(ApplicationFields{app->description, app->installProgram});
  if (!fields) return;
  app->description = fields->description;
  app->installProgram = fields->installProgram;
  MarkChanged();
}

void CQuolvaneDoc::OnApplicationDescription() {
  const long target = TargetApplication();
  if (target < 0) return;
  auto* app = dynamic_cast<CFileItemAppli*>(list[static_cast<size_t>(target)]);
  if (!app) return;
  ui_.DescriptionDialog(app->GetTitle(), app->description);
}

void CQuolvaneDoc::OnApplicationDelete() {
  const long target = TargetApplication();
  if (target < 0) return;
  const size_t index = static_cast<size_t>(target);
  auto* app = dynamic_cast<CFileItemAppli*>(list[index]);
  if (!app) return;
  const std::string question = FormatInserts(Translate("IDS_APPLI_DEL"), {app->GetTitle()});
  if (ui_.MessageBox(question, Translate("IDS_APPLI_DELETE"), MB_OKCANCEL | MB_ICONERROR) != IDOK) return;
  auto dir = std::make_unique<CFileItem>();
  dir->type = ITEM_DIRECTORY;
  dir->name = app->name;
  dir->size = app->size;
  dir->time = app->time;
  dir->level = app->level;
  dir->attributes = app->attributes;
  list.Replace(index, std::move(dir));
  if (searchActive && activeSearch_) activeSearch_->RemoveSelectedRow();
  if (!showFiles && listSelection == target) listSelection = -1;
  MarkChanged();
}

// ---------------------------------------------------------------------------
// View, filters, search

void CQuolvaneDoc::OnViewApplications() {
  showFiles = 0;
  listSelection = -1;
  View().ShowListMode(false);
  Refresh();
}

void CQuolvaneDoc::OnViewFiles() {
  showFiles = 1;
  listSelection = -1;
  View().ShowListMode(true);
  Refresh();
}

bool CQuolvaneDoc::CanInvertFilter() const { return settings_.filters.Active(); }

void CQuolvaneDoc::OnInvertFilter() {
  if (!CanInvertFilter()) return;
  settings_.filters.subtreeFlag = !settings_.filters.subtreeFlag;
  View().ShowInvertFilter(settings_.filters.subtreeFlag);
  listSelection = -1;
  Refresh();
}

void CQuolvaneDoc::OnModifyFilters() {
  CFilterListEditor editor(settings_.filters, ui_);
  const bool ok = ui_.FilterListDialog(editor);
  if (ok) View().ReloadFilterCombo();
  // Edits act at once, whatever button closed the dialog; the panes follow.
  Refresh();
}

void CQuolvaneDoc::OnFilterComboChoice(int pending, const std::string& comboText) {
  if (settings_.filters.ApplyComboChoice(pending, comboText)) {
    listSelection = -1;
    Refresh();
  }
}

void CQuolvaneDoc::OnFilterComboApply(const std::string& comboText) {
  if (settings_.filters.ApplyPendingComboChoice(comboText)) {
    listSelection = -1;
    Refresh();
  }
}

void CQuolvaneDoc::OnConfiguration() { ui_.MediaListDialog(MediaTypes()); }

std::optional<size_t> CQuolvaneDoc::OnSearch() {
  const long start = currentIndex >= 0 && static_cast<size_t>(currentIndex) < list.size() ? currentIndex : -1;
  CSearchSession session(list, start, settings_.searchHistory, searchMemory_, showFiles != 0);
  // The application commands of a result row act on it (TargetApplication).
  session.runCommand = [this](int command) {
    switch (command) {
      case CMD_APPLI_DESCR: OnApplicationDescription(); break;
      case CMD_APPLI_EDIT: OnApplicationEdit(); break;
      case CMD_APPLI_DELETE: OnApplicationDelete(); break;
      default: break;
    }
  };
  session.SetShelf(settings_.shelf, ShelfPath(pathName_));
  activeSearch_ = &session;
  searchActive = 1;
  std::optional<size_t> chosen = ui_.SearchDialog(session);
  searchActive = 0;
  activeSearch_ = nullptr;
  if (const std::optional<CSearchSession::ShelfTarget> target = session.ShelfGoTo()) {
    // A result of another catalog of the shelf: that catalog replaces this one.
    if (!ConfirmDiscard()) return std::nullopt;
    OpenPath(target->file);
    if (ShelfPath(pathName_) != target->file || target->index >= list.size()) return std::nullopt;
    View().ShowItem(target->index);
    return target->index;
  }
  if (chosen && *chosen < list.size()) {
    View().ShowItem(*chosen);
    return chosen;
  }
  return std::nullopt;
}

void CQuolvaneDoc::OnSearchApplications() {
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= list.size()) return;
  const size_t index = static_cast<size_t>(currentIndex);
  if (list[index]->type != ITEM_MEDIA) return;
  CScanProgress progress(View().ScanProgress(), &ui_);
  bool stopped = false;
  bool found;
  {
    WaitCursor wait(View());
    ActiveProgress active(scanProgress_, progress);
    found = SearchApplications(Applications(), list, index, stopped, &progress);
  }
  progress.Close();
  // A stopped pass may already have made applications.
  if (found || stopped) MarkChanged();
}

std::vector<std::string> CQuolvaneDoc::ItemListLines() const {
  std::vector<std::string> lines;
  lines.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const CFileItem& item = *list[i];
    lines.push_back(FormatInserts("%1!d!\t%2!s!\t%3!d!\t%4",
                                  {static_cast<long>(i), TypeLabel(item.type, item.IsApplication() != 0),
                                   static_cast<int>(item.level), item.name}));
  }
  return lines;
}

std::optional<CPrintJob> CQuolvaneDoc::OnFilePrint() {
  const long start = currentIndex >= 0 && static_cast<size_t>(currentIndex) < list.size() ? currentIndex : -1;
  return PreparePrintJob(list, start, showFiles != 0, ui_);
}

// ---------------------------------------------------------------------------
// Media clipboard

bool CQuolvaneDoc::CanCopyMedia() const {
  return currentIndex >= 0 && static_cast<size_t>(currentIndex) < list.size() &&
         list[static_cast<size_t>(currentIndex)]->type == ITEM_MEDIA;
}

std::vector<uint8_t> CQuolvaneDoc::CopyMedia() const {
  if (!CanCopyMedia()) return {};
  return WriteMediaSubtreeToMemory(list, static_cast<size_t>(currentIndex));
}

bool CQuolvaneDoc::PasteMedia(const void* data, size_t size) {
  // A new list first: the catalog is touched only once the whole payload read.
  CFileItemList pasted;
  const SerializeResult r = ReportStreamErrors([&] { return ReadCatalogFromMemory(pasted, data, size); });
  if (r != SerializeResult::Ok || pasted.items.empty()) return false;
  View().FreezePanes();
  View().SetSelectionText("Pasting datas...");
  for (auto& item : pasted.items) list.items.push_back(std::move(item));
  pasted.items.clear();
  list.RebuildContainerIndex();
  modified_ = true;
  View().UnfreezePanes();
  Refresh();
  return true;
}

void CQuolvaneDoc::OnItemList() { ui_.ItemListDialog(ItemListLines()); }
