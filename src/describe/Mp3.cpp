#include "describe/Mp3.h"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

// kbit/s by layer (I, II, III) and bit rate index, ISO/IEC 11172-3.
constexpr int kMpeg1Rates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
};
// The lower sampling frequencies of MPEG-2 and MPEG-2.5, ISO/IEC 13818-3:
// Layer I, and Layers II and III.
constexpr int kLsfLayer1Rates[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0};
constexpr int kLsfLayer23Rates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kSamplingRates[4] = {44100, 48000, 32000, 0};

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool IsLowSampling(const MpegAudioInfo& info) { return info.version == 2 || info.version == 4; }

// Samples a frame carries: 384 for Layer I, 576 for Layer III at the lower
// sampling frequencies, 1152 otherwise.
uint32_t SamplesPerFrame(const MpegAudioInfo& info) {
  if (info.layer == 1) return 384;
  return info.layer == 3 && IsLowSampling(info) ? 576 : 1152;
}

// Decodes the four header bytes alone; bitRate is the header's own rate.
void DecodeHeader(const uint8_t* p, MpegAudioInfo& info) {
  const uint8_t b1 = p[1], b2 = p[2], b3 = p[3];
  info.version = static_cast<int16_t>(4 - ((b1 >> 3) & 3));
  info.layer = static_cast<int16_t>(4 - ((b1 >> 1) & 3));
  info.channelMode = b3 >> 6;
  info.samplingRate = kSamplingRates[(b2 >> 2) & 3];
  if (info.layer > 3) {
    info.bitRate = 0;  // no table for the reserved layer: refused
  } else if (IsLowSampling(info)) {
    // Every layer of MPEG-2 and MPEG-2.5 has its own tables and half or a
    // quarter of the MPEG-1 sampling rates.
    info.bitRate = (info.layer == 1 ? kLsfLayer1Rates : kLsfLayer23Rates)[b2 >> 4] * 1000;
    info.samplingRate /= info.version == 2 ? 2 : 4;
  } else {
    info.bitRate = kMpeg1Rates[info.layer - 1][b2 >> 4] * 1000;
  }
}

// A frame header the scan can walk from: sync, a defined version, Layer II
// or III, a bit rate from the table and a sampling rate.
struct Frame {
  MpegAudioInfo info;
  uint32_t length = 0;  // bytes of the whole frame, header included
};

bool DecodeFrame(const uint8_t* p, Frame& f) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  f.info = MpegAudioInfo{};
  DecodeHeader(p, f.info);
  const MpegAudioInfo& i = f.info;
  if (i.version == 3 || (i.layer != 2 && i.layer != 3) || i.bitRate <= 0 || i.samplingRate <= 0) return false;
  const uint32_t padding = (p[2] >> 1) & 1;
  f.length = static_cast<uint32_t>(SamplesPerFrame(i) / 8 * i.bitRate / i.samplingRate) + padding;
  return true;
}

bool SameStream(const MpegAudioInfo& a, const MpegAudioInfo& b) {
  return a.version == b.version && a.layer == b.layer && a.samplingRate == b.samplingRate;
}

// Reads a file in large blocks, so that walking thousands of frame headers
// costs a few reads rather than one each.
class BlockReader {
 public:
  explicit BlockReader(IByteReader& src) : src_(src) {}
  // Up to n bytes at pos (n <= kBlock); fewer at the end of the data.
  const uint8_t* At(int64_t pos, size_t n, size_t& got) {
    if (pos < 0) {
      got = 0;
      return nullptr;
    }
    if (pos < start_ || pos + static_cast<int64_t>(n) > start_ + static_cast<int64_t>(buf_.size())) {
      // Aligned blocks, unless the bytes asked for would straddle two.
      const int64_t block = static_cast<int64_t>(kBlock);
      start_ = pos % block + static_cast<int64_t>(n) <= block ? pos - pos % block : pos;
      buf_.resize(kBlock);
      buf_.resize(src_.ReadAt(static_cast<uint64_t>(start_), buf_.data(), kBlock));
    }
    const size_t offset = static_cast<size_t>(pos - start_);
    got = offset < buf_.size() ? std::min(n, buf_.size() - offset) : 0;
    return buf_.data() + offset;
  }
  bool FrameAt(int64_t pos, Frame& f) {
    size_t got;
    const uint8_t* p = At(pos, 4, got);
    return got == 4 && DecodeFrame(p, f);
  }
  // The size FileByteReader keeps of a file's head, so that a stream found
  // there costs no read of its own.
  static constexpr size_t kBlock = FileByteReader::kHeadBytes;

