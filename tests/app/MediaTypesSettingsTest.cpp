// The media type list in the settings file (section "Medias"), read and
// written by the settings code.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "catalog/FileItem.h"
#include "platform/FakePlatform.h"
#include "scan/MediaTypes.h"

namespace {

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MediaKinds().Clear();
    RegisterDefaultMediaKinds();
  }
  FakePlatform fake;
  ScopedPlatform scoped{fake};
};

}  // namespace

TEST_F(MediaTest, MediaTypesFromSettings) {
  fake.drives = {{"/media/cdrom", DriveType::CdRom, "/dev/sr0"}};
  CIniFile ini;
  ini.Parse(
      "[Medias]\n"
      "Item 0=CD,My discs,/media/cdrom\n"
      "Item 1=DVD,Movies,/media/dvd\n"
      "Item 2=Dir,Odd,/home/u/a,b,c\n"
      "Item 3=Rem,NoPath\n"
      "Item 5=Dir,After a gap,/x\n");
  MediaTypeList list;
  LoadMediaTypes(ini, list);
  ASSERT_EQ(list.size(), 3u);  // DVD skipped, the gap ends the list
  EXPECT_EQ(list[0].name, "My discs");
  EXPECT_EQ(list[0].kind, MediaKinds().Lookup("CD"));
  EXPECT_EQ(list[1].path, "/home/u/a,b,c");
  EXPECT_EQ(list[2].name, "NoPath");
  EXPECT_EQ(list[2].path, "");
  EXPECT_EQ(list[2].iconId, 201);

  // Only an unknown kind stored: it still counts, no defaults are built.
  CIniFile dvdOnly;
  dvdOnly.Parse("[Medias]\nItem 0=DVD,Movies,/media/dvd\n");
  LoadMediaTypes(dvdOnly, list);
  EXPECT_TRUE(list.empty());
  // Nothing stored: defaults from the drives.
  LoadMediaTypes(CIniFile(), list);
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(MediaTest, SavedMediaTypesReadBackAndShrinkCleanly) {
  MediaTypeList list;
  list.push_back(MakeMediaType("", "Directory", MediaKinds().Lookup("Dir")));
  list.push_back(MakeMediaType("/media/cdrom", "CDRom", MediaKinds().Lookup("CD")));
  list.push_back(MakeMediaType("/media/usb", "Key", MediaKinds().Lookup("Rem")));
  CIniFile ini;
  SaveMediaTypes(ini, list);
  EXPECT_EQ(ini.GetString("Medias", "Item 1"), "CD,CDRom,/media/cdrom");
  list.pop_back();
  SaveMediaTypes(ini, list);
  EXPECT_FALSE(ini.Get("Medias", "Item 2").has_value());  // no stale row comes back
  MediaTypeList back;
  LoadMediaTypes(ini, back);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].path, "");
  EXPECT_EQ(back[1].name, "CDRom");
}
