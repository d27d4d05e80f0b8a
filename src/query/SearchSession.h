// The search dialog without its window: what "$$Find..." does, the result
// rows, "$$Go to ...". The GUI's dialog (and the command line) drive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "query/Export.h"
#include "query/Panes.h"
#include "query/Search.h"
#include "scan/MediaPaths.h"

class CFileItemList;
class IUiPort;
class IProgressSink;

// What the dialog remembers between openings during a run (not saved).
struct SearchDialogMemory {
  bool caseSensitive = true;
  uint32_t minKb = 0;
  uint32_t maxKb = 0;
  int32_t kind = -1;  // unset until the first search
};

// The fields of the dialog when "$$Find..." is pressed.
struct SearchRequest {
  std::string text;  // as typed
  bool caseSensitive = true;
  uint32_t minKb = 0;
  uint32_t maxKb = 0;
  int32_t kind = SEARCH_ALL;
};

class CSearchSession {
 public:
  // start: the selected container, -1 for the whole catalog. filesMode: the
  // file list shows files (it picks the first kind and the row texts).
  CSearchSession(const CFileItemList& list, long start, SearchHistory& history, SearchDialogMemory& memory,
                 bool filesMode);

  // "$$Search in" + " " + the starting point's catalog path ("\" for the whole catalog).
  std::string Title() const;
  // The fields the dialog opens with (the remembered ones; the kind, when
  // never chosen, "$$Search for all" in files mode, "$$Directory name" in
  // applications mode). The text is the history's first entry.
  SearchRequest InitialRequest() const;
  // Texts of the search text's drop-down list.
  std::vector<std::string> HistoryEntries() const { return history_.ComboEntries(); }

  // "$$Find...": adds the text to the history, remembers the fields, warns
  // about empty criteria (IDS_SEARCH_EMPTY), searches with progress, reports
  // nothing found, and orders the results. True when something was found.
  bool Find(const SearchRequest& request, IUiPort& ui, IProgressSink* progress = nullptr);

  // The result rows: catalog indices in display order.
  const std::vector<size_t>& Results() const { return results_; }
  // The columns of the last search (by its kind).
  std::vector<ResultColumn> Columns() const;
  // Cell texts of a row under the columns of the last search, in the file
  // list's mode; the path is computed once and cached.
  std::vector<std::string> RowTexts(size_t row);
  // The type name of a row's item: the file list's lookup by name alone
  // (typeNameOf, the window's, by icon key), kept in the item but for a
  // directory, whose key names no file type.
  std::string TypeName(size_t row);
  std::function<std::string(const std::string& iconKey)> typeNameOf;

  // Column click: the column's order flips (the first click sorts
  // descending, as in the file list) and the rows are sorted by it.
  void ClickColumn(int column);
  int SortColumn() const { return sortColumn_; }

  // The selected row's context menu (an application's commands; empty
  // otherwise) and what runs its commands: the document's application
  // commands, which act on the selected row while the dialog is open.
  std::vector<MenuEntry> RowMenu() const;
  std::function<void(int command)> runCommand;

  // The selected row (-1 for none); the application commands act on it
  // while the dialog is open.
  long selectedRow = -1;
  std::optional<size_t> SelectedItem() const;
  // Removes the selected row (its application was deleted).
  void RemoveSelectedRow();
  // "$$Go to ...": the selected row's item, nothing when no row is selected.
  std::optional<size_t> GoTo() const { return SelectedItem(); }

  // "In every catalog of the shelf": the document gives the shelf's files
  // and the open catalog's; with inShelf set, Find reads them one after
  // another instead of searching the open catalog, and every row starts
  // with its catalog file.
  void SetShelf(std::vector<std::string> files, std::string openCatalog);
  bool HasShelf() const { return !shelfFiles_.empty(); }
  bool inShelf = false;
  // Whether the rows shown are those of a shelf search.
  bool ShelfRows() const { return shelfResults_; }
  // "$$Go to ..." on a row of another catalog than the open one: that file
  // and the item's index in it (the document opens it, asking first about
  // unsaved changes). Nothing for a row of the open catalog.
  struct ShelfTarget {
    std::string file;
    size_t index = 0;
  };
  std::optional<ShelfTarget> ShelfGoTo() const;
  // The rows shown, as an export (CSV, HTML, JSON lines) writes them.
  void ExportResults(ExportFormat format, const ExportOutput& output) const;

  const SearchCriteria& LastCriteria() const { return lastCriteria_; }
  long Start() const { return start_; }
  bool FilesMode() const { return filesMode_; }
  const CFileItemList& List() const { return list_; }

 private:
  const CFileItemList& list_;
  long start_;
  SearchHistory& history_;
  SearchDialogMemory& memory_;
  bool filesMode_;
  int32_t lastKind_ = SEARCH_ALL;
  SearchCriteria lastCriteria_;
  std::vector<size_t> results_;
  std::vector<std::string> pathCache_;
  std::array<bool, 6> descending_{};  // a shelf search adds the catalog column
  int sortColumn_ = -1;  // -1: the order of the search
  // Built at the first row of a search; the catalog keeps its shape while
  // the dialog is open, but for a deleted application.
  std::optional<CItemPaths> paths_;

  // What a row shows, whichever catalog it came from.
  struct RowFields {
    std::string name;  // an application's title in applications mode
    uint32_t size = 0;
    uint32_t time = 0;
  };
  RowFields FieldsOf(size_t row) const;
  const std::string& PathOf(size_t row);
  std::string CatalogNameOf(size_t row) const;

  bool FindInShelf(IUiPort& ui, IProgressSink* progress);
  std::vector<std::string> shelfFiles_;
  std::string openCatalog_;
  bool shelfResults_ = false;
  // Rows of a shelf search, taken while their catalog was loaded.
  struct ShelfRow {
    size_t file = 0;
    RowFields fields;
    std::string iconKey;
    std::string typeName;
    ExportRow row;
  };
  std::vector<ShelfRow> shelfRows_;
};

// A size field of the dialog ("$$Minimum file size", "$$Maximum file size"):
// blanks around an unsigned decimal number. On any other text value is left
// as it was (the last accepted value) and the answer is false.
bool ParseSizeField(const std::string& text, uint32_t& value);
// The field validation's message for such a field.
std::string SizeFieldError();

// Orders found items as the result list shows them: by time, oldest first,
// except for "$$Directory name", whose rows keep the order found.
void SortSearchResults(const CFileItemList& list, std::vector<size_t>& results, int32_t kind);
