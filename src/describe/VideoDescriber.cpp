// Films through libavformat, libavcodec and libswscale: the container's
// figures one a line, and one key frame from about a tenth in as the
// thumbnail. Every read goes through our own I/O callbacks, which count the
// bytes and watch the clock, so a damaged file can neither hang the scan nor
// make it read without end.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

#include "catalog/FileItem.h"
#include "describe/MediaDescribers.h"
#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

const char* const kVideoExtensions[] = {".MP4", ".MOV", ".M4V", ".3GP", ".3G2", ".MKV", ".WEBM", ".AVI", ".MPG",
                                        ".MPEG", ".VOB", ".TS", ".M2TS", ".MTS", ".WMV", ".ASF", ".FLV", ".OGV"};

// The demuxers of the containers above; no other is ever tried, so a file
// cannot lead libavformat to playlists or to other files.
constexpr const char* kDemuxers = "mov,matroska,avi,mpeg,mpegts,asf,flv,ogg";

using Clock = std::chrono::steady_clock;

void QuietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    av_log_set_level(AV_LOG_QUIET);  // damage is reported through the scan log
    av_max_alloc(256u << 20);        // no single allocation beyond this, whatever a header claims
  });
}

// The bytes libavformat reads, from our byte source.
struct Io {
  IByteReader* src = nullptr;
  int64_t size = -1;
  int64_t pos = 0;
  int64_t left = 0;  // bytes still allowed
  Clock::time_point deadline;
  bool capped = false;
  bool late = false;

  bool Late() {
    if (!late && Clock::now() > deadline) late = true;
    return late;
  }
};

int ReadPacket(void* opaque, uint8_t* buf, int n) {
  auto* io = static_cast<Io*>(opaque);
  if (io->Late()) return AVERROR_EXIT;
  if (io->left <= 0) {
    io->capped = true;
    return AVERROR_EOF;
  }
  const size_t want = static_cast<size_t>(std::min<int64_t>(n, io->left));
  if (io->pos < 0 || (io->size >= 0 && io->pos >= io->size)) return AVERROR_EOF;
  const size_t got = io->src->ReadAt(static_cast<uint64_t>(io->pos), buf, want);
  if (got == 0) return AVERROR_EOF;
  io->pos += static_cast<int64_t>(got);
  io->left -= static_cast<int64_t>(got);
  return static_cast<int>(got);
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  auto* io = static_cast<Io*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return io->size >= 0 ? io->size : AVERROR(ENOSYS);
  int64_t to;
  switch (whence) {
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = io->pos + offset; break;
    case SEEK_END:
      if (io->size < 0) return AVERROR(ENOSYS);
      to = io->size + offset;
      break;
    default: return AVERROR(EINVAL);
  }
  if (to < 0) return AVERROR(EINVAL);
  io->pos = to;
  return to;
}

int Interrupt(void* opaque) { return static_cast<Io*>(opaque)->Late() ? 1 : 0; }

