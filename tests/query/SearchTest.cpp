#include "query/Search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "query/ListSort.h"
#include "query/ScriptedUi.h"
#include "query/SearchSession.h"

namespace {

void Add(CFileItemList& list, uint8_t type, const std::string& name, int16_t level, uint32_t size = 0,
         const std::string& description = "") {
  auto item = std::make_unique<CFileItem>(type, name, size, 0, level, 0);
  item->description = description;
  list.items.push_back(std::move(item));
}

void AddApp(CFileItemList& list, const std::string& name, int16_t level, const std::string& description) {
  auto app = std::make_unique<CFileItemAppli>();
  app->name = name;
  app->level = level;
  app->description = description;
  list.items.push_back(std::move(app));
}

// Two media; the first holds an application and some files.
CFileItemList Sample() {
  CFileItemList list;
  Add(list, ITEM_MEDIA, "Disc1", 0);                                 // 0
  Add(list, ITEM_FILE, "song.mp3", 1, 5000, "MP3 audio 128 kbit"); // 1
  Add(list, ITEM_FILE, "small.txt", 1, 102399);                     // 2
  Add(list, ITEM_FILE, "mid.txt", 1, 102400);                       // 3
  Add(list, ITEM_FILE, "big.txt", 1, 204800);                       // 4
  AddApp(list, "Tools", 1, "Great Tool\r\nfor MP3");                // 5
  Add(list, ITEM_FILE, "setup.exe", 2, 204799);                     // 6
  Add(list, ITEM_MEDIA, "Disc2", 0);                                 // 7
  Add(list, ITEM_FILE, "other.mp3", 1, 3000, "MP3 too");           // 8
  list.RebuildContainerIndex();
  return list;
}

std::vector<size_t> Find(const CFileItemList& list, long start, SearchCriteria c) {
  PrepareSearch(c);
  std::vector<size_t> out;
  SearchCatalog(list, start, c, out);
  return out;
}

TEST(Search, AllKindsMatchWholeNamesButDescriptionSubstrings) {
  auto list = Sample();
  SearchCriteria c;
  c.text = "MP3";
  c.ignoreCase = 1;
  c.kind = SEARCH_ALL;
  // No file is named exactly MP3, but the descriptions contain it.
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{1, 5, 8}));
  c.kind = SEARCH_FILE_NAME;
  c.text = "*.MP3";
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{1, 8}));
  c.ignoreCase = 0;
  EXPECT_TRUE(Find(list, -1, c).empty());
}

TEST(Search, SizeLimitsAreInKilobytes) {
  auto list = Sample();
  SearchCriteria c;
  c.kind = SEARCH_FILE_NAME;
  c.minKb = 100;
  c.maxKb = 200;
  c.ignoreCase = 1;
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{3, 6}));
  c.kind = SEARCH_FILE_DESCRIPTION;
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{3, 6}));
  c = SearchCriteria{};
  c.kind = SEARCH_FILE_NAME;
  c.minKb = 1;
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{1, 2, 3, 4, 6, 8}));
}

TEST(Search, StaysInsideTheStartingSubtree) {
  auto list = Sample();
  SearchCriteria c;
  c.text = "*";
  c.kind = SEARCH_FILE_NAME;
  const auto found = Find(list, 0, c);
  EXPECT_EQ(found, (std::vector<size_t>{1, 2, 3, 4, 6}));
  EXPECT_EQ(Find(list, 7, c), (std::vector<size_t>{8}));
  // An item with an empty subtree finds nothing.
  EXPECT_TRUE(Find(list, 8, c).empty());
}

TEST(Search, DirectoryAndApplicationKinds) {
  auto list = Sample();
  SearchCriteria c;
  c.text = "DISC?";
  c.ignoreCase = 1;
  c.kind = SEARCH_DIRECTORY_NAME;
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{0, 7}));
  c.text = "tool";
  c.kind = SEARCH_APPLICATION_DESCRIPTION;
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{5}));
}

