// TGA, PCX, netpbm, PICT and EPS decoding, on files made by ImageMagick and
// netpbm and on hand-built headers for the variants those tools don't write.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "picture/Decoders.h"
#include "picture/OwnDecoders.h"
#include "picture/PictureFixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;
using DecodeFn = std::function<PLBitmap(const uint8_t*, size_t)>;

bool Near(PLPixel32 p, int r, int g, int b, int tolerance = 8) {
  return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}
#define EXPECT_COLOUR(BITMAP, X, Y, R, G, B)                                                          \
  do {                                                                                                \
    PLPixel32 p_ = (BITMAP).GetPixel(X, Y);                                                           \
    EXPECT_TRUE(Near(p_, R, G, B)) << "pixel (" << (X) << "," << (Y) << ") is " << int(p_.r) << ","   \
                                   << int(p_.g) << "," << int(p_.b);                                  \
  } while (0)

// Red left half, blue right half, 64 x 48.
void ExpectRedBlue(const PLBitmap& bmp) {
  ASSERT_EQ(bmp.Width(), 64);
  ASSERT_EQ(bmp.Height(), 48);
  EXPECT_COLOUR(bmp, 0, 0, 255, 0, 0);
  EXPECT_COLOUR(bmp, 31, 47, 255, 0, 0);
  EXPECT_COLOUR(bmp, 32, 0, 0, 0, 255);
  EXPECT_COLOUR(bmp, 63, 47, 0, 0, 255);
}

// Prefixes of a valid file must fail cleanly, never crash; the last
// optionalTail bytes may be missing (an end marker).
void ExpectTruncationsFail(const Bytes& file, const DecodeFn& decode, size_t optionalTail = 0) {
  for (size_t cut : {size_t{0}, size_t{5}, size_t{17}, size_t{100}, file.size() / 3, file.size() / 2, file.size() - 1}) {
    if (cut >= file.size() - optionalTail) continue;
    Bytes part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(decode(part.data(), part.size()), PLTextException) << "cut at " << cut;
  }
}

std::string Shell(const std::string& command) { return std::system(command.c_str()) == 0 ? "ok" : "failed"; }

class OwnDecoders : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick convert not installed";
    png_ = dir_.Convert(kRedBlue, "rb.png");
    ASSERT_FALSE(png_.empty());
  }
  Bytes Make(const std::string& options, const std::string& name) {
    std::string path = dir_.Convert("'" + png_ + "' " + options, name);
    EXPECT_FALSE(path.empty()) << name;
    return ReadBytes(path);
  }
  // Runs a netpbm pipeline on the red/blue picture as a PPM.
  Bytes Netpbm(const std::string& pipeline, const std::string& name) {
    std::string ppm = dir_.Convert("'" + png_ + "'", "rb.ppm");
    std::string out = dir_.File(name);
    EXPECT_EQ(Shell(pipeline + " < '" + ppm + "' > '" + out + "' 2>/dev/null"), "ok") << pipeline;
    return ReadBytes(out);
  }
  PictureDir dir_;
  std::string png_;
};

// ---- TGA -------------------------------------------------------------------

Bytes TgaHeader(uint8_t imageType, uint8_t mapType, uint16_t mapLength, uint8_t entryBits, uint16_t width,
                uint16_t height, uint8_t bits, uint8_t descriptor) {
  return {0, mapType, imageType, 0, 0, static_cast<uint8_t>(mapLength), static_cast<uint8_t>(mapLength >> 8),
          entryBits, 0, 0, 0, 0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
          static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), bits, descriptor};
}

TEST_F(OwnDecoders, TgaFromImageMagickPlainRleAndPalette) {
  for (const char* options : {"-type TrueColor", "-type TrueColor -compress RLE", "-type Palette",
                              "-type Palette -compress RLE", "-type TrueColorAlpha"}) {
    SCOPED_TRACE(options);
    Bytes file = Make(options, "x.tga");
    ASSERT_TRUE(PLIsTga(file.data(), file.size()));
    PLBitmap bmp = PLDecodeTga(file.data(), file.size());
    ExpectRedBlue(bmp);
    if (std::string(options).find("Palette") != std::string::npos) {
      EXPECT_EQ(bmp.BitsPerPixel(), 8);
    }
  }
  Bytes grey = Make("-colorspace gray", "g.tga");
  PLBitmap bmp = PLDecodeTga(grey.data(), grey.size());
  EXPECT_EQ(bmp.BitsPerPixel(), 8);
  EXPECT_EQ(bmp.GetPixel(0, 0).r, bmp.GetPixel(0, 0).g);
  EXPECT_NE(bmp.GetPixel(0, 0).r, bmp.GetPixel(63, 0).r);
  ExpectTruncationsFail(Make("-type TrueColor -compress RLE", "t.tga"), PLDecodeTga);
}

