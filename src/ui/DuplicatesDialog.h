// Edit > "$$Duplicates...": groups of files catalogued more than once below
// an item of the open catalog, by the rule chosen; Go to selects a copy.
#pragma once

#include <cstddef>
#include <optional>

class CFileItemList;
class IUiPort;
class QWidget;

// The copy chosen with "$$Go to ...", nothing for "$$Exit".
std::optional<size_t> RunDuplicatesDialog(QWidget* owner, const CFileItemList& list, long from, IUiPort& ui);
