#include "catalog/CatalogStream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "catalog/StreamBytes.h"
#include "ports/ProgressSink.h"

namespace {

std::vector<uint8_t> Header(uint16_t version, uint32_t count, int compressed = -1) {
  StreamBytes b;
  b.u16(0).u16(version);
  if (compressed >= 0) b.u16(static_cast<uint16_t>(compressed));
  if (count < 0xFFFF)
    b.u16(static_cast<uint16_t>(count));
  else
    b.u16(0xFFFF).u32(count);
  return b.v;
}

CFileItemList Read(const std::vector<uint8_t>& bytes) {
  CFileItemList list;
  EXPECT_EQ(ReadCatalogFromMemory(list, bytes.data(), bytes.size()), CatalogReadResult::Ok);
  return list;
}

// Expects the read to fail with a reading error and to leave list as it was.
std::string ExpectReadFails(const std::vector<uint8_t>& bytes) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "keep", 0, 0, 0, 0));
  list.RebuildContainerIndex();
  list.fileVersion = 3;
  const CFileItem* before = list[0];
  std::string text;
  try {
    ReadCatalogFromMemory(list, bytes.data(), bytes.size());
    ADD_FAILURE() << "read succeeded";
  } catch (const CCatalogException& e) {
    EXPECT_EQ(e.key, "IDS_FILEREADERROR");
    text = e.what();
  }
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0], before);
  EXPECT_EQ(list.containerIndex, std::vector<uint32_t>{0});
  EXPECT_EQ(list.fileVersion, 3);
  return text;
}

PLBitmap SmallPicture() {
  PLBitmap bmp(3, 2, 24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) bmp.Row(y)[x] = static_cast<uint8_t>(y * 40 + x);
  return bmp;
}

void ExpectSameItem(const CFileItem& a, const CFileItem& b) {
  EXPECT_STREQ(a.GetClassName(), b.GetClassName());
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.description, b.description);
  EXPECT_EQ(a.size, b.size);
  EXPECT_EQ(a.time, b.time);
  EXPECT_EQ(a.level, b.level);
  EXPECT_EQ(a.attributes, b.attributes);
  EXPECT_EQ(a.isArchive, b.isArchive);
  ASSERT_EQ(!a.thumbnail, !b.thumbnail);
  if (a.thumbnail) {
    EXPECT_EQ(*a.thumbnail, *b.thumbnail);
  }
  if (auto* x = dynamic_cast<const CFileItemAppli*>(&a)) {
    auto* y = dynamic_cast<const CFileItemAppli*>(&b);
    ASSERT_TRUE(y);
    EXPECT_EQ(x->installProgram, y->installProgram);
    EXPECT_EQ(x->appSize, y->appSize);
    EXPECT_EQ(x->appTime, y->appTime);
  }
  if (auto* x = dynamic_cast<const CFileItemMedia*>(&a)) {
    auto* y = dynamic_cast<const CFileItemMedia*>(&b);
    ASSERT_TRUE(y);
    EXPECT_EQ(x->rootPath, y->rootPath);
    EXPECT_EQ(x->volumeLabel, y->volumeLabel);
    EXPECT_EQ(x->fileSystem, y->fileSystem);
    EXPECT_EQ(x->serialNumber, y->serialNumber);
  }
}

bool Contains(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

// A catalog with one object of every class and the awkward texts.
CFileItemList EveryClass() {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Archives", 0, 1600000000, 0, 0));
  auto cd = std::make_unique<CFileItemMediaCD>();
  cd->level = 1;
  cd->name = "Disc \xC3\xA9t\xC3\xA9";  // Latin-1: stored as single bytes
  cd->description = "line 1\r\nline 2";
  cd->rootPath = "/media/cdrom/";
  cd->volumeLabel = "VOL_1";
  cd->fileSystem = "CDFS";
  cd->serialNumber = 0x12345678;
  list.items.push_back(std::move(cd));
  auto app = std::make_unique<CFileItemAppli>();
  app->level = 2;
  app->name = "Tool";
  app->description = "Great tool\r\n";
  app->installProgram = "SETUP.EXE";
  app->appSize = 777;
  app->appTime = 42;
  list.items.push_back(std::move(app));
  auto pic = std::make_unique<CFileItem>(ITEM_FILE, "\xE6\x97\xA5\xE6\x9C\xAC.bmp", 5000, 7, 3,
                                         WIN32_ATTR_ARCHIVE | WIN32_ATTR_SYSTEM);
  pic->thumbnail = std::make_unique<PLBitmap>(SmallPicture());
  pic->description = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Cyrillic: UTF-16 form
  list.items.push_back(std::move(pic));
  auto zip = std::make_unique<CFileItem>(ITEM_FILE, "a.zip", 10, 8, 3, 0);
  zip->isArchive = 1;
  list.items.push_back(std::move(zip));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_ARCHIVE_ENTRY, "inner.txt", 3, 9, 4, 0));
  auto emptyThumb = std::make_unique<CFileItem>(ITEM_FILE, "empty.gif", 1, 1, 3, 0);
  emptyThumb->thumbnail = std::make_unique<PLBitmap>();
  list.items.push_back(std::move(emptyThumb));
  const char* kinds[] = {"CFileItemMedia", "CFileItemMediaDVD", "CFileItemMediaDir", "CFileItemMediaRem"};
  for (const char* k : kinds) {
    auto m = CreateItemOfClass(k);
    m->level = 0;
    m->name = k;
    static_cast<CFileItemMedia*>(m.get())->rootPath = std::string("/r/") + k;
    list.items.push_back(std::move(m));
  }
  list.items.push_back(std::make_unique<CFileItem>(ITEM_DESCRIPTION, "file_id.diz", 0, 0, 1, 0));
  list.RebuildContainerIndex();
  return list;
}

