// Audio files and films made by ffmpeg, described and checked against what
// ffprobe says of them; damaged and truncated films within their bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <map>

#include "catalog/FileItemList.h"
#include "describe/MediaDescribers.h"
#include "i18n/Translator.h"
#include "support/MediaCorpus.h"

namespace fs = std::filesystem;
using namespace mediacorpus;

namespace {

class Host : public IDescribeHost {
 public:
  explicit Host(fs::path dir) : dir_(std::move(dir)) {}
  std::string PhysicalPath(const CFileItemList& list, size_t index) override { return (dir_ / list[index]->name).string(); }
  void LogScanError(const std::string& line) override { log.push_back(line); }
  std::vector<std::string> log;

 private:
  fs::path dir_;
};

// Describes one file of dir as a scan does; the item afterwards.
std::unique_ptr<CFileItem> Describe(const fs::path& dir, const std::string& name, Host& host, const DescribeSettings& settings = {}) {
  CFileItemList list;
  auto item = std::make_unique<CFileItem>();
  item->type = ITEM_FILE;
  item->name = name;
  list.items.push_back(std::move(item));
  DescribeFile(list, 0, settings, host);
  return std::move(list.items[0]);
}

// The description's lines as label -> value.
std::map<std::string, std::string> Lines(const std::string& text) {
  std::map<std::string, std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) lines[line.substr(0, tab)] = line.substr(tab + 1);
    at = end + 2;
  }
  return lines;
}

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

#define NEED_CORPUS()                                               \
  if (Dir().empty()) GTEST_SKIP() << "ffmpeg, ffprobe or exiftool missing"

class MediaDescribers : public ::testing::Test {
 protected:
  void SetUp() override { InitTranslator("", LANG_ENGLISH); }
};

TEST_F(MediaDescribers, AudioMatchesFfprobeInTheMp3Form) {
  NEED_CORPUS();
  for (const AudioFile& a : AudioFiles()) {
    SCOPED_TRACE(a.name);
    const nlohmann::json probe = Probe(Dir() / a.name);
    const nlohmann::json stream = Stream(probe, "audio");
    ASSERT_FALSE(stream.is_null());
    std::optional<AudioFacts> facts = ReadAudioFacts((Dir() / a.name).string());
    ASSERT_TRUE(facts);
    EXPECT_NEAR(facts->info.audio.duration, Number(probe["format"], "duration"), 1.0);
    const double rate = AudioPayloadRate(Dir() / a.name);
    EXPECT_NEAR(facts->info.audio.bitRate, rate, rate * 0.05);
    EXPECT_EQ(facts->info.audio.samplingRate, Number(stream, "sample_rate"));
    // Every tag ffprobe shows among those the description has.
    const auto& slots = facts->info.tags.slots;
    const std::map<std::string, size_t> slotOf = {{"title", SLOT_TIT2}, {"artist", SLOT_TPE1}, {"album", SLOT_TALB},
                                                  {"genre", SLOT_TCON}, {"track", SLOT_TRCK},  {"date", SLOT_TYER},
                                                  {"comment", SLOT_COMM}};
    // Ogg files carry their tags in the stream.
    const nlohmann::json tags = probe["format"].value("tags", stream.value("tags", nlohmann::json::object()));
    int shown = 0;
    for (const auto& [key, value] : tags.items()) {
      std::string k = key;
      for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (!slotOf.count(k)) continue;
      ++shown;
      EXPECT_EQ(slots[slotOf.at(k)], value.get<std::string>()) << key;
    }
    EXPECT_GE(shown, 6);
    EXPECT_EQ(!facts->cover.empty(), a.cover);
  }
}

