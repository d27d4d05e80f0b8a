#include <gtest/gtest.h>

#include "catalog/CatalogStream.h"
#include "platform/FakePlatform.h"
#include "scan/MediaScan.h"
#include "ScanTestUtil.h"

using namespace scantest;

namespace {

CFileItemList SampleCatalog() {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "A", 0, 1, 0, 0));
  auto media = std::make_unique<CFileItemMediaCD>();
  media->name = "InA";
  media->level = 1;
  list.items.push_back(std::move(media));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "B", 0, 1, 1, 0));
  auto top = std::make_unique<CFileItemMediaCD>();
  top->name = "Top";
  top->level = 0;
  list.items.push_back(std::move(top));
  list.RebuildContainerIndex();
  return list;
}

class NewMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    MediaKinds().Clear();
    RegisterDefaultMediaKinds();
    tree.File("one.txt");
    tree.File("sub/two.txt");
  }
  TempTree tree;
  RecordingSink sink;
  ScriptedUi ui;
  CScanProgress progress{&sink, &ui};
};

}  // namespace

TEST(NewMediaTarget, FolderRules) {
  CFileItemList list = SampleCatalog();
  size_t at = 0;
  int level = -1;
  ASSERT_TRUE(FindNewMediaTarget(list, -1, at, level));
  EXPECT_EQ(at, 4u);
  EXPECT_EQ(level, 0);
  ASSERT_TRUE(FindNewMediaTarget(list, 0, at, level));  // the folder itself
  EXPECT_EQ(at, 1u);
  EXPECT_EQ(level, 1);
  ASSERT_TRUE(FindNewMediaTarget(list, 1, at, level));  // a media inside A: A is the target
  EXPECT_EQ(at, 1u);
  ASSERT_TRUE(FindNewMediaTarget(list, 3, at, level));  // nearest folder before, whatever its level
  EXPECT_EQ(at, 3u);
  EXPECT_EQ(level, 2);
  CFileItemList lone;
  auto m = std::make_unique<CFileItemMediaDir>();
  m->level = 0;
  lone.items.push_back(std::move(m));
  EXPECT_FALSE(FindNewMediaTarget(lone, 0, at, level));
  EXPECT_FALSE(FindNewMediaTarget(lone, 7, at, level));
}

TEST_F(NewMedia, AddsAfterTheTargetFolderAndRunsTheApplicationPass) {
  CFileItemList catalog = SampleCatalog();
  NewMediaRequest request;
  request.path = tree.str();
  request.selected = 1;
  int passes = 0;
  ApplicationPassHook pass = [&](CFileItemList& list, size_t mediaIndex, CScanProgress&) {
    ++passes;
    EXPECT_EQ(list[mediaIndex]->type, ITEM_MEDIA);
    return false;
  };
  NewMediaResult r = AddNewMedia(catalog, request, progress, ScanOptions(), pass);
  ASSERT_EQ(r.status, NewMediaStatus::Added);
  EXPECT_EQ(r.mediaIndex, 1);
  EXPECT_EQ(passes, 1);
  ASSERT_EQ(catalog.size(), 4u + 4u);
  EXPECT_EQ(catalog[1]->name, fs::path(tree.root).filename().string());
  EXPECT_EQ(catalog[1]->level, 1);
  EXPECT_EQ(catalog[2]->name, "one.txt");
  EXPECT_EQ(catalog[2]->level, 2);
  EXPECT_EQ(catalog[5]->name, "InA");
  EXPECT_NE(catalog[1]->time, 0u);
  EXPECT_EQ(dynamic_cast<CFileItemMediaDir*>(catalog[1])->rootPath, tree.str());
  // The container index covers the inserted items.
  EXPECT_EQ(catalog.containerIndex.size(), 6u);

  request.searchApplications = false;
  AddNewMedia(catalog, request, progress, ScanOptions(), pass);
  EXPECT_EQ(passes, 1);
}

TEST_F(NewMedia, StoppedScanLeavesTheCatalogUnchanged) {
  CFileItemList catalog = SampleCatalog();
  std::vector<uint8_t> before = WriteCatalogToMemory(catalog);
  progress.RequestStop();
  ui.answers = {IDOK};
  NewMediaRequest request;
  request.path = tree.str();
  request.name = "Named";
  NewMediaResult r = AddNewMedia(catalog, request, progress, ScanOptions());
  EXPECT_EQ(r.status, NewMediaStatus::Stopped);
  EXPECT_EQ(WriteCatalogToMemory(catalog), before);
}

TEST_F(NewMedia, Refusals) {
  CFileItemList catalog = SampleCatalog();
  NewMediaRequest request;
  request.path = tree.str();
  request.kindKey = "DVD";
  EXPECT_EQ(AddNewMedia(catalog, request, progress, ScanOptions()).status, NewMediaStatus::UnknownKind);
  request.kindKey = "Dir";
  request.path.clear();
  EXPECT_EQ(AddNewMedia(catalog, request, progress, ScanOptions()).status, NewMediaStatus::EmptyPath);
  FakePlatform fake;
  fake.volumes["/media/blank"] = VolumeInfo{"", "FAT", 1, false, true};
  ScopedPlatform scoped(fake);
  request.path = "/media/blank";  // a mount point whose volume has no label
  EXPECT_EQ(AddNewMedia(catalog, request, progress, ScanOptions()).status, NewMediaStatus::EmptyName);
  EXPECT_EQ(catalog.size(), 4u);
}
