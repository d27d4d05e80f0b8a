// Copy media and paste media on the document: the payload is the media's
// subtree stream, and a paste appends it whole or not at all.
#include "DocumentTestUtil.h"

using namespace doctest;
using Doc = DocFixture;

TEST_F(Doc, CopyMediaOnlyOnAMedia) {
  doc->list = SampleCatalog();
  doc->list.items.push_back(std::make_unique<CFileItem>(ITEM_ARCHIVE_ENTRY, "in.zip", 1, 1, 3, 0));
  for (long index : {-1L, 0L, 3L, 4L, 5L, 6L}) {
    doc->currentIndex = index;
    EXPECT_FALSE(doc->CanCopyMedia()) << index;
    EXPECT_TRUE(doc->CopyMedia().empty()) << index;
  }
  doc->currentIndex = 1;
  EXPECT_TRUE(doc->CanCopyMedia());

  // The payload reads back as the media and its subtree with their levels.
  CFileItemList back;
  const auto bytes = doc->CopyMedia();
  ASSERT_EQ(ReadCatalogFromMemory(back, bytes.data(), bytes.size()), CatalogReadResult::Ok);
  ASSERT_EQ(back.size(), 4u);
  const std::vector<std::pair<std::string, int>> expected = {{"CD1", 1}, {"readme.txt", 2}, {"tools", 2}, {"tool.exe", 3}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(back[i]->name, expected[i].first);
    EXPECT_EQ(back[i]->level, expected[i].second);
  }

  // A media with nothing under it gives a one-item stream.
  AddMedia(doc->list, "Empty CD", 0);
  doc->list.RebuildContainerIndex();
  doc->currentIndex = static_cast<long>(doc->list.size() - 1);
  CFileItemList one;
  const auto single = doc->CopyMedia();
  ASSERT_EQ(ReadCatalogFromMemory(one, single.data(), single.size()), CatalogReadResult::Ok);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0]->type, ITEM_MEDIA);
}

TEST_F(Doc, PasteAppendsAtTheEndAndTwiceGivesTwoCopies) {
  CFileItemList source = SampleCatalog();
  const auto bytes = WriteMediaSubtreeToMemory(source, 1);

  // Into an empty catalog: the media comes first, the catalog is modified.
  ASSERT_TRUE(doc->PasteMedia(bytes.data(), bytes.size()));
  ASSERT_EQ(doc->list.size(), 4u);
  EXPECT_EQ(doc->list[0]->name, "CD1");
  EXPECT_TRUE(doc->IsModified());
  // In the status bar's first part, where the selection stands.
  EXPECT_EQ(view.selectionStatus, std::vector<std::string>{"Pasting datas..."});
  EXPECT_TRUE(view.status.empty());
  EXPECT_GE(view.refreshes, 1);
  // containerIndex names the media and the directory of the pasted items.
  EXPECT_EQ(doc->list.containerIndex, (std::vector<uint32_t>{0, 2}));

  ASSERT_TRUE(doc->PasteMedia(bytes.data(), bytes.size()));
  ASSERT_EQ(doc->list.size(), 8u);
  EXPECT_EQ(doc->list[4]->name, "CD1");
  EXPECT_EQ(doc->list[7]->level, 3);
  EXPECT_EQ(doc->list.containerIndex, (std::vector<uint32_t>{0, 2, 4, 6}));
}

TEST_F(Doc, APayloadThatDoesNotReadWholeChangesNothing) {
  doc->list = SampleCatalog();
  CFileItemList source = SampleCatalog();
  const auto good = WriteMediaSubtreeToMemory(source, 1);

  // Truncated: the stream's own read error, nothing appended, not modified.
  const std::vector<uint8_t> cut(good.begin(), good.end() - 5);
  EXPECT_FALSE(doc->PasteMedia(cut.data(), cut.size()));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "File reading error");
  EXPECT_FALSE(ui.boxes[0].text.empty());

  // Written by a newer version (5).
  std::vector<uint8_t> newer = good;
  ASSERT_EQ(newer[2], 4);
  newer[2] = 5;
  EXPECT_FALSE(doc->PasteMedia(newer.data(), newer.size()));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "Cannot read file. The file is younger than Quolvane !");

  // Damaged inside a compressed block, and no bytes at all.
  std::vector<uint8_t> damaged = good;
  for (size_t i = 12; i < damaged.size(); i += 3) damaged[i] ^= 0x5A;
  EXPECT_FALSE(doc->PasteMedia(damaged.data(), damaged.size()));
  EXPECT_FALSE(doc->PasteMedia(nullptr, 0));
  EXPECT_EQ(ui.boxes.size(), 4u);

  EXPECT_EQ(doc->list.size(), 6u);
  EXPECT_EQ(doc->list.containerIndex, SampleCatalog().containerIndex);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_TRUE(view.status.empty());
}
