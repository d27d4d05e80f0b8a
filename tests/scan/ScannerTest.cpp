#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "catalog/CatalogStream.h"
#include "text/Codepage.h"
#include "platform/Platform.h"
#include "scan/MediaPaths.h"
#include "scan/Scanner.h"
#include "ScanTestUtil.h"

using namespace scantest;

namespace {

struct Scan {
  CFileItemList list;
  RecordingSink sink;
  ScriptedUi ui;
  CScanProgress progress{&sink, &ui};
  int result = -1;
  ScanCounters counters;

  int Run(const std::string& root, ScanOptions options = {}) {
    StartList(list, root);
    CScanContext ctx(list, progress, std::move(options));
    result = ctx.ScanMedium(root, 1);
    counters = ctx.Counters();
    return result;
  }
};

void SetMtime(const fs::path& p, time_t t) {
  struct timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

}  // namespace

TEST(ScanWalk, FilesFirstThenEachDirectoryWithItsSubtreeInNameOrder) {
  TempTree t;
  t.File("c.txt");
  t.File("A.txt");
  t.File("b.txt");
  t.File("sub/two.txt");
  t.File("sub/One.txt");
  t.File("sub/deeper/x.bin");
  t.Dir("Alpha");
  t.File("zeta/z.txt");
  Scan s;
  EXPECT_EQ(s.Run(t.str()), 0);
  std::vector<std::string> want = {
      "1 F A.txt", "1 F b.txt",   "1 F c.txt",         "1 D Alpha", "1 D sub",   "2 F One.txt",
      "2 F two.txt", "2 D deeper", "3 F x.bin", "1 D zeta",  "2 F z.txt",
  };
  EXPECT_EQ(Outline(s.list), want);
  // The container index holds every non-file item.
  std::vector<uint32_t> containers;
  for (size_t i = 0; i < s.list.size(); ++i)
    if (s.list[i]->type != ITEM_FILE) containers.push_back(static_cast<uint32_t>(i));
  EXPECT_EQ(s.list.containerIndex, containers);
  EXPECT_EQ(s.sink.folders, 4);
  EXPECT_EQ(s.sink.files, 7);
}

TEST(ScanWalk, DotDirectoriesSkippedDotFilesCataloguedHidden) {
  TempTree t;
  t.File(".profile");
  t.File(".git/config");
  t.File("visible/.secret");
  Scan s;
  s.Run(t.str());
  std::vector<std::string> want = {"1 F .profile", "1 D visible", "2 F .secret"};
  EXPECT_EQ(Outline(s.list), want);
  EXPECT_EQ(Find(s.list, ".profile")->attributes & ATTR_HIDDEN, ATTR_HIDDEN);
  EXPECT_EQ(Find(s.list, "visible")->attributes & ATTR_HIDDEN, 0);
}

TEST(ScanWalk, ItemFieldsFromTheEntry) {
  TempTree t;
  t.File("data.bin", std::string(1234, 'a'));
  fs::path ro = t.File("locked.txt");
  chmod(ro.c_str(), 0444);
  fs::path d = t.Dir("dir");
  SetMtime(t.root / "data.bin", 1000000000);
  SetMtime(d, 1200000000);
  Scan s;
  s.Run(t.str());
  const CFileItem* data = Find(s.list, "data.bin");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->type, ITEM_FILE);
  EXPECT_EQ(data->size, 1234u);
  EXPECT_EQ(data->time, 1000000000u);
  EXPECT_EQ(data->attributes, 0);
  EXPECT_EQ(data->isArchive, 0u);
  EXPECT_EQ(Find(s.list, "locked.txt")->attributes, ATTR_READONLY);
  const CFileItem* dir = Find(s.list, "dir");
  EXPECT_EQ(dir->type, ITEM_DIRECTORY);
  EXPECT_EQ(dir->size, 0u);
  EXPECT_EQ(dir->time, 1200000000u);
}

