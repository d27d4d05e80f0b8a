// Search output on one big medium: a name search with a hundred thousand
// results printed with their catalog paths, and a description search,
// against grep -c over a listing of the same catalog in the same run; then
// the command itself. CPU times (this thread, or the children for grep and
// the command), so the neighbours on a shared machine count little.
//   bench_paths [--keep] [items...]   default: 10000 100000 1000000
// --keep leaves the last catalog and listings in the temporary directory.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchCpu.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/PathWalk.h"
#include "query/Search.h"
#include "scan/MediaPaths.h"

namespace fs = std::filesystem;

namespace {

using bench::Best;
using bench::RunCounted;
using bench::Timed;

const char* const kArtists[] = {"Miles Davis", "Nina Simone", "Radiohead", "Bj\xc3\xb6rk", "\xc3\x89" "dith Piaf",
                                 "Bach - Cello Suites", "The Beatles", "Massive Attack"};
const char* const kWords[] = {"Blue", "Night", "Song", "River", "Light", "Dance", "Home", "Rain", "Time", "Love"};
const char* const kDocs[] = {".doc", ".pdf", ".txt", ".odt", ".xls", ".htm"};
const char* const kProgs[] = {".dll", ".exe", ".ini", ".txt", ".dat", ".hlp", ".cfg", ".bin"};

// One medium as a scan of a real disk gives it: a hundred entries per
// directory (files first, then up to five subdirectories), names of music,
// photo, program and document folders, descriptions where the describers
// write them (MP3 tags, pictures, version resources).
CFileItemList OneMedium(size_t count) {
  std::mt19937 rng(1606);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  CFileItemList list;
  list.items.reserve(count);
  auto media = std::make_unique<CFileItemMediaDir>();
  media->name = "Archive disk";
  media->rootPath = "/media/archive";
  media->level = 0;
  list.items.push_back(std::move(media));
  int maxDepth = 1;
  for (size_t dirs = 1, all = 1; all * 100 < count; ++maxDepth) all += dirs *= 5;
  size_t serial = 0;
  auto add = [&](uint8_t type, std::string name, int level, std::string description = {}) {
    auto item = std::make_unique<CFileItem>(type, std::move(name), type == ITEM_FILE ? rng() % 9000000 : 0,
                                            1000000000 + static_cast<uint32_t>(rng() % 500000000),
                                            static_cast<int16_t>(level), type == ITEM_FILE ? 0x20 : 0x10);
    item->description = std::move(description);
    list.items.push_back(std::move(item));
  };
  auto fill = [&](auto& self, int level, int depth) -> void {
    const int subdirs = depth < maxDepth ? 5 : 0;
    const size_t theme = pick(100);
    for (int k = 0; k < 100 - subdirs && list.size() < count; ++k) {
      ++serial;
      if (theme < 13) {  // music: tracks and a cover
        if (k == 0) {
          add(ITEM_FILE, "cover.jpg", level, "Picture size 500 x 500 pixels\r\n24 bits per pixel");
          continue;
        }
        const std::string title = std::string(kWords[pick(10)]) + " " + kWords[pick(10)];
        std::string track = k < 10 ? "0" : "";
        track += std::to_string(k);
        std::string time = "Time\t0";
        time += std::to_string(2 + pick(6));
        add(ITEM_FILE, track + " - " + title + ".mp3", level,
            time + ":" + std::to_string(10 + pick(50)) +
                "\r\nBitrate\t192k\r\nFrequency\t44k1\r\nTitle\t" + title + "\r\nArtist\t" + kArtists[pick(8)] +
                "\r\n");
      } else if (theme < 40) {  // photos
        add(ITEM_FILE, "IMG_" + std::to_string(1000 + serial % 9000) + ".JPG", level,
            pick(4) == 0 ? "Picture size 4000 x 3000 pixels\r\n24 bits per pixel" : "");
      } else if (theme < 70) {  // a program
        const char* ext = kProgs[pick(std::size(kProgs))];
        const std::string name = std::string(kWords[pick(10)]) + std::to_string(serial % 977) + ext;
        const bool versioned = ext[1] == 'd' || ext[1] == 'e';
        add(ITEM_FILE, name, level,
            versioned ? "Version 2." + std::to_string(pick(10)) + "\r\nCompany: " +
                            (pick(10) == 0 ? "Soci\xc3\xa9t\xc3\xa9 Exemple" : "Example Software") + "\r\nDescription: " +
                            name + (pick(40) == 0 ? " network service\r\n" : " module\r\n")
                      : "");
      } else {  // documents
        add(ITEM_FILE, std::string("Report ") + kWords[pick(10)] + " " + std::to_string(serial % 3001) +
                           kDocs[pick(std::size(kDocs))], level);
      }
    }
    for (int d = 0; d < subdirs && list.size() < count; ++d) {
      add(ITEM_DIRECTORY, theme < 13 ? std::string(kArtists[pick(8)]) + " - Album " + std::to_string(d)
                                     : std::string(kWords[pick(10)]) + " " + std::to_string(d),
          level);
      self(self, level + 1, depth + 1);
    }
  };
  while (list.size() < count) fill(fill, 1, 1);
  list.RebuildContainerIndex();
  return list;
}

// What `quolvane-cli search` prints: index, tab, catalog path.
template <class PathOf>
size_t PrintResults(const std::vector<size_t>& found, PathOf&& pathOf, int fd) {
  std::string out;
  size_t bytes = 0;
  for (const size_t i : found) {
    out += std::to_string(i);
    out += '\t';
    out += pathOf(i);
    out += '\n';
    if (out.size() > 65536) {
      bytes += static_cast<size_t>(write(fd, out.data(), out.size()));
      out.clear();
    }
  }
  return bytes + static_cast<size_t>(write(fd, out.data(), out.size()));
}

void Run(size_t count, const std::string& cli, const fs::path& tmp) {
  std::printf("\n== %zu items, one medium, 100 entries per directory ==\n", count);
  CFileItemList built = OneMedium(count);
  const std::string catalog = (tmp / "one.qvd").string();
  SaveCatalogFile(built, catalog);
  // The listing grep reads: the `list` command's lines, and one line per
  // item of its description.
  const std::string listing = (tmp / "listing.txt").string(), descriptions = (tmp / "descriptions.txt").string();
  {
    std::ofstream l(listing), d(descriptions);
    for (size_t i = 0; i < built.size(); ++i) {
      const CFileItem& it = *built[i];
      l << i << '\t' << TypeLabel(it.type, false) << '\t' << it.level << '\t' << it.name << '\n';
      std::string flat = it.description;
      std::replace(flat.begin(), flat.end(), '\r', ' ');
      std::replace(flat.begin(), flat.end(), '\n', ' ');
      d << flat << '\n';
    }
  }
  built.Clear();

  CFileItemList list;
  const double load = Best([&] {
    list.Clear();
    return Timed([&] { LoadCatalogFile(list, catalog); });
  });
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);

