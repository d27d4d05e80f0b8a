#include "query/FilterEditing.h"

#include <algorithm>

#include "i18n/Translator.h"
#include "ports/UiPort.h"

// The UI port's default (ports/UiPort.h only declares Filter): no filter.
std::optional<Filter> IUiPort::FilterDialog(const Filter& initial) { return std::nullopt; }

std::vector<std::string> CFilterListEditor::Names() const {
  std::vector<std::string> names;
  names.reserve(state_.filters.size());
  for (const Filter& f : state_.filters) names.push_back(f.name);
  return names;
}

Filter StorableFilter(Filter filter) {
  std::replace(filter.name.begin(), filter.name.end(), ',', ' ');
  return filter;
}

bool CFilterListEditor::New() {
  Filter empty;
  empty.showEmptyDirectories = 0;
  auto result = ui_.FilterDialog(empty);
  if (!result || result->name.empty()) return false;
  state_.AddFilter(StorableFilter(std::move(*result)));
  return true;
}

bool CFilterListEditor::Modify(size_t index) {
  if (index >= state_.filters.size()) return false;
  auto result = ui_.FilterDialog(state_.filters[index]);
  if (!result) return false;
  state_.ReplaceFilter(index, StorableFilter(std::move(*result)));
  return true;
}

bool CFilterListEditor::Delete(size_t index) {
  if (index >= state_.filters.size()) return false;
  const std::string text = FormatInserts(Translate("IDS_DELFILTER"), {state_.filters[index].name});
  if (ui_.MessageBox(text, Translate("IDS_WARNING"), MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) return false;
  state_.DeleteFilter(index);
  return true;
}

bool AddFilterExtension(IUiPort& ui, Filter& filter) {
  auto text = ui.NewExtensionDialog();
  if (!text) return false;
  filter.extensions.push_back(*text);
  return true;
}

bool DeleteFilterExtension(IUiPort& ui, Filter& filter, size_t index) {
  if (index >= filter.extensions.size()) return false;
  const std::string text = FormatInserts(Translate("IDS_DELFILTEREXT"), {filter.extensions[index]});
  if (ui.MessageBox(text, Translate("IDS_WARNING"), MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) return false;
  filter.extensions.erase(filter.extensions.begin() + static_cast<long>(index));
  return true;
}

bool AcceptFilterName(IUiPort& ui, const std::string& name) {
  if (name.find(',') == std::string::npos) return true;
  ui.MessageBox(BilingualText("A filter name cannot contain a comma (,).",
                              "Un nom de filtre ne peut pas contenir de virgule (,)."),
                Translate("IDS_WARNING"), MB_ICONEXCLAMATION);
  return false;
}
