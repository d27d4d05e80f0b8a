#include "ui/FileListView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHash>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTreeView>
#include <QVBoxLayout>
#include <memory>

#include "app/Document.h"
#include "app/Settings.h"
#include "i18n/Translator.h"
#include "query/Filters.h"
#include "query/ListSort.h"
#include "query/Panes.h"
#include "ui/ContextMenu.h"
#include "ui/DialogSupport.h"
#include "ui/Icons.h"
#include "ui/Translate.h"

FileListModel::FileListModel(CQuolvaneDoc& doc, CFileTypeCache& types, QObject* parent)
    : QAbstractTableModel(parent), doc_(doc), types_(types) {}

void FileListModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void FileListModel::Fill(long index, const std::function<void(int)>& progress) {
  beginResetModel();
  rows_.clear();
  filesMode_ = doc_.showFiles != 0;
  const CFileItemList& list = doc_.list;
  const CFilterState& filters = doc_.Settings().filters;
  const bool flat = filesMode_ && FlatFilteredMode(filters);
  if (flat || (index >= 0 && static_cast<size_t>(index) < list.size())) {
    rows_ = filesMode_ ? FileListItems(list, index, filters) : ApplicationListItems(list, index);
    // Type names are asked once per extension; the item keeps its own.
    int lastPercent = -1;
    for (size_t r = 0; r < rows_.size(); ++r) {
      CFileItem& item = *list[rows_[r]];
      if (item.typeName.empty() && !(filesMode_ && item.type == ITEM_DIRECTORY))
        item.typeName = types_.Get(IconKeyOf(item, filesMode_)).typeName;
      const int percent = static_cast<int>((r + 1) * 100 / rows_.size());
      if (filesMode_ && progress && percent != lastPercent) progress(lastPercent = percent);
    }
    SortListRows(list, rows_, ListSortCode(filesMode_, sortColumn_, descending_[sortColumn_]));
  }
  endResetModel();
}

void FileListModel::SortRows() {
  beginResetModel();
  SortListRows(doc_.list, rows_, ListSortCode(filesMode_, sortColumn_, descending_[sortColumn_]));
  endResetModel();
}

void FileListModel::ClickColumn(int column) {
  if (column < 0 || column >= static_cast<int>(descending_.size())) return;
  descending_[column] = !descending_[column];
  sortColumn_ = column;
  SortRows();
}

