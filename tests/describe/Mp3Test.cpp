#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "describe/Mp3.h"
#include "describe/Mp3Bytes.h"
#include "i18n/Translator.h"

using namespace mp3test;

namespace {

MpegAudioInfo Parse(const Bytes& frame, int64_t fileSize = 0) {
  MpegAudioInfo info;
  info.fileSize = fileSize;
  ParseMpegHeader(frame.data(), frame.size(), info);
  return info;
}

struct Scan {
  int status;
  MpegAudioInfo info;
};

Scan ScanBytes(const Bytes& bytes, int64_t start = 0) {
  MemoryByteReader src(bytes.data(), bytes.size());
  Scan s{};
  s.status = ScanMpegFrames(src, start, s.info);
  return s;
}

Bytes Repeat(const Bytes& frame, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) Append(out, frame);
  return out;
}

std::string Describe(const Bytes& bytes) {
  MemoryByteReader src(bytes.data(), bytes.size());
  return FormatMp3Description(ReadMp3Info(src));
}

class Mp3Description : public ::testing::Test {
 protected:
  void SetUp() override { InitTranslator("", LANG_ENGLISH); }
};

}  // namespace

TEST(Mp3Format, DurationAndKilo) {
  EXPECT_EQ(FormatDuration(0), "00:00");
  EXPECT_EQ(FormatDuration(59), "00:59");
  EXPECT_EQ(FormatDuration(205), "03:25");
  EXPECT_EQ(FormatDuration(3599), "59:59");
  EXPECT_EQ(FormatDuration(3725), "1:02:05");
  EXPECT_EQ(FormatDuration(3 * 86400 + 1), "72:00:01");
  EXPECT_EQ(FormatKilo(128000), "128k");
  EXPECT_EQ(FormatKilo(44100), "44k1");
  EXPECT_EQ(FormatKilo(22050), "22k05");
  EXPECT_EQ(FormatKilo(11025), "11k025");
  EXPECT_EQ(FormatKilo(0), "0k");
  EXPECT_EQ(FormatKilo(8000), "8k");
  EXPECT_EQ(FormatKilo(100), "0k1");
}

TEST(MpegHeader, Mpeg1Tables) {
  MpegAudioInfo l3 = Parse(Frame({3, 1, 9, 0, 1}));
  EXPECT_EQ(l3.version, 1);
  EXPECT_EQ(l3.layer, 3);
  EXPECT_EQ(l3.bitRate, 128000);
  EXPECT_EQ(l3.samplingRate, 44100);
  EXPECT_EQ(l3.channelMode, 1);
  EXPECT_EQ(l3.vbr, 0);
  EXPECT_EQ(l3.vbrScale, -1);
  EXPECT_EQ(Parse(Frame({3, 1, 14, 1, 0})).bitRate, 320000);
  EXPECT_EQ(Parse(Frame({3, 1, 14, 1, 0})).samplingRate, 48000);
  EXPECT_EQ(Parse(Frame({3, 1, 1, 2, 0})).samplingRate, 32000);
  EXPECT_EQ(Parse(Frame({3, 1, 1, 3, 0})).samplingRate, 0);
  EXPECT_EQ(Parse(Frame({3, 2, 14, 0, 0})).bitRate, 384000);   // Layer II
  EXPECT_EQ(Parse(Frame({3, 3, 14, 0, 0})).bitRate, 448000);   // Layer I
  EXPECT_EQ(Parse(Frame({3, 3, 14, 0, 0})).layer, 1);
  EXPECT_EQ(Parse(Frame({3, 1, 0, 0, 0})).bitRate, 0);         // free format
  EXPECT_EQ(Parse(Frame({3, 1, 15, 0, 0})).bitRate, 0);        // bad index
  EXPECT_EQ(Parse(Frame({3, 0, 9, 0, 0})).layer, 4);           // reserved layer
  EXPECT_EQ(Parse(Frame({3, 0, 9, 0, 0})).bitRate, 0);
}

