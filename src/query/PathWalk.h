// Catalog paths of many items visited in catalog order (search results,
// exports), each built from its parent's, kept on a stack: the cost is
// the length of the paths, not the depth nor the distance between items.
// The texts are those of LogicalPath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFileItemList;

class CLogicalPathWalk {
 public:
  explicit CLogicalPathWalk(const CFileItemList& list);
  // Appends the catalog path of item i to out (with its own name or not).
  // Items must come in ascending order; the list must keep its shape.
  void Append(size_t i, bool withName, std::string& out);
  std::string Path(size_t i, bool withName) {
    std::string s;
    Append(i, withName, s);
    return s;
  }

 private:
  void AdvanceTo(size_t i);
  const CFileItemList& list_;
  size_t next_ = 0;  // the next container position to take in
  struct Frame {
    int16_t level;
    size_t length;  // of path_ up to and including this container's separator
    size_t nameEnd;  // of path_ up to the end of its name
  };
  std::vector<Frame> stack_;
  std::string path_;  // "\\\\" + every open container's name and separator
};
