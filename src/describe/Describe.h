// The per-file describer: chooses the MP3, executable or picture describer
// for a file item and rewrites its description (and thumbnail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

class CFileItem;
class CFileItemList;
class PLBitmap;

// The "Config" switches the describers read (1 = on in the settings file).
struct DescribeSettings {
  bool scanDescrs = true;
  bool mp3 = true;
  bool exe = true;
  bool picDescr = true;
  bool bmp = true, jpg = true, png = true, tif = true, gif = true, pct = true, tga = true, wmf = true,
       emf = true, pcx = true, pgm = true;
  bool webp = true, heif = true, avif = true;  // ScanDescrWebp, ScanDescrHeif, ScanDescrAvif
  int width = 100;   // ScanDescrWidth
  int height = 100;  // ScanDescrHeight
  int bpp = 8;       // ScanDescrBpp
  bool audio = true;  // ScanDescrAudio: audio files other than MP3
  bool video = true;  // ScanDescrVideo
};

// What a describer needs from the scan that runs it.
class IDescribeHost {
 public:
  virtual ~IDescribeHost() = default;
  // Full path on disk of the item (the physical path of the catalog rules).
  virtual std::string PhysicalPath(const CFileItemList& list, size_t index) = 0;
  // Adds one line to the scan error log.
  virtual void LogScanError(const std::string& line) = 0;
  // Extracts an archive member (isArchive item) to a temporary file and
  // returns its path; nothing when it cannot be extracted.
  virtual std::optional<std::string> ExtractArchiveMember(const CFileItemList& list, size_t index) {
    return std::nullopt;
  }
};

// 1 when a describer ran, 0 otherwise; updates the item in place.
int DescribeFile(CFileItemList& list, size_t index, const DescribeSettings& settings, IDescribeHost& host);
// Whether DescribeFile runs a describer for a file of this name.
bool WouldDescribe(const std::string& fileName, const DescribeSettings& settings);

// The describers DescribeFile chooses from (MP3, executable, picture).
struct Describers {
  std::function<std::string(const std::string& path)> mp3;
  // Rewrites description when the file has a version resource.
  std::function<void(const std::string& path, std::string& description)> exe;
  std::function<void(const std::string& path, CFileItem& item, const DescribeSettings& settings,
                     IDescribeHost& host)>
      picture;
  // Audio files other than MP3, and films (both write description and thumbnail).
  std::function<void(const std::string& path, CFileItem& item, const DescribeSettings& settings,
                     IDescribeHost& host)>
      audio, video;
};
// DescribeMp3File, DescribeExecutable, DescribePicture, DescribeAudio and DescribeVideo.
const Describers& DefaultDescribers();
// DescribeFile with other describers (tests use their own).
int DescribeFile(CFileItemList& list, size_t index, const DescribeSettings& settings, IDescribeHost& host,
                 const Describers& describers);

// Pictures: 1 when the upper-cased extension is a picture extension whose switch is on.
int IsDescribedPicture(const std::string& fileName, const DescribeSettings& settings);
// Decodes the picture at path into the item's thumbnail and description; a
// decoding failure writes the path, "\n" and the message as the description,
// leaves no thumbnail and logs the path, two spaces and the message.
void DescribePicture(const std::string& path, CFileItem& item, const DescribeSettings& settings,
                     IDescribeHost& host);

// The size a width x height picture is shown at in the Pictures preview box:
// itself when it fits, else scaled down to touch the box, aspect kept.
std::pair<int, int> ThumbnailSize(int64_t width, int64_t height, const DescribeSettings& settings);
// A decoded picture as an item keeps it: fitted into the box, then reduced
// to the depth limit. The fit is worked out on the picture's own size when
// given (a decoder may have delivered it reduced), else on the bitmap's. An
// EXIF orientation other than 1 turns the fitted bitmap as the picture is shown.
PLBitmap MakeThumbnail(PLBitmap bitmap, const DescribeSettings& settings, int64_t shownWidth = 0,
                       int64_t shownHeight = 0, int orientation = 1);
