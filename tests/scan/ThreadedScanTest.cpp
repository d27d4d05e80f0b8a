// Scans that describe on several threads, against the same scan on one.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "cabinet/ArchiveFixtures.h"
#include "catalog/CatalogStream.h"
#include "describe/ArchiveZip.h"
#include "describe/Describe.h"
#include "describe/Mp3Bytes.h"
#include "i18n/Translator.h"
#include "ports/TempDir.h"
#include "scan/MediaScan.h"
#include "scan/MediaTypes.h"
#include "ScanTestUtil.h"

namespace {

std::string Mp3(const std::string& title) {
  mp3test::Bytes song;
  for (int f = 0; f < 4; ++f) mp3test::Append(song, mp3test::Frame(mp3test::Header{}));
  mp3test::V1 tag;
  tag.title = title;
  mp3test::Append(song, mp3test::Id3v1(tag));
  return std::string(song.begin(), song.end());
}

std::string Pgm(int width, int shade) {
  return "P5 " + std::to_string(width) + " 3 255\n" + std::string(static_cast<size_t>(width) * 3, static_cast<char>(shade));
}

// Every describer in several directories: tagged MP3s, pictures good and
// broken (their failures go to the log), executables, a ZIP whose members
// are extracted and described, a ZIP that cannot be read (logged too).
class ThreadedScan : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", LANG_ENGLISH);
    ZipAccess().SetReader(MakeLibZipReader());
    for (int d = 0; d < 3; ++d) {
      const std::string dir = "d" + std::to_string(d) + "/";
      for (int k = 0; k < 15; ++k) {
        const std::string n = std::to_string(k);
        tree.File(dir + "track" + n + ".mp3", Mp3("Song " + n));
        tree.File(dir + "pic" + n + ".pgm", Pgm(2 + k, 10 * k));
        tree.File(dir + "broken" + n + ".jpg", "not a picture " + n);
        tree.File(dir + "tool" + n + ".exe", "MZ not really " + n);
        tree.File(dir + "notes" + n + ".txt", n);
      }
      ASSERT_TRUE(MakeTestZip((tree.root / (dir + "pack.zip")).string(),
                              {{"in/song.mp3", Mp3("Packed"), 0}, {"in/pic.pgm", Pgm(5, 7), 0}, {"readme.txt", "x", 0}}));
      tree.File(dir + "bad.zip", "not a zip");
    }
    // Broken pictures still being described when the walk logs a refused directory.
    for (int k = 0; k < 3; ++k) tree.File("e/late" + std::to_string(k) + ".jpg", "not a picture");
    tree.File("e/refused/x.txt");
  }
  ~ThreadedScan() override { RemoveTempWorkDirectory(); }

  ScanOptions Options(unsigned threads) const {
    ScanOptions options;
    options.describeFile = [](CFileItemList& l, size_t i, const DescribeSettings& s, IDescribeHost& h) {
      if (l[i]->name.starts_with("late")) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return DescribeFile(l, i, s, h);
    };
    InstallArchiveHooks(options);
    options.canOpenDirectory = [](const std::string& p) { return !p.ends_with("/refused"); };
    options.describeThreads = threads;
    // Files no describer takes stay on the walk's thread, but with 5 threads.
    if (threads != 5) options.describesFile = WouldDescribe;
    return options;
  }

  // The scanned medium as catalog bytes (the media item's time fixed).
  std::vector<uint8_t> Scan(unsigned threads, int& descriptions) const {
    CFileItemList list;
    scantest::StartList(list, tree.str());
    scantest::RecordingSink sink;
    CScanProgress progress(&sink);
    CScanContext scan(list, progress, Options(threads));
    EXPECT_EQ(scan.ScanMedium(tree.str(), 1), 0);
    descriptions = scan.Counters().descriptions;
    return WriteCatalogToMemory(list);
  }

  scantest::TempTree tree;
};

}  // namespace

TEST_F(ThreadedScan, CatalogAndLogAreTheOneThreadScansByteForByte) {
  int alone = 0;
  const std::vector<uint8_t> one = Scan(1, alone);
  // The test means something only when the log and the describers were busy.
  CFileItemList read;
  ASSERT_EQ(ReadCatalogFromMemory(read, one.data(), one.size()), CatalogReadResult::Ok);
  EXPECT_NE(read[0]->description.find("broken14.jpg"), std::string::npos);
  EXPECT_NE(read[0]->description.find("bad.zip"), std::string::npos);
  EXPECT_NE(read[0]->description.find("e/refused"), std::string::npos);
  EXPECT_GT(alone, 3 * 60);
  for (const unsigned threads : {2u, 5u}) {
    int described = 0;
    EXPECT_EQ(Scan(threads, described), one) << threads << " threads";
    EXPECT_EQ(described, alone) << threads << " threads";
  }
}

TEST_F(ThreadedScan, StopInTheMiddleLeavesTheCatalogAndWorkDirectoryUnchanged) {
  MediaKinds().Clear();
  RegisterDefaultMediaKinds();
  CFileItemList catalog;
  scantest::StartList(catalog, "/elsewhere");
  catalog.RebuildContainerIndex();
  const std::vector<uint8_t> before = WriteCatalogToMemory(catalog);

  scantest::RecordingSink sink;
  scantest::ScriptedUi ui;  // answers OK to the stop question
  CScanProgress progress(&sink, &ui);
  ScanOptions options = Options(3);
  // The stop comes from a worker, half-way through the second directory.
  std::atomic<int> seen{0}, members{0};
  options.describeFile = [&](CFileItemList& l, size_t i, const DescribeSettings& s, IDescribeHost& h) {
    if (l[i]->name == "track7.mp3" && ++seen == 2) progress.RequestStop();
    if (l[i]->name == "song.mp3") ++members;
    return DescribeFile(l, i, s, h);
  };
  NewMediaRequest request;
  request.path = tree.str();
  request.name = "Stopped";
  EXPECT_EQ(AddNewMedia(catalog, request, progress, options).status, NewMediaStatus::Stopped);
  EXPECT_EQ(WriteCatalogToMemory(catalog), before);
  ASSERT_FALSE(ui.shown.empty());
  EXPECT_EQ(ui.shown.back().text, Translate("IDS_DOYOUWANTSTOP"));
  // Archive members were extracted before the stop, and none is left.
  EXPECT_GE(members.load(), 1);
  const std::string work = TempWorkDirectory();
  EXPECT_TRUE(std::filesystem::is_empty(work)) << work;
}
