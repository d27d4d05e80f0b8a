#include "query/Search.h"

#include <algorithm>
#include <string_view>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "text/Ascii.h"
#include "text/Codepage.h"
#include "text/Wildcard.h"

const char* const kSearchKindKeys[5] = {"$$Search for all", "$$File name", "$$Directory name",
                                        "$$Application description", "$$File description"};

bool PrepareSearch(SearchCriteria& criteria) {
  if (criteria.ignoreCase) criteria.text = Utf8Upper(criteria.text);
  return !(criteria.text.empty() && criteria.minKb == 0 && criteria.maxKb == 0);
}

namespace {

bool SizePasses(const CFileItem& item, const SearchCriteria& c) {
  const uint64_t size = item.size;
  if (c.minKb != 0 && size < static_cast<uint64_t>(c.minKb) * 1024) return false;
  if (c.maxKb != 0 && size >= static_cast<uint64_t>(c.maxKb) * 1024) return false;
  return true;
}

// Whether upperNeedle (already upper-cased) occurs in text upper-cased, for
// ASCII text, without copying it: descriptions are searched by the million.
bool ContainsAsciiFolded(std::string_view text, std::string_view upperNeedle) {
  if (upperNeedle.empty()) return true;
  if (upperNeedle.size() > text.size()) return false;
  const char first = upperNeedle[0];
  const char firstLower = (first >= 'A' && first <= 'Z') ? static_cast<char>(first + 32) : first;
  const size_t last = text.size() - upperNeedle.size();
  for (size_t i = 0; i <= last; ++i) {
    if (text[i] != first && text[i] != firstLower) continue;
    size_t k = 1;
    while (k < upperNeedle.size() && AsciiUpper(text[i + k]) == upperNeedle[k]) ++k;
    if (k == upperNeedle.size()) return true;
  }
  return false;
}

// The criteria with what one search works out once for all items.
struct PreparedCriteria {
  explicit PreparedCriteria(const SearchCriteria& criteria) : c(criteria) {
    // Upper-casing keeps ASCII and non-ASCII apart, so a text with a
    // non-ASCII byte is neither a substring of an ASCII description nor a
    // pattern one can match (its literals must each meet a text character).
    asciiDescriptionsCanMatch = IsAscii(c.text);
  }
  const SearchCriteria& c;
  bool asciiDescriptionsCanMatch;
};

bool DescriptionMatches(const CFileItem& item, const PreparedCriteria& p) {
  const SearchCriteria& c = p.c;
  if (c.text.empty()) return true;  // the empty substring is everywhere
  const std::string& description = item.description;
  if (description.empty()) return WildcardMatch(c.text, description, false);
  const bool ascii = IsAscii(description);
  if (ascii && !p.asciiDescriptionsCanMatch) return false;
  if (c.ignoreCase) {
    if (ascii) return ContainsAsciiFolded(description, c.text) || WildcardMatch(c.text, description, true);
    const std::string upper = Utf8Upper(description);
    return upper.find(c.text) != std::string::npos || WildcardMatch(c.text, upper, true);
  }
  return description.find(c.text) != std::string::npos || WildcardMatch(c.text, description, false);
}

bool NameKindTakes(int32_t kind, uint8_t type) {
  switch (kind) {
    case SEARCH_ALL:
    case SEARCH_FILE_NAME:
      return type == ITEM_FILE || type == ITEM_ARCHIVE_ENTRY;
    case SEARCH_DIRECTORY_NAME:
      return type == ITEM_MEDIA || type == ITEM_FOLDER || type == ITEM_DIRECTORY ||
             type == ITEM_ARCHIVE_ENTRY;
    default:
      return false;
  }
}

bool ItemMatches(const CFileItem& item, const PreparedCriteria& p) {
  const SearchCriteria& c = p.c;
  const int32_t kind = c.kind;
  if ((kind == SEARCH_ALL || kind == SEARCH_APPLICATION_DESCRIPTION) && item.IsApplication() &&
      DescriptionMatches(item, p))
    return true;
  if ((kind == SEARCH_ALL || kind == SEARCH_FILE_DESCRIPTION) && item.type == ITEM_FILE &&
      SizePasses(item, c) && DescriptionMatches(item, p))
    return true;
  if (NameKindTakes(kind, item.type) && SizePasses(item, c)) {
    if (c.text.empty()) return true;
    return WildcardMatch(c.text, item.name, c.ignoreCase != 0) != 0;
  }
  return false;
}

}  // namespace

