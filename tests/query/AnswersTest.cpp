// Duplicates, statistics, export and catalog paths in catalog order.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "query/ArchiveMembers.h"
#include "query/Duplicates.h"
#include "query/Export.h"
#include "query/PathWalk.h"
#include "query/ScriptedUi.h"
#include "query/SearchSession.h"
#include "query/Statistics.h"
#include "scan/MediaPaths.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

CFileItem* Add(CFileItemList& list, uint8_t type, const std::string& name, int16_t level, uint32_t size = 0,
               uint32_t time = 1000, bool inArchive = false) {
  auto item = std::make_unique<CFileItem>(type, name, size, time, level, 0);
  item->isArchive = inArchive || type == ITEM_ARCHIVE_ENTRY;
  list.items.push_back(std::move(item));
  return list.items.back().get();
}

CFileItemMediaDir* AddMedia(CFileItemList& list, const std::string& name, int16_t level, const std::string& root) {
  auto m = std::make_unique<CFileItemMediaDir>();
  m->name = name;
  m->level = level;
  m->rootPath = root;
  list.items.push_back(std::move(m));
  return static_cast<CFileItemMediaDir*>(list.items.back().get());
}

std::vector<std::vector<size_t>> Indices(const DuplicateResult& r) {
  std::vector<std::vector<size_t>> out;
  for (const DuplicateGroup& g : r.groups) {
    out.emplace_back();
    for (const DuplicateCopy& c : g.copies) out.back().push_back(c.source * 100 + c.index);
  }
  return out;
}

DuplicateResult Find(const CFileItemList& list, DuplicateRule rule, long from = -1, uint64_t minBytes = 0) {
  DuplicateOptions o;
  o.rule = rule;
  o.minBytes = minBytes;
  return FindDuplicates({{&list, from}}, o);
}

TEST(Duplicates, NameAndSizeRulesDateRuleArchiveMembersSubtreesAndSeveralCatalogs) {
  CFileItemList list;
  AddMedia(list, "A", 0, "/nonexistent-a");                      // 0
  Add(list, ITEM_FILE, "song.mp3", 1, 5000, 100);                // 1
  Add(list, ITEM_FILE, "photo.jpg", 1, 9000, 100);               // 2
  Add(list, ITEM_ARCHIVE_ENTRY, "old.zip", 1, 700, 100);         // 3 the archive's own item
  Add(list, ITEM_FILE, "song.mp3", 2, 5000, 300, true);          // 4 a member, another date
  Add(list, ITEM_DIRECTORY, "sub", 1);                           // 5
  Add(list, ITEM_FILE, "song.mp3", 2, 5000, 100);                // 6 same name, size and date as 1
  Add(list, ITEM_FILE, "photo.jpg", 2, 9001, 100);               // 7 one byte more: not a copy
  Add(list, ITEM_FILE, "PHOTO.JPG", 2, 9000, 100);               // 8 names compare exactly
  Add(list, ITEM_FILE, "tiny", 2, 10, 100);                      // 9
  Add(list, ITEM_FILE, "tiny", 2, 10, 200);                      // 10
  list.RebuildContainerIndex();

  // Name and size: the member counts; the largest waste comes first.
  EXPECT_EQ(Indices(Find(list, DuplicateRule::NameSize)), (std::vector<std::vector<size_t>>{{1, 4, 6}, {9, 10}}));
  const DuplicateResult all = Find(list, DuplicateRule::NameSize);
  EXPECT_EQ(all.groups[0].Waste(), 10000u);
  EXPECT_EQ(all.totalWaste, 10010u);
  EXPECT_EQ(all.totalBytes, 15020u);
  // The date splits: the pair of tiny files differs only in date.
  EXPECT_EQ(Indices(Find(list, DuplicateRule::NameSizeDate)), (std::vector<std::vector<size_t>>{{1, 6}}));
  // A minimum size and a subtree.
  EXPECT_EQ(Indices(Find(list, DuplicateRule::NameSize, -1, 11)), (std::vector<std::vector<size_t>>{{1, 4, 6}}));
  EXPECT_EQ(Indices(Find(list, DuplicateRule::NameSize, 5)), (std::vector<std::vector<size_t>>{{9, 10}}));

  // Across catalogs: the copy in the second one joins the group.
  CFileItemList other;
  AddMedia(other, "B", 0, "/nonexistent-b");
  Add(other, ITEM_FILE, "photo.jpg", 1, 9000, 100);
  other.RebuildContainerIndex();
  DuplicateOptions o;
  const DuplicateResult across = FindDuplicates({{&list, -1}, {&other, -1}}, o);
  EXPECT_EQ(Indices(across), (std::vector<std::vector<size_t>>{{1, 4, 6}, {2, 101}, {9, 10}}));
}

