// The picture describer: size and depth text, and the thumbnail kept in the item.
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <variant>

#include "catalog/FileItem.h"
#include "describe/Describe.h"
#include "describe/Exif.h"
#include "i18n/Translator.h"
#include "picture/Decoders.h"
#include "text/Codepage.h"

namespace {

struct PictureExtension {
  const char* extension;
  bool DescribeSettings::*enabled;
};

const PictureExtension kPictureExtensions[] = {
    {".BMP", &DescribeSettings::bmp},  {".DIB", &DescribeSettings::bmp},  {".RLE", &DescribeSettings::bmp},
    {".JPG", &DescribeSettings::jpg},  {".JPEG", &DescribeSettings::jpg}, {".JIF", &DescribeSettings::jpg},
    {".PNG", &DescribeSettings::png},  {".TIF", &DescribeSettings::tif},  {".EPS", &DescribeSettings::tif},
    {".GIF", &DescribeSettings::gif},  {".PCT", &DescribeSettings::pct},  {".TGA", &DescribeSettings::tga},
    {".WMF", &DescribeSettings::wmf},  {".EMF", &DescribeSettings::emf},  {".PCX", &DescribeSettings::pcx},
    {".PGM", &DescribeSettings::pgm},  {".WEBP", &DescribeSettings::webp}, {".HEIC", &DescribeSettings::heif},
    {".HEIF", &DescribeSettings::heif}, {".HIF", &DescribeSettings::heif}, {".AVIF", &DescribeSettings::avif},
};

using PrintfArg = std::variant<long long, double>;

// printf for a format that comes from a language file: each conversion takes
// the next argument as the type it really has, so a wrong or hostile format
// ("%s", "%n") can only print numbers oddly, never read or write memory.
std::string SafePrintf(const std::string& format, const std::vector<PrintfArg>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // %[flags][width][.precision][length]conversion
    size_t j = i + 1;
    std::string flags, width, precision;
    bool hasPrecision = false;
    while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos) flags += format[j++];
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) && width.size() < 3) width += format[j++];
    if (j < format.size() && format[j] == '.') {
      hasPrecision = true;
      ++j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])) && precision.size() < 2)
        precision += format[j++];
    }
    while (j < format.size() && std::string_view("hlLqjzt").find(format[j]) != std::string_view::npos) ++j;
    if (j >= format.size()) {
      out += format.substr(i);
      break;
    }
    const char conversion = format[j];
    i = j;
    if (next >= args.size()) continue;
    const PrintfArg& arg = args[next++];
    const bool wantsReal = std::string_view("fFeEgGaA").find(conversion) != std::string_view::npos;
    const bool wantsInt = std::string_view("diouxXc").find(conversion) != std::string_view::npos;
    const std::string prefix = "%" + flags + width + (hasPrecision ? "." + precision : std::string());
    char buffer[512];
    if (wantsReal || (!wantsInt && std::holds_alternative<double>(arg))) {
      const double v = std::holds_alternative<double>(arg) ? std::get<double>(arg)
                                                            : static_cast<double>(std::get<long long>(arg));
      std::snprintf(buffer, sizeof buffer, (prefix + (wantsReal ? std::string(1, conversion) : "f")).c_str(), v);
    } else {
      const long long v = std::holds_alternative<long long>(arg) ? std::get<long long>(arg)
                                                                  : static_cast<long long>(std::get<double>(arg));
      const char c = wantsInt && conversion != 'c' ? conversion : 'd';
      std::snprintf(buffer, sizeof buffer, (prefix + "ll" + c).c_str(), v);
    }
    out += buffer;
  }
  return out;
}

// The thumbnail depth: the largest depth the bitmap supports within the limit.
int ThumbnailDepth(int limit) {
  if (limit >= 32) return 32;
  if (limit >= 24) return 24;
  if (limit >= 8) return 8;
  if (limit >= 4) return 4;
  return 1;
}