 private:
  IByteReader& src_;
  std::vector<uint8_t> buf_;
  int64_t start_ = 0;
};

// A frame counts only when the next frame of the same stream follows where
// its length says, or the audio ends there: sync-like bytes inside audio
// data rarely pass both tests.
bool IsChained(BlockReader& in, int64_t pos, const Frame& f, int64_t audioEnd) {
  const int64_t next = pos + f.length;
  if (next == audioEnd) return true;
  Frame n;
  return in.FrameAt(next, n) && SameStream(n.info, f.info);
}

// The first chained frame in [from, from + span) (of the same stream as
// *like when given); its offset, or -1.
int64_t FindFrame(BlockReader& in, int64_t from, int64_t span, int64_t audioEnd, const MpegAudioInfo* like,
                  Frame& f) {
  const int64_t end = std::min(from + span, audioEnd);
  for (int64_t pos = from; pos + 4 <= end; ++pos) {
    size_t got;
    const uint8_t* p = in.At(pos, 4, got);
    if (got < 4) break;
    if (p[0] != 0xFF) continue;
    if (DecodeFrame(p, f) && (!like || SameStream(f.info, *like)) && IsChained(in, pos, f, audioEnd)) return pos;
  }
  return -1;
}

// Header tags that an encoder puts in the first frame, which then holds no
// audio: "Xing" (VBR) and "Info" (CBR) after the side information, "VBRI"
// 32 bytes after the header.
struct StreamTag {
  enum Kind { None, Xing, Info, Vbri } kind = None;
  uint32_t frames = 0;  // 0 when not given
  uint32_t bytes = 0;   // 0 when not given
  int32_t vbrScale = -1;
};

size_t XingOffset(const MpegAudioInfo& info) {
  const bool odd = (info.version & 1) != 0;
  return odd ? (info.channelMode == 3 ? 21 : 36) : (info.channelMode == 3 ? 13 : 21);
}

// Reads the tag of the frame at p (avail bytes readable). A tag that does
// not fit in avail is taken as absent.
StreamTag ReadStreamTag(const uint8_t* p, size_t avail, const MpegAudioInfo& info) {
  StreamTag tag;
  const size_t at = XingOffset(info);
  if (avail >= at + 8 && (std::memcmp(p + at, "Xing", 4) == 0 || std::memcmp(p + at, "Info", 4) == 0)) {
    const uint8_t* x = p + at;
    const uint32_t flags = BigEndian32(x + 4);
    const size_t need =
        8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    if (avail - at >= need) {
      tag.kind = x[0] == 'X' ? StreamTag::Xing : StreamTag::Info;
      size_t field = 8;
      if (flags & 1) tag.frames = BigEndian32(x + field), field += 4;
      if (flags & 2) tag.bytes = BigEndian32(x + field), field += 4;
      if (flags & 4) field += 100;
      if (flags & 8) tag.vbrScale = static_cast<int32_t>(BigEndian32(x + field));
      return tag;
    }
  }
  // "VBRI", version, delay, quality (16 bits each), bytes, frames (32 bits).
  if (avail >= 36 + 18 && std::memcmp(p + 36, "VBRI", 4) == 0) {
    tag.kind = StreamTag::Vbri;
    tag.bytes = BigEndian32(p + 36 + 10);
    tag.frames = BigEndian32(p + 36 + 14);
  }
  return tag;
}

// Average bit/s of bytes over frames of the stream, in whole thousands as
// the description shows a variable rate.
int64_t AverageRate(uint64_t bytes, uint64_t frames, const MpegAudioInfo& info) {
  if (frames == 0) return 0;
  const uint64_t bits = static_cast<uint64_t>(info.samplingRate) * bytes * 8;
  const int64_t rate = static_cast<int64_t>(bits / (frames * SamplesPerFrame(info)));
  return rate - rate % 1000;
}

