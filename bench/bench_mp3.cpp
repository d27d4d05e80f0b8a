// MP3 description speed: describes N copies of a ~4 MB lame-encoded MP3 (each
// with a different tag) and compares with reading just the bytes a
// description needs (first 8 KB, last 128 bytes), in process and with
// head/tail.
//
//   bench_mp3 [DIR] [COUNT]     (default /tmp/qv-bench-mp3, 2000)
// Build it in a Release directory: cmake -DCMAKE_BUILD_TYPE=Release -DQV_BENCH=ON.
//
// The files are made once (lame must be installed) and reused by later runs.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "describe/Mp3.h"
#include "i18n/Translator.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

void Append(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

void Put32(Bytes& out, uint32_t v, bool synchsafe = false) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(synchsafe ? (v >> (7 * i)) & 0x7F : v >> (8 * i)));
}

Bytes ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// 262 s of stereo 44.1 kHz: about 4 MB at 128 kbit/s.
bool MakeBaseMp3(const fs::path& dir, const fs::path& mp3) {
  const uint32_t rate = 44100, frames = rate * 262;
  fs::path wav = dir / "base.wav";
  {
    std::ofstream out(wav, std::ios::binary);
    auto w16 = [&](uint16_t v) { out.put(static_cast<char>(v)).put(static_cast<char>(v >> 8)); };
    auto w32 = [&](uint32_t v) { w16(v & 0xFFFF), w16(v >> 16); };
    out << "RIFF";
    w32(36 + frames * 4);
    out << "WAVEfmt ";
    w32(16), w16(1), w16(2), w32(rate), w32(rate * 4), w16(4), w16(16);
    out << "data";
    w32(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
      double t = static_cast<double>(i) / rate;
      w16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(2 * M_PI * (220 + 30 * std::sin(t)) * t))));
      w16(static_cast<uint16_t>(static_cast<int16_t>(6000 * std::sin(2 * M_PI * 330 * t))));
    }
  }
  std::string cmd = "lame --quiet -b 128 '" + wav.string() + "' '" + mp3.string() + "'";
  int rc = std::system(cmd.c_str());
  fs::remove(wav);
  return rc == 0 && fs::exists(mp3);
}

Bytes TextFrame(const std::string& id, const std::string& text) {
  Bytes f;
  Append(f, id);
  Put32(f, static_cast<uint32_t>(text.size() + 1));
  f.push_back(0);
  f.push_back(0);
  f.push_back(0);
  Append(f, text);
  return f;
}

// A different tag for file i: ID3v2.3 of varied size (some with a picture
// frame), ID3v2.4 with ID3v1, ID3v1 only, or none.
void MakeTags(int i, Bytes& head, Bytes& tail) {
  const std::string n = std::to_string(i);
  auto v1 = [&] {
    tail.assign(128, 0);
    std::string t = "TAGTitle " + n;
    std::copy(t.begin(), t.end(), tail.begin());
    tail[127] = static_cast<uint8_t>(i % 150);
  };
  switch (i % 5) {
    case 0:
    case 1:
    case 2: {
      Bytes body;
      for (const auto& f : {TextFrame("TIT2", "Title number " + n), TextFrame("TPE1", "Artist " + n),
                            TextFrame("TALB", "Album " + std::to_string(i / 10)), TextFrame("TRCK", n),
                            TextFrame("TYER", "2001"), TextFrame("TCON", "(17)")})
        body.insert(body.end(), f.begin(), f.end());
      if (i % 3 == 0) {  // a cover picture of 10 to 40 KB
        Bytes pic;
        Append(pic, "APIC");
        uint32_t size = 10000 + static_cast<uint32_t>(i % 4) * 10000;
        Put32(pic, size);
        pic.push_back(0);
        pic.push_back(0);
        pic.resize(pic.size() + size, 0x5A);
        body.insert(body.end(), pic.begin(), pic.end());
      }
      body.resize(body.size() + static_cast<size_t>(i % 7) * 256, 0);
      head = {'I', 'D', '3', 3, 0, 0};
      Put32(head, static_cast<uint32_t>(body.size()), true);
      head.insert(head.end(), body.begin(), body.end());
      if (i % 2) v1();
      break;
    }
    case 3: {
      Bytes body = TextFrame("TIT2", "v2.4 " + n);
      head = {'I', 'D', '3', 4, 0, 0};
      Put32(head, static_cast<uint32_t>(body.size()), true);
      head.insert(head.end(), body.begin(), body.end());
      v1();
      break;
    }
    default:
      if (i % 2) v1();
      break;
  }
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? argv[1] : "/tmp/qv-bench-mp3";
  const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
  fs::create_directories(dir);
  InitTranslator("", LANG_ENGLISH);

  const fs::path base = dir / "base.mp3.audio";
  if (!fs::exists(base) && !MakeBaseMp3(dir, base)) {
    std::fprintf(stderr, "bench_mp3: cannot encode the base file (is lame installed?)\n");
    return 1;
  }
  std::vector<std::string> files;
  Bytes audio;
  auto t0 = Clock::now();
  int made = 0;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%05d.mp3", i);
    fs::path p = dir / name;
    files.push_back(p.string());
    if (fs::exists(p)) continue;
    if (audio.empty()) audio = ReadAll(base);
    Bytes head, tail;
    MakeTags(i, head, tail);
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(audio.data()), static_cast<std::streamsize>(audio.size()));
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    ++made;
  }
  if (made)
    std::printf("made %d files of %.1f MB in %.1f s\n", made, static_cast<double>(fs::file_size(base)) / 1e6,
                Seconds(t0, Clock::now()));

  // Warm the page cache the same way for every contender.
  for (const auto& f : files) {
    int fd = ::open(f.c_str(), O_RDONLY);
    char b[8192];
    if (fd >= 0) {
      (void)!::pread(fd, b, sizeof b, 0);
      ::close(fd);
    }
  }

  size_t checksum = 0;
  auto a = Clock::now();
  for (const auto& f : files) checksum += DescribeMp3File(f).size();
  auto b = Clock::now();
  const double describe = Seconds(a, b);

  a = Clock::now();
  for (const auto& f : files) {
    int fd = ::open(f.c_str(), O_RDONLY);
    if (fd < 0) continue;
    char head[8192], tail[128];
    off_t size = ::lseek(fd, 0, SEEK_END);
    checksum += static_cast<size_t>(::pread(fd, head, sizeof head, 0));
    checksum += static_cast<size_t>(::pread(fd, tail, sizeof tail, size > 128 ? size - 128 : 0));
    ::close(fd);
  }
  b = Clock::now();
  const double rawRead = Seconds(a, b);

  std::string list = (dir / "files.txt").string();
  {
    std::ofstream out(list);
    for (const auto& f : files) out << f << "\n";
  }
  a = Clock::now();
  std::string cmd = "while read -r f; do head -c 8192 \"$f\" >/dev/null; tail -c 128 \"$f\" >/dev/null; done < '" +
                    list + "'";
  int rc = std::system(cmd.c_str());
  b = Clock::now();
  const double headTail = Seconds(a, b);

  const double n = static_cast<double>(files.size());
  std::printf("files: %zu (checksum %zu, shell rc %d)\n", files.size(), checksum, rc);
  std::printf("DescribeMp3File             %9.0f files/s  (%.3f s)\n", n / describe, describe);
  std::printf("read 8 KB + 128 B in-process %8.0f files/s  (%.3f s)\n", n / rawRead, rawRead);
  std::printf("head -c 8192 + tail -c 128  %9.0f files/s  (%.3f s)\n", n / headTail, headTail);
  return 0;
}
