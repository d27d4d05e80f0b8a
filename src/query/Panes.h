// What the main window's panes show: tree shape, list columns and their
// texts, icon keys, context menu entries, the status text and the picture
// shown beside a description. The windows only draw these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFileItem;
class CFileItemList;
class CFilterState;
class PLBitmap;

// Command identifiers of menus, tool bars and context menus; the values are
// those the message tables and help contexts were written for.
enum PaneCommand : int {
  CMD_NONE = 0,  // a separator
  CMD_EXECUTE = 32770,
  CMD_RENAME = 32772,
  CMD_PROPERTIES = 32774,
  CMD_VIEW_LARGE = 32775,
  CMD_VIEW_SMALL = 32776,
  CMD_VIEW_LIST = 32777,
  CMD_VIEW_DETAILS = 32778,
  CMD_MERGE = 32780,
  CMD_MODIFY_FILTERS = 32781,
  CMD_COPY_MEDIA = 32782,
  CMD_APPLI_DELETE = 32783,
  CMD_DELETE = 32784,
  CMD_NEW_MEDIA = 32785,
  CMD_NEW_FOLDER = 32786,
  CMD_PASTE_MEDIA = 32787,
  CMD_SEARCH = 32789,
  CMD_INVERT_FILTER = 32791,
  CMD_CONFIGURATION = 32793,
  CMD_REFRESH = 32794,
  CMD_APPLI_NEW = 32796,
  CMD_APPLI_EDIT = 32797,
  CMD_VIEW_APPLICATIONS = 32798,
  CMD_VIEW_FILES = 32799,
  CMD_FILE_EDIT_DESCR = 32800,
  CMD_APPLI_DESCR = 32801,
  CMD_RELOAD_APPLIS = 32802,
  CMD_FILE_DESCR = 32803,
  CMD_FILE_NEW = 32804,
  CMD_FILE_OPEN = 32805,
  CMD_FILE_SAVE = 32806,
  CMD_FILE_SAVE_AS = 32807,
  CMD_DESCRIPTION_WINDOW = 32809,
  CMD_LIST_INSTALL = 32601,
  CMD_CONSULT = 32606,
  CMD_OPTIONS = 4000,
};

struct MenuEntry {
  std::string key;  // message key of the label; empty for a separator
  int command = CMD_NONE;
  bool enabled = true;
};

// Context menu of a tree node (index -1: the root); empty when the catalog
// holds no item, so that no menu opens.
std::vector<MenuEntry> TreeContextMenu(const CFileItemList& list, long index);
// Context menu of the list's selected row.
std::vector<MenuEntry> ListContextMenu(const CFileItemList& list, size_t index);

// The tree: node 0 is the root (item -1); every other node shows one item.
// Children of a node are sorted by name without regard to case, once,
// after the fill.
struct TreeShape {
  std::vector<int32_t> item;        // catalog index per node; -1 for the root
  std::vector<int32_t> parent;      // parent node; -1 for the root
  std::vector<int32_t> row;         // position among the parent's children
  std::vector<uint32_t> childStart;  // children of node n: children[childStart[n] .. childStart[n+1])
  std::vector<int32_t> children;

  size_t NodeCount() const { return item.size(); }
  size_t ChildCount(size_t node) const { return childStart[node + 1] - childStart[node]; }
  int32_t Child(size_t node, size_t r) const { return children[childStart[node] + r]; }
  // The node showing catalog index, found depth first from the root; -1 when none.
  long NodeOfItem(long index) const;
};
TreeShape BuildTreeShape(const CFileItemList& list, const CFilterState& filters, bool filesMode);

// List columns of a mode: heading key, width in pixels, right alignment.
struct ListColumn {
  const char* key;
  int width;
  bool rightAligned;
};
const std::vector<ListColumn>& ListColumns(bool filesMode);
// The text of a column for an item, as the list and the search results show it.
std::string ListColumnText(const CFileItem& item, bool filesMode, int column);

// Key of the file-type icon cache: "." for a directory in files mode,
// otherwise the lower-cased part of the name from its last "." on, or the
// whole lower-cased name when it has no ".".
std::string IconKeyOf(const CFileItem& item, bool filesMode);

// Part 0 of the status bar: "Currently selected: " + " " + the logical path
// of the tree's current item, or "None" when there is none.
std::string SelectionStatusText(const CFileItemList& list, long index);

// The thumbnail the description pane shows beside item index: a file's own
// thumbnail while its medium is present; null otherwise.
const PLBitmap* ShownThumbnail(const CFileItemList& list, long index);
