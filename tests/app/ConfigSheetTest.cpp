// The settings sheet's rules without its window: size estimate, depth list,
// language choice and the take-over rule.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ConfigSheet.h"
#include "app/Settings.h"
#include "i18n/Translator.h"
#include "query/ScriptedUi.h"
#include "support/TestDir.h"

namespace {

struct EnglishTables {
  EnglishTables() { Translator().current = LANG_ENGLISH; }
};

}  // namespace

TEST(ConfigSheetTest, SizeEstimateSwitchesToKilobytesAbove9999Bytes) {
  EnglishTables english;
  EXPECT_EQ(ThumbnailSizeText("100", "100", 2), "9.8 Kb");  // 10,000 bytes
  EXPECT_EQ(ThumbnailSizeText("50", "50", 2), "2500 bytes");
  EXPECT_EQ(ThumbnailSizeText("99", "101", 2), "9999 bytes");
  EXPECT_EQ(ThumbnailSizeText("999", "999", 3), "3898.4 Kb");
  // Text that is not a number counts as 0; a depth of 1 bit divides by 8.
  EXPECT_EQ(ThumbnailSizeText("abc", "100", 2), "0 bytes");
  EXPECT_EQ(ThumbnailSizeText("10", "10", 0), "12 bytes");
}

TEST(ConfigSheetTest, DepthListPositionsAndUnlistedDepthShowsEightBits) {
  EXPECT_EQ(BppPosition(1), 0);
  EXPECT_EQ(BppPosition(32), 3);
  EXPECT_EQ(BppPosition(16), 2);
  EXPECT_EQ(BppOfPosition(1), 4);
  EXPECT_EQ(BppOfPosition(7), 8);
}

TEST(ConfigSheetTest, StoredSixteenBitsSavedAsEightOnlyWhenThePageWasTakenOver) {
  ConfigSettings config;
  config.scanDescrBpp = 16;
  config.scanDescrAudio = 0;
  CConfigSheet untouched(config, "", "");
  EXPECT_EQ(untouched.descr.bppPosition, 2);
  EXPECT_FALSE(untouched.descr.scanDescrAudio);
  ConfigSettings out = config;
  untouched.Close(true, out);
  EXPECT_EQ(out.scanDescrBpp, 16);  // the page was never shown: its values stay
  EXPECT_EQ(out.scanDescrAudio, 0);
  EXPECT_EQ(out.scanDescrVideo, 1);

  CConfigSheet visited(config, "", "");
  visited.TakeOver(visited.descr);
  out = config;
  visited.Close(true, out);
  EXPECT_EQ(out.scanDescrBpp, 8);
}

TEST(ConfigSheetTest, LanguageChoiceOnOkAndCancel) {
  ConfigSettings config;
  CConfigSheet sheet(config, "US", "");
  EXPECT_EQ(sheet.launch.language, LanguageChoice::English);
  LaunchPageValues launch = sheet.launch;
  launch.language = LanguageChoice::French;
  launch.langFile = "/tmp/old.DIC";
  sheet.TakeOver(launch);
  CConfigSheet::Language chosen = sheet.Close(true, config);
  EXPECT_EQ(chosen.language, "FR");
  EXPECT_EQ(chosen.langFile, "");

  // "File" without a path empties both.
  CConfigSheet file(config, "FR", "");
  launch.language = LanguageChoice::File;
  launch.langFile.clear();
  file.TakeOver(launch);
  chosen = file.Close(true, config);
  EXPECT_EQ(chosen.language, "");
  EXPECT_EQ(chosen.langFile, "");

  // Cancel writes back what was stored.
  CConfigSheet cancelled(config, "XX", "/data/de.DIC");
  EXPECT_EQ(cancelled.launch.language, LanguageChoice::File);
  launch.language = LanguageChoice::English;
  cancelled.TakeOver(launch);
  chosen = cancelled.Close(false, config);
  EXPECT_EQ(chosen.language, "XX");
  EXPECT_EQ(chosen.langFile, "/data/de.DIC");
}

TEST(ConfigSheetTest, PageValuesGoBackWhateverButtonClosedTheSheet) {
  ConfigSettings config;
  CConfigSheet sheet(config, "", "");
  ScanPageValues scan = sheet.scan;
  scan.scanApplis = false;
  sheet.TakeOver(scan);  // the user left the page, then cancelled
  DescrPageValues descr = sheet.descr;
  descr.width = "4x";
  descr.height = "";
  descr.pictures[1] = false;  // Gif
  descr.scanDescrVideo = false;
  sheet.TakeOver(descr);
  sheet.Close(false, config);
  EXPECT_EQ(config.scanApplis, 0);
  EXPECT_EQ(config.scanDescrWidth, 4);
  EXPECT_EQ(config.scanDescrHeight, 0);
  EXPECT_EQ(config.scanDescrGif, 0);
  EXPECT_EQ(config.scanDescrPng, 1);
  EXPECT_EQ(config.scanDescrBpp, 8);
  EXPECT_EQ(config.scanDescrVideo, 0);
  EXPECT_EQ(config.scanDescrAudio, 1);
}

TEST(ConfigSheetTest, CloseWritesLanguageToTheSettingsFileAtOnce) {
  const std::filesystem::path dir = testsupport::MakeTestDirectory("qv-configsheet");
  const std::string path = (dir / "ConfigSheetTest.ini").string();
  CAppSettings settings;
  settings.path = path;
  settings.ini.Parse("[Config]\nLanguage=US\nLangFile=\n");
  CConfigSheet sheet(settings.config, "US", "");
  LaunchPageValues launch = sheet.launch;
  launch.language = LanguageChoice::French;
  sheet.TakeOver(launch);
  ASSERT_TRUE(CloseConfigSheet(sheet, true, settings));
  CIniFile written;
  ASSERT_TRUE(written.Load(path));
  EXPECT_EQ(written.GetString("Config", "Language"), "FR");
  EXPECT_EQ(written.GetString("Config", "LangFile"), "");
  std::filesystem::remove_all(dir);
}

TEST(ConfigSheetTest, SaveMessagesWritesTheBuiltinTableOrReportsTheFailure) {
  ScriptedUi ui;
  const std::filesystem::path dir = testsupport::MakeTestDirectory("qv-configsheet");
  ui.files.push_back((dir / "french.DIC").string());
  ASSERT_TRUE(SaveBuiltinMessages(ui, LANG_FRENCH));
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_TRUE(ui.fileRequests[0].save);
  EXPECT_EQ(ui.fileRequests[0].defaultExtension, "DIC");
  CMessageTranslator t;
  EXPECT_TRUE(t.LoadLanguageFile((dir / "french.DIC").string()));
  std::filesystem::remove_all(dir);
  EXPECT_EQ(t.Lookup("$$French"), "Français");

  ui.files.push_back(std::string("/nonexistent-dir/x.DIC"));
  EXPECT_FALSE(SaveBuiltinMessages(ui, LANG_ENGLISH));
  EXPECT_EQ(ui.boxes.size(), 1u);
}
