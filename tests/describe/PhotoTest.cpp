// Photos of today: EXIF lines and orientation (fixtures written by exiftool
// and checked against it and ImageMagick), WebP, HEIC and AVIF (checked
// against identify and heif-info).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

#include "cabinet/ArchiveFixtures.h"
#include "catalog/FileItem.h"
#include "describe/Describe.h"
#include "describe/Exif.h"
#include "i18n/Translator.h"
#include "picture/Decoders.h"

namespace {

class LogHost : public IDescribeHost {
 public:
  std::string PhysicalPath(const CFileItemList&, size_t) override { return {}; }
  void LogScanError(const std::string& line) override { log.push_back(line); }
  std::vector<std::string> log;
};

// The first line a command prints, without its end.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

class Photo : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", LANG_ENGLISH);
  }

  std::unique_ptr<CFileItem> Describe(const std::string& name, const DescribeSettings& settings = {}) {
    auto item = std::make_unique<CFileItem>();
    item->name = name;
    DescribePicture(dir / name, *item, settings, host);
    return item;
  }

  ScratchDir dir;
  LogHost host;
};

// A picture whose four quarters have four colours: any turn or mirror shows.
const char* kQuarters =
    "-size 20x10 xc:red -size 20x10 xc:lime +append \\( -size 20x10 xc:blue -size 20x10 xc:yellow +append \\) "
    "-append";

bool SameColour(PLPixel32 a, PLPixel32 b) {
  return std::abs(a.r - b.r) < 60 && std::abs(a.g - b.g) < 60 && std::abs(a.b - b.b) < 60;
}

}  // namespace

TEST_F(Photo, ExifLinesFollowThePictureDescriptionAsExiftoolReadsThem) {
  REQUIRE_TOOL("exiftool");
  REQUIRE_TOOL("convert");
  ASSERT_TRUE(RunIn(dir.path(), std::string("convert ") + kQuarters + " -quality 95 cam.jpg && exiftool -q "
                    "-overwrite_original -DateTimeOriginal='2023:06:01 14:05:09' -Make=Canon "
                    "-Model='Canon EOS 80D' -LensModel='EF-S18-135mm f/3.5-5.6 IS USM' -ExposureTime=1/250 "
                    "-FNumber=5.6 -ISO=400 -FocalLength=35 -GPSLatitude=48.858370 -GPSLatitudeRef=N "
                    "-GPSLongitude=2.294481 -GPSLongitudeRef=W cam.jpg"));
  const auto item = Describe("cam.jpg");
  const std::string lat = Output("exiftool -n -s3 -GPSLatitude '" + dir / "cam.jpg'");
  const std::string lon = Output("exiftool -n -s3 -GPSLongitude '" + dir / "cam.jpg'");
  ASSERT_EQ(lat.substr(0, 7), "48.8583");
  char gps[96];
  std::snprintf(gps, sizeof gps, "GPS position %.6f, %.6f", std::stod(lat), std::stod(lon));
  EXPECT_EQ(item->description,
            "Picture size 40 x 20 pixels\r\n24 bits per pixel or\r\n16777216 colors\r\n2 Kb in memory\r\n"
            "Taken on 2023-06-01 14:05:09\r\nCamera Canon EOS 80D\r\nLens EF-S18-135mm f/3.5-5.6 IS USM\r\n"
            "Exposure 1/250 s\r\nAperture f/5.6\r\nISO 400\r\nFocal length 35 mm\r\n" +
                std::string(gps));
  EXPECT_NE(item->description.find("-2.294481"), std::string::npos) << "west is negative";

  // Without the text description nothing is written, and a make the model
  // does not repeat is shown before it.
  ASSERT_TRUE(RunIn(dir.path(), "exiftool -q -overwrite_original -Make=NIKON -Model=D90 -GPSLatitude= cam.jpg"));
  EXPECT_NE(Describe("cam.jpg")->description.find("\r\nCamera NIKON D90\r\n"), std::string::npos);
  DescribeSettings quiet;
  quiet.picDescr = false;
  EXPECT_EQ(Describe("cam.jpg", quiet)->description, "");
  EXPECT_TRUE(host.log.empty());
}

