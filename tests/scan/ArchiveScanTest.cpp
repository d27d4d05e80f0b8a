// The archive lister run by the scanner: archive members become items of a
// scan (CScanContext through describe/Archive.h's IArchiveScan).
#include <gtest/gtest.h>
#include <unistd.h>

#include "cabinet/ArchiveFixtures.h"
#include "cabinet/CabWriter.h"
#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "describe/ArchiveZip.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "ports/TempDir.h"
#include "scan/Scanner.h"
#include "ScanTestUtil.h"

using scantest::Outline;

namespace {

time_t Utc(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return timegm(&tm);
}

class ArchiveScan : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", LANG_ENGLISH);
    ZipAccess().SetReader(MakeLibZipReader());
    ZipAccess().SetUiPort(&ui);
  }
  void TearDown() override {
    ZipAccess().SetReader(MakeLibZipReader());
    ZipAccess().SetUiPort(nullptr);
  }

  // Scans the scratch directory with the archive hooks (and optionally the describers).
  void Scan(bool describe = false) {
    list.Clear();
    scantest::StartList(list, dir.path());
    ScanOptions options;
    InstallArchiveHooks(options);
    if (describe) options.describeFile = [](CFileItemList& l, size_t i, const DescribeSettings& s, IDescribeHost& h) {
      return DescribeFile(l, i, s, h);
    };
    CScanContext scan(list, progress, options);
    scan.ScanMedium(dir.path(), 1);
  }
  const CFileItem* Item(const std::string& name) const { return scantest::Find(list, name); }
  size_t IndexOf(const std::string& name) const {
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i]->name == name) return i;
    return list.size();
  }
  int UnzipErrorLines() const {
    int n = 0;
    for (const std::string& line : sink.logLines) n += line.find("Unzipping error on") != std::string::npos;
    return n;
  }

  ScratchDir dir;
  CFileItemList list;
  scantest::RecordingSink sink;
  scantest::ScriptedUi ui;
  CScanProgress progress{&sink, &ui};
};

TEST_F(ArchiveScan, ZipMembersBecomeItemsBelowTheArchive) {
  REQUIRE_TOOL("zip");
  dir.Write("src/docs/readme.txt", std::string(5000, 'r'));  // compressed: the size is not the stored one
  dir.Write("src/setup.exe", "MZ not really");
  ASSERT_TRUE(RunIn(dir / "src", "zip -q -r ../app.zip docs setup.exe && rm -r docs setup.exe"));
  Scan();
  EXPECT_EQ(Outline(list), (std::vector<std::string>{"1 F app.zip", "2 D docs", "3 F readme.txt", "2 F setup.exe",
                                                      "1 D src"}));
  const CFileItem* archive = Item("app.zip");
  EXPECT_EQ(archive->type, ITEM_ARCHIVE_ENTRY);
  EXPECT_EQ(archive->isArchive, 1u);
  EXPECT_EQ(Item("docs")->isArchive, 1u);
  EXPECT_EQ(Item("readme.txt")->size, 5000u);
  EXPECT_EQ(Item("readme.txt")->isArchive, 1u);
  EXPECT_EQ(Item("setup.exe")->attributes, 0);
  EXPECT_EQ(MemberPathInArchive(list, IndexOf("readme.txt")), "docs/readme.txt");
  EXPECT_EQ(ArchiveOfMember(list, IndexOf("readme.txt")), static_cast<long>(IndexOf("app.zip")));
  EXPECT_EQ(UnzipErrorLines(), 0);
}

TEST_F(ArchiveScan, MembersOfOneDirectoryListedApartStayInItsSubtree) {
  ASSERT_TRUE(MakeTestZip(dir / "t.zip", {{"a/x.txt", "1"}, {"b.txt", "2"}, {"A/y.txt", "3"}, {"a/c/z", "4"}}));
  Scan();
  EXPECT_EQ(Outline(list), (std::vector<std::string>{"1 F t.zip", "2 D a", "3 F x.txt", "3 F y.txt", "3 D c",
                                                      "4 F z", "2 F b.txt"}));
  // y.txt, stored under "A/", is still found under the shared directory "a".
  ScratchDir out;
  std::string path;
  ASSERT_EQ(MemberPathInArchive(list, IndexOf("y.txt")), "a/y.txt");
  ASSERT_EQ(ExtractArchiveMember(dir / "t.zip", "y.txt", "a/y.txt", path, out.path()), 1);
  EXPECT_EQ(ReadWholeFile(path), "3");
  WriteTestCabinet(dir / "t.cab", {{"a\\x.txt", "1"}, {"A\\y.txt", "2"}, {"a\\Y.txt", "3"}});
  ASSERT_EQ(ExtractArchiveMember(dir / "t.cab", "y.txt", "a/y.txt", path, out.path()), 1);
  EXPECT_EQ(ReadWholeFile(path), "2");
  ASSERT_EQ(ExtractArchiveMember(dir / "t.cab", "Y.txt", "a/Y.txt", path, out.path()), 1);
  EXPECT_EQ(ReadWholeFile(path), "3");
}

