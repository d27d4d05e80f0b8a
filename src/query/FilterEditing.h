// The filter list dialog's buttons and the filter dialog's extension
// buttons, without the dialogs: the GUI draws, these decide.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "query/Filters.h"

class IUiPort;

class CFilterListEditor {
 public:
  CFilterListEditor(CFilterState& state, IUiPort& ui) : state_(state), ui_(ui) {}

  // The list box: the filter names, in list order (data = index).
  std::vector<std::string> Names() const;
  // "$$New": the filter dialog on an empty filter; OK with a non-empty name
  // appends it. True when the list changed.
  bool New();
  // "$$Modify": the filter dialog on a copy of filter index; OK replaces it.
  bool Modify(size_t index);
  // "$$Delete": asks IDS_DELFILTER; unless Cancel the filter goes and later
  // ones move up (the current filter index follows, see CFilterState).
  bool Delete(size_t index);

  CFilterState& State() { return state_; }

 private:
  CFilterState& state_;
  IUiPort& ui_;
};

// A filter as the dialog returned it, made storable: a comma would split the
// name when the settings are read back, so commas in the name become blanks.
Filter StorableFilter(Filter filter);

// The filter dialog's "$$Ok": a name holding a comma would not read back
// from the settings, so it is refused with a message. True when acceptable.
bool AcceptFilterName(IUiPort& ui, const std::string& name);

// The filter dialog's "$$New": the "$$New extension" dialog; on OK the text
// is appended as typed. True when one was added.
bool AddFilterExtension(IUiPort& ui, Filter& filter);
// The filter dialog's "$$Delete": asks IDS_DELFILTEREXT and removes
// extension index unless the answer is Cancel. True when it was removed.
bool DeleteFilterExtension(IUiPort& ui, Filter& filter, size_t index);
