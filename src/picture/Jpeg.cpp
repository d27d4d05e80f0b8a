// JPEG through libjpeg(-turbo), from memory, with DCT scaling for thumbnails.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "picture/Decoders.h"
#include "picture/DecoderSupport.h"

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  long corruptWarnings;
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  // Warnings (level -1) are corrupt-data notices; trace messages are ignored.
  if (level < 0) reinterpret_cast<ErrorManager*>(cinfo->err)->corruptWarnings++;
}

struct Source {
  jpeg_source_mgr pub;
  bool exhausted;
};

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  // All the data was handed over at the start: running out means a
  // truncated file. An end marker lets libjpeg finish what it has.
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  src->exhausted = true;
  WARNMS(cinfo, JWRN_JPEG_EOF);
  src->pub.next_input_byte = kFakeEoi;
  src->pub.bytes_in_buffer = 2;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  if (count <= 0) return;
  while (static_cast<size_t>(count) > src->pub.bytes_in_buffer) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    FillInput(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Smallest scale n/8 whose output still covers the thumbnail that the
// picture gives when fitted into minWidth x minHeight (aspect kept).
int ChooseScale(jpeg_decompress_struct& cinfo, const PLDecodeHints& hints) {
  if (hints.minWidth <= 0 || hints.minHeight <= 0) return 8;
  const uint64_t w = cinfo.image_width, h = cinfo.image_height;
  const uint64_t boxW = static_cast<uint64_t>(hints.minWidth), boxH = static_cast<uint64_t>(hints.minHeight);
  if (w == 0 || h == 0 || (w <= boxW && h <= boxH)) return 8;
  uint64_t needW = boxW, needH = boxH;
  if (h * boxW > w * boxH)
    needW = std::max<uint64_t>(1, w * boxH / h);
  else
    needH = std::max<uint64_t>(1, h * boxW / w);
  for (int n = 1; n < 8; ++n) {
    cinfo.scale_num = static_cast<unsigned>(n);
    cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_width >= needW && cinfo.output_height >= needH) return n;
  }
  return 8;
}

// Everything that must outlive a longjmp lives in this struct, built before
// setjmp, so no destructor is ever skipped.
struct JpegJob {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  Source src;
  PLBitmap bitmap;
  std::vector<uint8_t> scanline;
  PLPictureInfo info;
  bool created = false;
};

// Returns false after a libjpeg error (message in job.err.message).
bool Run(JpegJob& job, const uint8_t* data, size_t size, const PLDecodeHints& hints) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (setjmp(job.err.jump)) return false;

  jpeg_create_decompress(&cinfo);
  job.created = true;
  job.src.pub.init_source = InitSource;
  job.src.pub.fill_input_buffer = FillInput;
  job.src.pub.skip_input_data = SkipInput;
  job.src.pub.resync_to_restart = jpeg_resync_to_restart;
  job.src.pub.term_source = TermSource;
  job.src.pub.next_input_byte = data;
  job.src.pub.bytes_in_buffer = size;
  job.src.exhausted = false;
  cinfo.src = &job.src.pub;

  jpeg_read_header(&cinfo, TRUE);
  if (job.src.exhausted) throw PLTextException("JPEG file truncated in its header");
  // Entropy-coded data needs at least a bit or so per 8 x 8 block.
  PLCheckPixelsForData("JPEG", cinfo.image_width, cinfo.image_height, size, 2048);

  const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = gray ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_EXT_BGR);
  job.info.width = static_cast<int>(cinfo.image_width);
  job.info.height = static_cast<int>(cinfo.image_height);
  job.info.bpp = gray ? 8 : 24;

  const int scale = ChooseScale(cinfo, hints);
  cinfo.scale_num = static_cast<unsigned>(scale);
  cinfo.scale_denom = 8;
  if (scale < 8) {
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
  }
  jpeg_calc_output_dimensions(&cinfo);
  if (cinfo.output_width > 0x7FFFFFFF || cinfo.output_height > 0x7FFFFFFF)
    throw PLTextException("JPEG picture too large");
  job.bitmap.Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), gray ? 8 : 24);
  if (gray) PLSetGrayPalette(job.bitmap, 256);

  jpeg_start_decompress(&cinfo);
  const bool truncatedEarly = job.src.exhausted;
  job.scanline.resize(static_cast<size_t>(cinfo.output_width) * static_cast<size_t>(cinfo.output_components));
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW row = cmyk ? job.scanline.data() : job.bitmap.Row(y);
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    if (cmyk) {
      // Adobe writes inverted CMYK; the product with K gives the colour.
      const bool inverted = cinfo.saw_Adobe_marker;
      uint8_t* out = job.bitmap.Row(y);
      for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
        unsigned c = row[4 * x], m = row[4 * x + 1], ye = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
        out[3 * x] = static_cast<uint8_t>(ye * k / 255);
        out[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
        out[3 * x + 2] = static_cast<uint8_t>(c * k / 255);
      }
    }
    // A baseline file that ends early would otherwise be decoded to the
    // bottom as grey filler; what was read is kept.
    if (!truncatedEarly && job.src.exhausted) break;
  }
  jpeg_abort_decompress(&cinfo);
  return true;
}

}  // namespace

bool PLIsJpeg(const uint8_t* data, size_t size) {
  return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

PLBitmap PLDecodeJpeg(const uint8_t* data, size_t size, const PLDecodeHints& hints, PLPictureInfo* info) {
  if (data == nullptr || size < 4) throw PLTextException("Not a JPEG file: too short");
  auto job = std::make_unique<JpegJob>();
  std::memset(&job->cinfo, 0, sizeof job->cinfo);
  job->cinfo.err = jpeg_std_error(&job->err.pub);
  job->err.pub.error_exit = OnError;
  job->err.pub.emit_message = OnMessage;
  job->err.corruptWarnings = 0;
  job->err.message[0] = 0;
  bool ok = false;
  std::string thrown;
  try {
    ok = Run(*job, data, size, hints);
  } catch (const PLTextException& e) {
    thrown = e.what();
  }
  if (job->created) jpeg_destroy_decompress(&job->cinfo);
  if (!thrown.empty()) throw PLTextException(thrown);
  if (!ok) throw PLTextException(std::string("JPEG decoding error: ") + job->err.message);
  if (info) *info = job->info;
  return std::move(job->bitmap);
}
