#include <gtest/gtest.h>

#include <filesystem>

#include "catalog/CatalogStream.h"
#include "catalog/FileItemList.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "picture/Decoders.h"
#include "picture/PictureFixtures.h"

namespace {

class LogHost : public IDescribeHost {
 public:
  explicit LogHost(std::string dir = {}) : dir_(std::move(dir)) {}
  std::string PhysicalPath(const CFileItemList& list, size_t index) override { return dir_ + "/" + list[index]->name; }
  void LogScanError(const std::string& line) override { log.push_back(line); }
  std::vector<std::string> log;

 private:
  std::string dir_;
};

PLBitmap Solid(int w, int h, int bpp, PLPixel32 colour) {
  PLBitmap bmp(w, h, bpp);
  if (bpp <= 8) {
    bmp.Palette()[1] = colour;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bmp.SetIndex(x, y, 1);
  } else {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bmp.SetPixel(x, y, colour);
  }
  return bmp;
}

class PictureDescriber : public ::testing::Test {
 protected:
  void SetUp() override { Translator().current = LANG_ENGLISH; }

  // Describes a BMP file holding the bitmap; returns the item.
  std::unique_ptr<CFileItem> Describe(const PLBitmap& picture, const DescribeSettings& settings = {}) {
    const std::string path = dir.Write("picture.bmp", PLEncodeBmp(picture));
    auto item = std::make_unique<CFileItem>();
    item->name = "picture.bmp";
    item->description = "before";
    DescribePicture(path, *item, settings, host);
    return item;
  }

  PictureDir dir;
  LogHost host;
};

}  // namespace

