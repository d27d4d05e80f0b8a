#include <gtest/gtest.h>

#include <cstring>

#include "picture/Bitmap.h"

namespace {

void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

// A BMP file built field by field, for the variants the encoder never writes.
struct BmpBuilder {
  int32_t width = 2, height = 2;
  uint16_t bpp = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  uint32_t headerSize = 40;
  std::vector<uint32_t> masks;           // written after a 40-byte header
  std::vector<uint8_t> palette;          // raw entries
  std::vector<uint8_t> pixels;           // raw pixel bytes
  bool fileHeader = true;

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> info;
    if (headerSize == 12) {
      Put32(info, 12);
      Put16(info, static_cast<uint16_t>(width));
      Put16(info, static_cast<uint16_t>(height));
      Put16(info, 1);
      Put16(info, bpp);
    } else {
      Put32(info, headerSize);
      Put32(info, static_cast<uint32_t>(width));
      Put32(info, static_cast<uint32_t>(height));
      Put16(info, 1);
      Put16(info, bpp);
      Put32(info, compression);
      Put32(info, static_cast<uint32_t>(pixels.size()));
      Put32(info, 0);
      Put32(info, 0);
      Put32(info, colorsUsed);
      Put32(info, 0);
      while (info.size() < headerSize) info.push_back(0);
    }
    for (uint32_t m : masks) Put32(info, m);
    info.insert(info.end(), palette.begin(), palette.end());
    std::vector<uint8_t> out;
    if (fileHeader) {
      out = {'B', 'M'};
      Put32(out, static_cast<uint32_t>(14 + info.size() + pixels.size()));
      Put32(out, 0);
      Put32(out, static_cast<uint32_t>(14 + info.size()));
    }
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};

PLBitmap Decode(const std::vector<uint8_t>& bytes) { return PLDecodeBmp(bytes.data(), bytes.size()); }

PLBitmap Pattern(int w, int h, int bpp) {
  PLBitmap bmp(w, h, bpp);
  if (bpp <= 8) {
    for (size_t i = 0; i < bmp.Palette().size(); ++i)
      bmp.Palette()[i] = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i * 13), static_cast<uint8_t>(255 - i), 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bmp.SetIndex(x, y, static_cast<unsigned>(x * 3 + y * 5) % (1u << bpp));
  } else {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        bmp.SetPixel(x, y, {static_cast<uint8_t>(x * 11), static_cast<uint8_t>(y * 17), static_cast<uint8_t>(x ^ y),
                            static_cast<uint8_t>(bpp == 32 ? x + y : 0)});
  }
  return bmp;
}

}  // namespace

TEST(Bitmap, CreateAndPixelsAtEveryDepth) {
  PLBitmap one(9, 2, 1);
  EXPECT_EQ(one.Stride(), 4u);
  ASSERT_EQ(one.Palette().size(), 2u);
  one.Palette()[1] = {1, 2, 3, 0};
  one.SetIndex(8, 1, 1);
  EXPECT_EQ(one.GetIndex(8, 1), 1u);
  EXPECT_EQ(one.GetIndex(7, 1), 0u);
  EXPECT_EQ(one.GetPixel(8, 1), (PLPixel32{1, 2, 3, 0}));

  PLBitmap four(3, 1, 4);
  four.SetIndex(0, 0, 0xA);
  four.SetIndex(1, 0, 0x5);
  four.SetIndex(2, 0, 0xF);
  EXPECT_EQ(four.Row(0)[0], 0xA5);
  EXPECT_EQ(four.Row(0)[1], 0xF0);

  PLBitmap rgb(5, 3, 24);
  EXPECT_EQ(rgb.Stride(), 16u);
  rgb.SetPixel(4, 2, {10, 20, 30, 40});
  EXPECT_EQ(rgb.GetPixel(4, 2), (PLPixel32{10, 20, 30, 0}));

  PLBitmap copy = rgb;  // deep copy
  copy.SetPixel(4, 2, {0, 0, 0, 0});
  EXPECT_EQ(rgb.GetPixel(4, 2).b, 10);
  EXPECT_FALSE(copy == rgb);
}

TEST(Bitmap, RefusesBadDepthsAndHugeSizes) {
  EXPECT_THROW(PLBitmap(1, 1, 16), PLTextException);
  EXPECT_THROW(PLBitmap(-1, 1, 8), PLTextException);
  EXPECT_THROW(PLBitmap(1 << 30, 1 << 30, 8), PLTextException);
  EXPECT_TRUE(PLBitmap(0, 0, 8).IsEmpty());
}