TEST(Tga, OriginBitsAndSixteenBitPixels) {
  // 2 x 2, 16 bits, rows top-down (bit 5) and right-to-left (bit 4).
  Bytes file = TgaHeader(2, 0, 0, 0, 2, 2, 16, 0x30);
  const uint16_t red = 31 << 10, green = 31 << 5, blue = 31, white = 0x7FFF;
  for (uint16_t v : {red, green, blue, white}) {
    file.push_back(static_cast<uint8_t>(v));
    file.push_back(static_cast<uint8_t>(v >> 8));
  }
  PLBitmap bmp = PLDecodeTga(file.data(), file.size());
  EXPECT_COLOUR(bmp, 1, 0, 255, 0, 0);  // first stored pixel: top right
  EXPECT_COLOUR(bmp, 0, 0, 0, 255, 0);
  EXPECT_COLOUR(bmp, 1, 1, 0, 0, 255);
  EXPECT_COLOUR(bmp, 0, 1, 255, 255, 255);

  file[17] = 0;  // bottom-up, left-to-right: the first pixel is bottom left
  bmp = PLDecodeTga(file.data(), file.size());
  EXPECT_COLOUR(bmp, 0, 1, 255, 0, 0);
  EXPECT_COLOUR(bmp, 1, 0, 255, 255, 255);
}

TEST(Tga, RleRunsAndColourMapWithFirstEntry) {
  // Colour map of two 24-bit entries starting at index 5; RLE: a run of 3
  // pixels of index 5, then one raw pixel of index 6.
  Bytes file = TgaHeader(9, 1, 2, 24, 4, 1, 8, 0x20);
  file[3] = 5;
  for (uint8_t b : {0, 0, 255, /* red */ 255, 0, 0 /* blue */}) file.push_back(b);
  for (uint8_t b : {0x82, 5, 0x00, 6}) file.push_back(b);
  PLBitmap bmp = PLDecodeTga(file.data(), file.size());
  ASSERT_EQ(bmp.BitsPerPixel(), 8);
  EXPECT_COLOUR(bmp, 0, 0, 255, 0, 0);
  EXPECT_COLOUR(bmp, 2, 0, 255, 0, 0);
  EXPECT_COLOUR(bmp, 3, 0, 0, 0, 255);
}

TEST(Tga, PlausibilityTestRejectsOtherFiles) {
  Bytes good = TgaHeader(2, 0, 0, 0, 2, 2, 24, 0);
  good.resize(good.size() + 12);
  EXPECT_TRUE(PLIsTga(good.data(), good.size()));
  Bytes bad = good;
  bad[2] = 4;  // no such image type
  EXPECT_FALSE(PLIsTga(bad.data(), bad.size()));
  bad = good;
  bad[16] = 12;  // no such depth
  EXPECT_FALSE(PLIsTga(bad.data(), bad.size()));
  bad = good;
  bad[5] = 3;  // colour map length without a colour map
  EXPECT_FALSE(PLIsTga(bad.data(), bad.size()));
  bad = good;
  bad.resize(bad.size() - 1);  // pixels do not fit
  EXPECT_FALSE(PLIsTga(bad.data(), bad.size()));
  EXPECT_THROW(PLDecodeTga(bad.data(), bad.size()), PLTextException);
  // Text and other formats' headers are not TGA.
  const char text[] = "Hello, this is a plain text file and not a picture at all.";
  EXPECT_FALSE(PLIsTga(reinterpret_cast<const uint8_t*>(text), sizeof text));
  const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_FALSE(PLIsTga(png, sizeof png));
}

// ---- PCX -------------------------------------------------------------------

TEST_F(OwnDecoders, PcxEveryLayoutOfImageMagickAndNetpbm) {
  struct Case {
    Bytes file;
    int bpp;
  };
  std::vector<Case> cases = {
      {Make("", "im8.pcx"), 8},                 // one plane of 8 bits, palette at the end
      {Make("-type TrueColor", "im24.pcx"), 24},  // three planes of 8 bits
      {Netpbm("ppmtopcx", "nb1.pcx"), 1},       // two colours: one plane of 1 bit, header palette
      {Netpbm("ppmtopcx -8bit", "nb8.pcx"), 8},
      {Netpbm("ppmtopcx -24bit", "nb24.pcx"), 24},
      {Netpbm("ppmtopcx -packed", "nbp.pcx"), 1},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(PLIsPcx(c.file.data(), c.file.size()));
    PLBitmap bmp = PLDecodePcx(c.file.data(), c.file.size());
    EXPECT_EQ(bmp.BitsPerPixel(), c.bpp);
    ExpectRedBlue(bmp);
  }
  ExpectTruncationsFail(cases[1].file, PLDecodePcx);
}