TEST(ScanWalk, TimesOutsideThirtyTwoBitsGiveZero) {
  TempTree t;
  fs::path late = t.File("late.txt");
  fs::path early = t.File("early.txt");
  fs::path edge = t.File("edge.txt");
  SetMtime(early, -100);
  SetMtime(edge, 0xFFFFFFFFll);
  struct timespec times[2] = {{0x200000000ll, 0}, {0x200000000ll, 0}};
  if (utimensat(AT_FDCWD, late.c_str(), times, 0) != 0) GTEST_SKIP() << "file system cannot hold the time";
  Scan s;
  s.Run(t.str());
  EXPECT_EQ(Find(s.list, "early.txt")->time, 0u);
  EXPECT_EQ(Find(s.list, "edge.txt")->time, 0xFFFFFFFFu);
  struct stat st;
  stat(late.c_str(), &st);
  if (st.st_mtime == 0x200000000ll) {
    EXPECT_EQ(Find(s.list, "late.txt")->time, 0u);
  }
}

TEST(ScanWalk, ShortUpperCaseNamesArePrettifiedOnlyWhereCaseIsIgnored) {
  TempTree t;
  t.File("README.TXT");
  t.File("MAKEFILE");
  t.File("LONGNAME1.TXT");  // nine characters: not a short name
  t.File("A.B.C");
  t.File("MixedCase.TXT");
  t.File("lower.txt");
  t.File("SPACE X.TXT");
  t.File("EXT.LONG");
  t.Dir("SETUP");
  ScanOptions fat;
  fat.caseInsensitiveNames = [](const std::string&) { return true; };
  Scan s;
  s.Run(t.str(), fat);
  for (const char* name : {"Readme.txt", "Makefile", "LONGNAME1.TXT", "A.B.C", "MixedCase.TXT", "lower.txt",
                           "SPACE X.TXT", "EXT.LONG", "Setup"})
    EXPECT_TRUE(Find(s.list, name)) << name;
  // On a POSIX file system names are as they are: 2621A and 2621a are two
  // files, and README is not Readme.
  t.File("2621A");
  t.File("2621a");
  Scan posix;
  posix.Run(t.str());
  for (const char* name : {"README.TXT", "MAKEFILE", "SETUP", "2621A", "2621a"})
    EXPECT_TRUE(Find(posix.list, name)) << name;
  EXPECT_FALSE(Find(posix.list, "Readme.txt"));
  // The file system of the test directory is asked when nothing is injected.
  int fd = open(t.str().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_FALSE(HasCaseInsensitiveNames(fd));
  close(fd);
  EXPECT_TRUE(IsCaseInsensitiveFileSystemType(0x4d44));       // FAT
  EXPECT_TRUE(IsCaseInsensitiveFileSystemType(0x2011BAB0));   // exFAT
  EXPECT_FALSE(IsCaseInsensitiveFileSystemType(0xEF53));      // ext4
  EXPECT_FALSE(IsCaseInsensitiveFileSystemType(0x9123683E));  // btrfs
  EXPECT_EQ(PrettifyShortName("_ABC~1.$$$"), "_abc~1.$$$");
  EXPECT_EQ(PrettifyShortName("123.TXT"), "123.txt");
  EXPECT_EQ(PrettifyShortName("X"), "X");
  EXPECT_EQ(PrettifyShortName(".TXT"), ".TXT");
  EXPECT_EQ(PrettifyShortName("ABC."), "ABC.");
  EXPECT_EQ(PrettifyShortName("\xc3\x89T\xc3\x89.TXT"), "\xc3\x89T\xc3\x89.TXT");
}

TEST(ScanWalk, NonUtf8NamesKeepTheirBytes) {
  TempTree t;
  // "caf\xe9.txt" is Latin-1, not UTF-8.
  t.File(std::string("caf\xe9.txt"), "x");
  Scan s;
  s.Run(t.str());
  ASSERT_EQ(s.list.size(), 2u);
  EXPECT_EQ(DisplayText(s.list[1]->name), "caf\xEF\xBF\xBD.txt");
  // Through the catalog's stored form and back, the path opens the file.
  const std::vector<uint8_t> stream = WriteCatalogToMemory(s.list);
  CFileItemList back;
  ReadCatalogFromMemory(back, stream.data(), stream.size());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1]->name, s.list[1]->name);
  EXPECT_EQ(DiskPath(back, 1), t.str() + "/caf\xe9.txt");
  EXPECT_TRUE(fs::exists(DiskPath(back, 1)));
}

