#include "scan/Applications.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "ports/TempDir.h"
#include "cabinet/ArchiveFixtures.h"
#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "describe/ArchiveZip.h"
#include "i18n/Translator.h"
#include "scan/DescriptionFiles.h"
#include "scan/Scanner.h"
#include "ScanTestUtil.h"

namespace {

AppSignature Sig(std::vector<std::string> required, std::string file, std::string text, std::string program) {
  return AppSignature{std::move(required), std::move(file), std::move(text), std::move(program)};
}

TEST(ApplisDat, LinesBecomeEntriesOnlyByTheRules) {
  EXPECT_EQ(ParseApplisLine("#GAME.EXE,DATA;;Space game;INSTALL.EXE"),
            Sig({"GAME.EXE", "DATA"}, "", "Space game", "INSTALL.EXE"));
  // Blanks before the hash and control characters anywhere are dropped, every
  // hash too; blanks inside fields are kept.
  EXPECT_EQ(ParseApplisLine("  \t# A.EXE ,,B#;\x01readme.txt; x ;SET#UP.EXE;ignored;more"),
            Sig({" A.EXE ", "B"}, "readme.txt", " x ", "SETUP.EXE"));
  EXPECT_EQ(ParseApplisLine("#;;;"), Sig({}, "", "", ""));
  EXPECT_EQ(ParseApplisLine("#A;b;c;"), Sig({"A"}, "b", "c", ""));
  // Not entries: no leading hash, fewer than three separators, nothing at all.
  EXPECT_FALSE(ParseApplisLine("GAME.EXE;;Space game;INSTALL.EXE"));
  EXPECT_FALSE(ParseApplisLine("x#GAME.EXE;;Space game;INSTALL.EXE"));
  EXPECT_FALSE(ParseApplisLine("#GAME.EXE;;Space game"));
  EXPECT_FALSE(ParseApplisLine(""));
  EXPECT_FALSE(ParseApplisLine("   \r"));
  // The marker cannot be written: its hashes vanish.
  EXPECT_EQ(ParseApplisLine("#;########.###;setup.ini;")->descriptionFile, ".");
}

TEST(ApplisDat, LongLinesGoOnAsNewLinesAndTheLastLineCounts) {
  const std::string longLine = "#A;;" + std::string(300, 'd') + ";";
  const std::vector<std::string> lines = SplitApplisLines(longLine + "\n#" + std::string(270, 'x') + ";;;Z");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 255u);
  EXPECT_EQ(lines[1], std::string(49, 'd') + ";");
  EXPECT_EQ(lines[3], std::string(16, 'x') + ";;;Z");

  CApplicationsDictionary dict;
  dict.LoadFromText("# one;;first;\r\n; not an entry\n#two;;second\n\n  #three;file.txt;;go.exe");
  ASSERT_EQ(dict.entries.size(), 7u);
  EXPECT_EQ(dict.entries[0], Sig({}, "File_id.diz", "", ""));
  EXPECT_EQ(dict.entries[1], Sig({}, kAppRuleMarker, "File_id.di_", ""));
  EXPECT_EQ(dict.entries[2], Sig({}, kAppRuleMarker, "dir.txt", ""));
  EXPECT_EQ(dict.entries[3], Sig({" one"}, "", "first", ""));
  EXPECT_EQ(dict.entries[4], Sig({"three"}, "file.txt", "", "go.exe"));
  EXPECT_EQ(dict.entries[5], Sig({}, kAppRuleMarker, "setup.ini", ""));
  EXPECT_EQ(dict.entries[6], Sig({}, kAppRuleMarker, "setup.lst", ""));

  ScratchDir dir;
  EXPECT_FALSE(dict.Load(dir / "missing.dat"));
  ASSERT_EQ(dict.entries.size(), 5u);
  EXPECT_EQ(dict.entries[3], Sig({}, kAppRuleMarker, "setup.ini", ""));
  EXPECT_TRUE(dict.Load(dir.Write("Applis.dat", "#GAME.EXE;;Game;\n")));
  EXPECT_EQ(dict.entries.size(), 6u);
  EXPECT_TRUE(Applications().LoadDefault());  // the shipped file is found
  EXPECT_GT(Applications().entries.size(), 5u);
}