// Owners of the libraries' objects.
struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct IoCloser {
  void operator()(AVIOContext* c) const {
    av_freep(&c->buffer);
    avio_context_free(&c);
  }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwsCloser {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

std::string ErrorText(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

// The names people know the usual codecs by; the library's short name otherwise.
std::string CodecName(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_H264: return "H.264";
    case AV_CODEC_ID_HEVC: return "H.265";
    case AV_CODEC_ID_MPEG4: return "MPEG-4";
    case AV_CODEC_ID_MPEG1VIDEO: return "MPEG-1";
    case AV_CODEC_ID_MPEG2VIDEO: return "MPEG-2";
    case AV_CODEC_ID_AAC: return "AAC";
    case AV_CODEC_ID_MP3: return "MP3";
    case AV_CODEC_ID_MP2: return "MP2";
    case AV_CODEC_ID_AC3: return "AC-3";
    case AV_CODEC_ID_EAC3: return "E-AC-3";
    case AV_CODEC_ID_OPUS: return "Opus";
    case AV_CODEC_ID_VORBIS: return "Vorbis";
    case AV_CODEC_ID_THEORA: return "Theora";
    case AV_CODEC_ID_FLAC: return "FLAC";
    default: break;
  }
  const AVCodecDescriptor* d = avcodec_descriptor_get(id);
  return d ? Utf8Upper(d->name) : std::string("?");
}

// Clockwise quarter turns that show the stream upright, from the display
// matrix a phone writes.
int RotationOf(const AVStream* st) {
  const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return 0;
  const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(counterClockwise)) return 0;
  long turn = std::lround(-counterClockwise / 90.0) % 4;
  if (turn < 0) turn += 4;
  return static_cast<int>(turn * 90);
}

PLBitmap Rotated(const PLBitmap& src, int rotation) {
  if (rotation == 0) return src;
  const int w = src.Width(), h = src.Height();
  const bool quarter = rotation != 180;
  PLBitmap out(quarter ? h : w, quarter ? w : h, 32);
  for (int y = 0; y < h; ++y) {
    const auto* in = reinterpret_cast<const uint32_t*>(src.Row(y));
    for (int x = 0; x < w; ++x) {
      int ox, oy;
      if (rotation == 90) ox = h - 1 - y, oy = x;
      else if (rotation == 270) ox = y, oy = w - 1 - x;
      else ox = w - 1 - x, oy = h - 1 - y;
      reinterpret_cast<uint32_t*>(out.Row(oy))[ox] = in[x];
    }
  }
  return out;
}

// The frame scaled to the size it shows at in the box, before rotation.
PLBitmap ScaledFrame(const AVFrame* frame, const VideoFacts& facts, int boxWidth, int boxHeight) {
  double shownW = frame->width * (facts.aspect > 0 ? facts.aspect * facts.height / facts.width : 1.0);
  double shownH = frame->height;
  const bool quarter = facts.rotation == 90 || facts.rotation == 270;
  if (quarter) std::swap(shownW, shownH);
  DescribeSettings box;
  box.width = boxWidth;
  box.height = boxHeight;
  auto [w, h] = ThumbnailSize(std::max<int64_t>(1, std::llround(shownW)), std::max<int64_t>(1, std::llround(shownH)),
                              box);
  if (quarter) std::swap(w, h);
  std::unique_ptr<SwsContext, SwsCloser> sws(
      sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_BGRA,
                     SWS_AREA, nullptr, nullptr, nullptr));
  if (!sws) throw PLTextException("no conversion from pixel format " + std::to_string(frame->format));
  PLBitmap bitmap(w, h, 32);
  uint8_t* dst[4] = {bitmap.Row(0), nullptr, nullptr, nullptr};
  int dstStride[4] = {static_cast<int>(bitmap.Stride()), 0, 0, 0};
  sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
  return Rotated(bitmap, facts.rotation);
}

std::string FrameRateText(double fps) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", fps);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

int IsDescribedVideo(const std::string& fileName, const DescribeSettings& settings) {
  if (!settings.video) return 0;
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return 0;
  const std::string extension = Utf8Upper(std::string_view(fileName).substr(dot));
  for (const char* e : kVideoExtensions)
    if (extension == e) return 1;
  return 0;
}

