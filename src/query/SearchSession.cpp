#include "query/SearchSession.h"

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "ports/UiPort.h"
#include "query/ArchiveMembers.h"
#include "query/ListSort.h"
#include "query/MultiSearch.h"
#include "scan/MediaPaths.h"

CSearchSession::CSearchSession(const CFileItemList& list, long start, SearchHistory& history,
                               SearchDialogMemory& memory, bool filesMode)
    : list_(list),
      start_(start >= 0 && static_cast<size_t>(start) < list.size() ? start : -1),
      history_(history),
      memory_(memory),
      filesMode_(filesMode) {}

std::string CSearchSession::Title() const {
  const std::string where = start_ < 0 ? std::string("\\") : LogicalPath(list_, static_cast<size_t>(start_));
  return Translate("$$Search in") + " " + where;
}

SearchRequest CSearchSession::InitialRequest() const {
  SearchRequest r;
  const auto entries = history_.ComboEntries();
  if (!entries.empty()) r.text = entries.front();
  r.caseSensitive = memory_.caseSensitive;
  r.minKb = memory_.minKb;
  r.maxKb = memory_.maxKb;
  r.kind = memory_.kind >= 0 ? memory_.kind : (filesMode_ ? SEARCH_ALL : SEARCH_DIRECTORY_NAME);
  return r;
}

bool CSearchSession::Find(const SearchRequest& request, IUiPort& ui, IProgressSink* progress) {
  history_.Add(request.text);
  results_.clear();
  pathCache_.clear();
  paths_.reset();
  shelfRows_.clear();
  shelfResults_ = false;
  selectedRow = -1;
  sortColumn_ = -1;
  memory_.caseSensitive = request.caseSensitive;
  memory_.minKb = request.minKb;
  memory_.maxKb = request.maxKb;
  memory_.kind = request.kind;

  SearchCriteria c;
  c.text = request.text;
  c.ignoreCase = request.caseSensitive ? 0 : 1;
  c.minKb = request.minKb;
  c.maxKb = request.maxKb;
  c.kind = request.kind >= SEARCH_ALL && request.kind <= SEARCH_FILE_DESCRIPTION ? request.kind : SEARCH_ALL;
  lastKind_ = c.kind;
  if (!PrepareSearch(c)) {
    lastCriteria_ = c;
    ui.MessageBox(Translate("IDS_SEARCH_EMPTY"), Translate("IDS_WARNING"), MB_ICONWARNING);
    return false;
  }
  lastCriteria_ = c;
  if (inShelf && HasShelf()) return FindInShelf(ui, progress);

  int lastPercent = -1;
  SearchProgress onProgress;
  if (progress) {
    progress->Begin(std::string());
    onProgress = [&](size_t position, size_t first, size_t last) {
      const size_t span = last > first ? last - first : 1;
      const int percent = static_cast<int>(std::min<size_t>(100, (position - first) * 100 / span));
      if (percent != lastPercent) progress->SetPercent(lastPercent = percent);
    };
  }
  const bool found = SearchCatalog(list_, start_, c, results_, onProgress);
  if (progress) progress->End();

  if (!found) {
    const NotFoundMessage m = SearchNotFoundMessage(c);
    ui.MessageBox(m.text, m.caption, MB_ICONERROR);
    return false;
  }
  SortSearchResults(list_, results_, c.kind);
  return true;
}

namespace {

// What a result column shows, by its heading; the "$$Directory name" search
// has no type column.
enum class Cell { Name, Path, Size, Type, Date };

std::vector<Cell> CellsOf(int32_t kind) {
  if (kind == SEARCH_DIRECTORY_NAME) return {Cell::Name, Cell::Path, Cell::Size, Cell::Date};
  return {Cell::Name, Cell::Path, Cell::Size, Cell::Type, Cell::Date};
}

// The name, size and time a row shows in applications mode: an
// application's own, any other item's plain fields.
struct AppFields {
  std::string title;
  uint32_t size;
  uint32_t time;
};
AppFields AppFieldsOf(const CFileItem& item) {
  if (const auto* app = dynamic_cast<const CFileItemAppli*>(&item)) return {app->GetTitle(), app->appSize, app->appTime};
  return {ApplicationTitle(item.description), item.size, item.time};
}

}  // namespace

std::vector<ResultColumn> CSearchSession::Columns() const {
  std::vector<ResultColumn> columns = SearchResultColumns(lastKind_);
  if (shelfResults_) columns.insert(columns.begin(), ResultColumn{"$$Catalog", 200});
  return columns;
}

