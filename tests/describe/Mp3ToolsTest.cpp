// Files made by lame and tagged by id3v2, read back and compared with what
// those tools say they wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "describe/Mp3.h"
#include "describe/Mp3Bytes.h"
#include "i18n/Translator.h"

using namespace mp3test;

namespace {

constexpr int kSeconds = 7;

bool HaveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

// Runs a shell command; its standard output and error, carriage returns as new lines.
std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  for (char& c : out)
    if (c == '\r') c = '\n';
  return out;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// A 16-bit stereo 44.1 kHz WAV of kSeconds: two tones, so the encoder has work.
void WriteWav(const std::filesystem::path& path) {
  const uint32_t rate = 44100, frames = rate * kSeconds;
  Bytes wav;
  auto put16 = [&](uint16_t v) {
    wav.push_back(static_cast<uint8_t>(v));
    wav.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(static_cast<uint16_t>(v));
    put16(static_cast<uint16_t>(v >> 16));
  };
  Append(wav, std::string("RIFF"));
  put32(36 + frames * 4);
  Append(wav, std::string("WAVEfmt "));
  put32(16);
  put16(1);
  put16(2);
  put32(rate);
  put32(rate * 4);
  put16(4);
  put16(16);
  Append(wav, std::string("data"));
  put32(frames * 4);
  for (uint32_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    double sweep = std::sin(2 * M_PI * (300 + 2000 * t / kSeconds) * t);
    put16(static_cast<uint16_t>(static_cast<int16_t>(9000 * std::sin(2 * M_PI * 440 * t))));
    put16(static_cast<uint16_t>(static_cast<int16_t>(7000 * sweep)));
  }
  WriteFile(path, wav);
}

Mp3Info Read(const std::filesystem::path& path) {
  auto src = FileByteReader::Open(path.string());
  EXPECT_TRUE(src) << path;
  return src ? ReadMp3Info(*src) : Mp3Info{};
}

// What lame says it encodes: "Encoding as 22.05 kHz j-stereo MPEG-2 Layer III (22x)  32 kbps".
struct LameReport {
  int64_t samplingRate = 0;
  std::string version;
  int64_t kbps = 0;
  int frames = 0;  // from the last progress line "269/269"
};

// The text of s from after the first `after` at or past pos up to the next
// `until`; empty when either is missing.
std::string Between(const std::string& s, const std::string& after, const std::string& until, size_t pos = 0) {
  const size_t start = s.find(after, pos);
  if (start == std::string::npos) return {};
  const size_t end = s.find(until, start + after.size());
  if (end == std::string::npos) return {};
  return s.substr(start + after.size(), end - start - after.size());
}

// (Parsed by hand: std::regex trips GCC's maybe-uninitialized warning under the sanitizers.)
LameReport Encode(const std::string& options, const std::filesystem::path& wav, const std::filesystem::path& mp3) {
  int status = 0;
  std::string out = Shell("lame --nohist " + options + " " + Quote(wav) + " " + Quote(mp3), &status);
  EXPECT_EQ(status, 0) << out;
  LameReport r;
  const size_t at = out.find("Encoding as ");
  if (at != std::string::npos) {
    const std::string line = out.substr(at, out.find('\n', at) - at);
    const std::string khz = Between(line, "Encoding as ", " kHz");
    if (!khz.empty()) r.samplingRate = std::llround(std::stod(khz) * 1000);
    r.version = Between(line, "MPEG-", " Layer III");
    const size_t kbps = line.rfind(" kbps");
    if (kbps != std::string::npos) {
      size_t digits = kbps;
      while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1]))) --digits;
      if (digits < kbps) r.kbps = std::stoll(line.substr(digits, kbps - digits));
    }
  }
  // Progress lines "269/269 (100%)": the frame count of the last one.
  for (size_t p = out.find("(100%)"); p != std::string::npos; p = out.find("(100%)", p + 1)) {
    size_t end = p;
    while (end > 0 && out[end - 1] == ' ') --end;
    size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(out[begin - 1]))) --begin;
    if (begin < end && begin > 0 && out[begin - 1] == '/') r.frames = std::stoi(out.substr(begin, end - begin));
  }
  return r;
}

class Mp3Tools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("lame")) GTEST_SKIP() << "lame is not installed";
    InitTranslator("", LANG_ENGLISH);
    WriteWav(wav);
  }
  TempDir dir;
  std::filesystem::path wav = dir / "tone.wav";
};

}  // namespace

