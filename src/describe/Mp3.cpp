#include "describe/Mp3.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

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

// Parses the Xing header at x (avail bytes readable); false when it is not
// one or does not fit.
bool ParseXing(const uint8_t* x, size_t avail, MpegAudioInfo& info) {
  if (avail < 8 || std::memcmp(x, "Xing", 4) != 0) return false;
  const uint32_t flags = BigEndian32(x + 4);
  size_t need = 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
  if (avail < need) return false;
  size_t at = 8;
  uint32_t frames = 0, bytes = 0;
  if (flags & 1) {
    frames = BigEndian32(x + at);
    at += 4;
  }
  if (flags & 2) {
    bytes = BigEndian32(x + at);
    at += 4;
  }
  if (flags & 4) at += 100;
  if (flags & 8) info.vbrScale = static_cast<int32_t>(BigEndian32(x + at));

  info.vbr = 1;
  info.frameCount = static_cast<int32_t>(frames);
  uint64_t total = bytes != 0 ? bytes : static_cast<uint64_t>(info.fileSize > 0 ? info.fileSize : 0);
  // Without a frame count there is no rate to compute: the header is refused.
  if (frames == 0) {
    info.bitRate = 0;
    return true;
  }
  // Bytes a frame = samples a frame / 8 * rate / sampling rate; a Layer III
  // frame holds 576 samples at the lower sampling frequencies, 1152 otherwise.
  const uint64_t divisor = IsLowSampling(info) && info.layer == 3 ? 72 : 144;
  int64_t rate = static_cast<int64_t>((total / frames) * static_cast<uint64_t>(info.samplingRate) / divisor);
  info.bitRate = rate - rate % 1000;
  return true;
}

}  // namespace

void ParseMpegHeader(const uint8_t* p, size_t avail, MpegAudioInfo& info) {
  const int64_t fileSize = info.fileSize;
  info = MpegAudioInfo{};
  info.fileSize = fileSize;
  if (avail < 4) return;
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

  const bool odd = (info.version & 1) != 0;
  const size_t xingAt = odd ? (info.channelMode == 3 ? 21 : 36) : (info.channelMode == 3 ? 13 : 21);
  if (avail > xingAt) ParseXing(p + xingAt, avail - xingAt, info);
}

int ScanMpegFrames(IByteReader& src, int64_t startOffset, MpegAudioInfo& info) {
  info = MpegAudioInfo{};
  MpegAudioInfo work[kMpegMaxHeaders];
  const int64_t size = src.Size();
  if (size < 0 || startOffset < 0) return 1;
  work[0].fileSize = size;

  uint8_t window[kMpegWindow];
  const size_t got = src.ReadAt(static_cast<uint64_t>(startOffset), window, sizeof window);

  int n = 0;
  int64_t audioStart = startOffset;
  for (size_t i = 0; i + 2 < got && n < kMpegMaxHeaders; ++i) {
    if (window[i] == 0xFF && (window[i + 1] & 0xE0) == 0xE0) {
      MpegAudioInfo& rec = work[n];
      ParseMpegHeader(window + i, got - i, rec);
      if (rec.bitRate > 0 && (rec.layer == 2 || rec.layer == 3) &&
          (n == 0 || rec.samplingRate == work[0].samplingRate))
        ++n;
    }
    if (n == 0) ++audioStart;
  }
  if (n == 0) return 1;

  info = work[0];
  if (info.version == 4) {
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) sum += work[i].bitRate;
    info.bitRate = sum / n;
  }
  const int64_t audioBytes = info.fileSize > audioStart ? info.fileSize - audioStart : 0;
  info.duration = info.bitRate > 0 ? audioBytes * 8 / info.bitRate : 0;
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

Mp3Info ReadMp3Info(IByteReader& src) {
  Mp3Info info;
  int64_t audioStart = 0;
  info.id3v2Result = ReadId3v2Tag(src, info.tags, audioStart);
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

std::string FormatMp3Description(const Mp3Info& info) {
  std::string text;
  auto line = [&text](const char* key, const std::string& value) {
    text += Translate(key);
    text += '\t';
    text += value;
    text += "\r\n";
  };
  line(Id3FrameTable[SLOT_TIME].shortKey, FormatDuration(info.audio.duration));
  line(Id3FrameTable[SLOT_BRAT].shortKey, FormatKilo(info.audio.bitRate) + (info.audio.vbr ? "v" : ""));
  line(Id3FrameTable[SLOT_FREQ].shortKey, FormatKilo(info.audio.samplingRate));
  for (size_t i = 0; i < kId3FrameCount; ++i)
    if (!info.tags.slots[i].empty()) line(Id3FrameTable[i].shortKey, info.tags.slots[i]);
  return text;
}

std::string DescribeMp3File(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::string();
  Mp3Info info;
  if (auto src = FileByteReader::Open(path)) info = ReadMp3Info(*src);
  return FormatMp3Description(info);
}
