// Whether an item lies inside a listed archive, below an item of type 6.
// The isArchive mark alone does not tell: an archive that was not listed
// ("Do not uncompress files", or a listing that failed) keeps the mark on
// its own file item, and its bytes are on the disk like any other file's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "catalog/ParentIndex.h"

class CFileItem;
class CFileItemList;

// One item at a time, in any order: steps bounded by the item's depth.
class CArchiveLookup {
 public:
  explicit CArchiveLookup(const CFileItemList& list);
  bool IsMember(size_t i) const;

 private:
  const CFileItemList& list_;
  CParentIndex parents_;
};

// A walk in catalog order, every item from `first` on met in turn.
class CArchiveWalk {
 public:
  CArchiveWalk(const CFileItemList& list, size_t first);
  bool IsMember(const CFileItem& item);

 private:
  std::vector<int16_t> open_;  // levels of the archives around the current item
};