TEST_F(PictureDescriber, ThumbnailSizesFollowTheAspectRule) {
  struct SizeCase {
    int w, h, tw, th;
  } cases[] = {
      {800, 600, 100, 75}, {600, 800, 75, 100}, {150, 100, 100, 66}, {50, 40, 50, 40},
      {100, 100, 100, 100}, {101, 100, 100, 99}, {300, 300, 100, 100}, {5000, 3, 100, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    auto item = Describe(Solid(c.w, c.h, 24, {0, 0, 255, 0}));
    ASSERT_TRUE(item->thumbnail);
    EXPECT_EQ(item->thumbnail->Width(), c.tw);
    EXPECT_EQ(item->thumbnail->Height(), c.th);
    EXPECT_LE(item->thumbnail->BitsPerPixel(), 8);
    EXPECT_EQ(item->thumbnail->GetPixel(c.tw / 2, c.th / 2), (PLPixel32{0, 0, 255, 0}));
  }
  EXPECT_TRUE(host.log.empty());
}

TEST_F(PictureDescriber, DescriptionUsesTheFullSizePicture) {
  auto item = Describe(Solid(800, 600, 24, {1, 2, 3, 0}));
  EXPECT_EQ(item->description,
            "Picture size 800 x 600 pixels\r\n24 bits per pixel or\r\n16777216 colors\r\n1406 Kb in memory");

  item = Describe(Solid(33, 10, 1, {9, 9, 9, 0}));
  // Row: 33 bits -> 4 + 1 bytes -> 8; 8 * 10 + 40 + 8 + 56 = 184 bytes.
  EXPECT_EQ(item->description, "Picture size 33 x 10 pixels\r\n1 bits per pixel or\r\n2 colors\r\n0 Kb in memory");

  Translator().current = LANG_FRENCH;
  item = Describe(Solid(800, 600, 8, {1, 2, 3, 0}));
  EXPECT_EQ(item->description,
            "Image de 800 x 600 pixels\r\n8 bits par pixel soit\r\n256 couleurs\r\n469 Ko en m\xC3\xA9moire");
}

TEST_F(PictureDescriber, DepthLimitAndSmallPictures) {
  // 32 bits within the size limits is still reduced to the default 8 bits.
  auto item = Describe(Solid(50, 40, 32, {10, 20, 30, 0}));
  EXPECT_EQ(item->thumbnail->Width(), 50);
  EXPECT_EQ(item->thumbnail->BitsPerPixel(), 8);
  EXPECT_EQ(item->thumbnail->GetPixel(3, 3), (PLPixel32{10, 20, 30, 0}));

  // A small picture within every limit stays exactly as decoded.
  const PLBitmap four = Solid(20, 10, 4, {1, 2, 3, 0});
  item = Describe(four);
  EXPECT_TRUE(*item->thumbnail == four);

  DescribeSettings settings;
  settings.bpp = 24;
  item = Describe(Solid(800, 600, 24, {1, 2, 3, 0}), settings);
  EXPECT_EQ(item->thumbnail->BitsPerPixel(), 24);
  settings.bpp = 32;
  item = Describe(Solid(800, 600, 24, {1, 2, 3, 0}), settings);
  EXPECT_EQ(item->thumbnail->BitsPerPixel(), 32);  // resampled at 32 bits
  settings.bpp = 1;
  item = Describe(Solid(60, 60, 24, {200, 200, 200, 0}), settings);
  EXPECT_EQ(item->thumbnail->BitsPerPixel(), 1);

  settings = {};
  settings.width = 40;
  settings.height = 30;
  item = Describe(Solid(80, 20, 24, {1, 2, 3, 0}), settings);
  EXPECT_EQ(item->thumbnail->Width(), 40);
  EXPECT_EQ(item->thumbnail->Height(), 10);
}

TEST_F(PictureDescriber, WithoutDescriptionsTheThumbnailIsStillMade) {
  DescribeSettings settings;
  settings.picDescr = false;
  auto item = Describe(Solid(800, 600, 24, {1, 2, 3, 0}), settings);
  EXPECT_EQ(item->description, "before");
  ASSERT_TRUE(item->thumbnail);
  EXPECT_EQ(item->thumbnail->Width(), 100);
}

TEST_F(PictureDescriber, CorruptPictureGetsPathAndMessage) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick convert not installed";
  const std::string made = dir.Convert("-size 40x40 plasma:fractal", "made.png");
  ASSERT_FALSE(made.empty());
  std::vector<uint8_t> bytes = ReadBytes(made);
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 8; ++i) bytes[i] ^= 0xFF;  // damage the pixel data
  const std::string path = dir.Write("broken.png", bytes);
  auto item = std::make_unique<CFileItem>();
  item->name = "broken.png";
  DescribePicture(path, *item, {}, host);
  EXPECT_FALSE(item->thumbnail);
  ASSERT_EQ(item->description.rfind(path + "\n", 0), 0u) << item->description;
  const std::string message = item->description.substr(path.size() + 1);
  EXPECT_NE(message.find("PNG"), std::string::npos) << message;
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0], path + "  " + message);

  // Not a picture at all, and a file that is not there.
  DescribePicture(dir.Write("text.gif", {'h', 'i'}), *item, {}, host);
  EXPECT_FALSE(item->thumbnail);
  DescribePicture(dir.File("gone.jpg"), *item, {}, host);
  EXPECT_FALSE(item->thumbnail);
  EXPECT_EQ(host.log.size(), 3u);
}

TEST_F(PictureDescriber, RefusedPixelsStillGiveTheHeadersSizeAndDepth) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick convert not installed";
  // 16-bit CMYK: libtiff reads the header but will not convert the pixels.
  const std::string path = dir.Convert("-size 317x211 xc:red -colorspace CMYK -depth 16", "cmyk.tif");
  ASSERT_FALSE(path.empty());
  CFileItem item;
  DescribePicture(path, item, {}, host);
  EXPECT_FALSE(item.thumbnail);
  EXPECT_EQ(item.description,
            "Picture size 317 x 211 pixels\r\n64 bits per pixel or\r\n18446744073709551616 colors\r\n"
            "522 Kb in memory");
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0].rfind(path + "  TIFF", 0), 0u) << host.log[0];
}