class RecordingProgress : public IProgressSink {
 public:
  void Begin(const std::string& text) override {
    begun++;
    this->text = text;
  }
  void SetPercent(int p) override { percents.push_back(p); }
  void End() override { ended++; }
  int begun = 0, ended = 0;
  std::string text;
  std::vector<int> percents;
};

}  // namespace

TEST(CatalogWrite, EmptyCatalogIsEightBytes) {
  CFileItemList list;
  list.fileVersion = 2;
  const auto bytes = WriteCatalogToMemory(list);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 0, 4, 0, 1, 0, 0, 0}));
  EXPECT_EQ(list.fileVersion, 4);
  CFileItemList back = Read(bytes);
  EXPECT_EQ(back.size(), 0u);
  EXPECT_EQ(back.fileVersion, 4);
}

TEST(CatalogWrite, RecordBytesAndZlibFraming) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "a.txt", 0x0102, 0x03040506, -2, WIN32_ATTR_ARCHIVE));
  list.items.back()->description = "\xC3\xA9";
  const auto bytes = WriteCatalogToMemory(list);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8), (std::vector<uint8_t>{0, 0, 4, 0, 1, 0, 1, 0}));
  const ParsedStream ps = ParseV4(bytes);
  ASSERT_EQ(ps.blocks.size(), 1u);
  EXPECT_FALSE(ps.streamEnded);
  const auto& payload = ps.blocks[0].payload;
  EXPECT_EQ(payload[0], 0x78);  // zlib header
  EXPECT_EQ(std::vector<uint8_t>(payload.end() - 4, payload.end()), (std::vector<uint8_t>{0, 0, 0xFF, 0xFF}));
  StreamBytes want;
  want.newClass("CFileItem").u8(ITEM_FILE).str("a.txt").u32(0x0102).u32(0x03040506).u16(0xFFFE).u8(ATTR_ARCHIVE);
  want.u32(0).str("\xE9").u8(0);
  EXPECT_EQ(ps.blocks[0].plain, want.v);
}

TEST(CatalogWrite, SeventyThousandItemsAndBlockSplitting) {
  CFileItemList list;
  for (int i = 0; i < 70000; ++i)
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "file-" + std::to_string(100000 + i) + ".dat",
                                                     static_cast<uint32_t>(i), 0, 1, 0));
  const auto bytes = WriteCatalogToMemory(list);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 6, bytes.begin() + 12),
            (std::vector<uint8_t>{0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
  const ParsedStream ps = ParseV4(bytes);
  ASSERT_GT(ps.blocks.size(), 2u);
  EXPECT_FALSE(ps.streamEnded);
  // Every record has the same length here, so whole records and greedy
  // filling show in the lengths.
  const size_t record = 2 + 2 + 2 + 9 + 1 + 1 + 15 + 4 + 4 + 2 + 1 + 4 + 1 + 1;
  uint32_t total = 0;
  for (size_t b = 0; b < ps.blocks.size(); ++b) {
    const auto& blk = ps.blocks[b];
    EXPECT_LT(blk.plain.size(), CATALOG_BLOCK_LIMIT);
    EXPECT_EQ(blk.plain.size(), blk.itemCount * record);
    if (b + 1 < ps.blocks.size()) {
      EXPECT_GE(blk.plain.size() + record, CATALOG_BLOCK_LIMIT);
    }
    EXPECT_EQ(std::vector<uint8_t>(blk.payload.end() - 4, blk.payload.end()),
              (std::vector<uint8_t>{0, 0, 0xFF, 0xFF}));
    total += blk.itemCount;
  }
  EXPECT_EQ(total, 70000u);
  CFileItemList back = Read(bytes);
  ASSERT_EQ(back.size(), 70000u);
  EXPECT_EQ(back[69999]->name, "file-169999.dat");
  EXPECT_EQ(back[69999]->size, 69999u);
  EXPECT_TRUE(back.containerIndex.empty());
}

TEST(CatalogWrite, OversizedRecordGetsABlockOfItsOwn) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "before", 0, 0, 0, 0));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "huge", 0, 0, 0, 0));
  list.items.back()->description.assign(CATALOG_BLOCK_LIMIT + 10, 'd');
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "after", 0, 0, 0, 0));
  const auto bytes = WriteCatalogToMemory(list);
  const ParsedStream ps = ParseV4(bytes);
  ASSERT_EQ(ps.blocks.size(), 3u);
  EXPECT_EQ(ps.blocks[0].itemCount, 1u);
  EXPECT_EQ(ps.blocks[1].itemCount, 1u);
  EXPECT_GT(ps.blocks[1].plain.size(), CATALOG_BLOCK_LIMIT);
  EXPECT_EQ(ps.blocks[2].itemCount, 1u);
  CFileItemList back = Read(bytes);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[1]->description.size(), CATALOG_BLOCK_LIMIT + 10);
  EXPECT_EQ(back[2]->name, "after");
}

