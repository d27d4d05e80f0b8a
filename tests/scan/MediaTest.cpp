#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/FakePlatform.h"
#include "scan/MediaPaths.h"
#include "scan/MediaTypes.h"
#include "ScanTestUtil.h"

using namespace scantest;

namespace {

template <class Kind>
std::unique_ptr<Kind> MediaAt(const std::string& root, const std::string& label, const std::string& fs,
                              uint32_t serial) {
  auto m = std::make_unique<Kind>();
  m->rootPath = root;
  m->volumeLabel = label;
  m->fileSystem = fs;
  m->serialNumber = serial;
  return m;
}

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MediaKinds().Clear();
    RegisterDefaultMediaKinds();
  }
  FakePlatform fake;
  ScopedPlatform scoped{fake};
};

std::unique_ptr<CFileItem> Item(uint8_t type, const std::string& name, int level, uint32_t size = 0,
                                uint32_t time = 0) {
  return std::make_unique<CFileItem>(type, name, size, time, static_cast<int16_t>(level), 0);
}

}  // namespace

TEST_F(MediaTest, CdIdentityIsLenient) {
  fake.volumes["/media/cd"] = VolumeInfo{"DISC1", "CDFS", 0x1234, false, false};
  EXPECT_TRUE(MediaAt<CFileItemMediaCD>("/media/cd", "", "", 0)->IsSameVolume());
  EXPECT_TRUE(MediaAt<CFileItemMediaCD>("/media/cd", "DISC1", "CDFS", 0x1234)->IsSameVolume());
  EXPECT_TRUE(MediaAt<CFileItemMediaCD>("/media/cd", "DISC1", "", 0)->IsSameVolume());
  EXPECT_FALSE(MediaAt<CFileItemMediaCD>("/media/cd", "disc1", "", 0)->IsSameVolume());  // exact comparison
  EXPECT_FALSE(MediaAt<CFileItemMediaCD>("/media/cd", "", "UDF", 0)->IsSameVolume());
  EXPECT_FALSE(MediaAt<CFileItemMediaCD>("/media/cd", "", "", 0x9999)->IsSameVolume());
  EXPECT_FALSE(MediaAt<CFileItemMediaCD>("/media/empty-drive", "", "", 0)->IsSameVolume());
  EXPECT_TRUE(MediaAt<CFileItemMediaDVD>("/media/cd", "DISC1", "", 0x1234)->IsSameVolume());
  EXPECT_FALSE(MediaAt<CFileItemMedia>("/media/cd", "", "", 0)->IsSameVolume());
}

TEST_F(MediaTest, RemovableIdentityIsStrict) {
  fake.volumes["/media/stick"] = VolumeInfo{"", "FAT", 0, false, true};
  EXPECT_TRUE(MediaAt<CFileItemMediaRem>("/media/stick", "", "FAT", 0)->IsSameVolume());
  EXPECT_FALSE(MediaAt<CFileItemMediaRem>("/media/stick", "", "", 0)->IsSameVolume());
  fake.volumes["/media/stick"] = VolumeInfo{"KEY", "FAT", 7, false, true};
  EXPECT_FALSE(MediaAt<CFileItemMediaRem>("/media/stick", "", "FAT", 0)->IsSameVolume());
  EXPECT_TRUE(MediaAt<CFileItemMediaRem>("/media/stick", "KEY", "FAT", 7)->IsSameVolume());
  EXPECT_FALSE(MediaAt<CFileItemMediaRem>("/media/stick", "KEY", "FAT", 8)->IsSameVolume());
  fake.volumes.clear();
  EXPECT_FALSE(MediaAt<CFileItemMediaRem>("/media/stick", "KEY", "FAT", 7)->IsSameVolume());
}

