#include <gtest/gtest.h>

#include <cstring>

#include "picture/Decoders.h"
#include "picture/PictureFixtures.h"

namespace {

struct Case {
  const char* name;  // file name; its extension tells convert the format
  const char* options;
  const char* format;  // convert's FORMAT: prefix of the output, or ""
  std::vector<int> depths;  // depths the decoder may deliver
};

bool IsRed(PLPixel32 p) { return p.r > 200 && p.g < 60 && p.b < 60; }
bool IsBlue(PLPixel32 p) { return p.b > 200 && p.r < 60 && p.g < 60; }

class DecodeFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick convert not installed";
  }
  PictureDir dir;
};

}  // namespace

TEST_F(DecodeFiles, EveryLibraryFormatGivesSizeDepthAndColours) {
  const std::string rb = kRedBlue;
  const std::vector<Case> cases = {
      {"rgb.jpg", "-quality 95", "", {24}},
      {"cmyk.jpg", "-colorspace CMYK -quality 95", "", {24}},
      {"rgb.png", "", "PNG24:", {24}},
      {"palette.png", "", "PNG8:", {1, 4, 8}},
      {"alpha.png", "-alpha set -channel A -evaluate set 50% +channel", "PNG32:", {32}},
      {"interlaced.png", "-interlace PNG", "PNG24:", {24}},
      {"deep.png", "-depth 16", "PNG48:", {24}},
      {"plain.gif", "", "", {8}},
      {"interlaced.gif", "-interlace GIF", "", {8}},
      {"lzw.tif", "-compress LZW", "", {24}},
      {"none.tif", "-compress None", "", {24}},
      {"jpeg.tif", "-compress JPEG -quality 95", "", {24}},
      {"palette.tif", "-type Palette -compress None", "", {8}},
      {"v3.bmp", "", "BMP3:", {24}},
      {"rle.bmp", "-type Palette -compress RLE", "BMP3:", {1, 4, 8}},
      {"os2.bmp", "", "BMP2:", {24}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string made = dir.Convert(rb + " " + c.options, c.name, c.format);
    ASSERT_FALSE(made.empty());
    PLPictureInfo info;
    const PLBitmap bmp = PLDecodePictureFile(made, {}, &info);
    EXPECT_EQ(bmp.Width(), 64);
    EXPECT_EQ(bmp.Height(), 48);
    EXPECT_NE(std::find(c.depths.begin(), c.depths.end(), bmp.BitsPerPixel()), c.depths.end()) << bmp.BitsPerPixel();
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(info.bpp, bmp.BitsPerPixel());
    EXPECT_TRUE(IsRed(bmp.GetPixel(8, 24))) << int(bmp.GetPixel(8, 24).r) << "," << int(bmp.GetPixel(8, 24).g);
    EXPECT_TRUE(IsBlue(bmp.GetPixel(56, 40))) << int(bmp.GetPixel(56, 40).b);
  }
}

TEST_F(DecodeFiles, GreyAndBilevelKeepSmallDepths) {
  const std::string grey = "-size 64x48 gradient:black-white -colorspace Gray";
  struct GreyCase {
    const char* args;
    const char* name;
    int bpp;
  } cases[] = {
      {"-depth 8", "grey.jpg", 8},
      {"-depth 8 -define png:color-type=0", "grey.png", 8},
      {"-depth 16 -define png:color-type=0", "grey16.png", 8},
      {"-depth 2 -define png:color-type=0 -define png:bit-depth=2", "grey2.png", 8},
      {"-depth 8 -compress None", "grey.tif", 8},
      {"-threshold 50% -type Bilevel -compress Group4", "fax.tif", 1},
      {"-threshold 50% -type Bilevel -define png:color-type=0 -define png:bit-depth=1", "mono.png", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Convert(grey + " " + c.args, c.name);
    ASSERT_FALSE(path.empty());
    const PLBitmap bmp = PLDecodePictureFile(path);
    EXPECT_EQ(bmp.Width(), 64);
    EXPECT_EQ(bmp.BitsPerPixel(), c.bpp);
    // The gradient runs from black at the top to white at the bottom.
    EXPECT_LT(bmp.GetPixel(10, 0).g, 60);
    EXPECT_GT(bmp.GetPixel(10, 47).g, 200);
  }
}

TEST_F(DecodeFiles, JpegThumbnailDecodeIsScaledButReportsFullSize) {
  const std::string path = dir.Convert("-size 800x600 gradient:red-blue -quality 90", "big.jpg");
  ASSERT_FALSE(path.empty());
  PLPictureInfo info;
  const PLBitmap small = PLDecodePictureFile(path, {100, 100}, &info);
  EXPECT_EQ(info.width, 800);
  EXPECT_EQ(info.height, 600);
  EXPECT_EQ(info.bpp, 24);
  // Fitted into 100 x 100 the picture is 100 x 75: 1/8 covers it.
  EXPECT_EQ(small.Width(), 100);
  EXPECT_EQ(small.Height(), 75);
  EXPECT_TRUE(IsRed(small.GetPixel(50, 1)));
  EXPECT_TRUE(IsBlue(small.GetPixel(50, 73)));

  // A 200 x 200 box needs 200 x 150: 2/8.
  EXPECT_EQ(PLDecodePictureFile(path, {200, 200}).Width(), 200);
  // A flat box: the height decides; 133 x 100 needs 2/8.
  EXPECT_EQ(PLDecodePictureFile(path, {300, 100}).Width(), 200);

  const PLBitmap full = PLDecodePictureFile(path, {}, &info);
  EXPECT_EQ(full.Width(), 800);
  EXPECT_EQ(full.Height(), 600);

  // Fitted into 50 x 20 the picture is 26 x 20: 1/8 (100 x 75) still covers it.
  const PLBitmap tiny = PLDecodePictureFile(path, {50, 20}, &info);
  EXPECT_EQ(tiny.Width(), 100);
  EXPECT_EQ(tiny.Height(), 75);

  // Already within the box: never scaled.
  EXPECT_EQ(PLDecodePictureFile(path, {1000, 1000}).Width(), 800);
}

TEST_F(DecodeFiles, TruncatedJpegKeepsWhatWasRead) {
  const std::string path = dir.Convert("-size 256x256 plasma:fractal -quality 90", "cut.jpg");
  ASSERT_FALSE(path.empty());
  std::vector<uint8_t> bytes = ReadBytes(path);
  bytes.resize(bytes.size() / 2);
  const PLBitmap bmp = PLDecodePicture(bytes.data(), bytes.size());
  EXPECT_EQ(bmp.Width(), 256);
  EXPECT_EQ(bmp.Height(), 256);
  // Header only: nothing to show.
  bytes.resize(100);
  EXPECT_THROW(PLDecodePicture(bytes.data(), bytes.size()), PLTextException);
}

TEST_F(DecodeFiles, CorruptFilesGiveMessages) {
  const std::string png = dir.Convert("-size 64x64 plasma:fractal", "p.png");
  ASSERT_FALSE(png.empty());
  std::vector<uint8_t> bytes = ReadBytes(png);
  // Damage the pixel data: the CRC check fails.
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) bytes[i] ^= 0x5A;
  try {
    PLDecodePicture(bytes.data(), bytes.size());
    FAIL() << "no exception";
  } catch (const PLTextException& e) {
    EXPECT_NE(std::string(e.what()).find("PNG"), std::string::npos) << e.what();
  }

  for (const char* name : {"t.tif", "g.gif", "j.jpg"}) {
    const std::string path = dir.Convert("-size 64x64 plasma:fractal", name);
    ASSERT_FALSE(path.empty());
    bytes = ReadBytes(path);
    bytes.resize(40);
    EXPECT_THROW(PLDecodePicture(bytes.data(), bytes.size()), PLTextException) << name;
  }

  const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\n'};
  EXPECT_THROW(PLDecodePicture(text.data(), text.size()), PLTextException);
  EXPECT_THROW(PLDecodePicture(nullptr, 0), PLTextException);
  EXPECT_THROW(PLDecodePictureFile(dir.File("missing.png")), PLTextException);
  EXPECT_THROW(PLDecodePictureFile(dir.Path()), PLTextException);
}

TEST(DecodeLimits, HeadersClaimingHugeSizesAreRefused) {
  // PNG: 60000 x 60000 RGB out of a few bytes of pixel data.
  const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0xEA, 0x60,
                         0, 0, 0xEA, 0x60, 8, 2, 0, 0, 0, 0x5F, 0x6B, 0x4A, 0x46, 0, 0, 0, 0, 'I', 'E', 'N', 'D',
                         0xAE, 0x42, 0x60, 0x82};
  EXPECT_THROW(PLDecodePicture(png, sizeof png), PLTextException);
  // GIF: a 65535 x 65535 image.
  const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x2C, 0, 0, 0, 0,
                         0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 2, 0x44, 0x01, 0, 0x3B};
  EXPECT_THROW(PLDecodePicture(gif, sizeof gif), PLTextException);
}