bool SearchCatalog(const CFileItemList& list, long start, const SearchCriteria& criteria,
                   std::vector<size_t>& results, const SearchProgress& progress) {
  const size_t n = list.size();
  const bool whole = start < 0 || static_cast<size_t>(start) >= n;
  const int level = whole ? -1 : list[static_cast<size_t>(start)]->level;
  const size_t first = whole ? 0 : static_cast<size_t>(start) + 1;
  const long span = static_cast<long>(n) - (whole ? -1 : start) - 2;
  const size_t step = span >= 80 ? static_cast<size_t>(span / 80) : 1;
  const PreparedCriteria prepared(criteria);
  bool found = false;
  size_t i = first;
  size_t untilProgress = 0;
  constexpr size_t kAhead = 8;  // items live apart from the index: fetch them early
  for (; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(list[i + kAhead]);
    const CFileItem& item = *list[i];
    if (item.level <= level) break;
    if (progress && untilProgress-- == 0) {
      progress(i, first, n);
      untilProgress = step - 1;
    }
    if (ItemMatches(item, prepared)) {
      results.push_back(i);
      found = true;
    }
  }
  if (progress) progress(i, first, n);
  return found;
}

NotFoundMessage SearchNotFoundMessage(const SearchCriteria& criteria) {
  if (criteria.kind == SEARCH_APPLICATION_DESCRIPTION)
    return {FormatInserts(Translate("IDS_APPLINOTFOUND"), {criteria.text}), Translate("IDS_SEARCHAPPLI")};
  return {FormatInserts(Translate("IDS_FILENOTFOUND"), {criteria.text}), Translate("IDS_SEARCHFILE")};
}

std::vector<ResultColumn> SearchResultColumns(int32_t kind) {
  if (kind == SEARCH_DIRECTORY_NAME)
    return {{"IDS_RESULTS_APPLI_DESCR", 250},
            {"IDS_RESULTS_APPLI_PATH", 120},
            {"IDS_RESULTS_APPLI_SIZE", 75},
            {"IDS_RESULTS_APPLI_DATE", 75}};
  return {{"IDS_RESULT_NAME", 150},
          {"IDS_RESULT_PATH", 200},
          {"IDS_RESULT_SIZE", 75},
          {"IDS_RESULT_TYPENAME", 150},
          {"IDS_RESULT_DATE", 150}};
}

int SearchResultSortCode(int32_t kind) { return kind == SEARCH_DIRECTORY_NAME ? 40 : 140; }

std::vector<std::string> SearchResultRowFiles(const CFileItemList& list, size_t index,
                                              const std::string& catalogPath) {
  const CFileItem& item = *list[index];
  return {item.name, catalogPath, KiloText(item.size), item.typeName, FormatItemTime(item.time)};
}

std::vector<std::string> SearchResultRowApplications(const CFileItemList& list, size_t index,
                                                     const std::string& catalogPath) {
  const CFileItem& item = *list[index];
  if (const auto* app = dynamic_cast<const CFileItemAppli*>(&item))
    return {app->GetTitle(), catalogPath, KiloText(app->appSize), FormatItemTime(app->appTime)};
  return {ApplicationTitle(item.description), catalogPath, KiloText(item.size), FormatItemTime(item.time)};
}

void SearchHistory::Load(const std::function<std::string(const std::string&)>& read) {
  entries_.clear();
  for (size_t i = 1; i <= kMax; ++i) entries_.push_back(read("Search " + std::to_string(i)));
}

void SearchHistory::Save(const std::function<void(const std::string&, const std::string&)>& write) const {
  for (size_t i = 1; i <= kMax; ++i)
    write("Search " + std::to_string(i), i <= entries_.size() ? entries_[i - 1] : std::string());
}

void SearchHistory::Add(const std::string& text) {
  const size_t limit = std::min(entries_.size(), kMax);
  for (size_t i = 0; i < limit; ++i) {
    if (entries_[i] == text) {
      entries_.erase(entries_.begin() + static_cast<long>(i));
      break;
    }
  }
  entries_.insert(entries_.begin(), text);
  if (entries_.size() > kMax) entries_.resize(kMax);
}

std::vector<std::string> SearchHistory::ComboEntries() const {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (!e.empty()) out.push_back(e);
  return out;
}