TEST(Search, EmptyCriteriaAndNotFoundTexts) {
  Translator().languages.clear();
  InitTranslator("", 1033);
  SearchCriteria c;
  EXPECT_FALSE(PrepareSearch(c));
  c.minKb = 1;
  EXPECT_TRUE(PrepareSearch(c));
  c.text = "abc";
  c.ignoreCase = 1;
  PrepareSearch(c);
  EXPECT_EQ(SearchNotFoundMessage(c).text, "File ABC not found !");
  EXPECT_EQ(SearchNotFoundMessage(c).caption, "Search");
  c.kind = SEARCH_APPLICATION_DESCRIPTION;
  EXPECT_EQ(SearchNotFoundMessage(c).text, "Application ABC not found !");
  EXPECT_EQ(SearchResultSortCode(SEARCH_DIRECTORY_NAME), 40);
  EXPECT_EQ(SearchResultSortCode(SEARCH_ALL), 140);
  EXPECT_EQ(SearchResultColumns(SEARCH_DIRECTORY_NAME).size(), 4u);
  EXPECT_EQ(SearchResultColumns(SEARCH_FILE_NAME).size(), 5u);
}

TEST(Search, ResultRowTexts) {
  auto list = Sample();
  list[4]->time = 86400 + 3661;  // 02/01/1970 01:01:01 UTC
  const auto row = SearchResultRowFiles(list, 4, "\\\\Disc1:");
  ASSERT_EQ(row.size(), 5u);
  EXPECT_EQ(row[0], "big.txt");
  EXPECT_EQ(row[2], "200 Ko");
  EXPECT_EQ(row[4], "02/01/1970  01:01:01");
  const auto app = SearchResultRowApplications(list, 5, "p");
  ASSERT_EQ(app.size(), 4u);
  EXPECT_EQ(app[0], "Great Tool");
}

TEST(SearchHistory, KeepsTenMostRecentWithoutDuplicates) {
  SearchHistory h;
  h.Load([](const std::string& name) { return name == "Search 2" ? std::string("two") : std::string(); });
  ASSERT_EQ(h.Entries().size(), 10u);
  EXPECT_EQ(h.ComboEntries(), (std::vector<std::string>{"two"}));
  for (int i = 0; i < 11; ++i) h.Add("t" + std::to_string(i));
  ASSERT_EQ(h.Entries().size(), 10u);
  EXPECT_EQ(h.Entries().front(), "t10");
  EXPECT_EQ(h.Entries().back(), "t1");
  h.Add("t5");
  EXPECT_EQ(h.Entries().front(), "t5");
  EXPECT_EQ(std::count(h.Entries().begin(), h.Entries().end(), "t5"), 1);
  EXPECT_EQ(h.Entries().size(), 10u);
  std::map<std::string, std::string> saved;
  h.Save([&](const std::string& k, const std::string& v) { saved[k] = v; });
  EXPECT_EQ(saved["Search 1"], "t5");
  EXPECT_EQ(saved.size(), 10u);
}

TEST(Search, DescriptionsMatchWithoutRegardToCaseBeyondAscii) {
  CFileItemList list;
  Add(list, ITEM_MEDIA, "Disc", 0);
  Add(list, ITEM_FILE, "a.txt", 1, 10, "Caf\xC3\xA9 cr\xC3\xA8me");  // 1
  Add(list, ITEM_FILE, "b.txt", 1, 10, "plain words");                   // 2
  Add(list, ITEM_FILE, "c.txt", 1, 10, "");                              // 3
  SearchCriteria c;
  c.kind = SEARCH_FILE_DESCRIPTION;
  c.ignoreCase = 1;
  c.text = "CR\xC3\xA8ME";
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{1}));
  c.text = "WORDS";
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{2}));
  c.ignoreCase = 0;
  EXPECT_TRUE(Find(list, -1, c).empty());
  // A lone star matches every description, the empty one included.
  c.text = "*";
  EXPECT_EQ(Find(list, -1, c), (std::vector<size_t>{1, 2, 3}));
}

