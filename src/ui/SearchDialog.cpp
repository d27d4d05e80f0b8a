#include "ui/SearchDialog.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>

#include "ports/ProgressSink.h"
#include "ports/UiPort.h"
#include "query/SearchSession.h"
#include "ui/ContextMenu.h"
#include "ui/DialogSupport.h"
#include "ui/ExportCommand.h"
#include "ui/HelpWindow.h"
#include "ui/Icons.h"
#include "ui/Translate.h"
#include "ui_SearchDialog.h"

namespace {

constexpr int kSearchTemplate = 193;

// Rows of the session, cell texts asked for only when drawn: a search of a
// big catalog may find hundreds of thousands of items.
class ResultModel : public QAbstractTableModel {
 public:
  explicit ResultModel(CSearchSession& session) : session_(session) {}
  void Reload() {
    beginResetModel();
    columns_ = session_.Columns();
    endResetModel();
  }
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(session_.Results().size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : static_cast<int>(columns_.size()); }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const auto cells = session_.RowTexts(static_cast<size_t>(index.row()));
    return static_cast<size_t>(index.column()) < cells.size() ? QString::fromStdString(cells[index.column()]) : QString();
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= static_cast<int>(columns_.size())) return {};
    return Tr(columns_[section].key);
  }
  int Width(int column) const { return columns_[column].width; }
  const char* Key(int column) const { return columns_[column].key; }

 private:
  CSearchSession& session_;
  std::vector<ResultColumn> columns_;
};

// The walk's progress on the dialog's bar; each step repaints it and lets
// the window system breathe so that the dialog does not freeze.
class BarProgress : public IProgressSink {
 public:
  BarProgress(QProgressBar* bar, QPushButton* stop) : bar_(bar), stop_(stop) {
    QObject::connect(stop_, &QPushButton::clicked, stop_, [this] { stopped_ = true; });
  }
  void Begin(const std::string&) override {
    bar_->setValue(0);
    bar_->setVisible(true);
  }
  void SetPercent(int percent) override {
    bar_->setValue(percent);
    bar_->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  void End() override { bar_->setVisible(false); }
  // Polled between the catalogs of a shelf search: the Stop button alone
  // takes clicks then (the other controls are disabled by the caller).
  bool StopRequested() override {
    QApplication::processEvents();
    return stopped_;
  }
  void Arm(bool shelf) {
    stopped_ = false;
    stop_->setVisible(shelf);
  }

 private:
  QProgressBar* bar_;
  QPushButton* stop_;
  bool stopped_ = false;
};

QRect g_lastGeometry;
QSize g_firstSize;

QString SizeText(uint32_t kb) { return QString::number(kb); }

}  // namespace