TEST_F(Mp3Tools, ConstantRatesAtEachMpegVersion) {
  struct Case {
    const char* options;
    int version;
  };
  for (const Case& c : {Case{"-b 128", 1}, Case{"-b 320", 1}, Case{"-b 32 --resample 22.05", 2},
                        Case{"-b 64 --resample 24", 2}, Case{"-b 16 --resample 11.025", 4},
                        Case{"-b 8 --resample 8", 4}}) {
    auto mp3 = dir / "cbr.mp3";
    LameReport lame = Encode(c.options, wav, mp3);
    ASSERT_GT(lame.kbps, 0) << c.options;
    Mp3Info info = Read(mp3);
    ASSERT_EQ(info.scanStatus, 0) << c.options;
    EXPECT_EQ(info.audio.version, c.version) << c.options;
    EXPECT_EQ(info.audio.version == 1 ? "1" : info.audio.version == 2 ? "2" : "2.5", lame.version) << c.options;
    EXPECT_EQ(info.audio.bitRate, lame.kbps * 1000) << c.options;
    EXPECT_EQ(info.audio.samplingRate, lame.samplingRate) << c.options;
    EXPECT_EQ(info.audio.vbr, 0) << c.options;
    // The encoder pads the stream by a frame or two.
    EXPECT_GE(info.audio.duration, kSeconds) << c.options;
    EXPECT_LE(info.audio.duration, kSeconds + 1) << c.options;
  }
}

TEST_F(Mp3Tools, VariableRateFromTheXingHeader) {
  for (const char* options : {"-V 2", "-V 6", "-V 4 --resample 22.05"}) {
    auto mp3 = dir / "vbr.mp3";
    LameReport lame = Encode(options, wav, mp3);
    Mp3Info info = Read(mp3);
    ASSERT_EQ(info.scanStatus, 0) << options;
    EXPECT_EQ(info.audio.vbr, 1) << options;
    EXPECT_EQ(info.audio.samplingRate, lame.samplingRate) << options;
    EXPECT_EQ(info.audio.frameCount, lame.frames) << options;
    EXPECT_EQ(info.audio.bitRate % 1000, 0) << options;
    // The average rate of the whole file, within the thousand cut off.
    const double average = std::filesystem::file_size(mp3) * 8.0 / kSeconds;
    EXPECT_NEAR(static_cast<double>(info.audio.bitRate), average, 2500) << options;
    EXPECT_NE(FormatMp3Description(info).find("v\r\n"), std::string::npos);
  }
}