TEST(CatalogRoundTrip, EveryClassWithThumbnailsAndTexts) {
  CFileItemList list = EveryClass();
  const auto bytes = WriteCatalogToMemory(list);
  const ParsedStream ps = ParseV4(bytes);
  // "été" as Windows-1252 bytes; the Cyrillic description in the UTF-16 form.
  EXPECT_TRUE(Contains(ps.blocks[0].plain, {8, 'D', 'i', 's', 'c', ' ', 0xE9, 't', 0xE9}));
  EXPECT_TRUE(Contains(ps.blocks[0].plain, {0xFF, 0xFE, 0xFF, 6, 0x1F, 0x04, 0x40, 0x04}));
  // The media fields go root path, file system, serial number, label.
  StreamBytes media;
  media.str("/media/cdrom/").str("CDFS").u32(0x12345678).str("VOL_1");
  EXPECT_TRUE(Contains(ps.blocks[0].plain, media.v));

  CFileItemList back = Read(bytes);
  ASSERT_EQ(back.size(), list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectSameItem(*list[i], *back[i]);
  }
  EXPECT_EQ(back.containerIndex, list.containerIndex);

  // Reading into an open catalog appends and extends the container index.
  CFileItemList merged = Read(bytes);
  ASSERT_EQ(ReadCatalogFromMemory(merged, bytes.data(), bytes.size()), CatalogReadResult::Ok);
  ASSERT_EQ(merged.size(), 2 * list.size());
  std::vector<uint32_t> want = list.containerIndex;
  for (uint32_t i : list.containerIndex) want.push_back(i + static_cast<uint32_t>(list.size()));
  EXPECT_EQ(merged.containerIndex, want);
}

TEST(CatalogRoundTrip, MediaSubtree) {
  CFileItemList list = EveryClass();
  // The CD (index 1) holds the application and the files below it.
  const auto bytes = WriteMediaSubtreeToMemory(list, 1);
  CFileItemList back = Read(bytes);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_STREQ(back[0]->GetClassName(), "CFileItemMediaCD");
  EXPECT_EQ(back[5]->name, "empty.gif");
  // A media that is the last item of the list writes N = 1.
  const size_t lastMedia = list.size() - 2;
  list.items.pop_back();
  const auto one = WriteMediaSubtreeToMemory(list, lastMedia);
  EXPECT_EQ(one[6], 1);
  EXPECT_EQ(one[7], 0);
  EXPECT_EQ(Read(one).size(), 1u);
  EXPECT_EQ(list.fileVersion, 4);
}

TEST(CatalogRead, VersionZeroUsesClassReferences) {
  StreamBytes b;
  b.u16(3);
  b.newClass("CFileItem").itemFields(0, ITEM_FOLDER, "Folder", 0, 5, 0, 0);
  b.classRef(1).itemFields(0, ITEM_FILE, "f.txt", 10, 6, 1, ATTR_ARCHIVE);
  b.newClass("CFileItemAppli").itemFields(0, ITEM_DIRECTORY, "App", 0, 7, 1, 0);
  b.str("Appli text\r\n").str("INSTALL.EXE").u32(123).u32(456);
  CFileItemList list = Read(b.v);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.fileVersion, 0);
  EXPECT_EQ(list[1]->name, "f.txt");
  EXPECT_EQ(list[1]->isArchive, 0u);
  auto* app = dynamic_cast<CFileItemAppli*>(list[2]);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->description, "Appli text\r\n");
  EXPECT_EQ(app->installProgram, "INSTALL.EXE");
  EXPECT_EQ(app->appSize, 123u);
  EXPECT_EQ(app->appTime, 456u);
  EXPECT_EQ(list.containerIndex, (std::vector<uint32_t>{0, 2}));

  // An empty catalog of that format is the lone count 0.
  CFileItemList empty = Read({0, 0});
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.fileVersion, 0);
}