TEST(ScanWalk, FilesOfFourGigabytesAndMoreAreClamped) {
  TempTree t;
  auto sparse = [&](const std::string& name, off_t size) {
    fs::path p = t.File(name, "");
    int fd = open(p.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
  };
  sparse("big.img", 5LL << 30);
  sparse("four.img", 4LL << 30);
  sparse("under.img", (4LL << 30) - 1);
  Scan s;
  s.Run(t.str());
  EXPECT_EQ(Find(s.list, "big.img")->size, 0xFFFFFFFFu);
  EXPECT_EQ(Find(s.list, "four.img")->size, 0xFFFFFFFFu);
  EXPECT_EQ(Find(s.list, "under.img")->size, 0xFFFFFFFFu);
}

TEST(ScanWalk, UnreadableDirectoryEnumeratesNothingAndTheWalkGoesOn) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any directory; the injected failure test covers this";
  TempTree t;
  t.File("closed/inside.txt");
  t.File("open/ok.txt");
  chmod((t.root / "closed").c_str(), 0);
  Scan s;
  EXPECT_EQ(s.Run(t.str()), 0);
  std::vector<std::string> want = {"1 D closed", "1 D open", "2 F ok.txt"};
  EXPECT_EQ(Outline(s.list), want);
}

TEST(ScanWalk, InjectedUnreadableDirectory) {
  TempTree t;
  t.File("closed/inside.txt");
  t.File("closed/sub/deep.txt");
  t.File("open/ok.txt");
  Scan s;
  ScanOptions options;
  std::string closed = (t.root / "closed").string();
  options.canOpenDirectory = [&](const std::string& p) { return p != closed; };
  EXPECT_EQ(s.Run(t.str(), options), 0);
  std::vector<std::string> want = {"1 D closed", "1 D open", "2 F ok.txt"};
  EXPECT_EQ(Outline(s.list), want);
  // No silent gap: the medium's description names the directory and the cause.
  EXPECT_EQ(s.list[0]->description, "\r\nError : " + closed + " : " + std::strerror(EACCES));
}

TEST(ScanWalk, UnreadableOrMissingRootGivesNoItems) {
  TempTree t;
  Scan s;
  EXPECT_EQ(s.Run((t.root / "missing").string()), 0);
  EXPECT_EQ(s.list.size(), 1u);
  Scan s2;
  ScanOptions options;
  options.canOpenDirectory = [](const std::string&) { return false; };
  t.File("a.txt");
  EXPECT_EQ(s2.Run(t.str(), options), 0);
  EXPECT_EQ(s2.list.size(), 1u);
  EXPECT_NE(s2.list[0]->description.find(t.str() + " : "), std::string::npos);
}

TEST(ScanWalk, SymbolicLinksAreCataloguedNeverFollowed) {
  TempTree t;
  t.File("real/file.txt", "12345");
  t.File("target.dat", std::string(300, 'z'));
  fs::create_directory_symlink(t.root / "real", t.root / "real" / "loop");  // a loop
  fs::create_directory_symlink("..", t.root / "real" / "up");
  fs::create_symlink(t.root / "target.dat", t.root / "link.dat");
  fs::create_symlink(t.root / "nowhere", t.root / "broken");
  Scan s;
  EXPECT_EQ(s.Run(t.str()), 0);
  std::vector<std::string> want = {"1 F broken", "1 F link.dat", "1 F target.dat", "1 D real",
                                   "2 F file.txt", "2 D loop", "2 D up"};
  EXPECT_EQ(Outline(s.list), want);
  EXPECT_EQ(Find(s.list, "link.dat")->size, 300u);  // described by its target
  EXPECT_EQ(Find(s.list, "broken")->size, 0u);
}