TEST_F(MediaTest, DirectoryIdentityIsExistence) {
  // Rooted at a mount point: present as soon as that volume answers.
  fake.volumes["/media/data"] = VolumeInfo{"X", "EXT4", 1, true, true};
  auto atRoot = MediaAt<CFileItemMediaDir>("/media/data", "OTHER", "NTFS", 99);
  EXPECT_TRUE(atRoot->IsSameVolume());
  fake.volumes.clear();
  fake.mountPoints.insert("/media/data");
  EXPECT_FALSE(atRoot->IsSameVolume());
  // Rooted at a directory: the given path, or the root, must exist.
  auto dir = MediaAt<CFileItemMediaDir>("/home/u/music", "", "", 0);
  EXPECT_FALSE(dir->IsSameVolume());
  fake.existingPaths.insert("/home/u/music");
  EXPECT_TRUE(dir->IsSameVolume());
  std::string file = "/home/u/music/a.mp3";
  EXPECT_FALSE(dir->IsSameVolume(&file));
  fake.existingPaths.insert(file);
  EXPECT_TRUE(dir->IsSameVolume(&file));
}

TEST_F(MediaTest, ChooseSourceOnlyAsksForDirectories) {
  ScriptedUi ui;
  CFileItemMediaCD cd;
  EXPECT_EQ(cd.ChooseSource(&ui), 1);
  EXPECT_TRUE(ui.folderTitle.empty());
  CFileItemMediaDir dir;
  EXPECT_EQ(dir.ChooseSource(&ui), 0);  // cancelled
  EXPECT_EQ(ui.folderTitle, "Select a Starting Directory");
  ui.folder = "/home/u/photos";
  EXPECT_EQ(dir.ChooseSource(&ui), 1);
  EXPECT_EQ(dir.rootPath, "/home/u/photos");
}

TEST_F(MediaTest, DefaultMediaTypesFromDrives) {
  fake.drives = {{"/", DriveType::Fixed, "/dev/sda1"},
                 {"/media/floppy", DriveType::Removable, "/dev/fd0"},
                 {"/media/cdrom", DriveType::CdRom, "/dev/sr0"},
                 {"/net", DriveType::Remote, ""},
                 {"/media/stick", DriveType::Removable, "/dev/sdb1"}};
  MediaTypeList list;
  list.push_back(MakeMediaType("/old", "old", MediaKinds().Lookup("CD")));
  BuildDefaultMediaTypes(list);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(MediaTypeRowText(list[0]), "\tDirectory\tDirectory");
  EXPECT_EQ(list[0].iconId, 200);
  EXPECT_EQ(MediaTypeRowText(list[1]), "/media/floppy\tFloppy\tRemovable media");
  EXPECT_EQ(MediaTypeRowText(list[2]), "/media/cdrom\tCDRom\tCD-ROM");
  EXPECT_EQ(list[2].iconId, 202);
  EXPECT_EQ(list[3].path, "/media/stick");
  EXPECT_EQ(InitialMediaTypeRow(list), 2);
  fake.drives.clear();
  BuildDefaultMediaTypes(list);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(InitialMediaTypeRow(list), 0);
  EXPECT_EQ(InitialMediaTypeRow(MediaTypeList()), -1);
}

TEST_F(MediaTest, NewMediaVolumeReading) {
  fake.volumes["/media/cd"] = VolumeInfo{"MYDISK", "CDFS", 0xABCD, false, false};
  fake.volumes["/media/ext"] = VolumeInfo{"MixedLabel", "EXT4", 5, true, true};
  fake.volumes["/media/fat"] = VolumeInfo{"\xc3\x89T\xc3\x89 2000", "FAT", 6, false, true};
  fake.mountPoints.insert("/media/dead");
  NewMediaVolume v;
  ReadNewMediaVolume("/media/cd", false, v);
  EXPECT_EQ(v.name, "Mydisk");
  EXPECT_EQ(v.label, "MYDISK");
  EXPECT_EQ(v.fileSystem, "CDFS");
  EXPECT_EQ(v.serialNumber, 0xABCDu);
  ReadNewMediaVolume("/media/ext", false, v);
  EXPECT_EQ(v.name, "MixedLabel");
  ReadNewMediaVolume("/media/fat", false, v);
  EXPECT_EQ(v.name, "\xc3\x89t\xc3\xa9 2000");
  v.name = "typed";
  ReadNewMediaVolume("/media/cd", true, v);
  EXPECT_EQ(v.name, "typed");
  EXPECT_EQ(v.label, "MYDISK");
  // A directory: its last component, volume fields cleared.
  ReadNewMediaVolume("/home/u/Photos 2003/", false, v);
  EXPECT_EQ(v.name, "Photos 2003");
  EXPECT_EQ(v.label, "");
  EXPECT_EQ(v.fileSystem, "");
  EXPECT_EQ(v.serialNumber, 0u);
  // A mount point whose volume does not answer: name untouched.
  v.name = "kept";
  v.label = "L";
  ReadNewMediaVolume("/media/dead", false, v);
  EXPECT_EQ(v.name, "kept");
  EXPECT_EQ(v.label, "");
}