TEST(CatalogRead, VersionsOneTwoThree) {
  // Version 1: isArchive present; an application's description stands before its own fields.
  StreamBytes v1;
  v1.raw(Header(1, 2));
  v1.newClass("CFileItem").itemFields(1, ITEM_FILE, "a.zip", 1, 2, 0, 0, 1);
  v1.newClass("CFileItemAppli").itemFields(1, ITEM_DIRECTORY, "App", 0, 0, 0, 0, 0);
  v1.str("Title").str("SETUP.EXE").u32(1).u32(2);
  CFileItemList l1 = Read(v1.v);
  ASSERT_EQ(l1.size(), 2u);
  EXPECT_EQ(l1.fileVersion, 1);
  EXPECT_EQ(l1[0]->isArchive, 1u);
  EXPECT_EQ(l1[0]->description, "");
  EXPECT_EQ(l1[1]->description, "Title");
  EXPECT_EQ(static_cast<CFileItemAppli*>(l1[1])->installProgram, "SETUP.EXE");

  // Version 2: description in the CFileItem part, no thumbnail flag.
  StreamBytes v2;
  v2.raw(Header(2, 2));
  v2.newClass("CFileItemAppli").itemFields(2, ITEM_DIRECTORY, "App", 0, 0, 0, 0, 0, "Text");
  v2.str("GO.EXE").u32(3).u32(4);
  v2.newClass("CFileItemMediaRem").itemFields(2, ITEM_MEDIA, "Stick", 0, 0, 0, 0, 0, "usb");
  v2.str("/mnt/usb").str("vfat").u32(0xCAFE).str("LABEL");
  CFileItemList l2 = Read(v2.v);
  ASSERT_EQ(l2.size(), 2u);
  EXPECT_EQ(l2[0]->description, "Text");
  EXPECT_EQ(static_cast<CFileItemAppli*>(l2[0])->installProgram, "GO.EXE");
  auto* rem = dynamic_cast<CFileItemMediaRem*>(l2[1]);
  ASSERT_TRUE(rem);
  EXPECT_EQ(rem->description, "usb");
  EXPECT_EQ(rem->rootPath, "/mnt/usb");
  EXPECT_EQ(rem->fileSystem, "vfat");
  EXPECT_EQ(rem->serialNumber, 0xCAFEu);
  EXPECT_EQ(rem->volumeLabel, "LABEL");
  EXPECT_FALSE(rem->thumbnail);

  // Version 3: the thumbnail flag and record, an empty one, and none.
  const auto bmp = PLEncodeBmp(SmallPicture());
  StreamBytes v3;
  v3.raw(Header(3, 3));
  v3.newClass("CFileItem").u8(ITEM_FILE).str("p.bmp").u32(1).u32(2).u16(1).u8(0).u32(0).str("");
  v3.u8(1).u32(static_cast<uint32_t>(bmp.size())).raw(bmp);
  v3.classRef(1).u8(ITEM_FILE).str("q.bmp").u32(1).u32(2).u16(1).u8(0).u32(0).str("").u8(1).u32(0);
  v3.classRef(1).itemFields(3, ITEM_FILE, "r.txt", 1, 2, 1, 0);
  CFileItemList l3 = Read(v3.v);
  ASSERT_EQ(l3.size(), 3u);
  ASSERT_TRUE(l3[0]->thumbnail);
  EXPECT_EQ(*l3[0]->thumbnail, SmallPicture());
  ASSERT_TRUE(l3[1]->thumbnail);
  EXPECT_TRUE(l3[1]->thumbnail->IsEmpty());
  EXPECT_FALSE(l3[2]->thumbnail);
}

TEST(CatalogRead, VersionFourUncompressedAndHandMadeBlocks) {
  StreamBytes plain;
  plain.raw(Header(4, 3, 0));
  plain.newClass("CFileItem").itemFields(4, ITEM_FOLDER, "F", 0, 0, 0, 0);
  plain.classRef(1).itemFields(4, ITEM_FILE, "x", 0, 0, 1, 0);
  plain.u16(0x7FFF).u32(0x80000001).itemFields(4, ITEM_FILE, "y", 0, 0, 1, 0);  // big class tag
  CFileItemList l = Read(plain.v);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l.fileVersion, 4);
  EXPECT_EQ(l[2]->name, "y");

  // Only the low byte of the compression flag counts.
  plain.v[4] = 0;
  plain.v[5] = 1;
  EXPECT_EQ(Read(plain.v).size(), 3u);

  // Two blocks; inside a block the archive is shared, so class references work.
  StreamBytes b1, b2;
  b1.newClass("CFileItem").itemFields(4, ITEM_FOLDER, "F", 0, 0, 0, 0);
  b1.classRef(1).itemFields(4, ITEM_FILE, "x", 0, 0, 1, 0);
  b2.newClass("CFileItemMediaDir").itemFields(4, ITEM_MEDIA, "M", 0, 0, 0, 0);
  b2.str("/home").str("").u32(0).str("");
  BlockDeflater z;
  const auto p1 = z.Block(b1.v), p2 = z.Block(b2.v);
  StreamBytes s;
  s.raw(Header(4, 3, 1));
  s.u32(2).u32(static_cast<uint32_t>(p1.size())).u32(static_cast<uint32_t>(b1.v.size())).raw(p1);
  s.u32(1).u32(static_cast<uint32_t>(p2.size())).u32(static_cast<uint32_t>(b2.v.size())).raw(p2);
  CFileItemList c = Read(s.v);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_STREQ(c[2]->GetClassName(), "CFileItemMediaDir");
  EXPECT_EQ(static_cast<CFileItemMediaDir*>(c[2])->rootPath, "/home");
  EXPECT_EQ(c.containerIndex, (std::vector<uint32_t>{0, 2}));

  // A block may not refer to a class of the previous block.
  StreamBytes b3;
  b3.classRef(1).itemFields(4, ITEM_FILE, "z", 0, 0, 1, 0);
  BlockDeflater z2;
  const auto q1 = z2.Block(b1.v), q3 = z2.Block(b3.v);
  StreamBytes bad;
  bad.raw(Header(4, 3, 1));
  bad.u32(2).u32(static_cast<uint32_t>(q1.size())).u32(static_cast<uint32_t>(b1.v.size())).raw(q1);
  bad.u32(1).u32(static_cast<uint32_t>(q3.size())).u32(static_cast<uint32_t>(b3.v.size())).raw(q3);
  EXPECT_EQ(ExpectReadFails(bad.v), "bad class index 1");
}