class StopAfter : public IProgressSink {
 public:
  explicit StopAfter(int polls) : polls_(polls) {}
  bool StopRequested() override { return polls_-- <= 0; }
  int begun = 0;
  void Begin(const std::string&) override { ++begun; }

 private:
  int polls_;
};

TEST(Duplicates, ContentComparesBytesOfPresentMediaOnlyAndStops) {
  const fs::path dir = testsupport::MakeTestDirectory("qv-dup");
  ASSERT_FALSE(dir.empty());
  std::ofstream(dir / "a.bin") << std::string(3000, 'x');
  std::ofstream(dir / "renamed.dat") << std::string(3000, 'x');  // same bytes, another name
  std::ofstream(dir / "other.bin") << std::string(2999, 'x') << 'y';  // same size, other bytes
  std::ofstream(dir / "alone.bin") << "size of its own";
  std::ofstream(dir / "empty1");
  std::ofstream(dir / "empty2");
  CFileItemList list;
  AddMedia(list, "Here", 0, dir.string());  // 0
  Add(list, ITEM_FILE, "a.bin", 1, 3000);   // 1
  Add(list, ITEM_FILE, "renamed.dat", 1, 3000);  // 2
  Add(list, ITEM_FILE, "other.bin", 1, 3000);    // 3
  Add(list, ITEM_FILE, "alone.bin", 1, 15);      // 4
  Add(list, ITEM_FILE, "empty1", 1, 0);          // 5 empty files free nothing
  Add(list, ITEM_FILE, "empty2", 1, 0);          // 6
  Add(list, ITEM_FILE, "gone.bin", 1, 3000);     // 7 not on disk any more
  Add(list, ITEM_ARCHIVE_ENTRY, "x.zip", 1, 5);  // 8
  Add(list, ITEM_FILE, "a.bin", 2, 3000, 1000, true);  // 9 a member: its bytes are not on disk
  AddMedia(list, "Away", 0, (dir / "absent").string());  // 10
  Add(list, ITEM_FILE, "a.bin", 1, 3000);                // 11 medium absent
  list.RebuildContainerIndex();

  const DuplicateResult r = Find(list, DuplicateRule::Content);
  EXPECT_EQ(Indices(r), (std::vector<std::vector<size_t>>{{1, 2}}));
  EXPECT_EQ(r.unreadable, 2u);  // gone.bin and the copy on the absent medium
  EXPECT_FALSE(r.stopped);

  // The hash is of the bytes: equal files equal, one byte apart different.
  EXPECT_EQ(HashFileContent((dir / "a.bin").string()), HashFileContent((dir / "renamed.dat").string()));
  EXPECT_NE(HashFileContent((dir / "a.bin").string()), HashFileContent((dir / "other.bin").string()));
  EXPECT_FALSE(HashFileContent((dir / "gone.bin").string()).has_value());

  StopAfter stop(1);
  DuplicateOptions o;
  o.rule = DuplicateRule::Content;
  o.progress = &stop;
  const DuplicateResult stopped = FindDuplicates({{&list, -1}}, o);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(stop.begun, 1);
  EXPECT_TRUE(stopped.groups.empty());
  fs::remove_all(dir);
}