TEST(MpegHeader, LowSamplingFrequencyTables) {
  // MPEG-2 and MPEG-2.5 Layer III: the lower-rate table, rates halved or quartered.
  MpegAudioInfo m2 = Parse(Frame({2, 1, 8, 0, 0}));
  EXPECT_EQ(m2.version, 2);
  EXPECT_EQ(m2.bitRate, 64000);
  EXPECT_EQ(m2.samplingRate, 22050);
  EXPECT_EQ(Parse(Frame({2, 1, 14, 1, 0})).bitRate, 160000);
  EXPECT_EQ(Parse(Frame({2, 1, 14, 1, 0})).samplingRate, 24000);
  MpegAudioInfo m25 = Parse(Frame({0, 1, 1, 2, 0}));
  EXPECT_EQ(m25.version, 4);
  EXPECT_EQ(m25.bitRate, 8000);
  EXPECT_EQ(m25.samplingRate, 8000);
  EXPECT_EQ(Parse(Frame({0, 1, 1, 0, 0})).samplingRate, 11025);
  // Layers I and II have their own lower-frequency tables.
  MpegAudioInfo m2l2 = Parse(Frame({2, 2, 8, 0, 0}));
  EXPECT_EQ(m2l2.bitRate, 64000);
  EXPECT_EQ(m2l2.samplingRate, 22050);
  EXPECT_EQ(Parse(Frame({2, 3, 14, 1, 0})).bitRate, 256000);
  EXPECT_EQ(Parse(Frame({0, 2, 14, 2, 0})).samplingRate, 8000);
  // The reserved version code keeps the MPEG-1 tables.
  MpegAudioInfo reserved = Parse(Frame({1, 1, 9, 0, 0}));
  EXPECT_EQ(reserved.version, 3);
  EXPECT_EQ(reserved.bitRate, 128000);
  EXPECT_EQ(reserved.samplingRate, 44100);
}

TEST(MpegHeader, XingGivesAVariableRateRoundedToThousands) {
  // 592 bytes a frame at 44.1 kHz: 181300 bit/s, shown as 181kv.
  Xing x;
  x.frames = 1000;
  x.bytes = 592000;
  x.hasToc = true;
  x.hasScale = true;
  x.scale = 57;
  MpegAudioInfo info = Parse(XingFrame({3, 1, 9, 0, 0}, x));
  EXPECT_EQ(info.vbr, 1);
  EXPECT_EQ(info.bitRate, 181000);
  EXPECT_EQ(info.frameCount, 1000);
  EXPECT_EQ(info.vbrScale, 57);
  EXPECT_EQ(FormatKilo(info.bitRate) + "v", "181kv");
  // Mono MPEG-1 puts it at byte 21, mono MPEG-2 at 13, stereo MPEG-2 at 21.
  EXPECT_EQ(Parse(XingFrame({3, 1, 9, 0, 3}, x)).vbr, 1);
  MpegAudioInfo m2 = Parse(XingFrame({2, 1, 9, 0, 3}, x));
  EXPECT_EQ(m2.vbr, 1);
  EXPECT_EQ(m2.samplingRate, 22050);
  EXPECT_EQ(m2.bitRate, 181000);  // 576 samples a frame: 592 * 22050 / 72 = 181300
  EXPECT_EQ(Parse(XingFrame({2, 1, 9, 0, 0}, x)).vbr, 1);
  EXPECT_EQ(Parse(XingFrame({0, 1, 9, 0, 0}, x)).samplingRate, 11025);
  // At the mono offset of a stereo frame it is not seen.
  Bytes misplaced = XingFrame({3, 1, 9, 0, 3}, x);
  misplaced[3] = 0;
  EXPECT_EQ(Parse(misplaced).vbr, 0);
  EXPECT_EQ(Parse(misplaced).bitRate, 128000);
}