VideoResult ReadVideo(IByteReader& src, int boxWidth, int boxHeight, const VideoLimits& limits) {
  QuietLibraries();
  Io io;
  io.src = &src;
  io.size = src.Size();
  io.left = limits.maxBytes;
  io.deadline = Clock::now() + std::chrono::milliseconds(limits.milliseconds);

  constexpr int kBufferSize = 32 * 1024;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
  if (!buffer) throw PLTextException(ErrorText(AVERROR(ENOMEM)));
  AVIOContext* rawIo = avio_alloc_context(buffer, kBufferSize, 0, &io, ReadPacket, nullptr, Seek);
  if (!rawIo) {
    av_free(buffer);
    throw PLTextException(ErrorText(AVERROR(ENOMEM)));
  }
  std::unique_ptr<AVIOContext, IoCloser> ioContext(rawIo);

  AVFormatContext* rawFormat = avformat_alloc_context();
  if (!rawFormat) throw PLTextException(ErrorText(AVERROR(ENOMEM)));
  rawFormat->pb = rawIo;
  rawFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
  rawFormat->interrupt_callback = {Interrupt, &io};
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kDemuxers, 0);
  av_dict_set(&options, "protocol_whitelist", "none", 0);
  av_dict_set(&options, "probesize", "2000000", 0);
  av_dict_set(&options, "analyzeduration", "3000000", 0);
  int rc = avformat_open_input(&rawFormat, nullptr, nullptr, &options);  // frees the context on failure
  av_dict_free(&options);
  // A limit reached says so rather than what the demuxer made of the cut.
  auto failure = [&io](int code) {
    return PLTextException(io.late ? Translate("IDS_MEDIA_LATE") : io.capped ? Translate("IDS_MEDIA_CAPPED") : ErrorText(code));
  };
  if (rc < 0) throw failure(rc);
  std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
  rc = avformat_find_stream_info(format.get(), nullptr);
  if (rc < 0 && format->nb_streams == 0) throw failure(rc);

  VideoResult result;
  VideoFacts& f = result.facts;
  int64_t duration = format->duration;  // AV_TIME_BASE units
  int videoIndex = -1;
  int64_t bestPixels = -1;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* st = format->streams[i];
    const AVCodecParameters* p = st->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
    const int64_t pixels = static_cast<int64_t>(p->width) * p->height;
    if (pixels > bestPixels) bestPixels = pixels, videoIndex = static_cast<int>(i);
  }
  const int audioIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);

  if (duration == AV_NOPTS_VALUE || duration < 0) {
    duration = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVStream* st = format->streams[i];
      if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        duration = std::max(duration, av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE}));
    }
  }
  f.seconds = duration / AV_TIME_BASE;
  f.bitRate = format->bit_rate;
  if (f.bitRate <= 0 && duration > 0 && io.size > 0)
    f.bitRate = av_rescale(io.size, 8LL * AV_TIME_BASE, duration);
  if (const AVDictionaryEntry* t = av_dict_get(format->metadata, "title", nullptr, 0)) f.title = t->value;

  if (audioIndex >= 0) {
    const AVCodecParameters* p = format->streams[audioIndex]->codecpar;
    f.audioCodec = CodecName(p->codec_id);
    f.channels = p->ch_layout.nb_channels;
    f.sampleRate = p->sample_rate;
  }
  if (videoIndex < 0) return result;  // sound only: nothing is missing
  AVStream* vs = format->streams[videoIndex];
  const AVCodecParameters* vp = vs->codecpar;
  f.videoCodec = CodecName(vp->codec_id);
  f.width = vp->width;
  f.height = vp->height;
  AVRational rate = vs->avg_frame_rate.num > 0 && vs->avg_frame_rate.den > 0 ? vs->avg_frame_rate : vs->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) f.frameRate = av_q2d(rate);
  f.rotation = RotationOf(vs);
  AVRational sar = av_guess_sample_aspect_ratio(format.get(), vs, nullptr);
  if (f.width > 0 && f.height > 0)
    f.aspect = static_cast<double>(f.width) * (sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0) / f.height;

  if (boxWidth <= 0 || boxHeight <= 0) return result;
  if (f.width <= 0 || f.height <= 0 || static_cast<uint64_t>(f.width) * f.height > PLPixelLimit()) {
    result.problem = Translate("IDS_VIDEO_NOFRAME");
    return result;
  }

  // The decoder: key frames only, one thread (files are described side by
  // side already), no picture beyond the pixel limit.
  const AVCodec* codec = avcodec_find_decoder(vp->codec_id);
  std::unique_ptr<AVCodecContext, CodecCloser> decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
  if (!decoder || avcodec_parameters_to_context(decoder.get(), vp) < 0) {
    result.problem = Translate("IDS_VIDEO_NOFRAME");
    return result;
  }
  decoder->thread_count = 1;
  decoder->skip_frame = AVDISCARD_NONKEY;
  decoder->max_pixels = static_cast<int64_t>(std::min<uint64_t>(PLPixelLimit(), INT32_MAX));
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    result.problem = Translate("IDS_VIDEO_NOFRAME");
    return result;
  }
  for (unsigned i = 0; i < format->nb_streams; ++i)
    if (static_cast<int>(i) != videoIndex) format->streams[i]->discard = AVDISCARD_ALL;

  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  if (!packet || !frame) throw PLTextException(ErrorText(AVERROR(ENOMEM)));
  // Reads packets until the decoder gives a frame, within the packet limit.
  int packets = 0;
  auto decodeOne = [&]() {
    bool flushed = false;
    for (; packets < limits.maxPackets && !io.Late(); ++packets) {
      rc = flushed ? AVERROR_EOF : av_read_frame(format.get(), packet.get());
      if (rc >= 0 && packet->stream_index != videoIndex) {
        av_packet_unref(packet.get());
        continue;
      }
      if (rc < 0 && flushed) return false;
      if (rc < 0) {
        flushed = true;
        avcodec_send_packet(decoder.get(), nullptr);
      } else {
        avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
      }
      if (avcodec_receive_frame(decoder.get(), frame.get()) == 0) return true;
    }
    return false;
  };
  // The first key frame at or after a tenth of the film; from the start when
  // the container cannot seek there or no key frame follows.
  bool got = false;
  const int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
  if (duration > 0 && format->pb->seekable) {
    const int64_t target = start + duration / 10;
    if (av_seek_frame(format.get(), -1, target, 0) >= 0 ||
        av_seek_frame(format.get(), -1, target, AVSEEK_FLAG_BACKWARD) >= 0) {
      got = decodeOne();
      if (!got && !io.Late() && av_seek_frame(format.get(), -1, start, AVSEEK_FLAG_BACKWARD) >= 0) {
        avcodec_flush_buffers(decoder.get());
        got = decodeOne();
      }
    }
  }
  if (!got && packets == 0) got = decodeOne();
  if (!got || frame->width <= 0 || frame->height <= 0) {
    result.problem = Translate(io.late ? "IDS_MEDIA_LATE" : io.capped ? "IDS_MEDIA_CAPPED" : "IDS_VIDEO_NOFRAME");
    return result;
  }
  result.frame = ScaledFrame(frame.get(), f, boxWidth, boxHeight);
  return result;
}