TEST(Statistics, KindsMediaLargestFoldersAndArchiveMembersApart) {
  CFileItemList list;
  Add(list, ITEM_FOLDER, "Shelf", 0);                        // 0
  AddMedia(list, "CD", 1, "/x");                             // 1
  Add(list, ITEM_FILE, "a.JPG", 2, 1000);                    // 2
  Add(list, ITEM_DIRECTORY, "music", 2);                     // 3
  Add(list, ITEM_FILE, "b.mp3", 3, 4000);                    // 4
  Add(list, ITEM_FILE, "c.flac", 3, 6000);                   // 5
  Add(list, ITEM_ARCHIVE_ENTRY, "pack.zip", 3, 500);         // 6
  Add(list, ITEM_FILE, "inside.exe", 4, 90000, 0, true);     // 7 its bytes are in pack.zip
  Add(list, ITEM_DIRECTORY, "docs", 2);                      // 8
  Add(list, ITEM_FILE, "readme", 3, 10);                     // 9
  AddMedia(list, "USB", 1, "/y");                            // 10
  Add(list, ITEM_FILE, "film.mkv", 2, 70000);                // 11
  list.RebuildContainerIndex();

  const CatalogStatistics s = ComputeStatistics(list, -1);
  EXPECT_EQ(s.files.count, 6u);
  EXPECT_EQ(s.files.bytes, 81510u);
  EXPECT_EQ(s.archiveMembers, 1u);
  EXPECT_EQ(s.byKind[KIND_PICTURE].bytes, 1000u);
  EXPECT_EQ(s.byKind[KIND_AUDIO].count, 2u);
  EXPECT_EQ(s.byKind[KIND_ARCHIVE].bytes, 500u);
  EXPECT_EQ(s.byKind[KIND_VIDEO].bytes, 70000u);
  EXPECT_EQ(s.byKind[KIND_OTHER].count, 1u);
  EXPECT_EQ(s.byKind[KIND_EXECUTABLE].count, 0u);
  ASSERT_EQ(s.media.size(), 2u);
  EXPECT_EQ(s.media[0].files.bytes, 11510u);
  EXPECT_EQ(s.media[1].files.bytes, 70000u);
  // Folders and directories by their whole subtree, media left to their list.
  ASSERT_EQ(s.largestFolders.size(), 3u);
  EXPECT_EQ(s.largestFolders[0].index, 0u);
  EXPECT_EQ(s.largestFolders[0].bytes, 81510u);
  EXPECT_EQ(s.largestFolders[1].index, 3u);
  EXPECT_EQ(s.largestFolders[1].bytes, 10500u);
  EXPECT_EQ(ComputeStatistics(list, -1, 1).largestFolders.size(), 1u);

  // Below a directory: that medium alone is listed.
  const CatalogStatistics below = ComputeStatistics(list, 3);
  EXPECT_EQ(below.files.bytes, 10500u);
  ASSERT_EQ(below.media.size(), 1u);
  EXPECT_EQ(below.media[0].index, 1u);
  EXPECT_EQ(below.media[0].files.bytes, 10500u);
}

// An archive that was not listed (not unpacked, or its listing failed) keeps
// the mark, yet its bytes are on the disk: only items below a listed one are members.
TEST(Statistics, AnUnlistedArchiveIsAFileOnDiskNotAMember) {
  CFileItemList list;
  Add(list, ITEM_FOLDER, "Shelf", 0);                     // 0
  AddMedia(list, "CD", 1, "/x");                          // 1
  Add(list, ITEM_FILE, "old.zip", 2, 2000, 1000, true);   // 2 not listed
  Add(list, ITEM_ARCHIVE_ENTRY, "pack.zip", 2, 500);      // 3
  Add(list, ITEM_DIRECTORY, "in", 3, 0, 0, true);         // 4
  Add(list, ITEM_FILE, "inside.exe", 4, 90000, 0, true);  // 5
  Add(list, ITEM_FILE, "after.txt", 2, 7);                // 6
  list.RebuildContainerIndex();

  const CatalogStatistics s = ComputeStatistics(list, -1);
  EXPECT_EQ(s.files.count, 3u);
  EXPECT_EQ(s.files.bytes, 2507u);
  EXPECT_EQ(s.archiveMembers, 1u);
  EXPECT_EQ(s.byKind[KIND_ARCHIVE].bytes, 2500u);

  const CArchiveLookup lookup(list);
  CArchiveWalk walk(list, 0);
  const std::vector<std::string> kinds = {"folder", "media", "file", "file", "archive member", "archive member", "file"};
  for (size_t i = 0; i < list.size(); ++i) {
    const bool member = lookup.IsMember(i);
    EXPECT_EQ(walk.IsMember(*list[i]), member) << i;
    EXPECT_EQ(ExportKindWord(*list[i], member), kinds[i]) << i;
  }
  // A walk that starts inside the archive knows it is inside.
  EXPECT_TRUE(CArchiveWalk(list, 5).IsMember(*list[5]));
}