TEST(DescriptionFiles, DirTxtAndSetupRules) {
  EXPECT_EQ(DirTxtDescription("Title\r\nline two\r\nline three\r\nAuthor\r\nline five\r\nsix\r\n"),
            "Author Title\r\nline two\r\nline three\r\nline five");
  const std::string fifty = "12345678901234567890123456789012345678901234567890";
  EXPECT_EQ(DirTxtDescription(fifty + "\n\nthird"), fifty.substr(0, 37) + "...\r\n" + fifty);
  EXPECT_EQ(DirTxtDescription("short"), "short...\r\nshort");
  EXPECT_EQ(DirTxtDescription("\xE9t\xE9\n"), "\xC3\xA9t\xC3\xA9...\r\n\xC3\xA9t\xC3\xA9");

  const std::string ini = "[Other]\nAppName=Wrong\n  [startup]  \nAppNameX\nAppName = My App \r\nAppName=Second\n";
  EXPECT_EQ(SetupFileValue(ini, "[Startup]", "AppName"), " My App");
  EXPECT_EQ(SetupFileValue("[Other]\nAppName=Wrong\n", "[Startup]", "AppName"), "");
  EXPECT_EQ(SetupFileValue("[Startup]\nName=x\n[Next]\nappname=Later\n", "[Startup]", "AppName"), "Later");
  EXPECT_EQ(SetupFileValue("[Setup]\nTitle=Tool=Kit\n", "[Setup]", "Title"), "Tool=Kit");
  EXPECT_EQ(DescriptionText(std::string("abc\0def", 7)), "abc");
}

class ApplicationPass : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", LANG_ENGLISH);
    ZipAccess().SetReader(MakeLibZipReader());
  }

  // Scans the tree (archives listed) and runs the pass with the dictionary.
  bool ScanAndSearch(const std::string& applisDat = std::string()) {
    dict.LoadFromText(applisDat);
    list.Clear();
    scantest::StartList(list, tree.str());
    ScanOptions options;
    InstallArchiveHooks(options);
    if (fatNames) options.caseInsensitiveNames = [](const std::string&) { return true; };
    CScanContext scan(list, progress, options);
    scan.ScanMedium(tree.str(), 1);
    return SearchApplications(dict, list, 0, stopped, &progress);
  }
  bool fatNames = false;  // scan as if the names were those of a FAT medium
  const CFileItemAppli* App(const std::string& name) const {
    const CFileItem* item = scantest::Find(list, name);
    return item && item->IsApplication() ? static_cast<const CFileItemAppli*>(item) : nullptr;
  }
  void SetTime(const std::string& rel, time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (tree.root / rel).c_str(), times, 0), 0);
  }

  scantest::TempTree tree;
  CApplicationsDictionary dict;
  CFileItemList list;
  scantest::RecordingSink sink;
  scantest::ScriptedUi ui;
  CScanProgress progress{&sink, &ui};
  bool stopped = true;
};

TEST_F(ApplicationPass, FileIdDizDescribesAndTheOnlySetupInstalls) {
  std::string diz(3000, 'd');
  diz.replace(0, 12, "Great tool\r\n");
  tree.File("Tool/FILE_ID.DIZ", diz);  // catalogued as File_id.diz, found on disk in any case
  tree.File("Tool/setup.EXE", "MZ");
  tree.File("Tool/other.exe", "MZ");
  tree.File("Tool/data.bin", "12345");
  ASSERT_TRUE(ScanAndSearch());
  EXPECT_FALSE(stopped);
  const CFileItemAppli* app = App("Tool");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->description, diz.substr(0, 2047));
  EXPECT_EQ(app->installProgram, tree.str() + "/Tool/setup.EXE");
  EXPECT_EQ(app->appSize, 3000u + 2 + 2 + 5);
  EXPECT_EQ(app->GetTitle(), "Great tool");
  EXPECT_TRUE(sink.applicationMode);
  EXPECT_EQ(sink.applications, 1);
}

