// WMF and EMF playback: metafiles are written record by record here, then
// played, and the pixels of what they draw are checked.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "picture/Decoders.h"
#include "picture/OwnDecoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kBlack = 0, kWhite = 0xFFFFFF;
constexpr uint32_t kSrcCopy = 0x00CC0020, kPatCopy = 0x00F00021;

// Colour of a pixel as a COLORREF (0x00BBGGRR), to compare with the constants.
uint32_t At(const PLBitmap& bmp, int x, int y) {
  PLPixel32 p = bmp.GetPixel(x, y);
  return static_cast<uint32_t>(p.r) | static_cast<uint32_t>(p.g) << 8 | static_cast<uint32_t>(p.b) << 16;
}

void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}

// A packed 24-bit bottom-up DIB whose pixel (x, y) (y from the top) is colour(x, y).
Bytes Dib24(int width, int height, const std::function<uint32_t(int, int)>& colour) {
  Bytes dib;
  Put32(dib, 40);
  Put32(dib, static_cast<uint32_t>(width));
  Put32(dib, static_cast<uint32_t>(height));
  Put16(dib, 1);
  Put16(dib, 24);
  for (int i = 0; i < 6; ++i) Put32(dib, 0);
  for (int y = height - 1; y >= 0; --y) {
    size_t start = dib.size();
    for (int x = 0; x < width; ++x) {
      uint32_t c = colour(x, y);
      dib.push_back(static_cast<uint8_t>(c >> 16));
      dib.push_back(static_cast<uint8_t>(c >> 8));
      dib.push_back(static_cast<uint8_t>(c));
    }
    while ((dib.size() - start) % 4) dib.push_back(0);
  }
  return dib;
}

// Red, green / blue, white: the corners of a 2 x 2 DIB.
uint32_t Quadrants(int x, int y) { return y == 0 ? (x == 0 ? kRed : kGreen) : (x == 0 ? kBlue : kWhite); }

// ---- WMF -------------------------------------------------------------------

class WmfWriter {
 public:
  // Parameters are 16-bit words, in the order they are stored.
  WmfWriter& Rec(uint16_t function, const std::vector<int>& words, const Bytes& tail = {}) {
    size_t size = 3 + words.size() + (tail.size() + 1) / 2;
    Put32(body_, static_cast<uint32_t>(size));
    Put16(body_, function);
    for (int w : words) Put16(body_, static_cast<uint16_t>(w));
    body_.insert(body_.end(), tail.begin(), tail.end());
    if (tail.size() % 2) body_.push_back(0);
    return *this;
  }
  static int Lo(uint32_t v) { return static_cast<int>(v & 0xFFFF); }
  static int Hi(uint32_t v) { return static_cast<int>(v >> 16); }

  WmfWriter& WindowOrg(int x, int y) { return Rec(0x020B, {y, x}); }
  WmfWriter& WindowExt(int x, int y) { return Rec(0x020C, {y, x}); }
  WmfWriter& MapMode(int mode) { return Rec(0x0103, {mode}); }
  WmfWriter& Brush(uint32_t colour, int style = 0) { return Rec(0x02FC, {style, Lo(colour), Hi(colour), 0}); }
  WmfWriter& Pen(uint32_t colour, int width = 0, int style = 0) {
    return Rec(0x02FA, {style, width, 0, Lo(colour), Hi(colour)});
  }
  WmfWriter& NullPen() { return Pen(0, 0, 5); }
  WmfWriter& Select(int index) { return Rec(0x012D, {index}); }
  WmfWriter& Delete(int index) { return Rec(0x01F0, {index}); }
  WmfWriter& Rectangle(int l, int t, int r, int b) { return Rec(0x041B, {b, r, t, l}); }
  WmfWriter& Ellipse(int l, int t, int r, int b) { return Rec(0x0418, {b, r, t, l}); }
  WmfWriter& End() { return Rec(0x0000, {}); }

  Bytes Plain() const {
    Bytes out;
    Put16(out, 1);
    Put16(out, 9);
    Put16(out, 0x0300);
    Put32(out, static_cast<uint32_t>((18 + body_.size()) / 2));
    Put16(out, 16);  // objects
    Put32(out, 0);
    Put16(out, 0);
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
  }
  Bytes Placeable(int l, int t, int r, int b, int inch) const {
    Bytes out;
    Put32(out, 0x9AC6CDD7);
    Put16(out, 0);
    for (int v : {l, t, r, b, inch}) Put16(out, static_cast<uint16_t>(v));
    Put32(out, 0);
    Put16(out, 0);  // checksum: not checked
    Bytes plain = Plain();
    out.insert(out.end(), plain.begin(), plain.end());
    return out;
  }