// Folder "Archive" > media "Disc" (root /mnt/cd) > dir "sub" > file "a.txt",
// archive "pack.zip" > member dir "in" > member "m.txt"; then a top-level media.
class CatalogPaths : public MediaTest {
 protected:
  void SetUp() override {
    MediaTest::SetUp();
    list.items.push_back(Item(ITEM_FOLDER, "Archive", 0, 0, 100));
    auto media = MediaAt<CFileItemMediaCD>("/mnt/cd", "LBL", "CDFS", 0xBEEF);
    media->name = "Disc";
    media->level = 1;
    media->time = 200;
    list.items.push_back(std::move(media));
    list.items.push_back(Item(ITEM_FILE, "top.txt", 2, 2048, 300));
    list.items.push_back(Item(ITEM_DIRECTORY, "sub", 2, 0, 150));
    list.items.push_back(Item(ITEM_FILE, "a.txt", 3, 5000, 150));
    list.items.push_back(Item(ITEM_ARCHIVE_ENTRY, "pack.zip", 3, 3072, 400));
    list.items.back()->isArchive = 1;
    list.items.push_back(Item(ITEM_DIRECTORY, "in", 4, 0, 50));
    list.items.back()->isArchive = 1;
    list.items.push_back(Item(ITEM_FILE, "m.txt", 5, 10240, 50));
    list.items.back()->isArchive = 1;
    auto second = MediaAt<CFileItemMediaDir>("/home/u/", "", "", 0);
    second->name = "Home";
    second->level = 0;
    list.items.push_back(std::move(second));
    list.items.push_back(Item(ITEM_FILE, "h.txt", 1, 1, 1));
    list.RebuildContainerIndex();
  }
  CFileItemList list;
};

TEST_F(CatalogPaths, PhysicalPaths) {
  EXPECT_EQ(PhysicalPath(list, 1), "/mnt/cd");
  EXPECT_EQ(PhysicalPath(list, 2), "/mnt/cd/top.txt");
  EXPECT_EQ(PhysicalPath(list, 2, false), "/mnt/cd/");
  EXPECT_EQ(PhysicalPath(list, 4), "/mnt/cd/sub/a.txt");
  EXPECT_EQ(PhysicalPath(list, 5), "/mnt/cd/sub/pack.zip");
  // Members stop at the archive (the member's own name is not on disk).
  EXPECT_EQ(PhysicalPath(list, 7), "/mnt/cd/sub/pack.zip/");
  EXPECT_EQ(PhysicalPath(list, 9), "/home/u/h.txt");
  EXPECT_EQ(PhysicalPath(list, 99), "");
}

TEST_F(CatalogPaths, LogicalPaths) {
  EXPECT_EQ(LogicalPath(list, 4), "\\\\Archive\\Disc:\\sub\\a.txt");
  EXPECT_EQ(LogicalPath(list, 4, false), "\\\\Archive\\Disc:\\sub");
  EXPECT_EQ(LogicalPath(list, 1), "\\\\Archive\\Disc");
  EXPECT_EQ(LogicalPath(list, 9), "\\\\Home\\h.txt");
  EXPECT_EQ(OwningMedia(list, 7), 1);
  EXPECT_EQ(OwningMedia(list, 0), -1);
  EXPECT_EQ(OwningMedia(list, 9), 8);
}