TEST_F(Photo, EveryOrientationStandsUprightAsImageMagickTurnsIt) {
  REQUIRE_TOOL("exiftool");
  REQUIRE_TOOL("convert");
  // One exiftool run tags the eight copies (its start-up is most of the cost).
  std::string tag = "exiftool", turn = "true";
  for (int o = 1; o <= 8; ++o) {
    const std::string n = std::to_string(o);
    tag += (o > 1 ? " -execute" : "") + std::string(" -Orientation=") + n + " o" + n + ".jpg";
    turn += " && convert o" + n + ".jpg -auto-orient u" + n + ".png";
  }
  ASSERT_TRUE(RunIn(dir.path(), std::string("convert ") + kQuarters + " -quality 98 base.jpg && for o in 1 2 3 4 5 6 7 8; "
                                "do cp base.jpg o$o.jpg; done && " + tag + " -common_args -q -overwrite_original -n && " + turn));
  // TIFF keeps the orientation in its own tag; libtiff flips but does not turn.
  const char* const kTiffOrient[] = {"TopLeft", "TopRight", "BottomRight", "BottomLeft",
                                     "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
  std::string tiffs = "true";
  for (int o = 1; o <= 8; ++o) {
    const std::string n = std::to_string(o);
    tiffs += " && convert base.jpg -orient " + std::string(kTiffOrient[o - 1]) + " o" + n + ".tif && convert o" + n +
             ".tif -auto-orient t" + n + ".png";
  }
  ASSERT_TRUE(RunIn(dir.path(), tiffs));
  for (int k = 0; k < 16; ++k) {
    const bool tiff = k >= 8;
    const int orientation = k % 8 + 1;
    SCOPED_TRACE(std::string(tiff ? "TIFF" : "JPEG") + " orientation " + std::to_string(orientation));
    const std::string name = "o" + std::to_string(orientation) + (tiff ? ".tif" : ".jpg");
    const std::string upright = (tiff ? "t" : "u") + std::to_string(orientation) + ".png";
    DescribeSettings settings;
    settings.bpp = 32;  // colours compared as they are
    const auto item = Describe(name, settings);
    // The stored size stays the file's; the text says the thumbnail was turned
    // (a TIFF's flips are libtiff's own, unsaid).
    EXPECT_EQ(item->description.rfind("Picture size 40 x 20 pixels", 0), 0u);
    EXPECT_EQ(item->description.find("for display") != std::string::npos, orientation > (tiff ? 4 : 1))
        << item->description;
    ASSERT_NE(item->thumbnail, nullptr);
    const PLBitmap expected = PLDecodePictureFile(dir / upright);
    const PLBitmap& thumb = *item->thumbnail;
    ASSERT_EQ(thumb.Width(), expected.Width());
    ASSERT_EQ(thumb.Height(), expected.Height());
    for (const auto& [x, y] : std::array<std::pair<int, int>, 4>{{{2, 2}, {thumb.Width() - 3, 2},
                                                                  {2, thumb.Height() - 3},
                                                                  {thumb.Width() - 3, thumb.Height() - 3}}})
      EXPECT_TRUE(SameColour(thumb.GetPixel(x, y), expected.GetPixel(x, y))) << "at " << x << "," << y;
  }
  // A portrait photo larger than the box: its thumbnail fits the box upright.
  ASSERT_TRUE(RunIn(dir.path(), "convert -size 400x300 xc:gray big.jpg && exiftool -q -overwrite_original -n "
                                "-Orientation=6 big.jpg"));
  const auto big = Describe("big.jpg");
  ASSERT_NE(big->thumbnail, nullptr);
  EXPECT_EQ(big->thumbnail->Width(), 75);
  EXPECT_EQ(big->thumbnail->Height(), 100);
  EXPECT_NE(big->description.find("400 x 300"), std::string::npos);
  EXPECT_NE(big->description.find("Rotated 90\u00b0 clockwise"), std::string::npos) << big->description;
}

TEST_F(Photo, DamagedExifGivesNoLinesAndNoError) {
  // An APP1 segment claiming an IFD far outside itself, and one cut short.
  const unsigned char bad[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F, 1, 0};
  EXPECT_TRUE(ReadExifFacts(bad, sizeof bad).lines.empty());
  EXPECT_EQ(ReadExifFacts(bad, 9).orientation, 1);
  const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xF0, 'E', 'x', 'i', 'f', 0, 0};
  EXPECT_TRUE(PLFindExif(jpeg, sizeof jpeg).empty());
}