TEST_F(OwnDecoders, PcxSixteenColoursInFourPlanes) {
  // Four colours so ppmtopcx writes 4 planes of 1 bit, EGA style.
  std::string png = dir_.Convert("-size 8x4 xc:red -size 8x4 xc:lime -size 8x4 xc:blue -size 8x4 xc:white +append",
                                 "four.png");
  std::string ppm = dir_.Convert("'" + png + "'", "four.ppm");
  std::string out = dir_.File("four.pcx");
  ASSERT_EQ(Shell("ppmtopcx -planes 4 < '" + ppm + "' > '" + out + "' 2>/dev/null"), "ok");
  Bytes file = ReadBytes(out);
  ASSERT_EQ(file[65], 4);
  PLBitmap bmp = PLDecodePcx(file.data(), file.size());
  EXPECT_EQ(bmp.BitsPerPixel(), 4);
  EXPECT_COLOUR(bmp, 0, 0, 255, 0, 0);
  EXPECT_COLOUR(bmp, 8, 1, 0, 255, 0);
  EXPECT_COLOUR(bmp, 16, 2, 0, 0, 255);
  EXPECT_COLOUR(bmp, 31, 3, 255, 255, 255);
}

TEST(Pcx, BadHeadersAndImpossibleLayouts) {
  Bytes file(128 + 4, 0);
  file[0] = 0x0A;
  file[1] = 5;
  file[2] = 1;
  file[3] = 8;
  file[65] = 2;  // two planes of 8 bits: no such layout
  file[66] = 2;
  file[8] = 1;  // 2 x 1
  EXPECT_TRUE(PLIsPcx(file.data(), file.size()));
  EXPECT_THROW(PLDecodePcx(file.data(), file.size()), PLTextException);
  file[65] = 1;
  file[66] = 1;  // line shorter than the width
  EXPECT_THROW(PLDecodePcx(file.data(), file.size()), PLTextException);
  file[0] = 0x0B;
  EXPECT_FALSE(PLIsPcx(file.data(), file.size()));
}

// ---- Netpbm ----------------------------------------------------------------

TEST_F(OwnDecoders, NetpbmPlainAndRawOfEveryKind) {
  struct Case {
    const char* options;
    const char* name;
    int bpp;
  };
  for (const Case& c : {Case{"-compress none", "a.ppm", 24}, Case{"", "r.ppm", 24},
                        Case{"-depth 16", "r16.ppm", 24}, Case{"-depth 16 -compress none", "a16.ppm", 24}}) {
    SCOPED_TRACE(c.name);
    Bytes file = Make(c.options, c.name);
    ASSERT_TRUE(PLIsPnm(file.data(), file.size()));
    PLBitmap bmp = PLDecodePnm(file.data(), file.size());
    EXPECT_EQ(bmp.BitsPerPixel(), c.bpp);
    ExpectRedBlue(bmp);
  }
  for (const char* options : {"-colorspace gray", "-colorspace gray -compress none", "-colorspace gray -depth 16"}) {
    Bytes file = Make(options, "g.pgm");
    PLBitmap bmp = PLDecodePnm(file.data(), file.size());
    EXPECT_EQ(bmp.BitsPerPixel(), 8);
    EXPECT_EQ(bmp.Width(), 64);
    // Red and blue have different grey levels; both are grey.
    PLPixel32 left = bmp.GetPixel(0, 0), right = bmp.GetPixel(63, 0);
    EXPECT_EQ(left.r, left.b);
    EXPECT_NE(left.r, right.r);
  }
  for (const char* options : {"-monochrome", "-monochrome -compress none"}) {
    Bytes file = Make(options, "m.pbm");
    PLBitmap bmp = PLDecodePnm(file.data(), file.size());
    EXPECT_EQ(bmp.BitsPerPixel(), 1);
    EXPECT_EQ(bmp.Height(), 48);
  }
  ExpectTruncationsFail(Make("", "t.ppm"), PLDecodePnm);
}

