// Audio files and films, against baselines measured in the same run:
//  1. a film's description with its thumbnail, against
//     `ffmpeg -ss T -i FILE -frames:v 1 OUT.bmp` at the same tenth (aim: at most 1.5x);
//  2. a FLAC file's description, against reading only the bytes it needs
//     (its metadata blocks) (aim: at most 2x);
//  3. `quolvane-cli scan` of 200 short films on one and on two threads
//     (aim: 1.7x faster on two idle cores).
//
//   bench_media [DIR] [ROUNDS] [film|flac|scan]  (default: a new temporary directory, 20, all three)
// The corpus is made by ffmpeg in DIR and left there for later runs.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchCpu.h"
#include "catalog/FileItem.h"
#include "describe/MediaDescribers.h"
#include "i18n/Translator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

class NoHost : public IDescribeHost {
 public:
  std::string PhysicalPath(const CFileItemList&, size_t) override { return {}; }
  void LogScanError(const std::string& line) override { std::fprintf(stderr, "log: %s\n", line.c_str()); }
};

// Reads what a FLAC description needs and nothing more: the stream marker
// and every metadata block (tags and pictures included), as one pass of
// small reads.
size_t ReadFlacMetadata(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  std::vector<uint8_t> buf(1 << 16);
  size_t total = 0;
  off_t at = 4;
  uint8_t head[4];
  if (::pread(fd, head, 4, 0) == 4) {
    for (bool last = false; !last;) {
      if (::pread(fd, head, 4, at) != 4) break;
      last = head[0] & 0x80;
      const size_t length = (size_t(head[1]) << 16) | (size_t(head[2]) << 8) | head[3];
      if (buf.size() < length) buf.resize(length);
      total += static_cast<size_t>(::pread(fd, buf.data(), length, at + 4));
      at += 4 + static_cast<off_t>(length);
    }
  }
  ::close(fd);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  InitTranslator("", LANG_ENGLISH);
  fs::path dir;
  if (argc > 1) {
    dir = argv[1];
    fs::create_directories(dir);
  } else {
    std::string templ = (fs::temp_directory_path() / "qv-bench-media-XXXXXX").string();
    dir = mkdtemp(templ.data());
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const std::string only = argc > 3 ? argv[3] : "";
  auto wanted = [&only](const char* part) { return only.empty() || only == part; };
  const fs::path cli = fs::path(argv[0]).parent_path() / "quolvane-cli";
  const std::string ff = "ffmpeg -nostdin -v error -y ";
  std::printf("corpus in %s\n", dir.c_str());

  // 1. A two-minute 1280 x 720 film, a key frame every 2 s.
  const fs::path film = dir / "film.mp4";
  if (wanted("film") && !fs::exists(film) &&
      !Run(ff + "-f lavfi -i testsrc2=size=1280x720:rate=25 -f lavfi -i sine=duration=120 -t 120 -c:v libx264 "
                "-preset veryfast -g 50 -c:a aac '" + film.string() + "'")) {
    std::fprintf(stderr, "ffmpeg could not make the film\n");
    return 1;
  }
  if (wanted("film")) {
    DescribeSettings settings;
    NoHost host;
    CFileItem item;
    double ours = 1e9, oursCpu = 1e9, theirs = 1e9, theirsCpu = 1e9;
    for (int r = 0; r < rounds; ++r) {
      auto t0 = Clock::now();
      double c0 = bench::ProcessCpuSeconds();
      DescribeVideo(film.string(), item, settings, host);
      ours = std::min(ours, Seconds(t0));
      oursCpu = std::min(oursCpu, bench::ProcessCpuSeconds() - c0);
      t0 = Clock::now();
      c0 = bench::ChildrenCpuSeconds();
      Run(ff + "-ss 12 -i '" + film.string() + "' -frames:v 1 '" + (dir / "frame.bmp").string() + "'");
      theirs = std::min(theirs, Seconds(t0));
      theirsCpu = std::min(theirsCpu, bench::ChildrenCpuSeconds() - c0);
    }
    std::printf("film description + thumbnail: %.1f ms (cpu %.1f ms); ffmpeg -ss 12 -frames:v 1 to BMP: %.1f ms "
                "(cpu %.1f ms); ratio %.2f (cpu %.2f), aim <= 1.5\n",
                ours * 1e3, oursCpu * 1e3, theirs * 1e3, theirsCpu * 1e3, ours / theirs, oursCpu / theirsCpu);
  }

  // 2. 200 FLAC files of 20 s with tags and a cover.
  const fs::path flacDir = dir / "flac";
  if (wanted("flac") && !fs::exists(flacDir / "done")) {
    fs::create_directories(flacDir);
    const fs::path one = flacDir / "one.flac";
    if (!Run(ff + "-f lavfi -i testsrc=size=300x300:rate=1 -frames:v 1 '" + (flacDir / "cover.jpg").string() + "'") ||
        !Run(ff + "-f lavfi -i anoisesrc=d=20:c=pink:a=0.2 -i '" + (flacDir / "cover.jpg").string() +
             "' -map 0 -map 1 -c:v copy -disposition:v attached_pic -c:a flac -metadata title=Bench -metadata "
             "artist=Someone -metadata album=Noise '" + one.string() + "'")) {
      std::fprintf(stderr, "ffmpeg could not make the FLAC file\n");
      return 1;
    }
    for (int i = 0; i < 200; ++i) fs::copy_file(one, flacDir / ("song" + std::to_string(i) + ".flac"));
    fs::remove(one);
    Run("touch '" + (flacDir / "done").string() + "'");
  }
  if (wanted("flac")) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(flacDir))
      if (e.path().extension() == ".flac") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    DescribeSettings settings;
    NoHost host;
    double ours = 1e9, theirs = 1e9, whole = 1e9;
    size_t bytes = 0;
    for (int r = 0; r < std::max(3, rounds / 4); ++r) {
      auto t0 = Clock::now();
      for (const auto& f : files) {
        CFileItem item;
        DescribeAudio(f, item, settings, host);
      }
      whole = std::min(whole, Seconds(t0));
      t0 = Clock::now();
      for (const auto& f : files) bytes += ReadAudioFacts(f)->cover.size();
      ours = std::min(ours, Seconds(t0));
      t0 = Clock::now();
      for (const auto& f : files) bytes += ReadFlacMetadata(f);
      theirs = std::min(theirs, Seconds(t0));
    }
    std::printf("FLAC description of %zu files: %.1f ms; reading their metadata blocks only: %.1f ms; ratio %.2f, "
                "aim <= 2; with the 300 x 300 JPEG cover made a thumbnail: %.1f ms\n",
                files.size(), ours * 1e3, theirs * 1e3, ours / theirs, whole * 1e3);
  }

  // 3. A scan of 200 films of two seconds on one and on two threads.
  const fs::path films = dir / "films";
  if (wanted("scan") && !fs::exists(films / "done")) {
    fs::create_directories(films);
    const fs::path one = films / "one.mp4";
    if (!Run(ff + "-f lavfi -i testsrc2=size=320x180:rate=25 -f lavfi -i sine=duration=2 -t 2 -c:v libx264 "
                  "-preset veryfast -c:a aac '" + one.string() + "'"))
      return 1;
    for (int i = 0; i < 200; ++i) fs::copy_file(one, films / ("clip" + std::to_string(i) + ".mp4"));
    fs::remove(one);
    Run("touch '" + (films / "done").string() + "'");
  }
  if (wanted("scan")) {
    double best[2] = {1e9, 1e9};
    const fs::path settings = dir / "settings.ini";
    for (int r = 0; r < 3; ++r) {
      for (int t = 0; t < 2; ++t) {
        const fs::path cat = dir / ("scan" + std::to_string(t + 1) + ".qvd");
        fs::remove(cat);
        Run("'" + cli.string() + "' --settings '" + settings.string() + "' new '" + cat.string() + "'");
        const auto t0 = Clock::now();
        Run("'" + cli.string() + "' --settings '" + settings.string() + "' scan '" + cat.string() + "' '" +
            films.string() + "' --no-applications --threads " + std::to_string(t + 1));
        best[t] = std::min(best[t], Seconds(t0));
      }
    }
    std::printf("scan of 200 films: 1 thread %.0f ms, 2 threads %.0f ms; speed-up %.2f, aim 1.7 on two idle cores\n",
                best[0] * 1e3, best[1] * 1e3, best[0] / best[1]);
  }
  return 0;
}