TEST_F(Photo, WebpHeicAndAvifGiveSizeDepthAndThumbnail) {
  REQUIRE_TOOL("convert");
  REQUIRE_TOOL("cwebp");
  REQUIRE_TOOL("heif-enc");
  REQUIRE_TOOL("heif-info");
  REQUIRE_TOOL("identify");
  // Odd sizes on purpose: encoders pad to their block size.
  ASSERT_TRUE(RunIn(dir.path(), "convert -size 301x157 gradient:red-blue src.png && "
                                "convert -size 64x40 xc:none -fill red -draw 'circle 20,20 20,5' alpha.png && "
                                "cwebp -quiet src.png -o plain.webp && cwebp -quiet -lossless alpha.png -o alpha.webp && "
                                "heif-enc -q 60 src.png -o photo.heic"));
  const bool haveAvif = HaveTool("ffmpeg") &&
                        RunIn(dir.path(), "ffmpeg -loglevel error -i src.png -c:v libaom-av1 -still-picture 1 "
                                          "-pix_fmt yuv420p pic.avif");
  struct Case {
    const char* name;
    std::string size;  // "W x H" as the reference tool reads it
    int bpp;
  };
  std::vector<Case> cases = {
      {"plain.webp", Output("identify -format '%w x %h' '" + dir / "plain.webp'"), 24},
      {"alpha.webp", Output("identify -format '%w x %h' '" + dir / "alpha.webp'"), 32},
      {"photo.heic", Output("heif-info '" + dir / "photo.heic' | sed -n 's/.*image: \\([0-9]*\\)x\\([0-9]*\\).*/\\1 x \\2/p' | head -1"), 24},
  };
  if (haveAvif)
    cases.push_back({"pic.avif",
                     Output("heif-info '" + dir / "pic.avif' | sed -n 's/.*image: \\([0-9]*\\)x\\([0-9]*\\).*/\\1 x \\2/p' | head -1"),
                     24});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.size.empty());
    const auto item = Describe(c.name);
    EXPECT_EQ(item->description.rfind("Picture size " + c.size + " pixels\r\n" + std::to_string(c.bpp) + " bits", 0), 0u)
        << item->description;
    ASSERT_NE(item->thumbnail, nullptr);
    EXPECT_LE(item->thumbnail->Width(), 100);
    EXPECT_LE(item->thumbnail->Height(), 100);
  }
  // The gradient runs from red at the top to blue at the bottom, whatever the codec.
  const auto heic = Describe("photo.heic", [] { DescribeSettings s; s.bpp = 32; return s; }());
  ASSERT_NE(heic->thumbnail, nullptr);
  const PLBitmap& t = *heic->thumbnail;
  EXPECT_GT(t.GetPixel(t.Width() / 2, 1).r, 200);
  EXPECT_LT(t.GetPixel(t.Width() / 2, 1).b, 60);
  EXPECT_GT(t.GetPixel(t.Width() / 2, t.Height() - 2).b, 200);
  EXPECT_TRUE(host.log.empty());

  // Damaged files: the path and the decoder's reason, no thumbnail.
  ASSERT_TRUE(RunIn(dir.path(), "head -c 300 photo.heic > cut.heic && head -c 40 plain.webp > cut.webp && true"));
  for (const char* name : {"cut.heic", "cut.webp"}) {
    const auto cut = Describe(name);
    EXPECT_EQ(cut->thumbnail, nullptr) << name;
    EXPECT_EQ(cut->description.rfind(dir / name + "\n", 0), 0u) << cut->description;
  }
  EXPECT_EQ(host.log.size(), 2u);
}

TEST_F(Photo, ExifOfHeicWebpAndTiffIsRead) {
  REQUIRE_TOOL("exiftool");
  REQUIRE_TOOL("convert");
  REQUIRE_TOOL("cwebp");
  REQUIRE_TOOL("heif-enc");
  ASSERT_TRUE(RunIn(dir.path(), "convert -size 48x32 xc:green src.png && heif-enc -q 50 src.png -o p.heic && "
                                "cwebp -quiet src.png -o p.webp && convert src.png p.tif && exiftool -q -overwrite_original "
                                "-Model=Pixel7 -ISO=125 p.heic p.webp p.tif"));
  for (const char* name : {"p.heic", "p.webp", "p.tif"}) {
    const std::string text = Describe(name)->description;
    EXPECT_NE(text.find("\r\nCamera Pixel7\r\nISO 125"), std::string::npos) << name << ": " << text;
  }
}
