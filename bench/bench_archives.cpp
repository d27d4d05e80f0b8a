// Archive listing speed: scans a tree of ZIP archives (500 of 200 members by
// default) with the archive lister and compares members per second with
// `unzip -l` over the same archives, in the same run.
//
//   bench_archives [ARCHIVES [MEMBERS [DIR]]]
// With DIR, the archives are made there once and kept (later runs reuse them).
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "ports/TempDir.h"
#include "scan/Scanner.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool MakeArchive(const std::string& path, int members, int seed) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return false;
  std::vector<std::string> data(static_cast<size_t>(members));
  for (int m = 0; m < members; ++m) {
    std::string& d = data[static_cast<size_t>(m)];
    d = "member " + std::to_string(m) + " of archive " + std::to_string(seed) + "\n";
    d += std::string(static_cast<size_t>(64 + (m * 37 + seed) % 512), static_cast<char>('a' + m % 26));
    const std::string name = "dir" + std::to_string(m % 10) + "/sub" + std::to_string(m % 3) + "/file" +
                             std::to_string(m) + ".txt";
    zip_source_t* src = zip_source_buffer(za, d.data(), d.size(), 0);
    if (!src || zip_file_add(za, name.c_str(), src, 0) < 0) {
      if (src) zip_source_free(src);
      zip_discard(za);
      return false;
    }
  }
  return zip_close(za) == 0;
}

double RunShell(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double elapsed = Seconds(start);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const int archives = argc > 1 ? std::atoi(argv[1]) : 500;
  const int members = argc > 2 ? std::atoi(argv[2]) : 200;
  const bool keep = argc > 3;
  std::string root;
  if (keep) {
    root = argv[3];
  } else {
    std::string pattern = (fs::temp_directory_path() / "qv-bench-archives-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    root = pattern;
  }

  auto start = std::chrono::steady_clock::now();
  if (!keep || !fs::exists(root + "/cd0")) {
    for (int a = 0; a < archives; ++a) {
      const std::string sub = root + "/cd" + std::to_string(a / 50);
      fs::create_directories(sub);
      if (!MakeArchive(sub + "/archive" + std::to_string(a) + ".zip", members, a)) {
        std::fprintf(stderr, "cannot write the archives in %s\n", root.c_str());
        return 1;
      }
    }
    std::printf("made %d archives of %d members in %.2f s (%s)\n", archives, members, Seconds(start), root.c_str());
  }

  // Warm the page cache so both sides read from memory.
  RunShell("cat '" + root + "'/cd*/*.zip > /dev/null");

  CFileItemList list;
  auto media = std::make_unique<CFileItemMediaDir>();
  media->level = 0;
  media->rootPath = root;
  list.items.push_back(std::move(media));
  CScanProgress progress;
  ScanOptions options;
  InstallArchiveHooks(options);
  start = std::chrono::steady_clock::now();
  {
    CScanContext scan(list, progress, options);
    scan.ScanMedium(root, 1);
  }
  const double scanSeconds = Seconds(start);
  long listed = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->isArchive && list[i]->type == ITEM_FILE) ++listed;
  const long expected = static_cast<long>(archives) * members;
  std::printf("quolvane scan:        %ld members (%zu items) in %.3f s: %.0f members/s\n", listed, list.size(),
              scanSeconds, listed / scanSeconds);

  const double unzipEach = RunShell("for f in '" + root + "'/cd*/*.zip; do unzip -l \"$f\"; done > /dev/null 2>&1");
  const double unzipOne = RunShell("cd '" + root + "' && for d in cd*; do unzip -l \"$d/*.zip\"; done > /dev/null 2>&1");
  if (unzipEach > 0)
    std::printf("unzip -l per archive: %ld members in %.3f s: %.0f members/s\n", expected, unzipEach,
                expected / unzipEach);
  if (unzipOne > 0)
    std::printf("unzip -l wildcard:    %ld members in %.3f s: %.0f members/s\n", expected, unzipOne,
                expected / unzipOne);
  if (listed != expected) std::printf("MISMATCH: expected %ld members\n", expected);

  std::error_code ec;
  if (!keep) fs::remove_all(root, ec);
  RemoveTempWorkDirectory();
  return listed == expected ? 0 : 2;
}
