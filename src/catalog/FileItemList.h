// The catalog list: every item in tree pre-order; the tree is given by level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "catalog/FileItem.h"

class CFileItemList {
 public:
  std::vector<std::unique_ptr<CFileItem>> items;
  std::vector<uint32_t> containerIndex;  // ascending indices of non-file items
  int32_t fileVersion = 4;

  size_t size() const { return items.size(); }
  CFileItem* operator[](size_t i) const { return items[i].get(); }

  void Clear();
  void RebuildContainerIndex();
  // One past the last item of the subtree of item i (i + 1 when it is empty).
  size_t SubtreeEnd(size_t i) const;
  // Nearest preceding item with a smaller level; -1 for none.
  long Parent(size_t i) const;
  // Inserts items at position pos, in order; rebuilds containerIndex.
  void Insert(size_t pos, std::vector<std::unique_ptr<CFileItem>> newItems);
  // Removes item i and its subtree; rebuilds containerIndex.
  void RemoveSubtree(size_t i);
  // Replaces item i by another object (the old one is deleted).
  void Replace(size_t i, std::unique_ptr<CFileItem> item);
};
