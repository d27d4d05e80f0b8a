// Search and filter speed on a synthetic catalog of a million items, against
// grep -c over a text dump of the same names and descriptions in the same run.
//   bench_search [items] [repetitions]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/Filters.h"
#include "query/Search.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// Fastest of n runs: the machine is shared, the fastest run is the cleanest.
template <class F>
double BestMs(int n, F&& f) {
  double best = 1e30;
  for (int i = 0; i < n; ++i) {
    const auto t0 = Clock::now();
    f();
    best = std::min(best, Ms(t0, Clock::now()));
  }
  return best;
}

// Media of a few thousand items with directory trees, one huge media of
// loose files (a music collection), names from assorted stems and
// extensions, one file in twenty with a version description.
struct Catalog {
  CFileItemList list;
  size_t bigMedia = 0;
};

Catalog Build(size_t count) {
  std::mt19937 rng(4242);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  static const char* stems[] = {"IMG_", "track ", "setup", "readme", "Rapport ", "invoice-", "lib", "data",
                                "Caf\xC3\xA9 ", "chapter", "photo", "notes"};
  static const char* exts[] = {".jpg", ".mp3", ".exe", ".txt", ".doc", ".pdf", ".dll", ".wav", ".png", ".htm",
                               ".MP3", ".ini"};
  static const char* dirs[] = {"Program Files", "Photos", "Music", "Documents", "drivers", "src", "images", "bin"};
  Catalog c;
  auto& items = c.list.items;
  items.reserve(count);
  const size_t bigSize = count / 5;
  bool bigDone = false;
  int16_t level = 1;
  size_t left = 0;
  while (items.size() < count) {
    if (items.size() % 100000 == 0) {
      items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Shelf " + std::to_string(items.size()), 0, 0, 0, 0));
      left = 0;
      continue;
    }
    if (left == 0) {
      auto media = std::make_unique<CFileItemMediaCD>();
      media->level = 1;
      if (!bigDone && items.size() > count / 2) {
        bigDone = true;
        c.bigMedia = items.size();
        media->name = "All my music";
        items.push_back(std::move(media));
        for (size_t k = 0; k < bigSize && items.size() < count; ++k) {
          std::string name = std::string(stems[pick(std::size(stems))]) + std::to_string(pick(1000000)) +
                             exts[pick(std::size(exts))];
          items.push_back(std::make_unique<CFileItem>(ITEM_FILE, name, static_cast<uint32_t>(rng() % 9000000),
                                                      1000000000, 2, 0x20));
        }
        continue;
      }
      media->name = "Disc " + std::to_string(items.size());
      items.push_back(std::move(media));
      left = 1000 + pick(4000);
      level = 2;
      continue;
    }
    --left;
    if (pick(10) == 0) {
      if (level > 2 && pick(3) == 0) level = static_cast<int16_t>(level - 1);
      items.push_back(std::make_unique<CFileItem>(ITEM_DIRECTORY, dirs[pick(std::size(dirs))], 0, 0, level, 0x10));
      if (level < 10) ++level;
      continue;
    }
    std::string name =
        std::string(stems[pick(std::size(stems))]) + std::to_string(pick(100000)) + exts[pick(std::size(exts))];
    auto file = std::make_unique<CFileItem>(ITEM_FILE, name, static_cast<uint32_t>(rng() % 9000000), 1000000000,
                                            level, 0x20);
    if (pick(20) == 0)
      file->description = "Version 1." + std::to_string(pick(10)) + "\r\nCompany: Example Software\r\nDescription: " +
                          name + (pick(50) == 0 ? " network component\r\n" : " module\r\n");
    items.push_back(std::move(file));
  }
  c.list.RebuildContainerIndex();
  return c;
}

// Runs a shell command and returns its first output line as a number.
long Count(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  long n = -1;
  if (std::fscanf(p, "%ld", &n) != 1) n = -1;
  pclose(p);
  return n;
}

