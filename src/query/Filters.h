// Extension filters: what the file list and the tree show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CFileItemList;

struct Filter {
  std::vector<std::string> extensions;  // without the dot
  std::string name;
  int32_t showEmptyDirectories = 0;
};

constexpr int kNoFilter = -1;
constexpr int kTypedPattern = -2;

// Reads and writes values of the "Filters" section of the settings file.
struct FilterStorage {
  // True when some line of the settings file is exactly "[Filters]"; false
  // too when the file cannot be read.
  std::function<bool()> hasSection;
  std::function<std::string(const std::string& valueName)> read;  // "" when absent
  std::function<void(const std::string& valueName, const std::string& value)> write;
};

class CFilterState {
 public:
  std::vector<Filter> filters;
  int current = kNoFilter;
  Filter typed;             // extensions[0] holds the text shown in the combo
  bool subtreeFlag = false;  // "Invert filter": list the passing files of the whole subtree

  CFilterState();

  // useLastFilter 0 makes the current index -1 afterwards.
  void Load(const FilterStorage& storage, bool useLastFilter = true);
  void Save(const FilterStorage& storage) const;

  // 1 when the file name passes the current filter.
  int FilterMatchesFile(std::string_view fileName) const;
  // The current filter's flag; 1 when there is no filter.
  int FilterShowsEmptyContainers() const;
  bool Active() const { return current != kNoFilter; }
  const std::string& TypedText() const { return typed.extensions[0]; }

  // Combo box entries: (text, data), the "No filter" text first with -1.
  struct ComboEntry {
    std::string text;
    int data;
  };
  std::vector<ComboEntry> ComboEntries() const;
  // Index in ComboEntries() to select.
  size_t ComboSelection() const;
  // Applies the pending combo choice (-2 for typed text) with the combo's
  // text; true when the current filter changed and the panes must refill.
  bool ApplyComboChoice(int pending, const std::string& comboText);
  // The combo's pending choice: -2 (the typed text) when it gains the focus,
  // an entry's data when one is chosen in its list. Enter and focus loss
  // apply it; a typed text that is an entry's text chooses that entry. The
  // pending choice then returns to -2.
  int pendingChoice = kTypedPattern;
  void ComboFocusIn() { pendingChoice = kTypedPattern; }
  void ComboChoose(int data) { pendingChoice = data; }
  bool ApplyPendingComboChoice(const std::string& comboText);

  // Filter list editing. Deleting the current filter leaves no filter; a
  // current filter after the deleted one moves down with it.
  void AddFilter(const Filter& filter);
  void ReplaceFilter(size_t index, const Filter& filter);
  void DeleteFilter(size_t index);
};

// Whether some line of the settings file is exactly "[Filters]" (the test
// FilterStorage::hasSection stands for); false when the file cannot be read.
bool SettingsFileHasFiltersSection(const std::string& path);

// The three filters created when the settings have no "[Filters]" section.
std::vector<Filter> DefaultFilters();

// Parses an "Item N" value: name, flag, extensions. A value without a comma is
// a name with empty directories shown.
Filter ParseFilterValue(const std::string& value);
std::string FormatFilterValue(const Filter& filter);

// What the panes show, as item indices in catalog order.
// True when the file list is flat: a filter is active and the subtree flag is
// on; the list then holds every passing file of the catalog and does not
// follow the tree's selection.
bool FlatFilteredMode(const CFilterState& filters);
// Files mode file list of a container (ignored in the flat mode): with no
// filter its direct children of types Dir, File and Compressed file; with a
// filter, its passing File children.
std::vector<size_t> FileListItems(const CFileItemList& list, long container, const CFilterState& filters);
// Applications mode file list: every application of the container's subtree.
std::vector<size_t> ApplicationListItems(const CFileItemList& list, long container);
// Items that get a tree node, in catalog order. Files mode: folders, media,
// directories and archive entries, less the media, directories and entries
// with no passing file in their subtree when the filter hides empty
// containers. Applications mode: folders and media only.
std::vector<size_t> TreeItems(const CFileItemList& list, const CFilterState& filters, bool filesMode);
// The tree node that shows item index ("$$Go to ...", a click in the flat
// list): folders and media are their own nodes, and in files mode
// directories and archive entries too; an application otherwise stands
// under its media, any other item under its parent. -1: the root.
long TreeNodeOf(const CFileItemList& list, size_t index, bool filesMode);
