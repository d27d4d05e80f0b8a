#include "describe/Id3v2.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text/Codepage.h"

// ---------------------------------------------------------------------------
// Byte sources

size_t MemoryByteReader::ReadAt(uint64_t offset, void* buf, size_t n) {
  if (offset >= size_) return 0;
  size_t count = std::min<uint64_t>(n, size_ - offset);
  std::memcpy(buf, data_ + offset, count);
  return count;
}

std::unique_ptr<FileByteReader> FileByteReader::Open(const std::string& path) {
  // Non-blocking, so that a FIFO named like a music file cannot stall a scan;
  // only regular files are read.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const int error = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : ESPIPE;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return std::unique_ptr<FileByteReader>(new FileByteReader(fd, static_cast<int64_t>(st.st_size)));
}

FileByteReader::~FileByteReader() { ::close(fd_); }

int64_t FileByteReader::Size() { return size_; }

size_t FileByteReader::ReadDirect(uint64_t offset, void* buf, size_t n) {
  size_t done = 0;
  auto* out = static_cast<uint8_t*>(buf);
  while (done < n) {
    ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && readError_ == 0) readError_ = errno;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t FileByteReader::ReadAt(uint64_t offset, void* buf, size_t n) {
  if (offset < kHeadBytes && !headLoaded_) {
    head_.resize(kHeadBytes);
    head_.resize(ReadDirect(0, head_.data(), kHeadBytes));
    headLoaded_ = true;
  }
  // A short head means the whole file is in it.
  if (headLoaded_ && (offset + n <= head_.size() || head_.size() < kHeadBytes)) {
    if (offset >= head_.size()) return 0;
    size_t count = std::min<uint64_t>(n, head_.size() - offset);
    std::memcpy(buf, head_.data() + offset, count);
    return count;
  }
  return ReadDirect(offset, buf, n);
}

// ---------------------------------------------------------------------------
// Frame table and result texts

const std::array<Id3FrameEntry, kId3FrameCount> Id3FrameTable = {{
    {"UFID", "UMI", "IDS_MP3_UFID", "IDS_MP3_UFID_L", Id3Read::Skip},
    {"TIT1", "TT1", "IDS_MP3_TIT1", "IDS_MP3_TIT1_L", Id3Read::Skip},
    {"TIT2", "TT2", "IDS_MP3_TIT2", "IDS_MP3_TIT2_L", Id3Read::Text},
    {"TIT3", "TT3", "IDS_MP3_TIT3", "IDS_MP3_TIT3_L", Id3Read::Text},
    {"TPE1", "TP1", "IDS_MP3_TPE1", "IDS_MP3_TPE1_L", Id3Read::Text},
    {"TPE2", "TP2", "IDS_MP3_TPE2", "IDS_MP3_TPE2_L", Id3Read::Text},
    {"TPE3", "TP3", "IDS_MP3_TPE3", "IDS_MP3_TPE3_L", Id3Read::Text},
    {"TPE4", "TP4", "IDS_MP3_TPE4", "IDS_MP3_TPE4_L", Id3Read::Skip},
    {"TCOM", "TCM", "IDS_MP3_TCOM", "IDS_MP3_TCOM_L", Id3Read::Text},
    {"TEXT", "TXT", "IDS_MP3_TEXT", "IDS_MP3_TEXT_L", Id3Read::Skip},
    {"TCON", "TCO", "IDS_MP3_TCON", "IDS_MP3_TCON_L", Id3Read::Text},
    {"TALB", "TAL", "IDS_MP3_TALB", "IDS_MP3_TALB_L", Id3Read::Text},
    {"TRCK", "TRK", "IDS_MP3_TRCK", "IDS_MP3_TRCK_L", Id3Read::Text},
    {"TYER", "TYE", "IDS_MP3_TYER", "IDS_MP3_TYER_L", Id3Read::Text},
    {"TDAT", "TDA", "IDS_MP3_TDAT", "IDS_MP3_TDAT_L", Id3Read::Skip},
    {"TIME", "TIM", "IDS_MP3_TIME", "IDS_MP3_TIME_L", Id3Read::Skip},
    {"TMED", "TMT", "IDS_MP3_TMED", "IDS_MP3_TMED_L", Id3Read::Skip},
    {"TBPM", "TBM", "IDS_MP3_TBPM", "IDS_MP3_TBPM_L", Id3Read::Skip},
    {"TCOP", "TCR", "IDS_MP3_TCOP", "IDS_MP3_TCOP_L", Id3Read::Skip},
    {"TPUB", "TPB", "IDS_MP3_TPUB", "IDS_MP3_TPUB_L", Id3Read::Skip},
    {"WPUB", "TWW", "IDS_MP3_WPUB", "IDS_MP3_WPUB_L", Id3Read::Skip},
    {"TENC", "TMB", "IDS_MP3_TENC", "IDS_MP3_TENC_L", Id3Read::Skip},
    {"TSSE", "TSS", "IDS_MP3_TSSE", "IDS_MP3_TSSE_L", Id3Read::Skip},
    {"TOFN", "TOF", "IDS_MP3_TOFN", "IDS_MP3_TOFN_L", Id3Read::Skip},
    {"TLEN", "TLE", "IDS_MP3_TLEN", "IDS_MP3_TLEN_L", Id3Read::Skip},
    {"TSIZ", "TSI", "IDS_MP3_TSIZ", "IDS_MP3_TSIZ_L", Id3Read::Text},
    {"TDLY", "TDY", "IDS_MP3_TDLY", "IDS_MP3_TDLY_L", Id3Read::Skip},
    {"TKEY", "TKE", "IDS_MP3_TKEY", "IDS_MP3_TKEY_L", Id3Read::Skip},
    {"TXXX", "TXX", "IDS_MP3_TXXX", "IDS_MP3_TXXX_L", Id3Read::Skip},
    {"IPLS", "IPL", "IDS_MP3_IPLS", "IDS_MP3_IPLS_L", Id3Read::Skip},
    {"MCDI", "MCI", "IDS_MP3_MCDI", "IDS_MP3_MCDI_L", Id3Read::Skip},
    {"ETCO", "ETC", "IDS_MP3_ETCO", "IDS_MP3_ETCO_L", Id3Read::Skip},
    {"SYTC", "STC", "IDS_MP3_SYTC", "IDS_MP3_SYTC_L", Id3Read::Skip},
    {"USLT", "ULT", "IDS_MP3_USLT", "IDS_MP3_USLT_L", Id3Read::Skip},
    {"SYLT", "SLT", "IDS_MP3_SYLT", "IDS_MP3_SYLT_L", Id3Read::Skip},
    {"COMM", "COM", "IDS_MP3_COMM", "IDS_MP3_COMM_L", Id3Read::TextAfterLanguage},
    {"RVAD", "RVA", "IDS_MP3_RVAD", "IDS_MP3_RVAD_L", Id3Read::Skip},
    {"EQUA", "EQU", "IDS_MP3_EQUA", "IDS_MP3_EQUA_L", Id3Read::Skip},
    {"RVRB", "REV", "IDS_MP3_RVRB", "IDS_MP3_RVRB_L", Id3Read::Skip},
    {"APIC", "PIC", "IDS_MP3_APIC", "IDS_MP3_APIC_L", Id3Read::Skip},
    {"GEOB", "GEO", "IDS_MP3_GEOB", "IDS_MP3_GEOB_L", Id3Read::Skip},
    {"PCNT", "CNT", "IDS_MP3_PCNT", "IDS_MP3_PCNT_L", Id3Read::Skip},
    {"POPM", "POP", "IDS_MP3_POPM", "IDS_MP3_POPM_L", Id3Read::Skip},
    {"RBUF", "BUF", "IDS_MP3_RBUF", "IDS_MP3_RBUF_L", Id3Read::Skip},
    {"ENCR", "CRM", "IDS_MP3_ENCR", "IDS_MP3_ENCR_L", Id3Read::Skip},
    {"AENC", "CRA", "IDS_MP3_AENC", "IDS_MP3_AENC_L", Id3Read::Skip},
    {"BRAT", "BRA", "IDS_MP3_RATE", "IDS_MP3_RATE_L", Id3Read::Skip},
    {"FREQ", "FRQ", "IDS_MP3_FREQ", "IDS_MP3_FREQ_L", Id3Read::Skip},
}};

const char* Id3ResultText(int code) {
  static const char* const kTexts[] = {
      "No Error",
      "Not implemented yet",
      "Out of Memory",
      "No ID3V2 Tag found",
      "Cannot open file",
      "Reading file failed",
      "Writing file failed",
      "Tag Identifier Error",
      "No more Frames in Header",
      "ID3 Frame corrupt",
      "Internal Error: Buffer too small",
      "Error reading Tag. Tag corrupt",
      "Unsupported string-encoding found",
      "Failed to delete original File",
      "Failed to move temporary file into old position",
      "Old Tag is not big enough",
      "String out of range",
  };
  if (code < 0 || code >= static_cast<int>(std::size(kTexts))) return "";
  return kTexts[code];
}

int Id3FrameIndexV23(const char* id, size_t len) {
  if (len != 4) return -1;
  for (size_t i = 0; i < kId3FrameCount; ++i)
    if (std::memcmp(Id3FrameTable[i].id23, id, 4) == 0) return static_cast<int>(i);
  return -1;
}

int Id3FrameIndexV22(const char* id, size_t len) {
  if (len != 3) return -1;
  for (size_t i = 0; i < kId3FrameCount; ++i)
    if (std::memcmp(Id3FrameTable[i].id22, id, 3) == 0) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------
// Text frames

namespace {

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

}  // namespace

int DecodeId3TextFrame(const uint8_t* data, size_t size, bool afterLanguage, std::string& slot, int major) {
  if (size <= 1) return ID3_TAG_CORRUPT;
  size_t start = 1;
  if (afterLanguage) {
    if (size <= 4) return ID3_TAG_CORRUPT;
    start = 4;
  }
  const uint8_t encoding = data[0];
  // ID3v2.4 adds UTF-16 big-endian without a mark (2) and UTF-8 (3).
  if (encoding > (major >= 4 ? 3 : 1)) return ID3_BAD_ENCODING;
  // A byte past the frame's end reads as zero, which ends an unterminated string.
  auto at = [&](size_t i) -> uint8_t { return i < size ? data[i] : 0; };
  size_t p = start;
  while (p < size) {
    if (encoding == 0 || encoding == 3) {
      const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data + p, 0, size - p));
      size_t end = zero ? static_cast<size_t>(zero - data) : size;
      const std::string_view text(reinterpret_cast<const char*>(data + p), end - p);
      slot = encoding == 0 ? Cp1252ToUtf8(text) : SanitizeUtf8(text);
      p = end + 1;
    } else {
      // Each string may open with its own byte-order mark; without one the
      // units are little-endian, or big-endian for encoding 2.
      bool bigEndian = encoding == 2;
      if (at(p) == 0xFE && at(p + 1) == 0xFF) {
        bigEndian = true;
        p += 2;
      } else if (at(p) == 0xFF && at(p + 1) == 0xFE) {
        bigEndian = false;
        p += 2;
      }
      std::u16string units;
      for (;; p += 2) {
        uint8_t a = at(p), b = at(p + 1);
        if (a == 0 && b == 0) break;
        units.push_back(bigEndian ? static_cast<char16_t>((a << 8) | b) : static_cast<char16_t>((b << 8) | a));
      }
      slot = Utf16ToUtf8(units);
      p += 2;
    }
    // Zero bytes after the last terminator are padding, not an empty string.
    if (p < size && AllZero(data + p, size - p)) break;
  }
  return ID3_OK;
}