TEST_F(Mp3Tools, TagsWrittenByLameAndId3v2) {
  // lame's own ID3v2.3 tag in UTF-16, with the encoder's TSSE frame first.
  auto u16 = dir / "utf16.mp3";
  Encode("-b 128 --id3v2-only --id3v2-utf16 --tt '\xC3\x89t\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC' "
         "--ta '\xC3\x84rtist' --tl Album --ty 1999 --tn 3 --tg Jazz --tc Comm",
         wav, u16);
  Mp3Info info = Read(u16);
  EXPECT_EQ(info.id3v2Result, ID3_OK);
  EXPECT_EQ(info.tags.slots[SLOT_TIT2], "\xC3\x89t\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(info.tags.slots[SLOT_TPE1], "\xC3\x84rtist");
  EXPECT_EQ(info.tags.slots[SLOT_TALB], "Album");
  EXPECT_EQ(info.tags.slots[SLOT_TRCK], "3");
  EXPECT_EQ(info.tags.slots[SLOT_COMM], "Comm");
  EXPECT_EQ(info.audio.bitRate, 128000);

  if (!HaveTool("id3v2")) GTEST_SKIP() << "id3v2 is not installed";
  // id3v2 writes both tags; only the ID3v2 values are shown, as id3v2 lists them.
  auto tagged = dir / "tagged.mp3";
  Encode("-b 128", wav, tagged);
  Shell("id3v2 -t 'Caf\xC3\xA9' -a Artist -A Album -y 2001 -T 5/9 -g 17 -c 'A comment' --TIT3 Sub --TCOM Composer "
      "--TPE2 Band --TPE3 Conductor --TSIZ 1234 --TENC Nobody " + Quote(tagged));
  Mp3Info t = Read(tagged);
  ASSERT_EQ(t.id3v2Result, ID3_OK);
  EXPECT_FALSE(t.usedId3v1);
  std::string listing = Shell("id3v2 -R " + Quote(tagged));
  int compared = 0;
  std::istringstream lines(listing);
  for (std::string text; std::getline(lines, text);) {
    // "TXXX: value" lines only.
    if (text.size() < 6 || text[0] != 'T' || text.compare(4, 2, ": ") != 0 ||
        !std::all_of(text.begin() + 1, text.begin() + 4, [](char c) { return std::isupper(c) || std::isdigit(c); }))
      continue;
    const std::string id = text.substr(0, 4), value = text.substr(6);
    int slot = Id3FrameIndexV23(id.c_str());
    ASSERT_GE(slot, 0) << id;
    if (Id3FrameTable[slot].read == Id3Read::Skip) {
      EXPECT_EQ(t.tags.slots[slot], "") << id;
    } else if (id == "TCON") {
      EXPECT_EQ(t.tags.slots[slot], "Rock");  // stored as "(17)", listed by id3v2 as "Rock (17)"
    } else {
      EXPECT_EQ(t.tags.slots[slot], value) << id;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 10);
  EXPECT_EQ(t.tags.slots[SLOT_COMM], "A comment");
  EXPECT_EQ(t.tags.slots[SLOT_TCON], "Rock");

  // Only an ID3v1 tag: its values, and genre 255 as "unknown".
  auto v1 = dir / "v1.mp3";
  Encode("-b 128", wav, v1);
  Shell("id3v2 -1 -t 'Only v1' -a Somebody -A Record -y 1980 -T 7 -g 255 " + Quote(v1));
  std::string v1Listing = Shell("id3v2 -l " + Quote(v1));
  ASSERT_NE(v1Listing.find("Only v1"), std::string::npos) << v1Listing;
  std::string d = FormatMp3Description(Read(v1));
  EXPECT_NE(d.find("Title\tOnly v1\r\n"), std::string::npos) << d;
  EXPECT_NE(d.find("Artist\tSomebody\r\n"), std::string::npos) << d;
  EXPECT_NE(d.find("Album\tRecord\r\n"), std::string::npos) << d;
  EXPECT_NE(d.find("Year\t1980\r\n"), std::string::npos) << d;
  EXPECT_NE(d.find("Track\t7\r\n"), std::string::npos) << d;
  EXPECT_NE(d.find("Genre\tunknown\r\n"), std::string::npos) << d;
}

TEST_F(Mp3Tools, TimeAndRateAgreeWithFfprobe) {
  if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
  // 20 s of tones and noise of changing loudness, so VBR frames vary.
  auto src = dir / "noise.wav";
  Shell("ffmpeg -v error -f lavfi -i 'aevalsrc=0.3*sin(2*PI*(220+80*sin(t))*t)+(random(0)-0.5)*0.3*(0.5+0.5*sin(t*2))"
        ":s=44100:d=20' " + Quote(src));
  struct Case {
    const char* name;
    const char* command;  // %s: input, then output
    bool cbr;
  };
  const Case cases[] = {
      {"m2_mono_cbr.mp3", "ffmpeg -v error -i %s -ar 22050 -ac 1 -b:a 32k -metadata title=T %s", true},
      {"m1_vbr_xing.mp3", "ffmpeg -v error -i %s -q:a 2 %s", false},
      {"m1_cbr_noxing.mp3", "ffmpeg -v error -i %s -ar 48000 -b:a 192k -write_xing 0 %s", true},
      {"m2_layer2.mp3", "ffmpeg -v error -i %s -ar 24000 -c:a mp2 -b:a 64k -f mp2 %s", true},
      {"m25_mono_cbr.mp3", "lame --quiet --resample 11.025 -b 16 -m m %s %s", true},
      {"m25_vbr_xing.mp3", "lame --quiet --resample 8 -m m -V4 %s %s", false},
      {"m1_vbr_noxing.mp3", "lame --quiet -V2 -t %s %s", false},
      {"m2_vbr_noxing.mp3", "lame --quiet --resample 16 -m m -V5 -t %s %s", false},
  };
  for (const Case& c : cases) {
    auto mp3 = dir / c.name;
    char command[512];
    std::snprintf(command, sizeof command, c.command, Quote(src).c_str(), Quote(mp3).c_str());
    int status = 0;
    std::string out = Shell(command, &status);
    ASSERT_EQ(status, 0) << command << "\n" << out;
    // The frames ffprobe counts give the true time even without a header.
    std::string probe = Shell("ffprobe -v error -count_packets -select_streams a:0 -show_entries "
                              "stream=sample_rate,nb_read_packets,bit_rate -of default=nw=1 " + Quote(mp3));
    std::map<std::string, std::string> field;  // "key=value" lines
    std::istringstream lines(probe);
    for (std::string line; std::getline(lines, line);)
      if (const size_t eq = line.find('='); eq != std::string::npos) field[line.substr(0, eq)] = line.substr(eq + 1);
    ASSERT_TRUE(field.count("sample_rate") && field.count("nb_read_packets")) << probe;
    const int rate = std::stoi(field["sample_rate"]);
    const bool layer2 = std::string(c.name).find("layer2") != std::string::npos;
    const double seconds = std::stod(field["nb_read_packets"]) * (layer2 || rate >= 32000 ? 1152 : 576) / rate;
    Mp3Info info = Read(mp3);
    ASSERT_EQ(info.scanStatus, 0) << c.name;
    EXPECT_NEAR(static_cast<double>(info.audio.duration), seconds, 1.0) << c.name;
    EXPECT_EQ(info.audio.samplingRate, rate) << c.name;
    EXPECT_EQ(info.audio.vbr, c.cbr ? 0 : 1) << c.name;
    if (c.cbr) {
      EXPECT_EQ(std::to_string(info.audio.bitRate), field["bit_rate"]) << c.name;
    }
  }
  EXPECT_EQ(Read(dir / "m2_mono_cbr.mp3").tags.slots[SLOT_TIT2], "T");  // ffmpeg's ID3v2.4 tag
}
