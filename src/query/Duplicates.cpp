#include "query/Duplicates.h"

#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "query/ArchiveMembers.h"
#include "scan/MediaPaths.h"

const char* const kDuplicateRuleKeys[3] = {"$$Same name and size", "$$Same name, size and date",
                                           "$$Same content"};

std::optional<DuplicateRule> DuplicateRuleFromName(std::string_view name) {
  if (name == "name-size") return DuplicateRule::NameSize;
  if (name == "name-size-date") return DuplicateRule::NameSizeDate;
  if (name == "content") return DuplicateRule::Content;
  return std::nullopt;
}

const char* DuplicateRuleName(DuplicateRule rule) {
  switch (rule) {
    case DuplicateRule::NameSize: return "name-size";
    case DuplicateRule::NameSizeDate: return "name-size-date";
    case DuplicateRule::Content: return "content";
  }
  return "name-size";
}

std::optional<ContentHash> HashFileContent(const std::string& path, IProgressSink* progress, bool* stopped,
                                           const std::function<void(uint64_t)>* onBytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct StateFree {
    void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
  };
  std::unique_ptr<XXH3_state_t, StateFree> state(XXH3_createState());
  if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) return std::nullopt;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  constexpr size_t kBlock = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kBlock]);
  for (;;) {
    if (progress && progress->StopRequested()) {
      if (stopped) *stopped = true;
      return std::nullopt;
    }
    const ssize_t got = read(fd, buffer.get(), kBlock);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    XXH3_128bits_update(state.get(), buffer.get(), static_cast<size_t>(got));
    if (onBytes && *onBytes) (*onBytes)(static_cast<uint64_t>(got));
  }
  const XXH128_hash_t h = XXH3_128bits_digest(state.get());
  return ContentHash{h.low64, h.high64};
}