TEST(MpegHeader, XingWithoutCountsOrRoom) {
  Xing noBytes;
  noBytes.frames = 100;
  noBytes.hasBytes = false;
  // The byte count comes from the file size carried in the record.
  EXPECT_EQ(Parse(XingFrame({3, 1, 9, 0, 0}, noBytes), 52000).bitRate, 159000);  // 520 * 44100 / 144
  EXPECT_EQ(Parse(XingFrame({3, 1, 9, 0, 0}, noBytes), 0).bitRate, 0);
  Xing noFrames;
  noFrames.hasFrames = false;
  noFrames.bytes = 100000;
  MpegAudioInfo nf = Parse(XingFrame({3, 1, 9, 0, 0}, noFrames));
  EXPECT_EQ(nf.bitRate, 0);  // nothing to divide by: refused
  Xing zeroFrames;
  zeroFrames.frames = 0;
  zeroFrames.bytes = 100000;
  EXPECT_EQ(Parse(XingFrame({3, 1, 9, 0, 0}, zeroFrames)).bitRate, 0);
  // A Xing header cut off by the end of the bytes read is taken as absent.
  Xing full;
  full.frames = 10;
  full.bytes = 5000;
  full.hasToc = true;
  Bytes cut = XingFrame({3, 1, 9, 0, 0}, full, 0);
  cut.resize(cut.size() - 1);
  MpegAudioInfo c = Parse(cut);
  EXPECT_EQ(c.vbr, 0);
  EXPECT_EQ(c.bitRate, 128000);
}

TEST(MpegScan, AudioStartsAtTheFirstAcceptedHeader) {
  Bytes data = B("junk");
  Append(data, Bytes{0xFF, 0xFF, 0x90, 0x00});  // Layer I: refused
  Append(data, Bytes{0xFF, 0xFB, 0x00, 0x00});  // free format: refused
  Append(data, Bytes{0xFF, 0xFB, 0xF0, 0x00});  // bit rate index 15: refused
  Append(data, Bytes{0xFF, 0xF9, 0x90, 0x00});  // reserved layer: refused
  const size_t audioStart = data.size();
  Append(data, Repeat(Frame({3, 1, 9, 0, 0}), 20));
  Scan s = ScanBytes(data);
  ASSERT_EQ(s.status, 0);
  EXPECT_EQ(s.info.bitRate, 128000);
  EXPECT_EQ(s.info.fileSize, static_cast<int64_t>(data.size()));
  EXPECT_EQ(s.info.duration, static_cast<int64_t>((data.size() - audioStart) * 8 / 128000));
  // From a start offset the same rule holds.
  Bytes tagged(300, 0);
  Append(tagged, Repeat(Frame({3, 1, 9, 0, 0}), 400));  // 166800 bytes after the tag
  EXPECT_EQ(ScanBytes(tagged, 300).info.duration, 10);
  EXPECT_EQ(ScanBytes(tagged, 0).info.duration, 10);  // the zeros before the audio are not counted
}

TEST(MpegScan, NothingAcceptable) {
  Scan none = ScanBytes(B("plain text, no audio at all"));
  EXPECT_NE(none.status, 0);
  EXPECT_EQ(none.info.bitRate, 0);
  EXPECT_EQ(none.info.duration, 0);
  EXPECT_NE(ScanBytes(Bytes()).status, 0);
  EXPECT_NE(ScanBytes(Repeat(Frame({3, 1, 9, 0, 0}), 3), 1 << 20).status, 0);  // start past the end
  // Only Layer I frames.
  EXPECT_NE(ScanBytes(Repeat(Frame({3, 3, 9, 0, 0}), 10)).status, 0);
  // A header beyond the bytes searched after the start is not seen.
  Bytes late(kMpegSearchBytes, 0);
  Append(late, Frame({3, 1, 9, 0, 0}));
  EXPECT_NE(ScanBytes(late).status, 0);
  Bytes justIn(kMpegSearchBytes - 4, 0);
  Append(justIn, Frame({3, 1, 9, 0, 0}));
  EXPECT_EQ(ScanBytes(justIn).status, 0);
  EXPECT_NE(ScanMpegFrames("/nonexistent/file.mp3", 0, none.info), 0);
}