TEST(CatalogRead, StringLengthForms) {
  const std::string s255(255, 'a'), s70000(70000, 'b');
  StreamBytes b;
  b.raw(Header(2, 2));
  b.newClass("CFileItem").itemFields(2, ITEM_FILE, s255, 0, 0, 0, 0, 0, s70000);
  // The UTF-16 form, short and with a WORD length; an undefined Windows-1252 byte survives.
  std::u16string wideName = u"\u65E5\u672C";
  std::u16string wideDesc(300, u'\u00E9');
  b.classRef(1).u8(ITEM_FILE).wstr(wideName).u32(0).u32(0).u16(0).u8(0).u32(0).wstr(wideDesc);
  CFileItemList l = Read(b.v);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0]->name, s255);
  EXPECT_EQ(l[0]->description, s70000);
  EXPECT_EQ(l[1]->name, "\xE6\x97\xA5\xE6\x9C\xAC");
  ASSERT_EQ(l[1]->description.size(), 600u);
  EXPECT_EQ(l[1]->description.substr(0, 2), "\xC3\xA9");

  // Written back, the lengths use the same forms.
  const auto again = WriteCatalogToMemory(l);
  const auto plain = ParseV4(again).blocks[0].plain;
  EXPECT_TRUE(Contains(plain, {0xFF, 0xFF, 0x00, 'a'}));
  EXPECT_TRUE(Contains(plain, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00, 'b'}));
  EXPECT_TRUE(Contains(plain, {0xFF, 0xFE, 0xFF, 2, 0xE5, 0x65}));
  // 300 é fit in Windows-1252: single bytes.
  EXPECT_TRUE(Contains(plain, {0xFF, 0x2C, 0x01, 0xE9, 0xE9}));
}

// Each length form on both sides of its limit: a length written in the wrong
// form makes the reader take text bytes for a marker.
TEST(CatalogRoundTrip, StringLengthPrefixBoundaries) {
  struct Case {
    size_t n;
    std::vector<uint8_t> prefix;  // before the bytes of an n-character text
  };
  const Case cases[] = {{254, {0xFE}},
                        {255, {0xFF, 0xFF, 0x00}},
                        {65533, {0xFF, 0xFD, 0xFF}},
                        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
                        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    CFileItemList list;
    std::string cyrillic;  // outside Windows-1252: the UTF-16 form
    for (size_t i = 0; i < c.n; ++i) cyrillic += "\xD0\x96";
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, std::string(c.n, 'a'), 0, 0, 0, 0));
    list.items.back()->description = cyrillic;
    const auto bytes = WriteCatalogToMemory(list);
    const auto plain = ParseV4(bytes).blocks.at(0).plain;

    // The UTF-16 marker, then the same forms counting UTF-16 units.
    std::vector<uint8_t> wide{0xFF, 0xFE, 0xFF};
    wide.insert(wide.end(), c.prefix.begin(), c.prefix.end());
    const size_t namePos = 15 + 1;  // after the class tag and the type
    const size_t descPos = namePos + c.prefix.size() + c.n + 4 + 4 + 2 + 1 + 4;
    EXPECT_EQ(std::vector<uint8_t>(plain.begin() + namePos, plain.begin() + namePos + c.prefix.size()), c.prefix);
    ASSERT_GE(plain.size(), descPos + wide.size() + 2 * c.n + 1);
    EXPECT_EQ(std::vector<uint8_t>(plain.begin() + descPos, plain.begin() + descPos + wide.size()), wide);
    EXPECT_EQ(plain[descPos + wide.size()], 0x16);

    CFileItemList back = Read(bytes);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(back[0]->name == list[0]->name);
    EXPECT_TRUE(back[0]->description == cyrillic);
  }
}

TEST(CatalogRead, TooRecentVersionLeavesTheCatalogAlone) {
  CFileItemList list = EveryClass();
  list.fileVersion = 2;
  const size_t n = list.size();
  const CFileItem* first = list[0];
  StreamBytes b;
  b.raw(Header(5, 1));
  b.newClass("CFileItem").itemFields(4, ITEM_FILE, "x", 0, 0, 0, 0);
  EXPECT_EQ(ReadCatalogFromMemory(list, b.v.data(), b.v.size()), CatalogReadResult::TooRecent);
  ASSERT_EQ(list.size(), n);
  EXPECT_EQ(list[0], first);
  EXPECT_EQ(list.fileVersion, 2);
  EXPECT_EQ(list.containerIndex, EveryClass().containerIndex);
}

