#include <gtest/gtest.h>

#include "describe/Id3v2.h"
#include "describe/Mp3Bytes.h"

using namespace mp3test;

namespace {

struct TagRead {
  int rc;
  int64_t audioStart;
  TagValues values;
};

TagRead Read(const Bytes& bytes) {
  TagRead r{0, -1, {}};
  MemoryByteReader src(bytes.data(), bytes.size());
  r.rc = ReadId3v2Tag(src, r.values, r.audioStart);
  return r;
}

const std::string& Slot(const TagRead& r, const char* id) { return r.values.slots[Id3FrameIndexV23(id)]; }

Bytes Utf16(const std::u16string& s, bool bigEndian, bool bom) {
  Bytes out;
  auto put = [&](char16_t u) {
    if (bigEndian) {
      out.push_back(static_cast<uint8_t>(u >> 8));
      out.push_back(static_cast<uint8_t>(u));
    } else {
      out.push_back(static_cast<uint8_t>(u));
      out.push_back(static_cast<uint8_t>(u >> 8));
    }
  };
  if (bom) put(0xFEFF);
  for (char16_t u : s) put(u);
  return out;
}

}  // namespace

TEST(Id3v2Tag, Version22FramesAreReadAsTheirV23Equivalents) {
  Bytes tag = Id3v2(2, {TextFrame("TT2", "Song"), TextFrame("TP1", "Band"), TextFrame("TAL", "Record"),
                        TextFrame("TIT", "not a v2.2 frame"), TextFrame("TXX", "skipped")});
  TagRead r = Read(tag);
  EXPECT_EQ(r.rc, ID3_OK);
  EXPECT_EQ(r.audioStart, static_cast<int64_t>(tag.size()));
  EXPECT_EQ(Slot(r, "TIT2"), "Song");
  EXPECT_EQ(Slot(r, "TPE1"), "Band");
  EXPECT_EQ(Slot(r, "TALB"), "Record");
  EXPECT_EQ(Slot(r, "TXXX"), "");
  int filled = 0;
  for (const auto& s : r.values.slots) filled += !s.empty();
  EXPECT_EQ(filled, 3);
}

TEST(Id3v2Tag, PaddingEndsTheWalkAndKeepsTheValuesRead) {
  Bytes tag = Id3v2(3, {TextFrame("TIT2", "Title"), TextFrame("TRCK", "7/12"), TextFrame("TYER", "1999")}, 512);
  tag.resize(tag.size() + 1000, 0xFF);  // audio follows the tag
  TagRead r = Read(tag);
  EXPECT_EQ(r.rc, ID3_OK);
  EXPECT_EQ(r.audioStart, static_cast<int64_t>(tag.size()) - 1000);
  EXPECT_EQ(Slot(r, "TIT2"), "Title");
  EXPECT_EQ(Slot(r, "TRCK"), "7/12");
  EXPECT_EQ(Slot(r, "TYER"), "1999");
}

TEST(Id3v2Tag, TagsThatCannotBeOpened) {
  EXPECT_EQ(Read(Id3v2(5, {TextFrame("TIT2", "v2.5")})).rc, ID3_NO_TAG);
  EXPECT_TRUE(Slot(Read(Id3v2(5, {TextFrame("TIT2", "v2.5")})), "TIT2").empty());
  Bytes badSize = Id3v2(3, {TextFrame("TIT2", "x")});
  badSize[8] |= 0x80;
  EXPECT_EQ(Read(badSize).rc, ID3_NO_TAG);
  EXPECT_EQ(Read(B("RIFF....WAVEfmt ")).rc, ID3_NO_TAG);
  EXPECT_EQ(Read(B("ID3")).rc, ID3_READ_FAILED);
  EXPECT_EQ(Read(Bytes()).rc, ID3_READ_FAILED);
  TagValues v;
  int64_t start = 77;
  EXPECT_EQ(ReadId3v2Tag("/nonexistent/dir/file.mp3", v, start), ID3_CANNOT_OPEN);
  EXPECT_EQ(start, 77);
  EXPECT_STREQ(Id3ResultText(ID3_NO_TAG), "No ID3V2 Tag found");
  EXPECT_STREQ(Id3ResultText(ID3_FRAME_CORRUPT), "ID3 Frame corrupt");
}

