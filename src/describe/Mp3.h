// MP3 audio description: MPEG audio frame headers, Xing headers, ID3v1 tags,
// and the description text built from them and from the ID3v2 tag.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "describe/Id3v2.h"

// One decoded frame header, or the result of a scan.
struct MpegAudioInfo {
  int16_t layer = 0;         // 1, 2, 3; 4 for the reserved layer code
  int64_t bitRate = 0;       // bit/s; 0 = invalid or free format
  int32_t samplingRate = 0;  // Hz; 0 for the reserved code
  int64_t duration = 0;      // whole seconds
  int32_t channelMode = 0;   // the header's two mode bits
  int64_t fileSize = 0;      // bytes of the whole file
  int32_t frameCount = 0;    // from a Xing, Info or VBRI header, or counted
  int32_t vbrScale = -1;     // Xing quality, -1 when absent
  int16_t version = 0;       // 1 = MPEG-1, 2 = MPEG-2, 3 = reserved, 4 = MPEG-2.5
  int16_t vbr = 0;           // 1 when the rate varies (Xing or VBRI header, or frames seen to differ)
};

// Bytes after the start offset searched for the first frame.
constexpr int64_t kMpegSearchBytes = 64 * 1024;

// Decodes the four-byte header at p and a Xing header that may follow it;
// avail is how many bytes from p may be read (a Xing header that does not fit
// is taken as absent). info.fileSize is an input (bytes of a Xing header
// without a byte count) and is kept; every other field is set.
void ParseMpegHeader(const uint8_t* p, size_t avail, MpegAudioInfo& info);

// Finds the first frame after startOffset whose next frame follows where its
// length says (or whose end is the end of the audio), and times the stream:
// from the frame count of a Xing, Info or VBRI header when there is one,
// else by walking the frame headers. Returns 0 when a frame was found,
// non-zero otherwise; info (duration included) is set in both cases.
int ScanMpegFrames(IByteReader& src, int64_t startOffset, MpegAudioInfo& info);
int ScanMpegFrames(const std::string& path, int64_t startOffset, MpegAudioInfo& info);

// The 128-byte ID3v1 record at the end of a file; texts are UTF-8, trimmed.
struct Id3v1Tag {
  std::string title, artist, album, year, comment;
  int track = 0;  // ID3v1.1 track number, 0 when none
  uint8_t genre = 0;
};
// 0 with the tag filled; 1 when the file cannot be read, is shorter than 128
// bytes or has no "TAG" record (the tag is then cleared).
int ReadId3v1Tag(IByteReader& src, Id3v1Tag& tag);
int ReadId3v1Tag(const std::string& path, Id3v1Tag& tag);

// ID3v1 genre names for bytes 0 to 144.
extern const std::array<const char*, 145> Id3v1Genres;
// The genre name of a genre byte; "unknown" past the list.
const char* Id3v1GenreName(int genre);

// The text of an ID3v2 genre value: "(17)", "17" and "(17)(RX)" give the
// name of genre 17, "(17)Refinement" the refinement; other text unchanged.
std::string GenreText(const std::string& tcon);

// "%02d:%02d", or "%d:%02d:%02d" from one hour up.
std::string FormatDuration(int64_t seconds);
// "%dk%03d" of thousands and rest, trailing zeros removed: 44100 -> "44k1".
std::string FormatKilo(int64_t value);
// One description line: the key's label, a tab, the value, CR LF.
void AppendDescriptionLine(std::string& text, const char* key, const std::string& value);

// The tag values and audio data of one file, as the description shows them.
struct Mp3Info {
  MpegAudioInfo audio;
  int scanStatus = 1;
  int id3v2Result = ID3_CANNOT_OPEN;
  bool usedId3v1 = false;
  TagValues tags;
};
Mp3Info ReadMp3Info(IByteReader& src);
// The description lines (labels in the current language) of the values.
std::string FormatMp3Description(const Mp3Info& info);

// The description text of an MP3 file (time, bit rate, frequency, tags);
// empty when the file does not exist. Throws std::system_error when the
// file exists but cannot be opened or read.
std::string DescribeMp3File(const std::string& path);
