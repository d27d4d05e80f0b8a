#include "app/ConfigSheet.h"

#include <cstdio>

#include "app/Settings.h"
#include "i18n/Translator.h"
#include "ports/Paths.h"
#include "ports/UiPort.h"

const char* const kPictureTypeCaptions[kPictureTypeCount] = {
    "Png", "Gif", "Bmp Dib Rle", "Jpg Jpeg Jif", "Tif Eps", "Pct", "Tga", "Wmf", "Emf", "PCX", "PGM", "Webp", "Heic Heif", "Avif"};

namespace {

constexpr int kBppOfPosition[] = {1, 4, 8, 32};

// The settings of the picture switches in caption order.
std::array<int*, kPictureTypeCount> PictureSettings(ConfigSettings& c) {
  return {&c.scanDescrPng, &c.scanDescrGif, &c.scanDescrBmp, &c.scanDescrJpg, &c.scanDescrTif, &c.scanDescrPct,
          &c.scanDescrTga, &c.scanDescrWmf, &c.scanDescrEmf, &c.scanDescrPcx, &c.scanDescrPgm,
          &c.scanDescrWebp, &c.scanDescrHeif, &c.scanDescrAvif};
}

std::string DicFilter() {
  std::string f = Translate("IDS_FILE_FILTER_DIC") + " (*.DIC)";
  f += '\0';
  f += "*.DIC";
  f += '\0';
  f += Translate("IDS_FILE_FILTERALL") + " (*.*)";
  f += '\0';
  f += "*.*";
  f += '\0';
  f += '\0';
  return f;
}

}  // namespace

int BppPosition(int bitsPerPixel) {
  for (int p = 0; p < 4; ++p)
    if (kBppOfPosition[p] == bitsPerPixel) return p;
  return 2;
}

int BppOfPosition(int position) { return position >= 0 && position < 4 ? kBppOfPosition[position] : 8; }

int FieldNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 0x7FFFFFFF) return 0;
  }
  return static_cast<int>(negative ? -value : value);
}

std::string ThumbnailSizeText(const std::string& width, const std::string& height, int bppPosition) {
  const long long bytes =
      static_cast<long long>(FieldNumber(width)) * FieldNumber(height) * BppOfPosition(bppPosition) / 8;
  char buf[64];
  if (bytes > 9999) {
    std::snprintf(buf, sizeof buf, Translate("IDS_SIZEKBYTES").c_str(), static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, Translate("IDS_SIZEBYTES").c_str(), static_cast<int>(bytes));
  }
  return buf;
}

LanguageChoice LanguageChoiceOf(const std::string& language, const std::string& langFile) {
  if (!langFile.empty()) return LanguageChoice::File;
  if (language == "FR") return LanguageChoice::French;
  if (language == "US") return LanguageChoice::English;
  return LanguageChoice::System;
}

CConfigSheet::CConfigSheet(const ConfigSettings& config, const std::string& language, const std::string& langFile)
    : language_(language), langFile_(langFile), storedBpp_(config.scanDescrBpp) {
  launch.loadLastUsed = config.loadLastUsed != 0;
  launch.useLastFilter = config.useLastFilter != 0;
  launch.openDescr = config.openDescr != 0;
  launch.language = LanguageChoiceOf(language, langFile);
  launch.langFile = langFile;
  scan.scanCompress = config.scanCompress != 0;
  scan.scanApplis = config.scanApplis != 0;
  scan.scanDescrs = config.scanDescrs != 0;
  descr.scanDescrMp3 = config.scanDescrMp3 != 0;
  descr.scanDescrExe = config.scanDescrExe != 0;
  descr.scanDescrPicDescr = config.scanDescrPicDescr != 0;
  ConfigSettings copy = config;
  const auto pictures = PictureSettings(copy);
  for (size_t i = 0; i < kPictureTypeCount; ++i) descr.pictures[i] = *pictures[i] != 0;
  descr.width = std::to_string(config.scanDescrWidth);
  descr.height = std::to_string(config.scanDescrHeight);
  descr.bppPosition = BppPosition(config.scanDescrBpp);
  descr.scanDescrAudio = config.scanDescrAudio != 0;
  descr.scanDescrVideo = config.scanDescrVideo != 0;
}

CConfigSheet::Language CConfigSheet::Close(bool ok, ConfigSettings& config) {
  Language result{language_, langFile_};
  int bpp = storedBpp_;
  if (ok) {
    switch (launch.language) {
      case LanguageChoice::French: result.language = "FR"; break;
      case LanguageChoice::English: result.language = "US"; break;
      default: result.language.clear(); break;
    }
    result.langFile = launch.language == LanguageChoice::File ? launch.langFile : std::string();
    if (taken_[DescrPage]) bpp = BppOfPosition(descr.bppPosition);
  }
  config.loadLastUsed = launch.loadLastUsed;
  config.useLastFilter = launch.useLastFilter;
  config.openDescr = launch.openDescr;
  config.scanCompress = scan.scanCompress;
  config.scanApplis = scan.scanApplis;
  config.scanDescrs = scan.scanDescrs;
  config.scanDescrExe = descr.scanDescrExe;
  config.scanDescrMp3 = descr.scanDescrMp3;
  config.scanDescrPicDescr = descr.scanDescrPicDescr;
  const auto pictures = PictureSettings(config);
  for (size_t i = 0; i < kPictureTypeCount; ++i) *pictures[i] = descr.pictures[i];
  config.scanDescrWidth = FieldNumber(descr.width);
  config.scanDescrHeight = FieldNumber(descr.height);
  config.scanDescrBpp = bpp;
  config.scanDescrAudio = descr.scanDescrAudio;
  config.scanDescrVideo = descr.scanDescrVideo;
  return result;
}

bool CloseConfigSheet(CConfigSheet& sheet, bool ok, CAppSettings& settings, std::string* error) {
  const CConfigSheet::Language language = sheet.Close(ok, settings.config);
  // The running program keeps its language; the choice is read at the next start.
  settings.ini.Set("Config", "Language", language.language);
  settings.ini.Set("Config", "LangFile", language.langFile);
  if (settings.path.empty()) return true;
  return settings.ini.Save(settings.path, error);
}

bool SaveBuiltinMessages(IUiPort& ui, uint32_t lcid) {
  FileDialogFields fields;
  fields.save = true;
  fields.filter = DicFilter();
  fields.defaultExtension = "DIC";
  fields.flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  const auto path = ui.FileDialog(fields);
  if (!path) return false;
  CMessageTranslator tables;
  tables.AddLanguage(LANG_FRENCH, g_FrenchMessages);
  tables.AddLanguage(LANG_ENGLISH, g_EnglishMessages);
  std::string error;
  if (!tables.SaveLanguageFile(*path, lcid, &error)) {
    ui.MessageBox(error, Translate("IDS_ERROR"), MB_ICONERROR);
    return false;
  }
  return true;
}

std::string ChooseLanguageFile(IUiPort& ui) {
  FileDialogFields fields;
  fields.filter = DicFilter();
  fields.defaultExtension = "DIC";
  fields.flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  // The shipped tables are the usual starting point of a translation.
  fields.initialDirectory = LanguageFilesDirectory();
  return ui.FileDialog(fields).value_or(std::string());
}