TEST(Id3v2Tag, CommentIsTakenAfterItsLanguageAndDescription) {
  V2Frame comm{"COMM", {0}};
  Append(comm.data, std::string("eng", 3));
  comm.data.push_back(0);  // empty content description
  Append(comm.data, std::string("Nice tune"));
  V2Frame comm22{"COM", {0}};
  Append(comm22.data, std::string("fraShort\0Long comment", 21));
  EXPECT_EQ(Slot(Read(Id3v2(3, {comm})), "COMM"), "Nice tune");
  EXPECT_EQ(Slot(Read(Id3v2(2, {comm22})), "COMM"), "Long comment");
  // Too short to hold a language code: nothing, and the walk goes on.
  TagRead r = Read(Id3v2(3, {TextFrame("COMM", "eng"), TextFrame("TIT2", "after")}));
  EXPECT_EQ(Slot(r, "COMM"), "");
  EXPECT_EQ(Slot(r, "TIT2"), "after");
}

TEST(Id3v2Tag, TheLastStringOfAFrameWins) {
  EXPECT_EQ(Slot(Read(Id3v2(3, {TextFrame("TIT2", std::string("First\0Second", 12))})), "TIT2"), "Second");
  // Zero padding after the terminator is no further string.
  EXPECT_EQ(Slot(Read(Id3v2(3, {TextFrame("TIT2", std::string("Padded\0\0\0\0", 10))})), "TIT2"), "Padded");
  // A later frame of the same ID replaces the value.
  EXPECT_EQ(Slot(Read(Id3v2(3, {TextFrame("TPE1", "One"), TextFrame("TPE1", "Two")})), "TPE1"), "Two");
}

TEST(Id3v2Tag, UnsupportedEncodingStoresNothingButTheWalkGoesOn) {
  TagRead r = Read(Id3v2(3, {TextFrame("TIT2", "utf8 title", 3), TextFrame("TALB", "Album")}));
  EXPECT_EQ(r.rc, ID3_OK);
  EXPECT_EQ(Slot(r, "TIT2"), "");
  EXPECT_EQ(Slot(r, "TALB"), "Album");
  std::string slot = "kept";
  EXPECT_EQ(DecodeId3TextFrame(reinterpret_cast<const uint8_t*>("\x02xy"), 3, false, slot), ID3_BAD_ENCODING);
  EXPECT_EQ(DecodeId3TextFrame(reinterpret_cast<const uint8_t*>("\x00"), 1, false, slot), ID3_TAG_CORRUPT);
  EXPECT_EQ(slot, "kept");
}

TEST(Id3v2Tag, Latin1TextIsReadAsWindows1252) {
  // 0xE9 e-acute, 0x80 euro sign, 0x92 right single quote.
  TagRead r = Read(Id3v2(3, {TextFrame("TIT2", "Caf\xE9 \x80 5 l\x92" "a")}));
  EXPECT_EQ(Slot(r, "TIT2"), "Caf\xC3\xA9 \xE2\x82\xAC 5 l\xE2\x80\x99" "a");
}

