#include "ui/MainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include "app/Application.h"
#include "app/Launch.h"
#include "app/Shelf.h"
#include "i18n/Translator.h"
#include "query/Filters.h"
#include "query/Panes.h"
#include "scan/MediaPaths.h"
#include "ui/CatalogTree.h"
#include "ui/ConfigSheet.h"
#include "ui/DescriptionPane.h"
#include "ui/Dialogs.h"
#include "ui/FileListView.h"
#include "ui/HelpWindow.h"
#include "ui/Icons.h"
#include "ui/DuplicatesDialog.h"
#include "ui/ExportCommand.h"
#include "ui/KeyboardSplit.h"
#include "ui/PropertiesDialog.h"
#include "ui/QtLanguage.h"
#include "ui/StatisticsDialog.h"
#include "ui/QtUiPort.h"
#include "ui/ScanProgressWindow.h"
#include "ui/Translate.h"

namespace {

// A recent file's menu text: the home folder as "~", a long path cut in its
// middle so that the file name stays whole, "&" doubled so that it shows.
QString RecentFileLabel(const std::string& path) {
  QString text = QString::fromStdString(path);
  const QString home = QDir::homePath();
  if (!home.isEmpty() && home != QLatin1String("/") && text.startsWith(home + QLatin1Char('/')))
    text = QLatin1Char('~') + text.mid(home.size());
  constexpr int kLongest = 60;
  if (text.size() > kLongest) {
    const int slash = static_cast<int>(text.lastIndexOf(QLatin1Char('/')));
    const int keepEnd = std::max(static_cast<int>(text.size()) - slash, kLongest / 2);
    const int keepStart = std::max(kLongest - keepEnd, 8);
    if (keepStart + keepEnd < text.size()) text = text.left(keepStart) + QStringLiteral("…") + text.right(keepEnd);
  }
  return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

CMainFrame::CMainFrame(CQuolvaneApp& app, QtUiPort& ui) : app_(app), ui_(ui) {
  // Qt's own dialogs and the type names speak the language the settings chose.
  InstallQtLanguage();
  setObjectName(QStringLiteral("MainFrame"));
  setWindowIcon(ApplicationIcon());
  setAcceptDrops(true);
  types_ = std::make_unique<CFileTypeCache>();
  ui_.SetFileTypes(types_.get());
  CQuolvaneDoc& doc = Doc();

  tree_ = new CTreeVarn(doc);
  list_ = new CQuolvaneView(doc, *types_);
  description_ = new CInputView(doc);
  inner_ = new QSplitter(Qt::Vertical);
  inner_->addWidget(list_);
  inner_->addWidget(description_);
  inner_->setChildrenCollapsible(true);
  outer_ = new QSplitter(Qt::Horizontal);
  outer_->addWidget(tree_);
  outer_->addWidget(inner_);
  outer_->setStretchFactor(1, 1);
  outer_->setSizes({200, 600});
  // With OpenDescr 0 the list asks for so much height that the description
  // pane starts out of view.
  if (app_.settings.config.openDescr == 0) inner_->setSizes({1000, 0});
  else inner_->setSizes({300, 50 * 3});
  setCentralWidget(outer_);

  tree_->onSelectionChanged = [this](long item) { OnTreeSelection(item); };
  tree_->onCommand = [this](int command) { OnCommand(command); };
  list_->onCommand = [this](int command) { OnListCommand(command); };
  list_->onActivated = [this](long) { OnListCommand(CMD_LIST_INSTALL); };
  list_->onItemClicked = [this](long item) {
    if (item >= 0 && Doc().showFiles && FlatFilteredMode(Doc().Settings().filters)) ShowItem(static_cast<size_t>(item));
    description_->Show(item);
  };
  list_->onProgress = [this](int percent) { ShowProgressBar(percent); };
  connect(list_->IconView()->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            const long item = current.isValid() ? static_cast<long>(list_->Model()->RowItem(current.row())) : -1;
            Doc().listSelection = item;
            // A row reached with the keyboard shows its description as a click does.
            if (item >= 0) description_->Show(item);
          });
  description_->onShownChanged = [this](bool shown) {
    descriptionShown_ = shown;
    if (QAction* a = Action(CMD_DESCRIPTION_WINDOW)) a->setChecked(shown);
  };

  BuildMenus();
  BuildToolBars();
  BuildStatusBar();
  TranslateWindow(this);
  ReloadFilterCombo();
  ShowListMode(doc.showFiles != 0);
  ShowInvertFilter(doc.Settings().filters.subtreeFlag);
  resize(900, 600);
}

CMainFrame::~CMainFrame() {
  if (app_.document) app_.document->SetView(nullptr);
  ui_.SetFileTypes(nullptr);
  // The panes go first: while they are taken down their views may still ask
  // the list model for texts and icons, which come from the type cache.
  delete takeCentralWidget();
}

CQuolvaneDoc& CMainFrame::Doc() { return *app_.document; }

QAction* CMainFrame::Action(int command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::AddCommand(QMenu* menu, const char* key, int command, const QKeySequence& shortcut) {
  auto* action = new QAction(QString::fromUtf8(key), this);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (command != CMD_NONE) {
    actions_[command] = action;
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
  }
  if (menu) menu->addAction(action);
  return action;
}

void CMainFrame::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("$$&File"));
  AddCommand(file, "$$&New...", CMD_FILE_NEW, QKeySequence::New);
  AddCommand(file, "$$&Open...", CMD_FILE_OPEN, QKeySequence::Open);
  AddCommand(file, "$$&Merge...", CMD_MERGE);
  AddCommand(file, "$$&Save", CMD_FILE_SAVE, QKeySequence::Save);
  AddCommand(file, "$$Save &as...", CMD_FILE_SAVE_AS, QKeySequence::SaveAs);
  AddCommand(file, "$$&Export...", CMD_EXPORT);
  AddCommand(file, "$$Add to the s&helf", CMD_SHELF_ADD);
  file->addSeparator();
  AddCommand(file, "$$&Print...", CMD_PRINT, QKeySequence::Print);
  AddCommand(file, "$$Print pre&view", CMD_PRINT_PREVIEW);
  AddCommand(file, "$$Printer &setup...", CMD_PRINT_SETUP);
  file->addSeparator();
  // The recent files stand in the File menu itself, in place of the grayed
  // placeholder, as the framework's list does.
  fileMenu_ = file;
  recentPlaceholder_ = AddCommand(file, "$$Recent files", CMD_NONE);
  recentPlaceholder_->setEnabled(false);
  recentEnd_ = file->addSeparator();
  connect(file, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  AddCommand(file, "$$&Quit", CMD_EXIT, QKeySequence::Quit);

  QMenu* edit = bar->addMenu(QStringLiteral("$$&Edit"));
  QMenu* newMenu = edit->addMenu(QStringLiteral("$$&New"));
  AddCommand(newMenu, "$$&Media", CMD_NEW_MEDIA);
  AddCommand(newMenu, "$$&Folder", CMD_NEW_FOLDER);
  AddCommand(edit, "$$&Refresh", CMD_REFRESH, QKeySequence::Refresh);
  AddCommand(edit, "$$&Delete", CMD_DELETE);
  AddCommand(edit, "$$Re&name", CMD_RENAME);
  AddCommand(edit, "$$&Search", CMD_SEARCH, QKeySequence::Find);
  AddCommand(edit, "$$&Properties...", CMD_PROPERTIES);
  AddCommand(edit, "$$D&uplicates...", CMD_DUPLICATES);
  edit->addSeparator();
  AddCommand(edit, "$$&Execute / install", CMD_EXECUTE);
  AddCommand(edit, "$$&Configuration", CMD_CONFIGURATION);
  edit->addSeparator();
  AddCommand(edit, "$$Cop&y media", CMD_COPY_MEDIA);
  AddCommand(edit, "$$P&aste media", CMD_PASTE_MEDIA);
  edit->addSeparator();
  AddCommand(edit, "$$&Options...", CMD_OPTIONS);

  QMenu* apps = bar->addMenu(QStringLiteral("$$&Applications"));
  AddCommand(apps, "$$&New", CMD_APPLI_NEW);
  AddCommand(apps, "$$&Edition", CMD_APPLI_EDIT);
  AddCommand(apps, "$$&Description", CMD_APPLI_DESCR);
  AddCommand(apps, "$$De&lete", CMD_APPLI_DELETE);
  apps->addSeparator();
  AddCommand(apps, "$$&Reload Applis.dat", CMD_RELOAD_APPLIS);

  QMenu* view = bar->addMenu(QStringLiteral("$$&View"));
  viewGroup_ = new QActionGroup(this);
  for (auto [key, command] : {std::pair{"$$&Large Icon View", CMD_VIEW_LARGE}, std::pair{"$$&Small Icon View", CMD_VIEW_SMALL},
                              std::pair{"$$List &View", CMD_VIEW_LIST}, std::pair{"$$&Details View", CMD_VIEW_DETAILS}}) {
    QAction* a = AddCommand(view, key, command);
    a->setCheckable(true);
    viewGroup_->addAction(a);
  }
  Action(CMD_VIEW_DETAILS)->setChecked(true);
  view->addSeparator();
  AddCommand(view, "$$&Applications", CMD_VIEW_APPLICATIONS)->setCheckable(true);
  AddCommand(view, "$$&Files", CMD_VIEW_FILES)->setCheckable(true);
  view->addSeparator();
  AddCommand(view, "$$&Modify filters", CMD_MODIFY_FILTERS);
  AddCommand(view, "$$&Invert filter", CMD_INVERT_FILTER)->setCheckable(true);
  view->addSeparator();
  QAction* toolbars = AddCommand(view, "$$&Tools bar", CMD_TOOLBAR);
  toolbars->setCheckable(true);
  toolbars->setChecked(true);
  QAction* statusbar = AddCommand(view, "$$Stat&us bar", CMD_STATUSBAR);
  statusbar->setCheckable(true);
  statusbar->setChecked(true);
  QAction* descr = AddCommand(view, "$$Description &window", CMD_DESCRIPTION_WINDOW);
  descr->setCheckable(true);
  descr->setChecked(true);
  AddCommand(view, "$$S&plit", CMD_SPLIT);
  view->addSeparator();
  AddCommand(view, "$$Statisti&cs...", CMD_STATISTICS);

  QMenu* help = bar->addMenu(QStringLiteral("$$&?"));
  AddCommand(help, "$$&Help index", CMD_HELP_INDEX, QKeySequence::HelpContents);
  // The diagnostic item list has no menu entry, only its key.
  addAction(AddCommand(nullptr, "$$Varn datas", CMD_ITEM_LIST, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F12)));
}