TEST(ScanWalk, DeepTreeBeyondPathAndDescriptorLimits) {
  TempTree t;
  // 300 levels of 20-character names: deeper than the walk keeps open and
  // longer than PATH_MAX.
  const int depth = 300;
  int fd = open(t.root.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  std::string name(20, 'd');
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    int f = openat(next, "f.txt", O_WRONLY | O_CREAT, 0644);
    close(f);
    close(fd);
    fd = next;
  }
  close(fd);
  Scan s;
  EXPECT_EQ(s.Run(t.str()), 0);
  ASSERT_EQ(s.list.size(), 1u + 2 * depth);
  EXPECT_EQ(s.list[s.list.size() - 1]->level, depth + 1);
  EXPECT_EQ(s.list[s.list.size() - 1]->name, "f.txt");
  // Remove it the same way (paths are too long for ordinary removal).
  std::system(("rm -rf '" + t.str() + "/" + name + "'").c_str());
}

TEST(ScanArchives, ArchivesMarkedByNameListedThroughTheHook) {
  TempTree t;
  t.File("pack.ZIP");
  t.File("setup.cab");
  t.File("after.txt");
  t.File("zip");
  Scan s;
  std::vector<std::string> listedPaths;
  ScanOptions options;
  options.listArchive = [&](CScanContext& ctx, size_t index, std::string&) {
    CFileItemList& list = ctx.List();
    listedPaths.push_back(ctx.PhysicalPath(list, index));
    EXPECT_EQ(list[index]->type, ITEM_ARCHIVE_ENTRY);
    if (list[index]->name == "setup.cab") return false;
    int level = list[index]->level + 1;
    long d = ctx.AddDirectoryItem("inner", 5, 0, level, static_cast<long>(index) + 1, true);
    long f = ctx.AddFileItem("nested.zip", 10, 6, 0, level + 1, d + 1, true, false);
    return d >= 0 && f >= 0;
  };
  s.Run(t.str(), options);
  std::vector<std::string> want = {"1 F after.txt", "1 F pack.ZIP", "2 D inner", "3 F nested.zip", "1 F setup.cab",
                                   "1 F zip"};
  EXPECT_EQ(Outline(s.list), want);
  EXPECT_EQ(Find(s.list, "pack.ZIP")->type, ITEM_ARCHIVE_ENTRY);
  EXPECT_EQ(Find(s.list, "pack.ZIP")->isArchive, 1u);
  EXPECT_EQ(Find(s.list, "inner")->isArchive, 1u);
  EXPECT_EQ(Find(s.list, "nested.zip")->isArchive, 1u);
  EXPECT_EQ(Find(s.list, "nested.zip")->type, ITEM_FILE);  // archives inside archives are not expanded
  EXPECT_EQ(Find(s.list, "setup.cab")->type, ITEM_FILE);    // the failed listing is undone
  EXPECT_EQ(Find(s.list, "setup.cab")->isArchive, 1u);
  EXPECT_EQ(Find(s.list, "zip")->isArchive, 0u);
  ASSERT_EQ(listedPaths.size(), 2u);
  EXPECT_EQ(listedPaths[0], t.str() + "/pack.ZIP");
  EXPECT_EQ(s.list[0]->description, "\r\nError : Unzipping error on " + t.str() + "/setup.cab...");
  EXPECT_EQ(s.sink.logLines.size(), 1u);
}

TEST(ScanArchives, NoUncompressKeepsTheMarkWithoutListing) {
  TempTree t;
  t.File("archive.ZIP");
  Scan s;
  int calls = 0;
  ScanOptions options;
  options.uncompress = false;
  options.listArchive = [&](CScanContext&, size_t, std::string&) {
    ++calls;
    return true;
  };
  s.Run(t.str(), options);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Find(s.list, "archive.ZIP")->isArchive, 1u);
  EXPECT_EQ(Find(s.list, "archive.ZIP")->type, ITEM_FILE);
}

