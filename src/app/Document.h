// The catalog document: the one open catalog and every command that changes
// it as a whole. Dialogs and message boxes go through IUiPort; the panes are
// reached through IDocumentView. Neither knows a toolkit, so the GUI, the
// command line and tests drive the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Print.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItemList.h"
#include "query/SearchSession.h"
#include "scan/Scanner.h"

struct CAppSettings;
class IUiPort;
class IProgressSink;
class IScanProgressSink;

// What the document asks of the main window and its panes. Every method
// does nothing by default.
class IDocumentView {
 public:
  virtual ~IDocumentView() = default;
  // Rebuild the tree, refill the file list and the description pane.
  virtual void RefreshPanes() {}
  // The list shows files (true) or applications; the View menu's check marks follow.
  virtual void ShowListMode(bool showFiles) {}
  // The invert-filter menu check mark and tool-bar button.
  virtual void ShowInvertFilter(bool on) {}
  // The filter list changed: refill the filter combo.
  virtual void ReloadFilterCombo() {}
  // The status bar's second part (where "Ready" stands) / its first part
  // (the selection), shown at once.
  virtual void SetStatusText(const std::string& text) {}
  virtual void SetSelectionText(const std::string& text) {}
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}
  // Stop redrawing the tree and the list and empty the list / redraw again.
  virtual void FreezePanes() {}
  virtual void UnfreezePanes() {}
  // Select an item in the tree and the list ("$$Go to ...").
  virtual void ShowItem(size_t index) {}
  // Progress of loading and saving, of scans and of the application pass.
  virtual IProgressSink* Progress() { return nullptr; }
  virtual IScanProgressSink* ScanProgress() { return nullptr; }
};

// How reading or writing a catalog file ended.
enum class SerializeResult {
  Ok,
  CannotOpen,  // IDS_CANNOTOPENFILE2 was shown
  Failed,      // a read, write or memory error was shown; nothing was changed
  TooRecent,   // IDS_TOORECENTFILE was shown; nothing was read
  Declined,    // the file changed on disk since it was read; the user kept it
};

// Why a catalog cannot be written at path: CatalogWriteProblem
// (catalog/CatalogStream.h).
// Why a catalog cannot be read from path (errno), 0 when it can be opened.
int CatalogReadProblem(const std::string& path);

// The catalog file filter of the file dialogs: four parts and an empty one,
// separated by NUL characters.
std::string CatalogFileFilter();

class CQuolvaneDoc {
 public:
  CQuolvaneDoc(CAppSettings& settings, IUiPort& ui, IDocumentView* view = nullptr);
  CQuolvaneDoc(const CQuolvaneDoc&) = delete;
  CQuolvaneDoc& operator=(const CQuolvaneDoc&) = delete;

  CFileItemList list;  // fileVersion starts at 4
  int showFiles = 1;     // 1: the list shows files; 0: applications
  int searchActive = 0;  // 1 while the search dialog is open
  // The tree's current index (-1: the root, the whole catalog) and the item
  // of the list's selected row (-1: none); the GUI or the command line sets them.
  long currentIndex = -1;
  long listSelection = -1;

  // The catalog's file; empty while the catalog is untitled (a fresh start,
  // New, or an open that failed), which only Save As can name.
  const std::string& PathName() const { return pathName_; }
  bool IsUntitled() const { return pathName_.empty(); }
  // The name the title bar and the save question show: the file's name, or
  // IDS_DB_NONAME for an untitled catalog.
  std::string Title() const;
  // Sets the path name, made absolute, and puts it first in the recent files.
  void SetPathName(const std::string& path, bool addToRecent = true);
  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  const std::vector<std::string>& RecentFiles() const;
  void SetView(IDocumentView* view) { view_ = view; }
  IUiPort& Ui() { return ui_; }
  CAppSettings& Settings() { return settings_; }

  // Start-up: reopens lastUsed ("VarnFile") when given; otherwise, or when
  // it cannot be opened, the catalog is empty, untitled and not modified.
  void OnNewDocument(const std::string& lastUsed);
  // The framework's open of a file named on the command line or sent by the
  // shell: reads it after the items already there (an empty file is not
  // read), makes it the path name and leaves the document unmodified. False
  // when it could not be read.
  bool FrameworkOpen(const std::string& path);
  // Asks whether a modified catalog may be discarded; true when it may.
  bool ConfirmDiscard();
  // Before closing: asks to save a modified document (IDS_SAVECHANGES, Yes /
  // No / Cancel); Yes on an untitled one goes through Save As. False when
  // closing must stop (Cancel, a Save As given up, or a save that failed).
  bool SaveModified();

  // File commands.
  void OnFileNew();
  void OnFileOpen();
  // The Open command's work once a path is chosen (after the question).
  void OpenPath(const std::string& path);
  // The recent-file entry n (0 = most recent).
  void OnRecentFile(size_t n);
  void OpenRecent(const std::string& path);
  // Save: writes only a modified document, an untitled one through Save As.
  // True when nothing was left unsaved.
  bool OnFileSave();
  bool OnFileSaveAs();
  bool SaveAsPath(const std::string& path);
  void OnFileMerge();
  void MergePath(const std::string& path);
  // After Open failed on a damaged file: offers (IDS_RECOVERASK) to save the
  // items that can be read before the damage as a new catalog, through the
  // save dialog, and opens that catalog. False when the file is not damaged
  // or the user declined (the document is then as it was).
  bool OfferRecovery(const std::string& damagedPath);
  // The file the last Open or recent-file open could not read (a read or
  // stream error), once; empty otherwise. The window offers recovery for it.
  std::string TakeFailedOpen() { return std::exchange(failedOpen_, std::string()); }