TEST(Id3v2Tag, Utf16HonoursItsByteOrderMarkAndConvertsWithoutLoss) {
  const std::u16string text = u"\u00C9t\u00E9 \u20AC \u65E5\u672C \U0001D11E";
  const std::string utf8 = "\xC3\x89t\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9D\x84\x9E";
  for (bool bigEndian : {false, true}) {
    for (bool bom : {true, false}) {
      if (bigEndian && !bom) continue;  // without a mark the units are little-endian
      V2Frame f{"TPE1", {1}};
      Append(f.data, Utf16(text, bigEndian, bom));
      f.data.push_back(0);
      f.data.push_back(0);
      TagRead r = Read(Id3v2(3, {f}));
      EXPECT_EQ(Slot(r, "TPE1"), utf8) << "bigEndian=" << bigEndian << " bom=" << bom;
    }
  }
  // Several strings, each with its own mark: the comment after a big-endian description.
  V2Frame comm{"COMM", {1, 'e', 'n', 'g'}};
  Append(comm.data, Utf16(u"desc", true, true));
  comm.data.insert(comm.data.end(), {0, 0});
  Append(comm.data, Utf16(u"r\u00E9sum\u00E9", false, true));
  EXPECT_EQ(Slot(Read(Id3v2(3, {comm})), "COMM"), "r\xC3\xA9sum\xC3\xA9");
  // An odd trailing byte ends the text without reading past the frame.
  V2Frame odd{"TALB", {1, 0xFF, 0xFE, 'A', 0, 'B'}};
  EXPECT_EQ(Slot(Read(Id3v2(3, {odd, TextFrame("TYER", "2001")})), "TALB"), "AB");
}

TEST(Id3v2Tag, CompressedFramesAreInflated) {
  Bytes text = {0};
  Append(text, std::string("A compressed album title"));
  V2Frame talb{"TALB", Compress(text, static_cast<uint32_t>(text.size())), 0, 0x80};
  TagRead r = Read(Id3v2(3, {talb, TextFrame("TIT2", "Next")}, 64));
  EXPECT_EQ(Slot(r, "TALB"), "A compressed album title");
  EXPECT_EQ(Slot(r, "TIT2"), "Next");

  // A declared length that does not match ends the walk, whether the frame
  // is read or skipped.
  for (const char* id : {"TALB", "APIC"}) {
    V2Frame bad{id, Compress(text, static_cast<uint32_t>(text.size()) + 1), 0, 0x80};
    TagRead b = Read(Id3v2(3, {TextFrame("TPE1", "Before"), bad, TextFrame("TIT2", "Never read")}));
    EXPECT_EQ(b.rc, ID3_OK);
    EXPECT_EQ(Slot(b, "TPE1"), "Before");
    EXPECT_EQ(Slot(b, "TALB"), "");
    EXPECT_EQ(Slot(b, "TIT2"), "") << id;
  }
  // A claim of 4 GB from a few bytes is refused, not allocated.
  V2Frame huge{"TALB", Compress(text, 0xFFFFFFF0u), 0, 0x80};
  EXPECT_EQ(Slot(Read(Id3v2(3, {huge})), "TALB"), "");
  V2Frame garbage{"TALB", {0, 0, 0, 10, 1, 2, 3, 4}, 0, 0x80};
  TagRead g = Read(Id3v2(3, {garbage, TextFrame("TIT2", "x")}));
  EXPECT_EQ(Slot(g, "TIT2"), "");
}

TEST(Id3v2Tag, FrameSizesBeyondTheTagEndTheWalk) {
  Bytes tag = Id3v2(3, {TextFrame("TIT2", "Kept"), TextFrame("TALB", "Lost")});
  // Declare the TALB frame as 2 GB long.
  size_t talb = 10 + 10 + 5;
  tag[talb + 4] = 0x7F;
  tag[talb + 5] = 0xFF;
  TagRead r = Read(tag);
  EXPECT_EQ(r.rc, ID3_OK);
  EXPECT_EQ(Slot(r, "TIT2"), "Kept");
  EXPECT_EQ(Slot(r, "TALB"), "");

  // A tag that claims more than the file holds: what is there is read.
  Bytes cut = Id3v2(3, {TextFrame("TIT2", "Whole"), TextFrame("TALB", "Cut short")}, 4096);
  cut.resize(10 + 10 + 6 + 10 + 3);
  TagRead c = Read(cut);
  EXPECT_EQ(c.rc, ID3_OK);
  EXPECT_EQ(Slot(c, "TIT2"), "Whole");
  EXPECT_EQ(Slot(c, "TALB"), "");
}