TEST(MemoryFigure, FollowsTheRowAndPaletteRule) {
  EXPECT_EQ(PLMemoryFigure(800, 600, 24), 2400u * 600 + 40 + 56);
  EXPECT_EQ(PLMemoryFigure(10, 2, 1), 4u * 2 + 40 + 8 + 56);     // 10 bits: 1 byte + 1, padded to 4
  EXPECT_EQ(PLMemoryFigure(16, 1, 1), 4u + 40 + 8 + 56);         // 2 bytes, padded to 4
  EXPECT_EQ(PLMemoryFigure(3, 5, 8), 4u * 5 + 40 + 1024 + 56);
  EXPECT_EQ(PLMemoryFigure(5, 1, 4), 4u + 40 + 64 + 56);
  EXPECT_EQ(PLMemoryFigure(7, 3, 32), 28u * 3 + 40 + 56);
  EXPECT_EQ(PLMemoryFigure(4000, 3000, 24) / 1024, 35156u);
}

TEST(CopyWithDepth, ConvertsUpAndReducesDown) {
  PLBitmap gradient(64, 64, 24);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      gradient.SetPixel(x, y, {static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), static_cast<uint8_t>(128), 0});

  const PLBitmap wide = PLCopyWithDepth(gradient, 32);
  ASSERT_EQ(wide.BitsPerPixel(), 32);
  EXPECT_EQ(wide.GetPixel(10, 20), (PLPixel32{40, 80, 128, 0}));

  // 4096 colours into 256: the mean error stays small and no pixel is far off.
  const PLBitmap reduced = PLCopyWithDepth(wide, 8);
  ASSERT_EQ(reduced.BitsPerPixel(), 8);
  EXPECT_LE(reduced.Palette().size(), 256u);
  double total = 0;
  int worst = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const PLPixel32 a = gradient.GetPixel(x, y), b = reduced.GetPixel(x, y);
      const int d = std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
      total += d;
      worst = std::max(worst, d);
    }
  EXPECT_LT(total / (64 * 64), 12.0);
  EXPECT_LT(worst, 48);

  // Catalogs keep their thumbnails: a picture of many colours reduces to the
  // same palette and indices in every version.
  PLBitmap colours(48, 40, 32);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 48; ++x)
      colours.SetPixel(x, y, {static_cast<uint8_t>(x * 5), static_cast<uint8_t>(y * 6), static_cast<uint8_t>(x * y), 0});
  const PLBitmap palettized = PLCopyWithDepth(colours, 8);
  uint64_t hash = 14695981039346656037ull;
  auto mix = [&](unsigned v) { hash = (hash ^ v) * 1099511628211ull; };
  for (const PLPixel32& c : palettized.Palette()) mix(c.r), mix(c.g), mix(c.b);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 48; ++x) mix(palettized.GetIndex(x, y));
  EXPECT_EQ(hash, 13788361775253700180ull);

  // Few colours are kept exactly, at every small depth.
  PLBitmap two(9, 3, 32);
  for (int x = 0; x < 9; ++x) two.SetPixel(x, 1, {0, 0, 255, 0});
  for (int bpp : {1, 4, 8}) {
    const PLBitmap r = PLCopyWithDepth(two, bpp);
    ASSERT_EQ(r.BitsPerPixel(), bpp);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(r.GetPixel(x, y), two.GetPixel(x, y)) << bpp;
  }

  // Indexed to a larger indexed depth keeps palette and indices.
  const PLBitmap one = PLCopyWithDepth(two, 1);
  const PLBitmap eight = PLCopyWithDepth(one, 8);
  EXPECT_EQ(eight.GetPixel(4, 1), (PLPixel32{0, 0, 255, 0}));
  EXPECT_EQ(PLCopyWithDepth(eight, 24).GetPixel(4, 0), (PLPixel32{0, 0, 0, 0}));
  EXPECT_THROW(PLCopyWithDepth(two, 16), PLTextException);
}

