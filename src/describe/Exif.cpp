#include "describe/Exif.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

struct DataFree {
  void operator()(ExifData* d) const { exif_data_unref(d); }
};

class Reader {
 public:
  explicit Reader(ExifData* data) : data_(data), order_(exif_data_get_byte_order(data)) {}

  ExifEntry* Entry(ExifIfd ifd, ExifTag tag) const {
    return data_->ifd[ifd] ? exif_content_get_entry(data_->ifd[ifd], tag) : nullptr;
  }

  // A text value on one line, without its padding; "" when absent.
  std::string Text(ExifIfd ifd, ExifTag tag) const {
    ExifEntry* e = Entry(ifd, tag);
    if (!e || !e->data || e->format != EXIF_FORMAT_ASCII) return {};
    std::string raw(reinterpret_cast<const char*>(e->data), e->size);
    const size_t nul = raw.find('\0');
    if (nul != std::string::npos) raw.resize(nul);
    for (char& c : raw)
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    const size_t first = raw.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    raw = raw.substr(first, raw.find_last_not_of(' ') - first + 1);
    return SanitizeUtf8(raw);
  }

  // The index-th rational of an entry as a real number; false when absent.
  bool Rational(ExifIfd ifd, ExifTag tag, size_t index, double& value) const {
    ExifEntry* e = Entry(ifd, tag);
    if (!e || !e->data || index >= e->components) return false;
    if (e->format == EXIF_FORMAT_RATIONAL && e->size >= (index + 1) * 8) {
      const ExifRational r = exif_get_rational(e->data + index * 8, order_);
      if (r.denominator == 0) return false;
      value = static_cast<double>(r.numerator) / r.denominator;
      return true;
    }
    if (e->format == EXIF_FORMAT_SRATIONAL && e->size >= (index + 1) * 8) {
      const ExifSRational r = exif_get_srational(e->data + index * 8, order_);
      if (r.denominator == 0) return false;
      value = static_cast<double>(r.numerator) / r.denominator;
      return true;
    }
    return false;
  }

  bool Number(ExifIfd ifd, ExifTag tag, long& value) const {
    ExifEntry* e = Entry(ifd, tag);
    if (!e || !e->data || e->components < 1) return false;
    if (e->format == EXIF_FORMAT_SHORT && e->size >= 2) {
      value = exif_get_short(e->data, order_);
      return true;
    }
    if (e->format == EXIF_FORMAT_LONG && e->size >= 4) {
      value = static_cast<long>(exif_get_long(e->data, order_));
      return true;
    }
    return false;
  }

  // Degrees, minutes and seconds with their hemisphere as signed degrees.
  bool Coordinate(ExifTag valueTag, ExifTag refTag, char negative, double& degrees) const {
    double d = 0, m = 0, s = 0;
    if (!Rational(EXIF_IFD_GPS, valueTag, 0, d) || !Rational(EXIF_IFD_GPS, valueTag, 1, m) ||
        !Rational(EXIF_IFD_GPS, valueTag, 2, s))
      return false;
    degrees = d + m / 60.0 + s / 3600.0;
    const std::string ref = Text(EXIF_IFD_GPS, refTag);
    if (!ref.empty() && ref[0] == negative) degrees = -degrees;
    return std::isfinite(degrees);
  }

 private:
  ExifData* data_;
  ExifByteOrder order_;
};

// Fixed decimals with a point whatever the locale (the GUI sets the user's).
std::string Fixed(double v, int decimals) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return result.ec == std::errc() ? std::string(buf, result.ptr) : std::string();
}

// A short decimal number: "2.8", "8", "4.25".
std::string Decimal(double v, int decimals) {
  std::string s = Fixed(v, decimals);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

// "1/250" below a second (as cameras show it), "2.5" above.
std::string ExposureText(double seconds) {
  if (seconds > 0 && seconds < 0.5) {
    const double inverse = 1.0 / seconds;
    return "1/" + Decimal(inverse, inverse < 10 ? 1 : 0);
  }
  return Decimal(seconds, 1);
}

// "2023:06:01 14:05:09" -> "2023-06-01 14:05:09"; other texts as they are.
std::string DateText(std::string text) {
  if (text.size() >= 10 && text[4] == ':' && text[7] == ':') text[4] = text[7] = '-';
  return text;
}

void Add(std::vector<std::string>& lines, const char* key, const std::vector<MsgArg>& args) {
  lines.push_back(FormatInserts(Translate(key), args));
}

}  // namespace