std::optional<size_t> RunSearchDialog(QWidget* owner, CSearchSession& session, IUiPort& ui, CFileTypeCache* types) {
  // Every row's type, by the name alone, as the file list asks it.
  CFileTypeCache ownTypes;
  CFileTypeCache* cache = types ? types : &ownTypes;
  session.typeNameOf = [cache](const std::string& key) { return cache->Get(key).typeName; };
  struct Unhook {
    CSearchSession& s;
    ~Unhook() { s.typeNameOf = nullptr; }
  } unhook{session};
  QDialog dialog(owner);
  Ui::SearchDialog form;
  form.setupUi(&dialog);
  dialog.setObjectName(QStringLiteral("SearchDialog"));
  TranslateWindow(&dialog);
  dialog.setWindowTitle(QString::fromStdString(session.Title()));
  InstallHelp(&dialog, kSearchTemplate, form.help);
  for (const char* key : kSearchKindKeys) form.kind->addItem(Tr(key));
  form.progress->setVisible(false);
  form.inShelf->setEnabled(session.HasShelf());
  form.inShelf->setChecked(session.HasShelf() && session.inShelf);
  QObject::connect(form.inShelf, &QCheckBox::toggled, &dialog, [&](bool on) { session.inShelf = on; });

  auto fillHistory = [&](const std::string& text) {
    form.text->clear();
    for (const std::string& entry : session.HistoryEntries()) form.text->addItem(QString::fromStdString(entry));
    form.text->setEditText(QString::fromStdString(text));
  };
  const SearchRequest initial = session.InitialRequest();
  fillHistory(initial.text);
  form.caseSensitive->setChecked(initial.caseSensitive);
  form.minSize->setText(SizeText(initial.minKb));
  form.maxSize->setText(SizeText(initial.maxKb));
  form.kind->setCurrentIndex(initial.kind);
  uint32_t lastMin = initial.minKb, lastMax = initial.maxKb;

  ResultModel model(session);
  model.Reload();
  form.results->setModel(&model);
  form.results->setSelectionMode(QAbstractItemView::SingleSelection);
  form.results->setSelectionBehavior(QAbstractItemView::SelectRows);
  auto setWidths = [&] {
    const QFontMetrics metrics = form.results->fontMetrics();
    for (int c = 0; c < model.columnCount({}); ++c)
      form.results->setColumnWidth(c, FittedColumnWidth(metrics, model.Key(c), Tr(model.Key(c)), model.Width(c)));
  };
  setWidths();
  QObject::connect(form.results->selectionModel(), &QItemSelectionModel::currentRowChanged, &dialog,
                   [&](const QModelIndex& current) { session.selectedRow = current.isValid() ? current.row() : -1; });
  // After the rows changed order or number: the session's row stays selected.
  auto reloadKeepingSelection = [&] {
    const long row = session.selectedRow;
    model.Reload();
    if (row >= 0 && row < model.rowCount({})) {
      const QModelIndex at = model.index(static_cast<int>(row), 0);
      form.results->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      form.results->scrollTo(at);
    }
    session.selectedRow = row < model.rowCount({}) ? row : -1;
  };
  QHeaderView* header = form.results->header();
  header->setSectionsClickable(true);
  QObject::connect(header, &QHeaderView::sectionClicked, &dialog, [&](int column) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    session.ClickColumn(column);
    QApplication::restoreOverrideCursor();
    reloadKeepingSelection();
  });
  form.results->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(form.results, &QWidget::customContextMenuRequested, &dialog, [&](const QPoint& pos) {
    const QModelIndex at = form.results->indexAt(pos);
    if (!at.isValid()) return;
    form.results->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const std::vector<MenuEntry> entries = session.RowMenu();
    if (entries.empty() || !session.runCommand) return;
    const int command = RunContextMenu(&dialog, entries, form.results->viewport()->mapToGlobal(pos));
    if (command == CMD_NONE) return;
    session.runCommand(command);
    reloadKeepingSelection();
  });

  // Field validation: a size that is not a whole number is reported and the
  // last accepted value comes back.
  auto readSize = [&](QLineEdit* field, uint32_t& last) {
    if (!ParseSizeField(field->text().toStdString(), last)) {
      ui.MessageBox(SizeFieldError(), Tr("IDS_WARNING").toStdString(), MB_ICONEXCLAMATION);
      field->setText(SizeText(last));
    }
    return last;
  };
  form.stop->setVisible(false);
  BarProgress progress(form.progress, form.stop);
  QObject::connect(form.find, &QPushButton::clicked, &dialog, [&] {
    SearchRequest request;
    request.text = form.text->currentText().toStdString();
    request.caseSensitive = form.caseSensitive->isChecked();
    request.minKb = readSize(form.minSize, lastMin);
    request.maxKb = readSize(form.maxSize, lastMax);
    request.kind = form.kind->currentIndex();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool shelf = session.inShelf && session.HasShelf();
    progress.Arm(shelf);
    // While catalogs are read one after another only Stop answers.
    QWidget* const busy[] = {form.find, form.goTo, form.exit, form.exportRows, form.results, form.text, form.kind};
    for (QWidget* w : busy) w->setEnabled(!shelf);
    form.inShelf->setEnabled(!shelf);
    session.Find(request, ui, &progress);
    for (QWidget* w : busy) w->setEnabled(true);
    form.inShelf->setEnabled(session.HasShelf());
    form.stop->setVisible(false);
    QApplication::restoreOverrideCursor();
    fillHistory(request.text);
    model.Reload();
    setWidths();
    if (!session.Results().empty()) form.results->setFocus();
  });
  std::optional<size_t> chosen;
  auto goTo = [&] {
    // A row of another catalog of the shelf: the document opens it.
    if ((chosen = session.GoTo()) || session.ShelfGoTo()) dialog.accept();
  };
  QObject::connect(form.goTo, &QPushButton::clicked, &dialog, goTo);
  QObject::connect(form.results, &QAbstractItemView::doubleClicked, &dialog, goTo);
  QObject::connect(form.exit, &QPushButton::clicked, &dialog, &QDialog::reject);
  // Exactly the rows found, in the order shown.
  form.exportRows->setEnabled(!session.Results().empty());
  QObject::connect(form.find, &QPushButton::clicked, &dialog,
                   [&] { form.exportRows->setEnabled(!session.Results().empty()); });
  QObject::connect(form.exportRows, &QPushButton::clicked, &dialog, [&] {
    RunExportCommand(&dialog, ui, "search.csv", [&](ExportFormat format, const ExportOutput& output, IProgressSink*) {
      session.ExportResults(format, output);
      return true;
    });
  });

  // Wide enough at first for every column, the date whole.
  int columnsWidth = 0;
  for (int c = 0; c < model.columnCount({}); ++c) columnsWidth += form.results->columnWidth(c);
  dialog.resize(std::max({dialog.sizeHint().width(), 720, columnsWidth + 80}), std::max(dialog.sizeHint().height(), 420));
  if (g_firstSize.isEmpty()) g_firstSize = dialog.size();
  dialog.setMinimumSize(g_firstSize);
  if (g_lastGeometry.isValid()) dialog.setGeometry(g_lastGeometry);
  dialog.exec();
  g_lastGeometry = dialog.geometry();
  return chosen;
}
