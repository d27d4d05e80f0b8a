#include "query/Filters.h"

#include <fstream>
#include <string_view>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "text/Ascii.h"
#include "text/Codepage.h"
#include "text/Wildcard.h"

CFilterState::CFilterState() { typed.extensions.assign(1, std::string()); }

std::vector<Filter> DefaultFilters() {
  return {
      {{"jpg", "gif", "bmp", "tif", "png", "pcx", "psp", "psd"}, Translate("IDS_NEWFILTERPICT"), 1},
      {{"mp3", "wav", "mid", "rmi", "aif", "snd", "au", "ra"}, Translate("IDS_NEWFILTERSOUND"), 1},
      {{"avi", "mpg", "mpeg", "mov"}, Translate("IDS_NEWFILTERVIDEO"), 1},
  };
}

Filter ParseFilterValue(const std::string& value) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = value.find(',', start);
    if (comma == std::string::npos) {
      fields.push_back(value.substr(start));
      break;
    }
    fields.push_back(value.substr(start, comma - start));
    start = comma + 1;
  }
  Filter f;
  f.name = fields[0];
  // No flag field: show the empty directories, as the defaults do.
  f.showEmptyDirectories = (fields.size() < 2 || fields[1].empty() || fields[1][0] != '0') ? 1 : 0;
  for (size_t i = 2; i < fields.size(); ++i) f.extensions.push_back(fields[i]);
  return f;
}

std::string FormatFilterValue(const Filter& filter) {
  std::string out = FormatInserts("%1!s!,%2!i!", {filter.name, filter.showEmptyDirectories});
  for (const auto& ext : filter.extensions)
    if (!ext.empty()) out.append(",").append(FormatInserts("%1!s!", {ext}));
  return out;
}

bool SettingsFileHasFiltersSection(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // lines end with CR LF or LF
    if (line == "[Filters]") return true;
  }
  return false;
}

void CFilterState::Load(const FilterStorage& storage, bool useLastFilter) {
  if (!storage.hasSection || !storage.hasSection()) {
    const auto defaults = DefaultFilters();
    filters.insert(filters.end(), defaults.begin(), defaults.end());
  }
  current = kNoFilter;
  const std::string cur = storage.read("Current");
  if (!cur.empty()) {
    char* end = nullptr;
    const long v = std::strtol(cur.c_str(), &end, 10);
    current = static_cast<int>(v);
  }
  if (current == kTypedPattern) current = kNoFilter;
  for (size_t n = 0;; ++n) {
    const std::string value = storage.read("Item " + std::to_string(n));
    if (value.empty()) break;
    filters.push_back(ParseFilterValue(value));
  }
  // An index that names no filter would select nothing sensible.
  if (current < kNoFilter || current >= static_cast<int>(filters.size())) current = kNoFilter;
  if (!useLastFilter) current = kNoFilter;
  if (current >= 0) typed.extensions[0] = filters[static_cast<size_t>(current)].name;
  else typed.extensions[0] = Translate("IDS_NOFILTER");
}

void CFilterState::Save(const FilterStorage& storage) const {
  size_t oldCount = 0;
  while (!storage.read("Item " + std::to_string(oldCount)).empty()) ++oldCount;
  storage.write("Current", std::to_string(current));
  for (size_t n = 0; n < filters.size(); ++n) storage.write("Item " + std::to_string(n), FormatFilterValue(filters[n]));
  for (size_t n = filters.size(); n < oldCount; ++n) storage.write("Item " + std::to_string(n), "");
}

namespace {

// Extensions compare without regard to case; most are ASCII, so the common
// case costs no allocation.
bool SameExtension(std::string_view a, std::string_view b, bool bIsAscii) {
  if (bIsAscii && IsAscii(a)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
  }
  return Utf8Upper(a) == Utf8Upper(b);
}

}  // namespace

int CFilterState::FilterMatchesFile(std::string_view fileName) const {
  if (current == kNoFilter) return 1;
  if (current == kTypedPattern) {
    const std::string& pattern = typed.extensions[0];
    if (pattern.empty()) return 1;
    return WildcardMatch(pattern, fileName, true);
  }
  if (current < 0 || current >= static_cast<int>(filters.size())) return 1;
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return 0;
  const std::string_view ext = fileName.substr(dot + 1);
  const bool extIsAscii = IsAscii(ext);
  for (const auto& e : filters[static_cast<size_t>(current)].extensions)
    if (SameExtension(e, ext, extIsAscii)) return 1;
  return 0;
}

int CFilterState::FilterShowsEmptyContainers() const {
  if (current == kNoFilter) return 1;
  if (current == kTypedPattern) return typed.showEmptyDirectories;
  if (current < 0 || current >= static_cast<int>(filters.size())) return 1;
  return filters[static_cast<size_t>(current)].showEmptyDirectories;
}

std::vector<CFilterState::ComboEntry> CFilterState::ComboEntries() const {
  std::vector<ComboEntry> out;
  out.push_back({Translate("IDS_NOFILTER"), kNoFilter});
  for (size_t i = 0; i < filters.size(); ++i) out.push_back({filters[i].name, static_cast<int>(i)});
  return out;
}

size_t CFilterState::ComboSelection() const {
  return current >= 0 && current < static_cast<int>(filters.size()) ? static_cast<size_t>(current) + 1 : 0;
}

bool CFilterState::ApplyComboChoice(int pending, const std::string& comboText) {
  if (pending == kTypedPattern) {
    if (comboText == typed.extensions[0]) return false;
    typed.extensions[0] = comboText;
  } else {
    if (pending == current) return false;
    if (pending == kNoFilter) {
      typed.extensions[0] = Translate("IDS_NOFILTER");
    } else {
      if (pending < 0 || pending >= static_cast<int>(filters.size())) return false;
      typed.extensions[0] = filters[static_cast<size_t>(pending)].name;
    }
  }
  current = pending;
  return true;
}