TEST_F(CatalogPaths, ChangeMediaPromptAsksUntilTheVolumeIsThere) {
  ScriptedUi ui;
  ui.answers = {IDOK, IDOK};
  int shown = 0;
  ui.onMessage = [&] {
    if (++shown == 2) fake.volumes["/mnt/cd"] = VolumeInfo{"LBL", "CDFS", 0xBEEF, false, false};
  };
  EXPECT_TRUE(ChangeMediaPrompt(list, 4, ui));
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].text, "Put the CD-ROM\n\tDisc\nin its drive");
  EXPECT_EQ(ui.shown[0].caption, "Media incorrect");
  EXPECT_EQ(ui.shown[0].flags, MB_ICONERROR | MB_OKCANCEL);
  // Present already: no question.
  ScriptedUi quiet;
  EXPECT_TRUE(ChangeMediaPrompt(list, 2, quiet));
  EXPECT_TRUE(quiet.shown.empty());
  // Wrong disc and the user gives up.
  fake.volumes["/mnt/cd"] = VolumeInfo{"OTHER", "CDFS", 1, false, false};
  ScriptedUi giveUp;
  giveUp.answers = {IDCANCEL};
  EXPECT_FALSE(ChangeMediaPrompt(list, 2, giveUp));
  EXPECT_EQ(giveUp.shown.size(), 1u);
  EXPECT_FALSE(ChangeMediaPrompt(list, 0, giveUp));  // a folder has no media
}

TEST_F(CatalogPaths, PropertiesOfAMedia) {
  auto lines = PropertiesListing(list, 1);
  std::vector<std::string> want = {
      "Name\tDisc",
      "Last refresh date\t" + PropertiesDate(200),
      "",
      "Label\tLBL",
      "File System\tCDFS",
      "Physical address\t/mnt/cd",
      "Logical address\t\\\\Archive",
      "Serial number\tbeef",
      "",
      "Application number\t0",
      "Directory levels\t4",
      "Number of contained files\t4",
      "Number of sub-directories\t2",
      "",
      "Total size\t19 Kb",
      "",
      "Older file date\t" + PropertiesDate(50),
      "Older file name\t/mnt/cd/sub/pack.zip/",
      "",
      "Younger file date\t" + PropertiesDate(400),
      "Younger file name\t/mnt/cd/sub/pack.zip",
      "",
      "Compressed\tNo",
  };
  EXPECT_EQ(lines, want);
}

TEST_F(CatalogPaths, PropertiesOfFilesArchivesAndTheWholeCatalog) {
  auto file = PropertiesListing(list, 4);
  std::vector<std::string> want = {
      "Name\ta.txt",
      "Last modification date\t" + PropertiesDate(150),
      "",
      "Physical address\t/mnt/cd/sub/",
      "Logical address\t\\\\Archive\\Disc:\\sub",
      "",
      "Size\t4 Kb",
      "Attribs\t    ",
      "",
      "Compressed\tNo",
  };
  EXPECT_EQ(file, want);
  auto archive = PropertiesListing(list, 5);
  EXPECT_NE(std::find(archive.begin(), archive.end(), "Uncompressed size\t10 Kb"), archive.end());
  EXPECT_NE(std::find(archive.begin(), archive.end(), "Compressed size\t3 Kb"), archive.end());
  EXPECT_EQ(archive.back(), "Compressed\tYes");
  auto all = PropertiesListing(list, -1, "/home/u/cat.QVD", 1000);
  EXPECT_EQ(all[0], "Name\t/home/u/cat.QVD");
  EXPECT_NE(std::find(all.begin(), all.end(), "Number of contained files\t5"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "Directory levels\t6"), all.end());
  // An empty folder has no oldest or youngest item.
  CFileItemList lone;
  lone.items.push_back(Item(ITEM_FOLDER, "Empty", 0));
  auto empty = PropertiesListing(lone, 0);
  for (const auto& l : empty) EXPECT_EQ(l.find("Older"), std::string::npos);
}

TEST_F(MediaTest, PropertiesSizesBeyondFourGigabytesStayExact) {
  CFileItemList list;
  list.items.push_back(Item(ITEM_FOLDER, "F", 0));
  for (int i = 0; i < 5; ++i) list.items.push_back(Item(ITEM_FILE, "big" + std::to_string(i), 1, 0xFFFFFFFFu, 1));
  list.items.push_back(Item(ITEM_FILE, "small", 1, 1024 * 3, 1));
  auto lines = PropertiesListing(list, 0);
  // 5 * (4 GiB - 1) + 3 KiB = 20971519 KiB + 1023 bytes + 3 KiB.
  long long bytes = 5LL * 0xFFFFFFFFLL + 3072;
  std::string want = "Total size\t" + std::to_string(bytes / 1024) + " Kb";
  EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want;
}