TEST(MpegScan, SyncBytesInsideFramesAreNotCounted) {
  // MPEG-2.5 8 kbit/s mono frames whose data holds header-like bytes of
  // other rates, after a header that nothing follows where its length says.
  Bytes data = Frame({3, 1, 9, 0, 0}, 40);
  const size_t audioStart = data.size();
  Bytes frame = Frame({0, 1, 1, 2, 3});
  ASSERT_EQ(frame.size(), 72u);
  const Bytes fake = HeaderBytes({0, 1, 9, 2, 3});
  std::copy(fake.begin(), fake.end(), frame.begin() + 20);
  Append(data, Repeat(frame, 1000));
  Scan s = ScanBytes(data);
  ASSERT_EQ(s.status, 0);
  EXPECT_EQ(s.info.version, 4);
  EXPECT_EQ(s.info.samplingRate, 8000);
  EXPECT_EQ(s.info.bitRate, 8000);
  EXPECT_EQ(s.info.vbr, 0);
  EXPECT_EQ(s.info.duration, static_cast<int64_t>(data.size() - audioStart) * 8 / 8000);
  // A frame of another sampling rate does not continue the stream: the
  // stream starts at the frame the end of the data follows.
  Bytes mixed = Frame({0, 1, 1, 2, 3});
  Append(mixed, Frame({0, 1, 1, 0, 3}));
  EXPECT_EQ(ScanBytes(mixed).info.samplingRate, 11025);
}

TEST(MpegScan, HeaderlessVariableRateIsWalked) {
  // 700 frames of silence at one rate, then frames that vary: counted, so
  // the time is exact and the rate marked variable.
  Bytes data = Repeat(Frame({3, 1, 1, 0, 0}), 700);  // 32k
  for (int i = 0; i < 600; ++i) Append(data, Frame({3, 1, i % 2 ? 9 : 11, 0, 0}));
  Scan s = ScanBytes(data);
  ASSERT_EQ(s.status, 0);
  EXPECT_EQ(s.info.vbr, 1);
  EXPECT_EQ(s.info.frameCount, 1300);
  EXPECT_EQ(s.info.duration, 1300 * 1152 / 44100);
  EXPECT_EQ(s.info.bitRate, static_cast<int64_t>(data.size() * 8 * 44100 / (1300 * 1152)) / 1000 * 1000);
  // Beyond the bytes walked, the rest is taken at the average seen.
  Bytes longer;
  for (int i = 0; i < 16000; ++i) Append(longer, Frame({3, 1, i % 3 ? 9 : 11, 0, 0}));
  Scan l = ScanBytes(longer);
  EXPECT_EQ(l.info.vbr, 1);
  EXPECT_NEAR(static_cast<double>(l.info.duration), 16000 * 1152 / 44100.0, 1.0);
}

TEST(MpegScan, InfoAndVbriHeadersGiveTheFrameCount) {
  // lame's Info frame of a CBR stream: its own frame is larger than the
  // stream's, whose rate is shown.
  Xing info;
  info.frames = 2000;
  Bytes cbr = XingFrame({3, 1, 9, 0, 0}, info, 417, "Info");
  Append(cbr, Repeat(Frame({3, 1, 5, 0, 0}), 2000));  // 64k
  Scan c = ScanBytes(cbr);
  EXPECT_EQ(c.info.vbr, 0);
  EXPECT_EQ(c.info.bitRate, 64000);
  EXPECT_EQ(c.info.duration, 2000 * 1152 / 44100);
  // A VBRI header, 32 bytes after the frame header.
  Bytes vbri = Frame({3, 1, 9, 0, 0});
  Bytes fields = B("VBRI");
  Append(fields, Bytes{0, 1, 0, 0, 0, 75});
  Put32(fields, 3000 * 417);
  Put32(fields, 3000);
  std::copy(fields.begin(), fields.end(), vbri.begin() + 36);
  Append(vbri, Repeat(Frame({3, 1, 9, 0, 0}), 3000));
  Scan v = ScanBytes(vbri);
  EXPECT_EQ(v.info.vbr, 1);
  EXPECT_EQ(v.info.frameCount, 3000);
  EXPECT_EQ(v.info.duration, 3000 * 1152 / 44100);
  EXPECT_EQ(v.info.bitRate, 127000);  // 417 bytes a frame is 127.7 kbit/s
}