// A catalog with the shapes paths have to get right: folders, media,
// files between directories, an archive and its members, a directory whose
// level jumps.
CFileItemList Shapes() {
  CFileItemList list;
  Add(list, ITEM_FOLDER, "F", 0);
  AddMedia(list, "M", 1, "/m");
  Add(list, ITEM_FILE, "top.txt", 2);
  Add(list, ITEM_DIRECTORY, "d", 2);
  Add(list, ITEM_FILE, "in d.txt", 3);
  Add(list, ITEM_ARCHIVE_ENTRY, "z.zip", 3);
  Add(list, ITEM_DIRECTORY, "zd", 4, 0, 0, true);
  Add(list, ITEM_FILE, "m.txt", 5, 0, 0, true);
  Add(list, ITEM_DIRECTORY, "e", 2);
  Add(list, ITEM_FILE, "x", 4);
  Add(list, ITEM_FOLDER, "G", 0);
  Add(list, ITEM_FILE, "loose", 1);
  list.RebuildContainerIndex();
  return list;
}

TEST(PathWalk, GivesLogicalPathOfEveryItemInOrderWithOrWithoutTheContainerIndex) {
  CFileItemList list = Shapes();
  for (const bool indexed : {true, false}) {
    if (!indexed) list.containerIndex.clear();
    for (const bool withName : {true, false}) {
      CLogicalPathWalk walk(list);
      for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(walk.Path(i, withName), LogicalPath(list, i, withName)) << i << " " << indexed;
    }
    // Skipping items is fine as long as the order holds.
    CLogicalPathWalk sparse(list);
    EXPECT_EQ(sparse.Path(7, true), LogicalPath(list, 7, true));
    EXPECT_EQ(sparse.Path(11, true), LogicalPath(list, 11, true));
  }
}

