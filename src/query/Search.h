// Searching a catalog by name, description and size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CFileItemList;

enum SearchKind : int32_t {
  SEARCH_ALL = 0,
  SEARCH_FILE_NAME = 1,
  SEARCH_DIRECTORY_NAME = 2,
  SEARCH_APPLICATION_DESCRIPTION = 3,
  SEARCH_FILE_DESCRIPTION = 4,
};

// The message keys of the kinds, in drop-down order.
extern const char* const kSearchKindKeys[5];

struct SearchCriteria {
  std::string text;  // upper-cased by PrepareSearch when the search ignores case
  int32_t ignoreCase = 0;
  uint32_t maxKb = 0;  // 0 = no maximum
  uint32_t minKb = 0;  // 0 = no minimum
  int32_t kind = SEARCH_ALL;
};

// Upper-cases the text when the search ignores case. Returns false when the
// criteria are empty (no text, no size limit): the caller warns with IDS_SEARCH_EMPTY.
bool PrepareSearch(SearchCriteria& criteria);

// Progress: called with (position, first, last) of the walk's index range.
using SearchProgress = std::function<void(size_t position, size_t first, size_t last)>;

// Appends, in catalog order, the indices of the items below start (or of the
// whole catalog when start is -1) that match; true when any was found.
bool SearchCatalog(const CFileItemList& list, long start, const SearchCriteria& criteria,
                   std::vector<size_t>& results, const SearchProgress& progress = {});

// Message box text and caption for a search that found nothing.
struct NotFoundMessage {
  std::string text;
  std::string caption;
};
NotFoundMessage SearchNotFoundMessage(const SearchCriteria& criteria);

// Column header keys of the result list for a kind, with their widths.
struct ResultColumn {
  const char* key;
  int width;
};
std::vector<ResultColumn> SearchResultColumns(int32_t kind);
// Sort code of the result list for a kind (140: by date ascending; 40: as found).
int SearchResultSortCode(int32_t kind);

// Cell texts of one result row, by list mode.
std::vector<std::string> SearchResultRowFiles(const CFileItemList& list, size_t index,
                                              const std::string& catalogPath);
std::vector<std::string> SearchResultRowApplications(const CFileItemList& list, size_t index,
                                                     const std::string& catalogPath);

// The last ten search texts, most recent first.
class SearchHistory {
 public:
  static constexpr size_t kMax = 10;
  // Values of "Search 1" to "Search 10" in order (absent ones empty).
  void Load(const std::function<std::string(const std::string& valueName)>& read);
  void Save(const std::function<void(const std::string& valueName, const std::string& value)>& write) const;
  void Add(const std::string& text);
  // The non-empty entries, for a combo box.
  std::vector<std::string> ComboEntries() const;
  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  std::vector<std::string> entries_;
};
