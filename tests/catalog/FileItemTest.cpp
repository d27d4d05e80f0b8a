#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "catalog/ParentIndex.h"

namespace {

class FormatLine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

std::unique_ptr<CFileItem> Item(uint8_t type, const std::string& name, int16_t level, uint32_t size = 0) {
  return std::make_unique<CFileItem>(type, name, size, 0, level, 0);
}

size_t Columns(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

TEST(FileItemModel, Win32AttributesMapToStoredBitsAndText) {
  CFileItem ro(ITEM_FILE, "a", 0, 0, 0, WIN32_ATTR_READONLY | WIN32_ATTR_ARCHIVE);
  EXPECT_EQ(ro.attributes, 0x05);
  EXPECT_EQ(AttributeText(ro.attributes), "A R ");
  EXPECT_EQ(AttributesFromWin32(WIN32_ATTR_ARCHIVE | WIN32_ATTR_SYSTEM), 0x09);
  EXPECT_EQ(AttributeText(0x09), "A  S");
  EXPECT_EQ(AttributesFromWin32(WIN32_ATTR_HIDDEN | WIN32_ATTR_DIRECTORY | 0x80), ATTR_HIDDEN);
  EXPECT_EQ(AttributeText(0), "    ");
  EXPECT_EQ(AttributeText(0x0F), "AHRS");
}

TEST(FileItemModel, DefaultsAndTypeLabels) {
  CFileItem plain;
  EXPECT_EQ(plain.type, 0);
  EXPECT_EQ(plain.level, -1);
  EXPECT_EQ(CFileItemAppli().type, ITEM_DIRECTORY);
  EXPECT_EQ(CFileItemMediaRem().type, ITEM_MEDIA);
  EXPECT_EQ(CFileItemMediaCD().serialNumber, 0u);

  const char* labels[] = {"UNKNOWN", "Media", "Root", "Dir", "File", "Descr", "Compressed file", "UNKNOWN"};
  for (int t = 0; t <= 7; ++t) EXPECT_EQ(TypeLabel(static_cast<uint8_t>(t), false), labels[t]) << t;
  EXPECT_EQ(TypeLabel(ITEM_DIRECTORY, true), "Dir+Appli");
  EXPECT_EQ(TypeLabel(200, true), "UNKNOWN");
}

TEST(FileItemModel, CopyTakesTheScanFieldsAndADeepThumbnailButNotTheTexts) {
  CFileItem src(ITEM_FILE, "photo.bmp", 1234, 99, 3, WIN32_ATTR_HIDDEN);
  src.description = "desc";
  src.typeName = "Bitmap";
  src.isArchive = 1;
  src.thumbnail = std::make_unique<PLBitmap>(2, 2, 24);
  src.thumbnail->Row(0)[0] = 7;

  CFileItem copy(src);
  EXPECT_EQ(copy.type, ITEM_FILE);
  EXPECT_EQ(copy.name, "photo.bmp");
  EXPECT_EQ(copy.size, 1234u);
  EXPECT_EQ(copy.time, 99u);
  EXPECT_EQ(copy.level, 3);
  EXPECT_EQ(copy.attributes, ATTR_HIDDEN);
  EXPECT_EQ(copy.isArchive, 1u);
  EXPECT_TRUE(copy.description.empty());
  EXPECT_TRUE(copy.typeName.empty());
  ASSERT_TRUE(copy.thumbnail);
  EXPECT_NE(copy.thumbnail.get(), src.thumbnail.get());
  EXPECT_EQ(*copy.thumbnail, *src.thumbnail);

  // Clone is complete and keeps the class.
  CFileItemMediaDVD dvd;
  dvd.name = "Backup";
  dvd.description = "free text";
  dvd.rootPath = "/media/cdrom";
  dvd.volumeLabel = "BK";
  dvd.fileSystem = "UDF";
  dvd.serialNumber = 0xABCD;
  auto clone = dvd.Clone();
  auto* m = dynamic_cast<CFileItemMediaDVD*>(clone.get());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->description, "free text");
  EXPECT_EQ(m->rootPath, "/media/cdrom");
  EXPECT_EQ(m->volumeLabel, "BK");
  EXPECT_EQ(m->fileSystem, "UDF");
  EXPECT_EQ(m->serialNumber, 0xABCDu);
  EXPECT_STREQ(clone->GetClassName(), "CFileItemMediaDVD");
}

TEST(FileItemModel, DirectoryBecomesApplication) {
  CFileItem dir(ITEM_DIRECTORY, "Tool", 0, 50, 2, WIN32_ATTR_READONLY);
  dir.description = "old";
  CFileItemAppli app(dir);
  EXPECT_EQ(app.type, ITEM_DIRECTORY);
  EXPECT_EQ(app.name, "Tool");
  EXPECT_EQ(app.level, 2);
  EXPECT_EQ(app.attributes, ATTR_READONLY);
  EXPECT_TRUE(app.description.empty());
  EXPECT_EQ(app.IsApplication(), 1);
  EXPECT_EQ(dir.IsApplication(), 0);
  EXPECT_EQ(CFileItemMediaCD().IsApplication(), 0);

  app.description = "My tool\r\n";
  app.installProgram = "SETUP.EXE";
  app.appSize = 4096;
  auto clone = app.Clone();
  auto* a = dynamic_cast<CFileItemAppli*>(clone.get());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->installProgram, "SETUP.EXE");
  EXPECT_EQ(a->appSize, 4096u);
  EXPECT_EQ(a->GetTitle(), "My tool");
}