TEST_F(ApplicationPass, CompressedDizIsExpanded) {
  REQUIRE_TOOL("mscompress");
  tree.File("Pack/d/File_id.diz", "Packed description\r\n");
  ASSERT_TRUE(RunIn((tree.root / "Pack/d").string(), "mscompress File_id.diz && mv File_id.diz_ ../File_id.di_"));
  std::filesystem::remove_all(tree.root / "Pack/d");
  ASSERT_TRUE(ScanAndSearch());
  ASSERT_NE(App("Pack"), nullptr);
  EXPECT_EQ(App("Pack")->description, "Packed description\r\n");
  EXPECT_EQ(App("Pack")->installProgram, "");
}

TEST_F(ApplicationPass, DirTxtNamedAfterTheDirectoryInAnyCase) {
  tree.File("Games/GAMES.TXT", "Doom\r\nA shooter\r\nby id\r\nId Software\r\n1993\r\n");
  tree.File("Games/a.exe", "MZ");
  tree.File("Games/b.exe", "MZ");
  ASSERT_TRUE(ScanAndSearch());
  ASSERT_NE(App("Games"), nullptr);
  EXPECT_EQ(App("Games")->description, "Id Software Doom\r\nA shooter\r\nby id\r\n1993");
  // Two executables and no setup or install program: none is chosen.
  EXPECT_EQ(App("Games")->installProgram, "");
}

TEST_F(ApplicationPass, SetupFilesNeedTheirSectionAndKey) {
  tree.File("WithIni/setup.ini", "[Startup]\r\nAppName=Word Processor\r\n");
  tree.File("NoSection/SETUP.INI", "[Other]\r\nAppName=Nothing\r\n");
  tree.File("NoKey/setup.ini", "[Startup]\r\nName=Nothing\r\n");
  tree.File("WithLst/Setup.lst", "[Params]\r\nTitle=No\r\n[Setup]\r\nTitle=Spreadsheet\r\n");
  ASSERT_TRUE(ScanAndSearch());
  ASSERT_NE(App("WithIni"), nullptr);
  EXPECT_EQ(App("WithIni")->description, "Word Processor");
  ASSERT_NE(App("WithLst"), nullptr);
  EXPECT_EQ(App("WithLst")->description, "Spreadsheet");
  EXPECT_EQ(App("NoSection"), nullptr);
  EXPECT_EQ(App("NoKey"), nullptr);
}

TEST_F(ApplicationPass, DictionaryEntriesRequireFilesAndTakeTheLastOnesDate) {
  tree.File("Space/GAME.EXE", "MZ");
  tree.Dir("Space/data");
  tree.File("Space/Install.exe", "MZ");
  tree.File("Space/notes.txt", "Space notes");
  tree.File("Half/GAME.EXE", "MZ");
  SetTime("Space/GAME.EXE", 1000000000);
  SetTime("Space/data", 1100000000);
  const std::string applis = "#GAME.EXE,DATA;;Space game;INSTALL.EXE\n#NOTES.TXT;notes.txt;;\n";
  ASSERT_TRUE(ScanAndSearch(applis));
  const CFileItemAppli* app = App("Space");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->description, "Space game");
  EXPECT_EQ(app->installProgram, tree.str() + "/Space/Install.exe");
  EXPECT_EQ(app->appTime, 1100000000u);
  EXPECT_EQ(App("Half"), nullptr);

  // The first matching signature wins; a later one would describe it by its notes.
  dict.LoadFromText("#NOTES.TXT;notes.txt;;\n#GAME.EXE,DATA;;Space game;INSTALL.EXE\n");
  size_t index = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->name == "Space") index = i;
  auto notes = MatchApplication(dict, list, index);
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ(notes->description, "Space notes");
  EXPECT_EQ(notes->installProgram, tree.str() + "/Space/Install.exe");
}

