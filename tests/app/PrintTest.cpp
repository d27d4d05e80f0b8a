#include "app/Print.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/ScriptedUi.h"

namespace {

void Add(CFileItemList& list, uint8_t type, const std::string& name, int16_t level, uint32_t size = 2048) {
  list.items.push_back(std::make_unique<CFileItem>(type, name, size, 0, level, 0x20));
}

// A folder holding a media with 130 files, then a directory with two more
// files and an application; a second top-level folder.
CFileItemList Catalog() {
  CFileItemList list;
  Add(list, ITEM_FOLDER, "Discs", 0);  // 0
  auto media = std::make_unique<CFileItemMediaCD>();
  media->name = "Big";
  media->level = 1;
  list.items.push_back(std::move(media));  // 1
  for (int i = 0; i < 130; ++i) Add(list, ITEM_FILE, "f" + std::to_string(i) + ".txt", 2);  // 2..131
  Add(list, ITEM_DIRECTORY, "sub", 2);   // 132
  Add(list, ITEM_FILE, "deep.txt", 3);   // 133
  auto app = std::make_unique<CFileItemAppli>();
  app->name = "app";
  app->level = 3;
  app->description = "Great program\r\n";
  list.items.push_back(std::move(app));  // 134
  Add(list, ITEM_FOLDER, "Other", 0);    // 135
  list.RebuildContainerIndex();
  return list;
}

TEST(Print, PrintListsByContent) {
  const auto list = Catalog();
  // Contained files: only the media's own files, though its directory holds more.
  auto files = BuildPrintList(list, 1, PrintContent::ContainedFiles);
  ASSERT_EQ(files.size(), 130u);
  EXPECT_EQ(files.front(), 2u);
  EXPECT_EQ(files.back(), 131u);
  EXPECT_EQ(BuildPrintList(list, 0, PrintContent::Tree), (std::vector<size_t>{1, 132}));
  EXPECT_EQ(BuildPrintList(list, 0, PrintContent::Applications), (std::vector<size_t>{134}));
  // The root node prints the first top-level item's subtree.
  CPrintJob root = MakePrintJob(list, -1, InitialPrintFields(false));
  EXPECT_EQ(root.startIndex, 0u);
  EXPECT_EQ(root.items, (std::vector<size_t>{134}));
  EXPECT_TRUE(BuildPrintList(list, 135, PrintContent::Tree).empty());
  EXPECT_TRUE(BuildPrintList(CFileItemList(), 0, PrintContent::Tree).empty());
}

TEST(Print, DialogAndFlags) {
  const auto list = Catalog();
  ScriptedUi ui;
  EXPECT_FALSE(PreparePrintJob(list, 1, true, ui));  // Cancel
  EXPECT_EQ(InitialPrintFields(true).content, PrintContent::ContainedFiles);
  PrintFields f;
  f.content = PrintContent::Tree;
  f.dateTime = false;
  ui.print.push_back(f);
  auto job = PreparePrintJob(list, 0, true, ui);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->LineFlags(), unsigned(FL_DIRNAME | FL_SIZE | FL_ATTRIBUTES));
  EXPECT_EQ(job->IndentBase(list), 1);
  // With the tree option the media's line holds no name, only the columns.
  const PrintPage page = BuildPrintPage(list, *job, "/c.qvd", "c.qvd", 1, 55);
  ASSERT_EQ(page.body.size(), 2u);
  EXPECT_EQ(page.body[0].find("Big"), std::string::npos);
  EXPECT_NE(page.body[0].find("0 Ko"), std::string::npos);
  EXPECT_EQ(page.body[1].rfind(" sub ", 0), 0u);  // one level deeper than the base
}

TEST(Print, GeometryAndPages) {
  const auto list = Catalog();
  // A printable height of 66 lines gives 55 lines per page: 130 files on 3 pages.
  const PrintGeometry g = ComputePrintGeometry(66 * 50, 2000, 50, 1620, 130);
  EXPECT_EQ(g.linesPerPage, 55);
  EXPECT_EQ(g.pageCount, 3);
  EXPECT_EQ(g.leftMargin, 190);
  EXPECT_EQ(ComputePrintGeometry(66 * 50, 2000, 50, 1620, 0).pageCount, 1);
  EXPECT_EQ(std::string(kPrintRuler).size(), 81u);

  const CPrintJob job = MakePrintJob(list, 1, InitialPrintFields(true));
  const PrintPage p3 = BuildPrintPage(list, job, "/cats/c.qvd", "c.qvd", 3, 55);
  ASSERT_EQ(p3.body.size(), 20u);
  EXPECT_EQ(p3.body.front().rfind("f110.txt", 0), 0u);
  EXPECT_EQ(p3.header2, "\\\\Discs\\Big");
  EXPECT_EQ(p3.header1.size(), 81u);
  EXPECT_EQ(p3.header1.substr(0, 11), "/cats/c.qvd");
  EXPECT_EQ(p3.header1.substr(75), "Page 3");

  const std::string text = PrintJobAsText(list, job, "/cats/c.qvd", "c.qvd", 55);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 2);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 * 65);
  // The product name closes every page, the last one included.
  EXPECT_EQ(text.substr(text.size() - 9), "Quolvane\n");

  // An empty print list still prints one page.
  const CPrintJob none = MakePrintJob(list, 135, InitialPrintFields(true));
  const std::string empty = PrintJobAsText(list, none, "/c", "c", 10);
  EXPECT_EQ(std::count(empty.begin(), empty.end(), '\f'), 0);
  EXPECT_NE(empty.find("Page 1"), std::string::npos);
}

TEST(Print, PageLayoutKeepsEveryLineOnThePrintableHeight) {
  // An even and an odd line height: the half lines are integer halves.
  for (const int l : {50, 47}) {
    const int height = 66 * l + l - 1;  // not a whole number of lines
    const PrintGeometry g = ComputePrintGeometry(height, 2000, l, 1620, 130);
    ASSERT_EQ(g.linesPerPage, 55);
    const PrintPageLayout p = ComputePageLayout(g);
    EXPECT_EQ(p.header1Y, 2 * l);
    EXPECT_EQ(p.header2Y, 3 * l);
    EXPECT_EQ(p.ruleY, 3 * l + (3 * l) / 2);
    EXPECT_EQ(p.BodyY(0), 6 * l);
    EXPECT_EQ(p.footerRuleY, 63 * l);
    EXPECT_EQ(p.footerY, 63 * l + l / 2);
    // The last entry ends above the footer rule; the product name fits.
    EXPECT_LE(p.BodyY(54) + l, p.footerRuleY);
    EXPECT_LE(p.footerY + l, height);
  }
}

TEST(Print, LongPathsGiveWayToTheTitle) {
  const std::string path68 = "/" + std::string(63, 'p') + ".qvd";
  ASSERT_EQ(path68.size(), 68u);
  EXPECT_EQ(PrintHeaderLine1(path68, "t.qvd", 1).substr(0, 68), path68);
  EXPECT_EQ(PrintHeaderLine1(path68 + "x", "t.qvd", 1).substr(0, 6), "t.qvd ");
  // A title long enough to reach column 81 gets no blank before the page.
  const std::string title(80, 't');
  EXPECT_EQ(PrintHeaderLine1(path68 + "x", title, 12), title + "Page 12");
}

}  // namespace
