// "$$Filter list" and "$$Filter": the GUI over the filter list editor and
// the extension rules of query/FilterEditing.h.
#pragma once

#include <optional>

class CFilterListEditor;
class IUiPort;
class QWidget;
struct Filter;

// True when the dialog ends with OK; its buttons change the list at once.
bool RunFilterListDialog(QWidget* owner, CFilterListEditor& editor);
// The edited filter on OK (a name with a comma is refused first); nothing on Cancel.
std::optional<Filter> RunFilterDialog(QWidget* owner, IUiPort& ui, const Filter& initial);
