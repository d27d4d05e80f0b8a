#include <gtest/gtest.h>

#include <sys/wait.h>

#include "catalog/CatalogStream.h"
#include "picture/PictureFixtures.h"

namespace {

int RunCli(const std::string& args) {
  const std::string command = std::string(QV_CLI_PATH) + " " + args + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(ThumbnailCli, WritesTheItemThumbnailAsBmp) {
  PictureDir dir;
  ASSERT_FALSE(dir.Path().empty());
  PLBitmap thumb(30, 20, 8);
  thumb.Palette()[7] = {1, 2, 3, 0};
  for (int x = 0; x < 30; ++x) thumb.SetIndex(x, 5, 7);

  CFileItemList list;
  for (const char* name : {"Dir", "with.png", "without.txt"}) {
    auto item = std::make_unique<CFileItem>();
    item->type = list.size() == 0 ? ITEM_DIRECTORY : ITEM_FILE;
    item->level = list.size() == 0 ? 0 : 1;
    item->name = name;
    list.items.push_back(std::move(item));
  }
  list[1]->thumbnail = std::make_unique<PLBitmap>(thumb);
  list.RebuildContainerIndex();
  const std::string catalog = dir.File("c.qvd");
  SaveCatalogFile(list, catalog);

  const std::string out = dir.File("t.bmp");
  ASSERT_EQ(RunCli("thumbnail '" + catalog + "' 1 '" + out + "'"), 0);
  const std::vector<uint8_t> bytes = ReadBytes(out);
  EXPECT_TRUE(PLDecodeBmp(bytes.data(), bytes.size()) == thumb);

  EXPECT_NE(RunCli("thumbnail '" + catalog + "' 2 '" + dir.File("none.bmp") + "'"), 0);
  EXPECT_NE(RunCli("thumbnail '" + catalog + "' 9 '" + dir.File("none.bmp") + "'"), 0);
  EXPECT_NE(RunCli("thumbnail '" + dir.File("missing.qvd") + "' 0 '" + dir.File("none.bmp") + "'"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.bmp")));
}