TEST(Pnm, CommentsScalingAndPlainBits) {
  const std::string pgm = "P2\n# a comment\n3 1 # another\n1000\n0 500 1000\n";
  PLBitmap bmp = PLDecodePnm(reinterpret_cast<const uint8_t*>(pgm.data()), pgm.size());
  EXPECT_EQ(bmp.GetPixel(0, 0).r, 0);
  EXPECT_EQ(bmp.GetPixel(1, 0).r, 128);
  EXPECT_EQ(bmp.GetPixel(2, 0).r, 255);
  // Plain PBM digits may run together; 1 is black.
  const std::string pbm = "P1 4 1 0110";
  bmp = PLDecodePnm(reinterpret_cast<const uint8_t*>(pbm.data()), pbm.size());
  EXPECT_COLOUR(bmp, 0, 0, 255, 255, 255);
  EXPECT_COLOUR(bmp, 1, 0, 0, 0, 0);
  for (const std::string bad : {"P5 2 2 0 ", "P5 2 2 70000 ", "P6 0 5 255 ", "P3 2 1 255 1 2 3 4 x 6", "P1 2 1 02"}) {
    EXPECT_THROW(PLDecodePnm(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()), PLTextException) << bad;
  }
  const std::string huge = "P6 100000 100000 255 ";
  EXPECT_THROW(PLDecodePnm(reinterpret_cast<const uint8_t*>(huge.data()), huge.size()), PLTextException);
}

// ---- PICT ------------------------------------------------------------------

TEST_F(OwnDecoders, PictPackedIndexedAndDirectPixels) {
  Bytes im = Make("", "x.pict");  // two colours: PackBitsRect with a colour table
  ASSERT_TRUE(PLIsPict(im.data(), im.size()));
  PLBitmap bmp = PLDecodePict(im.data(), im.size());
  EXPECT_EQ(bmp.BitsPerPixel(), 8);
  ExpectRedBlue(bmp);
  Bytes nb = Netpbm("ppmtopict", "n.pict");
  ExpectRedBlue(PLDecodePict(nb.data(), nb.size()));

  // Many colours: ImageMagick writes DirectBitsRect with 32-bit pixels.
  std::string png = dir_.Convert("-size 64x48 gradient:red-blue", "grad.png");
  Bytes direct = ReadBytes(dir_.Convert("'" + png + "'", "d.pict"));
  bmp = PLDecodePict(direct.data(), direct.size());
  EXPECT_EQ(bmp.BitsPerPixel(), 24);
  ASSERT_EQ(bmp.Width(), 64);
  ASSERT_EQ(bmp.Height(), 48);
  EXPECT_COLOUR(bmp, 10, 0, 255, 0, 0);
  EXPECT_COLOUR(bmp, 10, 47, 0, 0, 255);
  ExpectTruncationsFail(direct, PLDecodePict, 2);
  // Only the end opcode missing: the picture is all there.
  direct.resize(direct.size() - 2);
  EXPECT_EQ(PLDecodePict(direct.data(), direct.size()).Width(), 64);
}

TEST_F(OwnDecoders, PictWithQuickTimeJpeg) {
  Bytes file = Make("-compress JPEG", "j.pict");
  PLBitmap bmp = PLDecodePict(file.data(), file.size());
  ASSERT_EQ(bmp.Width(), 64);
  ASSERT_EQ(bmp.Height(), 48);
  EXPECT_TRUE(Near(bmp.GetPixel(5, 5), 255, 0, 0, 40));
  EXPECT_TRUE(Near(bmp.GetPixel(58, 40), 0, 0, 255, 40));
  ExpectTruncationsFail(file, PLDecodePict, 2);
}

// Builds a version 2 picture of the given opcodes (each already encoded).
Bytes Pict2(int16_t width, int16_t height, const Bytes& opcodes) {
  Bytes file(512, 0);
  auto word = [&](uint16_t v) {
    file.push_back(static_cast<uint8_t>(v >> 8));
    file.push_back(static_cast<uint8_t>(v));
  };
  word(0);
  for (int16_t v : {int16_t{0}, int16_t{0}, height, width}) word(static_cast<uint16_t>(v));
  word(0x0011);
  word(0x02FF);
  file.insert(file.end(), opcodes.begin(), opcodes.end());
  word(0x00FF);
  return file;
}

