// One search over several catalog files (the shelf): read one after
// another, only one held at a time, with progress and Stop.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "query/Search.h"

class CFileItemList;
class IProgressSink;

struct MultiSearchFailure {
  std::string file;
  std::string reason;  // translated
};

struct MultiSearchResult {
  size_t found = 0;
  bool stopped = false;
  std::vector<MultiSearchFailure> failures;  // catalogs that could not be read; the others were searched
};

// Called once per catalog with results, while that catalog is loaded:
// file is its position in files, found its item indices in catalog order.
using MultiSearchVisitor =
    std::function<void(size_t file, const CFileItemList& list, const std::vector<size_t>& found)>;

// criteria must have been through PrepareSearch. The progress sink gets a
// Begin per catalog and the percentage over all of them; its
// StopRequested is polled between and within catalogs.
MultiSearchResult SearchCatalogFiles(const std::vector<std::string>& files, const SearchCriteria& criteria,
                                     const MultiSearchVisitor& visit, IProgressSink* progress = nullptr);