  // Reads (append) or writes the whole catalog, reporting every failure to
  // the user. A write goes to a temporary file beside the target that
  // replaces it only when complete, so a failed save leaves the old file;
  // a read-only file is refused (write error). Before replacing the file
  // the catalog was read from, asks (IDS_CATALOGCHANGED) when another
  // program changed it since.
  SerializeResult OpenAndSerialize(const std::string& path, bool forWrite);
  // Whether path is the file the catalog was read from (or last saved to)
  // and its size, time or first bytes have changed since.
  bool FileChangedSinceRead(const std::string& path) const;

  // Catalog commands, on the current index.
  void OnNewMedia();
  void OnNewFolder();
  void OnRefresh();
  void OnDelete();
  // The end of an in-place label edit: only folders and media are renamed.
  bool Rename(long index, const std::string& newName);
  // May a label edit start on this item?
  bool CanRename(long index) const;

  // Application commands on the target application (TargetApplication).
  void OnApplicationNew();
  void OnApplicationEdit();
  void OnApplicationDescription();
  void OnApplicationDelete();
  // The item the application commands act on: the selected search result
  // while the search dialog is open; in files mode the tree's item when it
  // is an application; in applications mode the list's selected row. -1: none.
  long TargetApplication() const;

  // View commands.
  void OnViewApplications();
  void OnViewFiles();
  // Invert filter: only while a filter is active.
  bool CanInvertFilter() const;
  void OnInvertFilter();
  void OnModifyFilters();
  // The filter combo's Enter or focus loss: pending choice and its text.
  void OnFilterComboChoice(int pending, const std::string& comboText);
  // The same with the filter state's own pending choice (set when the combo
  // gains the focus or a list entry is chosen).
  void OnFilterComboApply(const std::string& comboText);
  void OnConfiguration();

  // Search over the current container; the chosen item, if any, is shown.
  std::optional<size_t> OnSearch();
  CSearchSession* ActiveSearch() { return activeSearch_; }
  // The scan or application pass running now (a Cancel button asks it to
  // stop through RequestStop); null when none runs.
  CScanProgress* ScanInProgress() { return scanProgress_; }
  // The application pass over the subtree of the current index (a media).
  void OnSearchApplications();
  // Print and print preview: the parameters dialog and the print list for
  // the current tree node in the current list mode; nothing on Cancel.
  std::optional<CPrintJob> OnFilePrint();
  // The media clipboard. CanCopyMedia: the current tree item is a media.
  // CopyMedia: its subtree stream, the clipboard's payload; empty otherwise.
  bool CanCopyMedia() const;
  std::vector<uint8_t> CopyMedia() const;
  // PasteMedia: reads a payload into a new list and appends its items with
  // their levels at the end of the catalog. A payload that does not read
  // whole (damaged, truncated, newer) reports the error and changes nothing.
  bool PasteMedia(const void* data, size_t size);
  // The diagnostic item list.
  void OnItemList();
  std::vector<std::string> ItemListLines() const;

  // Seams: the scan options of New media and Refresh (describers, archive
  // hooks, settings) and the clock of new items.
  std::function<ScanOptions(bool uncompress)> scanOptions;
  std::function<uint32_t()> clock;

 private:
  void Refresh();
  void MakeUntitled();
  void MarkChanged();
  void ResetSelection();
  // Shows IDS_CANNOTOPENFILE2 when path cannot be opened for reading.
  bool CheckReadable(const std::string& path);
  std::optional<std::string> ChooseCatalogFile(bool save);
  // Scans a media (temp[0]) into temp; true when the user stopped it.
  bool ScanInto(CFileItemList& temp, CScanProgress& progress, bool uncompress);
  // The application pass over list from mediaIndex; true when stopped.
  bool ApplicationPass(CFileItemList& target, size_t mediaIndex, CScanProgress& progress);
  void ReportException(const std::string& key, const std::string& systemText);
  // Runs a stream read or write and reports its failure the way catalog
  // files do (read and write errors, memory, a newer version).
  SerializeResult ReportStreamErrors(const std::function<CatalogReadResult()>& run);

  CAppSettings& settings_;
  IUiPort& ui_;
  IDocumentView* view_;
  IDocumentView nullView_;
  std::string pathName_;
  std::string failedOpen_;
  bool modified_ = false;
  // The file last read into an empty catalog or written, as it was then.
  std::string readPath_;
  CatalogFileStamp readStamp_;
  SearchDialogMemory searchMemory_;
  CSearchSession* activeSearch_ = nullptr;
  CScanProgress* scanProgress_ = nullptr;

  IDocumentView& View() { return view_ ? *view_ : nullView_; }
};