std::string FormatVideoDescription(const VideoFacts& f) {
  std::string text;
  auto line = [&text](const char* key, const std::string& value) { AppendDescriptionLine(text, key, value); };
  line("IDS_MP3_TIME", FormatDuration(f.seconds));
  if (!f.videoCodec.empty()) {
    line("IDS_VIDEO_SIZE", std::to_string(f.width) + " x " + std::to_string(f.height));
    if (f.frameRate > 0) line("IDS_VIDEO_FPS", FrameRateText(f.frameRate));
    line("IDS_VIDEO_CODEC", f.videoCodec);
  }
  if (!f.audioCodec.empty()) {
    std::string channels = f.channels == 1   ? Translate("IDS_VIDEO_MONO")
                           : f.channels == 2 ? Translate("IDS_VIDEO_STEREO")
                                             : FormatInserts(Translate("IDS_VIDEO_CHANNELS"), {std::to_string(f.channels)});
    line("IDS_VIDEO_AUDIO", f.audioCodec + ", " + channels + ", " + FormatKilo(f.sampleRate));
  }
  // A film's overall rate is measured, not nominal: whole kilobits read best.
  line("IDS_MP3_RATE", FormatKilo((f.bitRate + 500) / 1000 * 1000));
  if (!f.title.empty()) line("IDS_MP3_TIT2", f.title);
  return text;
}

void DescribeVideo(const std::string& path, CFileItem& item, const DescribeSettings& settings, IDescribeHost& host) {
  auto src = FileByteReader::Open(path);
  if (!src) throw PLTextException(Translate("IDS_MEDIA_UNREADABLE"));
  item.thumbnail.reset();
  VideoResult r = ReadVideo(*src, std::max(1, settings.width), std::max(1, settings.height));
  item.description = FormatVideoDescription(r.facts);
  if (r.frame) item.thumbnail = std::make_unique<PLBitmap>(MakeThumbnail(std::move(*r.frame), settings));
  if (!r.problem.empty()) host.LogScanError(path + "  " + r.problem);
}
