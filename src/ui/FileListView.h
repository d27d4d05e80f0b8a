// CQuolvaneView: the file list. One model whose rows are catalog indices and
// whose texts are made on demand, shown in four view modes (large icons,
// small icons, list, details) that share one selection.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QListView;
class QStyledItemDelegate;
class QTreeView;
class QStackedWidget;
class CQuolvaneDoc;
class CFileTypeCache;

class FileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  FileListModel(CQuolvaneDoc& doc, CFileTypeCache& types, QObject* parent = nullptr);

  // Refills for the tree's item (or the whole catalog in the flat filtered
  // mode); progress reports the share walked, in percent.
  void Fill(long index, const std::function<void(int)>& progress = {});
  void Clear();
  // Column click: the column's order flips and becomes the sort order.
  void ClickColumn(int column);
  void SortRows();
  bool FilesMode() const { return filesMode_; }
  size_t RowItem(int row) const { return rows_[static_cast<size_t>(row)]; }
  int RowOf(size_t item) const;
  const std::vector<size_t>& Rows() const { return rows_; }
  int SortColumn() const { return sortColumn_; }
  bool Descending(int column) const { return descending_[static_cast<size_t>(column)]; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  CQuolvaneDoc& doc_;
  CFileTypeCache& types_;
  std::vector<size_t> rows_;
  bool filesMode_ = true;
  std::array<bool, 5> descending_{};
  int sortColumn_ = 0;
};

// Large icons: every cell is this wide, its text this wide; a name wraps
// over as many lines as it takes. The lines a name takes in a width, and
// the width a text is given (the sum of its characters' advances).
constexpr int kLargeIconCellWidth = 104;
constexpr int kLargeIconTextWidth = kLargeIconCellWidth - 8;
QStringList LargeIconTextLines(const QString& text, const QFont& font, int width);
int NameAdvance(const QString& text, const QFont& font);

class CQuolvaneView : public QWidget {
  Q_OBJECT
 public:
  enum Mode { LargeIcons, SmallIcons, List, Details };
  CQuolvaneView(CQuolvaneDoc& doc, CFileTypeCache& types, QWidget* parent = nullptr);

  FileListModel* Model() const { return model_; }
  void Fill(long index);
  void SetMode(Mode mode);
  Mode GetMode() const { return mode_; }
  // The catalog index of the selected row; -1 when none.
  long SelectedItem() const;
  // Selects, focuses and shows the row of a catalog item; false when not listed.
  bool SelectItem(size_t item);
  QTreeView* DetailsView() const { return details_; }
  QListView* IconView() const { return icons_; }

  std::function<void(int percent)> onProgress;  // -1 begins, 101 ends
  std::function<void(long item)> onItemClicked;  // -1: a click outside the rows
  std::function<void(long item)> onActivated;    // double click
  std::function<void(int command)> onCommand;    // context menu

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ApplyColumns();
  // The icon views' one cell size, for the names listed now.
  void MeasureCells();
  void ShowContextMenu(const QPoint& globalPos);

  CQuolvaneDoc& doc_;
  FileListModel* model_;
  QStackedWidget* stack_;
  QListView* icons_;
  QStyledItemDelegate* iconCells_;
  QTreeView* details_;
  Mode mode_ = Details;
  bool columnsFilesMode_ = true;
};