TEST(SearchSession, FindRemembersWarnsAndOrders) {
  Translator().languages.clear();
  InitTranslator("", 1033);
  auto list = Sample();
  list[1]->time = 300;
  list[8]->time = 100;
  SearchHistory history;
  SearchDialogMemory memory;
  ScriptedUi ui;

  CSearchSession apps(list, -1, history, memory, false);
  EXPECT_EQ(apps.InitialRequest().kind, SEARCH_DIRECTORY_NAME);
  EXPECT_EQ(apps.Title(), "Search in \\");

  CSearchSession s(list, -1, history, memory, true);
  SearchRequest r = s.InitialRequest();
  EXPECT_EQ(r.kind, SEARCH_ALL);
  EXPECT_TRUE(r.caseSensitive);
  // Empty criteria: a warning, nothing searched, but the text is remembered.
  EXPECT_FALSE(s.Find(r, ui));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "All search criterias are empty");
  EXPECT_EQ(ui.boxes[0].caption, "Warning");

  r.text = "*.mp3";
  r.caseSensitive = false;
  r.kind = SEARCH_FILE_NAME;
  struct Sink : IProgressSink {
    std::vector<int> seen;
    void SetPercent(int p) override { seen.push_back(p); }
  } sink;
  EXPECT_TRUE(s.Find(r, ui, &sink));
  ASSERT_FALSE(sink.seen.empty());
  EXPECT_EQ(sink.seen.back(), 100);
  // Oldest first.
  ASSERT_EQ(s.Results(), (std::vector<size_t>{8, 1}));
  EXPECT_EQ(s.Columns().size(), 5u);
  EXPECT_EQ(s.RowTexts(0)[0], "other.mp3");
  ASSERT_FALSE(history.ComboEntries().empty());
  EXPECT_EQ(history.ComboEntries().front(), "*.mp3");
  EXPECT_EQ(memory.kind, SEARCH_FILE_NAME);
  EXPECT_FALSE(memory.caseSensitive);
  EXPECT_EQ(s.InitialRequest().text, "*.mp3");

  EXPECT_FALSE(s.GoTo());
  s.selectedRow = 1;
  EXPECT_EQ(s.GoTo(), std::optional<size_t>(1));
  s.RemoveSelectedRow();
  EXPECT_EQ(s.Results(), (std::vector<size_t>{8}));

  // Nothing found: the upper-cased text in the message.
  r.text = "nothing";
  r.kind = SEARCH_APPLICATION_DESCRIPTION;
  EXPECT_FALSE(s.Find(r, ui));
  EXPECT_EQ(ui.boxes.back().text, "Application NOTHING not found !");
  EXPECT_EQ(ui.boxes.back().caption, "Search application");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_ICONERROR));
  EXPECT_TRUE(s.Results().empty());

  // Directory names keep the order found.
  r.text = "disc*";
  r.kind = SEARCH_DIRECTORY_NAME;
  list[0]->time = 900;
  EXPECT_TRUE(s.Find(r, ui));
  EXPECT_EQ(s.Results(), (std::vector<size_t>{0, 7}));
  EXPECT_EQ(s.Columns().size(), 4u);
}