TEST(ScanDescribe, DescriberSeesDiskPathAndLogsIntoMediaDescription) {
  TempTree t;
  t.File("SONG.MP3");
  t.File("sub/Pic.jpg");
  t.File("plain.txt");
  Scan s;
  std::vector<std::string> paths;
  ScanOptions options;
  options.caseInsensitiveNames = [](const std::string&) { return true; };  // as on FAT
  options.describe.width = 77;
  options.describeFile = [&](CFileItemList& list, size_t index, const DescribeSettings& settings,
                             IDescribeHost& host) {
    EXPECT_EQ(settings.width, 77);
    paths.push_back(host.PhysicalPath(list, index));
    if (list[index]->name == "plain.txt") return 0;
    list[index]->description = "described";
    host.LogScanError("bad " + list[index]->name);
    return 1;
  };
  s.Run(t.str(), options);
  // The catalogued name differs in case from the disk name; the path is the disk's.
  std::vector<std::string> want = {t.str() + "/plain.txt", t.str() + "/SONG.MP3", t.str() + "/sub/Pic.jpg"};
  EXPECT_EQ(paths, want);
  ASSERT_TRUE(Find(s.list, "Song.mp3"));
  EXPECT_EQ(Find(s.list, "Song.mp3")->description, "described");
  EXPECT_EQ(s.list[0]->description, "\r\nError : bad Song.mp3\r\nError : bad Pic.jpg");
  EXPECT_EQ(s.counters.descriptions, 2);
  EXPECT_EQ(s.counters.files, 3);
  EXPECT_EQ(s.counters.directories, 1);
}

TEST(ScanProgressTest, RefreshThrottleAndMilestones) {
  RecordingSink sink;
  CScanProgress p(&sink, nullptr);
  int64_t now = 1000;
  p.clock = [&] { return now; };
  EXPECT_EQ(p.Update(0, 1, 0), 0);  // first refresh: a second has passed since time 0
  EXPECT_EQ(sink.counterCalls, 1);
  EXPECT_EQ(sink.shows, 1);
  p.Update(11, 5, 3);  // no milestone, same second
  EXPECT_EQ(sink.counterCalls, 1);
  p.Update(11, 100, 3);  // file milestone but 11 directories is not one
  EXPECT_EQ(sink.counterCalls, 1);
  p.Update(20, 100, 3);  // both milestones
  EXPECT_EQ(sink.counterCalls, 2);
  p.Update(5, 7, 10);  // description milestone with few directories
  EXPECT_EQ(sink.counterCalls, 3);
  now = 1001;
  p.Update(13, 7, 3);  // a second later
  EXPECT_EQ(sink.counterCalls, 4);
  EXPECT_EQ(sink.folders, 13);
  EXPECT_EQ(sink.files, 7);
  EXPECT_EQ(sink.descriptions, 3);
  EXPECT_EQ(sink.shows, 1);
}

TEST(ScanProgressTest, StopQuestionDeclinedThenConfirmed) {
  RecordingSink sink;
  ScriptedUi ui;
  ui.answers = {IDCANCEL, IDOK};
  CScanProgress p(&sink, &ui);
  int64_t now = 50;
  p.clock = [&] { return now; };
  p.RequestStop();
  EXPECT_EQ(p.Update(0, 1, 0), 0);  // declined
  EXPECT_FALSE(p.StopRequested());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "Do you really want to stop ?");
  EXPECT_EQ(ui.shown[0].caption, "STOP");
  EXPECT_EQ(ui.shown[0].flags & 0xF, MB_OKCANCEL);
  p.RequestStop();
  EXPECT_EQ(p.Update(11, 2, 3), 0);  // no refresh, no question
  EXPECT_EQ(ui.shown.size(), 1u);
  now = 52;
  EXPECT_EQ(p.Update(11, 3, 3), 1);  // confirmed
  EXPECT_TRUE(p.StopRequested());
  p.Close();
  EXPECT_FALSE(p.StopRequested());
  EXPECT_EQ(sink.closes, 1);
  EXPECT_TRUE(p.LogText().empty());
}

