// The order of the file list's rows (and of the search results, which sort
// by the same rule).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

class CFileItemList;

// Sort code: descending flag + 10 x column + 100 x files flag; a negative
// code counts as 100.
inline int ListSortCode(bool filesMode, int column, bool descending) {
  return (descending ? 1 : 0) + 10 * column + (filesMode ? 100 : 0);
}

// Negative, zero or positive as row a goes before, with or after row b.
// Files mode: directories first in either direction, then by column (0 name
// without regard to case, 1 size, 2 type name without regard to case, 3
// time, 4 attribute text). Applications mode: rows that are not both
// applications are equal; 0 title, 1 application date, 2 application size,
// 3 installation program. A column without a rule leaves rows equal.
int CompareListRows(const CFileItemList& list, size_t a, size_t b, int sortCode);
// Sorts rows (catalog indices) by the code; equal rows keep their order.
void SortListRows(const CFileItemList& list, std::vector<size_t>& rows, int sortCode);
// Names compared without regard to case, as the list and the tree sort them.
int CompareNoCase(std::string_view a, std::string_view b);