int FileListModel::RowOf(size_t item) const {
  for (size_t r = 0; r < rows_.size(); ++r)
    if (rows_[r] == item) return static_cast<int>(r);
  return -1;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ListColumns(filesMode_).size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size()) return {};
  const CFileItem& item = *doc_.list[rows_[static_cast<size_t>(index.row())]];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return QString::fromStdString(ListColumnText(item, filesMode_, index.column()));
    case Qt::DecorationRole:
      if (index.column() == 0) return types_.Get(IconKeyOf(item, filesMode_)).icon;
      return {};
    case Qt::TextAlignmentRole:
      return static_cast<int>((ListColumns(filesMode_)[index.column()].rightAligned ? Qt::AlignRight : Qt::AlignLeft) |
                              Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const ListColumn& column = ListColumns(filesMode_)[section];
  if (role == Qt::DisplayRole) return Tr(column.key);
  if (role == Qt::TextAlignmentRole)
    return static_cast<int>((column.rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

namespace {

// Text widths as the sum of the characters' advances, from a table made
// once per font: measuring every name of a big list with the shaper takes
// seconds, this takes milliseconds. Kerning only narrows the drawn text.
class CharAdvances {
 public:
  static const CharAdvances& For(const QFont& font) {
    static QHash<QString, std::shared_ptr<CharAdvances>> cache;
    std::shared_ptr<CharAdvances>& entry = cache[font.key()];
    if (!entry) entry = std::make_shared<CharAdvances>(font);
    return *entry;
  }
  explicit CharAdvances(const QFont& font) : metrics_(font) {
    for (int c = 0; c < kTable; ++c) table_[c] = metrics_.horizontalAdvance(QChar(c));
  }
  int Width(QChar c) const {
    if (c.unicode() < kTable) return table_[c.unicode()];
    // Outside the table, and each half of a surrogate pair: the widest.
    if (c.isSurrogate()) return metrics_.maxWidth();
    auto it = others_.constFind(c.unicode());
    if (it == others_.constEnd()) it = others_.insert(c.unicode(), metrics_.horizontalAdvance(c));
    return *it;
  }
  int Width(QStringView text) const {
    int width = 0;
    for (QChar c : text) width += Width(c);
    return width;
  }

 private:
  static constexpr int kTable = 0x600;
  QFontMetrics metrics_;
  int table_[kTable];
  mutable QHash<char16_t, int> others_;
};

}  // namespace

int NameAdvance(const QString& text, const QFont& font) { return CharAdvances::For(font).Width(text); }

namespace {

// Wraps text into lines no wider than width, as a file manager does: at
// word boundaries, inside a word only when it is wider than the width;
// blanks at a line's end take no room. Calls line(start, end) for each.
template <typename OnLine>
void WrapName(const QString& text, const CharAdvances& advances, int width, OnLine line) {
  qsizetype lineStart = 0;
  int lineWidth = 0;
  auto flush = [&](qsizetype end) {
    if (end > lineStart) line(lineStart, end);
    lineStart = end;
    lineWidth = 0;
  };
  qsizetype i = 0;
  while (i < text.size()) {
    qsizetype wordEnd = i;
    while (wordEnd < text.size() && !text[wordEnd].isSpace()) ++wordEnd;
    qsizetype blankEnd = wordEnd;
    while (blankEnd < text.size() && text[blankEnd].isSpace()) ++blankEnd;
    const int wordWidth = advances.Width(QStringView(text).mid(i, wordEnd - i));
    if (lineWidth + wordWidth > width) {
      if (lineWidth > 0) flush(i);
      if (wordWidth > width) {
        for (qsizetype c = i; c < wordEnd; ++c) {
          const int w = advances.Width(text[c]);
          if (lineWidth > 0 && lineWidth + w > width) flush(c);
          lineWidth += w;
        }
        lineWidth += advances.Width(QStringView(text).mid(wordEnd, blankEnd - wordEnd));
        i = blankEnd;
        continue;
      }
    }
    lineWidth += wordWidth + advances.Width(QStringView(text).mid(wordEnd, blankEnd - wordEnd));
    i = blankEnd;
  }
  flush(text.size());
}

int LargeIconLineCount(const QString& text, const QFont& font, int width) {
  int lines = 0;
  WrapName(text, CharAdvances::For(font), width, [&](qsizetype, qsizetype) { ++lines; });
  return std::max(lines, 1);
}

}  // namespace

QStringList LargeIconTextLines(const QString& text, const QFont& font, int width) {
  QStringList lines;
  WrapName(text, CharAdvances::For(font), width,
           [&](qsizetype start, qsizetype end) { lines << text.mid(start, end - start).trimmed(); });
  if (lines.isEmpty()) lines << QString();
  return lines;
}

namespace {

// Cells of the icon views, all of one size made to hold the longest name
// of the list whole: under large icons in a column of fixed width, wrapped
// over as many lines as the longest takes; beside small icons and in the
// list on one line. (One size for all keeps the layout of a list of a
// hundred thousand rows instant.)
class IconCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool large = false;
  QSize cell{64, 20};

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return cell; }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o(option);
    initStyleOption(&o, index);
    o.textElideMode = Qt::ElideNone;
    if (!large) return QStyledItemDelegate::paint(painter, o, index);
    // The style draws the selection and the icon; the text is ours.
    const QString text = o.text;
    o.text.clear();
    const QWidget* widget = o.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &o, painter, widget);
    const QPalette::ColorGroup group = o.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->save();
    painter->setFont(o.font);
    painter->setPen(o.palette.color(group, o.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    const int lineHeight = QFontMetrics(o.font).lineSpacing();
    QRect line(o.rect.left() + kMargin, o.rect.top() + kMargin + o.decorationSize.height() + kGap,
               o.rect.width() - 2 * kMargin, lineHeight);
    for (const QString& part : LargeIconTextLines(text, o.font, kLargeIconTextWidth)) {
      painter->drawText(line, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, part);
      line.translate(0, lineHeight);
    }
    painter->restore();
  }

  // The one cell size for these names (the texts of column 0).
  void Measure(const QStringList& names, const QFont& font, const QSize& iconSize) {
    const QFontMetrics metrics(font);
    if (large) {
      int lines = 1;
      for (const QString& name : names) lines = std::max(lines, LargeIconLineCount(name, font, kLargeIconTextWidth));
      cell = QSize(kLargeIconCellWidth, kMargin + iconSize.height() + kGap + lines * metrics.lineSpacing() + kMargin);
      return;
    }
    int widest = 0;
    const CharAdvances& advances = CharAdvances::For(font);
    for (const QString& name : names) widest = std::max(widest, advances.Width(name));
    // The style's margins around the icon and the text, and a little room.
    cell = QSize(iconSize.width() + widest + 6 * kMargin + 4, std::max(iconSize.height(), metrics.height()) + 4);
  }

 private:
  static constexpr int kMargin = 3;
  static constexpr int kGap = 2;
};

}  // namespace

CQuolvaneView::CQuolvaneView(CQuolvaneDoc& doc, CFileTypeCache& types, QWidget* parent)
    : QWidget(parent), doc_(doc) {
  model_ = new FileListModel(doc, types, this);
  stack_ = new QStackedWidget(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);

  icons_ = new QListView;
  icons_->setModel(model_);
  // One size for every cell, made for the longest name by MeasureCells
  // (the view would otherwise take the first row's size for all).
  icons_->setUniformItemSizes(true);
  icons_->setTextElideMode(Qt::ElideNone);
  iconCells_ = new IconCellDelegate(icons_);
  icons_->setItemDelegate(iconCells_);
  icons_->setResizeMode(QListView::Adjust);
  icons_->setSelectionMode(QAbstractItemView::SingleSelection);
  icons_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  icons_->setAccessibleName(QString::fromStdString(BilingualText("File list", "Liste des fichiers")));
  details_ = new QTreeView;
  details_->setModel(model_);
  details_->setSelectionModel(icons_->selectionModel());
  details_->setRootIsDecorated(false);
  details_->setUniformRowHeights(true);
  details_->setItemsExpandable(false);
  details_->setAllColumnsShowFocus(true);
  details_->setSelectionMode(QAbstractItemView::SingleSelection);
  details_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  details_->setAccessibleName(QString::fromStdString(BilingualText("File list", "Liste des fichiers")));
  details_->header()->setSectionsClickable(true);
  details_->header()->setStretchLastSection(false);
  connect(details_->header(), &QHeaderView::sectionClicked, this, [this](int column) { model_->ClickColumn(column); });
  stack_->addWidget(icons_);
  stack_->addWidget(details_);

  for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(icons_), static_cast<QAbstractItemView*>(details_)}) {
    view->viewport()->installEventFilter(this);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& pos) { ShowContextMenu(view->viewport()->mapToGlobal(pos)); });
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
      if (onActivated) onActivated(static_cast<long>(model_->RowItem(index.row())));
    });
  }
  ApplyColumns();
  SetMode(Details);
}

