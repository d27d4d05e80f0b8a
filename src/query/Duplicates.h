// Files catalogued more than once: grouped by name and size, by name, size
// and date, or by content (size first, then a 128-bit XXH3 hash of the
// bytes of files whose medium is present now, read only for sizes that
// collide). Works over one catalog, a subtree of it, or several catalogs
// held by the caller; archive members count as files except by content,
// where their bytes are not on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CFileItemList;
class IProgressSink;

enum class DuplicateRule { NameSize, NameSizeDate, Content };

// "name-size", "name-size-date", "content" (the command line's words).
std::optional<DuplicateRule> DuplicateRuleFromName(std::string_view name);
const char* DuplicateRuleName(DuplicateRule rule);
// Message keys of the rules, in the order of the enum (for a drop-down).
extern const char* const kDuplicateRuleKeys[3];

// One catalog to look in: the items below from (the whole catalog when -1).
struct DuplicateSource {
  const CFileItemList* list = nullptr;
  long from = -1;
};

struct DuplicateCopy {
  size_t source = 0;  // position in the sources given
  size_t index = 0;   // item index in that catalog
};

struct DuplicateGroup {
  uint32_t size = 0;  // bytes of one copy
  std::vector<DuplicateCopy> copies;  // at least two, in source then catalog order
  // The space one copy less would free, summed over the surplus copies.
  uint64_t Waste() const { return copies.empty() ? 0 : uint64_t(size) * (copies.size() - 1); }
};

struct DuplicateOptions {
  DuplicateRule rule = DuplicateRule::NameSize;
  uint64_t minBytes = 0;  // smaller files are left out
  // Progress of the content reads (by bytes) and their Stop.
  IProgressSink* progress = nullptr;
};

struct DuplicateResult {
  std::vector<DuplicateGroup> groups;  // largest waste first, then larger size, then catalog order
  uint64_t totalWaste = 0;             // sum of the groups' waste
  uint64_t totalBytes = 0;             // the space every copy of every group takes
  bool stopped = false;                // Stop during the content reads: groups hold what was compared
  size_t unreadable = 0;               // content: files not compared (medium absent, read error)
};

DuplicateResult FindDuplicates(const std::vector<DuplicateSource>& sources, const DuplicateOptions& options);

// The XXH3 128-bit hash of a file's bytes, read in blocks; nullopt when it
// cannot be read or the progress sink asks to stop (then *stopped is set).
// onBytes is told how many bytes each block held.
struct ContentHash {
  uint64_t low = 0, high = 0;
  bool operator==(const ContentHash&) const = default;
};
std::optional<ContentHash> HashFileContent(const std::string& path, IProgressSink* progress = nullptr,
                                           bool* stopped = nullptr,
                                           const std::function<void(uint64_t)>* onBytes = nullptr);
