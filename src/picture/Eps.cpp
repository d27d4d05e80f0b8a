// Encapsulated PostScript: we cannot run PostScript, so the picture is the
// preview that DOS EPS files carry beside it (TIFF, or else WMF).
#include <algorithm>
#include <string_view>

#include "picture/Decoders.h"
#include "picture/OwnDecodersInternal.h"

using namespace plown;

namespace {

constexpr uint8_t kEpsMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};

bool HasBinaryHeader(const uint8_t* data, size_t size) {
  return size >= 30 && std::memcmp(data, kEpsMagic, 4) == 0;
}

// A text EPS ("%!PS-Adobe-3.0 EPSF-3.0" on its first line) has no preview
// we can show, but is still recognised so the failure says why.
bool IsTextEps(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 80));
  if (text.substr(0, 4) != "%!PS") return false;
  std::string_view firstLine = text.substr(0, text.find_first_of("\r\n"));
  return firstLine.find("EPSF") != std::string_view::npos;
}

// Bytes [offset, offset + length) of the file, or nullptr when the section is absent.
const uint8_t* Section(const uint8_t* data, size_t size, uint32_t offset, uint32_t length, const char* what) {
  if (offset == 0 || length == 0) return nullptr;
  if (offset > size || length > size - offset)
    throw PLTextException(std::string("EPS file: the ") + what + " preview lies outside the file");
  return data + offset;
}

}  // namespace

bool PLIsEps(const uint8_t* data, size_t size) { return HasBinaryHeader(data, size) || IsTextEps(data, size); }

PLBitmap PLDecodeEps(const uint8_t* data, size_t size) {
  if (!HasBinaryHeader(data, size)) {
    if (IsTextEps(data, size)) throw PLTextException("EPS file has no TIFF preview");
    throw PLTextException("Not a valid EPS file");
  }
  uint32_t wmfOffset = GetU32LE(data + 12), wmfLength = GetU32LE(data + 16);
  uint32_t tiffOffset = GetU32LE(data + 20), tiffLength = GetU32LE(data + 24);
  if (const uint8_t* tiff = Section(data, size, tiffOffset, tiffLength, "TIFF")) return PLDecodeTiff(tiff, tiffLength);
  if (const uint8_t* wmf = Section(data, size, wmfOffset, wmfLength, "WMF")) return PLDecodeWmf(wmf, wmfLength);
  throw PLTextException("EPS file has no TIFF preview");
}