 private:
  Bytes body_;
};

PLBitmap Decode(const Bytes& file) {
  EXPECT_TRUE(PLIsWmf(file.data(), file.size()) || PLIsEmf(file.data(), file.size()));
  return PLDecodePicture(file.data(), file.size());
}

TEST(Wmf, PlaceableSizeShapesPensAndBrushes) {
  // Two inches by one at 1440 units per inch: 192 x 96 pixels.
  WmfWriter w;
  w.WindowOrg(0, 0).WindowExt(2880, 1440);
  w.Brush(kRed).NullPen().Select(0).Select(1);  // objects 0 and 1
  w.Rectangle(0, 0, 1440, 1440);               // left half red
  w.Brush(kBlue).Pen(kBlack, 0).Select(2).Select(3);
  w.Ellipse(1440, 0, 2880, 1440);  // a circle filling the right half
  w.End();
  PLBitmap bmp = Decode(w.Placeable(0, 0, 2880, 1440, 1440));
  ASSERT_EQ(bmp.Width(), 192);
  ASSERT_EQ(bmp.Height(), 96);
  EXPECT_EQ(bmp.BitsPerPixel(), 32);
  EXPECT_EQ(At(bmp, 5, 5), kRed);
  EXPECT_EQ(At(bmp, 95, 90), kRed);
  EXPECT_EQ(At(bmp, 96, 0), kWhite);    // corner outside the circle
  EXPECT_EQ(At(bmp, 144, 48), kBlue);   // centre of the circle
  EXPECT_EQ(At(bmp, 144, 0), kBlack);   // its outline at the top
  EXPECT_EQ(At(bmp, 191, 95), kWhite);
  EXPECT_EQ(bmp.GetPixel(5, 5).a, 255);  // opaque
}

TEST(Wmf, PlainFileTakesItsSizeFromTheWindowAndFlipsUpwardY) {
  // Window from (100, 200) with extent (200, -100): y grows upwards.
  WmfWriter w;
  w.MapMode(8).WindowOrg(100, 200).WindowExt(200, -100);
  w.Brush(kGreen).NullPen().Select(0).Select(1);
  w.Rectangle(100, 200, 150, 150);  // top-left 50 x 50 square
  w.End();
  PLBitmap bmp = Decode(w.Plain());
  ASSERT_EQ(bmp.Width(), 200);
  ASSERT_EQ(bmp.Height(), 100);
  EXPECT_EQ(At(bmp, 0, 0), kGreen);
  EXPECT_EQ(At(bmp, 49, 49), kGreen);
  EXPECT_EQ(At(bmp, 50, 10), kWhite);
  EXPECT_EQ(At(bmp, 10, 50), kWhite);
}

TEST(Wmf, ViewportRecordsMoveTheDrawing) {
  WmfWriter w;
  w.MapMode(8).WindowExt(10, 10);
  w.Rec(0x020D, {50, 50});  // SetViewportOrg(50, 50)
  w.Rec(0x020E, {50, 50});  // SetViewportExt(50, 50)
  w.Brush(kBlue).NullPen().Select(0).Select(1);
  w.Rectangle(0, 0, 10, 10);
  w.End();
  PLBitmap bmp = Decode(w.Placeable(0, 0, 100, 100, 96));
  ASSERT_EQ(bmp.Width(), 100);
  EXPECT_EQ(At(bmp, 75, 75), kBlue);
  EXPECT_EQ(At(bmp, 51, 51), kBlue);
  EXPECT_EQ(At(bmp, 25, 25), kWhite);
  EXPECT_EQ(At(bmp, 75, 25), kWhite);
}