// ---------------------------------------------------------------------------
// Tag walk

namespace {

struct TagContext {
  IByteReader& src;
  int64_t fileSize = -1;
  uint32_t tagSize = 0;
  uint8_t major = 0;
  uint8_t revision = 0;
  uint8_t tagFlags = 0;
  char id[5] = {};
  uint8_t flags[2] = {};
  int tableIndex = -1;  // entry of the current frame, -1 when none
  std::vector<uint8_t> data;
  uint64_t position = 0;  // tag bytes consumed (frame headers and data)

  explicit TagContext(IByteReader& s) : src(s) {}
};

uint32_t Synchsafe(const uint8_t* p) {
  return (uint32_t(p[0] & 0x7F) << 21) | (uint32_t(p[1] & 0x7F) << 14) | (uint32_t(p[2] & 0x7F) << 7) | (p[3] & 0x7F);
}

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

int OpenTag(TagContext& ctx) {
  uint8_t header[10];
  if (ctx.src.ReadAt(0, header, 10) != 10) return ID3_READ_FAILED;
  if (std::memcmp(header, "ID3", 3) != 0) return ID3_NO_TAG;
  for (int i = 6; i < 10; ++i)
    if (header[i] >= 0x80) return ID3_NO_TAG;
  ctx.tagSize = Synchsafe(header + 6);
  ctx.major = header[3];
  if (ctx.major > 4) return ID3_NO_TAG;
  ctx.revision = header[4];
  ctx.tagFlags = header[5];
  ctx.fileSize = ctx.src.Size();
  ctx.position = 0;
  // An ID3v2.4 extended header gives its own size, itself included; it holds
  // nothing shown.
  if (ctx.major == 4 && (ctx.tagFlags & 0x40)) {
    uint8_t ext[4];
    if (ctx.src.ReadAt(10, ext, 4) != 4) return ID3_READ_FAILED;
    ctx.position = std::min<uint64_t>(Synchsafe(ext), ctx.tagSize);
  }
  return ID3_OK;
}

// Undoes unsynchronisation: every 0xFF 0x00 pair stands for 0xFF.
void Resynchronise(std::vector<uint8_t>& data) {
  size_t out = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    data[out++] = data[i];
    if (data[i] == 0xFF && i + 1 < data.size() && data[i + 1] == 0x00) ++i;
  }
  data.resize(out);
}