// Whether the audio after the tag's frame (bytes long) is too short for what
// the tag announces: fewer bytes than its byte count, or than its frames
// would take at the lowest bit rate of the stream.
bool HoldsLess(const StreamTag& tag, const Frame& first, int64_t bytes) {
  // The tag's byte count may or may not include its own frame.
  if (tag.bytes != 0 && static_cast<int64_t>(tag.bytes) > bytes + static_cast<int64_t>(first.length)) return true;
  const MpegAudioInfo& i = first.info;
  const int64_t lowestRate = (IsLowSampling(i) ? 8 : 32) * 1000;
  const int64_t smallestFrame = static_cast<int64_t>(SamplesPerFrame(i)) / 8 * lowestRate / i.samplingRate;
  return static_cast<int64_t>(tag.frames) * smallestFrame > bytes;
}

int64_t Seconds(uint64_t frames, const MpegAudioInfo& info) {
  return static_cast<int64_t>(frames * SamplesPerFrame(info) / static_cast<uint64_t>(info.samplingRate));
}

// Without a header tag: walks the frames from pos. A stream whose rate
// never changes is constant: its playing time comes from its byte count.
// A variable one is counted frame by frame when it is at most kWalkBudget
// bytes; a longer one in kSegments stretches spread over it, and the whole
// is taken to hold frames of the average size seen.
constexpr int64_t kProbeBytes = 64 * 1024;
constexpr int64_t kWalkBudget = 4 * 1024 * 1024;
constexpr int kSegments = 8;

void WalkFrames(BlockReader& in, int64_t from, int64_t audioEnd, MpegAudioInfo& info) {
  const int64_t firstRate = info.bitRate;
  uint64_t frames = 0, bytes = 0;
  bool varies = false;
  // Walks from pos for about budget bytes; false when the frames stop
  // before the end of the audio (a tag or damage).
  auto walk = [&](int64_t& pos, int64_t budget) {
    const uint64_t startBytes = bytes;
    Frame f;
    while (pos + 4 <= audioEnd && static_cast<int64_t>(bytes - startBytes) < budget) {
      if (!in.FrameAt(pos, f) || !SameStream(f.info, info)) return false;
      if (f.info.bitRate != firstRate) varies = true;
      ++frames;
      bytes += f.length;
      pos += f.length;
    }
    return true;
  };
  int64_t pos = from;
  walk(pos, kProbeBytes);
  // Silence at the start of a VBR stream comes out at one rate: frames from
  // three places further on tell a constant stream from a variable one.
  for (int q = 1; q <= 3 && !varies && pos + 4 <= audioEnd; ++q) {
    Frame f;
    const int64_t at = from + (audioEnd - from) * q / 4;
    if (FindFrame(in, at, 16 * 1024, audioEnd, &info, f) >= 0 && f.info.bitRate != firstRate) varies = true;
  }
  if (!varies) {
    info.duration = (audioEnd - from) * 8 / firstRate;
    return;
  }
  bool counted = false;  // every frame up to the end of the audio
  if (audioEnd - from <= kWalkBudget) {
    counted = walk(pos, kWalkBudget) && pos + 4 > audioEnd;
  } else {
    walk(pos, kWalkBudget / kSegments - (pos - from));
    for (int k = 1; k < kSegments; ++k) {
      Frame f;
      int64_t at = FindFrame(in, from + (audioEnd - from) * k / kSegments, 16 * 1024, audioEnd, &info, f);
      if (at >= 0) walk(at, kWalkBudget / kSegments);
    }
  }
  info.vbr = 1;
  info.bitRate = AverageRate(bytes, frames, info);
  if (!counted)
    frames = static_cast<uint64_t>(static_cast<double>(audioEnd - from) * static_cast<double>(frames) /
                                   static_cast<double>(bytes));
  info.frameCount = static_cast<int32_t>(std::min<uint64_t>(frames, INT32_MAX));
  info.duration = Seconds(frames, info);
}