TEST_F(PictureDescriber, JpegThumbnailFromTheScaledDecode) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick convert not installed";
  const std::string path = dir.Convert("-size 1600x1200 gradient:red-blue -quality 90", "photo.jpg");
  ASSERT_FALSE(path.empty());
  CFileItem item;
  DescribePicture(path, item, {}, host);
  ASSERT_TRUE(item.thumbnail);
  EXPECT_EQ(item.thumbnail->Width(), 100);
  EXPECT_EQ(item.thumbnail->Height(), 75);
  EXPECT_EQ(item.thumbnail->BitsPerPixel(), 8);
  EXPECT_GT(item.thumbnail->GetPixel(50, 1).r, 200);
  EXPECT_GT(item.thumbnail->GetPixel(50, 73).b, 200);
  EXPECT_EQ(item.description,
            "Picture size 1600 x 1200 pixels\r\n24 bits per pixel or\r\n16777216 colors\r\n5625 Kb in memory");
}

TEST(PictureExtensions, UpperCasedExactMatchWithSwitches) {
  DescribeSettings s;
  for (const char* yes : {"a.jpeg", "b.JPEG", "c.Jpeg", "d.jpg", "e.JIF", "f.bmp", "g.dib", "h.rle", "i.png", "j.tif",
                          "k.eps", "l.gif", "m.pct", "n.tga", "o.wmf", "p.emf", "q.pcx", "r.pgm", "name.with.dots.PNG"})
    EXPECT_EQ(IsDescribedPicture(yes, s), 1) << yes;
  for (const char* no : {"a.jpe", "b.tiff", "c.ppm", "d", "e.", "jpg", "f.jpg.txt", "g.pict", ".bmpx"})
    EXPECT_EQ(IsDescribedPicture(no, s), 0) << no;

  s.tif = false;
  EXPECT_EQ(IsDescribedPicture("a.eps", s), 0);
  EXPECT_EQ(IsDescribedPicture("a.tif", s), 0);
  s.jpg = false;
  EXPECT_EQ(IsDescribedPicture("a.JPEG", s), 0);
  EXPECT_EQ(IsDescribedPicture("a.png", s), 1);
  s.bmp = false;
  EXPECT_EQ(IsDescribedPicture("x.rle", s), 0);
}

TEST(PictureThumbnails, SurviveASavedCatalog) {
  PictureDir dir;
  ASSERT_FALSE(dir.Path().empty());
  PLBitmap picture(640, 480, 24);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      picture.SetPixel(x, y, x < 320 ? PLPixel32{0, 0, 255, 0} : PLPixel32{255, 0, 0, 0});
  dir.Write("Holiday.BMP", PLEncodeBmp(picture));

  CFileItemList list;
  auto folder = std::make_unique<CFileItem>();
  folder->type = ITEM_DIRECTORY;
  folder->name = "Photos";
  folder->level = 0;
  list.items.push_back(std::move(folder));
  auto file = std::make_unique<CFileItem>();
  file->type = ITEM_FILE;
  file->name = "Holiday.BMP";
  file->level = 1;
  list.items.push_back(std::move(file));
  list.RebuildContainerIndex();

  LogHost host(dir.Path());
  ASSERT_EQ(DescribeFile(list, 1, {}, host), 1);
  ASSERT_TRUE(list[1]->thumbnail);

  const std::string catalog = dir.File("photos.qvd");
  SaveCatalogFile(list, catalog);
  CFileItemList loaded;
  ASSERT_EQ(LoadCatalogFile(loaded, catalog), CatalogReadResult::Ok);
  ASSERT_EQ(loaded.size(), 2u);
  ASSERT_TRUE(loaded[1]->thumbnail);
  const PLBitmap& thumb = *loaded[1]->thumbnail;
  EXPECT_EQ(thumb.Width(), 100);
  EXPECT_EQ(thumb.Height(), 75);
  EXPECT_EQ(thumb.BitsPerPixel(), 8);
  EXPECT_EQ(thumb.GetPixel(10, 40), (PLPixel32{0, 0, 255, 0}));
  EXPECT_EQ(thumb.GetPixel(90, 40), (PLPixel32{255, 0, 0, 0}));
  EXPECT_TRUE(thumb == *list[1]->thumbnail);
  EXPECT_EQ(loaded[1]->description, list[1]->description);
  EXPECT_FALSE(loaded[0]->thumbnail);
}
