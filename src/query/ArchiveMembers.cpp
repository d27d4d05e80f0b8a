#include "query/ArchiveMembers.h"

#include <algorithm>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"

CArchiveLookup::CArchiveLookup(const CFileItemList& list) : list_(list), parents_(list) {}

bool CArchiveLookup::IsMember(size_t i) const {
  if (i >= list_.size() || !list_[i]->isArchive) return false;  // every member carries the mark
  for (long p = parents_.Before(i, list_[i]->level); p >= 0;
       p = parents_.Before(static_cast<size_t>(p), list_[static_cast<size_t>(p)]->level))
    if (list_[static_cast<size_t>(p)]->type == ITEM_ARCHIVE_ENTRY) return true;
  return false;
}

CArchiveWalk::CArchiveWalk(const CFileItemList& list, size_t first) {
  if (first == 0 || first >= list.size()) return;
  // The archives among the ancestors of the first item, outermost first.
  int level = list[first]->level;
  for (size_t j = first; j-- > 0 && level > 0;) {
    const CFileItem& item = *list[j];
    if (item.level >= level) continue;
    level = item.level;
    if (item.type == ITEM_ARCHIVE_ENTRY) open_.push_back(item.level);
  }
  std::reverse(open_.begin(), open_.end());
}

bool CArchiveWalk::IsMember(const CFileItem& item) {
  while (!open_.empty() && open_.back() >= item.level) open_.pop_back();
  const bool member = !open_.empty();
  if (item.type == ITEM_ARCHIVE_ENTRY) open_.push_back(item.level);
  return member;
}