  SearchCriteria mp3;
  mp3.text = "*.mp3";
  mp3.ignoreCase = 1;
  mp3.kind = SEARCH_FILE_NAME;
  PrepareSearch(mp3);
  std::vector<size_t> found;
  const double search = Best([&] {
    found.clear();
    return Timed([&] { SearchCatalog(list, -1, mp3, found); });
  });
  const double indexBuild = Best([&] { return Timed([&] { const CItemPaths paths(list); }); });
  const double indexed = Best([&] {
    return Timed([&] {
      const CItemPaths paths(list);
      PrintResults(found, [&](size_t i) { return paths.Logical(i, true); }, devNull);
    });
  });
  // Paths built in catalog order from the parent's, as the command does.
  const double inOrder = Best([&] {
    return Timed([&] {
      CLogicalPathWalk paths(list);
      PrintResults(found, [&](size_t i) { return paths.Path(i, true); }, devNull);
    });
  });
  // The walk back over the list, timed on a sample where all of it would
  // take minutes; the sample is spread over the whole medium.
  const size_t sample = std::min<size_t>(found.size(), 2000);
  std::vector<size_t> some;
  for (size_t k = 0; k < sample; ++k) some.push_back(found[k * found.size() / sample]);
  const double walkedSample =
      Timed([&] { PrintResults(some, [&](size_t i) { return LogicalPath(list, i, true); }, devNull); });
  const double walked = sample ? walkedSample * static_cast<double>(found.size()) / static_cast<double>(sample) : 0;
  long grepFound = 0;
  const double grep = Best([&] { return RunCounted("LC_ALL=C grep -c -i '\\.mp3$' " + listing, &grepFound); });

