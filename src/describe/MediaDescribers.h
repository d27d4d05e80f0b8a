// Audio files other than MP3 (through TagLib) and films (through FFmpeg's
// libraries), described in the MP3 description's form, with the cover art or
// a frame of the film as the thumbnail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "describe/Describe.h"
#include "describe/Mp3.h"
#include "picture/Bitmap.h"

class CFileItem;
class IByteReader;

// 1 when the upper-cased extension is an audio (or film) extension and its
// switch is on.
int IsDescribedAudio(const std::string& fileName, const DescribeSettings& settings);
int IsDescribedVideo(const std::string& fileName, const DescribeSettings& settings);

// ---------------------------------------------------------------------------
// Audio

// What an audio file holds, as the MP3 description shows it.
struct AudioFacts {
  Mp3Info info;  // time, bit rate (v: variable), frequency and the tag slots
  std::string cover;  // bytes of the embedded picture (front cover first), empty when none
  bool capped = false;  // the byte limit cut the reading short
};
// Reads an audio file; nothing when TagLib does not recognise it. Reads at
// most maxBytes of it.
std::optional<AudioFacts> ReadAudioFacts(const std::string& path, uint64_t maxBytes = 64u << 20);
// The same on bytes in memory; name's extension chooses the format first.
std::optional<AudioFacts> ReadAudioFacts(const std::string& name, const uint8_t* data, size_t size);
// The description and the cover as the thumbnail. A file TagLib cannot read
// throws (the dispatcher logs it); a cover that does not decode is logged and
// leaves no thumbnail.
void DescribeAudio(const std::string& path, CFileItem& item, const DescribeSettings& settings, IDescribeHost& host);

// ---------------------------------------------------------------------------
// Video

// What bounds the reading of one film.
struct VideoLimits {
  int64_t maxBytes = 48ll << 20;  // bytes read through the demuxer
  int maxPackets = 400;           // packets read while looking for the frame
  int milliseconds = 8000;        // wall time for the whole file
};

struct VideoFacts {
  int64_t seconds = 0;  // playing time
  int width = 0, height = 0;  // stored picture size
  double frameRate = 0;
  std::string videoCodec;  // empty without a video stream
  std::string audioCodec;  // empty without an audio stream
  int channels = 0, sampleRate = 0;
  int64_t bitRate = 0;  // overall, bit/s
  std::string title;
  int rotation = 0;  // clockwise quarter turns to show it upright: 0, 90, 180, 270
  double aspect = 0;  // display width / height, rotation not counted; 0 when unknown
};

struct VideoResult {
  VideoFacts facts;
  std::optional<PLBitmap> frame;  // 32 bpp, fitted into the box, upright
  std::string problem;  // why there is no frame, or why reading stopped early
};

// Reads the container and, when boxWidth and boxHeight are above 0, the
// first key frame from about a tenth into the film, scaled into the box.
// Throws PLTextException when the bytes are not a film it can open.
VideoResult ReadVideo(IByteReader& src, int boxWidth, int boxHeight, const VideoLimits& limits = {});
// One value a line: time, picture size, frame rate, video codec, audio,
// bit rate, title (labels in the current language).
std::string FormatVideoDescription(const VideoFacts& facts);
// The description and the frame as the thumbnail; what was read of a damaged
// file is kept, and the damage logged.
void DescribeVideo(const std::string& path, CFileItem& item, const DescribeSettings& settings, IDescribeHost& host);