struct Row {
  const char* what;
  size_t found;
  double ours;
  long grepFound;
  double grep;
};

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const int reps = argc > 2 ? std::atoi(argv[2]) : 5;
  InitTranslator("", 1033L);
  const Catalog c = Build(count);
  const CFileItemList& list = c.list;

  // The same texts as grep sees them: every file name, every item's
  // description (one line per item), and the names of the big media's files.
  namespace fs = std::filesystem;
  const fs::path tmp = fs::temp_directory_path() / ("bench-search-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  const std::string names = (tmp / "names.txt").string(), descriptions = (tmp / "descriptions.txt").string(),
                    bigNames = (tmp / "big.txt").string();
  {
    std::ofstream n(names), d(descriptions), b(bigNames);
    const size_t bigEnd = list.SubtreeEnd(c.bigMedia);
    for (size_t i = 0; i < list.size(); ++i) {
      const CFileItem& it = *list[i];
      if (it.type == ITEM_FILE) n << it.name << '\n';
      if (it.type == ITEM_FILE && i > c.bigMedia && i < bigEnd) b << it.name << '\n';
      // One line per item, as the search looks at every item.
      std::string flat = it.description;
      std::replace(flat.begin(), flat.end(), '\r', ' ');
      std::replace(flat.begin(), flat.end(), '\n', ' ');
      d << flat << '\n';
    }
  }
  auto grepMs = [&](const std::string& command, long& found) {
    return BestMs(reps, [&] { found = Count(command); });
  };

  std::vector<Row> rows;
  std::vector<size_t> results;
  results.reserve(list.size());

  {
    SearchCriteria s;
    s.text = "*.mp3";
    s.ignoreCase = 1;
    s.kind = SEARCH_FILE_NAME;
    PrepareSearch(s);
    const double ours = BestMs(reps, [&] {
      results.clear();
      SearchCatalog(list, -1, s, results);
    });
    Row r{"name pattern *.mp3 (no case)", results.size(), ours, 0, 0};
    r.grep = grepMs("LC_ALL=C grep -c -i '\\.mp3$' " + names, r.grepFound);
    rows.push_back(r);
  }
  {
    SearchCriteria s;
    s.text = "network";
    s.ignoreCase = 1;
    s.kind = SEARCH_FILE_DESCRIPTION;
    PrepareSearch(s);
    const double ours = BestMs(reps, [&] {
      results.clear();
      SearchCatalog(list, -1, s, results);
    });
    Row r{"description substring (no case)", results.size(), ours, 0, 0};
    r.grep = grepMs("LC_ALL=C grep -c -i 'network' " + descriptions, r.grepFound);
    rows.push_back(r);
  }
  {
    CFilterState filters;
    filters.filters = DefaultFilters();
    filters.current = 1;  // Sounds
    std::vector<size_t> shown;
    const double ours = BestMs(reps, [&] { shown = FileListItems(list, static_cast<long>(c.bigMedia), filters); });
    Row r{"filtered file list of the big media", shown.size(), ours, 0, 0};
    r.grep = grepMs("LC_ALL=C grep -c -i -E '\\.(mp3|wav|mid|rmi|aif|snd|au|ra)$' " + bigNames, r.grepFound);
    rows.push_back(r);
  }
  {
    CFilterState filters;
    filters.ApplyComboChoice(kTypedPattern, "*.wav");
    std::vector<size_t> tree;
    const double ours = BestMs(reps, [&] { tree = TreeItems(list, filters, true); });
    Row r{"tree with a typed pattern (hides empty)", tree.size(), ours, -1, 0};
    rows.push_back(r);
  }
  fs::remove_all(tmp);

  std::printf("%zu items, best of %d runs\n", list.size(), reps);
  std::printf("%-42s %9s %10s %9s %10s %7s\n", "operation", "found", "ms", "grep -c", "grep ms", "ratio");
  for (const Row& r : rows) {
    if (r.grepFound < 0 && r.grep == 0)
      std::printf("%-42s %9zu %10.1f %9s %10s %7s\n", r.what, r.found, r.ours, "-", "-", "-");
    else
      std::printf("%-42s %9zu %10.1f %9ld %10.1f %7.2f\n", r.what, r.found, r.ours, r.grepFound, r.grep,
                  r.ours / r.grep);
  }
  return 0;
}