TEST(ScanProgressTest, ApplicationMode) {
  RecordingSink sink;
  ScriptedUi ui;
  CScanProgress p(&sink, &ui);
  p.BeginApplications();
  EXPECT_TRUE(sink.applicationMode);
  EXPECT_EQ(p.UpdateApplications(1, 0), 0);
  EXPECT_EQ(p.UpdateApplications(2, 40), 0);
  EXPECT_EQ(p.UpdateApplications(2, 40), 0);
  EXPECT_EQ(sink.applications, 2);
  std::vector<int> want = {0, 40};
  EXPECT_EQ(sink.percents, want);
  p.RequestStop();
  EXPECT_EQ(p.UpdateApplications(3, 50), 1);
}

// Scans 30 files in 3 directories; a stop is requested at the fifth pump and
// the stop question gets the given answer.
static int ScanWithStopAnswer(Scan& s, int answer) {
  TempTree t;
  for (int i = 0; i < 30; ++i) t.File("d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt");
  int pumps = 0;
  s.sink.onPump = [&] {
    if (++pumps == 5) s.progress.RequestStop();
  };
  s.ui.answers = {answer};
  return s.Run(t.str());
}

TEST(ScanStop, ConfirmedStopEndsEveryLevel) {
  Scan s;
  EXPECT_EQ(ScanWithStopAnswer(s, IDOK), 1);
  EXPECT_EQ(s.ui.shown.size(), 1u);
  EXPECT_LT(s.list.size(), 34u);  // the walk ended early
  EXPECT_GT(s.list.size(), 1u);
}

TEST(ScanStop, DeclinedStopScansEverything) {
  Scan s;
  EXPECT_EQ(ScanWithStopAnswer(s, IDCANCEL), 0);
  EXPECT_EQ(s.ui.shown.size(), 1u);
  EXPECT_EQ(s.list.size(), 34u);
}

TEST(ScanStop, StopInsideArchiveListingStopsTheScan) {
  TempTree t;
  t.File("a.zip");
  t.File("b.txt");
  Scan s;
  s.ui.answers = {IDOK};
  ScanOptions options;
  options.listArchive = [&](CScanContext& ctx, size_t index, std::string&) {
    ctx.Progress().RequestStop();
    long r = ctx.AddFileItem("m.txt", 1, 1, 0, 2, static_cast<long>(index) + 1, true, false);
    EXPECT_EQ(r, -1);
    return false;
  };
  EXPECT_EQ(s.Run(t.str(), options), 1);
  EXPECT_EQ(Find(s.list, "b.txt"), nullptr);
  EXPECT_EQ(s.list[0]->description, "");  // a stop is not a listing failure
}

TEST(ScanDescribe, SpecialFilesAreCataloguedButNeverOpened) {
  TempTree t;
  ASSERT_EQ(mkfifo((t.root / "song.mp3").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((t.root / "pipe.zip").c_str(), 0644), 0);
  t.File("real.mp3");
  Scan s;
  std::vector<std::string> described;
  int listed = 0;
  ScanOptions options;
  options.describeFile = [&](CFileItemList& list, size_t index, const DescribeSettings&, IDescribeHost&) {
    described.push_back(list[index]->name);
    return 0;
  };
  options.listArchive = [&](CScanContext&, size_t, std::string&) {
    ++listed;
    return true;
  };
  EXPECT_EQ(s.Run(t.str(), options), 0);
  std::vector<std::string> want = {"real.mp3"};
  EXPECT_EQ(described, want);
  EXPECT_EQ(listed, 0);
  ASSERT_TRUE(Find(s.list, "pipe.zip"));
  EXPECT_EQ(Find(s.list, "pipe.zip")->isArchive, 1u);
  EXPECT_TRUE(Find(s.list, "song.mp3"));
}