uint32_t LittleEndian32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Where the audio ends: before the tags that players append, in any order
// and each at most once (ID3v1, APE with or without its header, Lyrics3
// v1 and v2). Counting them as audio adds seconds that are not there.
int64_t AudioEnd(IByteReader& src, int64_t startOffset, int64_t size) {
  int64_t end = size;
  bool id3v1 = false, ape = false, lyrics = false;
  for (bool found = true; found;) {
    found = false;
    uint8_t t[32];
    if (!id3v1 && end - 128 >= startOffset && src.ReadAt(static_cast<uint64_t>(end - 128), t, 3) == 3 &&
        std::memcmp(t, "TAG", 3) == 0) {
      end -= 128;
      found = id3v1 = true;
      continue;
    }
    // APE footer: "APETAGEX", version, size of items and footer, item
    // count, flags (bit 31: a header of 32 bytes stands before the items).
    if (!ape && end - 32 >= startOffset && src.ReadAt(static_cast<uint64_t>(end - 32), t, 32) == 32 &&
        std::memcmp(t, "APETAGEX", 8) == 0) {
      const int64_t tagSize =
          static_cast<int64_t>(LittleEndian32(t + 12)) + ((LittleEndian32(t + 20) & 0x80000000u) ? 32 : 0);
      if (tagSize >= 32 && end - tagSize >= startOffset) {
        end -= tagSize;
        found = ape = true;
        continue;
      }
    }
    // Lyrics3: "LYRICSBEGIN" ... then "LYRICS200" after a six-digit size
    // (v2) or "LYRICSEND" within 5100 bytes of text (v1).
    if (!lyrics && end - 9 - 11 >= startOffset && src.ReadAt(static_cast<uint64_t>(end - 15), t, 15) == 15) {
      if (std::memcmp(t + 6, "LYRICS200", 9) == 0) {
        int64_t length = 0;
        bool digits = true;
        for (int i = 0; i < 6; ++i) {
          digits = digits && t[i] >= '0' && t[i] <= '9';
          length = length * 10 + (t[i] - '0');
        }
        uint8_t begin[11];
        const int64_t start = end - 15 - length;
        if (digits && start >= startOffset && src.ReadAt(static_cast<uint64_t>(start), begin, 11) == 11 &&
            std::memcmp(begin, "LYRICSBEGIN", 11) == 0) {
          end = start;
          found = lyrics = true;
          continue;
        }
      } else if (std::memcmp(t + 6, "LYRICSEND", 9) == 0) {
        constexpr int64_t kLyrics1Span = 5100 + 11;
        const int64_t from = std::max(startOffset, end - 9 - kLyrics1Span);
        std::vector<uint8_t> text(static_cast<size_t>(end - 9 - from));
        if (src.ReadAt(static_cast<uint64_t>(from), text.data(), text.size()) == text.size()) {
          const uint8_t* hit = nullptr;
          for (size_t i = 0; i + 11 <= text.size(); ++i)
            if (std::memcmp(text.data() + i, "LYRICSBEGIN", 11) == 0) {
              hit = text.data() + i;
              break;
            }
          if (hit) {
            end = from + (hit - text.data());
            found = lyrics = true;
            continue;
          }
        }
      }
    }
  }
  return end;
}

}  // namespace

void ParseMpegHeader(const uint8_t* p, size_t avail, MpegAudioInfo& info) {
  const int64_t fileSize = info.fileSize;
  info = MpegAudioInfo{};
  info.fileSize = fileSize;
  if (avail < 4) return;
  DecodeHeader(p, info);
  if (info.layer > 3) return;
  const StreamTag tag = ReadStreamTag(p, avail, info);
  if (tag.kind == StreamTag::None || tag.kind == StreamTag::Info) return;
  info.vbr = 1;
  info.vbrScale = tag.vbrScale;
  info.frameCount = static_cast<int32_t>(tag.frames);
  // Without a frame count there is no rate to compute: the header is refused.
  const uint64_t bytes = tag.bytes != 0 ? tag.bytes : static_cast<uint64_t>(std::max<int64_t>(fileSize, 0));
  info.bitRate = info.samplingRate > 0 ? AverageRate(bytes, tag.frames, info) : 0;
}