TEST(SearchSession, TypesEveryRowAndSortsByTheClickedColumn) {
  Translator().languages.clear();
  InitTranslator("", 1033);
  auto list = Sample();
  for (size_t i = 0; i < list.size(); ++i) list[i]->time = static_cast<uint32_t>(100 + i);
  SearchHistory history;
  SearchDialogMemory memory;
  ScriptedUi ui;
  CSearchSession s(list, -1, history, memory, true);
  std::vector<std::string> asked;
  s.typeNameOf = [&](const std::string& key) {
    asked.push_back(key);
    return key == "." ? std::string("folder") : "type of " + key;
  };
  SearchRequest r = s.InitialRequest();
  r.text = "*";
  r.kind = SEARCH_FILE_NAME;
  ASSERT_TRUE(s.Find(r, ui));
  ASSERT_EQ(s.Results(), (std::vector<size_t>{1, 2, 3, 4, 6, 8}));
  // No row is left without a type; the item keeps it, so it is asked once.
  for (size_t row = 0; row < s.Results().size(); ++row) EXPECT_FALSE(s.RowTexts(row)[3].empty()) << row;
  EXPECT_EQ(s.RowTexts(0)[3], "type of .mp3");
  EXPECT_EQ(list[1]->typeName, "type of .mp3");
  const size_t asks = asked.size();
  s.RowTexts(0);
  EXPECT_EQ(asked.size(), asks);

  // Name: the first click sorts descending, the second ascending; the
  // selected row follows its item.
  s.selectedRow = 0;  // song.mp3
  s.ClickColumn(0);
  EXPECT_EQ(s.RowTexts(0)[0], "song.mp3");
  EXPECT_EQ(s.RowTexts(5)[0], "big.txt");
  EXPECT_EQ(s.SelectedItem(), std::optional<size_t>(1));
  s.ClickColumn(0);
  EXPECT_EQ(s.RowTexts(0)[0], "big.txt");
  EXPECT_EQ(s.SelectedItem(), std::optional<size_t>(1));
  // Size, descending first; paths and types sort as texts.
  s.ClickColumn(2);
  EXPECT_EQ(s.Results().front(), 4u);
  EXPECT_EQ(s.Results().back(), 8u);
  s.ClickColumn(3);
  EXPECT_EQ(s.RowTexts(0)[3], "type of .txt");
  s.ClickColumn(1);
  EXPECT_EQ(s.RowTexts(0)[1], "\\\\Disc2");
  s.ClickColumn(9);  // no such column: nothing changes
  EXPECT_EQ(s.SortColumn(), 1);

  // "Directory name": its four headings get name, path, size and date, and a
  // directory's type is never kept in the item.
  r.text = "*";
  r.kind = SEARCH_DIRECTORY_NAME;
  ASSERT_TRUE(s.Find(r, ui));
  const auto cells = s.RowTexts(0);
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[3], FormatItemTime(list[0]->time));
  EXPECT_TRUE(s.RowMenu().empty());
}

TEST(ListSort, FilesAndApplicationsRules) {
  CFileItemList list;
  Add(list, ITEM_FILE, "b.txt", 1, 300);       // 0
  Add(list, ITEM_DIRECTORY, "zdir", 1);        // 1
  Add(list, ITEM_FILE, "A.txt", 1, 100);       // 2
  Add(list, ITEM_DIRECTORY, "adir", 1);        // 3
  AddApp(list, "x", 1, "Zeta tool");           // 4
  AddApp(list, "y", 1, "alpha tool");          // 5
  std::vector<size_t> rows{0, 1, 2, 3};
  SortListRows(list, rows, ListSortCode(true, 0, false));
  EXPECT_EQ(rows, (std::vector<size_t>{3, 1, 2, 0}));
  // Descending: directories still first.
  SortListRows(list, rows, ListSortCode(true, 0, true));
  EXPECT_EQ(rows, (std::vector<size_t>{1, 3, 0, 2}));
  SortListRows(list, rows, ListSortCode(true, 1, false));
  EXPECT_EQ(rows[2], 2u);
  std::vector<size_t> apps{4, 5, 0};
  SortListRows(list, apps, ListSortCode(false, 0, false));
  EXPECT_EQ(apps, (std::vector<size_t>{5, 4, 0}));
  SortListRows(list, apps, ListSortCode(false, 0, true));
  EXPECT_EQ(apps, (std::vector<size_t>{4, 5, 0}));
  // A negative code is files mode by name.
  EXPECT_LT(CompareListRows(list, 2, 0, -5), 0);
}

}  // namespace