TEST(Bmp, RoundTripsEveryDepth) {
  for (int bpp : {1, 4, 8, 24, 32}) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{7, 3}, std::pair{33, 17}}) {
      const PLBitmap original = Pattern(w, h, bpp);
      const std::vector<uint8_t> file = PLEncodeBmp(original);
      ASSERT_GE(file.size(), 54u);
      EXPECT_EQ(file[0], 'B');
      EXPECT_EQ(file[1], 'M');
      uint32_t declared;
      std::memcpy(&declared, file.data() + 2, 4);
      EXPECT_EQ(declared, file.size());
      const PLBitmap back = Decode(file);
      EXPECT_TRUE(back == original) << bpp << " bpp " << w << "x" << h;
    }
  }
}

TEST(Bmp, EncodesStandardLayout) {
  PLBitmap bmp(2, 2, 24);
  bmp.SetPixel(0, 0, {1, 2, 3, 0});  // top-left
  bmp.SetPixel(1, 1, {4, 5, 6, 0});  // bottom-right
  const auto file = PLEncodeBmp(bmp);
  ASSERT_EQ(file.size(), 14u + 40 + 2 * 8);
  EXPECT_EQ(file[10], 54);  // pixels right after the info header
  EXPECT_EQ(file[14], 40);
  // Bottom row first: its second pixel is (4,5,6).
  EXPECT_EQ(file[54 + 3], 4);
  EXPECT_EQ(file[54 + 8 + 0], 1);

  PLBitmap small(1, 1, 8);
  small.Palette().resize(2);
  const auto indexed = PLEncodeBmp(small);
  ASSERT_EQ(indexed.size(), 14u + 40 + 2 * 4 + 4);
  EXPECT_EQ(indexed[14 + 32], 2);  // colours used
  EXPECT_EQ(Decode(indexed).Palette().size(), 2u);

  EXPECT_TRUE(PLEncodeBmp(PLBitmap()).empty());
}

TEST(Bmp, ReadsTopDownRowsAndBareDib) {
  BmpBuilder b;
  b.height = -2;
  b.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  const PLBitmap top = Decode(b.Build());
  EXPECT_EQ(top.GetPixel(0, 0), (PLPixel32{1, 2, 3, 0}));
  EXPECT_EQ(top.GetPixel(1, 1), (PLPixel32{10, 11, 12, 0}));

  b.height = 2;
  b.fileHeader = false;
  const std::vector<uint8_t> dib = b.Build();
  EXPECT_TRUE(PLIsBmp(dib.data(), dib.size()));
  const PLBitmap bottom = Decode(dib);
  EXPECT_EQ(bottom.GetPixel(0, 1), (PLPixel32{1, 2, 3, 0}));
  EXPECT_EQ(bottom.GetPixel(1, 0), (PLPixel32{10, 11, 12, 0}));
}

TEST(Bmp, ReadsOs2CoreHeaderWithThreeBytePalette) {
  BmpBuilder b;
  b.headerSize = 12;
  b.width = 3;
  b.height = 1;
  b.bpp = 1;
  b.palette = {0, 0, 0, 255, 128, 64};
  b.pixels = {0x40, 0, 0, 0};  // 0 1 0
  const PLBitmap bmp = Decode(b.Build());
  EXPECT_EQ(bmp.BitsPerPixel(), 1);
  EXPECT_EQ(bmp.GetPixel(1, 0), (PLPixel32{255, 128, 64, 0}));
  EXPECT_EQ(bmp.GetPixel(2, 0), (PLPixel32{0, 0, 0, 0}));
}

