// Audio files other than MP3 through TagLib: the MP3 description's lines and
// the embedded cover as the thumbnail.
#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <memory>

#include "catalog/FileItem.h"
#include "describe/MediaDescribers.h"
#include "i18n/Translator.h"
#include "picture/Decoders.h"
#include "text/Codepage.h"

namespace {

const char* const kAudioExtensions[] = {".FLAC", ".OGG", ".OGA", ".OPUS", ".SPX", ".M4A", ".M4B", ".WMA",
                                        ".WAV",  ".AIF", ".AIFF", ".AIFC", ".APE", ".WV",  ".MPC", ".MP+",
                                        ".MPP",  ".TTA"};

// A read-only file that refuses to hand out more than a set number of bytes:
// TagLib then sees the end of the file, so no tag or block length written in
// a damaged file can make it read (or allocate) without end.
class CappedStream : public TagLib::FileStream {
 public:
  CappedStream(const std::string& path, uint64_t cap) : TagLib::FileStream(path.c_str(), true), left_(cap) {}
  TagLib::ByteVector readBlock(unsigned long length) override {
    if (length > left_) {
      capped = true;
      length = static_cast<unsigned long>(left_);
    }
    left_ -= length;
    return length ? TagLib::FileStream::readBlock(length) : TagLib::ByteVector();
  }
  bool capped = false;

 private:
  uint64_t left_;
};

std::string Utf8(const TagLib::String& s) { return s.to8Bit(true); }

std::string Bytes(const TagLib::ByteVector& v) { return std::string(v.data(), v.size()); }

// Tag names of TagLib's common property map, and where the MP3 description
// shows each.
struct PropertySlot {
  const char* key;
  size_t slot;
};
const PropertySlot kPropertySlots[] = {
    {"TITLE", SLOT_TIT2}, {"SUBTITLE", 3},       {"ARTIST", SLOT_TPE1},      {"ALBUMARTIST", 5},
    {"CONDUCTOR", 6},     {"COMPOSER", 8},       {"GENRE", SLOT_TCON},       {"ALBUM", SLOT_TALB},
    {"TRACKNUMBER", SLOT_TRCK}, {"DATE", SLOT_TYER}, {"COMMENT", SLOT_COMM},
    {"DESCRIPTION", SLOT_COMM},  // what FFmpeg and others write for a comment in Vorbis comments
};

std::string Joined(const TagLib::StringList& values) {
  std::string out;
  for (const auto& v : values) {
    const std::string s = Utf8(v);
    if (s.empty()) continue;
    if (!out.empty()) out += " / ";
    out += s;
  }
  return out;
}

// The picture of an ID3v2 tag: the front cover, else the first.
std::string Id3v2Cover(TagLib::ID3v2::Tag* tag) {
  if (!tag) return {};
  std::string first;
  for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
    auto* pic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (!pic) continue;
    if (pic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) return Bytes(pic->picture());
    if (first.empty()) first = Bytes(pic->picture());
  }
  return first;
}

std::string FlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& pictures) {
  std::string first;
  for (TagLib::FLAC::Picture* pic : pictures) {
    if (pic->type() == TagLib::FLAC::Picture::FrontCover) return Bytes(pic->data());
    if (first.empty()) first = Bytes(pic->data());
  }
  return first;
}

// An APE tag's cover item holds a file name, a zero byte, then the picture.
std::string ApeCover(TagLib::APE::Tag* tag) {
  if (!tag) return {};
  const auto& items = tag->itemListMap();
  auto it = items.find("COVER ART (FRONT)");
  if (it == items.end()) return {};
  const TagLib::ByteVector data = it->second.binaryData();
  const int zero = data.find('\0');
  return zero < 0 ? std::string() : Bytes(data.mid(static_cast<unsigned>(zero) + 1));
}