TEST(Wmf, FillModesDecideAboutHoles) {
  // Two nested squares drawn the same way round: a hole with ALTERNATE,
  // filled with WINDING.
  for (int mode : {1, 2}) {
    WmfWriter w;
    w.WindowExt(100, 100).Brush(kRed).NullPen().Select(0).Select(1);
    w.Rec(0x0106, {mode});
    w.Rec(0x0538, {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
    w.End();
    PLBitmap bmp = Decode(w.Placeable(0, 0, 100, 100, 96));
    EXPECT_EQ(At(bmp, 20, 20), kRed);
    EXPECT_EQ(At(bmp, 50, 50), mode == 1 ? kWhite : kRed) << "mode " << mode;
    EXPECT_EQ(At(bmp, 5, 5), kWhite);
  }
}

TEST(Wmf, PieChordAndWidePens) {
  // Quarter pie from the rightmost point counter-clockwise to the top.
  WmfWriter pie;
  pie.WindowExt(100, 100).Brush(kRed).NullPen().Select(0).Select(1);
  pie.Rec(0x081A, {0, 50, 50, 100, 100, 100, 0, 0}).End();
  PLBitmap bmp = Decode(pie.Placeable(0, 0, 100, 100, 96));
  EXPECT_EQ(At(bmp, 70, 30), kRed);
  EXPECT_EQ(At(bmp, 60, 40), kRed);
  EXPECT_EQ(At(bmp, 30, 30), kWhite);
  EXPECT_EQ(At(bmp, 70, 70), kWhite);

  WmfWriter chord;
  chord.WindowExt(100, 100).Brush(kRed).NullPen().Select(0).Select(1);
  chord.Rec(0x0830, {0, 50, 50, 100, 100, 100, 0, 0}).End();
  bmp = Decode(chord.Placeable(0, 0, 100, 100, 96));
  EXPECT_EQ(At(bmp, 85, 15), kRed);    // between the arc and the chord
  EXPECT_EQ(At(bmp, 60, 40), kWhite);  // on the centre's side of the chord

  // A 10-unit pen along y = 50, and a polyline with the default 1-pixel pen.
  WmfWriter lines;
  lines.WindowExt(100, 100).Pen(kBlue, 10).Select(0);
  lines.Rec(0x0214, {50, 10}).Rec(0x0213, {50, 90});  // MoveTo, LineTo: (y, x)
  lines.Pen(kGreen).Select(1).Rec(0x0325, {2, 10, 80, 90, 80});
  lines.End();
  bmp = Decode(lines.Placeable(0, 0, 100, 100, 96));
  EXPECT_EQ(At(bmp, 50, 46), kBlue);
  EXPECT_EQ(At(bmp, 50, 53), kBlue);
  EXPECT_EQ(At(bmp, 50, 40), kWhite);
  EXPECT_EQ(At(bmp, 50, 80), kGreen);
  EXPECT_EQ(At(bmp, 50, 82), kWhite);
}

TEST(Wmf, StretchDibDibBlitsAndPatternBrushes) {
  Bytes dib = Dib24(2, 2, Quadrants);
  WmfWriter w;
  w.WindowExt(100, 100);
  // StretchDIB of the whole 2 x 2 DIB into (10, 10, 40, 40).
  w.Rec(0x0F43, {WmfWriter::Lo(kSrcCopy), WmfWriter::Hi(kSrcCopy), 0, 2, 2, 0, 0, 40, 40, 10, 10}, dib);
  // DIBStretchBlt of the same into (60, 10, 20, 20), mirrored horizontally.
  w.Rec(0x0B41, {WmfWriter::Lo(kSrcCopy), WmfWriter::Hi(kSrcCopy), 2, 2, 0, 0, 20, -20, 10, 80}, dib);
  // A 2 x 2 checkered pattern brush filling (10, 60, 90, 90).
  Bytes checker = Dib24(2, 2, [](int x, int y) { return (x + y) % 2 ? kBlack : kWhite; });
  Bytes brush = {5, 0, 0, 0};  // BS_DIBPATTERN, DIB_RGB_COLORS
  brush.insert(brush.end(), checker.begin(), checker.end());
  w.Rec(0x0142, {}, brush).NullPen().Select(0).Select(1);
  w.Rectangle(10, 60, 90, 90);
  // PatBlt with a solid brush over (0, 95, 100, 5).
  w.Brush(kBlue).Select(2).Rec(0x061D, {WmfWriter::Lo(kPatCopy), WmfWriter::Hi(kPatCopy), 5, 100, 95, 0});
  w.End();
  PLBitmap bmp = Decode(w.Placeable(0, 0, 100, 100, 96));
  EXPECT_EQ(At(bmp, 15, 15), kRed);
  EXPECT_EQ(At(bmp, 45, 15), kGreen);
  EXPECT_EQ(At(bmp, 15, 45), kBlue);
  EXPECT_EQ(At(bmp, 45, 45), kWhite);
  EXPECT_EQ(At(bmp, 5, 5), kWhite);
  EXPECT_EQ(At(bmp, 62, 12), kGreen);  // mirrored: green comes first
  EXPECT_EQ(At(bmp, 78, 12), kRed);
  EXPECT_NE(At(bmp, 40, 70), At(bmp, 41, 70));  // the checker alternates
  EXPECT_NE(At(bmp, 40, 70), At(bmp, 40, 71));
  EXPECT_EQ(At(bmp, 50, 97), kBlue);
}

TEST(Wmf, SavedStatesAndObjectSlots) {
  WmfWriter w;
  w.WindowExt(100, 100).NullPen().Select(0);
  w.Brush(kRed).Select(1);       // slot 1
  w.Rec(0x001E, {});             // SaveDC
  w.Brush(kBlue).Select(2);      // slot 2
  w.Rec(0x0127, {0xFFFF});       // RestoreDC(-1): red again
  w.Rectangle(0, 0, 50, 50);
  w.Delete(1).Brush(kGreen).Select(1);  // the freed slot is reused
  w.Rectangle(50, 50, 100, 100).End();
  PLBitmap bmp = Decode(w.Placeable(0, 0, 100, 100, 96));
  EXPECT_EQ(At(bmp, 25, 25), kRed);
  EXPECT_EQ(At(bmp, 75, 75), kGreen);
}

TEST(Wmf, LargePicturesAreScaledDownToTheCap) {
  WmfWriter w;
  w.WindowExt(32000, 16000).Brush(kRed).NullPen().Select(0).Select(1).Rectangle(16000, 0, 32000, 16000).End();
  PLBitmap bmp = Decode(w.Placeable(0, 0, 32000, 16000, 100));  // 30720 x 15360 at 96 dpi
  EXPECT_EQ(bmp.Width(), kPLMaxMetafileSide);
  EXPECT_EQ(bmp.Height(), kPLMaxMetafileSide / 2);
  EXPECT_EQ(At(bmp, bmp.Width() - 10, 10), kRed);
  EXPECT_EQ(At(bmp, 10, 10), kWhite);
}

TEST(Wmf, ManyFullCanvasShapesStopAtTheWorkBudget) {
  // 200000 rectangles over the whole canvas would paint for minutes; the
  // player stops painting once its work budget is spent.
  WmfWriter w;
  w.WindowExt(1024, 1024).Brush(kRed).NullPen().Select(0).Select(1);
  for (int i = 0; i < 200000; ++i) w.Rectangle(0, 0, 1024, 1024);
  w.End();
  PLBitmap bmp = Decode(w.Placeable(0, 0, 1024, 1024, 96));
  EXPECT_EQ(At(bmp, 100, 100), kRed);
}

TEST(Wmf, CorruptFilesFail) {
  WmfWriter w;
  w.WindowExt(100, 100).Rectangle(0, 0, 10, 10).End();
  Bytes good = w.Placeable(0, 0, 100, 100, 96);
  ASSERT_NO_THROW(PLDecodeWmf(good.data(), good.size()));

  Bytes zeroSize = good;
  std::memset(zeroSize.data() + 22 + 18, 0, 4);  // first record of size 0
  EXPECT_THROW(PLDecodeWmf(zeroSize.data(), zeroSize.size()), PLTextException);
  Bytes tooLong = good;
  tooLong[22 + 18] = 0xFF;  // first record runs past the end
  EXPECT_THROW(PLDecodeWmf(tooLong.data(), tooLong.size()), PLTextException);
  Bytes cut(good.begin(), good.begin() + 22 + 18 + 8);  // stops inside a record
  EXPECT_THROW(PLDecodeWmf(cut.data(), cut.size()), PLTextException);
  Bytes shortRecord = WmfWriter().WindowExt(100, 100).Rec(0x0324, {50}).End().Placeable(0, 0, 100, 100, 96);
  EXPECT_THROW(PLDecodeWmf(shortRecord.data(), shortRecord.size()), PLTextException);  // 50 points promised
  Bytes noInch = good;
  noInch[14] = noInch[15] = 0;
  EXPECT_THROW(PLDecodeWmf(noInch.data(), noInch.size()), PLTextException);
  Bytes noWindow = WmfWriter().Rectangle(0, 0, 10, 10).End().Plain();
  EXPECT_THROW(PLDecodeWmf(noWindow.data(), noWindow.size()), PLTextException);
  Bytes notWmf = good;
  notWmf[22 + 2] = 7;  // header size
  EXPECT_FALSE(PLIsWmf(notWmf.data(), notWmf.size()));
}

// ---- EMF -------------------------------------------------------------------

class EmfWriter {
 public:
  EmfWriter& Rec(uint32_t type, const std::vector<int64_t>& values, const Bytes& tail = {}) {
    Put32(body_, type);
    Put32(body_, static_cast<uint32_t>(8 + 4 * values.size() + tail.size()));
    for (int64_t v : values) Put32(body_, static_cast<uint32_t>(v));
    body_.insert(body_.end(), tail.begin(), tail.end());
    ++records_;
    return *this;
  }
  EmfWriter& Brush(uint32_t handle, uint32_t colour) { return Rec(39, {handle, 0, colour, 0}); }
  EmfWriter& Pen(uint32_t handle, uint32_t colour, int width = 0) { return Rec(38, {handle, 0, width, 0, colour}); }
  EmfWriter& Select(uint32_t handle) { return Rec(37, {handle}); }
  EmfWriter& NullPen() { return Select(0x80000008); }
  EmfWriter& Rectangle(int l, int t, int r, int b) { return Rec(43, {l, t, r, b}); }

  // Bounds in pixels of the reference device, of dpi pixels per inch; the
  // frame (0.01 mm) covers the same picture.
  Bytes Finish(int l, int t, int r, int b, int dpi = 96) {
    Rec(14, {0, 16, 20});  // EMR_EOF
    Bytes out;
    Put32(out, 1);
    Put32(out, 88);
    for (int v : {l, t, r, b}) Put32(out, static_cast<uint32_t>(v));
    for (int v : {l, t, r + 1, b + 1}) Put32(out, static_cast<uint32_t>(int64_t{v} * 2540 / dpi));
    Put32(out, 0x464D4520);
    Put32(out, 0x10000);
    Put32(out, static_cast<uint32_t>(88 + body_.size()));
    Put32(out, records_ + 1);
    Put32(out, 16);  // handles
    for (int i = 0; i < 3; ++i) Put32(out, 0);
    for (int v : {10 * dpi, 10 * dpi, 254, 254}) Put32(out, static_cast<uint32_t>(v));  // 10 inches
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
  }

 private:
  Bytes body_;
  uint32_t records_ = 0;
};

TEST(Emf, BoundsGiveSizeAndOriginOfTheDrawing) {
  EmfWriter e;
  e.Brush(1, kRed).Select(1).NullPen();
  e.Rectangle(110, 110, 140, 140);
  e.Rec(42, {150, 100, 200, 150});  // ellipse, with the default brush and the null pen
  PLBitmap bmp = Decode(e.Finish(100, 100, 199, 149));
  ASSERT_EQ(bmp.Width(), 100);
  ASSERT_EQ(bmp.Height(), 50);
  EXPECT_EQ(At(bmp, 20, 20), kRed);
  EXPECT_EQ(At(bmp, 9, 20), kWhite);
  EXPECT_EQ(At(bmp, 40, 40), kWhite);
  EXPECT_EQ(At(bmp, 75, 25), kRed);  // the ellipse uses the red brush still selected
}

TEST(Emf, SizeIsTheFrameAtNinetySixPixelsPerInch) {
  // A 2 x 1 inch drawing recorded for a 600 dpi device: 192 x 96, as its WMF.
  EmfWriter e;
  e.Brush(1, kRed).Select(1).NullPen().Rectangle(0, 0, 600, 600);  // the left half
  PLBitmap bmp = Decode(e.Finish(0, 0, 1199, 599, 600));
  EXPECT_EQ(bmp.Width(), 192);
  EXPECT_EQ(bmp.Height(), 96);
  EXPECT_EQ(At(bmp, 40, 40), kRed);
  EXPECT_EQ(At(bmp, 150, 40), kWhite);
  WmfWriter w;
  w.WindowOrg(0, 0).WindowExt(2880, 1440).End();
  PLBitmap same = Decode(w.Placeable(0, 0, 2880, 1440, 1440));
  EXPECT_EQ(same.Width(), bmp.Width());
  EXPECT_EQ(same.Height(), bmp.Height());
}

TEST(Emf, MappingModesAndWorldTransform) {
  EmfWriter e;
  e.Brush(1, kBlue).Select(1).NullPen();
  e.Rec(17, {8});           // MM_ANISOTROPIC
  e.Rec(9, {1000, 1000});   // window extent
  e.Rec(11, {100, 50});     // viewport extent
  e.Rectangle(0, 0, 500, 1000);  // left half
  e.Rec(17, {1});           // back to MM_TEXT
  float xform[6] = {2, 0, 0, 2, 60, 10};  // scale by 2, then move by (60, 10)
  Bytes x(sizeof xform);
  std::memcpy(x.data(), xform, sizeof xform);
  e.Rec(35, {}, x);
  e.Brush(2, kGreen).Select(2).Rectangle(0, 0, 10, 10);  // (60, 10) to (80, 30)
  PLBitmap bmp = Decode(e.Finish(0, 0, 99, 49));
  EXPECT_EQ(At(bmp, 25, 25), kBlue);
  EXPECT_EQ(At(bmp, 55, 25), kWhite);
  EXPECT_EQ(At(bmp, 61, 11), kGreen);
  EXPECT_EQ(At(bmp, 79, 29), kGreen);
  EXPECT_EQ(At(bmp, 81, 29), kWhite);
}

TEST(Emf, PathsPolygonsAndPolylines) {
  EmfWriter e;
  e.Brush(1, kRed).Select(1).NullPen();
  e.Rec(59, {});                       // BeginPath
  e.Rec(27, {10, 10});                 // MoveTo
  e.Rec(6, {0, 0, 0, 0, 2, 50, 10, 10, 40});  // PolylineTo (two points)
  e.Rec(61, {}).Rec(60, {}).Rec(62, {0, 0, 0, 0});  // CloseFigure, EndPath, FillPath
  // Polygon16 square in green, Polyline16 in blue.
  e.Brush(2, kGreen).Select(2);
  Bytes square;
  for (int v : {60, 10, 90, 10, 90, 40, 60, 40}) Put16(square, static_cast<uint16_t>(v));
  e.Rec(86, {0, 0, 0, 0, 4}, square);
  e.Pen(3, kBlue).Select(3);
  Bytes line;
  for (int v : {0, 45, 99, 45}) Put16(line, static_cast<uint16_t>(v));
  e.Rec(87, {0, 0, 0, 0, 2}, line);
  PLBitmap bmp = Decode(e.Finish(0, 0, 99, 49));
  EXPECT_EQ(At(bmp, 15, 15), kRed);   // inside the triangle
  EXPECT_EQ(At(bmp, 45, 15), kWhite); // beside its slanted edge
  EXPECT_EQ(At(bmp, 75, 25), kGreen);
  EXPECT_EQ(At(bmp, 50, 45), kBlue);
}

// EMR_STRETCHDIBITS / EMR_BITBLT / EMR_CREATEDIBPATTERNBRUSHPT with the
// bitmap info and bits placed after the fixed fields.
Bytes DibTail(const Bytes& dib, size_t fixedSize, std::vector<int64_t>& values, size_t offBmiIndex) {
  size_t infoSize = 40;
  values[offBmiIndex] = static_cast<int64_t>(fixedSize);
  values[offBmiIndex + 1] = static_cast<int64_t>(infoSize);
  values[offBmiIndex + 2] = static_cast<int64_t>(fixedSize + infoSize);
  values[offBmiIndex + 3] = static_cast<int64_t>(dib.size() - infoSize);
  return dib;
}

TEST(Emf, StretchDibitsBitBltAndPatternBrush) {
  Bytes dib = Dib24(2, 2, Quadrants);
  EmfWriter e;
  // EMR_STRETCHDIBITS: bounds, dest (10,10), src (0,0,2,2), offsets, usage, rop, dest size 40 x 20.
  std::vector<int64_t> sdb = {0, 0, 0, 0, 10, 10, 0, 0, 2, 2, 0, 0, 0, 0, 0, kSrcCopy, 40, 20};
  Bytes tail = DibTail(dib, 80, sdb, 10);
  e.Rec(81, sdb, tail);
  // EMR_BITBLT of the DIB at (60, 30), 2 x 2, unscaled.
  std::vector<int64_t> bb = {0, 0, 0, 0, 60, 30, 2, 2, kSrcCopy, 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0,
                             0, 0, 0, 0, 0, 0};
  tail = DibTail(dib, 100, bb, 19);
  e.Rec(76, bb, tail);
  // A checkered pattern brush filling (60, 0, 100, 20).
  Bytes checker = Dib24(2, 2, [](int x, int y) { return (x + y) % 2 ? kBlack : kWhite; });
  std::vector<int64_t> pb = {1, 0, 0, 0, 0, 0};
  tail = DibTail(checker, 32, pb, 2);
  e.Rec(94, pb, tail).Select(1).NullPen().Rectangle(60, 0, 100, 20);
  PLBitmap bmp = Decode(e.Finish(0, 0, 99, 49));
  EXPECT_EQ(At(bmp, 12, 12), kRed);
  EXPECT_EQ(At(bmp, 48, 12), kGreen);
  EXPECT_EQ(At(bmp, 12, 28), kBlue);
  EXPECT_EQ(At(bmp, 48, 28), kWhite);
  EXPECT_EQ(At(bmp, 60, 30), kRed);
  EXPECT_EQ(At(bmp, 61, 31), kWhite);
  EXPECT_EQ(At(bmp, 60, 31), kBlue);
  EXPECT_NE(At(bmp, 70, 10), At(bmp, 71, 10));
}

TEST(Emf, CorruptFilesFail) {
  EmfWriter e;
  e.Rectangle(0, 0, 10, 10);
  Bytes good = e.Finish(0, 0, 19, 19);
  ASSERT_TRUE(PLIsEmf(good.data(), good.size()));
  EXPECT_EQ(PLDecodeEmf(good.data(), good.size()).Width(), 20);

  Bytes zeroSize = good;
  std::memset(zeroSize.data() + 88 + 4, 0, 4);
  EXPECT_THROW(PLDecodeEmf(zeroSize.data(), zeroSize.size()), PLTextException);
  Bytes tooLong = good;
  tooLong[88 + 5] = 0x10;
  EXPECT_THROW(PLDecodeEmf(tooLong.data(), tooLong.size()), PLTextException);
  Bytes shortRecord = EmfWriter().Rec(3, {0, 0, 0, 0, 1000}).Finish(0, 0, 9, 9);  // points promised
  EXPECT_THROW(PLDecodeEmf(shortRecord.data(), shortRecord.size()), PLTextException);
  Bytes empty = EmfWriter().Finish(0, 0, -1, -1);
  std::memset(empty.data() + 24, 0, 16);  // no frame either
  EXPECT_THROW(PLDecodeEmf(empty.data(), empty.size()), PLTextException);
  Bytes noSignature = good;
  noSignature[40] = 'X';
  EXPECT_FALSE(PLIsEmf(noSignature.data(), noSignature.size()));
  EXPECT_THROW(PLDecodeEmf(noSignature.data(), noSignature.size()), PLTextException);
  // Huge bounds are scaled down to the cap.
  Bytes huge = EmfWriter().Finish(0, 0, 999999, 499999);
  PLBitmap bmp = PLDecodeEmf(huge.data(), huge.size());
  EXPECT_EQ(bmp.Width(), kPLMaxMetafileSide);
  EXPECT_EQ(bmp.Height(), kPLMaxMetafileSide / 2);
}

TEST(Emf, EpsFallsBackToItsWmfPreview) {
  WmfWriter w;
  w.WindowExt(100, 100).Brush(kRed).NullPen().Select(0).Select(1).Rectangle(0, 0, 100, 100).End();
  Bytes wmf = w.Placeable(0, 0, 100, 100, 96);
  Bytes eps = {0xC5, 0xD0, 0xD3, 0xC6};
  for (uint32_t v : {30u, 0u, 30u, static_cast<uint32_t>(wmf.size()), 0u, 0u}) Put32(eps, v);
  Put16(eps, 0xFFFF);
  eps.insert(eps.end(), wmf.begin(), wmf.end());
  PLBitmap bmp = PLDecodeEps(eps.data(), eps.size());
  EXPECT_EQ(bmp.Width(), 100);
  EXPECT_EQ(At(bmp, 50, 50), kRed);
}

}  // namespace
