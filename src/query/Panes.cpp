#include "query/Panes.h"

#include <algorithm>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/Filters.h"
#include "query/ListSort.h"
#include "scan/MediaPaths.h"

namespace {

const CFileItemAppli* AsApplication(const CFileItem& item) {
  return item.IsApplication() ? static_cast<const CFileItemAppli*>(&item) : nullptr;
}

}  // namespace

std::vector<MenuEntry> TreeContextMenu(const CFileItemList& list, long index) {
  std::vector<MenuEntry> out;
  if (list.size() == 0 || index >= static_cast<long>(list.size())) return out;
  const CFileItem* item = index >= 0 ? list[static_cast<size_t>(index)] : nullptr;
  const CFileItemAppli* app = item ? AsApplication(*item) : nullptr;
  auto applicationEntries = [&] {
    if (!app) return;
    out.push_back({"IDS_DESCR", CMD_APPLI_DESCR, true});
    out.push_back({"IDS_INSTALL", CMD_EXECUTE, !app->installProgram.empty()});
  };
  if (item && item->type == ITEM_MEDIA) {
    out = {{"IDS_SEARCH", CMD_SEARCH}, {"IDS_RENAME", CMD_RENAME}, {"IDS_DELETE_OPT", CMD_DELETE},
           {"IDS_REFRESH", CMD_REFRESH}};
  } else if (item && item->type == ITEM_DIRECTORY) {
    out = {{"IDS_SEARCH", CMD_SEARCH}, {"IDS_DELETE_OPT", CMD_DELETE}};
    applicationEntries();
  } else if (item && item->type == ITEM_ARCHIVE_ENTRY) {
    out = {{"IDS_SEARCH", CMD_SEARCH}};
    applicationEntries();
  } else if (!item || item->type == ITEM_FOLDER) {
    out = {{"IDS_MEDIA_NEW_OPT", CMD_NEW_MEDIA}, {"IDS_FOLDER_NEW_OPT", CMD_NEW_FOLDER}};
    if (item) {
      out.push_back({"IDS_SEARCH", CMD_SEARCH});
      out.push_back({"IDS_RENAME", CMD_RENAME});
      out.push_back({"IDS_DELETE_OPT", CMD_DELETE});
    }
  }
  out.push_back({});
  out.push_back({"IDS_PROPERTIES", CMD_PROPERTIES});
  return out;
}

std::vector<MenuEntry> ListContextMenu(const CFileItemList& list, size_t index) {
  std::vector<MenuEntry> out;
  if (index >= list.size()) return out;
  const CFileItem& item = *list[index];
  if (item.type == ITEM_FILE) {
    out = {{"IDS_OPEN", CMD_EXECUTE},
           {"IDS_CONSULT", CMD_CONSULT},
           {"IDS_DESCR", CMD_FILE_DESCR},
           {"IDS_FILE_EDIT_DESCR", CMD_FILE_EDIT_DESCR}};
  } else if (item.type == ITEM_ARCHIVE_ENTRY) {
    out = {{"IDS_OPEN", CMD_EXECUTE}};
  }
  if (const CFileItemAppli* app = AsApplication(item)) {
    out.push_back({"IDS_INSTALL", CMD_LIST_INSTALL, !app->installProgram.empty()});
    out.push_back({"IDS_DESCR", CMD_APPLI_DESCR});
    out.push_back({"IDS_APPLI_EDIT", CMD_APPLI_EDIT});
    out.push_back({"IDS_DELETE_OPT", CMD_APPLI_DELETE});
  }
  out.push_back({});
  out.push_back({"IDS_PROPERTIES", CMD_PROPERTIES});
  return out;
}

long TreeShape::NodeOfItem(long index) const {
  // Nodes are numbered in catalog order, which is the depth-first order of
  // the unsorted tree, so the first node with the index is the one found.
  for (size_t n = 0; n < item.size(); ++n)
    if (item[n] == index) return static_cast<long>(n);
  return -1;
}