ExifFacts ReadExifFacts(const uint8_t* data, size_t size) {
  ExifFacts facts;
  if (!data || size < 14) return facts;
  std::unique_ptr<ExifData, DataFree> ed(exif_data_new());
  if (!ed) return facts;
  // WebP writers store the TIFF structure alone; libexif wants its header.
  std::vector<uint8_t> withHeader;
  if (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0) {
    withHeader = {'E', 'x', 'i', 'f', 0, 0};
    withHeader.insert(withHeader.end(), data, data + size);
    data = withHeader.data();
    size = withHeader.size();
  }
  // Read what is stored: the "specification" option would invent
  // mandatory values that the camera never wrote.
  exif_data_unset_option(ed.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(ed.get(), data, static_cast<unsigned>(std::min<size_t>(size, 0xFFFFFFFFu)));
  const Reader r(ed.get());

  std::string date = r.Text(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
  if (date.empty()) date = r.Text(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED);
  if (!date.empty() && date.find_first_not_of("0: ") != std::string::npos) Add(facts.lines, "IDS_EXIFTAKEN", {DateText(date)});

  const std::string make = r.Text(EXIF_IFD_0, EXIF_TAG_MAKE), model = r.Text(EXIF_IFD_0, EXIF_TAG_MODEL);
  // Most models repeat the make ("Canon" + "Canon EOS 80D").
  std::string camera = model;
  if (!make.empty() && Utf8Upper(model).rfind(Utf8Upper(make), 0) != 0) camera = model.empty() ? make : make + " " + model;
  if (!camera.empty()) Add(facts.lines, "IDS_EXIFCAMERA", {camera});

  const std::string lens = r.Text(EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL);
  if (!lens.empty()) Add(facts.lines, "IDS_EXIFLENS", {lens});

  double v = 0;
  if (r.Rational(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, 0, v) && v > 0)
    Add(facts.lines, "IDS_EXIFEXPOSURE", {ExposureText(v)});
  if (r.Rational(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, 0, v) && v > 0) Add(facts.lines, "IDS_EXIFFNUMBER", {Decimal(v, 1)});
  long iso = 0;
  if (r.Number(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, iso) && iso > 0)
    Add(facts.lines, "IDS_EXIFISO", {std::to_string(iso)});
  if (r.Rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 0, v) && v > 0) Add(facts.lines, "IDS_EXIFFOCAL", {Decimal(v, 1)});

  double latitude = 0, longitude = 0;
  if (r.Coordinate(static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE), static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE_REF), 'S',
                   latitude) &&
      r.Coordinate(static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE), static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE_REF), 'W',
                   longitude) &&
      std::fabs(latitude) <= 90 && std::fabs(longitude) <= 180) {
    Add(facts.lines, "IDS_EXIFGPS", {Fixed(latitude, 6), Fixed(longitude, 6)});
  }

  long orientation = 1;
  if (r.Number(EXIF_IFD_0, EXIF_TAG_ORIENTATION, orientation) && orientation >= 1 && orientation <= 8)
    facts.orientation = static_cast<int>(orientation);
  return facts;
}

std::string OrientationLine(int orientation) {
  switch (orientation) {
    case 2: return Translate("IDS_EXIFMIRRORED");
    case 3: return FormatInserts(Translate("IDS_EXIFROTATED"), {180});
    case 4: return FormatInserts(Translate("IDS_EXIFMIRROREDROTATED"), {180});
    case 5: return FormatInserts(Translate("IDS_EXIFMIRROREDROTATED"), {270});
    case 6: return FormatInserts(Translate("IDS_EXIFROTATED"), {90});
    case 7: return FormatInserts(Translate("IDS_EXIFMIRROREDROTATED"), {90});
    case 8: return FormatInserts(Translate("IDS_EXIFROTATED"), {270});
    default: return {};
  }
}