TEST(Export, CsvQuotingTimesAttributesDescriptionsAndHtmlEscaping) {
  std::string csv;
  AppendCsvField(csv, "plain");
  csv += ',';
  AppendCsvField(csv, "a,b \"c\"\r\nd");
  EXPECT_EQ(csv, "plain,\"a,b \"\"c\"\"\r\nd\"");
  EXPECT_EQ(ExportTimeText(0), "");
  EXPECT_EQ(ExportTimeText(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(ExportTimeText(4294967295u), "2106-02-07T06:28:15Z");
  EXPECT_EQ(ExportAttributeText(ATTR_ARCHIVE | ATTR_READONLY), "AR");
  EXPECT_EQ(ExportDescriptionText("Title\r\n\r\nArtist\r\n"), "Title | Artist");

  InitTranslator("", 1033);
  CFileItemList list;
  AddMedia(list, "<CD & \"friends\">", 0, "/x");
  Add(list, ITEM_DIRECTORY, "a<b", 1);
  Add(list, ITEM_FILE, "x&y\".txt", 2, 2048)->description = "<script>alert(1)</script>";
  list.RebuildContainerIndex();
  std::string page;
  ASSERT_TRUE(ExportCatalog(list, -1, ExportFormat::Html, [&](std::string_view b) { page += b; }, "t<&>\""));
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<CD"), std::string::npos);
  EXPECT_EQ(page.find("a<b"), std::string::npos);
  EXPECT_NE(page.find("&lt;CD &amp; &quot;friends&quot;&gt;"), std::string::npos);
  EXPECT_NE(page.find("<td>x&amp;y&quot;.txt</td>"), std::string::npos);
  EXPECT_NE(page.find("<title>t&lt;&amp;&gt;&quot;</title>"), std::string::npos);
  EXPECT_NE(page.find("<summary>a&lt;b<span class=\"size\">2 Ko, 1 files</span>"), std::string::npos);
  // Self-contained: no script, no link, no source from elsewhere; every details closed.
  EXPECT_EQ(page.find("<link"), std::string::npos);
  EXPECT_EQ(page.find("src="), std::string::npos);
  size_t open = 0, close = 0;
  for (size_t p = 0; (p = page.find("<details", p)) != std::string::npos; ++p) ++open;
  for (size_t p = 0; (p = page.find("</details>", p)) != std::string::npos; ++p) ++close;
  EXPECT_EQ(open, 2u);
  EXPECT_EQ(open, close);

  std::string lines;
  ExportCatalog(list, 0, ExportFormat::JsonLines, [&](std::string_view b) { lines += b; }, "");
  EXPECT_EQ(lines,
            "{\"path\":\"\\\\\\\\<CD & \\\"friends\\\">\",\"name\":\"a<b\",\"kind\":\"directory\",\"size\":0,"
            "\"modified\":\"1970-01-01T00:16:40Z\",\"attributes\":\"\",\"description\":\"\"}\n"
            "{\"path\":\"\\\\\\\\<CD & \\\"friends\\\">:\\\\a<b\",\"name\":\"x&y\\\".txt\",\"kind\":\"file\","
            "\"size\":2048,\"modified\":\"1970-01-01T00:16:40Z\",\"attributes\":\"\","
            "\"description\":\"<script>alert(1)</script>\"}\n");
  EXPECT_EQ(ExportFormatFromFileName("list.HTM"), ExportFormat::Html);
  EXPECT_EQ(ExportFormatFromFileName("list.jsonl"), ExportFormat::JsonLines);
  EXPECT_FALSE(ExportFormatFromFileName("list.txt").has_value());
}

TEST(Export, StopEndsRowsButKeepsTheOutputWellFormed) {
  CFileItemList list;
  AddMedia(list, "M", 0, "/m");
  for (int i = 0; i < 10000; ++i) Add(list, ITEM_FILE, "f" + std::to_string(i), 1);
  list.RebuildContainerIndex();
  StopAfter stop(1);
  std::string page;
  EXPECT_FALSE(ExportCatalog(list, -1, ExportFormat::Html, [&](std::string_view b) { page += b; }, "t", &stop));
  EXPECT_NE(page.find("</table>\n</body>\n</html>\n"), std::string::npos);
  EXPECT_LT(page.size(), 4096u * 200);
}

}  // namespace

namespace {

TEST(ShelfSearch, OpenCatalogFromMemoryOthersFromFilesRowsNameTheirCatalog) {
  InitTranslator("", 1033);
  const fs::path dir = testsupport::MakeTestDirectory("qv-shelf");
  ASSERT_FALSE(dir.empty());
  auto catalog = [&](const std::string& media, const std::string& file) {
    CFileItemList list;
    AddMedia(list, media, 0, "/nonexistent");
    Add(list, ITEM_FILE, file, 1, 4096, 50);
    Add(list, ITEM_FILE, "other.doc", 1, 10, 60);
    list.RebuildContainerIndex();
    return list;
  };
  const std::string a = (dir / "a.qvd").string(), b = (dir / "b.qvd").string(), c = (dir / "c.qvd").string();
  CFileItemList open = catalog("A", "song.mp3");
  SaveCatalogFile(open, a);
  CFileItemList second = catalog("B", "tune.mp3");
  SaveCatalogFile(second, b);
  Add(open, ITEM_FILE, "unsaved.mp3", 1, 1, 70);  // in memory only
  open.RebuildContainerIndex();

  SearchHistory history;
  SearchDialogMemory memory;
  CSearchSession session(open, -1, history, memory, true);
  session.SetShelf({b, a, c}, a);  // c is missing
  session.inShelf = true;
  ScriptedUi ui;
  SearchRequest request;
  request.text = "*.mp3";
  request.caseSensitive = false;
  ASSERT_TRUE(session.Find(request, ui));
  // The open catalog first, as it is in memory; then the files; the missing one said.
  ASSERT_EQ(session.Results(), (std::vector<size_t>{1, 3, 1}));
  EXPECT_EQ(session.RowTexts(1)[0], "a.qvd");
  EXPECT_EQ(session.RowTexts(1)[1], "unsaved.mp3");
  EXPECT_EQ(session.RowTexts(2)[0], "b.qvd");
  EXPECT_EQ(session.RowTexts(2)[2], "\\\\B");
  EXPECT_EQ(session.Columns().front().key, std::string("$$Catalog"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find(c), std::string::npos);

  // Go to: a row of the open catalog is an item here; another's names its file.
  session.selectedRow = 0;
  EXPECT_EQ(session.GoTo(), std::optional<size_t>(1));
  EXPECT_FALSE(session.ShelfGoTo());
  session.selectedRow = 2;
  EXPECT_FALSE(session.GoTo());
  ASSERT_TRUE(session.ShelfGoTo());
  EXPECT_EQ(session.ShelfGoTo()->file, b);
  EXPECT_EQ(session.ShelfGoTo()->index, 1u);

  std::string csv;
  session.ExportResults(ExportFormat::Csv, [&](std::string_view bytes) { csv += bytes; });
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "catalog,catalog path,name,kind,size,modified,attributes,description");
  EXPECT_NE(csv.find(b + ",\\\\B,tune.mp3,file,4096,1970-01-01T00:00:50Z,,\r\n"), std::string::npos);

  // Without the box ticked the open catalog alone is searched, as before.
  session.inShelf = false;
  ASSERT_TRUE(session.Find(request, ui));
  EXPECT_EQ(session.Columns().front().key, std::string("IDS_RESULT_NAME"));
  EXPECT_EQ(session.Results().size(), 2u);
  fs::remove_all(dir);
}

}  // namespace
