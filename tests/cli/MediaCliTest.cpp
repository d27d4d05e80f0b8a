// Audio files and films through quolvane-cli: the switches of the settings
// file, and a scan that describes them on several threads.
#include <gtest/gtest.h>

#include <fstream>

#include "support/MediaCorpus.h"

namespace fs = std::filesystem;
using namespace mediacorpus;

namespace {

std::string Cli(const fs::path& settings, const std::string& args, int* status = nullptr) {
  return Shell(std::string("'") + QV_CLI_PATH + "' --settings '" + settings.string() + "' " + args + " 2>&1", status);
}

struct Work {
  fs::path dir;
  Work() {
    std::string templ = (fs::temp_directory_path() / "qv-mediacli-XXXXXX").string();
    dir = mkdtemp(templ.data());
  }
  ~Work() { fs::remove_all(dir); }
};

TEST(MediaCli, SwitchesOfTheSettingsFile) {
  if (Dir().empty()) GTEST_SKIP() << "ffmpeg, ffprobe or exiftool missing";
  Work w;
  const std::string files = "'" + (Dir() / "song.flac").string() + "' '" + (Dir() / "film.mkv").string() + "'";
  auto described = [&](const std::string& ini) {
    std::ofstream(w.dir / "s.ini") << ini;
    const nlohmann::json j = nlohmann::json::parse(Cli(w.dir / "s.ini", "describe " + files + " --json"), nullptr, false);
    std::vector<bool> out;
    for (const auto& r : j) out.push_back(r.value("described", false));
    return out;
  };
  EXPECT_EQ(described(""), (std::vector<bool>{true, true}));  // on by default
  EXPECT_EQ(described("[Config]\nScanDescrAudio=0\n"), (std::vector<bool>{false, true}));
  EXPECT_EQ(described("[Config]\nScanDescrVideo=0\n"), (std::vector<bool>{true, false}));
}

TEST(MediaCli, ScanOnOneAndThreeThreadsGivesTheSameCatalog) {
  if (Dir().empty()) GTEST_SKIP() << "ffmpeg, ffprobe or exiftool missing";
  Work w;
  int status = 0;
  for (const char* threads : {"1", "3"}) {
    const fs::path cat = w.dir / (std::string("t") + threads + ".qvd");
    Cli(w.dir / "s.ini", "new '" + cat.string() + "'");
    const std::string out = Cli(w.dir / "s.ini",
                                "scan '" + cat.string() + "' '" + Dir().string() +
                                    "' --name Corpus --no-applications --threads " + threads,
                                &status);
    ASSERT_EQ(status, 0) << out;
  }
  // Every stored field alike, but the time the medium was scanned at.
  auto dump = [&](const char* name) {
    nlohmann::json j = nlohmann::json::parse(Cli(w.dir / "s.ini", "dump '" + (w.dir / name).string() + "' --json"),
                                             nullptr, false);
    if (j.contains("items") && !j["items"].empty()) j["items"][0].erase("time");
    return j;
  };
  const nlohmann::json one = dump("t1.qvd"), three = dump("t3.qvd");
  ASSERT_GT(one.value("items", nlohmann::json::array()).size(), 17u);
  EXPECT_TRUE(one == three);
  // The thumbnails' pixels too (the dump shows only their size).
  int thumbnails = 0;
  for (const auto& item : one["items"]) {
    if (item["thumbnail"].is_null()) continue;
    ++thumbnails;
    const std::string index = std::to_string(item.value("index", -1));
    std::string bmp[2];
    for (int k = 0; k < 2; ++k) {
      const fs::path out = w.dir / ("thumb" + std::to_string(k) + ".bmp");
      Cli(w.dir / "s.ini", "thumbnail '" + (w.dir / (k ? "t3.qvd" : "t1.qvd")).string() + "' " + index + " '" +
                               out.string() + "'");
      std::ifstream in(out, std::ios::binary);
      bmp[k] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_FALSE(bmp[0].empty());
    EXPECT_EQ(bmp[0], bmp[1]) << item.value("name", "");
  }
  EXPECT_GE(thumbnails, 10);
  const std::string text = three.dump();
  EXPECT_NE(text.find("Picture size\\t160 x 90"), std::string::npos);
  EXPECT_NE(text.find("Title\\tOndes grises"), std::string::npos);
}

}  // namespace
