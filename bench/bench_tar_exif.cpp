// Two costs of today's media, in CPU seconds (the machine may be shared):
//  1. listing tar.gz archives (500 of 200 members by default) in a scan,
//     against `tar -tzf` on each archive (tar and its gzip counted);
//  2. describing camera JPEGs (200 by default) with their EXIF lines,
//     against the same JPEGs stripped of EXIF.
//
//   bench_tar_exif [ARCHIVES [MEMBERS [JPEGS]]]
// Needs tar, ImageMagick and exiftool.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchCpu.h"
#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "scan/Scanner.h"

namespace fs = std::filesystem;

namespace {

bool Run(const std::string& command) {
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class NullHost : public IDescribeHost {
 public:
  std::string PhysicalPath(const CFileItemList&, size_t) override { return {}; }
  void LogScanError(const std::string&) override { ++errors; }
  int errors = 0;
};

// CPU seconds to describe every file of paths, best of rounds.
double DescribeAll(const std::vector<std::string>& paths, int rounds, size_t& descriptionBytes) {
  double best = 1e9;
  NullHost host;
  for (int r = 0; r < rounds; ++r) {
    descriptionBytes = 0;
    const double t = bench::Timed([&] {
      for (const std::string& p : paths) {
        CFileItem item;
        item.name = fs::path(p).filename().string();
        DescribePicture(p, item, DescribeSettings{}, host);
        descriptionBytes += item.description.size();
      }
    });
    best = std::min(best, t);
  }
  if (host.errors) std::printf("  %d describe errors\n", host.errors);
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int archives = argc > 1 ? std::atoi(argv[1]) : 500;
  const int members = argc > 2 ? std::atoi(argv[2]) : 200;
  const int jpegs = argc > 3 ? std::atoi(argv[3]) : 200;
  std::string pattern = (fs::temp_directory_path() / "qv-bench-tar-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const std::string root = pattern;
  InitTranslator("", LANG_ENGLISH);

  // 1. tar.gz listing. One archive is made, the others are copies of it.
  const std::string src = root + "/src", media = root + "/media";
  fs::create_directories(media);
  for (int m = 0; m < members; ++m) {
    const std::string dir = src + "/dir" + std::to_string(m % 10) + "/sub" + std::to_string(m % 3);
    fs::create_directories(dir);
    if (FILE* f = std::fopen((dir + "/file" + std::to_string(m) + ".txt").c_str(), "w")) {
      std::fprintf(f, "member %d\n%s\n", m, std::string(static_cast<size_t>(64 + m * 37 % 512), 'a' + m % 26).c_str());
      std::fclose(f);
    }
  }
  if (!Run("tar -czf '" + media + "/a0.tar.gz' -C '" + src + "' .")) return 1;
  for (int a = 1; a < archives; ++a) fs::copy_file(media + "/a0.tar.gz", media + "/a" + std::to_string(a) + ".tar.gz");
  Run("cat '" + media + "'/*.tar.gz > /dev/null");  // both sides read from the page cache

  CFileItemList list;
  auto medium = std::make_unique<CFileItemMediaDir>();
  medium->level = 0;
  medium->rootPath = media;
  list.items.push_back(std::move(medium));
  CScanProgress progress;
  ScanOptions options;
  InstallArchiveHooks(options);
  const auto wall = std::chrono::steady_clock::now();
  const double ours = bench::Timed([&] {
    CScanContext scan(list, progress, options);
    scan.ScanMedium(media, 1);
  });
  const double ourWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  long listed = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->isArchive && list[i]->type == ITEM_FILE) ++listed;
  const double children0 = bench::ChildrenCpuSeconds();
  const auto wall2 = std::chrono::steady_clock::now();
  Run("for f in '" + media + "'/*.tar.gz; do tar -tzf \"$f\"; done > /dev/null");
  const double tarWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall2).count();
  const double tar = bench::ChildrenCpuSeconds() - children0;
  std::printf("tar.gz listing: %d archives of %d members, %ld members listed\n", archives, members, listed);
  std::printf("  quolvane scan  %.3f s CPU (%.3f s wall)\n", ours, ourWall);
  std::printf("  tar -tzf each  %.3f s CPU (%.3f s wall)\n", tar, tarWall);
  std::printf("  ratio          %.2fx CPU, %.2fx wall (aim: at most 1.5x)\n", ours / tar, ourWall / tarWall);

  // 2. EXIF lines on camera JPEGs: a photo-like picture with the tags and
  // the embedded preview a camera writes, and the same without EXIF.
  const std::string photos = root + "/photos", plain = root + "/plain";
  fs::create_directories(photos);
  fs::create_directories(plain);
  if (!Run("cd '" + root + "' && convert -size 1200x900 plasma:fractal -seed 7 -quality 90 cam.jpg && "
           "convert cam.jpg -resize 160x120 thumb.jpg && exiftool -q -overwrite_original "
           "-DateTimeOriginal='2023:06:01 14:05:09' -Make=Canon -Model='Canon EOS 80D' "
           "-LensModel='EF-S18-135mm f/3.5-5.6 IS USM' -ExposureTime=1/250 -FNumber=5.6 -ISO=400 -FocalLength=35 "
           "-GPSLatitude=48.85837 -GPSLatitudeRef=N -GPSLongitude=2.294481 -GPSLongitudeRef=E -Orientation#=6 "
           "'-ThumbnailImage<=thumb.jpg' cam.jpg && exiftool -q -all= -o bare.jpg cam.jpg")) {
    std::printf("EXIF benchmark skipped: ImageMagick and exiftool are needed\n");
    return 0;
  }
  std::vector<std::string> withExif, withoutExif;
  for (int i = 0; i < jpegs; ++i) {
    withExif.push_back(photos + "/p" + std::to_string(i) + ".jpg");
    withoutExif.push_back(plain + "/p" + std::to_string(i) + ".jpg");
    fs::copy_file(root + "/cam.jpg", withExif.back());
    fs::copy_file(root + "/bare.jpg", withoutExif.back());
  }
  size_t bytesWith = 0, bytesWithout = 0;
  DescribeAll(withExif, 1, bytesWith);  // warm-up
  const double without = DescribeAll(withoutExif, 3, bytesWithout);
  const double with = DescribeAll(withExif, 3, bytesWith);
  std::printf("EXIF on %d camera JPEGs (%ju bytes with EXIF, %ju without)\n", jpegs,
              static_cast<uintmax_t>(fs::file_size(root + "/cam.jpg")), static_cast<uintmax_t>(fs::file_size(root + "/bare.jpg")));
  std::printf("  described without EXIF  %.3f s CPU (%zu description bytes)\n", without, bytesWithout);
  std::printf("  described with EXIF     %.3f s CPU (%zu description bytes)\n", with, bytesWith);
  std::printf("  cost                    %+.1f %% (aim: at most +10 %%)\n", (with / without - 1) * 100);
  fs::remove_all(root);
  return 0;
}