TEST(Pict, DrawingOnlyPicturesAndUnknownOpcodesFail) {
  // Skipped opcodes: clip region, RGB colour, long comment, a reserved 0x8100+
  // with its length, then PaintRect and no raster.
  Bytes ops = {0x00, 0x01, 0x00, 0x0A, 0, 0, 0, 0, 0, 10, 0, 10,  // clip region, 10 bytes
               0x00, 0x1A, 0xFF, 0xFF, 0, 0, 0, 0,                 // RGBFgCol
               0x00, 0xA1, 0x00, 0x64, 0x00, 0x03, 'a', 'b', 'c', 0x00,  // comment of 3 bytes, padded
               0x81, 0x00, 0x00, 0x00, 0x00, 0x02, 0x12, 0x34,     // reserved with 2 bytes of data
               0x00, 0x31, 0, 0, 0, 0, 0, 10, 0, 10};              // PaintRect
  Bytes file = Pict2(10, 10, ops);
  ASSERT_TRUE(PLIsPict(file.data(), file.size()));
  try {
    PLDecodePict(file.data(), file.size());
    ADD_FAILURE() << "a picture without bitmap decoded";
  } catch (const PLTextException& e) {
    EXPECT_NE(std::string(e.what()).find("no bitmap"), std::string::npos) << e.what();
  }
}

TEST(Pict, BitsRectOfAOneBitBitmapInsideALargerFrame) {
  // BitsRect (unpacked) of an 8 x 2 bit map drawn at (2,1) in a 12 x 4 frame.
  Bytes ops = {0x00, 0x90, 0x00, 0x02,              // opcode, rowBytes 2 (a bit map, not a pixel map)
               0, 0, 0, 0, 0, 2, 0, 8,              // bounds
               0, 0, 0, 0, 0, 2, 0, 8,              // source
               0, 1, 0, 2, 0, 3, 0, 10,             // destination
               0, 0,                                // mode
               0xF0, 0x00, 0x0F, 0x00};             // rows
  Bytes file = Pict2(12, 4, ops);
  PLBitmap bmp = PLDecodePict(file.data(), file.size());
  ASSERT_EQ(bmp.Width(), 12);
  ASSERT_EQ(bmp.Height(), 4);
  EXPECT_COLOUR(bmp, 0, 0, 255, 255, 255);  // outside the raster: white
  EXPECT_COLOUR(bmp, 2, 1, 0, 0, 0);        // set bits are black
  EXPECT_COLOUR(bmp, 6, 1, 255, 255, 255);
  EXPECT_COLOUR(bmp, 9, 2, 0, 0, 0);
}

// ---- EPS -------------------------------------------------------------------

Bytes EpsWithPreviews(const Bytes& tiff, const Bytes& wmf) {
  const std::string ps = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 64 48\nshowpage\n";
  Bytes file = {0xC5, 0xD0, 0xD3, 0xC6};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  uint32_t psAt = 30, wmfAt = psAt + static_cast<uint32_t>(ps.size()),
           tiffAt = wmfAt + static_cast<uint32_t>(wmf.size());
  put32(psAt);
  put32(static_cast<uint32_t>(ps.size()));
  put32(wmf.empty() ? 0 : wmfAt);
  put32(static_cast<uint32_t>(wmf.size()));
  put32(tiff.empty() ? 0 : tiffAt);
  put32(static_cast<uint32_t>(tiff.size()));
  file.push_back(0xFF);
  file.push_back(0xFF);
  file.insert(file.end(), ps.begin(), ps.end());
  file.insert(file.end(), wmf.begin(), wmf.end());
  file.insert(file.end(), tiff.begin(), tiff.end());
  return file;
}

TEST_F(OwnDecoders, EpsDecodesItsTiffPreview) {
  Bytes file = EpsWithPreviews(Make("", "p.tif"), {});
  ASSERT_TRUE(PLIsEps(file.data(), file.size()));
  ExpectRedBlue(PLDecodeEps(file.data(), file.size()));
  ExpectRedBlue(PLDecodePicture(file.data(), file.size()));
  ExpectTruncationsFail(file, PLDecodeEps);
}

TEST(Eps, WithoutPreviewTheMessageSaysSo) {
  for (const Bytes& file : {EpsWithPreviews({}, {}), [] {
         std::string text = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n";
         return Bytes(text.begin(), text.end());
       }()}) {
    ASSERT_TRUE(PLIsEps(file.data(), file.size()));
    try {
      PLDecodeEps(file.data(), file.size());
      ADD_FAILURE() << "decoded without a preview";
    } catch (const PLTextException& e) {
      EXPECT_STREQ(e.what(), "EPS file has no TIFF preview");
    }
  }
  // A preview said to lie past the end of the file.
  Bytes file = EpsWithPreviews({1, 2, 3, 4}, {});
  file[24] = 0xFF;
  EXPECT_THROW(PLDecodeEps(file.data(), file.size()), PLTextException);
  const std::string ps = "%!PS-Adobe-3.0\n";  // plain PostScript is not EPS
  EXPECT_FALSE(PLIsEps(reinterpret_cast<const uint8_t*>(ps.data()), ps.size()));
}

}  // namespace