namespace {

// One catalogued file, small so that a million sort quickly.
struct Record {
  uint64_t key;  // hash of what the rule compares, or of the content
  uint64_t extra;  // content: the other half of the 128-bit hash
  uint32_t size;
  uint32_t time;
  uint32_t index;
  uint32_t source;
};

struct Gathered {
  std::vector<Record> records;
  // Content only: the medium of each record, as (source, media index).
  std::vector<std::pair<uint32_t, long>> media;
};

Gathered Gather(const std::vector<DuplicateSource>& sources, const DuplicateOptions& o) {
  Gathered g;
  const bool content = o.rule == DuplicateRule::Content;
  // Empty files are all alike by content and free nothing.
  const uint64_t minBytes = content ? std::max<uint64_t>(o.minBytes, 1) : o.minBytes;
  for (size_t s = 0; s < sources.size(); ++s) {
    const CFileItemList& list = *sources[s].list;
    const size_t n = list.size();
    const long from = sources[s].from;
    const bool whole = from < 0 || static_cast<size_t>(from) >= n;
    const size_t first = whole ? 0 : static_cast<size_t>(from) + 1;
    const size_t end = whole ? n : list.SubtreeEnd(static_cast<size_t>(from));
    long media = (content && !whole) ? OwningMedia(list, static_cast<size_t>(from)) : -1;
    constexpr size_t kAhead = 8;  // items live apart from the list: fetch them early
    CArchiveWalk archives(list, first);
    for (size_t i = first; i < end; ++i) {
      if (i + kAhead < end) __builtin_prefetch(list[i + kAhead]);
      const CFileItem& item = *list[i];
      if (item.type == ITEM_MEDIA) media = static_cast<long>(i);
      // An archive's own item is a file on disk; its members are files
      // too, but by content they cannot be read where they are.
      const bool member = archives.IsMember(item);
      const bool file = (item.type == ITEM_FILE || item.type == ITEM_ARCHIVE_ENTRY) && !(content && member);
      if (!file || item.size < minBytes) continue;
      Record r{};
      r.size = item.size;
      r.time = o.rule == DuplicateRule::NameSizeDate ? item.time : 0;
      r.index = static_cast<uint32_t>(i);
      r.source = static_cast<uint32_t>(s);
      if (!content) {
        const uint64_t seed = (uint64_t(r.size) << 32) | r.time;
        r.key = XXH3_64bits_withSeed(item.name.data(), item.name.size(), seed);
      }
      g.records.push_back(r);
      if (content) g.media.emplace_back(static_cast<uint32_t>(s), media);
    }
  }
  return g;
}

const std::string& NameOf(const std::vector<DuplicateSource>& sources, const Record& r) {
  return (*sources[r.source].list)[r.index]->name;
}

bool SameFile(const std::vector<DuplicateSource>& sources, DuplicateRule rule, const Record& a, const Record& b) {
  if (a.size != b.size || a.key != b.key) return false;
  if (rule == DuplicateRule::Content) return a.extra == b.extra;
  return a.time == b.time && NameOf(sources, a) == NameOf(sources, b);
}

// Groups of equal records among records sorted so that equal ones are in
// one run of equal (size, key).
std::vector<DuplicateGroup> Groups(const std::vector<DuplicateSource>& sources, DuplicateRule rule,
                                   std::vector<Record>& records) {
  std::vector<DuplicateGroup> groups;
  std::vector<Record> run;
  for (size_t i = 0; i < records.size();) {
    size_t j = i + 1;
    while (j < records.size() && records[j].size == records[i].size && records[j].key == records[i].key &&
           records[j].extra == records[i].extra)
      ++j;
    if (j - i >= 2) {
      run.assign(records.begin() + static_cast<long>(i), records.begin() + static_cast<long>(j));
      // A hash shared by different names is rare; split the run by what
      // the rule really compares.
      while (!run.empty()) {
        DuplicateGroup g;
        g.size = run.front().size;
        std::vector<Record> rest;
        for (const Record& r : run) {
          if (SameFile(sources, rule, run.front(), r)) g.copies.push_back({r.source, r.index});
          else rest.push_back(r);
        }
        if (g.copies.size() >= 2) {
          std::sort(g.copies.begin(), g.copies.end(), [](const DuplicateCopy& a, const DuplicateCopy& b) {
            return std::tie(a.source, a.index) < std::tie(b.source, b.index);
          });
          groups.push_back(std::move(g));
        }
        run.swap(rest);
      }
    }
    i = j;
  }
  return groups;
}

void HashContents(const std::vector<DuplicateSource>& sources, Gathered& g, const DuplicateOptions& o,
                  DuplicateResult& result) {
  std::vector<Record>& records = g.records;
  // Sizes first: only a size shared by two files is worth reading.
  std::vector<size_t> order(records.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return records[a].size < records[b].size; });
  std::vector<size_t> toRead;
  uint64_t totalBytes = 0;
  for (size_t i = 0; i < order.size();) {
    size_t j = i + 1;
    while (j < order.size() && records[order[j]].size == records[order[i]].size) ++j;
    if (j - i >= 2)
      for (size_t k = i; k < j; ++k) {
        toRead.push_back(order[k]);
        totalBytes += records[order[k]].size;
      }
    i = j;
  }
  // Whether each medium is the one catalogued, asked once per medium.
  std::map<std::pair<uint32_t, long>, bool> present;
  IProgressSink* progress = o.progress;
  if (progress) progress->Begin(Translate("IDS_DUPLICATES_READING"));
  uint64_t done = 0;
  int percent = 0;
  const std::function<void(uint64_t)> onBytes = [&](uint64_t bytes) {
    done += bytes;
    const int now = totalBytes ? static_cast<int>(std::min<uint64_t>(100, done * 100 / totalBytes)) : 100;
    if (now != percent && progress) progress->SetPercent(percent = now);
  };
  std::vector<Record> hashed;
  hashed.reserve(toRead.size());
  for (const size_t k : toRead) {
    if (progress && progress->StopRequested()) {
      result.stopped = true;
      break;
    }
    Record r = records[k];
    const CFileItemList& list = *sources[r.source].list;
    const auto medium = g.media[k];
    auto known = present.find(medium);
    if (known == present.end()) {
      bool same = false;
      if (medium.second >= 0)
        if (const auto* m = dynamic_cast<const CFileItemMedia*>(list[static_cast<size_t>(medium.second)]))
          same = m->IsSameVolume() != 0;
      known = present.emplace(medium, same).first;
    }
    std::optional<ContentHash> h;
    const uint64_t before = done;
    if (known->second) h = HashFileContent(DiskPath(list, r.index), progress, &result.stopped, &onBytes);
    if (result.stopped) break;
    // A file that changed size since the scan is not the catalogued one.
    if (!h || done - before != r.size) {
      ++result.unreadable;
      onBytes(r.size - std::min<uint64_t>(r.size, done - before));
      continue;
    }
    r.key = h->low;
    r.extra = h->high;
    hashed.push_back(r);
  }
  if (progress) progress->End();
  records.swap(hashed);
}

}  // namespace

DuplicateResult FindDuplicates(const std::vector<DuplicateSource>& sources, const DuplicateOptions& options) {
  DuplicateResult result;
  Gathered g = Gather(sources, options);
  if (options.rule == DuplicateRule::Content) HashContents(sources, g, options, result);
  std::vector<Record>& records = g.records;
  std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    return std::tie(a.size, a.key, a.extra) < std::tie(b.size, b.key, b.extra);
  });
  result.groups = Groups(sources, options.rule, records);
  std::sort(result.groups.begin(), result.groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
    const uint64_t wa = a.Waste(), wb = b.Waste();
    if (wa != wb) return wa > wb;
    if (a.size != b.size) return a.size > b.size;
    return std::tie(a.copies[0].source, a.copies[0].index) < std::tie(b.copies[0].source, b.copies[0].index);
  });
  for (const DuplicateGroup& group : result.groups) {
    result.totalWaste += group.Waste();
    result.totalBytes += uint64_t(group.size) * group.copies.size();
  }
  return result;
}
