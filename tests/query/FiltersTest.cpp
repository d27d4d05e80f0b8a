#include "query/Filters.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/FilterEditing.h"
#include "query/Panes.h"
#include "query/ScriptedUi.h"

namespace {

struct FakeStore {
  bool section = false;
  std::map<std::string, std::string> values;
  FilterStorage Storage() {
    return {[this] { return section; },
            [this](const std::string& k) {
              auto it = values.find(k);
              return it == values.end() ? std::string() : it->second;
            },
            [this](const std::string& k, const std::string& v) { values[k] = v; }};
  }
};

class Filters : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", 1033);
  }
};

TEST_F(Filters, FirstStartCreatesTheDefaultsAndSavesThem) {
  FakeStore store;
  CFilterState state;
  state.Load(store.Storage());
  ASSERT_EQ(state.filters.size(), 3u);
  EXPECT_EQ(state.filters[0].name, "Pictures");
  EXPECT_EQ(state.current, kNoFilter);
  state.Save(store.Storage());
  EXPECT_EQ(store.values["Item 0"], "Pictures,1,jpg,gif,bmp,tif,png,pcx,psp,psd");
  EXPECT_EQ(store.values["Item 2"], "Movies,1,avi,mpg,mpeg,mov");
  EXPECT_EQ(store.values["Current"], "-1");
}

TEST_F(Filters, StoredValuesReadBack) {
  FakeStore store;
  store.section = true;
  store.values = {{"Current", "1"}, {"Item 0", "Pictures,1,jpg,gif"}, {"Item 1", "Docs,0,txt"},
                  {"Item 2", "NoComma"}, {"Item 4", "Skipped"}};
  CFilterState state;
  state.Load(store.Storage());
  ASSERT_EQ(state.filters.size(), 3u);
  EXPECT_EQ(state.filters[0].extensions, (std::vector<std::string>{"jpg", "gif"}));
  EXPECT_EQ(state.filters[0].showEmptyDirectories, 1);
  EXPECT_EQ(state.filters[1].showEmptyDirectories, 0);
  EXPECT_EQ(state.filters[2].name, "NoComma");
  EXPECT_EQ(state.filters[2].showEmptyDirectories, 1);
  EXPECT_TRUE(state.filters[2].extensions.empty());
  EXPECT_EQ(state.current, 1);

  CFilterState noLast;
  noLast.Load(store.Storage(), false);
  EXPECT_EQ(noLast.current, kNoFilter);

  store.values["Current"] = "-2";
  CFilterState typed;
  typed.Load(store.Storage());
  EXPECT_EQ(typed.current, kNoFilter);
}

TEST_F(Filters, DeletingBlanksStaleItemsAndKeepsTheCurrentIndexValid) {
  FakeStore store;
  CFilterState state;
  state.Load(store.Storage());
  state.Save(store.Storage());
  state.current = 2;
  state.DeleteFilter(1);
  EXPECT_EQ(state.current, 1);  // moved down with its filter
  EXPECT_EQ(state.filters[1].name, "Movies");
  state.DeleteFilter(1);
  EXPECT_EQ(state.current, kNoFilter);
  state.Save(store.Storage());
  EXPECT_EQ(store.values["Item 0"].substr(0, 9), "Pictures,");
  EXPECT_EQ(store.values["Item 1"], "");
  EXPECT_EQ(store.values["Item 2"], "");
}

TEST_F(Filters, MatchingByExtensionAndTypedPattern) {
  FakeStore store;
  CFilterState state;
  state.Load(store.Storage());
  state.current = 1;  // Sounds
  EXPECT_EQ(state.FilterMatchesFile("SONG.MP3"), 1);
  EXPECT_EQ(state.FilterMatchesFile("song.mp3.bak"), 0);
  EXPECT_EQ(state.FilterMatchesFile("mp3"), 0);
  EXPECT_TRUE(state.ApplyComboChoice(kTypedPattern, "*.txt"));
  EXPECT_EQ(state.current, kTypedPattern);
  EXPECT_EQ(state.FilterMatchesFile("README.TXT"), 1);
  EXPECT_EQ(state.FilterMatchesFile("a.doc"), 0);
  EXPECT_EQ(state.FilterShowsEmptyContainers(), 0);
  // The same text again changes nothing.
  EXPECT_FALSE(state.ApplyComboChoice(kTypedPattern, "*.txt"));
  EXPECT_TRUE(state.ApplyComboChoice(0, "Pictures"));
  EXPECT_EQ(state.TypedText(), "Pictures");
  EXPECT_FALSE(state.ApplyComboChoice(0, "Pictures"));
  // Choosing "No filter" from the list turns the filter off.
  EXPECT_TRUE(state.ApplyComboChoice(kNoFilter, ""));
  EXPECT_EQ(state.current, kNoFilter);
  EXPECT_EQ(state.TypedText(), "No filter");
  EXPECT_EQ(state.FilterMatchesFile("a.doc"), 1);
  EXPECT_FALSE(state.ApplyComboChoice(kNoFilter, ""));
  // Leaving the combo with its text unchanged keeps the choice.
  EXPECT_FALSE(state.ApplyComboChoice(kTypedPattern, "No filter"));
  // An empty typed pattern lets every file through.
  EXPECT_TRUE(state.ApplyComboChoice(kTypedPattern, ""));
  EXPECT_EQ(state.FilterMatchesFile("a.doc"), 1);
  // Extensions compare without regard to case beyond ASCII too.
  state.filters.push_back({{"\xC3\xA9t\xC3\xA9"}, "Accents", 1});
  state.ApplyComboChoice(3, "");
  EXPECT_EQ(state.FilterMatchesFile("x.\xC3\x89T\xC3\x89"), 1);
  EXPECT_EQ(state.FilterMatchesFile("x.ete"), 0);
}

