// Answers over a big catalog against the standard tools in the same run:
// grouping by name and size against `sort | uniq -d` over the same
// name-and-size lines, and the CSV export against `quolvane-cli list` on
// the same catalog. CPU times (this thread, or the children), so the
// neighbours on a shared machine count little.
//   bench_answers [items]   default 1000000
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "BenchCpu.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/Duplicates.h"

namespace fs = std::filesystem;

namespace {

using bench::Best;
using bench::RunCounted;

// Media of backups as people keep them: the same photos and songs on
// several disks, a hundred entries per directory.
CFileItemList Backups(size_t count) {
  std::mt19937 rng(2412);
  const char* const kinds[] = {"IMG_%05u.JPG", "track %03u.mp3", "report-%04u.pdf", "setup%03u.exe", "notes%u.txt"};
  CFileItemList list;
  list.items.reserve(count);
  size_t media = 0;
  while (list.size() < count) {
    auto m = std::make_unique<CFileItemMediaDir>();
    m->name = "Backup " + std::to_string(++media);
    m->rootPath = "/media/backup";
    m->level = 0;
    list.items.push_back(std::move(m));
    for (int d = 0; d < 100 && list.size() < count; ++d) {
      list.items.push_back(std::make_unique<CFileItem>(ITEM_DIRECTORY, "dir " + std::to_string(d), 0, 0, 1, 0x10));
      for (int f = 0; f < 99 && list.size() < count; ++f) {
        const unsigned k = rng() % 5, n = rng() % 20000;
        char name[64];
        std::snprintf(name, sizeof name, kinds[k], n);
        // Sizes follow the name mostly, so that copies share both.
        const uint32_t size = (n * 7919u + k * 104729u) % 5000000u + (rng() % 8 == 0 ? rng() % 1000 : 0);
        list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, name, size, 1000000000u + n, 2, 0x20));
      }
    }
  }
  list.RebuildContainerIndex();
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  InitTranslator("", 1033L);
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const std::string cli = fs::read_symlink("/proc/self/exe").parent_path() / "quolvane-cli";
  const fs::path tmp = fs::temp_directory_path() / ("bench-answers-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  const std::string catalog = (tmp / "big.qvd").string(), lines = (tmp / "name-size.txt").string();

  CFileItemList list = Backups(count);
  SaveCatalogFile(list, catalog);
  {
    std::ofstream out(lines);
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i]->type == ITEM_FILE) out << list[i]->name << '\t' << list[i]->size << '\n';
  }
  std::printf("== %zu items ==\n", list.size());

  DuplicateResult r;
  const double ours = Best([&] {
    return bench::Timed([&] { r = FindDuplicates({{&list, -1}}, DuplicateOptions{}); });
  });
  long uniq = 0;
  const double sortUniq = Best([&] {
    return RunCounted("LC_ALL=C sort -S 50% '" + lines + "' | LC_ALL=C uniq -d | wc -l", &uniq);
  });
  std::printf("%-46s %9s %9s\n", "operation", "CPU s", "groups");
  std::printf("%-46s %9.3f %9zu\n", "duplicates by name and size (in memory)", ours, r.groups.size());
  std::printf("%-46s %9.3f %9ld\n", "sort | uniq -d over the name-and-size lines", sortUniq, uniq);
  std::printf("ratio %.2f (goal: within 2)\n\n", sortUniq > 0 ? ours / sortUniq : 0);

  if (fs::exists(cli)) {
    const std::string q = "'" + cli + "' ";
    double exportCsv = 1e30, listing = 1e30, load = 1e30;
    // Alternated: a second process is noisier than a function.
    for (int k = 0; k < 3; ++k) {
      exportCsv = std::min(exportCsv, RunCounted(q + "export '" + catalog + "' --format csv > /dev/null; echo 0"));
      listing = std::min(listing, RunCounted(q + "list '" + catalog + "' > /dev/null; echo 0"));
      load = std::min(load, RunCounted(q + "export '" + catalog + "' --format csv --from 99999999 >/dev/null 2>&1; echo 0"));
    }
    std::printf("%-46s %9s\n", "command", "CPU s");
    std::printf("%-46s %9.3f\n", "quolvane-cli export --format csv", exportCsv);
    std::printf("%-46s %9.3f\n", "quolvane-cli list", listing);
    std::printf("%-46s %9.3f\n", "  the load alone (export failing on --from)", load);
    std::printf("ratio %.2f (goal: within 3); beyond the load %.2f\n", listing > 0 ? exportCsv / listing : 0,
                listing - load > 0 ? (exportCsv - load) / (listing - load) : 0);
  }
  fs::remove_all(tmp);
  return 0;
}
