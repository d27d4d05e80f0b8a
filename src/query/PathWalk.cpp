#include "query/PathWalk.h"

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"

CLogicalPathWalk::CLogicalPathWalk(const CFileItemList& list) : list_(list), path_("\\\\") {}

void CLogicalPathWalk::AdvanceTo(size_t i) {
  // Take in every container before i. The stack keeps those whose level is
  // below every later container's: the candidates for a parent.
  const std::vector<uint32_t>& containers = list_.containerIndex;
  const bool indexed = !containers.empty() && containers.back() < list_.size();
  auto take = [&](size_t c) {
    const CFileItem& item = *list_[c];
    while (!stack_.empty() && stack_.back().level >= item.level) stack_.pop_back();
    path_.resize(stack_.empty() ? 2 : stack_.back().length);
    path_ += item.name;
    const size_t nameEnd = path_.size();
    path_ += item.type == ITEM_MEDIA ? ":\\" : "\\";
    stack_.push_back({item.level, path_.size(), nameEnd});
  };
  if (indexed) {
    // The container index skips the files; it is rebuilt after every change.
    while (next_ < containers.size() && containers[next_] < i) {
      const size_t c = containers[next_++];
      if (list_[c]->type != ITEM_FILE) take(c);
    }
  } else {
    for (; next_ < i && next_ < list_.size(); ++next_)
      if (list_[next_]->type != ITEM_FILE) take(next_);
  }
}

void CLogicalPathWalk::Append(size_t i, bool withName, std::string& out) {
  if (i >= list_.size()) return;
  AdvanceTo(i);
  const CFileItem& item = *list_[i];
  // The nearest container before i with a smaller level; those above it on
  // the stack stay for the items that follow.
  size_t k = stack_.size();
  while (k > 0 && stack_[k - 1].level >= item.level) --k;
  if (k == 0) out.append("\\\\");
  else out.append(path_, 0, stack_[k - 1].nameEnd);
  if (withName) {
    out += '\\';
    out += item.name;
  }
}