  // Description searches, each against grep -c over one line per item's
  // description.
  struct DescriptionCase {
    const char* what;
    const char* text;
    int32_t ignoreCase;
    int32_t kind;
    const char* grep;
  };
  const DescriptionCase cases[] = {
      {"description 'network', any case", "network", 1, SEARCH_FILE_DESCRIPTION, "-i 'network'"},
      {"description 'Network', exact case", "Network", 0, SEARCH_FILE_DESCRIPTION, "'Network'"},
      {"description 'Bitrate', many found", "Bitrate", 1, SEARCH_FILE_DESCRIPTION, "-i 'Bitrate'"},
      {"search for all 'network', any case", "network", 1, SEARCH_ALL, "-i 'network'"},
      {"description '\xc3\xa9t\xc3\xa9', any case", "\xc3\xa9t\xc3\xa9", 1, SEARCH_FILE_DESCRIPTION,
       "-i '\xc3\xa9t\xc3\xa9'"},
  };
  struct DescriptionRow {
    const char* what;
    size_t found;
    double ours;
    long grepFound;
    double grep;
  };
  std::vector<DescriptionRow> descriptionRows;
  for (const DescriptionCase& d : cases) {
    SearchCriteria c;
    c.text = d.text;
    c.ignoreCase = d.ignoreCase;
    c.kind = d.kind;
    PrepareSearch(c);
    std::vector<size_t> hits;
    DescriptionRow r{d.what, 0, 0, 0, 0};
    r.ours = Best([&] {
      hits.clear();
      return Timed([&] { SearchCatalog(list, -1, c, hits); });
    });
    r.found = hits.size();
    r.grep = Best([&] { return RunCounted(std::string("LC_ALL=C.UTF-8 grep -c ") + d.grep + " " + descriptions, &r.grepFound); });
    descriptionRows.push_back(r);
  }

  // The command as a user runs it: the same search printing its results,
  // less one that finds nothing (the load, the walk, the exit).
  double command = -1, commandLoad = -1;
  if (!cli.empty()) {
    const std::string run = "'" + cli + "' search '" + catalog + "' ";
    // Alternated, five of each: a second process is noisier than a function.
    command = commandLoad = 1e30;
    for (int k = 0; k < 5; ++k) {
      command = std::min(command, RunCounted(run + "'*.mp3' --kind file > /dev/null; echo 0"));
      commandLoad = std::min(commandLoad, RunCounted(run + "'*.nothing' --kind file > /dev/null 2>&1; echo 0"));
    }
  }
  close(devNull);

  std::printf("load %.3f s CPU\n", load);
  std::printf("%-44s %9s %9s %8s %9s %7s\n", "operation", "found", "ours s", "grep -c", "grep s", "ratio");
  auto row = [](const char* what, size_t n, double ours, long g, double gs) {
    std::printf("%-44s %9zu %9.3f %8ld %9.3f %7.2f\n", what, n, ours, g, gs, gs > 0 ? ours / gs : 0.0);
  };
  row("search *.mp3 --kind file (walk only)", found.size(), search, grepFound, grep);
  row("  + paths and output, parent index", found.size(), search + indexed, grepFound, grep);
  row("  + paths and output, in catalog order", found.size(), search + inOrder, grepFound, grep);
  row("  + paths and output, walk over the list", found.size(), search + walked, grepFound, grep);
  for (const DescriptionRow& r : descriptionRows) row(r.what, r.found, r.ours, r.grepFound, r.grep);
  if (command >= 0) {
    std::printf("quolvane-cli search: %.3f s CPU, one that finds nothing %.3f s\n", command, commandLoad);
    row("quolvane-cli search, less one finding nothing", found.size(), command - commandLoad, grepFound, grep);
  }
  std::printf("parent index built in %.3f s (of the output's %.3f s)\n", indexBuild, indexed);
  std::printf("paths: parent index %.1f us per result, walk %.1f us per result (speed-up %.0fx)\n",
              found.empty() ? 0 : indexed * 1e6 / static_cast<double>(found.size()),
              sample ? walkedSample * 1e6 / static_cast<double>(sample) : 0, indexed > 0 ? walked / indexed : 0);
}

}  // namespace

int main(int argc, char** argv) {
  InitTranslator("", 1033L);
  std::vector<size_t> counts;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--keep") keep = true;
    else counts.push_back(std::strtoul(argv[i], nullptr, 10));
  }
  if (counts.empty()) counts = {10000, 100000, 1000000};
  // quolvane-cli is built beside the benchmarks.
  std::string cli = fs::read_symlink("/proc/self/exe").parent_path() / "quolvane-cli";
  if (!fs::exists(cli)) cli.clear();
  const fs::path tmp = fs::temp_directory_path() / ("bench-paths-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  for (const size_t n : counts) Run(n, cli, tmp);
  if (keep) std::printf("kept in %s\n", tmp.c_str());
  else fs::remove_all(tmp);
  return 0;
}