// Inflates a compressed frame's zlib stream to its declared length.
// keep: store the output in out; otherwise only check the length.
int InflateFrame(const uint8_t* in, size_t inSize, uint32_t declared, bool keep, std::vector<uint8_t>& out) {
  // Deflate cannot expand beyond about 1032:1; a larger claim is a lie and is
  // refused before anything is allocated for it.
  if (static_cast<uint64_t>(declared) > static_cast<uint64_t>(inSize) * 1032 + 64) return ID3_FRAME_CORRUPT;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return ID3_OUT_OF_MEMORY;
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(inSize);
  std::vector<uint8_t> result;
  uint8_t scratch[16384];
  uint64_t produced = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = scratch;
    zs.avail_out = sizeof scratch;
    rc = inflate(&zs, Z_NO_FLUSH);
    size_t got = sizeof scratch - zs.avail_out;
    produced += got;
    if (produced > declared) break;  // longer than declared
    if (keep) result.insert(result.end(), scratch, scratch + got);
    if (rc == Z_OK && got == 0 && zs.avail_in == 0) break;  // input ended mid-stream
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || produced != declared) return ID3_FRAME_CORRUPT;
  if (keep) out.swap(result);
  return ID3_OK;
}

// Reads the next frame header and, when wanted, its data into ctx.data.
int ReadNextFrame(TagContext& ctx) {
  const size_t headerSize = ctx.major == 2 ? 6 : 10;
  if (ctx.tagSize - ctx.position < headerSize) return ID3_NO_MORE_FRAMES;
  uint8_t h[10];
  if (ctx.src.ReadAt(10 + ctx.position, h, headerSize) != headerSize) return ID3_READ_FAILED;
  ctx.position += headerSize;

  size_t idLen;
  uint32_t dataSize;
  if (ctx.major == 2) {
    idLen = 3;
    dataSize = (uint32_t(h[3]) << 16) | (uint32_t(h[4]) << 8) | h[5];
    ctx.flags[0] = ctx.flags[1] = 0;
  } else {
    idLen = 4;
    // ID3v2.4 sizes are synchsafe; some writers put plain numbers there,
    // which a byte with its top bit set gives away.
    const bool plain = ctx.major == 3 || ((h[4] | h[5] | h[6] | h[7]) & 0x80) != 0;
    dataSize = plain ? BigEndian32(h + 4) : Synchsafe(h + 4);
    ctx.flags[0] = h[8];
    ctx.flags[1] = h[9];
  }
  for (size_t i = 0; i < idLen; ++i) {
    char c = static_cast<char>(h[i]);
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return ID3_BAD_IDENTIFIER;
  }
  // Checked before anything is allocated: a size beyond the tag ends the walk.
  if (ctx.tagSize - ctx.position < dataSize) return ID3_FRAME_CORRUPT;
  const uint64_t dataOffset = 10 + ctx.position;
  if (ctx.fileSize >= 0 && dataOffset + dataSize > static_cast<uint64_t>(ctx.fileSize)) return ID3_READ_FAILED;

  if (ctx.major == 2) {
    ctx.tableIndex = Id3FrameIndexV22(reinterpret_cast<const char*>(h), 3);
    if (ctx.tableIndex >= 0) {
      std::memcpy(ctx.id, Id3FrameTable[ctx.tableIndex].id23, 5);
    } else {
      std::memcpy(ctx.id, h, 3);
      ctx.id[3] = ctx.id[4] = 0;
    }
  } else {
    std::memcpy(ctx.id, h, 4);
    ctx.id[4] = 0;
    ctx.tableIndex = Id3FrameIndexV23(ctx.id, 4);
    // ID3v2.4 has no year frame: its recording time starts with the year.
    if (ctx.major == 4 && std::memcmp(ctx.id, "TDRC", 4) == 0) ctx.tableIndex = SLOT_TYER;
  }
  const bool wanted = ctx.tableIndex >= 0 && Id3FrameTable[ctx.tableIndex].read != Id3Read::Skip;
  const bool v24 = ctx.major == 4;
  const bool compressed = (ctx.flags[1] & (v24 ? 0x08 : 0x80)) != 0;

  // Frames nobody reads are passed over unread, unless compressed: a corrupt
  // compressed frame still ends the walk.
  if (wanted || compressed) {
    try {
      ctx.data.resize(dataSize);
    } catch (const std::bad_alloc&) {
      return ID3_OUT_OF_MEMORY;
    }
    if (ctx.src.ReadAt(dataOffset, ctx.data.data(), dataSize) != dataSize) return ID3_READ_FAILED;
  } else {
    ctx.data.clear();
  }
  ctx.position += dataSize;
  if (ctx.data.empty() && !compressed) return ID3_OK;

  try {
    // What precedes the data of an ID3v2.4 frame: a group byte, an
    // encryption method byte and the synchsafe length before compression
    // and unsynchronisation, each when its flag says.
    size_t skip = 0;
    uint32_t declared = 0;
    bool encrypted = false;
    if (v24) {
      if (ctx.flags[1] & 0x40) skip += 1;
      if (ctx.flags[1] & 0x04) skip += 1, encrypted = true;
      if (ctx.flags[1] & 0x01) {
        if (ctx.data.size() < skip + 4) return ID3_FRAME_CORRUPT;
        declared = Synchsafe(ctx.data.data() + skip);
        skip += 4;
      } else if (compressed) {
        return ID3_FRAME_CORRUPT;  // nothing tells how long the inflated data is
      }
      if (ctx.data.size() < skip) return ID3_FRAME_CORRUPT;
      ctx.data.erase(ctx.data.begin(), ctx.data.begin() + static_cast<std::ptrdiff_t>(skip));
      if ((ctx.flags[1] & 0x02) || (ctx.tagFlags & 0x80)) Resynchronise(ctx.data);
    } else if (compressed) {
      if (ctx.data.size() < 4) return ID3_FRAME_CORRUPT;
      declared = BigEndian32(ctx.data.data());
      ctx.data.erase(ctx.data.begin(), ctx.data.begin() + 4);
    }
    // Encrypted data cannot be read: the frame contributes nothing.
    if (encrypted) {
      ctx.data.clear();
      ctx.tableIndex = -1;
      return ID3_OK;
    }
    if (compressed) {
      std::vector<uint8_t> inflated;
      int rc = InflateFrame(ctx.data.data(), ctx.data.size(), declared, wanted, inflated);
      if (rc != ID3_OK) return rc;
      ctx.data.swap(inflated);
    }
  } catch (const std::bad_alloc&) {
    return ID3_OUT_OF_MEMORY;
  }
  return ID3_OK;
}

}  // namespace