// The description text: size, depth, colours and memory of the picture.
std::string PictureText(const PLPictureInfo& info) {
  const long long kb = static_cast<long long>(PLMemoryFigure(info.width, info.height, info.bpp) / 1024);
  return SafePrintf(Translate("IDS_PICTDESCR"),
                    {PrintfArg(static_cast<long long>(info.width)), PrintfArg(static_cast<long long>(info.height)),
                     PrintfArg(static_cast<long long>(info.bpp)), PrintfArg(std::pow(2.0, info.bpp)), PrintfArg(kb)});
}

}  // namespace

std::pair<int, int> ThumbnailSize(int64_t w, int64_t h, const DescribeSettings& settings) {
  const int maxWidth = std::max(1, settings.width), maxHeight = std::max(1, settings.height);
  if (w <= maxWidth && h <= maxHeight) return {static_cast<int>(w), static_cast<int>(h)};
  int64_t newWidth, newHeight;
  if (static_cast<double>(h) / static_cast<double>(w) > static_cast<double>(maxHeight) / maxWidth) {
    newWidth = w * maxHeight / h;
    newHeight = maxHeight;
  } else {
    newWidth = maxWidth;
    newHeight = h * maxWidth / w;
  }
  // A very long, thin picture would round to zero pixels across.
  return {static_cast<int>(std::max<int64_t>(1, newWidth)), static_cast<int>(std::max<int64_t>(1, newHeight))};
}

PLBitmap MakeThumbnail(PLBitmap bitmap, const DescribeSettings& settings, int64_t shownWidth, int64_t shownHeight,
                       int orientation) {
  if (shownWidth <= 0 || shownHeight <= 0) shownWidth = bitmap.Width(), shownHeight = bitmap.Height();
  // A picture shown turned a quarter fits the box with its sides exchanged.
  const bool quarter = PLOrientationSwapsAxes(orientation);
  auto [width, height] = quarter ? ThumbnailSize(shownHeight, shownWidth, settings)
                                 : ThumbnailSize(shownWidth, shownHeight, settings);
  if (quarter) std::swap(width, height);
  if (width != bitmap.Width() || height != bitmap.Height()) {
    if (bitmap.BitsPerPixel() != 32) bitmap = PLCopyWithDepth(bitmap, 32);
    bitmap = PLResizeBilinear(bitmap, width, height);
  }
  if (orientation != 1) bitmap = PLApplyOrientation(bitmap, orientation);
  if (bitmap.BitsPerPixel() > settings.bpp) bitmap = PLCopyWithDepth(bitmap, ThumbnailDepth(settings.bpp));
  return bitmap;
}

int IsDescribedPicture(const std::string& fileName, const DescribeSettings& settings) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return 0;
  const std::string extension = Utf8Upper(std::string_view(fileName).substr(dot));
  for (const PictureExtension& p : kPictureExtensions)
    if (extension == p.extension) return settings.*p.enabled ? 1 : 0;
  return 0;
}

void DescribePicture(const std::string& path, CFileItem& item, const DescribeSettings& settings, IDescribeHost& host) {
  item.thumbnail = std::make_unique<PLBitmap>();
  try {
    PLPictureInfo info;
    // The picture may still be turned a quarter: the decoder must cover the box either way.
    const int box = std::max({1, settings.width, settings.height});
    PLBitmap bitmap = PLDecodePictureFile(path, {box, box}, &info);
    const ExifFacts exif = ReadExifFacts(info.exif);
    const int orientation = info.exifOrientation ? exif.orientation : 1;

    if (settings.picDescr) {
      item.description = PictureText(info);
      for (const std::string& line : exif.lines) item.description += "\r\n" + line;
      if (orientation != 1) item.description += "\r\n" + OrientationLine(orientation);
    }

    *item.thumbnail = MakeThumbnail(std::move(bitmap), settings, info.width, info.height, orientation);
  } catch (const PLPixelsRefused& e) {
    // What the header says is still true; only the thumbnail is missing.
    if (settings.picDescr) item.description = PictureText(e.info);
    item.thumbnail.reset();
    host.LogScanError(path + "  " + e.what());
  } catch (const std::exception& e) {  // PLTextException, or memory running out
    item.description = path + "\n" + e.what();
    item.thumbnail.reset();
    host.LogScanError(path + "  " + e.what());
  }
}
