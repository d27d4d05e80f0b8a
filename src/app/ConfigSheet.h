// The settings sheet "$$Config" without its window: the values of its three
// pages, the take-over rule, the size estimate, the bits-per-pixel list and
// what closing the sheet writes. The GUI fills its controls from the pages
// and hands their values back when a page is left or OK is pressed.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct ConfigSettings;
struct CAppSettings;
class IUiPort;

enum class LanguageChoice { System, French, English, File };

struct LaunchPageValues {
  bool loadLastUsed = true;
  bool useLastFilter = true;
  bool openDescr = true;
  LanguageChoice language = LanguageChoice::System;
  std::string langFile;
};

struct ScanPageValues {
  bool scanCompress = true;
  bool scanApplis = true;
  bool scanDescrs = true;
};

// The picture switches, in the order of the "$$File types" dialog: the
// eleven of old, then WebP, HEIC / HEIF and AVIF.
constexpr size_t kPictureTypeCount = 14;
extern const char* const kPictureTypeCaptions[kPictureTypeCount];

struct DescrPageValues {
  bool scanDescrMp3 = true;
  bool scanDescrExe = true;
  bool scanDescrPicDescr = true;
  std::array<bool, kPictureTypeCount> pictures{};
  std::string width;   // as typed, at most three characters
  std::string height;
  int bppPosition = 2;  // position in the bits-per-pixel list
  bool scanDescrAudio = true;
  bool scanDescrVideo = true;
};

// Bits-per-pixel list: 0 <-> 1, 1 <-> 4, 2 <-> 8, 3 <-> 32; any other stored
// depth shows 8 bits.
int BppPosition(int bitsPerPixel);
int BppOfPosition(int position);
// Decimal text to number as the sheet reads its fields: leading blanks,
// digits; text that is not a number gives 0.
int FieldNumber(const std::string& text);
// The thumbnail size label: width x height x bits / 8 bytes, as "%d bytes"
// up to 9999 and as "%.1f Kb" of bytes / 1024 above.
std::string ThumbnailSizeText(const std::string& width, const std::string& height, int bppPosition);
// The language radio buttons: "$$File" when a language file is set, else
// by "Language" ("FR", "US", anything else the system's).
LanguageChoice LanguageChoiceOf(const std::string& language, const std::string& langFile);
// The path field and "..." are enabled only for "$$File".
inline bool LanguageFileEnabled(LanguageChoice choice) { return choice == LanguageChoice::File; }

class CConfigSheet {
 public:
  // The pages as copied in: the check boxes from the application's values,
  // "Language" and "LangFile" as stored in "Config", width and height as "%d".
  CConfigSheet(const ConfigSettings& config, const std::string& language, const std::string& langFile);

  enum Page { LaunchPage, ScanPage, DescrPage, kPageCount };
  // The values the controls start from: a page's last taken-over values,
  // else those copied in.
  LaunchPageValues launch;
  ScanPageValues scan;
  DescrPageValues descr;
  // A page hands its controls' values over when the user leaves it or
  // presses OK; a page never taken over keeps the values copied in.
  void TakeOver(const LaunchPageValues& v) { launch = v; taken_[LaunchPage] = true; }
  void TakeOver(const ScanPageValues& v) { scan = v; taken_[ScanPage] = true; }
  void TakeOver(const DescrPageValues& v) { descr = v; taken_[DescrPage] = true; }
  bool TakenOver(Page page) const { return taken_[page]; }

  // Closing, whatever button did it: the page values go back into config;
  // with OK the launch page's language choice and the descriptions page's
  // bits per pixel are stored first (pages never taken over keep theirs).
  // Returns the "Language" and "LangFile" values to write at once.
  struct Language {
    std::string language;
    std::string langFile;
  };
  Language Close(bool ok, ConfigSettings& config);

 private:
  std::array<bool, kPageCount> taken_{};
  std::string language_;
  std::string langFile_;
  int storedBpp_;
};

// The Options command's end: Close, then "Language" and "LangFile" written
// to "Config" and the settings file saved at once. False when the file
// could not be written (reason in *error).
bool CloseConfigSheet(CConfigSheet& sheet, bool ok, CAppSettings& settings, std::string* error = nullptr);

// "$$Save french messages" / "$$Save english messages": the save dialog for a
// .DIC file, then the built-in table of lcid written there. A write failure
// is reported by a message box. True when a file was written.
bool SaveBuiltinMessages(IUiPort& ui, uint32_t lcid);
// The open dialog of "..." for a language file; the chosen path or empty.
std::string ChooseLanguageFile(IUiPort& ui);