TEST(ResizeBilinear, ShrinksSmoothlyAndKeepsFlatAreas) {
  PLBitmap checker(64, 64, 24);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t v = ((x + y) & 1) ? 255 : 0;
      checker.SetPixel(x, y, {v, v, v, 0});
    }
  // Every source pixel counts when shrinking: a fine checkerboard turns grey.
  const PLBitmap grey = PLResizeBilinear(checker, 7, 5);
  ASSERT_EQ(grey.BitsPerPixel(), 32);
  ASSERT_EQ(grey.Width(), 7);
  ASSERT_EQ(grey.Height(), 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      EXPECT_NEAR(grey.GetPixel(x, y).r, 128, 20);
    }

  PLBitmap flat(10, 10, 8);
  flat.Palette()[3] = {10, 20, 30, 0};
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) flat.SetIndex(x, y, 3);
  const PLBitmap big = PLResizeBilinear(flat, 33, 17);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 33; ++x) ASSERT_EQ(big.GetPixel(x, y), (PLPixel32{10, 20, 30, 0}));

  // Enlarging interpolates between neighbours.
  PLBitmap pair(2, 1, 24);
  pair.SetPixel(1, 0, {200, 200, 200, 0});
  const PLBitmap line = PLResizeBilinear(pair, 8, 1);
  EXPECT_EQ(line.GetPixel(0, 0).r, 0);
  EXPECT_EQ(line.GetPixel(7, 0).r, 200);
  for (int x = 1; x < 8; ++x) EXPECT_GE(line.GetPixel(x, 0).r, line.GetPixel(x - 1, 0).r);

  EXPECT_THROW(PLResizeBilinear(pair, 0, 4), PLTextException);
}