TreeShape BuildTreeShape(const CFileItemList& list, const CFilterState& filters, bool filesMode) {
  TreeShape shape;
  const std::vector<size_t> items = TreeItems(list, filters, filesMode);
  const size_t n = items.size() + 1;
  shape.item.resize(n);
  shape.parent.resize(n);
  shape.row.assign(n, 0);
  shape.item[0] = -1;
  shape.parent[0] = -1;
  // The parent of a node at level L is the node last placed at level L - 1.
  std::vector<int32_t> lastAtLevel;
  std::vector<uint32_t> count(n + 1, 0);
  for (size_t k = 0; k < items.size(); ++k) {
    const size_t node = k + 1;
    const int level = std::max<int>(0, list[items[k]]->level);
    shape.item[node] = static_cast<int32_t>(items[k]);
    int32_t parent = 0;
    if (level > 0 && static_cast<size_t>(level) <= lastAtLevel.size()) parent = lastAtLevel[level - 1];
    else if (level > 0 && !lastAtLevel.empty()) parent = lastAtLevel.back();
    shape.parent[node] = parent;
    ++count[parent];
    if (lastAtLevel.size() <= static_cast<size_t>(level)) lastAtLevel.resize(level + 1, 0);
    lastAtLevel[level] = static_cast<int32_t>(node);
    lastAtLevel.resize(level + 1);
  }
  shape.childStart.assign(n + 1, 0);
  for (size_t p = 0; p < n; ++p) shape.childStart[p + 1] = shape.childStart[p] + count[p];
  shape.children.resize(n - 1);
  std::vector<uint32_t> fill(shape.childStart.begin(), shape.childStart.end() - 1);
  for (size_t node = 1; node < n; ++node) shape.children[fill[shape.parent[node]]++] = static_cast<int32_t>(node);
  // Each parent's children are sorted once here rather than after every
  // insertion: the same order without the quadratic cost on wide directories.
  for (size_t p = 0; p < n; ++p) {
    auto first = shape.children.begin() + shape.childStart[p];
    auto last = shape.children.begin() + shape.childStart[p + 1];
    std::stable_sort(first, last, [&](int32_t a, int32_t b) {
      return CompareNoCase(list[shape.item[a]]->name, list[shape.item[b]]->name) < 0;
    });
    for (auto it = first; it != last; ++it) shape.row[*it] = static_cast<int32_t>(it - first);
  }
  return shape;
}

const std::vector<ListColumn>& ListColumns(bool filesMode) {
  static const std::vector<ListColumn> files = {{"IDS_NAME", 150, false},
                                                {"IDS_SIZE", 75, true},
                                                {"IDS_FILETYPE", 150, false},
                                                {"IDS_DATE", 150, false},
                                                {"IDS_ATTRIBS", 150, false}};
  static const std::vector<ListColumn> applications = {{"IDS_APPLI_DESCR", 250, false},
                                                       {"IDS_APPLI_DATE", 120, false},
                                                       {"IDS_APPLI_SIZE", 75, false},
                                                       {"IDS_APPLI_INSTALL", 75, false}};
  return filesMode ? files : applications;
}

std::string ListColumnText(const CFileItem& item, bool filesMode, int column) {
  if (filesMode) {
    switch (column) {
      case 0: return item.name;
      case 1: return item.type == ITEM_DIRECTORY ? std::string() : KiloText(item.size);
      case 2: return item.typeName;
      case 3: return FormatItemTime(item.time);
      case 4: return AttributeText(item.attributes);
      default: return {};
    }
  }
  const CFileItemAppli* app = AsApplication(item);
  if (!app) return {};
  switch (column) {
    case 0: return app->GetTitle();
    case 1: return FormatItemTime(app->appTime);
    case 2: return KiloText(app->appSize);
    case 3: return app->installProgram;
    default: return {};
  }
}

std::string IconKeyOf(const CFileItem& item, bool filesMode) {
  if (filesMode && item.type == ITEM_DIRECTORY) return ".";
  const size_t dot = item.name.rfind('.');
  std::string key = dot == std::string::npos ? item.name : item.name.substr(dot);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return key;
}

std::string SelectionStatusText(const CFileItemList& list, long index) {
  std::string text = Translate("IDS_SELECTED") + " ";
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return text + Translate("IDS_NONE");
  return text + LogicalPath(list, static_cast<size_t>(index));
}

const PLBitmap* ShownThumbnail(const CFileItemList& list, long index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
  const CFileItem& item = *list[static_cast<size_t>(index)];
  if (item.type != ITEM_FILE || !item.thumbnail) return nullptr;
  const long media = OwningMedia(list, static_cast<size_t>(index));
  if (media < 0) return nullptr;
  const std::string path = PhysicalPath(list, static_cast<size_t>(index));
  const auto& owner = static_cast<const CFileItemMedia&>(*list[static_cast<size_t>(media)]);
  if (!owner.IsSameVolume(&path)) return nullptr;
  return item.thumbnail.get();
}