TEST(CatalogRead, DamagedStreamsFailWithoutChangingTheCatalog) {
  CFileItemList src = EveryClass();
  const auto good = WriteCatalogToMemory(src);
  // Every truncation fails (but the lone count 0, an empty catalog of the oldest format).
  for (size_t len = 0; len < good.size(); ++len) {
    if (len == 2) continue;
    SCOPED_TRACE(len);
    ExpectReadFails(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(len)));
  }
  EXPECT_EQ(ExpectReadFails({0, 0, 4}), "unexpected end of file");

  auto item = [](StreamBytes& b) { return &b.itemFields(4, ITEM_FILE, "x", 0, 0, 0, 0); };
  struct TagCase {
    std::vector<uint8_t> tag;
    const char* error;
  };
  const TagCase tagCases[] = {
      {StreamBytes().newClass("CFooBar").v, "unknown class name CFooBar"},
      {StreamBytes().newClass("CFileItem", 2).v, "wrong schema 2 for class CFileItem"},
      {StreamBytes().u16(0).v, "null object where an item was expected"},
      {StreamBytes().classRef(5).v, "bad class index 5"},
      {StreamBytes().u16(0x7FFF).u32(0x80000009).v, "bad class index 9"},
  };
  for (const TagCase& c : tagCases) {
    StreamBytes b;
    b.raw(Header(4, 1, 0)).raw(c.tag);
    item(b);
    EXPECT_EQ(ExpectReadFails(b.v), c.error);
  }
  // A reference to an item read before gives the list its own copy of it; a
  // reference to a class or to nothing read yet is an error.
  {
    StreamBytes backref;
    backref.raw(Header(4, 2, 0)).newClass("CFileItem");
    item(backref)->u16(2);
    CFileItemList list;
    ReadCatalogFromMemory(list, backref.v.data(), backref.v.size());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_NE(list[0], list[1]);
    EXPECT_EQ(list[1]->name, "x");
    EXPECT_EQ(list[1]->type, ITEM_FILE);
  }
  StreamBytes classRef;
  classRef.raw(Header(4, 2, 0)).newClass("CFileItem");
  item(classRef)->u16(1);
  EXPECT_EQ(ExpectReadFails(classRef.v), "reference to unknown object 1");
  StreamBytes forwardRef;
  forwardRef.raw(Header(4, 2, 0)).newClass("CFileItem");
  item(forwardRef)->u16(7);
  EXPECT_EQ(ExpectReadFails(forwardRef.v), "reference to unknown object 7");

  // Counts larger than the data are refused before anything is allocated.
  StreamBytes many;
  many.raw(Header(4, 100000000, 0)).newClass("CFileItem");
  item(many);
  EXPECT_NE(ExpectReadFails(many.v).find("announces 100000000 items"), std::string::npos);
  StreamBytes hugeString;
  hugeString.raw(Header(4, 1, 0)).newClass("CFileItem").u8(ITEM_FILE).u8(0xFF).u16(0xFFFF).u32(0xFFFFFFF0);
  hugeString.raw(std::string(64, 'x'));
  EXPECT_EQ(ExpectReadFails(hugeString.v), "unexpected end of file");
  StreamBytes hugeThumb;
  hugeThumb.raw(Header(4, 1, 0)).newClass("CFileItem").u8(ITEM_FILE).str("x").u32(0).u32(0).u16(0).u8(0);
  hugeThumb.u32(0).str("").u8(1).u32(0xFFFFFF00).raw(std::string(100, 'B'));
  EXPECT_EQ(ExpectReadFails(hugeThumb.v), "unexpected end of file");

  // Block headers that cannot be honest.
  StreamBytes blockLie;
  blockLie.raw(Header(4, 1, 1)).u32(1).u32(8).u32(0xFFFFFFFF).raw(std::string(8, '\0'));
  EXPECT_EQ(ExpectReadFails(blockLie.v), "damaged block header");
  StreamBytes tooManyInBlock;
  tooManyInBlock.raw(Header(4, 1, 1)).u32(2).u32(8).u32(64).raw(std::string(8, '\0'));
  EXPECT_NE(ExpectReadFails(tooManyInBlock.v).find("a block holds 2 items where 1 remain"), std::string::npos);
  StreamBytes longPayload;
  longPayload.raw(Header(4, 1, 1)).u32(1).u32(0x7FFFFFFF).u32(100).raw(std::string(10, '\0'));
  EXPECT_EQ(ExpectReadFails(longPayload.v), "unexpected end of file");

  // Corrupt deflate data, and a plain length that does not match.
  auto corrupt = good;
  const size_t payloadStart = 8 + 12;
  corrupt[payloadStart + 2] ^= 0xFF;
  corrupt[payloadStart + 3] ^= 0x55;
  ExpectReadFails(corrupt);
  auto badHeader = good;
  badHeader[payloadStart] = 0x77;  // not a zlib header
  EXPECT_NE(ExpectReadFails(badHeader).find("damaged compressed data"), std::string::npos);
  auto wrongPlain = good;
  wrongPlain[8 + 8] = static_cast<uint8_t>(wrongPlain[8 + 8] - 1);
  EXPECT_NE(ExpectReadFails(wrongPlain).find("damaged compressed data"), std::string::npos);
}