void CMainFrame::BuildToolBars() {
  auto addButton = [](QToolBar* bar, QAction* action, const QIcon& icon, const char* tipKey) {
    action->setIcon(icon);
    bar->addAction(action);
    if (QWidget* button = bar->widgetForAction(action)) button->setAccessibleName(QString::fromUtf8(tipKey));
  };
  auto themed = [](const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
  };
  fileBar_ = addToolBar(QStringLiteral("$$&File"));
  fileBar_->setObjectName(QStringLiteral("FileBar"));
  addButton(fileBar_, Action(CMD_FILE_NEW), themed("document-new", QStyle::SP_FileIcon), "$$&New...");
  addButton(fileBar_, Action(CMD_FILE_OPEN), themed("document-open", QStyle::SP_DialogOpenButton), "$$&Open...");
  addButton(fileBar_, Action(CMD_FILE_SAVE), themed("document-save", QStyle::SP_DialogSaveButton), "$$&Save");

  editBar_ = addToolBar(QStringLiteral("$$&Edit"));
  editBar_->setObjectName(QStringLiteral("EditBar"));
  addButton(editBar_, Action(CMD_NEW_MEDIA), ResourceIcon(202), "$$&Media");
  editBar_->addSeparator();
  addButton(editBar_, Action(CMD_NEW_FOLDER), ResourceIcon(203), "$$&Folder");
  editBar_->addSeparator();
  addButton(editBar_, Action(CMD_SEARCH), themed("edit-find", QStyle::SP_FileDialogContentsView), "$$&Search");
  editBar_->addSeparator();
  addButton(editBar_, Action(CMD_DELETE), themed("edit-delete", QStyle::SP_TrashIcon), "$$&Delete");
  editBar_->addSeparator();
  addButton(editBar_, Action(CMD_VIEW_LARGE), QIcon::fromTheme(QStringLiteral("view-list-icons"), QIcon(QStringLiteral(":/icons/view-large.svg"))), "$$&Large Icon View");
  addButton(editBar_, Action(CMD_VIEW_SMALL), QIcon::fromTheme(QStringLiteral("view-list-compact"), QIcon(QStringLiteral(":/icons/view-small.svg"))), "$$&Small Icon View");
  addButton(editBar_, Action(CMD_VIEW_LIST), QIcon::fromTheme(QStringLiteral("view-list-text"), QIcon(QStringLiteral(":/icons/view-list.svg"))), "$$List &View");
  addButton(editBar_, Action(CMD_VIEW_DETAILS), QIcon::fromTheme(QStringLiteral("view-list-details"), QIcon(QStringLiteral(":/icons/view-details.svg"))), "$$&Details View");

  filterBar_ = addToolBar(QStringLiteral("$$Filter"));
  filterBar_->setObjectName(QStringLiteral("FilterBar"));
  filterCombo_ = new QComboBox;
  filterCombo_->setObjectName(QStringLiteral("IDC_EDITBAR_FILTERBOX"));
  filterCombo_->setEditable(true);
  filterCombo_->setInsertPolicy(QComboBox::NoInsert);
  filterCombo_->setFixedWidth(150);
  // Focus gained: a typed text is pending; focus lost: it is applied.
  filterCombo_->installEventFilter(this);
  filterCombo_->setAccessibleName(QStringLiteral("$$Filter"));
  filterBar_->addWidget(filterCombo_);
  // A choice in the list is the pending choice; it is applied at once, as
  // Enter would, since the list closing ends the choice.
  connect(filterCombo_, &QComboBox::activated, this, [this](int index) {
    Doc().Settings().filters.ComboChoose(filterCombo_->itemData(index).toInt());
    ApplyFilterCombo();
  });
  connect(filterCombo_->lineEdit(), &QLineEdit::returnPressed, this, [this] { ApplyFilterCombo(); });
  addButton(filterBar_, Action(CMD_INVERT_FILTER), themed("view-filter", QStyle::SP_ArrowDown), "$$&Invert filter");
}