TEST(Id3v2Tag, BadIdentifiersAndShortRemaindersEndTheWalk) {
  Bytes tag = Id3v2(3, {TextFrame("TIT2", "One"), TextFrame("tpe1", "lower case"), TextFrame("TALB", "Two")});
  TagRead r = Read(tag);
  EXPECT_EQ(Slot(r, "TIT2"), "One");
  EXPECT_EQ(Slot(r, "TALB"), "");
  // An extended header is taken for a frame and ends the walk.
  Bytes ext = Id3v2(3, {TextFrame("TIT2", "After extended header")});
  ext[5] = 0x40;
  Bytes extHeader = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
  ext.insert(ext.begin() + 10, extHeader.begin(), extHeader.end());
  ext[9] = static_cast<uint8_t>(ext[9] + extHeader.size());
  EXPECT_EQ(Slot(Read(ext), "TIT2"), "");
}

TEST(Id3v2Tag, Version24) {
  // Synchsafe frame sizes: a 200-byte title has a size byte 0x01 0x48, which
  // read as a plain number would be 328.
  const std::string longTitle(199, 't');
  Bytes utf16be = {2};
  Append(utf16be, Utf16(u"\u00C9t\u00E9", true, false));
  utf16be.insert(utf16be.end(), {0, 0});
  V2Frame tdrc = TextFrame("TDRC", "2001-05-03T10:00", 3);
  TagRead r = Read(Id3v2(4, {TextFrame("TIT2", longTitle, 3), TextFrame("TPE1", "Caf\xC3\xA9", 3),
                             V2Frame{"TALB", utf16be}, tdrc, TextFrame("TRCK", "4")},
                         32));
  EXPECT_EQ(r.rc, ID3_OK);
  EXPECT_EQ(Slot(r, "TIT2"), longTitle);
  EXPECT_EQ(Slot(r, "TPE1"), "Caf\xC3\xA9");
  EXPECT_EQ(Slot(r, "TALB"), "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(Slot(r, "TYER"), "2001");
  EXPECT_EQ(Slot(r, "TRCK"), "4");
  // Encodings 2 and 3 belong to ID3v2.4 only.
  std::string slot;
  EXPECT_EQ(DecodeId3TextFrame(reinterpret_cast<const uint8_t*>("\x03x"), 2, false, slot, 3), ID3_BAD_ENCODING);

  // Per-frame flags: unsynchronisation (0x02), a data length indicator
  // (0x01) and a group byte (0x40), and compression (0x08) with its length.
  V2Frame unsync{"TIT2", {0, 'a', 0xFF, 0x00, 0xE9, 'b'}, 0, 0x02};
  Bytes text = {0};
  Append(text, std::string("Deflated album"));
  Bytes zipped = Compress(text, 0);
  zipped.erase(zipped.begin(), zipped.begin() + 4);
  V2Frame talb{"TALB", {0x80}, 0, 0x40 | 0x08 | 0x01};
  PutSynchsafe(talb.data, static_cast<uint32_t>(text.size()));
  Append(talb.data, zipped);
  TagRead f = Read(Id3v2(4, {unsync, talb, TextFrame("TPE1", "After")}));
  EXPECT_EQ(Slot(f, "TIT2"), "a\xC3\xBF\xC3\xA9" "b");
  EXPECT_EQ(Slot(f, "TALB"), "Deflated album");
  EXPECT_EQ(Slot(f, "TPE1"), "After");

  // An extended header is skipped; a footer moves the audio 10 bytes on.
  Bytes ext = Id3v2(4, {TextFrame("TIT2", "After extended header")});
  ext[5] = 0x40 | 0x10;
  const Bytes extHeader = {0, 0, 0, 6, 1, 0};
  ext.insert(ext.begin() + 10, extHeader.begin(), extHeader.end());
  ext[9] = static_cast<uint8_t>(ext[9] + extHeader.size());
  TagRead e = Read(ext);
  EXPECT_EQ(Slot(e, "TIT2"), "After extended header");
  EXPECT_EQ(e.audioStart, static_cast<int64_t>(ext.size()) + 10);
}
