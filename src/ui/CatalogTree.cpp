#include "ui/CatalogTree.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include "app/Document.h"
#include "app/Settings.h"
#include "i18n/Translator.h"
#include "ui/ContextMenu.h"
#include "ui/Icons.h"
#include "ui/Translate.h"

CatalogTreeModel::CatalogTreeModel(CQuolvaneDoc& doc, QObject* parent) : QAbstractItemModel(parent), doc_(doc) {
  Rebuild();
}

void CatalogTreeModel::Rebuild() {
  beginResetModel();
  shape_ = BuildTreeShape(doc_.list, doc_.Settings().filters, doc_.showFiles != 0);
  endResetModel();
}

long CatalogTreeModel::ItemOf(const QModelIndex& index) const {
  if (!index.isValid()) return -1;
  return shape_.item[index.internalId()];
}

QModelIndex CatalogTreeModel::IndexOfNode(long node) const {
  if (node < 0 || static_cast<size_t>(node) >= shape_.NodeCount()) return {};
  return createIndex(shape_.row[node], 0, static_cast<quintptr>(node));
}

QModelIndex CatalogTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) return row == 0 ? createIndex(0, 0, quintptr(0)) : QModelIndex();
  const size_t node = parent.internalId();
  if (static_cast<size_t>(row) >= shape_.ChildCount(node)) return {};
  return createIndex(row, 0, static_cast<quintptr>(shape_.Child(node, row)));
}

QModelIndex CatalogTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return IndexOfNode(shape_.parent[child.internalId()]);
}

int CatalogTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return 1;
  return static_cast<int>(shape_.ChildCount(parent.internalId()));
}

int CatalogTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CatalogTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const long item = shape_.item[index.internalId()];
  if (item < 0) {
    if (role == Qt::DisplayRole || role == Qt::EditRole)
      return doc_.PathName().empty() ? QString() : QFileInfo(QString::fromStdString(doc_.PathName())).completeBaseName();
    if (role == Qt::DecorationRole) return ResourceIcon(1);
    return {};
  }
  const CFileItem& it = *doc_.list[static_cast<size_t>(item)];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return QString::fromStdString(it.name);
    case Qt::DecorationRole: {
      switch (it.type) {
        case ITEM_FOLDER: return ResourceIcon(203);
        case ITEM_MEDIA: {
          const auto& media = static_cast<const CFileItemMedia&>(it);
          const CFileItemMedia* kind = media.GetPrototype();
          return ResourceIcon(kind ? kind->GetIconId() : media.GetIconId());
        }
        case ITEM_ARCHIVE_ENTRY: return ResourceIcon(137);
        default: {
          QIcon icon = ResourceIcon(204);
          icon.addPixmap(ResourceIcon(205).pixmap(16, 16), QIcon::Selected);
          return icon;
        }
      }
    }
    case Qt::FontRole:
      if (it.IsApplication()) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    case Qt::AccessibleTextRole:
      return QString::fromStdString(it.name);
    default:
      return {};
  }
}

Qt::ItemFlags CatalogTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (doc_.CanRename(shape_.item[index.internalId()])) f |= Qt::ItemIsEditable;
  return f;
}

bool CatalogTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  const long item = shape_.item[index.internalId()];
  // The rename rebuilds the tree, which puts the new text in place.
  if (onRename) onRename(item, value.toString().toStdString());
  return false;
}

CTreeVarn::CTreeVarn(CQuolvaneDoc& doc, QWidget* parent) : QTreeView(parent), doc_(doc) {
  model_ = new CatalogTreeModel(doc, this);
  setModel(model_);
  setHeaderHidden(true);
  setUniformRowHeights(true);
  // The one column is as wide as its widest shown label: wider than the
  // pane, it brings a horizontal scroll bar instead of cutting labels.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setRootIsDecorated(true);
  setAccessibleName(QString::fromStdString(BilingualText("Catalog tree", "Arbre du catalogue")));
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { CurrentChanged(current); });
  model_->onRename = [this](long item, const std::string& name) {
    // Queued: the rename rebuilds the model, which must not happen while the
    // editor is still committing its data.
    QMetaObject::invokeMethod(
        this, [this, item, name] { doc_.Rename(item, name); }, Qt::QueuedConnection);
  };
}

void CTreeVarn::CurrentChanged(const QModelIndex& current) {
  if (rebuilding_) return;
  if (onSelectionChanged) onSelectionChanged(model_->ItemOf(current));
}

void CTreeVarn::Rebuild() {
  const long remembered = doc_.currentIndex;
  const long oldNode = model_->Shape().NodeOfItem(remembered);
  const bool wasExpanded = oldNode >= 0 && isExpanded(model_->IndexOfNode(oldNode));
  // The selection is put back quietly; the panes are refilled once, below.
  rebuilding_ = true;
  setUpdatesEnabled(false);
  model_->Rebuild();
  if (model_->Shape().NodeCount() > 2) expand(model_->IndexOfNode(0));
  const long node = model_->Shape().NodeOfItem(remembered);
  if (node >= 0) {
    const QModelIndex index = model_->IndexOfNode(node);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (wasExpanded) expand(index);
    scrollTo(index);
  }
  rebuilding_ = false;
  if (onSelectionChanged) onSelectionChanged(node >= 0 ? remembered : -1);
  setUpdatesEnabled(true);
}

bool CTreeVarn::SelectItem(long index) {
  const long node = model_->Shape().NodeOfItem(index);
  if (node < 0) return false;
  const QModelIndex mi = model_->IndexOfNode(node);
  selectionModel()->setCurrentIndex(mi, QItemSelectionModel::ClearAndSelect);
  scrollTo(mi);
  return true;
}

void CTreeVarn::EditCurrent() {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return;
  if (!doc_.CanRename(model_->ItemOf(current))) return;
  edit(current);
}

void CTreeVarn::keyPressEvent(QKeyEvent* event) {
  if (state() == QAbstractItemView::EditingState) return QTreeView::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_F2:
      EditCurrent();
      return;
    case Qt::Key_Delete:
      if (onCommand) onCommand(CMD_DELETE);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      const QModelIndex current = currentIndex();
      if (current.isValid()) setExpanded(current, !isExpanded(current));
      return;
    }
    default:
      QTreeView::keyPressEvent(event);
  }
}

void CTreeVarn::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex at = indexAt(event->pos());
  if (!at.isValid()) return;
  const long item = model_->ItemOf(at);
  const std::vector<MenuEntry> entries = TreeContextMenu(doc_.list, item);
  if (entries.empty()) return;
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
  const int command = RunContextMenu(this, entries, event->globalPos());
  if (command != CMD_NONE && onCommand) onCommand(command);
}