TEST(MpegScan, RefusedXingHeaderFallsToTheNextFrame) {
  Xing noFrames;
  noFrames.hasFrames = false;
  noFrames.bytes = 100000;
  Bytes data = XingFrame({3, 1, 9, 0, 0}, noFrames, 417);
  Append(data, Repeat(Frame({3, 1, 11, 0, 0}), 10));  // 192 kbit/s
  Scan s = ScanBytes(data);
  ASSERT_EQ(s.status, 0);
  EXPECT_EQ(s.info.vbr, 0);
  EXPECT_EQ(s.info.bitRate, 192000);
  EXPECT_EQ(s.info.duration, static_cast<int64_t>(data.size() - 417) * 8 / 192000);
}

namespace {

// An APE tag of one item of valueBytes: items, footer, and the header before
// them when asked (APEv2); the footer's size counts the items and itself.
Bytes ApeTag(size_t valueBytes, bool withHeader) {
  auto le32 = [](Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  Bytes items;
  le32(items, static_cast<uint32_t>(valueBytes));
  le32(items, 0);
  Append(items, std::string("Cover Art (Front)", 18));
  items.resize(items.size() + valueBytes, 'x');
  auto frame = [&](uint32_t flags) {
    Bytes f = B("APETAGEX");
    le32(f, withHeader ? 2000 : 1000);
    le32(f, static_cast<uint32_t>(items.size() + 32));
    le32(f, 1);
    le32(f, flags);
    f.resize(32, 0);
    return f;
  };
  Bytes tag = withHeader ? frame(0xA0000000u) : Bytes{};
  Append(tag, items);
  Append(tag, frame(withHeader ? 0x80000000u : 0));
  return tag;
}

Bytes Lyrics3v2(size_t textBytes) {
  Bytes body = B("LYRICSBEGININD0000210LYR");
  char size[8];
  std::snprintf(size, sizeof size, "%05zu", textBytes);
  Append(body, std::string(size));
  body.resize(body.size() + textBytes, 'l');
  char total[8];
  std::snprintf(total, sizeof total, "%06zu", body.size());
  Append(body, std::string(total) + "LYRICS200");
  return body;
}

}  // namespace

TEST(MpegScan, TrailingTagsAreNotAudio) {
  // 997 frames of 417 bytes at 128 kbit/s: 25.98 s; whatever a tag added
  // would show as 26 s or more.
  const Bytes audio = Repeat(Frame({3, 1, 9, 0, 0}), 997);
  const Bytes v1 = Id3v1(V1{"t", "a", "b", "2001", "c", 1, 17});
  Bytes lyrics1 = B("LYRICSBEGIN[00:01]");
  lyrics1.resize(4000, 'l');
  Append(lyrics1, std::string("LYRICSEND"));
  struct Case {
    const char* what;
    std::vector<Bytes> tail;
  };
  const Case cases[] = {
      {"APEv2 with header, 548 KB", {ApeTag(548 * 1024, true)}},
      {"APE without header", {ApeTag(100000, false)}},
      {"APE then ID3v1", {ApeTag(100000, true), v1}},
      {"Lyrics3 v2 then ID3v1", {Lyrics3v2(60000), v1}},
      {"Lyrics3 v2 alone", {Lyrics3v2(60000)}},
      {"Lyrics3 v1 then ID3v1", {lyrics1, v1}},
      {"APE, Lyrics3 v2, ID3v1", {ApeTag(50000, true), Lyrics3v2(50000), v1}},
      {"Lyrics3 v2, APE, ID3v1", {Lyrics3v2(50000), ApeTag(50000, false), v1}},
  };
  for (const Case& c : cases) {
    Bytes data = audio;
    for (const Bytes& t : c.tail) Append(data, t);
    Scan s = ScanBytes(data);
    ASSERT_EQ(s.status, 0) << c.what;
    EXPECT_EQ(s.info.duration, 25) << c.what;
    EXPECT_EQ(s.info.bitRate, 128000) << c.what;
  }
  // A footer whose size reaches past the audio's start is no tag.
  Bytes bogus = audio;
  Bytes footer = ApeTag(10, false);
  footer[12] = 0xFF, footer[13] = 0xFF, footer[14] = 0xFF, footer[15] = 0x7F;
  Append(bogus, footer);
  EXPECT_EQ(ScanBytes(bogus).info.duration, 25);
}

TEST(MpegScan, HeaderPromisingMoreThanTheFileHoldsGivesTheTimeOfItsFrames) {
  // 1000 frames announced, 50 frames of 128 kbit/s at 44.1 kHz there: 1.3 s.
  Xing framesOnly;
  framesOnly.frames = 1000;
  framesOnly.hasBytes = false;
  Xing both = framesOnly;
  both.hasBytes = true;
  both.bytes = 1000 * 417;
  for (const Xing& x : {framesOnly, both}) {
    Bytes data = XingFrame({3, 1, 9, 0, 0}, x);
    Append(data, Repeat(Frame({3, 1, 9, 0, 0}), 50));
    Scan s = ScanBytes(data);
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.info.duration, 1) << x.hasBytes;
    EXPECT_EQ(s.info.bitRate, 128000) << x.hasBytes;
    EXPECT_EQ(s.info.vbr, 1);
  }
  // The same from a VBRI header, and from a CBR Info header.
  Bytes vbri = Frame({3, 1, 9, 0, 0});
  Bytes fields = B("VBRI");
  Append(fields, Bytes{0, 1, 0, 0, 0, 75});
  Put32(fields, 1000 * 417);
  Put32(fields, 1000);
  std::copy(fields.begin(), fields.end(), vbri.begin() + 36);
  Append(vbri, Repeat(Frame({3, 1, 9, 0, 0}), 50));
  EXPECT_EQ(ScanBytes(vbri).info.duration, 1);
  Bytes info = XingFrame({3, 1, 9, 0, 0}, both, 417, "Info");
  Append(info, Repeat(Frame({3, 1, 9, 0, 0}), 50));
  EXPECT_EQ(ScanBytes(info).info.duration, 1);
  EXPECT_EQ(ScanBytes(info).info.vbr, 0);
}

