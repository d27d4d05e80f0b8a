#include "query/SearchSession.h"

#include <algorithm>
#include <filesystem>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "ports/UiPort.h"
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

bool CSearchSession::FindInShelf(IUiPort& ui, IProgressSink* progress) {
  shelfResults_ = true;
  auto addRows = [&](size_t file, const CFileItemList& list, const std::vector<size_t>& found) {
    const CItemPaths paths(list);
    for (const size_t index : found) {
      ShelfRow row{file, {}, MakeExportRow(*list[index], paths.Logical(index, false))};
      row.row.catalogFile = shelfFiles_[file];
      row.cells = filesMode_ ? SearchResultRowFiles(list, index, row.row.path)
                             : SearchResultRowApplications(list, index, row.row.path);
      // The file's name is enough to tell catalogs apart on screen; the export keeps the whole path.
      row.cells.insert(row.cells.begin(), std::filesystem::path(shelfFiles_[file]).filename().string());
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

std::vector<std::string> CSearchSession::RowTexts(size_t row) {
  if (row >= results_.size()) return {};
  if (shelfResults_) return row < shelfRows_.size() ? shelfRows_[row].cells : std::vector<std::string>();
  if (pathCache_.size() != results_.size()) pathCache_.assign(results_.size(), std::string());
  const size_t index = results_[row];
  std::string& path = pathCache_[row];
  if (path.empty()) {
    if (!paths_) paths_.emplace(list_);
    path = paths_->Logical(index, false);
  }
  return filesMode_ ? SearchResultRowFiles(list_, index, path) : SearchResultRowApplications(list_, index, path);
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