namespace {
// Hands out one byte at a time and does not know the size, like a pipe.
class TrickleSource : public ICatalogSource {
 public:
  explicit TrickleSource(std::vector<uint8_t> b) : bytes_(std::move(b)) {}
  size_t Read(uint8_t* dst, size_t n) override {
    if (pos_ >= bytes_.size() || n == 0) return 0;
    *dst = bytes_[pos_++];
    return 1;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
};

class FailingSink : public ICatalogSink {
 public:
  void Write(const uint8_t*, size_t n) override {
    written += n;
    if (written > 20) throw CCatalogException("IDS_FILEWRITEERROR", "No space left on device");
  }
  size_t written = 0;
};
}  // namespace

TEST(CatalogRead, UnsizedSources) {
  CFileItemList src = EveryClass();
  TrickleSource ok(WriteCatalogToMemory(src));
  CFileItemList back;
  ASSERT_EQ(ReadCatalog(back, ok), CatalogReadResult::Ok);
  EXPECT_EQ(back.size(), src.size());

  StreamBytes lie;
  lie.raw(Header(4, 1, 1)).u32(1).u32(0xFFFFFFF0).u32(100).raw(std::string(1000, '\0'));
  TrickleSource bad(lie.v);
  CFileItemList none;
  EXPECT_THROW(ReadCatalog(none, bad), CCatalogException);
  EXPECT_EQ(none.size(), 0u);
}

TEST(CatalogFiles, SaveLoadProgressAndErrors) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qv-catalog-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "cat.qvd").string();
  CFileItemList list = EveryClass();
  for (int i = 0; i < 500; ++i)
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "f" + std::to_string(i), 0, 0, 1, 0));

  RecordingProgress saving;
  SaveCatalogFile(list, path, &saving);
  EXPECT_EQ(saving.text, "Saving " + path);
  EXPECT_EQ(saving.begun, 1);
  EXPECT_EQ(saving.ended, 1);
  ASSERT_FALSE(saving.percents.empty());
  EXPECT_EQ(saving.percents.back(), 100);
  for (size_t i = 1; i < saving.percents.size(); ++i) EXPECT_GT(saving.percents[i], saving.percents[i - 1]);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);  // no temporary left

  RecordingProgress loading;
  CFileItemList back;
  ASSERT_EQ(LoadCatalogFile(back, path, &loading), CatalogReadResult::Ok);
  EXPECT_EQ(loading.text, "Loading " + path);
  EXPECT_EQ(loading.ended, 1);
  EXPECT_EQ(loading.percents.back(), 100);
  ASSERT_EQ(back.size(), list.size());
  ExpectSameItem(*back[3], *list[3]);

  // A damaged file: the error, the progress ended, the catalog untouched.
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 3);
  RecordingProgress failing;
  try {
    LoadCatalogFile(back, path, &failing);
    ADD_FAILURE();
  } catch (const CCatalogException& e) {
    EXPECT_EQ(e.key, "IDS_FILEREADERROR");
  }
  EXPECT_EQ(failing.ended, 1);
  EXPECT_EQ(back.size(), list.size());

  try {
    LoadCatalogFile(back, (dir / "missing.qvd").string());
    ADD_FAILURE();
  } catch (const CCatalogException& e) {
    EXPECT_EQ(e.key, "IDS_FILEREADERROR");
    EXPECT_STREQ(e.what(), "No such file or directory");
  }
  try {
    SaveCatalogFile(list, (dir / "no-dir" / "x.qvd").string());
    ADD_FAILURE();
  } catch (const CCatalogException& e) {
    EXPECT_EQ(e.key, "IDS_FILEWRITEERROR");
  }

  // A failing sink stops the save with its error.
  FailingSink full;
  try {
    WriteCatalog(list, full);
    ADD_FAILURE();
  } catch (const CCatalogException& e) {
    EXPECT_EQ(e.key, "IDS_FILEWRITEERROR");
    EXPECT_STREQ(e.what(), "No space left on device");
  }
  std::filesystem::remove_all(dir);
}

