#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "catalog/FileItemList.h"
#include "describe/Describe.h"
#include "describe/Mp3Bytes.h"
#include "i18n/Translator.h"

using namespace mp3test;
namespace fs = std::filesystem;

namespace {

// Physical paths are the directory plus the item's name, where an empty file
// is made unless told otherwise; extraction hands out a prepared copy, or fails.
class FakeHost : public IDescribeHost {
 public:
  explicit FakeHost(fs::path dir) : dir_(std::move(dir)) {}
  std::string PhysicalPath(const CFileItemList& list, size_t index) override {
    const fs::path path = dir_ / list[index]->name;
    std::error_code ec;
    if (makeFiles && list[index]->name.find('/') == std::string::npos && !fs::exists(path, ec))
      WriteFile(path, {});
    return path.string();
  }
  bool makeFiles = true;
  void LogScanError(const std::string& line) override { log.push_back(line); }
  std::optional<std::string> ExtractArchiveMember(const CFileItemList& list, size_t index) override {
    extractions.push_back(list[index]->name);
    return extracted;
  }
  std::vector<std::string> log;
  std::vector<std::string> extractions;
  std::optional<std::string> extracted;

 private:
  fs::path dir_;
};

// Describers that record what they were asked to do.
struct Recorder {
  std::vector<std::string> calls;
  std::string failWith;  // the describer throws this when set
  Describers describers() {
    return {
        [this](const std::string& path) {
          calls.push_back("mp3 " + path);
          if (!failWith.empty()) throw std::runtime_error(failWith);
          return std::string("mp3 text");
        },
        [this](const std::string& path, std::string& description) {
          calls.push_back("exe " + path);
          if (!failWith.empty()) throw std::runtime_error(failWith);
          description = "exe text";
        },
        [this](const std::string& path, CFileItem& item, const DescribeSettings&, IDescribeHost&) {
          calls.push_back("picture " + path);
          item.thumbnail = std::make_unique<PLBitmap>();
          if (!failWith.empty()) throw std::runtime_error(failWith);
          item.description = "picture text";
        },
        [this](const std::string& path, CFileItem& item, const DescribeSettings&, IDescribeHost&) {
          calls.push_back("audio " + path);
          item.description = "audio text";
        },
        [this](const std::string& path, CFileItem& item, const DescribeSettings&, IDescribeHost&) {
          calls.push_back("video " + path);
          if (!failWith.empty()) throw std::runtime_error(failWith);
          item.description = "video text";
        },
    };
  }
};

std::unique_ptr<CFileItem> Item(uint8_t type, const std::string& name, int16_t level, uint32_t isArchive = 0) {
  auto item = std::make_unique<CFileItem>();
  item->type = type;
  item->name = name;
  item->level = level;
  item->isArchive = isArchive;
  item->description = "original";
  return item;
}

// A medium with one file of that name.
CFileItemList OneFile(const std::string& name) {
  CFileItemList list;
  list.items.push_back(Item(ITEM_MEDIA, "Media", 0));
  list.items.push_back(Item(ITEM_FILE, name, 1));
  return list;
}

class DescribeDispatch : public ::testing::Test {
 protected:
  void SetUp() override { InitTranslator("", LANG_ENGLISH); }
  TempDir dir;
  FakeHost host{dir.path()};
  Recorder rec;
  DescribeSettings settings;

  int Run(CFileItemList& list, size_t index) { return DescribeFile(list, index, settings, host, rec.describers()); }
};

}  // namespace

TEST_F(DescribeDispatch, ExtensionChoosesTheDescriber) {
  struct Case {
    const char* name;
    const char* describer;  // "" when nothing runs
  };
  const Case cases[] = {
      {"song.mp3", "mp3"},      {"SONG.Mp3", "mp3"},     {"a.b.MP3", "mp3"},         {"setup.exe", "exe"},
      {"lib.DLL", "exe"},       {"ctl.ocx", "exe"},      {"old.vbx", "exe"},         {"photo.jpeg", "picture"},
      {"photo.JPG", "picture"}, {"scan.tif", "picture"}, {"mp3.txt", ""},            {"song.mp3.bak", ""},
      {"mp3", ""},              {"song.mp", ""},         {"photo.jpe", ""},          {"scan.tiff", ""},
      {"noext", ""},            {"dir.mp3/x", ""},       {"exe.exe.zip", ""},        {"song.Flac", "audio"},
      {"song.m4a", "audio"},    {"song.OPUS", "audio"},  {"film.mkv", "video"},      {"film.MP4", "video"},
      {"film.m2ts", "video"},   {"film.mp4.part", ""},   {"song.aac", ""},
  };
  for (const Case& c : cases) {
    CFileItemList list = OneFile(c.name);
    rec.calls.clear();
    int result = Run(list, 1);
    if (*c.describer) {
      EXPECT_EQ(result, 1) << c.name;
      ASSERT_EQ(rec.calls.size(), 1u) << c.name;
      EXPECT_EQ(rec.calls[0], std::string(c.describer) + " " + (dir / c.name).string());
      EXPECT_EQ(list[1]->description, std::string(c.describer) + " text");
    } else {
      EXPECT_EQ(result, 0) << c.name;
      EXPECT_TRUE(rec.calls.empty()) << c.name;
      EXPECT_EQ(list[1]->description, "original");
    }
  }
  EXPECT_TRUE(host.log.empty());
}