TEST_F(Filters, TheComboAppliesItsPendingChoiceOnEnterOrFocusLoss) {
  FakeStore store;
  CFilterState state;
  state.Load(store.Storage());
  // Focus gained, "*.txt" typed, focus lost: the typed pattern applies once.
  state.ComboFocusIn();
  EXPECT_TRUE(state.ApplyPendingComboChoice("*.txt"));
  EXPECT_EQ(state.current, kTypedPattern);
  EXPECT_EQ(state.TypedText(), "*.txt");
  state.ComboFocusIn();
  EXPECT_FALSE(state.ApplyPendingComboChoice("*.txt"));
  // A list entry chosen is what applies, whatever the text says.
  state.ComboChoose(1);
  EXPECT_TRUE(state.ApplyPendingComboChoice("*.doc"));
  EXPECT_EQ(state.current, 1);
  EXPECT_EQ(state.pendingChoice, kTypedPattern);
  // Leaving the combo showing the filter's name keeps it.
  EXPECT_FALSE(state.ApplyPendingComboChoice("Sounds"));
  // A typed entry text chooses that entry rather than a pattern.
  EXPECT_TRUE(state.ApplyPendingComboChoice("No filter"));
  EXPECT_EQ(state.current, kNoFilter);
}

TEST_F(Filters, SectionTestLooksForTheExactLine) {
  const std::string path = ::testing::TempDir() + "/filters-section.ini";
  auto write = [&](const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  };
  write("[Config]\r\nLoadLastUsed=1\r\n[Filters]\r\nCurrent=-1\r\n");
  EXPECT_TRUE(SettingsFileHasFiltersSection(path));
  write("[filters]\nCurrent=-1\n [Filters]\n");
  EXPECT_FALSE(SettingsFileHasFiltersSection(path));
  std::remove(path.c_str());
  EXPECT_FALSE(SettingsFileHasFiltersSection(path));
}

TEST_F(Filters, ListEditingAsksAndKeepsTheComboConsistent) {
  FakeStore store;
  CFilterState state;
  state.Load(store.Storage());
  ScriptedUi ui;
  CFilterListEditor editor(state, ui);

  // New: Cancel and an empty name add nothing; a comma in the name would
  // split it when read back, so it is stored as a blank.
  EXPECT_FALSE(editor.New());
  ui.filterDialogs.push_back(Filter{{"txt"}, "", 0});
  EXPECT_FALSE(editor.New());
  ui.filterDialogs.push_back(Filter{{"txt", "doc"}, "Texts, docs", 0});
  EXPECT_TRUE(editor.New());
  ASSERT_EQ(editor.Names().size(), 4u);
  EXPECT_EQ(editor.Names()[3], "Texts  docs");
  state.Save(store.Storage());
  EXPECT_EQ(store.values["Item 3"], "Texts  docs,0,txt,doc");

  // Renaming the current filter renames the combo text with it.
  ASSERT_TRUE(state.ApplyComboChoice(3, ""));
  ui.filterDialogs.push_back(Filter{{"txt"}, "Plain", 0});
  EXPECT_TRUE(editor.Modify(3));
  EXPECT_FALSE(state.ApplyComboChoice(kTypedPattern, "Plain"));
  EXPECT_EQ(state.current, 3);

  // Delete asks; Cancel keeps the filter.
  ui.answers = {IDCANCEL};
  EXPECT_FALSE(editor.Delete(0));
  EXPECT_EQ(ui.boxes.back().text, "Do you really want to delete Pictures ?");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_OKCANCEL | MB_ICONEXCLAMATION));
  EXPECT_TRUE(editor.Delete(0));
  EXPECT_EQ(state.current, 2);  // moved down with its filter
  EXPECT_EQ(state.filters[2].name, "Plain");

  // The filter dialog's extension buttons.
  Filter f{{"jpg"}, "Pics", 1};
  ui.extensions.push_back(std::string("PNG"));
  EXPECT_TRUE(AddFilterExtension(ui, f));
  EXPECT_FALSE(AddFilterExtension(ui, f));
  EXPECT_EQ(f.extensions, (std::vector<std::string>{"jpg", "PNG"}));
  ui.answers = {IDCANCEL};
  EXPECT_FALSE(DeleteFilterExtension(ui, f, 0));
  EXPECT_EQ(ui.boxes.back().text, "Do you really want to delete the extension jpg ?");
  EXPECT_TRUE(DeleteFilterExtension(ui, f, 0));
  EXPECT_EQ(f.extensions, (std::vector<std::string>{"PNG"}));
  EXPECT_FALSE(DeleteFilterExtension(ui, f, 5));
}

