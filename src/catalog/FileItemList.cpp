#include "catalog/FileItemList.h"

#include <stdexcept>

void CFileItemList::Clear() {
  items.clear();
  containerIndex.clear();
}

void CFileItemList::RebuildContainerIndex() {
  containerIndex.clear();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i]->type != ITEM_FILE) containerIndex.push_back(static_cast<uint32_t>(i));
}

size_t CFileItemList::SubtreeEnd(size_t i) const {
  if (i >= items.size()) return items.size();
  const int16_t level = items[i]->level;
  size_t j = i + 1;
  while (j < items.size() && items[j]->level > level) ++j;
  return j;
}

long CFileItemList::Parent(size_t i) const {
  if (i >= items.size()) return -1;
  const int16_t level = items[i]->level;
  for (size_t j = i; j-- > 0;)
    if (items[j]->level < level) return static_cast<long>(j);
  return -1;
}

void CFileItemList::Insert(size_t pos, std::vector<std::unique_ptr<CFileItem>> newItems) {
  if (pos > items.size()) throw std::out_of_range("CFileItemList::Insert: position past the end");
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(pos), std::make_move_iterator(newItems.begin()),
               std::make_move_iterator(newItems.end()));
  RebuildContainerIndex();
}

void CFileItemList::RemoveSubtree(size_t i) {
  if (i >= items.size()) throw std::out_of_range("CFileItemList::RemoveSubtree: no such item");
  const size_t end = SubtreeEnd(i);
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(i), items.begin() + static_cast<std::ptrdiff_t>(end));
  RebuildContainerIndex();
}

void CFileItemList::Replace(size_t i, std::unique_ptr<CFileItem> item) {
  if (i >= items.size() || !item) throw std::out_of_range("CFileItemList::Replace: no such item");
  items[i] = std::move(item);
  RebuildContainerIndex();
}
