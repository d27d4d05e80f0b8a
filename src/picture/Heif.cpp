// HEIC / HEIF and AVIF through libheif, from memory. libheif turns the
// picture as its container says (rotation and mirror boxes), so the size
// and pixels delivered are those shown.
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "picture/DecoderSupport.h"
#include "picture/Decoders.h"

namespace {

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleFree>;
using Image = std::unique_ptr<heif_image, ImageFree>;

void Check(const heif_error& e, const char* what) {
  if (e.code != heif_error_Ok)
    throw PLTextException(std::string(what) + ": " + (e.message && *e.message ? e.message : "HEIF error"));
}

// The EXIF block of the picture, "Exif\0\0" and the TIFF structure: HEIF
// stores a 32-bit offset to the TIFF header before it.
std::vector<uint8_t> ExifOf(heif_image_handle* handle) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1) return {};
  const size_t size = heif_image_handle_get_metadata_size(handle, id);
  if (size < 8 || size > (size_t{16} << 20)) return {};
  std::vector<uint8_t> raw(size);
  if (heif_image_handle_get_metadata(handle, id, raw.data()).code != heif_error_Ok) return {};
  const uint32_t offset = (uint32_t{raw[0]} << 24) | (raw[1] << 16) | (raw[2] << 8) | raw[3];
  if (offset > size - 4) return {};
  const uint8_t* tiff = raw.data() + 4 + offset;
  const size_t tiffSize = size - 4 - offset;
  static const uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> block(kHeader, kHeader + sizeof kHeader);
  // Some writers keep the header before the TIFF structure, others not.
  if (tiffSize >= sizeof kHeader && std::memcmp(tiff, kHeader, sizeof kHeader) == 0) return {tiff, tiff + tiffSize};
  block.insert(block.end(), tiff, tiff + tiffSize);
  return block;
}

// The stored thumbnail when it still covers what the thumbnail needs: a
// phone photo's 320-pixel preview spares decoding twelve million pixels.
Handle CoveringThumbnail(heif_image_handle* primary, const PLDecodeHints& hints) {
  if (hints.minWidth <= 0 || hints.minHeight <= 0) return nullptr;
  const int w = heif_image_handle_get_width(primary), h = heif_image_handle_get_height(primary);
  if (w <= 0 || h <= 0) return nullptr;
  const int count = heif_image_handle_get_number_of_thumbnails(primary);
  if (count <= 0) return nullptr;
  std::vector<heif_item_id> ids(static_cast<size_t>(std::min(count, 16)));
  const int n = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), static_cast<int>(ids.size()));
  for (int i = 0; i < n; ++i) {
    heif_image_handle* raw = nullptr;
    if (heif_image_handle_get_thumbnail(primary, ids[static_cast<size_t>(i)], &raw).code != heif_error_Ok) continue;
    Handle thumb(raw);
    const int tw = heif_image_handle_get_width(raw), th = heif_image_handle_get_height(raw);
    // Same shape (a thumbnail of another crop would mislead) and large enough.
    const bool sameShape = std::abs(static_cast<double>(tw) / th - static_cast<double>(w) / h) < 0.02;
    if (sameShape && tw >= std::min(w, hints.minWidth) && th >= std::min(h, hints.minHeight)) return thumb;
  }
  return nullptr;
}

}  // namespace

bool PLIsHeif(const uint8_t* data, size_t size) {
  if (size < 12 || std::memcmp(data + 4, "ftyp", 4) != 0) return false;
  static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
  const size_t boxSize = std::min<size_t>(size, (uint32_t{data[0]} << 24) | (data[1] << 16) | (data[2] << 8) | data[3]);
  // The major brand, then the compatible brands after the minor version.
  for (size_t pos = 8; pos + 4 <= boxSize; pos += pos == 8 ? 8 : 4)
    for (const char* brand : kBrands)
      if (std::memcmp(data + pos, brand, 4) == 0) return true;
  return false;
}

PLBitmap PLDecodeHeif(const uint8_t* data, size_t size, const PLDecodeHints& hints, PLPictureInfo* info) {
  Context ctx(heif_context_alloc());
  if (!ctx) throw PLTextException("Not enough memory to decode the picture");
  // libheif allocates a grid picture's canvas from the grid's own claim:
  // no side may pass what the pixel limit allows a square picture.
  const double side = std::sqrt(static_cast<double>(PLPixelLimit()));
  heif_context_set_maximum_image_size_limit(ctx.get(), static_cast<int>(std::clamp(side, 64.0, 32768.0)));
  Check(heif_context_read_from_memory_without_copy(ctx.get(), data, size, nullptr), "HEIF file damaged");
  heif_image_handle* raw = nullptr;
  Check(heif_context_get_primary_image_handle(ctx.get(), &raw), "HEIF file without a picture");
  Handle primary(raw);
  const int width = heif_image_handle_get_width(raw), height = heif_image_handle_get_height(raw);
  if (width <= 0 || height <= 0) throw PLTextException("HEIF picture without pixels");
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > PLPixelLimit())
    throw PLTextException("HEIF picture too large: " + std::to_string(width) + " x " + std::to_string(height));
  // Video codecs reach a few thousand pixels per byte on flat pictures.
  PLCheckPixelsForData("HEIF", static_cast<uint64_t>(width), static_cast<uint64_t>(height), size, 1 << 14);
  const bool alpha = heif_image_handle_has_alpha_channel(raw) != 0;

  Handle thumbnail = CoveringThumbnail(raw, hints);
  heif_image_handle* source = thumbnail ? thumbnail.get() : raw;
  heif_image* decoded = nullptr;
  Check(heif_decode_image(source, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr),
        "HEIF decoding error");
  Image image(decoded);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  const int dw = heif_image_get_width(decoded, heif_channel_interleaved);
  const int dh = heif_image_get_height(decoded, heif_channel_interleaved);
  if (!plane || dw <= 0 || dh <= 0 || stride < dw * (alpha ? 4 : 3)) throw PLTextException("HEIF decoding error");

  PLBitmap bitmap(dw, dh, alpha ? 32 : 24);
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < dh; ++y) {
    const uint8_t* in = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    uint8_t* out = bitmap.Row(y);
    for (int x = 0; x < dw; ++x, in += channels, out += channels) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (alpha) out[3] = in[3];
    }
  }
  if (info) {
    info->width = width;
    info->height = height;
    info->bpp = bitmap.BitsPerPixel();
    info->exif = ExifOf(raw);
    info->exifOrientation = false;  // already turned by the container's boxes
  }
  return bitmap;
}