TEST_F(ArchiveScan, ZipTimesReadTwoDigitYearsWithSecondsDropped) {
  ASSERT_TRUE(MakeTestZip(dir / "t.zip", {{"old.txt", "o", Utc(1999, 12, 31, 23, 58, 44)},
                                          {"new.txt", "n", Utc(2003, 2, 1, 8, 5, 10)},
                                          {"far.txt", "f", Utc(2075, 5, 5, 5, 5, 6)}}));
  Scan();
  EXPECT_EQ(Item("old.txt")->time, static_cast<uint32_t>(Utc(1999, 12, 31, 23, 58, 0)));
  EXPECT_EQ(Item("new.txt")->time, static_cast<uint32_t>(Utc(2003, 2, 1, 8, 5, 0)));
  // The listing only knows two digits: 75 is read as 1975.
  EXPECT_EQ(Item("far.txt")->time, static_cast<uint32_t>(Utc(1975, 5, 5, 5, 5, 0)));
}

TEST_F(ArchiveScan, CabinetMembersWithDirectoriesSizesDatesAndAttributes) {
  REQUIRE_TOOL("gcab");
  dir.Write("src/a/x.txt", "first");
  dir.Write("src/b/x.txt", "second!");
  dir.Write("src/a/y.txt", "why");
  ASSERT_TRUE(RunIn(dir / "src", "gcab -cz ../t.cab a/x.txt b/x.txt a/y.txt && cd .. && rm -r src"));
  CabTestMember hidden{"sys\\h.dat", "h"};
  hidden.attribs = 0x01 | 0x02 | 0x04 | 0x20 | 0x40;
  WriteTestCabinet(dir / "u.CAB", {hidden});
  Scan();
  EXPECT_EQ(Outline(list), (std::vector<std::string>{"1 F t.cab", "2 D a", "3 F x.txt", "3 F y.txt", "2 D b",
                                                      "3 F x.txt", "1 F u.CAB", "2 D sys", "3 F h.dat"}));
  const size_t bx = IndexOf("b") + 1;
  EXPECT_EQ(list[bx]->size, 7u);
  EXPECT_EQ(Item("h.dat")->attributes, ATTR_ARCHIVE | ATTR_HIDDEN | ATTR_READONLY | ATTR_SYSTEM);
  EXPECT_EQ(Item("h.dat")->time, 929442610u);  // 1999-06-15 10:30:10 local (UTC here)
  EXPECT_EQ(Item("u.CAB")->type, ITEM_ARCHIVE_ENTRY);

  // Each x.txt is extracted from its own directory.
  ScratchDir out;
  std::string path;
  ASSERT_EQ(ExtractArchiveMember(dir / "t.cab", "x.txt", "b/x.txt", path, out.path()), 1);
  EXPECT_EQ(ReadWholeFile(path), "second!");
  ASSERT_EQ(ExtractArchiveMember(dir / "t.cab", "x.txt", "a/x.txt", path, out.path()), 1);
  EXPECT_EQ(ReadWholeFile(path), "first");
  EXPECT_EQ(ExtractArchiveMember(dir / "t.cab", "x.txt", "c/x.txt", path, out.path()), 0);
}

TEST_F(ArchiveScan, ArchivesThatCannotBeListedStayPlainFiles) {
  dir.Write("fake.cab", "MSCF but no cabinet behind it");
  dir.Write("fake.zip", "PK\x03\x04 not a zip either");
  ASSERT_TRUE(MakeTestZip(dir / "outer.zip", {{"inner.zip", "PK"}, {"inner.cab", "MSCF"}}));
  Scan();
  EXPECT_EQ(Item("fake.cab")->type, ITEM_FILE);
  EXPECT_EQ(Item("fake.cab")->isArchive, 1u);
  EXPECT_EQ(Item("fake.zip")->type, ITEM_FILE);
  EXPECT_EQ(UnzipErrorLines(), 2);
  // Archives inside archives are marked, never opened.
  EXPECT_EQ(Item("inner.zip")->type, ITEM_FILE);
  EXPECT_EQ(Item("inner.zip")->isArchive, 1u);
  EXPECT_EQ(list.SubtreeEnd(IndexOf("inner.zip")), IndexOf("inner.zip") + 1);
  EXPECT_NE(list[0]->description.find("Unzipping error on " + dir.path() + "/fake.cab..."), std::string::npos);
}