TEST(ApplicationTitle, FirstMeaningfulLine) {
  EXPECT_EQ(ApplicationTitle("----------\r\nMy program\r\n"), "My program");
  EXPECT_EQ(ApplicationTitle("=========="), "No name");
  EXPECT_EQ(ApplicationTitle("\r\n\r\nSetup\tTool\r\n"), "Setup   Tool");
  // The last line has no break after it and the one before is rejected.
  EXPECT_EQ(ApplicationTitle("******\r\nReal title"), "No name");
  // Without any break the whole text is the title.
  EXPECT_EQ(ApplicationTitle("  Just one line  "), "Just one line");
  EXPECT_EQ(ApplicationTitle(""), "No name");
  EXPECT_EQ(ApplicationTitle("x"), "No name");
  // A line of punctuation only is skipped; Latin-1 letters count as letters.
  EXPECT_EQ(ApplicationTitle("--- ***\r\n\xC3\x89t\xC3\xA9\r\n"), "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(ApplicationTitle("\xC3\xA9\xC3\xA9\xC3\xA9\r\n\xC3\xA9t\xC3\xA9\n"), "\xC3\xA9t\xC3\xA9");
  // Only the first 256 characters are searched for a line break.
  const std::string longLine(300, 'a');
  EXPECT_EQ(ApplicationTitle("***\r\n" + longLine + "\r\nB\r\n"), "No name");
  EXPECT_EQ(ApplicationTitle(longLine + "\r\nB"), longLine + "\r\nB");
}

TEST_F(FormatLine, ColumnsAndCutting) {
  std::string line;
  CFileItem small(ITEM_FILE, "readme.txt", 1023, 0, 1, 0);
  small.FormatLine(FL_SIZE, 0, line);
  EXPECT_EQ(line, std::string(78, ' ') + "0 Ko");

  // 2001-09-09 01:46:40 UTC.
  CFileItem f(ITEM_FILE, "readme.txt", 10 * 1024 + 5, 1000000000, 1, WIN32_ATTR_ARCHIVE | WIN32_ATTR_READONLY);
  f.FormatLine(FL_FILENAME | FL_SIZE | FL_DATE | FL_ATTRIBUTES, 0, line);
  std::string want = "readme.txt";
  want.resize(82 - 5 - 25 - 5, ' ');
  want += "10 Ko";
  want.resize(82 - 5 - 20, ' ');
  want += "09/09/2001  01:46:40";
  want += " A R ";
  EXPECT_EQ(line, want);
  EXPECT_EQ(line.size(), 82u);

  // Directory names start at their level less the base; files are not named by FL_DIRNAME.
  CFileItem dir(ITEM_DIRECTORY, "src", 0, 0, 4, 0);
  dir.FormatLine(FL_DIRNAME | FL_FILENAME, 1, line);
  EXPECT_EQ(line, "   src");
  f.FormatLine(FL_DIRNAME, 0, line);
  EXPECT_EQ(line, "");
  // An archive entry is named by either flag.
  CFileItem entry(ITEM_ARCHIVE_ENTRY, "inner.zip", 0, 0, 3, 0);
  entry.FormatLine(FL_FILENAME, 1, line);
  EXPECT_EQ(line, "inner.zip");
  entry.FormatLine(FL_DIRNAME, 1, line);
  EXPECT_EQ(line, "  inner.zip");

  // A name reaching into the size column is cut there.
  CFileItem longName(ITEM_FILE, std::string(80, 'n'), 2048, 0, 0, 0);
  longName.FormatLine(FL_FILENAME | FL_SIZE, 0, line);
  EXPECT_EQ(line, std::string(78, 'n') + "2 Ko");

  // Columns count characters, not bytes.
  CFileItem accented(ITEM_FILE, "\xC3\xA9t\xC3\xA9.txt", 0, 0, 0, WIN32_ATTR_SYSTEM);
  accented.FormatLine(FL_FILENAME | FL_ATTRIBUTES, 0, line);
  EXPECT_EQ(Columns(line), 82u);
  EXPECT_EQ(line.substr(0, 9), "\xC3\xA9t\xC3\xA9.txt");
  std::string manyE;
  for (int i = 0; i < 80; ++i) manyE += "\xC3\xA9";
  CFileItem cut(ITEM_FILE, manyE, 0, 0, 0, 0);
  cut.FormatLine(FL_FILENAME | FL_SIZE, 0, line);
  EXPECT_EQ(line, manyE.substr(0, 2 * 78) + "0 Ko");

  CFileItemAppli app;
  app.level = 2;
  app.name = "Tool";
  app.description = "Great tool\r\n";
  app.FormatLine(FL_DIRNAME | FL_APPTITLE, 0, line);
  EXPECT_EQ(line, "  ToolGreat tool");
}

TEST(MediaKinds, PrototypesAndClasses) {
  CFileItemMediaCD cd;
  CFileItemMediaDVD dvd;
  CFileItemMediaDir dir;
  CFileItemMediaRem rem;
  CFileItemMedia base;
  EXPECT_EQ(cd.GetPrototype(), CFileItemMediaCD().GetPrototype());
  EXPECT_NE(cd.GetPrototype(), dvd.GetPrototype());
  EXPECT_STREQ(dvd.GetPrototype()->GetKindKey(), "DVD");
  EXPECT_EQ(rem.GetPrototype()->type, ITEM_MEDIA);

  struct Want { CFileItemMedia* m; const char* key; const char* name; int icon; int browse; };
  for (const Want& w : {Want{&base, "CFileItemMedia", "$$Unknown", -1, 0}, Want{&cd, "CD", "$$Compact disk", 202, 0},
                        Want{&dvd, "DVD", "$$Digital Versatile Disk (DVD)", 207, 0},
                        Want{&dir, "Dir", "$$Directory", 200, 1}, Want{&rem, "Rem", "$$Removable media", 201, 0}}) {
    EXPECT_STREQ(w.m->GetKindKey(), w.key);
    EXPECT_STREQ(w.m->GetKindName(), w.name);
    EXPECT_EQ(w.m->GetIconId(), w.icon);
    EXPECT_EQ(w.m->CanBrowse(), w.browse);
    std::string hint = "x";
    w.m->GetKindHint(hint);
    EXPECT_TRUE(hint.empty());
    w.m->serialNumber = 5;
    auto fresh = w.m->CreateNew();
    EXPECT_STREQ(fresh->GetKindKey(), w.key);
    EXPECT_EQ(fresh->type, ITEM_MEDIA);
    EXPECT_EQ(fresh->serialNumber, 0u);
  }

  for (const char* name : {"CFileItem", "CFileItemAppli", "CFileItemMedia", "CFileItemMediaCD", "CFileItemMediaDVD",
                           "CFileItemMediaDir", "CFileItemMediaRem"}) {
    auto item = CreateItemOfClass(name);
    ASSERT_TRUE(item) << name;
    EXPECT_STREQ(item->GetClassName(), name);
  }
  EXPECT_FALSE(CreateItemOfClass("cfileitem"));
  EXPECT_FALSE(CreateItemOfClass("CObject"));
}

TEST(MediaKinds, RegistryLookup) {
  MediaKinds().Clear();
  RegisterDefaultMediaKinds();
  ASSERT_EQ(MediaKinds().Entries().size(), 3u);
  EXPECT_EQ(MediaKinds().Entries()[0].first, "CD");
  EXPECT_EQ(MediaKinds().Entries()[1].first, "Dir");
  EXPECT_EQ(MediaKinds().Entries()[2].first, "Rem");
  EXPECT_EQ(MediaKinds().Lookup("CD"), CFileItemMediaCD().GetPrototype());
  EXPECT_EQ(MediaKinds().Lookup("Rem"), CFileItemMediaRem().GetPrototype());
  EXPECT_EQ(MediaKinds().Lookup("DVD"), nullptr);
  EXPECT_EQ(MediaKinds().Lookup("cd"), nullptr);
  EXPECT_EQ(MediaKinds().Lookup(""), nullptr);

  CMediaKindRegistry local;
  local.Register("X", [] { return CFileItemMediaCD().GetPrototype(); });
  local.Register("X", [] { return CFileItemMediaDVD().GetPrototype(); });
  EXPECT_EQ(local.Lookup("X"), CFileItemMediaDVD().GetPrototype());
}

TEST(FileItemList, TreeNavigation) {
  CFileItemList list;
  list.items.push_back(Item(ITEM_FOLDER, "Folder", 0));
  list.items.push_back(std::make_unique<CFileItemMediaCD>());
  list.items.back()->level = 1;
  list.items.push_back(Item(ITEM_DIRECTORY, "dir", 2));
  list.items.push_back(Item(ITEM_FILE, "a", 3));
  list.items.push_back(Item(ITEM_FILE, "b", 2));
  list.items.push_back(Item(ITEM_FOLDER, "Other", 0));
  list.RebuildContainerIndex();
  EXPECT_EQ(list.containerIndex, (std::vector<uint32_t>{0, 1, 2, 5}));

  EXPECT_EQ(list.SubtreeEnd(0), 5u);
  EXPECT_EQ(list.SubtreeEnd(1), 5u);
  EXPECT_EQ(list.SubtreeEnd(2), 4u);
  EXPECT_EQ(list.SubtreeEnd(3), 4u);  // followed by a smaller level: empty
  EXPECT_EQ(list.SubtreeEnd(5), 6u);  // last item: empty
  EXPECT_EQ(list.Parent(0), -1);
  EXPECT_EQ(list.Parent(3), 2);
  EXPECT_EQ(list.Parent(4), 1);
  EXPECT_EQ(list.Parent(5), -1);

  std::vector<std::unique_ptr<CFileItem>> more;
  more.push_back(Item(ITEM_DIRECTORY, "new", 2));
  more.push_back(Item(ITEM_FILE, "c", 3));
  list.Insert(4, std::move(more));
  ASSERT_EQ(list.size(), 8u);
  EXPECT_EQ(list[4]->name, "new");
  EXPECT_EQ(list.containerIndex, (std::vector<uint32_t>{0, 1, 2, 4, 7}));

  list.RemoveSubtree(2);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[2]->name, "new");
  EXPECT_EQ(list.containerIndex, (std::vector<uint32_t>{0, 1, 2, 5}));

  list.Replace(3, Item(ITEM_DIRECTORY, "c-dir", 3));
  EXPECT_EQ(list.containerIndex, (std::vector<uint32_t>{0, 1, 2, 3, 5}));

  list.RemoveSubtree(0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->name, "Other");
  EXPECT_THROW(list.RemoveSubtree(1), std::out_of_range);
  EXPECT_THROW(list.Insert(3, {}), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.size(), 0u);
  EXPECT_TRUE(list.containerIndex.empty());
}

TEST(ParentIndex, StepsAreBoundedByTheDepthNotBySiblings) {
  CFileItemList list;
  list.items.push_back(Item(ITEM_MEDIA, "Disc", 0));
  for (int i = 0; i < 100000; ++i) list.items.push_back(Item(ITEM_DIRECTORY, "d" + std::to_string(i), 1));
  list.items.push_back(Item(ITEM_FILE, "f", 2));
  const CParentIndex index(list);
  const size_t file = list.size() - 1;
  size_t steps = 99;
  EXPECT_EQ(index.Before(file, 2, &steps), static_cast<long>(file - 1));
  EXPECT_EQ(steps, 0u);
  EXPECT_EQ(index.Before(file, 1, &steps), 0);
  EXPECT_LE(steps, 1u);
  EXPECT_EQ(index.Before(file, 0, &steps), -1);
  EXPECT_LE(steps, 2u);
}
