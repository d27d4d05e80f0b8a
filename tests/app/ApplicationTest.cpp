// Start-up and exit: the last catalog, the command line, the settings
// written back with the "VarnFile" rule, filters and search history.
#include "app/Application.h"

#include <filesystem>

#include "app/DocumentTestUtil.h"
#include "platform/FakePlatform.h"
#include "ports/TempDir.h"

namespace {

using namespace doctest;
namespace fs = std::filesystem;

class App : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ini = dir + "/Quolvane.ini";
    fake.drives = {{"/media/cdrom", DriveType::CdRom, "/dev/sr0"}};
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Catalog(const std::string& name) {
    CFileItemList list = SampleCatalog();
    const std::string path = dir + "/" + name;
    SaveCatalogFile(list, path);
    return path;
  }
  std::string Ini() const { return ReadBytes(ini); }

  std::string dir, ini;
  FakePlatform fake;
  ScopedPlatform scoped{fake};
  ScriptedUi ui;
};

TEST_F(App, FirstStartAndExit) {
  CQuolvaneApp app;
  ASSERT_TRUE(app.InitInstance(ini, "", ui));
  EXPECT_EQ(app.settings.filters.filters.size(), 3u);
  EXPECT_EQ(app.settings.filters.current, kNoFilter);
  EXPECT_TRUE(app.applicationsLoaded);  // the shipped Applis.dat
  ASSERT_TRUE(app.document);
  EXPECT_TRUE(app.document->IsUntitled());
  EXPECT_FALSE(app.document->IsModified());
  const std::string temp = TempWorkDirectory();
  EXPECT_TRUE(fs::is_directory(temp));

  app.settings.searchHistory.Add("*.mp3");
  ASSERT_TRUE(app.ExitInstance());
  EXPECT_FALSE(fs::exists(temp));
  const std::string text = Ini();
  EXPECT_NE(text.find("LoadLastUsed=1"), std::string::npos);
  EXPECT_NE(text.find("ScanDescrBpp=8"), std::string::npos);
  EXPECT_EQ(text.find("VarnFile"), std::string::npos);  // the catalog was untitled
  EXPECT_EQ(text.find("File1"), std::string::npos);
  EXPECT_NE(text.find("Search 1=*.mp3"), std::string::npos);
  EXPECT_NE(text.find("[Filters]"), std::string::npos);
  EXPECT_NE(text.find("Item 2=Movies,1,avi,mpg,mpeg,mov"), std::string::npos);
  EXPECT_NE(text.find("Current=-1"), std::string::npos);
}

TEST_F(App, TheLastCatalogIsReopenedAndRemembered) {
  const std::string a = Catalog("a.qvd");
  WriteBytes(ini, "[Config]\r\nVarnFile=" + a + "\r\n");
  {
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    EXPECT_EQ(app.document->list.size(), 6u);
    EXPECT_EQ(app.document->PathName(), a);
    EXPECT_FALSE(app.document->IsModified());
    // Save as another file: that one is remembered.
    ASSERT_TRUE(app.document->SaveAsPath(dir + "/b.qvd"));
    app.ExitInstance();
  }
  EXPECT_NE(Ini().find("VarnFile=" + dir + "/b.qvd"), std::string::npos);
  EXPECT_NE(Ini().find("File1=" + dir + "/b.qvd"), std::string::npos);
  EXPECT_NE(Ini().find("File2=" + a), std::string::npos);
  {
    // Quitting with changes that are discarded keeps the previous value.
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    EXPECT_EQ(app.document->PathName(), dir + "/b.qvd");
    app.document->Rename(0, "Changed");
    app.document->OpenPath(a);
    app.document->SetModifiedFlag();
    app.ExitInstance();
  }
  EXPECT_NE(Ini().find("VarnFile=" + dir + "/b.qvd"), std::string::npos);
  {
    // With LoadLastUsed 0 a new catalog starts whatever VarnFile says.
    CIniFile file;
    file.Load(ini);
    file.SetInt("Config", "LoadLastUsed", 0);
    file.Save(ini);
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    EXPECT_EQ(app.document->list.size(), 0u);
    EXPECT_TRUE(app.document->IsUntitled());
    app.ExitInstance();
  }
  // The value read nothing, but it is kept for when the option comes back.
  EXPECT_NE(Ini().find("VarnFile=" + dir + "/b.qvd"), std::string::npos);
}

