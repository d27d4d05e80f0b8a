// GIF through giflib, from memory; the first image of the file, placed on
// its logical screen.
#include <gif_lib.h>

#include <cstring>
#include <memory>

#include "picture/DecoderSupport.h"
#include "picture/Decoders.h"

namespace {

struct MemoryInput {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int ReadProc(GifFileType* gif, GifByteType* out, int length) {
  auto* in = static_cast<MemoryInput*>(gif->UserData);
  if (length <= 0) return 0;
  const size_t count = std::min(static_cast<size_t>(length), in->size - in->pos);
  std::memcpy(out, in->data + in->pos, count);
  in->pos += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

PLTextException GifError(int code) {
  const char* text = GifErrorString(code);
  return PLTextException(std::string("GIF decoding error: ") + (text ? text : "unknown error"));
}

}  // namespace

bool PLIsGif(const uint8_t* data, size_t size) {
  return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

PLBitmap PLDecodeGif(const uint8_t* data, size_t size) {
  if (data == nullptr || !PLIsGif(data, size)) throw PLTextException("Not a GIF file");
  MemoryInput input{data, size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, ReadProc, &error));
  if (!gif) throw GifError(error);

  // Extensions before the first image are skipped; a file without image is an error.
  GifRecordType record = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) throw GifError(gif->Error);
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR) throw GifError(gif->Error);
      while (ext != nullptr)
        if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR) throw GifError(gif->Error);
    } else if (record == TERMINATE_RECORD_TYPE) {
      throw PLTextException("GIF file without an image");
    }
  } while (record != IMAGE_DESC_RECORD_TYPE);
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) throw GifError(gif->Error);

  const GifImageDesc& desc = gif->Image;
  if (desc.Width <= 0 || desc.Height <= 0) throw PLTextException("GIF image with an invalid size");
  // An LZW code stands for at most 4096 pixels.
  PLCheckPixelsForData("GIF", static_cast<uint64_t>(desc.Width), static_cast<uint64_t>(desc.Height), size, 4096);
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;

  // The logical screen frames the image when it holds it and is not absurd.
  int canvasW = desc.Width, canvasH = desc.Height, left = 0, top = 0;
  const int64_t screenArea = static_cast<int64_t>(gif->SWidth) * gif->SHeight;
  if (gif->SWidth >= desc.Left + desc.Width && gif->SHeight >= desc.Top + desc.Height &&
      screenArea <= static_cast<int64_t>(desc.Width) * desc.Height * 16 + (1 << 20)) {
    canvasW = gif->SWidth;
    canvasH = gif->SHeight;
    left = desc.Left;
    top = desc.Top;
  }
  PLBitmap bitmap(canvasW, canvasH, 8);
  auto& pal = bitmap.Palette();
  if (map != nullptr && map->Colors != nullptr) {
    const int n = std::min(map->ColorCount, 256);
    for (int i = 0; i < n; ++i) pal[static_cast<size_t>(i)] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
    pal.resize(static_cast<size_t>(std::max(n, 2)));
  } else {
    PLSetGrayPalette(bitmap, 256);
  }
  const uint8_t background = static_cast<uint8_t>(gif->SColorMap && gif->SBackGroundColor < static_cast<int>(pal.size()) ? gif->SBackGroundColor : 0);
  if (background != 0)
    for (int y = 0; y < canvasH; ++y) std::memset(bitmap.Row(y), background, static_cast<size_t>(canvasW));

  // Interlaced images arrive in four passes.
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = desc.Interlace ? 4 : 1;
  int linesRead = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = desc.Interlace ? kStart[pass] : 0, step = desc.Interlace ? kStep[pass] : 1;
    for (int y = start; y < desc.Height; y += step) {
      uint8_t* row = bitmap.Row(top + y) + left;
      if (DGifGetLine(gif.get(), row, desc.Width) == GIF_ERROR) {
        // A truncated file keeps the lines it had.
        if (linesRead == 0) throw GifError(gif->Error);
        return bitmap;
      }
      ++linesRead;
    }
  }
  return bitmap;
}