void CQuolvaneView::ApplyColumns() {
  const bool files = model_->FilesMode();
  const auto& columns = ListColumns(files);
  const QFontMetrics metrics = details_->fontMetrics();
  for (size_t c = 0; c < columns.size(); ++c)
    details_->setColumnWidth(static_cast<int>(c),
                             FittedColumnWidth(metrics, columns[c].key, Tr(columns[c].key), columns[c].width));
  columnsFilesMode_ = files;
}

void CQuolvaneView::Fill(long index) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (onItemClicked) onItemClicked(-1);
  setUpdatesEnabled(false);
  const bool wasFiles = model_->FilesMode();
  if (onProgress && doc_.showFiles) onProgress(-1);
  model_->Fill(index, onProgress ? std::function<void(int)>(onProgress) : std::function<void(int)>());
  if (onProgress && doc_.showFiles) onProgress(101);
  if (wasFiles != model_->FilesMode() || columnsFilesMode_ != model_->FilesMode()) ApplyColumns();
  if (mode_ != Details) MeasureCells();
  setUpdatesEnabled(true);
  QApplication::restoreOverrideCursor();
}

void CQuolvaneView::MeasureCells() {
  QStringList names;
  names.reserve(model_->rowCount());
  for (int row = 0; row < model_->rowCount(); ++row)
    names << model_->data(model_->index(row, 0), Qt::DisplayRole).toString();
  static_cast<IconCellDelegate*>(iconCells_)->Measure(names, icons_->font(), icons_->iconSize());
  icons_->doItemsLayout();
}

void CQuolvaneView::SetMode(Mode mode) {
  mode_ = mode;
  if (mode == Details) {
    stack_->setCurrentWidget(details_);
    return;
  }
  static_cast<IconCellDelegate*>(iconCells_)->large = mode == LargeIcons;
  icons_->setViewMode(mode == LargeIcons ? QListView::IconMode : QListView::ListMode);
  icons_->setIconSize(mode == LargeIcons ? QSize(32, 32) : QSize(16, 16));
  icons_->setFlow(mode == List ? QListView::TopToBottom : QListView::LeftToRight);
  icons_->setWrapping(true);
  icons_->setMovement(QListView::Static);
  icons_->setResizeMode(QListView::Adjust);
  icons_->setGridSize(QSize());
  icons_->setSpacing(mode == LargeIcons ? 6 : 2);
  icons_->setWordWrap(false);
  // The cells' size depends on the mode and the names: the layout is made again.
  MeasureCells();
  stack_->setCurrentWidget(icons_);
}

long CQuolvaneView::SelectedItem() const {
  const QModelIndexList selected = icons_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return -1;
  return static_cast<long>(model_->RowItem(selected.first().row()));
}

bool CQuolvaneView::SelectItem(size_t item) {
  const int row = model_->RowOf(item);
  if (row < 0) return false;
  const QModelIndex index = model_->index(row, 0);
  icons_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  (mode_ == Details ? static_cast<QAbstractItemView*>(details_) : icons_)->scrollTo(index);
  return true;
}

bool CQuolvaneView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    // After the view's own selection handling, the description pane follows
    // the clicked row; a click outside the rows clears it.
    auto* view = watched == details_->viewport() ? static_cast<QAbstractItemView*>(details_) : icons_;
    const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
    QMetaObject::invokeMethod(
        this,
        [this, view, pos] {
          const QModelIndex at = view->indexAt(pos);
          if (onItemClicked) onItemClicked(at.isValid() ? static_cast<long>(model_->RowItem(at.row())) : -1);
        },
        Qt::QueuedConnection);
  }
  return QWidget::eventFilter(watched, event);
}

void CQuolvaneView::ShowContextMenu(const QPoint& globalPos) {
  const long item = SelectedItem();
  if (item < 0) return;
  const int command = RunContextMenu(this, ListContextMenu(doc_.list, static_cast<size_t>(item)), globalPos);
  if (command != CMD_NONE && onCommand) onCommand(command);
}