TEST_F(App, CommandLineCatalog) {
  const std::string a = Catalog("cmd.qvd");
  CQuolvaneApp app;
  app.InitInstance(ini, a, ui);
  EXPECT_EQ(app.document->PathName(), a);
  EXPECT_EQ(app.document->list.size(), 6u);
  EXPECT_FALSE(app.document->IsModified());
  app.ExitInstance();

  // A catalog that cannot be opened is reported; the program starts anyway.
  CQuolvaneApp other;
  EXPECT_TRUE(other.InitInstance(ini, dir + "/missing.qvd", ui));
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(other.document->list.size(), 0u);
  other.ExitInstance();
}

TEST_F(App, FiltersRoundTripAndTheExactSectionLine) {
  {
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    CFilterState& f = app.settings.filters;
    f.DeleteFilter(1);
    f.AddFilter(Filter{{"txt", "", "doc"}, "Texts", 0});
    ASSERT_TRUE(f.ApplyComboChoice(2, ""));
    app.ExitInstance();
  }
  std::string text = Ini();
  EXPECT_NE(text.find("Item 1=Movies,1,avi,mpg,mpeg,mov"), std::string::npos);
  EXPECT_NE(text.find("Item 2=Texts,0,txt,doc"), std::string::npos);
  EXPECT_NE(text.find("Current=2"), std::string::npos);
  {
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    const CFilterState& f = app.settings.filters;
    ASSERT_EQ(f.filters.size(), 3u);
    EXPECT_EQ(f.current, 2);
    EXPECT_EQ(f.TypedText(), "Texts");
    EXPECT_EQ(f.filters[2].extensions, (std::vector<std::string>{"txt", "doc"}));
    EXPECT_EQ(f.FilterShowsEmptyContainers(), 0);
    // A typed pattern is not kept: it reads back as no filter.
    app.settings.filters.ApplyComboChoice(kTypedPattern, "*.txt");
    app.settings.filters.DeleteFilter(0);
    app.settings.filters.DeleteFilter(0);
    app.ExitInstance();
  }
  text = Ini();
  EXPECT_NE(text.find("Current=-2"), std::string::npos);
  EXPECT_NE(text.find("Item 0=Texts,0,txt,doc"), std::string::npos);
  // No stale filter follows.
  EXPECT_EQ(text.find("Movies"), std::string::npos);
  EXPECT_EQ(text.find("Item 2=Texts"), std::string::npos);
  {
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    EXPECT_EQ(app.settings.filters.current, kNoFilter);
    EXPECT_EQ(app.settings.filters.filters.size(), 1u);
    app.ExitInstance();
  }
  // A header that is not exactly "[Filters]" does not count: the defaults
  // come back in front of the stored filters.
  std::string lower = Ini();
  lower.replace(lower.find("[Filters]"), 9, "[filters]");
  WriteBytes(ini, lower);
  CQuolvaneApp app;
  app.InitInstance(ini, "", ui);
  EXPECT_EQ(app.settings.filters.filters.size(), 4u);
  app.ExitInstance();
}

TEST_F(App, UseLastFilterZeroStartsWithNoFilter) {
  WriteBytes(ini, "[Config]\nUseLastFilter=0\n[Filters]\nCurrent=0\nItem 0=Pictures,1,jpg,gif\n");
  CQuolvaneApp app;
  app.InitInstance(ini, "", ui);
  ASSERT_EQ(app.settings.filters.filters.size(), 1u);
  EXPECT_EQ(app.settings.filters.filters[0].extensions.size(), 2u);
  EXPECT_EQ(app.settings.filters.current, kNoFilter);
  app.ExitInstance();
}

TEST_F(App, SearchHistorySurvivesARestart) {
  {
    CQuolvaneApp app;
    app.InitInstance(ini, "", ui);
    for (int i = 0; i < 11; ++i) app.settings.searchHistory.Add("text " + std::to_string(i));
    app.settings.searchHistory.Add("text 3");
    app.ExitInstance();
  }
  const std::string text = Ini();
  EXPECT_NE(text.find("Search 1=text 3"), std::string::npos);
  EXPECT_NE(text.find("Search 10=text 1"), std::string::npos);
  EXPECT_EQ(text.find("text 0"), std::string::npos);
  CQuolvaneApp app;
  app.InitInstance(ini, "", ui);
  ASSERT_EQ(app.settings.searchHistory.ComboEntries().size(), 10u);
  EXPECT_EQ(app.settings.searchHistory.ComboEntries().front(), "text 3");
  app.ExitInstance();
}

}  // namespace