std::string CoverOf(TagLib::File* file) {
  using namespace TagLib;
  if (auto* f = dynamic_cast<FLAC::File*>(file)) return FlacPictures(f->pictureList());
  if (auto* f = dynamic_cast<Ogg::File*>(file))
    if (auto* x = dynamic_cast<Ogg::XiphComment*>(f->tag())) return FlacPictures(x->pictureList());
  if (auto* f = dynamic_cast<MP4::File*>(file)) {
    if (!f->tag() || !f->tag()->contains("covr")) return {};
    const MP4::CoverArtList covers = f->tag()->item("covr").toCoverArtList();
    return covers.isEmpty() ? std::string() : Bytes(covers.front().data());
  }
  if (auto* f = dynamic_cast<RIFF::WAV::File*>(file)) return f->hasID3v2Tag() ? Id3v2Cover(f->ID3v2Tag()) : "";
  if (auto* f = dynamic_cast<RIFF::AIFF::File*>(file)) return f->hasID3v2Tag() ? Id3v2Cover(f->tag()) : "";
  if (auto* f = dynamic_cast<TrueAudio::File*>(file)) return f->hasID3v2Tag() ? Id3v2Cover(f->ID3v2Tag()) : "";
  if (auto* f = dynamic_cast<ASF::File*>(file)) {
    if (!f->tag() || !f->tag()->contains("WM/Picture")) return {};
    std::string first;
    for (const ASF::Attribute& a : f->tag()->attribute("WM/Picture")) {
      const ASF::Picture pic = a.toPicture();
      if (!pic.isValid()) continue;
      if (pic.type() == ASF::Picture::FrontCover) return Bytes(pic.picture());
      if (first.empty()) first = Bytes(pic.picture());
    }
    return first;
  }
  if (auto* f = dynamic_cast<APE::File*>(file)) return f->hasAPETag() ? ApeCover(f->APETag()) : "";
  if (auto* f = dynamic_cast<WavPack::File*>(file)) return f->hasAPETag() ? ApeCover(f->APETag()) : "";
  if (auto* f = dynamic_cast<MPC::File*>(file)) return f->hasAPETag() ? ApeCover(f->APETag()) : "";
  return {};
}

// Whether the format says its rate varies: lossless compression and the
// codecs that have no constant rate do; Vorbis says it in its header (a
// managed constant rate gives equal lowest and highest rates); PCM and the
// others are constant.
bool VariableRate(TagLib::File* file) {
  using namespace TagLib;
  if (dynamic_cast<FLAC::File*>(file) || dynamic_cast<Ogg::FLAC::File*>(file) || dynamic_cast<WavPack::File*>(file) ||
      dynamic_cast<APE::File*>(file) || dynamic_cast<TrueAudio::File*>(file) || dynamic_cast<MPC::File*>(file) ||
      dynamic_cast<Ogg::Opus::File*>(file) || dynamic_cast<Ogg::Speex::File*>(file))
    return true;
  if (auto* f = dynamic_cast<Ogg::Vorbis::File*>(file)) {
    const Vorbis::Properties* p = f->audioProperties();
    return !(p && p->bitrateMinimum() > 0 && p->bitrateMinimum() == p->bitrateMaximum());
  }
  if (auto* f = dynamic_cast<MP4::File*>(file))
    return f->audioProperties() && f->audioProperties()->codec() == MP4::Properties::ALAC;
  return false;
}

}  // namespace

int IsDescribedAudio(const std::string& fileName, const DescribeSettings& settings) {
  if (!settings.audio) return 0;
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return 0;
  const std::string extension = Utf8Upper(std::string_view(fileName).substr(dot));
  for (const char* e : kAudioExtensions)
    if (extension == e) return 1;
  return 0;
}

namespace {

// Bytes in memory under a file name whose extension TagLib goes by.
class NamedBytes : public TagLib::ByteVectorStream {
 public:
  NamedBytes(const std::string& name, const uint8_t* data, size_t size)
      : TagLib::ByteVectorStream(TagLib::ByteVector(reinterpret_cast<const char*>(data), static_cast<unsigned>(size))),
        name_(name) {}
  TagLib::FileName name() const override { return name_.c_str(); }