void Add(CFileItemList& list, uint8_t type, const std::string& name, int16_t level) {
  list.items.push_back(std::make_unique<CFileItem>(type, name, 0, 0, level, 0));
}

TEST_F(Filters, WhatThePanesShow) {
  CFileItemList list;
  Add(list, ITEM_FOLDER, "Folder", 0);  // 0
  Add(list, ITEM_MEDIA, "Disc", 1);     // 1
  Add(list, ITEM_FILE, "a.txt", 2);     // 2
  Add(list, ITEM_DIRECTORY, "docs", 2); // 3
  Add(list, ITEM_FILE, "b.txt", 3);     // 4
  Add(list, ITEM_DIRECTORY, "pics", 2); // 5
  Add(list, ITEM_FILE, "c.jpg", 3);     // 6
  Add(list, ITEM_ARCHIVE_ENTRY, "z.zip", 2);  // 7
  Add(list, ITEM_FILE, "m.doc", 3);           // 8
  Add(list, ITEM_MEDIA, "Empty", 0);    // 9
  list.RebuildContainerIndex();

  CFilterState none;
  EXPECT_EQ(FileListItems(list, 1, none), (std::vector<size_t>{2, 3, 5, 7}));
  EXPECT_EQ(TreeItems(list, none, true), (std::vector<size_t>{0, 1, 3, 5, 7, 9}));
  EXPECT_EQ(TreeItems(list, none, false), (std::vector<size_t>{0, 1, 9}));

  CFilterState typed;
  typed.ApplyComboChoice(kTypedPattern, "*.txt");
  EXPECT_EQ(FileListItems(list, 1, typed), (std::vector<size_t>{2}));
  // Containers without a passing file are hidden; folders never are.
  EXPECT_EQ(TreeItems(list, typed, true), (std::vector<size_t>{0, 1, 3}));
  typed.subtreeFlag = true;
  EXPECT_TRUE(FlatFilteredMode(typed));
  EXPECT_EQ(FileListItems(list, 3, typed), (std::vector<size_t>{2, 4}));
  EXPECT_EQ(ApplicationListItems(list, 1), (std::vector<size_t>{}));
  EXPECT_TRUE(FileListItems(list, -1, none).empty());  // the root lists nothing

  // Where "Go to" lands.
  EXPECT_EQ(TreeNodeOf(list, 4, true), 3);   // a file: its directory
  EXPECT_EQ(TreeNodeOf(list, 3, true), 3);   // a directory: itself
  EXPECT_EQ(TreeNodeOf(list, 3, false), 1);  // no directories in applications mode
  EXPECT_EQ(TreeNodeOf(list, 1, false), 1);
  EXPECT_EQ(TreeNodeOf(list, 99, true), -1);
  auto app = std::make_unique<CFileItemAppli>(*list[5]);
  list.Replace(5, std::move(app));
  EXPECT_EQ(TreeNodeOf(list, 5, false), 1);  // an application: its media
  EXPECT_EQ(ApplicationListItems(list, 0), (std::vector<size_t>{5}));

  // An application row, column by column, and its Install entry.
  auto* pics = static_cast<CFileItemAppli*>(list[5]);
  pics->description = "Picture tool\r\n";
  pics->appTime = 1600000000;
  pics->appSize = 3 * 1024;
  const std::vector<std::string> row = {"Picture tool", FormatItemTime(1600000000), "3 Ko", ""};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(ListColumnText(*pics, false, c), row[static_cast<size_t>(c)]) << c;
  auto installEnabled = [&] {
    for (const MenuEntry& e : TreeContextMenu(list, 5))
      if (e.key == "IDS_INSTALL") return e.enabled;
    ADD_FAILURE() << "no Install entry";
    return false;
  };
  EXPECT_FALSE(installEnabled());
  pics->installProgram = "SETUP.EXE";
  EXPECT_EQ(ListColumnText(*pics, false, 3), "SETUP.EXE");
  EXPECT_TRUE(installEnabled());
}

}  // namespace
