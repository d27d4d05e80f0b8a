// Recognises a picture by its content and hands it to its decoder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "picture/Decoders.h"

#if __has_include("picture/OwnDecoders.h")
#include "picture/OwnDecoders.h"
#define QV_HAVE_OWN_DECODERS 1
#endif

namespace {

void FillInfo(const PLBitmap& bitmap, PLPictureInfo* info) {
  if (!info) return;
  info->width = bitmap.Width();
  info->height = bitmap.Height();
  info->bpp = bitmap.BitsPerPixel();
}

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

namespace {

PLBitmap Dispatch(const uint8_t* data, size_t size, const PLDecodeHints& hints, PLPictureInfo* info) {
  if (PLIsJpeg(data, size)) {
    PLBitmap bitmap = PLDecodeJpeg(data, size, hints, info);
    if (info) {
      info->exif = PLFindExif(data, size);
      info->exifOrientation = true;
    }
    return bitmap;
  }
  if (PLIsWebp(data, size)) return PLDecodeWebp(data, size, info);
  if (PLIsHeif(data, size)) return PLDecodeHeif(data, size, hints, info);

  PLBitmap bitmap;
  if (PLIsPng(data, size)) {
    bitmap = PLDecodePng(data, size);
  } else if (PLIsGif(data, size)) {
    bitmap = PLDecodeGif(data, size);
  } else if (PLIsTiff(data, size)) {
    int storedTurn = 1;
    bitmap = PLDecodeTiff(data, size, info ? &storedTurn : nullptr);
    if (info) {
      info->exif = PLFindExif(data, size);
      info->exifOrientation = storedTurn != 1;  // its IFD's orientation is the EXIF one
    }
  } else if (PLIsBmp(data, size)) {
    bitmap = PLDecodeBmp(data, size);
#ifdef QV_HAVE_OWN_DECODERS
  } else if (PLIsPcx(data, size)) {
    bitmap = PLDecodePcx(data, size);
  } else if (PLIsPnm(data, size)) {
    bitmap = PLDecodePnm(data, size);
  } else if (PLIsEps(data, size)) {
    bitmap = PLDecodeEps(data, size);
  } else if (PLIsWmf(data, size)) {
    bitmap = PLDecodeWmf(data, size);
  } else if (PLIsEmf(data, size)) {
    bitmap = PLDecodeEmf(data, size);
  } else if (PLIsPict(data, size)) {
    bitmap = PLDecodePict(data, size);
  } else if (PLIsTga(data, size)) {  // no signature: the last guess
    bitmap = PLDecodeTga(data, size);
#endif
  } else {
    throw PLTextException("Unknown picture format");
  }
  FillInfo(bitmap, info);
  return bitmap;
}

}  // namespace

PLBitmap PLDecodePicture(const uint8_t* data, size_t size, const PLDecodeHints& hints, PLPictureInfo* info) {
  if (data == nullptr || size == 0) throw PLTextException("Empty picture file");
  try {
    return Dispatch(data, size, hints, info);
  } catch (const std::bad_alloc&) {
    throw PLTextException("Not enough memory to decode the picture");
  } catch (const std::length_error&) {
    throw PLTextException("Not enough memory to decode the picture");
  }
}

PLBitmap PLDecodePictureFile(const std::string& path, const PLDecodeHints& hints, PLPictureInfo* info) {
  // Read into memory rather than mapped: a medium that goes away while a
  // mapping is read would kill the process.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PLTextException(SystemError("Cannot open", path));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw PLTextException("Cannot read " + path + ": not a regular file");
  }
  constexpr off_t kLargest = off_t{1} << 30;
  if (st.st_size > kLargest) {
    ::close(fd);
    throw PLTextException("Picture file too large: " + path);
  }
  std::vector<uint8_t> data;
  try {
    data.resize(static_cast<size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    ::close(fd);
    throw PLTextException("Not enough memory to read " + path);
  }
  size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string message = SystemError("Cannot read", path);
      ::close(fd);
      throw PLTextException(message);
    }
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return PLDecodePicture(data.data(), got, hints, info);
}