int ReadId3v2Tag(IByteReader& src, TagValues& values, int64_t& audioStart) {
  TagContext ctx(src);
  int rc = OpenTag(ctx);
  if (rc != ID3_OK) return rc;
  while (ReadNextFrame(ctx) == ID3_OK) {
    if (ctx.tableIndex < 0) continue;
    const Id3FrameEntry& entry = Id3FrameTable[ctx.tableIndex];
    if (entry.read == Id3Read::Skip) continue;
    // A text frame that cannot be decoded contributes nothing; the walk goes on.
    DecodeId3TextFrame(ctx.data.data(), ctx.data.size(), entry.read == Id3Read::TextAfterLanguage,
                       values.slots[ctx.tableIndex], ctx.major);
    std::string& slot = values.slots[ctx.tableIndex];
    if (ctx.tableIndex == SLOT_TYER && slot.size() > 4 &&
        std::all_of(slot.begin(), slot.begin() + 4, [](char c) { return c >= '0' && c <= '9'; }))
      slot.resize(4);  // "2001-05-03" of a recording time
  }
  // An ID3v2.4 footer repeats the header after the frames.
  const bool footer = ctx.major == 4 && (ctx.tagFlags & 0x10);
  audioStart = static_cast<int64_t>(ctx.tagSize) + (footer ? 20 : 10);
  return ID3_OK;
}

int ReadId3v2Tag(const std::string& path, TagValues& values, int64_t& audioStart) {
  auto src = FileByteReader::Open(path);
  if (!src) return ID3_CANNOT_OPEN;
  return ReadId3v2Tag(*src, values, audioStart);
}
