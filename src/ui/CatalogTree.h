// CTreeVarn: the catalog tree. A model over the catalog's containers (built
// once per rebuild, names read on demand) and the view with in-place
// renaming of folders and media, the tree's keys and its context menu.
#pragma once

#include <QAbstractItemModel>
#include <QTreeView>
#include <functional>

#include "query/Panes.h"

class CQuolvaneDoc;

class CatalogTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit CatalogTreeModel(CQuolvaneDoc& doc, QObject* parent = nullptr);

  // Builds the nodes again from the catalog, the mode and the filter.
  void Rebuild();
  const TreeShape& Shape() const { return shape_; }
  QModelIndex IndexOfNode(long node) const;
  // The catalog index a model index shows (-1 for the root or no index).
  long ItemOf(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Called when a label edit ends with a text; the rename rebuilds the tree.
  std::function<void(long item, const std::string& name)> onRename;

 private:
  CQuolvaneDoc& doc_;
  TreeShape shape_;
};

class CTreeVarn : public QTreeView {
  Q_OBJECT
 public:
  explicit CTreeVarn(CQuolvaneDoc& doc, QWidget* parent = nullptr);
  CatalogTreeModel* Model() const { return model_; }

  // Fill again, keeping the current item selected and expanded as it was.
  void Rebuild();
  // Selects the node of a catalog item; false when it has none.
  bool SelectItem(long index);
  // Starts a label edit on the current node (F2, the Rename command).
  void EditCurrent();
  bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

  // The current node changed: the new catalog index (-1: root or none).
  std::function<void(long item)> onSelectionChanged;
  // A command of the context menu or of a key.
  std::function<void(int command)> onCommand;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CurrentChanged(const QModelIndex& current);

  CQuolvaneDoc& doc_;
  CatalogTreeModel* model_;
  bool rebuilding_ = false;
};