TEST(Bmp, ReadsRle8AndRle4) {
  BmpBuilder b;
  b.width = 6;
  b.height = 3;
  b.bpp = 8;
  b.compression = 1;
  b.colorsUsed = 4;
  b.palette = {0, 0, 0, 0, 10, 10, 10, 0, 20, 20, 20, 0, 30, 30, 30, 0};
  // Bottom row: run of 4 x index 1, absolute 2,3; middle row: delta to x=2 of
  // the top row, one 3, end of bitmap. Untouched pixels keep index 0.
  b.pixels = {4, 1, 0, 3, 2, 3, 3, 0, 0, 0, 0, 2, 2, 1, 1, 3, 0, 1};
  PLBitmap bmp = Decode(b.Build());
  ASSERT_EQ(bmp.BitsPerPixel(), 8);
  EXPECT_EQ(bmp.GetIndex(0, 2), 1u);
  EXPECT_EQ(bmp.GetIndex(3, 2), 1u);
  EXPECT_EQ(bmp.GetIndex(4, 2), 2u);
  EXPECT_EQ(bmp.GetIndex(5, 2), 3u);
  EXPECT_EQ(bmp.GetIndex(2, 0), 3u);
  EXPECT_EQ(bmp.GetIndex(3, 0), 0u);
  EXPECT_EQ(bmp.GetIndex(0, 1), 0u);
  EXPECT_EQ(bmp.GetPixel(5, 2).r, 30);

  b.bpp = 4;
  b.compression = 2;
  // Run of 5 alternating 1,2; absolute 3 nibbles 3,2,1 (padded); end of line.
  b.pixels = {5, 0x12, 0, 3, 0x32, 0x10, 0, 0, 0, 1};
  bmp = Decode(b.Build());
  ASSERT_EQ(bmp.BitsPerPixel(), 4);
  const unsigned expected[6] = {1, 2, 1, 2, 1, 3};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(bmp.GetIndex(x, 2), expected[x]) << x;
  EXPECT_EQ(bmp.GetIndex(0, 1), 0u);

  // Runs past the edge and a missing end code stay inside the picture.
  b.pixels = {255, 0x11, 0, 2, 250, 250, 9};
  EXPECT_NO_THROW(Decode(b.Build()));
}

TEST(Bmp, Reads16BitAndBitfields) {
  BmpBuilder b;
  b.width = 2;
  b.height = 1;
  b.bpp = 16;
  // 555: pure red, pure blue.
  b.pixels = {0x00, 0x7C, 0x1F, 0x00};
  PLBitmap bmp = Decode(b.Build());
  ASSERT_EQ(bmp.BitsPerPixel(), 24);
  EXPECT_EQ(bmp.GetPixel(0, 0), (PLPixel32{0, 0, 255, 0}));
  EXPECT_EQ(bmp.GetPixel(1, 0), (PLPixel32{255, 0, 0, 0}));

  // 565 bit fields: full green, mid grey-ish.
  b.compression = 3;
  b.masks = {0xF800, 0x07E0, 0x001F};
  b.pixels = {0xE0, 0x07, 0x10, 0x84};
  bmp = Decode(b.Build());
  EXPECT_EQ(bmp.GetPixel(0, 0), (PLPixel32{0, 255, 0, 0}));
  EXPECT_EQ(bmp.GetPixel(1, 0).r, 132);
  EXPECT_EQ(bmp.GetPixel(1, 0).g, 130);
  EXPECT_EQ(bmp.GetPixel(1, 0).b, 132);

  // 32-bit bit fields in an unusual order (R in the low byte), V4-style masks.
  b.bpp = 32;
  b.masks.clear();
  b.headerSize = 56;
  b.pixels = {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD};
  std::vector<uint8_t> file = b.Build();
  const size_t maskAt = 14 + 40;
  const uint32_t masks[4] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
  std::memcpy(file.data() + maskAt, masks, sizeof masks);
  bmp = Decode(file);
  ASSERT_EQ(bmp.BitsPerPixel(), 32);
  EXPECT_EQ(bmp.GetPixel(0, 0), (PLPixel32{0x33, 0x22, 0x11, 0x44}));
  EXPECT_EQ(bmp.GetPixel(1, 0), (PLPixel32{0xCC, 0xBB, 0xAA, 0xDD}));
}

TEST(Bmp, RefusesBadData) {
  const auto fails = [](const std::vector<uint8_t>& bytes) {
    EXPECT_THROW(PLDecodeBmp(bytes.data(), bytes.size()), PLTextException);
  };
  fails({});
  fails({'B', 'M', 0, 0});
  fails(std::vector<uint8_t>(64, 0x55));

  BmpBuilder b;
  b.pixels = {1, 2, 3};  // rows missing
  fails(b.Build());

  b.width = 0x7FFFFFFF;
  b.height = 0x7FFFFFFF;
  fails(b.Build());

  b.width = 2;
  b.height = 2;
  b.bpp = 7;
  fails(b.Build());

  b.bpp = 24;
  b.compression = 1;  // RLE8 needs 8 bits
  fails(b.Build());

  b.compression = 4;  // embedded JPEG
  fails(b.Build());

  // A huge RLE picture out of a few bytes.
  b.bpp = 8;
  b.compression = 1;
  b.width = 60000;
  b.height = 60000;
  b.pixels = {0, 1};
  fails(b.Build());

  // Offset of the pixels beyond the end of the file.
  b.width = 1;
  b.height = 1;
  b.compression = 0;
  b.bpp = 24;
  b.pixels = {1, 2, 3, 0};
  std::vector<uint8_t> file = b.Build();
  file[10] = 0xFF;
  file[11] = 0xFF;
  fails(file);
}