void CMainFrame::ApplyFilterCombo() {
  Doc().OnFilterComboApply(filterCombo_->currentText().toStdString());
  UpdateFrame();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == filterCombo_) {
    if (event->type() == QEvent::FocusIn) {
      Doc().Settings().filters.ComboFocusIn();
    } else if (event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      // Opening the combo's own list is no loss of focus.
      ApplyFilterCombo();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::BuildStatusBar() {
  status0_ = new QLabel;
  status0_->setAccessibleName(Tr("IDS_SELECTED").trimmed());
  status1_ = new QLabel;
  status1_->setAccessibleName(QString::fromStdString(BilingualText("Status", "État")));
  progress_ = new QProgressBar;
  progress_->setRange(0, 100);
  progress_->setMaximumHeight(16);
  progress_->hide();
  statusBar()->addWidget(status0_);
  statusBar()->addWidget(status1_, 1);
  statusBar()->addWidget(progress_, 1);
  UpdateStatus();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (!status0_) return;
  status0_->setFixedWidth(width() / 2);
  UpdateStatus();
}

void CMainFrame::UpdateStatus() {
  CQuolvaneDoc& doc = Doc();
  const QString text = QString::fromStdString(SelectionStatusText(doc.list, doc.currentIndex));
  status0_->setText(status0_->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(50, status0_->width() - 4)));
  status0_->setToolTip(text);
  status1_->setText(Tr("IDS_READY"));
}

void CMainFrame::ShowProgressBar(int percent) {
  if (percent < 0) {
    status1_->hide();
    progress_->setValue(0);
    progress_->show();
  } else if (percent > 100) {
    progress_->hide();
    status1_->show();
  } else {
    progress_->setValue(percent);
    progress_->repaint();
  }
}

void CMainFrame::UpdateFrame() {
  CQuolvaneDoc& doc = Doc();
  setWindowTitle(QString::fromStdString(doc.Title()) + QStringLiteral("[*] - Quolvane"));
  setWindowModified(doc.IsModified());
  const long current = doc.currentIndex;
  const bool onMedia = current >= 0 && static_cast<size_t>(current) < doc.list.size() && doc.list[current]->type == ITEM_MEDIA;
  Action(CMD_COPY_MEDIA)->setEnabled(onMedia);
  Action(CMD_INVERT_FILTER)->setEnabled(doc.CanInvertFilter());
  // Refresh asks its options for any selected item, then acts on a media.
  Action(CMD_REFRESH)->setEnabled(current >= 0 && static_cast<size_t>(current) < doc.list.size());
  const long app = doc.TargetApplication();
  for (int c : {CMD_APPLI_EDIT, CMD_APPLI_DESCR, CMD_APPLI_DELETE}) Action(c)->setEnabled(app >= 0);
  Action(CMD_VIEW_APPLICATIONS)->setChecked(doc.showFiles == 0);
  Action(CMD_VIEW_FILES)->setChecked(doc.showFiles != 0);
  Action(CMD_INVERT_FILTER)->setChecked(doc.Settings().filters.subtreeFlag);
  FillRecentMenu();
}

// ---------------------------------------------------------------------------
// IDocumentView

void CMainFrame::RefreshPanes() {
  BeginWaitCursor();
  tree_->Rebuild();
  CQuolvaneDoc& doc = Doc();
  if (doc.showFiles && FlatFilteredMode(doc.Settings().filters)) list_->Fill(-1);
  UpdateFrame();
  EndWaitCursor();
}

void CMainFrame::OnTreeSelection(long item) {
  CQuolvaneDoc& doc = Doc();
  if (doc.showFiles && FlatFilteredMode(doc.Settings().filters)) return;
  doc.currentIndex = item;
  list_->Fill(item);
  UpdateStatus();
  description_->Show(item);
  UpdateFrame();
}

void CMainFrame::ShowListMode(bool showFiles) {
  if (QAction* a = Action(CMD_VIEW_FILES)) a->setChecked(showFiles);
  if (QAction* a = Action(CMD_VIEW_APPLICATIONS)) a->setChecked(!showFiles);
}

void CMainFrame::ShowInvertFilter(bool on) {
  if (QAction* a = Action(CMD_INVERT_FILTER)) a->setChecked(on);
}

void CMainFrame::ReloadFilterCombo() {
  const CFilterState& filters = Doc().Settings().filters;
  filterCombo_->clear();
  for (const auto& entry : filters.ComboEntries())
    filterCombo_->addItem(QString::fromStdString(entry.text), entry.data);
  filterCombo_->setCurrentIndex(static_cast<int>(filters.ComboSelection()));
  if (filters.current == kTypedPattern) filterCombo_->setEditText(QString::fromStdString(filters.TypedText()));
}

void CMainFrame::SetStatusText(const std::string& text) { status1_->setText(QString::fromStdString(text)); }

void CMainFrame::SetSelectionText(const std::string& text) {
  status0_->setText(QString::fromStdString(text));
  status0_->repaint();
}

void CMainFrame::BeginWaitCursor() {
  if (waitDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainFrame::EndWaitCursor() {
  if (waitDepth_ > 0 && --waitDepth_ == 0) QApplication::restoreOverrideCursor();
}

void CMainFrame::FreezePanes() {
  tree_->setUpdatesEnabled(false);
  list_->setUpdatesEnabled(false);
}

void CMainFrame::UnfreezePanes() {
  tree_->setUpdatesEnabled(true);
  list_->setUpdatesEnabled(true);
}

void CMainFrame::ShowItem(size_t index) {
  CQuolvaneDoc& doc = Doc();
  if (index >= doc.list.size()) return;
  const long node = TreeNodeOf(doc.list, index, doc.showFiles != 0);
  tree_->SelectItem(node);
  if (doc.showFiles && FlatFilteredMode(doc.Settings().filters)) return;
  list_->SelectItem(index);
}

IScanProgressSink* CMainFrame::ScanProgress() {
  if (!scanWindow_) scanWindow_ = std::make_unique<ScanProgressWindow>(this, [this] { return Doc().ScanInProgress(); });
  return scanWindow_.get();
}

void CMainFrame::Begin(const std::string& statusText) {
  ShowProgressBar(-1);
  status1_->setText(QString::fromStdString(statusText));
  statusBar()->showMessage(QString::fromStdString(statusText));
}

void CMainFrame::SetPercent(int percent) { ShowProgressBar(percent); }

void CMainFrame::End() {
  ShowProgressBar(101);
  statusBar()->clearMessage();
  status1_->setText(Tr("IDS_READY"));
}

// ---------------------------------------------------------------------------
// Commands

void CMainFrame::SetViewMode(int command) {
  static const std::map<int, CQuolvaneView::Mode> modes = {{CMD_VIEW_LARGE, CQuolvaneView::LargeIcons},
                                                            {CMD_VIEW_SMALL, CQuolvaneView::SmallIcons},
                                                            {CMD_VIEW_LIST, CQuolvaneView::List},
                                                            {CMD_VIEW_DETAILS, CQuolvaneView::Details}};
  list_->SetMode(modes.at(command));
  Action(command)->setChecked(true);
}

void CMainFrame::ToggleDescriptionWindow() {
  const int height = inner_->height() - inner_->handleWidth();
  if (!descriptionShown_) {
    inner_->setSizes({std::max(10, height * 2 / 3), std::max(20, height / 3)});
    descriptionShown_ = true;
  } else {
    inner_->setSizes({height, 0});
    descriptionShown_ = false;
  }
  Action(CMD_DESCRIPTION_WINDOW)->setChecked(descriptionShown_);
}

void CMainFrame::FillRecentMenu() {
  // The action that runs may be one of these: they go later, not now.
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const auto& files = Doc().RecentFiles();
  recentPlaceholder_->setVisible(files.empty());
  for (size_t n = 0; n < files.size(); ++n) {
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(n + 1).arg(RecentFileLabel(files[n])), this);
    a->setToolTip(QString::fromStdString(files[n]));
    a->setObjectName(QStringLiteral("RecentFile%1").arg(n + 1));
    connect(a, &QAction::triggered, this, [this, n] {
      Doc().OnRecentFile(n);
      OfferRecoveryOfFailedOpen();
      UpdateFrame();
    });
    fileMenu_->insertAction(recentEnd_, a);
    recentActions_.push_back(a);
  }
}

void CMainFrame::ShowProperties(long index) {
  CQuolvaneDoc& doc = Doc();
  const QFileInfo info(QString::fromStdString(doc.PathName()));
  RunPropertiesDialog(this, PropertiesListing(doc.list, index, doc.PathName(),
                                              info.exists() ? static_cast<uint32_t>(info.lastModified().toSecsSinceEpoch()) : 0));
}

namespace {

// An application with no installation program has nothing to run.
bool NothingToInstall(const CFileItem& item) {
  return item.IsApplication() && static_cast<const CFileItemAppli&>(item).installProgram.empty();
}

}  // namespace

void CMainFrame::ExportCatalogFile() {
  CQuolvaneDoc& doc = Doc();
  // The selected item's subtree, or the whole catalog from the root.
  const long from = doc.currentIndex >= 0 && static_cast<size_t>(doc.currentIndex) < doc.list.size() ? doc.currentIndex : -1;
  const QFileInfo info(QString::fromStdString(doc.PathName()));
  std::string title = info.fileName().toStdString();
  if (from >= 0) title += (title.empty() ? "" : " - ") + doc.list[static_cast<size_t>(from)]->name;
  const std::string base = info.completeBaseName().isEmpty() ? std::string("catalog") : info.completeBaseName().toStdString();
  RunExportCommand(this, ui_, base + ".csv", [&](ExportFormat format, const ExportOutput& output, IProgressSink* progress) {
    return ExportCatalog(doc.list, from, format, output, title, progress);
  });
}

void CMainFrame::AddToShelfCommand() {
  CQuolvaneDoc& doc = Doc();
  // The shelf holds files: what is only in memory cannot be searched from there.
  if (doc.IsModified() || !QFileInfo::exists(QString::fromStdString(doc.PathName()))) {
    ui_.MessageBox(Translate("IDS_SHELF_SAVEFIRST"), Translate("IDS_WARNING"), MB_ICONEXCLAMATION);
    return;
  }
  AddToShelf(app_.settings.shelf, doc.PathName());
  ui_.MessageBox(FormatInserts(Translate("IDS_SHELF_ADDED"), {ShelfPath(doc.PathName())}),
                 Translate("AFX_IDS_APP_TITLE"), MB_ICONINFORMATION);
}

void CMainFrame::OfferRecoveryOfFailedOpen() {
  // Open refuses a damaged catalog; what can be read before the damage is
  // offered as a new catalog rather than lost.
  const std::string failed = Doc().TakeFailedOpen();
  if (!failed.empty()) Doc().OfferRecovery(failed);
}

void CMainFrame::TreeExecute() {
  CQuolvaneDoc& doc = Doc();
  const long current = doc.currentIndex;
  if (current < 0 || static_cast<size_t>(current) >= doc.list.size()) return;
  const CFileItem& item = *doc.list[current];
  if (NothingToInstall(item)) return;
  if (ChangeMediaPrompt(doc.list, static_cast<size_t>(current), ui_))
    ExecuteItem(doc.list, static_cast<size_t>(current), true, ui_);
}

void CMainFrame::OnCommand(int command) {
  CQuolvaneDoc& doc = Doc();
  switch (command) {
    case CMD_FILE_NEW: doc.OnFileNew(); break;
    case CMD_FILE_OPEN:
      doc.OnFileOpen();
      OfferRecoveryOfFailedOpen();
      break;
    case CMD_FILE_SAVE: doc.OnFileSave(); break;
    case CMD_FILE_SAVE_AS: doc.OnFileSaveAs(); break;
    case CMD_MERGE: doc.OnFileMerge(); break;
    case CMD_NEW_MEDIA: doc.OnNewMedia(); break;
    case CMD_NEW_FOLDER: doc.OnNewFolder(); break;
    case CMD_REFRESH: doc.OnRefresh(); break;
    case CMD_DELETE: doc.OnDelete(); break;
    case CMD_RENAME: tree_->EditCurrent(); break;
    case CMD_SEARCH: doc.OnSearch(); break;
    case CMD_CONFIGURATION: doc.OnConfiguration(); break;
    case CMD_APPLI_NEW: doc.OnApplicationNew(); break;
    case CMD_APPLI_EDIT: doc.OnApplicationEdit(); break;
    case CMD_APPLI_DESCR: doc.OnApplicationDescription(); break;
    case CMD_APPLI_DELETE: doc.OnApplicationDelete(); break;
    case CMD_RELOAD_APPLIS: app_.ReloadApplisDat(); break;
    case CMD_VIEW_APPLICATIONS: doc.OnViewApplications(); break;
    case CMD_VIEW_FILES: doc.OnViewFiles(); break;
    case CMD_MODIFY_FILTERS: doc.OnModifyFilters(); break;
    case CMD_INVERT_FILTER: doc.OnInvertFilter(); break;
    case CMD_PROPERTIES: ShowProperties(doc.currentIndex); break;
    case CMD_DUPLICATES:
      if (const auto chosen = RunDuplicatesDialog(this, doc.list, doc.currentIndex, ui_)) ShowItem(*chosen);
      break;
    case CMD_EXPORT: ExportCatalogFile(); break;
    case CMD_SHELF_ADD: AddToShelfCommand(); break;
    case CMD_STATISTICS:
      if (const auto chosen = RunStatisticsDialog(this, doc.list, doc.currentIndex)) ShowItem(*chosen);
      break;
    case CMD_EXECUTE: TreeExecute(); break;
    case CMD_VIEW_LARGE:
    case CMD_VIEW_SMALL:
    case CMD_VIEW_LIST:
    case CMD_VIEW_DETAILS: SetViewMode(command); break;
    case CMD_DESCRIPTION_WINDOW: ToggleDescriptionWindow(); break;
    case CMD_EXIT: close(); break;
    case CMD_TOOLBAR: {
      const bool show = Action(CMD_TOOLBAR)->isChecked();
      for (QToolBar* bar : {fileBar_, editBar_, filterBar_}) bar->setVisible(show);
      break;
    }
    case CMD_STATUSBAR: statusBar()->setVisible(Action(CMD_STATUSBAR)->isChecked()); break;
    case CMD_SPLIT: StartKeyboardSplit(outer_, inner_); break;
    case CMD_OPTIONS: RunConfigSheet(this, ui_, app_.settings); break;
    case CMD_HELP_INDEX: ShowHelpIndex(this); break;
    case CMD_ITEM_LIST: doc.OnItemList(); break;
    default:
      if (onExtraCommand) onExtraCommand(command);
      break;
  }
  UpdateFrame();
}

void CMainFrame::OnListCommand(int command) {
  CQuolvaneDoc& doc = Doc();
  const long selected = list_->SelectedItem();
  if (command == CMD_PROPERTIES) {
    ShowProperties(selected);
    return;
  }
  if (selected < 0) return;
  const size_t index = static_cast<size_t>(selected);
  CFileItem& item = *doc.list[index];
  const bool filesDirectory = doc.showFiles && item.type == ITEM_DIRECTORY;
  const bool emptyInstall = NothingToInstall(item);
  switch (command) {
    case CMD_EXECUTE:
    case CMD_LIST_INSTALL:
      if (command == CMD_LIST_INSTALL && emptyInstall) return;
      if (filesDirectory) {
        ShowItem(index);
      } else if (ChangeMediaPrompt(doc.list, index, ui_)) {
        ExecuteItem(doc.list, index, command == CMD_LIST_INSTALL, ui_);
      }
      break;
    case CMD_CONSULT:
      if (item.type == ITEM_FILE && ChangeMediaPrompt(doc.list, index, ui_)) OpenInNotepad(doc.list, index, ui_);
      break;
    case CMD_FILE_DESCR:
      if (!item.IsApplication()) RunDescriptionDialog(this, "$$Description of", item.name, item.description, false);
      break;
    case CMD_FILE_EDIT_DESCR:
      if (item.IsApplication()) break;
      if (auto text = RunDescriptionDialog(this, "$$File description", item.name, item.description, true)) {
        item.description = *text;
        doc.SetModifiedFlag(true);
        description_->Show(selected);
      }
      break;
    case CMD_APPLI_DESCR: doc.OnApplicationDescription(); break;
    case CMD_APPLI_EDIT: doc.OnApplicationEdit(); break;
    case CMD_APPLI_DELETE: doc.OnApplicationDelete(); break;
    default: break;
  }
  UpdateFrame();
}

void CMainFrame::OpenDropped(const QString& path) {
  CQuolvaneDoc& doc = Doc();
  if (!doc.ConfirmDiscard()) return;
  doc.OpenPath(path.toStdString());
  OfferRecoveryOfFailedOpen();
  UpdateFrame();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".qvd"), Qt::CaseInsensitive)) {
      event->acceptProposedAction();
      return;
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".qvd"), Qt::CaseInsensitive)) {
      event->acceptProposedAction();
      OpenDropped(url.toLocalFile());
      return;
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Save, Discard or Cancel; a failed save keeps the window open too.
  if (!Doc().SaveModified()) {
    event->ignore();
    return;
  }
  event->accept();
}