TEST_F(MediaDescribers, FlacDescriptionAndCoverThumbnail) {
  NEED_CORPUS();
  Host host(Dir());
  DescribeSettings settings;
  settings.width = 32;
  settings.height = 32;
  auto item = Describe(Dir(), "song.flac", host, settings);
  EXPECT_TRUE(host.log.empty());
  // The MP3 description's lines in its order; a lossless rate varies ("v").
  const std::string d = item->description;
  ASSERT_EQ(d.rfind("Time\t00:03\r\nBit rate\t", 0), 0u) << d;
  EXPECT_NE(d.find("kv\r\nFrequency\t44k1\r\nTitle\tOndes grises\r\nArtist\tQuatuor Test\r\nGenre\tAmbient\r\n"
                   "Album\tBruits\r\nTrack\t3\r\nYear\t2021\r\nComment\tpink noise\r\n"),
            std::string::npos)
      << d;
  // The 64 x 48 cover fitted into the box at the pictures' depth.
  ASSERT_TRUE(item->thumbnail);
  EXPECT_EQ(item->thumbnail->Width(), 32);
  EXPECT_EQ(item->thumbnail->Height(), 24);
  EXPECT_EQ(item->thumbnail->BitsPerPixel(), 8);
  // A constant rate has no "v".
  EXPECT_NE(Describe(Dir(), "song.wav", host)->description.find("Bit rate\t706k\r\n"), std::string::npos);
  // Cover art of MP4 and of ID3v2 inside AIFF.
  EXPECT_TRUE(Describe(Dir(), "song.m4a", host)->thumbnail);
  EXPECT_TRUE(Describe(Dir(), "song.aiff", host)->thumbnail);
  EXPECT_FALSE(Describe(Dir(), "song.ogg", host)->thumbnail);
  // From memory, as the fuzz target reads, the same facts.
  const std::string bytes = Read(Dir() / "song.flac");
  auto fromMemory = ReadAudioFacts("x.flac", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ASSERT_TRUE(fromMemory);
  EXPECT_EQ(FormatMp3Description(fromMemory->info), d);
  EXPECT_EQ(fromMemory->cover, ReadAudioFacts((Dir() / "song.flac").string())->cover);
}

TEST_F(MediaDescribers, DamagedAudioGivesNoNegativeFigures) {
  NEED_CORPUS();
  // The last Ogg page claims a granule position near 2^62: the length
  // TagLib works out overflows.
  std::string bytes = Read(Dir() / "song.ogg");
  const size_t last = bytes.rfind("OggS");
  ASSERT_NE(last, std::string::npos);
  for (int i = 0; i < 8; ++i) bytes[last + 6 + i] = i == 7 ? '\x40' : '\0';
  auto facts = ReadAudioFacts("x.ogg", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ASSERT_TRUE(facts);
  EXPECT_GE(facts->info.audio.duration, 0);
  EXPECT_GE(facts->info.audio.bitRate, 0);
}

TEST_F(MediaDescribers, FilmsMatchFfprobe) {
  NEED_CORPUS();
  for (const std::string& name : VideoFiles()) {
    SCOPED_TRACE(name);
    const nlohmann::json probe = Probe(Dir() / name);
    const nlohmann::json video = Stream(probe, "video"), audio = Stream(probe, "audio");
    auto src = FileByteReader::Open((Dir() / name).string());
    ASSERT_TRUE(src);
    VideoResult r = ReadVideo(*src, 100, 100);
    EXPECT_EQ(r.problem, "");
    const VideoFacts& f = r.facts;
    EXPECT_NEAR(f.seconds, Number(probe["format"], "duration"), 1.0);
    EXPECT_NEAR(f.bitRate, Number(probe["format"], "bit_rate"), Number(probe["format"], "bit_rate") * 0.05);
    EXPECT_EQ(f.width, Number(video, "width"));
    EXPECT_EQ(f.height, Number(video, "height"));
    EXPECT_NEAR(f.frameRate, 25.0, 0.01);
    EXPECT_EQ(f.sampleRate, Number(audio, "sample_rate"));
    EXPECT_EQ(f.channels, Number(audio, "channels"));
    ASSERT_TRUE(r.frame);
    const int w = r.frame->Width(), h = r.frame->Height();
    if (name == "rotated.mp4") {
      EXPECT_EQ(f.rotation, 90);
      EXPECT_EQ(w, 56);
      EXPECT_EQ(h, 100);
    } else if (name == "wide.mp4") {
      EXPECT_NEAR(f.aspect, 2.39, 0.01);
      EXPECT_EQ(w, 100);
      EXPECT_EQ(h, 41);
    } else {
      EXPECT_EQ(w, 100);
      EXPECT_EQ(h, 56);
    }
  }
}

TEST_F(MediaDescribers, FilmDescriptionAndUprightFrame) {
  NEED_CORPUS();
  Host host(Dir());
  auto item = Describe(Dir(), "film.mp4", host);
  EXPECT_TRUE(host.log.empty());
  const auto lines = Lines(item->description);
  EXPECT_EQ(item->description.rfind("Time\t00:03\r\nPicture size\t160 x 90\r\nFrame rate\t25\r\n"
                                   "Video\tH.264\r\nAudio\tAAC, mono, 48k\r\nBit rate\t",
                                   0),
            0u)
      << item->description;
  EXPECT_EQ(lines.at("Title"), "Le film");
  EXPECT_EQ(lines.at("Bit rate").back(), 'k') << "whole kilobits";
  ASSERT_TRUE(item->thumbnail);
  EXPECT_EQ(item->thumbnail->BitsPerPixel(), 8);
  EXPECT_EQ(Lines(Describe(Dir(), "film.mkv", host)->description).at("Audio"), "Opus, mono, 48k");

  // The rotated film is the same frame turned a quarter clockwise.
  auto plainSrc = FileByteReader::Open((Dir() / "film.mp4").string());
  auto turnedSrc = FileByteReader::Open((Dir() / "rotated.mp4").string());
  VideoResult plain = ReadVideo(*plainSrc, 100, 100), turned = ReadVideo(*turnedSrc, 100, 100);
  ASSERT_TRUE(plain.frame && turned.frame);
  ASSERT_EQ(turned.frame->Width(), plain.frame->Height());
  long long same = 0, total = 0;
  for (int y = 0; y < plain.frame->Height(); ++y)
    for (int x = 0; x < plain.frame->Width(); ++x, ++total)
      same += turned.frame->GetPixel(plain.frame->Height() - 1 - y, x) == plain.frame->GetPixel(x, y);
  EXPECT_EQ(same, total);
}

TEST_F(MediaDescribers, SwitchesChooseTheDescriber) {
  DescribeSettings s;
  EXPECT_TRUE(WouldDescribe("a.FLAC", s));
  EXPECT_TRUE(WouldDescribe("b.m4a", s));
  EXPECT_TRUE(WouldDescribe("c.Mkv", s));
  EXPECT_TRUE(WouldDescribe("d.m2ts", s));
  EXPECT_FALSE(WouldDescribe("e.aac", s));
  s.audio = false;
  EXPECT_FALSE(WouldDescribe("a.flac", s));
  EXPECT_TRUE(WouldDescribe("c.mkv", s));
  EXPECT_TRUE(WouldDescribe("f.mp3", s));  // MP3 keeps its own switch and reader
  s.video = false;
  EXPECT_FALSE(WouldDescribe("c.mkv", s));
  s = DescribeSettings{};
  s.scanDescrs = false;
  EXPECT_FALSE(WouldDescribe("a.flac", s));
  EXPECT_FALSE(WouldDescribe("c.mkv", s));
}

TEST_F(MediaDescribers, DamagedFilmsStayBounded) {
  NEED_CORPUS();
  std::string templ = (fs::temp_directory_path() / "qv-damaged-XXXXXX").string();
  ASSERT_TRUE(mkdtemp(templ.data()));
  const fs::path dir = templ;
  struct Remove {
    fs::path p;
    ~Remove() { fs::remove_all(p); }
  } remove{dir};
  Host host(dir);
  // Not a film at all: the path and the reason, and a log line.
  Write(dir / "noise.mp4", std::string(5000, '\x01'));
  auto noise = Describe(dir, "noise.mp4", host);
  EXPECT_EQ(noise->description.rfind((dir / "noise.mp4").string() + "\n", 0), 0u);
  EXPECT_FALSE(noise->thumbnail);
  ASSERT_EQ(host.log.size(), 1u);

  // Truncated films: whatever was read, never a crash.
  for (const std::string name : {"film.mp4", "film.mkv", "film.avi", "film.ts"}) {
    SCOPED_TRACE(name);
    const std::string bytes = Read(Dir() / name);
    for (double part : {0.02, 0.5}) {
      Write(dir / name, bytes.substr(0, static_cast<size_t>(bytes.size() * part)));
      host.log.clear();
      auto item = Describe(dir, name, host);
      EXPECT_FALSE(item->description.empty());
      if (!item->thumbnail) {
        EXPECT_FALSE(host.log.empty());
      }
    }
  }

  // The byte and time limits end the reading, with a reason.
  auto src = FileByteReader::Open((Dir() / "film.mkv").string());
  VideoLimits few;
  few.maxBytes = 20000;
  try {
    VideoResult r = ReadVideo(*src, 100, 100, few);
    EXPECT_FALSE(r.frame);
    EXPECT_EQ(r.problem, Translate("IDS_MEDIA_CAPPED"));
  } catch (const PLTextException& e) {
    EXPECT_EQ(std::string(e.what()), Translate("IDS_MEDIA_CAPPED"));
  }
  VideoLimits late;
  late.milliseconds = 0;
  const auto t0 = std::chrono::steady_clock::now();
  try {
    ReadVideo(*src, 100, 100, late);
    ADD_FAILURE() << "read past its time limit";
  } catch (const PLTextException& e) {
    EXPECT_EQ(std::string(e.what()), Translate("IDS_MEDIA_LATE"));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

}  // namespace