bool CSearchSession::FindInShelf(IUiPort& ui, IProgressSink* progress) {
  shelfResults_ = true;
  auto addRows = [&](size_t file, const CFileItemList& list, const std::vector<size_t>& found) {
    const CItemPaths paths(list);
    const CArchiveLookup archives(list);
    for (const size_t index : found) {
      const CFileItem& item = *list[index];
      ShelfRow row;
      row.file = file;
      row.iconKey = IconKeyOf(item, true);
      row.row = MakeExportRow(item, paths.Logical(index, false), archives.IsMember(index));
      row.row.catalogFile = shelfFiles_[file];
      if (filesMode_) {
        row.fields = {item.name, item.size, item.time};
      } else {
        AppFields a = AppFieldsOf(item);
        row.fields = {std::move(a.title), a.size, a.time};
      }
      results_.push_back(index);
      shelfRows_.push_back(std::move(row));
    }
  };
  // The open catalog as it is in memory (it may hold unsaved changes),
  // first; the others from their files.
  std::vector<std::string> others;
  std::vector<size_t> otherPositions;
  for (size_t k = 0; k < shelfFiles_.size(); ++k) {
    if (shelfFiles_[k] == openCatalog_) {
      std::vector<size_t> found;
      SearchCatalog(list_, -1, lastCriteria_, found);
      addRows(k, list_, found);
    } else {
      others.push_back(shelfFiles_[k]);
      otherPositions.push_back(k);
    }
  }
  const MultiSearchResult r = SearchCatalogFiles(
      others, lastCriteria_,
      [&](size_t k, const CFileItemList& list, const std::vector<size_t>& found) {
        addRows(otherPositions[k], list, found);
      },
      progress);
  if (!r.failures.empty()) {
    std::string text = Translate("IDS_SHELF_UNREADABLE");
    for (const MultiSearchFailure& f : r.failures) text += "\r\n" + f.file + ": " + f.reason;
    ui.MessageBox(text, Translate("IDS_WARNING"), MB_ICONWARNING);
  }
  if (results_.empty() && !r.stopped) {
    const NotFoundMessage m = SearchNotFoundMessage(lastCriteria_);
    ui.MessageBox(m.text, m.caption, MB_ICONERROR);
    return false;
  }
  return !results_.empty();
}

void CSearchSession::SetShelf(std::vector<std::string> files, std::string openCatalog) {
  shelfFiles_ = std::move(files);
  openCatalog_ = std::move(openCatalog);
}

std::optional<CSearchSession::ShelfTarget> CSearchSession::ShelfGoTo() const {
  if (!shelfResults_ || selectedRow < 0 || static_cast<size_t>(selectedRow) >= shelfRows_.size()) return std::nullopt;
  const ShelfRow& row = shelfRows_[static_cast<size_t>(selectedRow)];
  if (shelfFiles_[row.file] == openCatalog_) return std::nullopt;
  return ShelfTarget{shelfFiles_[row.file], results_[static_cast<size_t>(selectedRow)]};
}

void CSearchSession::ExportResults(ExportFormat format, const ExportOutput& output) const {
  if (!shelfResults_) {
    ExportItems(list_, results_, format, output, Title());
    return;
  }
  CExportWriter writer(format, output, true, Title());
  writer.Begin();
  for (const ShelfRow& row : shelfRows_) writer.Row(row.row);
  writer.End();
}

CSearchSession::RowFields CSearchSession::FieldsOf(size_t row) const {
  if (shelfResults_) return shelfRows_[row].fields;
  const CFileItem& item = *list_[results_[row]];
  if (filesMode_) return {item.name, item.size, item.time};
  AppFields a = AppFieldsOf(item);
  return {std::move(a.title), a.size, a.time};
}

// The file's name is enough to tell catalogs apart on screen; the export keeps the whole path.
std::string CSearchSession::CatalogNameOf(size_t row) const {
  return std::filesystem::path(shelfFiles_[shelfRows_[row].file]).filename().string();
}

const std::string& CSearchSession::PathOf(size_t row) {
  if (shelfResults_) return shelfRows_[row].row.path;
  if (pathCache_.size() != results_.size()) pathCache_.assign(results_.size(), std::string());
  std::string& path = pathCache_[row];
  if (path.empty()) {
    if (!paths_) paths_.emplace(list_);
    path = paths_->Logical(results_[row], false);
  }
  return path;
}

std::string CSearchSession::TypeName(size_t row) {
  if (row >= results_.size()) return {};
  // A directory's "." names no file type: the file list leaves its own empty.
  if (shelfResults_) {
    ShelfRow& shelfRow = shelfRows_[row];
    if (shelfRow.typeName.empty() && typeNameOf && shelfRow.iconKey != ".")
      shelfRow.typeName = typeNameOf(shelfRow.iconKey);
    return shelfRow.typeName;
  }
  CFileItem& item = *list_[results_[row]];
  if (!item.typeName.empty() || !typeNameOf) return item.typeName;
  const std::string key = IconKeyOf(item, true);
  std::string name = typeNameOf(key);
  if (key != ".") item.typeName = name;
  return name;
}

