#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "describe/Mp3Bytes.h"

using namespace mp3test;
namespace fs = std::filesystem;

namespace {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A 24-bit bottom-up BMP of the given size.
Bytes Bmp(int width, int height) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t pixels = stride * static_cast<uint32_t>(height);
  Bytes b;
  auto le16 = [&](uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto le32 = [&](uint32_t v) {
    le16(v & 0xFFFF);
    le16(v >> 16);
  };
  Append(b, std::string("BM"));
  le32(54 + pixels);
  le32(0);
  le32(54);
  le32(40);
  le32(static_cast<uint32_t>(width));
  le32(static_cast<uint32_t>(height));
  le16(1);
  le16(24);
  le32(0);
  le32(pixels);
  le32(2835);
  le32(2835);
  le32(0);
  le32(0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      b.push_back(static_cast<uint8_t>(x));
      b.push_back(static_cast<uint8_t>(y));
      b.push_back(0x80);
    }
    b.resize(b.size() + (stride - static_cast<uint32_t>(width) * 3), 0);
  }
  return b;
}

class DescribeCli : public ::testing::Test {
 protected:
  void SetUp() override {
    Bytes mp3 = Id3v2(3, {TextFrame("TIT2", "Cli title"), TextFrame("TPE1", "Cli artist")}, 32);
    for (int i = 0; i < 1000; ++i) Append(mp3, Frame({}));  // 417000 bytes at 128 kbit/s: 26 s
    WriteFile(dir / "song.mp3", mp3);
    WriteFile(dir / "readme.txt", B("hello"));
    WriteFile(dir / "picture.bmp", Bmp(200, 100));
    WriteFile(dir / "settings.ini", B("[Config]\r\nLanguage=US\r\n"));
  }

  // runAs, when given, is the command that runs the program as another user.
  CliRun Cli(const std::string& args, const std::string& runAs = {}) {
    const fs::path out = dir / "stdout", err = dir / "stderr";
    std::string cmd = std::string("cd '") + dir.path().string() + "' && LANG=C.UTF-8 QUOLVANE_SETTINGS='" +
                      (dir / "settings.ini").string() + "' " + runAs + "'" QV_CLI_PATH "' " + args + " >'" +
                      out.string() + "' 2>'" + err.string() + "'";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(out), Slurp(err)};
  }

  TempDir dir;
};

}  // namespace

TEST_F(DescribeCli, TextOutput) {
  CliRun r = Cli("describe song.mp3 readme.txt");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "== song.mp3\n"
            "Time\t00:26\n"
            "Bit rate\t128k\n"
            "Frequency\t44k1\n"
            "Title\tCli title\n"
            "Artist\tCli artist\n"
            "== readme.txt\n"
            "(not described)\n");
}

TEST_F(DescribeCli, JsonWithThumbnail) {
  CliRun r = Cli("describe --json song.mp3 picture.bmp readme.txt");
  ASSERT_EQ(r.status, 0) << r.err;
  nlohmann::json j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 3u);
  EXPECT_EQ(j[0]["path"], "song.mp3");
  EXPECT_EQ(j[0]["described"], true);
  EXPECT_EQ(j[0]["description"],
            "Time\t00:26\r\nBit rate\t128k\r\nFrequency\t44k1\r\nTitle\tCli title\r\nArtist\tCli artist\r\n");
  EXPECT_TRUE(j[0]["thumbnail"].is_null());
  EXPECT_EQ(j[1]["described"], true);
  ASSERT_TRUE(j[1]["thumbnail"].is_object()) << r.out;
  EXPECT_EQ(j[1]["thumbnail"]["width"], 100);
  EXPECT_EQ(j[1]["thumbnail"]["height"], 50);
  EXPECT_EQ(j[1]["thumbnail"]["bpp"], 8);
  EXPECT_NE(j[1]["description"].get<std::string>().find("200 x 100"), std::string::npos);
  EXPECT_EQ(j[2]["described"], false);
  EXPECT_EQ(j[2]["description"], "");
}

TEST_F(DescribeCli, SettingsSwitchesAndLanguage) {
  WriteFile(dir / "off.ini", B("[Config]\r\nLanguage=US\r\nScanDescrMp3=0\r\nScanDescrWidth=40\r\n"));
  nlohmann::json off = nlohmann::json::parse(Cli("--settings off.ini describe --json song.mp3 picture.bmp").out);
  EXPECT_EQ(off[0]["described"], false);
  EXPECT_EQ(off[1]["thumbnail"]["width"], 40);
  EXPECT_EQ(off[1]["thumbnail"]["height"], 20);

  WriteFile(dir / "fr.ini", B("[Config]\r\nLanguage=FR\r\n"));
  CliRun fr = Cli("--settings fr.ini describe song.mp3");
  std::string english = Cli("messages lookup --lang US IDS_MP3_TIME").out;
  std::string french = Cli("messages lookup --lang FR IDS_MP3_TIME").out;
  ASSERT_NE(english, french);
  french.pop_back();  // its line end
  EXPECT_EQ(fr.out.substr(0, fr.out.find('\t')), "== song.mp3\n" + french);
}

TEST_F(DescribeCli, MissingFilesAreReportedAndTheRestDescribed) {
  CliRun r = Cli("describe nothing.mp3 song.mp3");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nothing.mp3"), std::string::npos);
  EXPECT_NE(r.out.find("== song.mp3\nTime\t00:26\n"), std::string::npos);
  EXPECT_EQ(r.out.find("nothing"), std::string::npos);
}

TEST_F(DescribeCli, UnreadableFileIsReportedNotDescribed) {
  std::string runAs;  // root reads any file: the program then runs as nobody
  if (geteuid() == 0) {
    runAs = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (std::system((runAs + "'" QV_CLI_PATH "' --help >/dev/null 2>&1").c_str()) != 0)
      GTEST_SKIP() << "running as root, and setpriv cannot run the program as another user here";
  }
  fs::copy_file(dir / "song.mp3", dir / "locked.mp3");
  fs::permissions(dir / "locked.mp3", fs::perms::none);
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(dir / "settings.ini", fs::perms::owner_read | fs::perms::others_read);
  CliRun r = Cli("describe locked.mp3 song.mp3", runAs);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("quolvane-cli: locked.mp3: Permission denied\n"), std::string::npos) << r.err;
  // No "Time 00:00" made up for it; the readable one is still described.
  EXPECT_EQ(r.out, "== song.mp3\nTime\t00:26\nBit rate\t128k\nFrequency\t44k1\nTitle\tCli title\n"
                   "Artist\tCli artist\n");
}