 private:
  std::string name_;
};

std::optional<AudioFacts> ReadFacts(TagLib::IOStream& stream) {
  TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Average);
  if (ref.isNull() || !ref.file()->isValid()) return std::nullopt;
  AudioFacts facts;
  if (const TagLib::AudioProperties* p = ref.audioProperties()) {
    // A damaged stream can make TagLib work out negative figures (an Ogg
    // granule position going backwards): they count as unknown.
    facts.info.audio.duration = std::max(0, p->lengthInMilliseconds()) / 1000;
    facts.info.audio.bitRate = static_cast<int64_t>(std::max(0, p->bitrate())) * 1000;
    facts.info.audio.samplingRate = std::max(0, p->sampleRate());
    facts.info.audio.vbr = VariableRate(ref.file()) ? 1 : 0;
  }
  TagLib::PropertyMap properties = ref.file()->properties();
  std::string apeCover;
  // TrueAudio files as FFmpeg writes them carry an APE tag at the end,
  // which TagLib's TrueAudio reader does not look for.
  if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(ref.file()); tta && properties.isEmpty()) {
    const long footer = tta->length() - 32;
    if (footer > 0) {
      tta->seek(footer);
      if (tta->readBlock(8) == TagLib::ByteVector("APETAGEX")) {
        TagLib::APE::Tag ape(tta, footer);
        properties = ape.properties();
        apeCover = ApeCover(&ape);
      }
    }
  }
  // FFmpeg writes the date and comment of a WMA file under names of its own.
  if (auto* asf = dynamic_cast<TagLib::ASF::File*>(ref.file()); asf && asf->tag()) {
    const std::pair<const char*, const char*> names[] = {{"date", "DATE"}, {"Description", "COMMENT"}};
    for (const auto& [attribute, key] : names) {
      if (properties.contains(key) || !asf->tag()->contains(attribute)) continue;
      const TagLib::ASF::AttributeList& values = asf->tag()->attribute(attribute);
      if (!values.isEmpty()) properties.insert(key, values.front().toString());
    }
  }
  for (const PropertySlot& ps : kPropertySlots) {
    auto it = properties.find(ps.key);
    if (it != properties.end() && facts.info.tags.slots[ps.slot].empty())
      facts.info.tags.slots[ps.slot] = Joined(it->second);
  }
  // The basic fields of formats whose property map leaves some out.
  if (const TagLib::Tag* tag = ref.tag()) {
    auto& slots = facts.info.tags.slots;
    const std::pair<size_t, TagLib::String> basics[] = {{SLOT_TIT2, tag->title()}, {SLOT_TPE1, tag->artist()},
                                                        {SLOT_TALB, tag->album()}, {SLOT_COMM, tag->comment()},
                                                        {SLOT_TCON, tag->genre()}};
    for (const auto& [slot, value] : basics)
      if (slots[slot].empty()) slots[slot] = Utf8(value);
  }
  auto& genre = facts.info.tags.slots[SLOT_TCON];
  if (!genre.empty()) genre = GenreText(genre);
  facts.cover = apeCover.empty() ? CoverOf(ref.file()) : apeCover;
  return facts;
}

}  // namespace

std::optional<AudioFacts> ReadAudioFacts(const std::string& path, uint64_t maxBytes) {
  CappedStream stream(path, maxBytes);
  if (!stream.isOpen()) return std::nullopt;
  std::optional<AudioFacts> facts = ReadFacts(stream);
  if (facts) facts->capped = stream.capped;
  return facts;
}

std::optional<AudioFacts> ReadAudioFacts(const std::string& name, const uint8_t* data, size_t size) {
  NamedBytes stream(name, data, size);
  return ReadFacts(stream);
}

void DescribeAudio(const std::string& path, CFileItem& item, const DescribeSettings& settings, IDescribeHost& host) {
  std::optional<AudioFacts> facts = ReadAudioFacts(path);
  if (!facts) throw PLTextException(Translate("IDS_MEDIA_UNREADABLE"));
  item.description = FormatMp3Description(facts->info);
  item.thumbnail.reset();
  if (facts->capped) host.LogScanError(path + "  " + Translate("IDS_MEDIA_CAPPED"));
  if (facts->cover.empty()) return;
  try {
    const auto* data = reinterpret_cast<const uint8_t*>(facts->cover.data());
    PLPictureInfo info;
    PLBitmap cover = PLDecodePicture(data, facts->cover.size(), {std::max(1, settings.width), std::max(1, settings.height)},
                                     &info);
    item.thumbnail = std::make_unique<PLBitmap>(MakeThumbnail(std::move(cover), settings, info.width, info.height));
  } catch (const std::exception& e) {
    item.thumbnail.reset();
    host.LogScanError(path + "  " + e.what());
  }
}