// A reader that cannot be loaded, and one that calls back into the access.
class MissingReader : public IZipReader {
 public:
  int loads = 0;
  ZipReaderState state = ZipReaderState::NotFound;
  std::string LibraryName() const override { return "libzip.so.4"; }
  ZipReaderState Load() override {
    ++loads;
    return state;
  }
  bool List(const std::string&, std::vector<ZipEntry>&, std::string&) override { return true; }
  bool ExtractMember(const std::string&, const std::string&, const std::string&, std::string&,
                     std::string&) override {
    return true;
  }
  bool ExtractAll(const std::string&, const std::string&, std::string&) override { return true; }
};

TEST_F(ArchiveScan, MissingZipReaderShowsOneMessageAndEachZipStaysAFile) {
  auto reader = std::make_unique<MissingReader>();
  MissingReader* raw = reader.get();
  ZipAccess().SetReader(std::move(reader));
  ASSERT_TRUE(MakeTestZip(dir / "one.zip", {{"a.txt", "a"}}));
  ASSERT_TRUE(MakeTestZip(dir / "two.ZIP", {{"b.txt", "b"}}));
  Scan();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text,
            "Cannot find libzip.so.4. The Dll must be in the application directory, the path, the Windows directory "
            "or the Windows System directory.\n");
  EXPECT_EQ(ui.shown[0].caption, "Error");
  EXPECT_EQ(ui.shown[0].flags & MB_ICONERROR, MB_ICONERROR);
  EXPECT_EQ(raw->loads, 1);
  EXPECT_EQ(Item("one.zip")->type, ITEM_FILE);
  EXPECT_EQ(Item("two.ZIP")->type, ITEM_FILE);
  EXPECT_EQ(UnzipErrorLines(), 2);
  EXPECT_TRUE(ZipAccess().IsUnavailable());
  std::string out, error;
  EXPECT_FALSE(ZipAccess().ExtractAll(dir / "one.zip", dir.path(), error));
  ASSERT_EQ(ui.shown.size(), 1u);

  // The other load failures have their own texts.
  for (auto [state, text] : {std::pair{ZipReaderState::LoadError, "Cannot load libzip.so.4"},
                             std::pair{ZipReaderState::BadVersion, "libzip.so.4 has the wrong version number."}}) {
    auto other = std::make_unique<MissingReader>();
    other->state = state;
    ZipAccess().SetReader(std::move(other));
    std::vector<ZipEntry> entries;
    EXPECT_FALSE(ZipAccess().List(dir / "one.zip", entries, error));
    EXPECT_FALSE(ZipAccess().List(dir / "one.zip", entries, error));
    ASSERT_EQ(ui.shown.size(), state == ZipReaderState::LoadError ? 2u : 3u);
    EXPECT_EQ(ui.shown.back().text.rfind(text, 0), 0u) << ui.shown.back().text;
  }
}

class ReentrantReader : public MissingReader {
 public:
  bool innerResult = true;
  ZipReaderState Load() override { return ZipReaderState::Ready; }
  bool List(const std::string& archive, std::vector<ZipEntry>& entries, std::string&) override {
    std::string error;
    innerResult = ZipAccess().List(archive, entries, error);
    return true;
  }
};

TEST_F(ArchiveScan, BusyReaderRefusesReentry) {
  auto reader = std::make_unique<ReentrantReader>();
  ReentrantReader* raw = reader.get();
  ZipAccess().SetReader(std::move(reader));
  std::vector<ZipEntry> entries;
  std::string error;
  EXPECT_TRUE(ZipAccess().List("x.zip", entries, error));
  EXPECT_FALSE(raw->innerResult);
  EXPECT_FALSE(ZipAccess().IsBusy());
}

TEST_F(ArchiveScan, DescribedMemberIsExtractedThenDeleted) {
  REQUIRE_TOOL("convert");
  REQUIRE_TOOL("zip");
  ASSERT_TRUE(RunIn(dir.path(), "convert -size 40x20 xc:red pic.bmp && chmod 444 pic.bmp && zip -q p.zip pic.bmp && "
                                "rm -f pic.bmp"));
  ASSERT_TRUE(ResetTempWorkDirectory());
  Scan(true);
  const CFileItem* pic = Item("pic.bmp");
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->isArchive, 1u);
  EXPECT_NE(pic->description.find("40 x 20"), std::string::npos) << pic->description;
  EXPECT_NE(pic->thumbnail, nullptr);
  EXPECT_TRUE(TreeEntries(TempWorkDirectory()).empty());
}

}  // namespace