TEST(MpegScan, MultiGigabyteDurationsDoNotOverflow) {
  // A 6 GB file: its first bytes are frames, the rest is never read.
  class Huge : public IByteReader {
   public:
    Bytes head = Repeat(Frame({3, 1, 9, 0, 0}), 8);
    int64_t Size() override { return 6'000'000'000LL; }
    size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
      if (offset >= head.size()) return 0;
      size_t count = std::min<uint64_t>(n, head.size() - offset);
      std::memcpy(buf, head.data() + offset, count);
      return count;
    }
  } huge;
  MpegAudioInfo info;
  ASSERT_EQ(ScanMpegFrames(huge, 0, info), 0);
  EXPECT_EQ(info.fileSize, 6'000'000'000LL);
  EXPECT_EQ(info.duration, 375000);
  EXPECT_EQ(FormatDuration(info.duration), "104:10:00");
}

TEST(Id3v1, FieldsTrackAndGenre) {
  V1 v{"Exactly thirty characters long", "  Artist\t", "Album", "1987", "Comment", 5, 17};
  ASSERT_EQ(v.title.size(), 30u);
  Bytes data = Repeat(Frame({3, 1, 9, 0, 0}), 3);
  Append(data, Id3v1(v));
  MemoryByteReader src(data.data(), data.size());
  Id3v1Tag tag;
  ASSERT_EQ(ReadId3v1Tag(src, tag), 0);
  EXPECT_EQ(tag.title, "Exactly thirty characters long");
  EXPECT_EQ(tag.artist, "Artist");
  EXPECT_EQ(tag.album, "Album");
  EXPECT_EQ(tag.year, "1987");
  EXPECT_EQ(tag.comment, "Comment");
  EXPECT_EQ(tag.track, 5);
  EXPECT_EQ(tag.genre, 17);

  // ID3v1.0: a 30-byte comment and no track.
  V1 v10{"T", "A", "B", "2000", "A comment of thirty characters", -1, 0};
  Bytes d10 = Id3v1(v10);
  MemoryByteReader s10(d10.data(), d10.size());
  ASSERT_EQ(ReadId3v1Tag(s10, tag), 0);
  EXPECT_EQ(tag.comment, "A comment of thirty characters");
  EXPECT_EQ(tag.track, 0);

  // Windows-1252 text comes out as UTF-8.
  V1 accents{"Gar\xE7on \x80", "", "", "", ""};
  Bytes da = Id3v1(accents);
  MemoryByteReader sa(da.data(), da.size());
  ASSERT_EQ(ReadId3v1Tag(sa, tag), 0);
  EXPECT_EQ(tag.title, "Gar\xC3\xA7on \xE2\x82\xAC");
}

TEST(Id3v1, MissingOrShortRecords) {
  Id3v1Tag tag;
  tag.title = "stale";
  Bytes noTag(200, 'x');
  MemoryByteReader s1(noTag.data(), noTag.size());
  EXPECT_EQ(ReadId3v1Tag(s1, tag), 1);
  EXPECT_EQ(tag.title, "");
  Bytes shortFile = B("TAG short");
  MemoryByteReader s2(shortFile.data(), shortFile.size());
  EXPECT_EQ(ReadId3v1Tag(s2, tag), 1);
  EXPECT_EQ(ReadId3v1Tag("/nonexistent/x.mp3", tag), 1);
}

TEST(Id3v1, GenreListEnds) {
  EXPECT_STREQ(Id3v1GenreName(0), "Blues");
  EXPECT_STREQ(Id3v1GenreName(17), "Rock");
  EXPECT_STREQ(Id3v1GenreName(67), "Psychadelic");
  EXPECT_STREQ(Id3v1GenreName(143), "Salsa");
  EXPECT_STREQ(Id3v1GenreName(144), "Trash Metal");
  EXPECT_STREQ(Id3v1GenreName(145), "unknown");
  EXPECT_STREQ(Id3v1GenreName(255), "unknown");
  // ID3v2 genre values.
  EXPECT_EQ(GenreText("(17)"), "Rock");
  EXPECT_EQ(GenreText("17"), "Rock");
  EXPECT_EQ(GenreText("(0)"), "Blues");
  EXPECT_EQ(GenreText("(17)(RX)"), "Rock");
  EXPECT_EQ(GenreText("(4)Eurodisco"), "Eurodisco");
  EXPECT_EQ(GenreText("(RX)"), "Remix");
  EXPECT_EQ(GenreText("(200)"), "(200)");
  EXPECT_EQ(GenreText("1984 Synth"), "1984 Synth");
  EXPECT_EQ(GenreText("(17"), "(17");
  EXPECT_EQ(GenreText("()"), "()");
}

TEST_F(Mp3Description, LinesAndLabels) {
  Xing x;
  x.frames = 1000;
  x.bytes = 592000;
  Bytes data = Id3v2(3, {TextFrame("TIT2", "Title"), TextFrame("TALB", "Album"), TextFrame("TPE1", "Artist"),
                         TextFrame("TRCK", "3"), TextFrame("TCON", "(17)"), TextFrame("TENC", "not shown")},
                     100);
  Append(data, XingFrame({3, 1, 9, 0, 0}, x));
  Append(data, Repeat(Frame({3, 1, 9, 0, 0}), 1420));  // the 592000 bytes the header counts
  EXPECT_EQ(Describe(data),
            "Time\t00:26\r\n"
            "Bit rate\t181kv\r\n"
            "Frequency\t44k1\r\n"
            "Title\tTitle\r\n"
            "Artist\tArtist\r\n"
            "Genre\tRock\r\n"
            "Album\tAlbum\r\n"
            "Track\t3\r\n");
}

TEST_F(Mp3Description, Id3v1IsUsedOnlyWithoutAnOpenedId3v2Tag) {
  V1 v1{"V1 title", "V1 artist", "V1 album", "1999", "V1 comment", 4, 255};
  Bytes audio = Repeat(Frame({3, 1, 9, 0, 0}), 20);
  Bytes v1Only = audio;
  Append(v1Only, Id3v1(v1));
  EXPECT_EQ(Describe(v1Only),
            "Time\t00:00\r\n"
            "Bit rate\t128k\r\n"
            "Frequency\t44k1\r\n"
            "Title\tV1 title\r\n"
            "Artist\tV1 artist\r\n"
            "Genre\tunknown\r\n"
            "Album\tV1 album\r\n"
            "Track\t4\r\n"
            "Year\t1999\r\n"
            "Comment\tV1 comment\r\n");

  // An ID3v2.3 tag wins even when none of its frames is shown.
  Bytes both = Id3v2(3, {TextFrame("TENC", "encoder")});
  Append(both, v1Only);
  EXPECT_EQ(Describe(both), "Time\t00:00\r\nBit rate\t128k\r\nFrequency\t44k1\r\n");

  // An ID3v2.4 tag is read like the others, and its numbered genre named.
  Bytes v24 = Id3v2(4, {TextFrame("TIT2", "v2.4 title"), TextFrame("TCON", "17", 3)});
  Append(v24, v1Only);
  std::string d = Describe(v24);
  EXPECT_NE(d.find("Title\tv2.4 title\r\nGenre\tRock\r\n"), std::string::npos) << d;
  EXPECT_EQ(d.find("V1"), std::string::npos);

  // Without any audio the ID3v1 tag is not read.
  Bytes noAudio(500, 0);
  Append(noAudio, Id3v1(v1));
  EXPECT_EQ(Describe(noAudio), "Time\t00:00\r\nBit rate\t0k\r\nFrequency\t0k\r\n");
}

TEST_F(Mp3Description, FilesOnDisk) {
  TempDir dir;
  Bytes data = Id3v2(3, {TextFrame("TIT2", "On disk")}, 20);
  for (int i = 0; i < 4000; ++i) Append(data, Frame({3, 1, 9, 0, 0}));  // 1668000 bytes: 104 s
  V1 ignored;
  ignored.title = "ignored";
  Append(data, Id3v1(ignored));
  WriteFile(dir / "a.mp3", data);
  EXPECT_EQ(DescribeMp3File((dir / "a.mp3").string()),
            "Time\t01:44\r\nBit rate\t128k\r\nFrequency\t44k1\r\nTitle\tOn disk\r\n");
  EXPECT_EQ(DescribeMp3File((dir / "missing.mp3").string()), "");
  WriteFile(dir / "empty.mp3", {});
  const std::string zeros = "Time\t00:00\r\nBit rate\t0k\r\nFrequency\t0k\r\n";
  EXPECT_EQ(DescribeMp3File((dir / "empty.mp3").string()), zeros);
  // Neither a directory nor a FIFO (which would block a reader) is read,
  // and neither gets zeros for a description.
  std::filesystem::create_directory(dir / "folder.mp3");
  EXPECT_THROW(DescribeMp3File((dir / "folder.mp3").string()), std::system_error);
  ASSERT_EQ(mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
  EXPECT_THROW(DescribeMp3File((dir / "pipe.mp3").string()), std::system_error);
}

TEST_F(Mp3Description, LabelsFollowTheLanguage) {
  InitTranslator("", LANG_FRENCH);
  const std::string label = Translate("IDS_MP3_TIME");
  std::string d = Describe(Id3v2(3, {TextFrame("TIT2", "x")}));
  InitTranslator("", LANG_ENGLISH);
  EXPECT_NE(label, "Time");
  EXPECT_EQ(d.substr(0, d.find('\t')), label);
}
