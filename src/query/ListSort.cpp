#include "query/ListSort.h"

#include <strings.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "text/Ascii.h"
#include "text/Codepage.h"

int CompareNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    const int c = strncasecmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
  }
  return Utf8Lower(a).compare(Utf8Lower(b));
}

namespace {

template <typename T>
int Compare(T a, T b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

int CompareFiles(const CFileItem& x, const CFileItem& y, int column) {
  switch (column) {
    case 0: return CompareNoCase(x.name, y.name);
    case 1: return Compare(x.size, y.size);
    case 2: return CompareNoCase(x.typeName, y.typeName);
    case 3: return Compare(x.time, y.time);
    case 4: return AttributeText(x.attributes).compare(AttributeText(y.attributes));
    default: return 0;
  }
}

int CompareApplications(const CFileItemAppli& x, const CFileItemAppli& y, int column) {
  switch (column) {
    case 0: return CompareNoCase(x.GetTitle(), y.GetTitle());
    case 1: return Compare(x.appTime, y.appTime);
    case 2: return Compare(x.appSize, y.appSize);
    case 3: return CompareNoCase(x.installProgram, y.installProgram);
    default: return 0;
  }
}

}  // namespace

int CompareListRows(const CFileItemList& list, size_t a, size_t b, int sortCode) {
  if (sortCode < 0) sortCode = 100;
  const bool descending = sortCode % 10 != 0;
  const int column = (sortCode / 10) % 10;
  const bool filesMode = sortCode >= 100;
  const CFileItem& x = *list[a];
  const CFileItem& y = *list[b];
  if (filesMode) {
    const bool xDir = x.type == ITEM_DIRECTORY, yDir = y.type == ITEM_DIRECTORY;
    if (xDir != yDir) return xDir ? -1 : 1;
    return descending ? CompareFiles(y, x, column) : CompareFiles(x, y, column);
  }
  const auto* xa = dynamic_cast<const CFileItemAppli*>(&x);
  const auto* ya = dynamic_cast<const CFileItemAppli*>(&y);
  if (!xa || !ya) return 0;
  return descending ? CompareApplications(*ya, *xa, column) : CompareApplications(*xa, *ya, column);
}

void SortListRows(const CFileItemList& list, std::vector<size_t>& rows, int sortCode) {
  std::stable_sort(rows.begin(), rows.end(),
                   [&](size_t a, size_t b) { return CompareListRows(list, a, b, sortCode) < 0; });
}