TEST(CatalogRecover, KeepsWhatPrecedesTheDamageAtTheStartMiddleAndEnd) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "top", 0, 0, 0, 0));
  for (int i = 0; i < 70000; ++i)
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "file-" + std::to_string(i), 0, 0, 1, 0));
  const auto bytes = WriteCatalogToMemory(list);
  const ParsedStream ps = ParseV4(bytes);
  ASSERT_GE(ps.blocks.size(), 3u);
  // Stream offsets of the block headers: after the 12-byte stream header.
  std::vector<size_t> at = {12};
  for (const auto& b : ps.blocks) at.push_back(at.back() + 12 + b.payload.size());
  struct Case {
    const char* where;
    std::vector<uint8_t> bytes;
    size_t atLeast, below;
  };
  std::vector<Case> cases;
  auto hit = [&](size_t offset) {
    auto b = bytes;
    b[offset] = b[offset + 1] = b[offset + 2] = b[offset + 3] = 0x7F;  // an impossible item count
    return b;
  };
  cases.push_back({"start", hit(at[0]), 0, 1});
  cases.push_back({"middle", hit(at[1]), ps.blocks[0].itemCount, ps.blocks[0].itemCount + 1});
  // Cut half-way through the last block's data: its first items inflate still.
  const size_t lastItems = list.size() - ps.blocks.back().itemCount;
  cases.push_back({"end", std::vector<uint8_t>(bytes.begin(), bytes.begin() + at[at.size() - 2] + 12 +
                                                                  ps.blocks.back().payload.size() / 2),
                   lastItems + 1, list.size()});
  for (const Case& c : cases) {
    ExpectReadFails(c.bytes);  // Open refuses the damaged stream
    CFileItemList kept;
    CMemorySource source(c.bytes.data(), c.bytes.size());
    const CatalogRecovery r = RecoverCatalog(kept, source);
    EXPECT_TRUE(r.damaged) << c.where;
    EXPECT_EQ(r.kept, kept.size()) << c.where;
    EXPECT_GE(kept.size(), c.atLeast) << c.where;
    EXPECT_LT(kept.size(), c.below) << c.where;
    EXPECT_EQ(r.announced, list.size());
    for (size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i]->name, list[i]->name) << c.where;
    // What is kept is a catalog of its own.
    const auto again = WriteCatalogToMemory(kept);
    EXPECT_EQ(Read(again).size(), kept.size()) << c.where;
  }
  // An undamaged stream is kept whole and said to be so.
  CFileItemList whole;
  CMemorySource source(bytes.data(), bytes.size());
  const CatalogRecovery r = RecoverCatalog(whole, source);
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(whole.size(), list.size());
}

TEST(CatalogRecover, AMisplacedContainerLeavesNoIndexPastTheKeptItems) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "top", 0, 0, 0, 0));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "file", 0, 0, 1, 0));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_DIRECTORY, "astray", 0, 0, 3, 0));
  const auto bytes = WriteCatalogToMemory(list);
  CFileItemList kept;
  CMemorySource source(bytes.data(), bytes.size());
  const CatalogRecovery r = RecoverCatalog(kept, source);
  EXPECT_TRUE(r.damaged);
  EXPECT_EQ(r.kept, 2u);
  EXPECT_NE(r.reason.find("does not fit in the tree"), std::string::npos) << r.reason;
  EXPECT_EQ(kept.containerIndex, std::vector<uint32_t>{0});
}

TEST(CatalogRecover, ADamagedHeaderIsReadPastAndDamageIsPlacedAtItsBlock) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "top", 0, 0, 0, 0));
  for (int i = 0; i < 3000; ++i) {
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "file-" + std::to_string(i), 0, 0, 1, 0));
    list.items.back()->description = std::string(300, static_cast<char>('a' + i % 26));
  }
  const auto bytes = WriteCatalogToMemory(list);
  const ParsedStream ps = ParseV4(bytes);
  ASSERT_GE(ps.blocks.size(), 2u);
  auto recover = [](const std::vector<uint8_t>& b, CFileItemList& kept) {
    CMemorySource source(b.data(), b.size());
    return RecoverCatalog(kept, source);
  };

  // One flipped byte of the version (it then reads as too recent, or as
  // version 5), or of the counts: every item after the header is intact.
  struct Case {
    size_t offset;
    uint8_t value;
  };
  for (const Case c : {Case{3, 0x12}, Case{2, 0x05}, Case{0, 0x40}, Case{4, 0x00}, Case{6, 0xFE}, Case{7, 0xFF}}) {
    auto b = bytes;
    b[c.offset] = c.value;
    CFileItemList kept;
    const CatalogRecovery r = recover(b, kept);
    EXPECT_TRUE(r.damaged) << c.offset;
    EXPECT_FALSE(r.tooRecent) << c.offset;
    EXPECT_EQ(r.damageOffset, c.offset == 7 ? 6u : c.offset) << c.offset << " " << r.reason;
    ASSERT_EQ(kept.size(), list.size()) << c.offset << " " << r.reason;
    for (size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i]->description, list[i]->description);
  }

  // Damage inside compressed data is placed at the start of its block.
  std::vector<size_t> at = {8};
  for (const auto& block : ps.blocks) at.push_back(at.back() + 12 + block.payload.size());
  for (size_t k : {size_t{0}, size_t{1}}) {
    auto b = bytes;
    b[at[k] + 12 + 1000] ^= 0xFF;
    CFileItemList kept;
    const CatalogRecovery r = recover(b, kept);
    EXPECT_TRUE(r.damaged);
    EXPECT_EQ(r.damageOffset, at[k]) << r.reason;
    EXPECT_EQ(r.damagedBlock, k + 1);
    EXPECT_GE(kept.size(), k == 0 ? 0u : ps.blocks[0].itemCount);
    EXPECT_LT(kept.size(), list.size());
  }

  // A stream that is truly of a later version and holds nothing readable stays refused.
  const std::vector<uint8_t> later = {0, 0, 5, 0, 1, 0, 1, 0, 9, 9, 9, 9};
  CFileItemList none;
  EXPECT_TRUE(recover(later, none).tooRecent);
  EXPECT_EQ(none.size(), 0u);
}
