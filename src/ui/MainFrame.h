// CMainFrame: the main window. The tree at the left, the file list above
// the description pane at the right, the menus, the tool bars, the filter
// bar and the two-part status bar; it routes every command to the
// document, the tree or itself and is the document's view.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/Document.h"
#include "ports/ProgressSink.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QProgressBar;
class QSplitter;
class QToolBar;
class CQuolvaneApp;
class CTreeVarn;
class CQuolvaneView;
class CInputView;
class CFileTypeCache;
class QtUiPort;
class ScanProgressWindow;

// Commands the framework itself owns in the menus.
enum : int { CMD_PRINT = 57607, CMD_PRINT_PREVIEW = 57609, CMD_PRINT_SETUP = 57606, CMD_EXIT = 57665,
             CMD_HELP_INDEX = 57667, CMD_TOOLBAR = 59392, CMD_STATUSBAR = 59393, CMD_SPLIT = 59395,
             CMD_ITEM_LIST = 32811 };
// Answers across the catalog, in windows of their own.
enum : int { CMD_DUPLICATES = 33101, CMD_STATISTICS = 33102, CMD_EXPORT = 33103,
             CMD_SHELF_ADD = 33104 };

class CMainFrame : public QMainWindow, public IDocumentView, public IProgressSink {
  Q_OBJECT
 public:
  CMainFrame(CQuolvaneApp& app, QtUiPort& ui);
  ~CMainFrame() override;

  // Runs a command of a menu, a tool bar, a key or a context menu.
  void OnCommand(int command);
  // The list's row commands (its context menu and double click).
  void OnListCommand(int command);
  // The title, the menu states and the status text after a change.
  void UpdateFrame();

  CTreeVarn* Tree() const { return tree_; }
  CQuolvaneView* List() const { return list_; }
  CInputView* Description() const { return description_; }
  QAction* Action(int command) const;
  QComboBox* FilterCombo() const { return filterCombo_; }
  QLabel* StatusPart(int part) const { return part == 0 ? status0_ : status1_; }
  bool DescriptionShown() const { return descriptionShown_; }
  ScanProgressWindow* ScanWindow() const { return scanWindow_.get(); }
  CQuolvaneDoc& Doc();

  // IDocumentView
  void RefreshPanes() override;
  void ShowListMode(bool showFiles) override;
  void ShowInvertFilter(bool on) override;
  void ReloadFilterCombo() override;
  void SetStatusText(const std::string& text) override;
  void SetSelectionText(const std::string& text) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  void FreezePanes() override;
  void UnfreezePanes() override;
  void ShowItem(size_t index) override;
  IProgressSink* Progress() override { return this; }
  IScanProgressSink* ScanProgress() override;

  // IProgressSink: loading and saving on the status bar.
  void Begin(const std::string& statusText) override;
  void SetPercent(int percent) override;
  void End() override;

  // Commands of other windows (printing, the media clipboard, settings, help).
  std::function<void(int command)> onExtraCommand;

  // Opens a catalog as the Open command does once the file is chosen.
  void OpenDropped(const QString& path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBars();
  void BuildStatusBar();
  QAction* AddCommand(QMenu* menu, const char* key, int command, const QKeySequence& shortcut = {});
  void SetViewMode(int command);
  void ToggleDescriptionWindow();
  void OnTreeSelection(long item);
  void UpdateStatus();
  void ShowProgressBar(int percent);
  void FillRecentMenu();
  void ApplyFilterCombo();
  void ShowProperties(long index);
  // File > "$$Export...": the selected subtree, or the whole catalog.
  void ExportCatalogFile();
  // File > "$$Add to the s&helf": the open catalog's file, once saved.
  void AddToShelfCommand();
  void TreeExecute();
  void OfferRecoveryOfFailedOpen();

  CQuolvaneApp& app_;
  QtUiPort& ui_;
  std::unique_ptr<CFileTypeCache> types_;
  CTreeVarn* tree_ = nullptr;
  CQuolvaneView* list_ = nullptr;
  CInputView* description_ = nullptr;
  QSplitter* outer_ = nullptr;
  QSplitter* inner_ = nullptr;
  QToolBar* fileBar_ = nullptr;
  QToolBar* editBar_ = nullptr;
  QToolBar* filterBar_ = nullptr;
  QComboBox* filterCombo_ = nullptr;
  QLabel* status0_ = nullptr;
  QLabel* status1_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QAction* recentPlaceholder_ = nullptr;
  QAction* recentEnd_ = nullptr;
  std::vector<QAction*> recentActions_;
  QActionGroup* viewGroup_ = nullptr;
  std::map<int, QAction*> actions_;
  std::unique_ptr<ScanProgressWindow> scanWindow_;
  bool descriptionShown_ = true;
  int waitDepth_ = 0;
};
