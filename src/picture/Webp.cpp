// WebP through libwebp (and its demuxer for the EXIF chunk), from memory.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>

#include "picture/DecoderSupport.h"
#include "picture/Decoders.h"

bool PLIsWebp(const uint8_t* data, size_t size) {
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

PLBitmap PLDecodeWebp(const uint8_t* data, size_t size, PLPictureInfo* info) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) throw PLTextException("WebP header damaged");
  if (features.width <= 0 || features.height <= 0) throw PLTextException("WebP picture without pixels");
  // Lossless data codes a few pixels per bit at best; VP8 about 1,000 per byte.
  PLCheckPixelsForData("WebP", static_cast<uint64_t>(features.width), static_cast<uint64_t>(features.height), size,
                       4096);
  const bool alpha = features.has_alpha != 0;
  PLBitmap bitmap(features.width, features.height, alpha ? 32 : 24);
  const size_t stride = bitmap.Stride();
  const size_t total = stride * static_cast<size_t>(features.height);
  const uint8_t* ok = alpha ? WebPDecodeBGRAInto(data, size, bitmap.Row(0), total, static_cast<int>(stride))
                            : WebPDecodeBGRInto(data, size, bitmap.Row(0), total, static_cast<int>(stride));
  if (!ok) throw PLTextException("WebP decoding error");
  if (info) {
    info->width = features.width;
    info->height = features.height;
    info->bpp = bitmap.BitsPerPixel();
    info->exifOrientation = true;
    WebPData whole{data, size};
    if (WebPDemuxer* demux = WebPDemux(&whole)) {
      WebPChunkIterator chunk;
      if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
        info->exif.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
      }
      WebPDemuxDelete(demux);
    }
  }
  return bitmap;
}