TEST_F(ApplicationPass, NestedApplicationsAndUnreadableFilesRejectOnlyTheirSignature) {
  tree.File("Suite/File_id.diz", "The suite");
  tree.File("Suite/Word/File_id.diz", "The word processor");
  tree.File("Suite/Word/w.dat", "0123456789");
  tree.File("Gone/File_id.diz", "will vanish");
  tree.File("Gone/setup.ini", "[Startup]\nAppName=Still found\n");
  dict.LoadFromText("");
  list.Clear();
  scantest::StartList(list, tree.str());
  CScanContext scan(list, progress, ScanOptions{});
  scan.ScanMedium(tree.str(), 1);
  std::filesystem::remove(tree.root / "Gone/File_id.diz");
  ASSERT_TRUE(SearchApplications(dict, list, 0, stopped, &progress));
  ASSERT_NE(App("Suite"), nullptr);
  ASSERT_NE(App("Word"), nullptr);
  EXPECT_EQ(App("Suite")->description, "The suite");
  EXPECT_EQ(App("Suite")->appSize, 9u + 18 + 10);
  EXPECT_EQ(App("Word")->description, "The word processor");
  EXPECT_EQ(App("Word")->level, App("Suite")->level + 1);
  ASSERT_NE(App("Gone"), nullptr);
  EXPECT_EQ(App("Gone")->description, "Still found");
  EXPECT_EQ(sink.applications, 3);
  // The file that could not be read is said, with the system's reason, in
  // the log and in the medium's description.
  const std::string line = "Error : " + tree.str() + "/Gone/File_id.diz : " + std::strerror(ENOENT);
  EXPECT_EQ(sink.logLines, std::vector<std::string>{line});
  EXPECT_EQ(list[0]->description, "\r\n" + line);
}

TEST_F(ApplicationPass, DescriptionFilesInsideArchivesAreExtractedThenCleanedUp) {
  // Catalogued as Game.zip from a FAT medium: the archive is found on disk
  // whatever the case.
  fatNames = true;
  ASSERT_TRUE(MakeTestZip((tree.root / "GAME.ZIP").string(),
                          {{"File_id.diz", "Zipped game"}, {"bin/SETUP.EXE", "MZ"}, {"setup.exe", "MZ1"},
                           {"inner.zip", "PK"}}));
  ASSERT_TRUE(ResetTempWorkDirectory());
  ASSERT_TRUE(ScanAndSearch());
  const CFileItemAppli* app = App("Game.zip");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->type, ITEM_ARCHIVE_ENTRY);
  EXPECT_EQ(app->description, "Zipped game");
  EXPECT_EQ(app->installProgram, "setup.exe");
  // File items only: the inner archive is a File (never expanded), the outer one is not counted.
  EXPECT_EQ(app->appSize, 11u + 2 + 3 + 2);
  EXPECT_TRUE(TreeEntries(TempWorkDirectory()).empty());
}

TEST_F(ApplicationPass, StopEndsThePassAndKeepsWhatWasFound) {
  for (const char* d : {"A", "B", "C"}) tree.File(std::string(d) + "/File_id.diz", d);
  dict.LoadFromText("");
  list.Clear();
  scantest::StartList(list, tree.str());
  CScanContext scan(list, progress, ScanOptions{});
  scan.ScanMedium(tree.str(), 1);
  progress.clock = [] { return int64_t(0); };
  sink.onPump = [&] { progress.RequestStop(); };
  ui.answers = {IDOK};
  EXPECT_FALSE(SearchApplications(dict, list, 0, stopped, &progress));
  EXPECT_TRUE(stopped);
  EXPECT_NE(App("A"), nullptr);
  EXPECT_EQ(App("C"), nullptr);

  EXPECT_FALSE(SearchApplications(dict, list, 1, stopped, &progress));  // not a media item
  EXPECT_FALSE(stopped);
}

}  // namespace