std::vector<std::string> CSearchSession::RowTexts(size_t row) {
  if (row >= results_.size()) return {};
  std::vector<std::string> cells;
  if (shelfResults_) cells.push_back(CatalogNameOf(row));
  const RowFields f = FieldsOf(row);
  for (Cell cell : CellsOf(lastKind_)) {
    switch (cell) {
      case Cell::Name: cells.push_back(f.name); break;
      case Cell::Path: cells.push_back(PathOf(row)); break;
      case Cell::Size: cells.push_back(KiloText(f.size)); break;
      case Cell::Type: cells.push_back(TypeName(row)); break;
      case Cell::Date: cells.push_back(FormatItemTime(f.time)); break;
    }
  }
  return cells;
}

void CSearchSession::ClickColumn(int column) {
  const std::vector<Cell> cells = CellsOf(lastKind_);
  const int first = shelfResults_ ? 1 : 0;  // a shelf search shows the catalog first
  if (column < 0 || static_cast<size_t>(column) >= cells.size() + first || results_.empty()) return;
  const bool descending = descending_[static_cast<size_t>(column)] = !descending_[static_cast<size_t>(column)];
  sortColumn_ = column;
  const bool byCatalog = column < first;
  const Cell cell = byCatalog ? Cell::Name : cells[static_cast<size_t>(column - first)];
  const size_t n = results_.size();
  // Keys made once per row: paths and type names cost a walk or a lookup.
  std::vector<std::string> texts(n);
  std::vector<uint32_t> numbers(n);
  for (size_t r = 0; r < n; ++r) {
    if (byCatalog) {
      texts[r] = CatalogNameOf(r);
      continue;
    }
    switch (cell) {
      case Cell::Name: texts[r] = FieldsOf(r).name; break;
      case Cell::Path: texts[r] = PathOf(r); break;
      case Cell::Type: texts[r] = TypeName(r); break;
      case Cell::Size: numbers[r] = FieldsOf(r).size; break;
      case Cell::Date: numbers[r] = FieldsOf(r).time; break;
    }
  }
  const bool byText = byCatalog || cell == Cell::Name || cell == Cell::Path || cell == Cell::Type;
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (descending) std::swap(a, b);
    return byText ? CompareNoCase(texts[a], texts[b]) < 0 : numbers[a] < numbers[b];
  });
  // Every per-row vector follows the new order, and the selection its row.
  auto reorder = [&](auto& rows) {
    if (rows.size() != n) return;
    std::remove_reference_t<decltype(rows)> sorted;
    sorted.reserve(n);
    for (size_t r = 0; r < n; ++r) sorted.push_back(std::move(rows[order[r]]));
    rows = std::move(sorted);
  };
  reorder(results_);
  reorder(pathCache_);
  reorder(shelfRows_);
  for (size_t r = 0; r < n; ++r)
    if (static_cast<long>(order[r]) == selectedRow) {
      selectedRow = static_cast<long>(r);
      break;
    }
}

std::vector<MenuEntry> CSearchSession::RowMenu() const {
  const auto item = SelectedItem();
  if (!item || !list_[*item]->IsApplication()) return {};
  return {{"IDS_DESCR", CMD_APPLI_DESCR}, {"IDS_APPLI_EDIT", CMD_APPLI_EDIT}, {"IDS_DELETE_OPT", CMD_APPLI_DELETE}};
}

std::optional<size_t> CSearchSession::SelectedItem() const {
  if (selectedRow < 0 || static_cast<size_t>(selectedRow) >= results_.size()) return std::nullopt;
  // A row of a shelf search is an item of the open catalog only when it came from its file.
  if (shelfResults_ && shelfFiles_[shelfRows_[static_cast<size_t>(selectedRow)].file] != openCatalog_)
    return std::nullopt;
  return results_[static_cast<size_t>(selectedRow)];
}

void CSearchSession::RemoveSelectedRow() {
  if (selectedRow < 0 || static_cast<size_t>(selectedRow) >= results_.size()) return;
  results_.erase(results_.begin() + selectedRow);
  if (static_cast<size_t>(selectedRow) < shelfRows_.size()) shelfRows_.erase(shelfRows_.begin() + selectedRow);
  if (static_cast<size_t>(selectedRow) < pathCache_.size()) pathCache_.erase(pathCache_.begin() + selectedRow);
  paths_.reset();
  selectedRow = -1;
}

void SortSearchResults(const CFileItemList& list, std::vector<size_t>& results, int32_t kind) {
  if (kind == SEARCH_DIRECTORY_NAME) return;
  std::stable_sort(results.begin(), results.end(), [&](size_t a, size_t b) { return list[a]->time < list[b]->time; });
}

bool ParseSizeField(const std::string& text, uint32_t& value) {
  size_t i = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  if (i == std::string::npos) return false;
  uint64_t number = 0;
  for (; i <= end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    number = number * 10 + static_cast<uint64_t>(text[i] - '0');
    if (number > UINT32_MAX) return false;
  }
  value = static_cast<uint32_t>(number);
  return true;
}

std::string SizeFieldError() {
  return BilingualText("Please enter a whole number of kilobytes.", "Veuillez entrer un nombre entier de Ko.");
}