namespace {

// The paths as walking back over the list gives them, item by item: what
// the indexed paths must reproduce byte for byte.
std::string WalkedPhysicalPath(const CFileItemList& list, size_t i, bool withName) {
  const CFileItem* item = list[i];
  const auto* media = dynamic_cast<const CFileItemMedia*>(item);
  if (item->type == ITEM_MEDIA && media) return media->rootPath;
  std::string prefix;
  int lastLevel = item->level;
  for (size_t j = i; j-- > 0;) {
    const CFileItem* p = list[j];
    if (p->type == ITEM_FILE || p->level >= lastLevel) continue;
    if (p->type != ITEM_ARCHIVE_ENTRY && p->isArchive != 0) continue;
    lastLevel = p->level;
    const auto* m = dynamic_cast<const CFileItemMedia*>(p);
    if (p->type == ITEM_MEDIA && m) {
      const bool slash = !m->rootPath.empty() && (m->rootPath.back() == '/' || m->rootPath.back() == '\\');
      prefix = m->rootPath + (slash ? "" : "/") + prefix;
      break;
    }
    prefix = p->name + "/" + prefix;
  }
  if (withName && (item->type == ITEM_ARCHIVE_ENTRY || item->isArchive == 0)) {
    if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix += '/';
    prefix += item->name;
  }
  return prefix;
}

std::string WalkedLogicalPath(const CFileItemList& list, size_t i, bool withName) {
  std::string path;
  bool first = true;
  int lastLevel = list[i]->level;
  for (size_t j = i; j-- > 0;) {
    const CFileItem* p = list[j];
    if (p->type == ITEM_FILE || p->level >= lastLevel) continue;
    lastLevel = p->level;
    path = p->name + (first ? "" : p->type == ITEM_MEDIA ? ":\\" : "\\") + path;
    first = false;
  }
  return "\\\\" + path + (withName ? "\\" + list[i]->name : "");
}

}  // namespace

// Random catalogs, well-formed or not (level jumps, archive marks on plain
// directories, a media type code on a plain item, roots with and without a
// trailing separator): the indexed paths equal the walked ones everywhere.
TEST(ItemPaths, EqualTheWalkOverTheListOnRandomCatalogs) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    CFileItemList list;
    int level = 0;
    const size_t count = 50 + rng() % 400;
    while (list.size() < count) {
      const unsigned roll = rng() % 20;
      std::unique_ptr<CFileItem> item;
      if (roll == 0) {
        auto media = std::make_unique<CFileItemMediaCD>();
        media->rootPath = rng() % 2 ? "/mnt/m" + std::to_string(list.size()) : "/mnt/m/";
        item = std::move(media);
      } else {
        static const uint8_t types[] = {ITEM_FOLDER, ITEM_DIRECTORY, ITEM_DIRECTORY, ITEM_ARCHIVE_ENTRY, ITEM_MEDIA};
        const uint8_t type = roll < 6 ? types[rng() % std::size(types)] : uint8_t{ITEM_FILE};
        item = std::make_unique<CFileItem>(type, "", 0, 0, 0, 0);
      }
      item->name = "n" + std::to_string(list.size());
      item->isArchive = rng() % 4 == 0 ? 1 : 0;
      level = std::max(0, level + static_cast<int>(rng() % 5) - 2 + (rng() % 16 == 0 ? 4 : 0));
      item->level = static_cast<int16_t>(level);
      list.items.push_back(std::move(item));
    }
    const CItemPaths paths(list);
    for (size_t i = 0; i < list.size(); ++i) {
      for (const bool withName : {true, false}) {
        const std::string physical = WalkedPhysicalPath(list, i, withName);
        const std::string logical = WalkedLogicalPath(list, i, withName);
        ASSERT_EQ(paths.Physical(i, withName), physical) << "seed " << seed << " item " << i;
        ASSERT_EQ(PhysicalPath(list, i, withName), physical) << "seed " << seed << " item " << i;
        ASSERT_EQ(paths.Logical(i, withName), logical) << "seed " << seed << " item " << i;
        ASSERT_EQ(LogicalPath(list, i, withName), logical) << "seed " << seed << " item " << i;
      }
    }
    EXPECT_EQ(paths.Logical(list.size()), "");
  }
}
