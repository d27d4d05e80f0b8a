#include "catalog/ParentIndex.h"

#include <algorithm>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"

CParentIndex::CParentIndex(const CFileItemList& list, const std::function<bool(const CFileItem&)>& keep) {
  const auto take = [&](const CFileItem& item) { return item.type != ITEM_FILE && (!keep || keep(item)); };
  // A stack of the positions whose level is below every later one: the
  // candidates for the parent of what comes next.
  std::vector<int32_t> open;
  constexpr size_t kAhead = 16;  // items live apart from the list: fetch them early
  for (size_t i = 0; i < list.size(); ++i) {
    if (i + kAhead < list.size()) __builtin_prefetch(list[i + kAhead]);
    const CFileItem& item = *list[i];
    if (!take(item)) continue;
    while (!open.empty() && level_[static_cast<size_t>(open.back())] >= item.level) open.pop_back();
    const auto k = static_cast<int32_t>(index_.size());
    index_.push_back(static_cast<uint32_t>(i));
    level_.push_back(item.level);
    up_.push_back(open.empty() ? -1 : open.back());
    open.push_back(k);
  }
}

long CParentIndex::Before(size_t i, int level, size_t* steps) const {
  const auto at = std::lower_bound(index_.begin(), index_.end(), i);
  long k = static_cast<long>(at - index_.begin()) - 1;
  size_t skipped = 0;
  for (; k >= 0 && level_[static_cast<size_t>(k)] >= level; ++skipped) k = up_[static_cast<size_t>(k)];
  if (steps) *steps = skipped;
  return k < 0 ? -1 : static_cast<long>(index_[static_cast<size_t>(k)]);
}