TEST_F(DescribeDispatch, SettingsSwitches) {
  auto run = [&](const std::string& name) {
    CFileItemList list = OneFile(name);
    rec.calls.clear();
    return Run(list, 1);
  };
  settings.scanDescrs = false;
  EXPECT_EQ(run("a.mp3"), 0);
  EXPECT_EQ(run("a.exe"), 0);
  EXPECT_EQ(run("a.png"), 0);
  EXPECT_TRUE(rec.calls.empty());
  settings = DescribeSettings{};
  settings.mp3 = false;
  EXPECT_EQ(run("a.mp3"), 0);
  EXPECT_EQ(run("a.exe"), 1);
  settings = DescribeSettings{};
  settings.exe = false;
  EXPECT_EQ(run("a.exe"), 0);
  EXPECT_EQ(run("a.mp3"), 1);
  settings = DescribeSettings{};
  settings.png = false;
  EXPECT_EQ(run("a.png"), 0);
  EXPECT_EQ(run("a.bmp"), 1);
  settings.tif = false;
  EXPECT_EQ(run("a.eps"), 0);
}

TEST_F(DescribeDispatch, ThrowingDescriberLeavesThePathAndALogLine) {
  rec.failWith = "read error";
  for (const char* name : {"tool.exe", "song.mp3", "photo.png"}) {
    CFileItemList list = OneFile(name);
    host.log.clear();
    EXPECT_EQ(Run(list, 1), 1) << name;
    const std::string path = (dir / name).string();
    EXPECT_EQ(list[1]->description, path + "\n");
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], path + "  read error");
    EXPECT_EQ(list[1]->thumbnail, nullptr) << name;
  }
}

TEST_F(DescribeDispatch, UnreadableFilesAreLoggedWithTheSystemsReasonAndGetNoDescription) {
  // Before any describer: a file that cannot be opened or read.
  host.makeFiles = false;
  fs::create_directory(dir / "folder.mp3");
  for (const char* name : {"gone.mp3", "folder.mp3"}) {
    CFileItemList list = OneFile(name);
    host.log.clear();
    EXPECT_EQ(Run(list, 1), 0) << name;
    EXPECT_TRUE(rec.calls.empty()) << name;
    EXPECT_EQ(list[1]->description, "original");
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], (dir / name).string() + " : " +
                               std::strerror(std::string(name) == "gone.mp3" ? ENOENT : EISDIR));
  }
  // While a describer reads: the medium fails half-way.
  host.makeFiles = true;
  for (const char* name : {"tool.exe", "song.mp3", "photo.png"}) {
    CFileItemList list = OneFile(name);
    host.log.clear();
    Describers failing = rec.describers();
    const auto eio = [] { throw std::system_error(EIO, std::generic_category(), "read"); };
    failing.mp3 = [&](const std::string&) -> std::string { eio(); return {}; };
    failing.exe = [&](const std::string&, std::string& d) { d = "half"; eio(); };
    failing.picture = [&](const std::string&, CFileItem& item, const DescribeSettings&, IDescribeHost&) {
      item.thumbnail = std::make_unique<PLBitmap>();
      eio();
    };
    EXPECT_EQ(DescribeFile(list, 1, settings, host, failing), 0) << name;
    EXPECT_EQ(list[1]->description, "original") << name;
    EXPECT_EQ(list[1]->thumbnail, nullptr) << name;
    EXPECT_EQ(host.log, std::vector<std::string>{(dir / name).string() + " : " + std::strerror(EIO)});
  }
}

TEST_F(DescribeDispatch, ArchiveMembersAreDescribedFromATemporaryCopy) {
  CFileItemList list;
  list.items.push_back(Item(ITEM_MEDIA, "Media", 0));
  list.items.push_back(Item(ITEM_ARCHIVE_ENTRY, "music.zip", 1, 1));
  list.items.push_back(Item(ITEM_DIRECTORY, "album", 2, 1));
  list.items.push_back(Item(ITEM_FILE, "track.mp3", 3, 1));
  list.items.push_back(Item(ITEM_FILE, "notes.txt", 3, 1));

  // The copy is read-only, as extraction may leave it; it still goes.
  fs::path copy = dir / "extracted-track.mp3";
  WriteFile(copy, B("bytes"));
  fs::permissions(copy, fs::perms::owner_read);
  host.extracted = copy.string();
  EXPECT_EQ(Run(list, 3), 1);
  EXPECT_EQ(rec.calls, std::vector<std::string>{"mp3 " + copy.string()});
  EXPECT_EQ(list[3]->description, "mp3 text");
  EXPECT_FALSE(fs::exists(copy));

  // A member no describer wants is not extracted.
  EXPECT_EQ(Run(list, 4), 0);
  EXPECT_EQ(host.extractions, std::vector<std::string>{"track.mp3"});

  // Extraction failure: a log line naming archive and member, nothing described.
  host.extracted.reset();
  rec.calls.clear();
  list[3]->description = "original";
  EXPECT_EQ(Run(list, 3), 0);
  EXPECT_TRUE(rec.calls.empty());
  EXPECT_EQ(list[3]->description, "original");
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0], "Unzipping error on " + (dir / "music.zip").string() + "/track.mp3...");
}

TEST_F(DescribeDispatch, DescribingARealMp3) {
  Bytes data = Id3v2(3, {TextFrame("TIT2", "Real")});
  for (int i = 0; i < 10; ++i) Append(data, Frame({}));
  WriteFile(dir / "real.mp3", data);
  CFileItemList list = OneFile("real.mp3");
  EXPECT_EQ(DescribeFile(list, 1, settings, host), 1);
  EXPECT_EQ(list[1]->description, "Time\t00:00\r\nBit rate\t128k\r\nFrequency\t44k1\r\nTitle\tReal\r\n");
}