bool CFilterState::ApplyPendingComboChoice(const std::string& comboText) {
  int pending = pendingChoice;
  pendingChoice = kTypedPattern;
  if (pending == kTypedPattern)
    for (const ComboEntry& entry : ComboEntries())
      if (entry.text == comboText) pending = entry.data;
  return ApplyComboChoice(pending, comboText);
}

void CFilterState::AddFilter(const Filter& filter) { filters.push_back(filter); }

void CFilterState::ReplaceFilter(size_t index, const Filter& filter) {
  if (index >= filters.size()) return;
  filters[index] = filter;
  // The combo shows the current filter's name; keep the two equal so that
  // leaving the combo does not take the new name for a typed pattern.
  if (current == static_cast<int>(index)) typed.extensions[0] = filter.name;
}

void CFilterState::DeleteFilter(size_t index) {
  if (index >= filters.size()) return;
  filters.erase(filters.begin() + static_cast<long>(index));
  const int i = static_cast<int>(index);
  if (current == i) {
    current = kNoFilter;
    typed.extensions[0] = Translate("IDS_NOFILTER");
  } else if (current > i) {
    --current;
  }
}

bool FlatFilteredMode(const CFilterState& filters) { return filters.Active() && filters.subtreeFlag; }

std::vector<size_t> FileListItems(const CFileItemList& list, long container, const CFilterState& filters) {
  std::vector<size_t> out;
  const size_t n = list.size();
  if (FlatFilteredMode(filters)) {
    for (size_t i = 1; i < n; ++i)
      if (list[i]->type == ITEM_FILE && filters.FilterMatchesFile(list[i]->name)) out.push_back(i);
    return out;
  }
  if (container < 0 || static_cast<size_t>(container) >= n) return out;
  const int base = list[static_cast<size_t>(container)]->level;
  for (size_t i = static_cast<size_t>(container) + 1; i < n; ++i) {
    const CFileItem& item = *list[i];
    if (item.level <= base) break;
    if (item.level != base + 1) continue;
    if (filters.Active()) {
      if (item.type == ITEM_FILE && filters.FilterMatchesFile(item.name)) out.push_back(i);
    } else if (item.type == ITEM_DIRECTORY || item.type == ITEM_FILE || item.type == ITEM_ARCHIVE_ENTRY) {
      out.push_back(i);
    }
  }
  return out;
}

std::vector<size_t> ApplicationListItems(const CFileItemList& list, long container) {
  std::vector<size_t> out;
  const size_t n = list.size();
  if (container < 0 || static_cast<size_t>(container) >= n) return out;
  const int base = list[static_cast<size_t>(container)]->level;
  for (size_t i = static_cast<size_t>(container) + 1; i < n && list[i]->level > base; ++i)
    if (list[i]->IsApplication()) out.push_back(i);
  return out;
}

std::vector<size_t> TreeItems(const CFileItemList& list, const CFilterState& filters, bool filesMode) {
  std::vector<size_t> out;
  const size_t n = list.size();
  if (!filesMode) {
    for (const uint32_t i : list.containerIndex)
      if (i < n && (list[i]->type == ITEM_FOLDER || list[i]->type == ITEM_MEDIA)) out.push_back(i);
    return out;
  }
  const bool hideEmpty = filters.FilterShowsEmptyContainers() == 0;
  // One backward pass tells, for every item, whether its subtree holds a
  // passing file, so large catalogs are not walked once per container.
  std::vector<char> holdsPassing;
  if (hideEmpty) {
    // One forward pass with the stack of open ancestors marks every item whose
    // subtree holds a passing file, so large catalogs are walked only once.
    // Marked entries always form the bottom of the stack, so marking stops at
    // the first marked one.
    holdsPassing.assign(n, 0);
    std::vector<size_t> ancestors;
    for (size_t k = 0; k < n; ++k) {
      const CFileItem& item = *list[k];
      while (!ancestors.empty() && list[ancestors.back()]->level >= item.level) ancestors.pop_back();
      if (item.type == ITEM_FILE && filters.FilterMatchesFile(item.name)) {
        for (size_t a = ancestors.size(); a-- > 0 && !holdsPassing[ancestors[a]];) holdsPassing[ancestors[a]] = 1;
      }
      if (item.type != ITEM_FILE) ancestors.push_back(k);
    }
  }
  for (const uint32_t i : list.containerIndex) {
    if (i >= n) continue;
    const uint8_t t = list[i]->type;
    if (t == ITEM_FOLDER) {
      out.push_back(i);
    } else if (t == ITEM_MEDIA || t == ITEM_DIRECTORY || t == ITEM_ARCHIVE_ENTRY) {
      if (!hideEmpty || holdsPassing[i]) out.push_back(i);
    }
  }
  return out;
}

long TreeNodeOf(const CFileItemList& list, size_t index, bool filesMode) {
  if (index >= list.size()) return -1;
  const CFileItem& item = *list[index];
  if (item.type == ITEM_FOLDER || item.type == ITEM_MEDIA) return static_cast<long>(index);
  if (filesMode && (item.type == ITEM_DIRECTORY || item.type == ITEM_ARCHIVE_ENTRY)) return static_cast<long>(index);
  if (item.IsApplication()) {
    for (long p = list.Parent(index); p >= 0; p = list.Parent(static_cast<size_t>(p)))
      if (list[static_cast<size_t>(p)]->type == ITEM_MEDIA) return p;
    return -1;
  }
  return list.Parent(index);
}