int ScanMpegFrames(IByteReader& src, int64_t startOffset, MpegAudioInfo& info) {
  info = MpegAudioInfo{};
  const int64_t size = src.Size();
  if (size < 0 || startOffset < 0) return 1;
  info.fileSize = size;

  const int64_t audioEnd = AudioEnd(src, startOffset, size);

  BlockReader in(src);
  Frame first;
  const int64_t audioStart = FindFrame(in, startOffset, kMpegSearchBytes, audioEnd, nullptr, first);
  if (audioStart < 0) return 1;
  info = first.info;
  info.fileSize = size;

  size_t got;
  const uint8_t* head = in.At(audioStart, first.length, got);
  const StreamTag tag = ReadStreamTag(head, got, first.info);
  int64_t from = audioStart;
  if (tag.kind != StreamTag::None) {
    // The tag's frame holds no audio; for a CBR stream the rate is that of
    // the frames after it (the tag's own frame may be larger, to hold it).
    from += first.length;
    Frame next;
    if (in.FrameAt(from, next) && SameStream(next.info, first.info)) info.bitRate = next.info.bitRate;
  }
  if (tag.kind != StreamTag::None && tag.frames != 0 && !HoldsLess(tag, first, audioEnd - from)) {
    info.frameCount = static_cast<int32_t>(std::min<uint32_t>(tag.frames, INT32_MAX));
    info.vbrScale = tag.vbrScale;
    info.duration = Seconds(tag.frames, info);
    if (tag.kind != StreamTag::Info) {
      info.vbr = 1;
      const uint64_t bytes = tag.bytes != 0 ? tag.bytes : static_cast<uint64_t>(audioEnd - audioStart);
      // A byte count too small to be true leaves the frames' own rate.
      if (const int64_t average = AverageRate(bytes, tag.frames, info); average > 0) info.bitRate = average;
    }
    return 0;
  }
  // No tag, or one that promises more than the file holds (a cut-off
  // download): the frames that are there give the time.
  WalkFrames(in, from, audioEnd, info);
  if (tag.frames != 0 && (tag.kind == StreamTag::Xing || tag.kind == StreamTag::Vbri)) info.vbr = 1;
  return 0;
}

int ScanMpegFrames(const std::string& path, int64_t startOffset, MpegAudioInfo& info) {
  info = MpegAudioInfo{};
  auto src = FileByteReader::Open(path);
  if (!src) return 1;
  return ScanMpegFrames(*src, startOffset, info);
}

// ---------------------------------------------------------------------------
// ID3v1

const std::array<const char*, 145> Id3v1Genres = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
    "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
    "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave",
    "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",
    "Rock & Roll", "Hard Rock", "Folk", "Folk/Rock", "National Folk", "Swing", "Fast Fusion", "Bebob",
    "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad",
    "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House", "Dance Hall",
    "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk",
    "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
    "Christian Rock", "Merengue", "Salsa", "Trash Metal",
};

const char* Id3v1GenreName(int genre) {
  if (genre < 0 || genre >= static_cast<int>(Id3v1Genres.size())) return "unknown";
  return Id3v1Genres[static_cast<size_t>(genre)];
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A fixed-width field: ends at the first zero byte, trimmed, Windows-1252.
std::string Id3v1Field(const uint8_t* p, size_t width) {
  const char* s = reinterpret_cast<const char*>(p);
  size_t len = strnlen(s, width);
  size_t begin = 0;
  while (begin < len && IsBlank(s[begin])) ++begin;
  while (len > begin && IsBlank(s[len - 1])) --len;
  return Cp1252ToUtf8(std::string_view(s + begin, len - begin));
}

}  // namespace

int ReadId3v1Tag(IByteReader& src, Id3v1Tag& tag) {
  const int64_t size = src.Size();
  if (size < 128) return 1;
  uint8_t r[128];
  if (src.ReadAt(static_cast<uint64_t>(size - 128), r, 128) != 128) return 1;
  if (std::memcmp(r, "TAG", 3) != 0) {
    tag = Id3v1Tag{};
    return 1;
  }
  tag.title = Id3v1Field(r + 3, 30);
  tag.artist = Id3v1Field(r + 33, 30);
  tag.album = Id3v1Field(r + 63, 30);
  tag.year = Id3v1Field(r + 93, 4);
  tag.comment = Id3v1Field(r + 97, 30);
  tag.track = r[125] == 0 ? r[126] : 0;
  tag.genre = r[127];
  return 0;
}

int ReadId3v1Tag(const std::string& path, Id3v1Tag& tag) {
  auto src = FileByteReader::Open(path);
  if (!src) return 1;
  return ReadId3v1Tag(*src, tag);
}

// ---------------------------------------------------------------------------
// Description

