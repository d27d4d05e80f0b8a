// The tree above any item of a catalog list in steps proportional to its
// depth, where walking back over the list costs the whole distance to the
// media.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CFileItem;
class CFileItemList;

class CParentIndex {
 public:
  // Takes the containers (every item but files) for which keep is true, or
  // all of them when keep is empty. The index describes the list as it is
  // now: build another one after the list changes.
  explicit CParentIndex(const CFileItemList& list, const std::function<bool(const CFileItem&)>& keep = {});

  // The nearest taken container before item i whose level is below level;
  // -1 when there is none. steps, when given, receives the containers
  // skipped on the way: at most the levels crossed.
  long Before(size_t i, int level, size_t* steps = nullptr) const;

 private:
  std::vector<uint32_t> index_;  // list positions of the taken containers, ascending
  std::vector<int16_t> level_;
  // For each taken container, the position in index_ of the nearest earlier
  // one with a smaller level, -1 for none. Every container between the two
  // has a level at least its own, which is what lets Before skip them.
  std::vector<int32_t> up_;
};