std::string FormatDuration(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t h = seconds / 3600, r = seconds % 3600;
  char buf[48];
  if (h != 0)
    std::snprintf(buf, sizeof buf, "%" PRId64 ":%02d:%02d", h, static_cast<int>(r / 60), static_cast<int>(r % 60));
  else
    std::snprintf(buf, sizeof buf, "%02d:%02d", static_cast<int>(r / 60), static_cast<int>(r % 60));
  return buf;
}

std::string FormatKilo(int64_t value) {
  if (value < 0) value = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%" PRId64 "k%03d", value / 1000, static_cast<int>(value % 1000));
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  return s;
}

std::string GenreText(const std::string& tcon) {
  // "(17)", "(17)Refinement" or, as ID3v2.4 writes it, "17".
  size_t digitsFrom = 0, digitsTo = tcon.size();
  if (!tcon.empty() && tcon[0] == '(') {
    digitsFrom = 1;
    digitsTo = tcon.find(')');
    if (digitsTo == std::string::npos) return tcon;
    if (digitsTo + 1 < tcon.size() && tcon[digitsTo + 1] != '(') return tcon.substr(digitsTo + 1);
    const std::string code = tcon.substr(1, digitsTo - 1);
    if (code == "RX") return "Remix";
    if (code == "CR") return "Cover";
  }
  if (digitsTo <= digitsFrom || digitsTo - digitsFrom > 3) return tcon;
  int genre = 0;
  for (size_t i = digitsFrom; i < digitsTo; ++i) {
    if (tcon[i] < '0' || tcon[i] > '9') return tcon;
    genre = genre * 10 + (tcon[i] - '0');
  }
  return genre < static_cast<int>(Id3v1Genres.size()) ? Id3v1GenreName(genre) : tcon;
}

Mp3Info ReadMp3Info(IByteReader& src) {
  Mp3Info info;
  int64_t audioStart = 0;
  info.id3v2Result = ReadId3v2Tag(src, info.tags, audioStart);
  if (!info.tags.slots[SLOT_TCON].empty()) info.tags.slots[SLOT_TCON] = GenreText(info.tags.slots[SLOT_TCON]);
  info.scanStatus = ScanMpegFrames(src, audioStart, info.audio);
  if (info.scanStatus == 0 && info.id3v2Result != ID3_OK) {
    Id3v1Tag v1;
    if (ReadId3v1Tag(src, v1) == 0) {
      info.usedId3v1 = true;
      auto& s = info.tags.slots;
      s[SLOT_TIT2] = v1.title;
      s[SLOT_TPE1] = v1.artist;
      s[SLOT_TALB] = v1.album;
      s[SLOT_TYER] = v1.year;
      s[SLOT_COMM] = v1.comment;
      s[SLOT_TCON] = Id3v1GenreName(v1.genre);
      if (v1.track != 0) s[SLOT_TRCK] = std::to_string(v1.track);
    }
  }
  return info;
}

void AppendDescriptionLine(std::string& text, const char* key, const std::string& value) {
  text += Translate(key);
  text += '\t';
  text += value;
  text += "\r\n";
}

std::string FormatMp3Description(const Mp3Info& info) {
  std::string text;
  auto line = [&text](const char* key, const std::string& value) { AppendDescriptionLine(text, key, value); };
  line(Id3FrameTable[SLOT_TIME].shortKey, FormatDuration(info.audio.duration));
  line(Id3FrameTable[SLOT_BRAT].shortKey, FormatKilo(info.audio.bitRate) + (info.audio.vbr ? "v" : ""));
  line(Id3FrameTable[SLOT_FREQ].shortKey, FormatKilo(info.audio.samplingRate));
  for (size_t i = 0; i < kId3FrameCount; ++i)
    if (!info.tags.slots[i].empty()) line(Id3FrameTable[i].shortKey, info.tags.slots[i]);
  return text;
}

std::string DescribeMp3File(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return std::string();
    throw std::system_error(errno, std::generic_category(), path);
  }
  // A file that cannot be read has no time, rate or tags to show: zeros
  // would be made up.
  auto src = FileByteReader::Open(path);
  if (!src) throw std::system_error(errno, std::generic_category(), path);
  const Mp3Info info = ReadMp3Info(*src);
  if (src->ReadError() != 0) throw std::system_error(src->ReadError(), std::generic_category(), path);
  return FormatMp3Description(info);
}
