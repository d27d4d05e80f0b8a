#include "catalog/CatalogStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "text/Codepage.h"

namespace {

constexpr const char* kReadKey = "IDS_FILEREADERROR";
constexpr const char* kWriteKey = "IDS_FILEWRITEERROR";
constexpr const char* kMemKey = "IDS_MEMERROR";

constexpr size_t kIoBufferSize = 65536;
// The smallest item records: a class-reference tag and the fields of the
// oldest layout, and the same in a version-4 block.
constexpr uint64_t kMinRecordOld = 15;
constexpr uint64_t kMinRecordV4 = 21;
// Deflate cannot expand data by more than this factor (258-byte matches of
// two bits each), so a block cannot honestly inflate to more.
constexpr uint64_t kMaxInflateRatio = 1032;

[[noreturn]] void ReadError(const std::string& text) { throw CCatalogException(kReadKey, text); }
[[noreturn]] void WriteError(const std::string& text) { throw CCatalogException(kWriteKey, text); }
[[noreturn]] void EndOfData() { ReadError("unexpected end of file"); }

// The serialisable classes, in the order of their stream names.
enum ClassId : int8_t { CLS_ITEM, CLS_APPLI, CLS_MEDIA, CLS_CD, CLS_DVD, CLS_DIR, CLS_REM, CLS_NONE = -1 };
constexpr const char* kClassNames[] = {"CFileItem",        "CFileItemAppli",    "CFileItemMedia",   "CFileItemMediaCD",
                                       "CFileItemMediaDVD", "CFileItemMediaDir", "CFileItemMediaRem"};
constexpr uint16_t kSchema = 1;

int8_t ClassIdOf(std::string_view name) {
  for (int8_t i = 0; i < static_cast<int8_t>(std::size(kClassNames)); ++i)
    if (name == kClassNames[i]) return i;
  return CLS_NONE;
}

std::unique_ptr<CFileItem> NewItem(int8_t cls) {
  switch (cls) {
    case CLS_ITEM: return std::make_unique<CFileItem>();
    case CLS_APPLI: return std::make_unique<CFileItemAppli>();
    case CLS_MEDIA: return std::make_unique<CFileItemMedia>();
    case CLS_CD: return std::make_unique<CFileItemMediaCD>();
    case CLS_DVD: return std::make_unique<CFileItemMediaDVD>();
    case CLS_DIR: return std::make_unique<CFileItemMediaDir>();
    default: return std::make_unique<CFileItemMediaRem>();
  }
}

bool IsAscii(const uint8_t* p, size_t n) {
  uint8_t acc = 0;
  for (size_t i = 0; i < n; ++i) acc |= p[i];
  return acc < 0x80;
}

std::string Printable(std::string_view bytes) {
  std::string s = Cp1252ToUtf8(bytes.substr(0, 64));
  if (bytes.size() > 64) s += "...";
  return s;
}

// ---------------------------------------------------------------------------
// Reading

// Bytes in, little-endian, either from memory or buffered over a source.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : cur_(data), end_(data + size), start_(data) {}
  explicit Input(ICatalogSource& source) : src_(&source), buf_(kIoBufferSize) {
    cur_ = end_ = start_ = buf_.data();
  }

  // Bytes of the stream consumed so far.
  uint64_t Position() const { return fetched_ - static_cast<uint64_t>(end_ - cur_); }

  uint8_t U8() {
    if (cur_ == end_) Fill(1);
    return *cur_++;
  }
  uint16_t U16() {
    if (end_ - cur_ < 2) Fill(2);
    const uint16_t v = static_cast<uint16_t>(cur_[0] | (cur_[1] << 8));
    cur_ += 2;
    return v;
  }
  uint32_t U32() {
    if (end_ - cur_ < 4) Fill(4);
    const uint32_t v = static_cast<uint32_t>(cur_[0]) | (static_cast<uint32_t>(cur_[1]) << 8) |
                       (static_cast<uint32_t>(cur_[2]) << 16) | (static_cast<uint32_t>(cur_[3]) << 24);
    cur_ += 4;
    return v;
  }
  uint32_t Count() {
    const uint16_t w = U16();
    return w == 0xFFFF ? U32() : w;
  }

  // Bytes left when known.
  std::optional<uint64_t> Remaining() const {
    const uint64_t here = static_cast<uint64_t>(end_ - cur_);
    if (!src_) return here;
    const auto more = src_->Remaining();
    if (!more) return std::nullopt;
    return here + *more;
  }

  bool AtEnd() {
    if (cur_ != end_) return false;
    return !TryFill(1);
  }

  // n bytes when they lie in the buffer already, else null.
  const uint8_t* Peek(uint64_t n) const {
    return static_cast<uint64_t>(end_ - cur_) >= n ? cur_ : nullptr;
  }
  void Skip(size_t n) { cur_ += n; }

  void ReadExact(uint8_t* dst, size_t n) {
    size_t have = static_cast<size_t>(end_ - cur_);
    if (have >= n) {
      std::memcpy(dst, cur_, n);
      cur_ += n;
      return;
    }
    if (have) std::memcpy(dst, cur_, have);
    cur_ += have;
    dst += have;
    n -= have;
    if (!src_) EndOfData();
    if (n >= buf_.size()) {
      while (n) {
        const size_t got = src_->Read(dst, n);
        if (got == 0) EndOfData();
        fetched_ += got;
        dst += got;
        n -= got;
      }
      return;
    }
    Fill(n);
    std::memcpy(dst, cur_, n);
    cur_ += n;
  }

  // Reads n bytes into v. A count larger than the data cannot make a large
  // allocation: it is checked against what is left when that is known and
  // otherwise the vector grows only as data arrives.
  void ReadInto(std::vector<uint8_t>& v, uint64_t n) {
    const auto left = Remaining();
    if (left && n > *left) EndOfData();
    if (left) {
      v.resize(static_cast<size_t>(n));
      ReadExact(v.data(), v.size());
      return;
    }
    v.clear();
    while (v.size() < n) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(n - v.size(), 1u << 20));
      const size_t at = v.size();
      v.resize(at + chunk);
      ReadExact(v.data() + at, chunk);
    }
  }

  // Appends n bytes to s, with the same care as ReadInto.
  void AppendTo(std::string& s, uint64_t n) {
    const auto left = Remaining();
    if (left && n > *left) EndOfData();
    while (n) {
      if (cur_ == end_) Fill(1);
      const size_t take = static_cast<size_t>(std::min<uint64_t>(n, static_cast<uint64_t>(end_ - cur_)));
      s.append(reinterpret_cast<const char*>(cur_), take);
      cur_ += take;
      n -= take;
    }
  }

 private:
  [[gnu::noinline]] bool TryFill(size_t need) {
    if (!src_) return false;
    const size_t have = static_cast<size_t>(end_ - cur_);
    if (have && cur_ != buf_.data()) std::memmove(buf_.data(), cur_, have);
    cur_ = buf_.data();
    end_ = cur_ + have;
    while (static_cast<size_t>(end_ - cur_) < need) {
      const size_t got = src_->Read(buf_.data() + (end_ - cur_), buf_.size() - static_cast<size_t>(end_ - cur_));
      if (got == 0) return false;
      fetched_ += got;
      end_ += got;
    }
    return true;
  }
  [[gnu::noinline]] void Fill(size_t need) {
    if (!TryFill(need)) EndOfData();
  }

  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* start_ = nullptr;
  ICatalogSource* src_ = nullptr;
  std::vector<uint8_t> buf_;
  // Bytes taken from the source (for memory, all of it, consumed or not).
  uint64_t fetched_ = static_cast<uint64_t>(end_ - start_);
};

// Class and object numbering of one load archive: entry k stands for index
// k + 1 and holds the class of a class entry, or CLS_NONE for an object.
struct LoadMap {
  std::vector<int8_t> entries;          // class id, or CLS_NONE for an object
  std::vector<const CFileItem*> objects;  // parallel: the item read, for objects
};

void ReadString(Input& in, std::string& out) {
  bool wide = false;
  uint64_t len = in.U8();
  if (len == 0xFF) {
    uint16_t w = in.U16();
    if (w == 0xFFFE) {
      wide = true;
      len = in.U8();
      if (len == 0xFF) w = in.U16();
    }
    if (len == 0xFF) len = w < 0xFFFF ? w : in.U32();
  }
  if (len == 0) {
    out.clear();
    return;
  }
  if (wide) {
    std::string raw;
    in.AppendTo(raw, len * 2);
    std::u16string units(static_cast<size_t>(len), u'\0');
    for (size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
    out = Utf16ToUtf8(units, true);  // escaped bytes of Linux names come back as they went
    return;
  }
  if (const uint8_t* p = in.Peek(len)) {
    if (IsAscii(p, static_cast<size_t>(len)))
      out.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
    else
      out = Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(len)));
    in.Skip(static_cast<size_t>(len));
    return;
  }
  std::string raw;
  in.AppendTo(raw, len);
  if (IsAscii(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()))
    out = std::move(raw);
  else
    out = Cp1252ToUtf8(raw);
}

void ReadThumbnail(Input& in, CFileItem& item) {
  item.thumbnail = std::make_unique<PLBitmap>();
  const uint32_t n = in.U32();
  if (n == 0) return;
  std::vector<uint8_t> copy;
  const uint8_t* bytes = in.Peek(n);
  if (bytes) {
    in.Skip(n);
  } else {
    in.ReadInto(copy, n);
    bytes = copy.data();
  }
  try {
    *item.thumbnail = PLDecodeBmp(bytes, n);
  } catch (const PLTextException&) {
    // A damaged picture costs the item its thumbnail, not the catalog.
    item.thumbnail.reset();
    return;
  }
  // Thumbnails are stored uncompressed; one that unpacks to far more than its
  // bytes (run-length bombs) would let a small file claim a lot of memory.
  const uint64_t held = static_cast<uint64_t>(item.thumbnail->Stride()) * static_cast<uint64_t>(item.thumbnail->Height());
  if (held > 16 * static_cast<uint64_t>(n) + 65536) item.thumbnail.reset();
}

std::unique_ptr<CFileItem> ReadItem(Input& in, LoadMap& map, int version) {
  const uint16_t tag = in.U16();
  const uint32_t obTag = tag == 0x7FFF ? in.U32() : ((static_cast<uint32_t>(tag & 0x8000) << 16) | (tag & 0x7FFF));
  if (!(obTag & 0x80000000u)) {
    // A null list entry would be an empty slot every later step trips over.
    if (obTag == 0) ReadError("null object where an item was expected");
    // A reference repeats an item read before in the same archive; the list
    // owns each item once, so it gets a copy of that item.
    if (obTag > map.entries.size() || map.objects[obTag - 1] == nullptr)
      ReadError("reference to unknown object " + std::to_string(obTag));
    return map.objects[obTag - 1]->Clone();
  }
  int8_t cls;
  if (tag == 0xFFFF) {
    const uint16_t schema = in.U16();
    const uint16_t nameLength = in.U16();
    if (const uint8_t* p = in.Peek(nameLength)) {
      cls = ClassIdOf(std::string_view(reinterpret_cast<const char*>(p), nameLength));
      if (cls == CLS_NONE) ReadError("unknown class name " + Printable({reinterpret_cast<const char*>(p), nameLength}));
      in.Skip(nameLength);
    } else {
      std::string name;
      in.AppendTo(name, nameLength);
      cls = ClassIdOf(name);
      if (cls == CLS_NONE) ReadError("unknown class name " + Printable(name));
    }
    if (schema != kSchema)
      ReadError("wrong schema " + std::to_string(schema) + " for class " + kClassNames[cls]);
    map.entries.push_back(cls);
    map.objects.push_back(nullptr);
  } else {
    const uint32_t index = obTag & 0x7FFFFFFFu;
    if (index == 0 || index > map.entries.size() || map.entries[index - 1] == CLS_NONE)
      ReadError("bad class index " + std::to_string(index));
    cls = map.entries[index - 1];
  }
  map.entries.push_back(CLS_NONE);

  auto item = NewItem(cls);
  map.objects.push_back(item.get());
  CFileItem& it = *item;
  it.type = in.U8();
  ReadString(in, it.name);
  it.size = in.U32();
  it.time = in.U32();
  it.level = static_cast<int16_t>(in.U16());
  it.attributes = in.U8();
  if (version >= 1) it.isArchive = in.U32();
  if (version >= 2) ReadString(in, it.description);
  if (version >= 3 && in.U8() != 0) ReadThumbnail(in, it);
  if (cls == CLS_APPLI) {
    auto& a = static_cast<CFileItemAppli&>(it);
    if (version <= 1) ReadString(in, a.description);
    ReadString(in, a.installProgram);
    a.appSize = in.U32();
    a.appTime = in.U32();
  } else if (cls >= CLS_MEDIA) {
    auto& m = static_cast<CFileItemMedia&>(it);
    ReadString(in, m.rootPath);
    ReadString(in, m.fileSystem);
    m.serialNumber = in.U32();
    ReadString(in, m.volumeLabel);
  }
  return item;
}

// Starts and ends the progress indicator, and moves it by whole percents.
class Progress {
 public:
  Progress(IProgressSink* sink, const std::string& text) : sink_(sink) {
    if (sink_) sink_->Begin(text);
  }
  ~Progress() {
    if (sink_) sink_->End();
  }
  void Update(uint64_t done, uint64_t total) {
    if (!sink_ || total == 0) return;
    const int pct = static_cast<int>(done * 100 / total);
    if (pct != last_) {
      last_ = pct;
      sink_->SetPercent(pct);
    }
  }

 private:
  IProgressSink* sink_;
  int last_ = 0;
};

// The stream's zlib wrapper is handled here, around a raw deflate and
// inflate: the stream is never finished, so the Adler-32 that zlib would
// keep over every byte is never written nor compared, and computing it was
// a tenth of a load. The deflate data are zlib's own either way.
constexpr int kMemLevel = 8;  // deflateInit's default
// The two header bytes deflateInit writes for the default level: deflate
// method, 32 KiB window, level flags 2 (level 6), check bits.
constexpr uint8_t kZlibHeader[2] = {0x78, 0x9C};
static_assert(((kZlibHeader[0] << 8) | kZlibHeader[1]) % 31 == 0);

struct ZInflate {
  z_stream zs{};
  bool live = false;
  uint8_t header[2] = {};
  size_t headerHave = 0;
  bool ended = false;  // a final deflate block was met (streams of other writers)
  ~ZInflate() {
    if (live) inflateEnd(&zs);
  }
  // Takes the header bytes still missing from the front of a payload; the
  // error inflate gives for a bad header, or "" (also while incomplete).
  std::string TakeHeader(const uint8_t*& p, size_t& n) {
    if (headerHave == 2) return {};
    const size_t take = std::min<size_t>(2 - headerHave, n);
    std::memcpy(header + headerHave, p, take);
    headerHave += take;
    p += take;
    n -= take;
    if (headerHave < 2) return {};
    const unsigned cmf = header[0], flg = header[1];
    if (((cmf << 8) | flg) % 31) return "zlib error -3 (incorrect header check)";
    if ((cmf & 0x0F) != Z_DEFLATED) return "zlib error -3 (unknown compression method)";
    if ((cmf >> 4) + 8 > MAX_WBITS) return "zlib error -3 (invalid window size)";
    if (flg & 0x20) return "zlib error 2";  // a preset dictionary, which no catalog has
    return {};
  }
};

struct ZDeflate {
  z_stream zs{};
  bool live = false;
  bool headerWritten = false;
  ~ZDeflate() {
    if (live) deflateEnd(&zs);
  }
};

std::string ZlibText(const z_stream& zs, int rc) {
  std::string s = "zlib error " + std::to_string(rc);
  if (zs.msg) s += std::string(" (") + zs.msg + ")";
  return s;
}

// The items read so far, and the indices (from 0) of those that are not files.
struct ReadItems {
  std::vector<std::unique_ptr<CFileItem>> items;
  std::vector<uint32_t> containers;
  void Add(std::unique_ptr<CFileItem> item) {
    // Noted now, while the item is in the cache, not in a second pass.
    if (item->type != ITEM_FILE) containers.push_back(static_cast<uint32_t>(items.size()));
    items.push_back(std::move(item));
  }
  size_t size() const { return items.size(); }
};

// Where reading stopped when a damaged stream is read for what it holds.
struct Salvage {
  uint64_t unitStart = 0;  // stream offset of the item or block where reading failed
  uint32_t block = 0;      // number of that block from 1; 0 before the first
  bool untilEnd = false;   // read blocks while data is left, whatever the header announced
};

void ReadBlocks(Input& in, uint32_t count, ReadItems& out, Progress& progress, Salvage* salvage) {
  ZInflate z;
  std::vector<uint8_t> packed, plain;
  while (out.size() < count) {
    if (salvage) {
      if (salvage->untilEnd && in.AtEnd()) break;
      salvage->unitStart = in.Position();
      ++salvage->block;
    }
    const uint32_t itemCount = in.U32();
    const uint32_t packedLength = in.U32();
    const uint32_t plainLength = in.U32();
    if (itemCount > count - out.size())
      ReadError("a block holds " + std::to_string(itemCount) + " items where " +
                std::to_string(count - out.size()) + " remain");
    if (static_cast<uint64_t>(itemCount) * kMinRecordV4 > plainLength ||
        plainLength > static_cast<uint64_t>(packedLength) * kMaxInflateRatio + 64)
      ReadError("damaged block header");
    // A cut-off stream still inflates as far as it goes when salvaging.
    bool cut = false;
    if (salvage && in.Remaining() && *in.Remaining() < packedLength) {
      in.ReadInto(packed, *in.Remaining());
      cut = true;
    } else {
      in.ReadInto(packed, packedLength);
    }
    if (!z.live) {
      const int rc = inflateInit2(&z.zs, -MAX_WBITS);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK) ReadError(ZlibText(z.zs, rc));
      z.live = true;
    }
    // The room for what the bytes at hand can inflate to: the stated length,
    // less when the payload was cut off (its stated length is then no bound).
    const uint32_t room =
        static_cast<uint32_t>(std::min<uint64_t>(plainLength, packed.size() * kMaxInflateRatio + 64));
    if (plain.size() < room) plain.resize(room);
    const uint8_t* next = packed.data();
    size_t avail = packed.size();
    std::string refused = z.TakeHeader(next, avail);
    size_t inLeft = avail, outLeft = room;
    if (refused.empty()) {
      z.zs.next_in = const_cast<uint8_t*>(next);
      z.zs.avail_in = static_cast<uInt>(avail);
      z.zs.next_out = plain.data();
      z.zs.avail_out = room;
      const int rc = inflate(&z.zs, Z_SYNC_FLUSH);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) refused = ZlibText(z.zs, rc);
      inLeft = z.zs.avail_in;
      outLeft = z.zs.avail_out;
      // A finished stream's Adler-32 trailer, which zlib would have taken.
      if (rc == Z_STREAM_END && !z.ended) {
        z.ended = true;
        inLeft -= std::min<size_t>(inLeft, 4);
      }
    }
    if (!refused.empty() || cut || outLeft != 0 || inLeft != 0) {
      // What inflated before the damage still holds whole items.
      if (salvage) {
        Input partial(plain.data(), room - outLeft);
        LoadMap map;
        try {
          for (uint32_t k = 0; k < itemCount; ++k) out.Add(ReadItem(partial, map, 4));
        } catch (const CCatalogException&) {
        }
      }
      if (cut) EndOfData();
      if (!refused.empty()) ReadError("damaged compressed data: " + refused);
      ReadError("damaged compressed data: a block does not inflate to its stated length");
    }
    Input block(plain.data(), plainLength);
    LoadMap map;
    for (uint32_t k = 0; k < itemCount; ++k) {
      out.Add(ReadItem(block, map, 4));
      progress.Update(out.size(), count);
    }
  }
}

// ---------------------------------------------------------------------------
// Writing

class Output {
 public:
  explicit Output(ICatalogSink& sink) : sink_(sink) { buf_.reserve(kIoBufferSize); }
  void Put(const uint8_t* p, size_t n) {
    if (buf_.size() + n > kIoBufferSize) {
      Flush();
      if (n >= kIoBufferSize) {
        sink_.Write(p, n);
        return;
      }
    }
    buf_.insert(buf_.end(), p, p + n);
  }
  void PutU16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Put(b, 2);
  }
  void PutU32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    Put(b, 4);
  }
  void PutCount(uint32_t v) {
    if (v < 0xFFFF) {
      PutU16(static_cast<uint16_t>(v));
    } else {
      PutU16(0xFFFF);
      PutU32(v);
    }
  }
  void Flush() {
    if (!buf_.empty()) sink_.Write(buf_.data(), buf_.size());
    buf_.clear();
  }

 private:
  ICatalogSink& sink_;
  std::vector<uint8_t> buf_;
};

// The block being filled. Records are written straight into its bytes:
// one room check per field instead of one vector insertion, and no copy
// of a record that fits.
class BlockBuffer {
 public:
  BlockBuffer() : bytes_(CATALOG_BLOCK_LIMIT + 4096) {}
  size_t size() const { return used_; }
  const uint8_t* data() const { return bytes_.data(); }
  // n writable bytes at the end; Advance(n) keeps them.
  uint8_t* Room(size_t n) {
    if (bytes_.size() - used_ < n) Grow(n);
    return bytes_.data() + used_;
  }
  void Advance(size_t n) { used_ += n; }
  void Clear() {
    used_ = 0;
    // A record of a huge thumbnail does not keep its room for good.
    if (bytes_.size() > 4 * CATALOG_BLOCK_LIMIT) {
      bytes_.resize(CATALOG_BLOCK_LIMIT + 4096);
      bytes_.shrink_to_fit();
    }
  }
  // Drops the first n bytes (emitted records); the rest moves to the front.
  void DropFront(size_t n) {
    std::memmove(bytes_.data(), bytes_.data() + n, used_ - n);
    used_ -= n;
  }

 private:
  [[gnu::noinline]] void Grow(size_t n) { bytes_.resize(std::max(bytes_.size() * 2, used_ + n)); }
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
};

// Appends the serialised form of values to the block.
struct Record {
  BlockBuffer& b;
  std::string& scratch;  // reused for texts that need converting
  void U8(uint8_t v) {
    *b.Room(1) = v;
    b.Advance(1);
  }
  void U16(uint16_t v) {
    uint8_t* p = b.Room(2);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    b.Advance(2);
  }
  void U32(uint32_t v) {
    uint8_t* p = b.Room(4);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
    b.Advance(4);
  }
  void Length(size_t n) {
    if (n > 0xFFFFFFFEu) WriteError("text too long to store");
    if (n < 0xFF) {
      U8(static_cast<uint8_t>(n));
      return;
    }
    U8(0xFF);
    if (n < 0xFFFE) {
      U16(static_cast<uint16_t>(n));
      return;
    }
    U16(0xFFFF);
    U32(static_cast<uint32_t>(n));
  }
  void Bytes(const void* p, size_t n) {
    if (n == 0) return;
    std::memcpy(b.Room(n), p, n);
    b.Advance(n);
  }
  // Windows-1252 when every character fits; the UTF-16 form otherwise.
  void String(const std::string& s) {
    if (IsAscii(reinterpret_cast<const uint8_t*>(s.data()), s.size())) {
      Length(s.size());
      Bytes(s.data(), s.size());
      return;
    }
    if (Utf8ToCp1252(s, scratch)) {
      Length(scratch.size());
      Bytes(scratch.data(), scratch.size());
      return;
    }
    const std::u16string units = Utf8ToUtf16(s);
    U8(0xFF);
    U16(0xFFFE);
    Length(units.size());
    for (char16_t c : units) U16(static_cast<uint16_t>(c));
  }
};

// The class of the items written last: consecutive items are mostly of one
// class, whose name need not be measured and looked up again.
struct ClassCache {
  const char* name = nullptr;
  size_t length = 0;
  int8_t id = CLS_NONE;
};

void SerializeItem(Record& r, const CFileItem& item, ClassCache& cls) {
  const char* className = item.GetClassName();
  if (className != cls.name) {
    cls.name = className;
    cls.length = std::strlen(className);
    cls.id = ClassIdOf(std::string_view(className, cls.length));
  }
  r.U16(0xFFFF);
  r.U16(kSchema);
  r.U16(static_cast<uint16_t>(cls.length));
  r.Bytes(className, cls.length);
  r.U8(item.type);
  r.String(item.name);
  r.U32(item.size);
  r.U32(item.time);
  r.U16(static_cast<uint16_t>(item.level));
  r.U8(item.attributes);
  r.U32(item.isArchive);
  r.String(item.description);
  if (item.thumbnail) {
    r.U8(1);
    if (item.thumbnail->IsEmpty()) {
      r.U32(0);
    } else {
      std::vector<uint8_t> bmp;
      try {
        bmp = PLEncodeBmp(*item.thumbnail);
      } catch (const PLTextException& e) {
        WriteError(std::string("thumbnail of ") + item.name + ": " + e.what());
      }
      if (bmp.size() > 0xFFFFFFFFu) WriteError("thumbnail too large to store");
      r.U32(static_cast<uint32_t>(bmp.size()));
      r.Bytes(bmp.data(), bmp.size());
    }
  } else {
    r.U8(0);
  }
  // Plain items, nearly all of them, have no fields of their own.
  if (cls.id == CLS_ITEM) return;
  if (const auto* a = dynamic_cast<const CFileItemAppli*>(&item)) {
    r.String(a->installProgram);
    r.U32(a->appSize);
    r.U32(a->appTime);
  } else if (const auto* m = dynamic_cast<const CFileItemMedia*>(&item)) {
    r.String(m->rootPath);
    r.String(m->fileSystem);
    r.U32(m->serialNumber);
    r.String(m->volumeLabel);
  }
}

class BlockWriter {
 public:
  explicit BlockWriter(Output& out) : out_(out) {}

  void Emit(const uint8_t* data, size_t length, uint32_t itemCount) {
    if (!z_.live) {
      const int rc = deflateInit2(&z_.zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, kMemLevel, Z_DEFAULT_STRATEGY);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK) WriteError(ZlibText(z_.zs, rc));
      z_.live = true;
    }
    const size_t want = length + length / 10 + 112;
    if (packed_.size() < want) packed_.resize(want);
    z_.zs.next_in = const_cast<uint8_t*>(data);
    z_.zs.avail_in = static_cast<uInt>(length);
    z_.zs.total_out = 0;
    size_t produced = 0;
    if (!z_.headerWritten) {
      // The first payload begins with the wrapper's header.
      std::memcpy(packed_.data(), kZlibHeader, sizeof kZlibHeader);
      produced = sizeof kZlibHeader;
      z_.headerWritten = true;
    }
    for (;;) {
      z_.zs.next_out = packed_.data() + produced;
      z_.zs.avail_out = static_cast<uInt>(packed_.size() - produced);
      const int rc = deflate(&z_.zs, Z_SYNC_FLUSH);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK && rc != Z_BUF_ERROR) WriteError("compression failed: " + ZlibText(z_.zs, rc));
      produced = packed_.size() - z_.zs.avail_out;
      if (z_.zs.avail_out != 0) break;
      packed_.resize(packed_.size() * 2);
    }
    if (z_.zs.avail_in != 0) WriteError("compression failed: input left over");
    out_.PutU32(itemCount);
    out_.PutU32(static_cast<uint32_t>(produced));
    out_.PutU32(static_cast<uint32_t>(length));
    out_.Put(packed_.data(), produced);
  }

 private:
  Output& out_;
  ZDeflate z_;
  std::vector<uint8_t> packed_;
};

// Writes items [first, last) of list as one stream.
void WriteRange(const CFileItemList& list, size_t first, size_t last, ICatalogSink& sink, IProgressSink* progressSink,
                const std::string& progressText) {
  Progress progress(progressSink, progressText);
  const uint64_t total = last - first;
  if (total > 0xFFFFFFFFu) WriteError("too many items for one catalog");
  Output out(sink);
  out.PutCount(0);
  out.PutCount(CATALOG_VERSION);
  out.PutCount(1);
  out.PutCount(static_cast<uint32_t>(total));
  BlockWriter blocks(out);
  BlockBuffer block;
  std::string scratch;
  Record record{block, scratch};
  ClassCache cls;
  uint32_t inBlock = 0;
  for (size_t i = first; i < last; ++i) {
    const size_t start = block.size();
    SerializeItem(record, *list.items[i], cls);
    if (block.size() >= CATALOG_BLOCK_LIMIT) {
      // The record does not fit: the pending records go first, then the
      // record starts the next block (or fills one alone when it is that big).
      if (inBlock > 0) {
        blocks.Emit(block.data(), start, inBlock);
        block.DropFront(start);
        inBlock = 0;
      }
      if (block.size() >= CATALOG_BLOCK_LIMIT) {
        blocks.Emit(block.data(), block.size(), 1);
        block.Clear();
      } else {
        inBlock = 1;
      }
    } else {
      ++inBlock;
    }
    progress.Update(i - first + 1, total);
  }
  if (inBlock > 0) blocks.Emit(block.data(), block.size(), inBlock);
  out.Flush();
}

// ---------------------------------------------------------------------------
// Files

std::string SystemText(int err) { return std::strerror(err); }

class FileSource : public ICatalogSource {
 public:
  explicit FileSource(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) ReadError(SystemText(errno));
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
      sized_ = true;
      size_ = static_cast<uint64_t>(st.st_size);
    }
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  size_t Read(uint8_t* dst, size_t n) override {
    size_t total = 0;
    while (total < n) {
      const ssize_t got = ::read(fd_, dst + total, n - total);
      if (got < 0) {
        if (errno == EINTR) continue;
        ReadError(SystemText(errno));
      }
      if (got == 0) break;
      total += static_cast<size_t>(got);
    }
    pos_ += total;
    return total;
  }
  std::optional<uint64_t> Remaining() const override {
    if (!sized_) return std::nullopt;
    return pos_ < size_ ? size_ - pos_ : 0;
  }

 private:
  int fd_ = -1;
  bool sized_ = false;
  uint64_t size_ = 0, pos_ = 0;
};

class FileSink : public ICatalogSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  void Write(const uint8_t* data, size_t n) override {
    while (n) {
      const ssize_t put = ::write(fd_, data, n);
      if (put < 0) {
        if (errno == EINTR) continue;
        WriteError(SystemText(errno));
      }
      data += put;
      n -= static_cast<size_t>(put);
    }
  }

 private:
  int fd_;
};

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.string();
}

}  // namespace

// ---------------------------------------------------------------------------

size_t CMemorySource::Read(uint8_t* dst, size_t n) {
  const size_t take = std::min(n, left_);
  if (take) std::memcpy(dst, p_, take);
  p_ += take;
  left_ -= take;
  return take;
}

namespace {

// The items of a stream into read; its version into version. Throws on a
// read error, with salvage (when given) saying where.
CatalogReadResult ReadStream(Input& in, ReadItems& read, int& version, Progress& progress, uint32_t& count,
                             Salvage* salvage) {
  bool compressed = false;
  count = in.Count();
  if (count == 0 && !in.AtEnd()) {
    const uint32_t v = in.Count();
    if (v > 4) return CatalogReadResult::TooRecent;
    version = static_cast<int>(v);
    if (version == 4) compressed = (in.Count() & 0xFF) != 0;
    count = in.Count();
  }
  // Every item takes some bytes in the stream, so a count that the data
  // cannot hold is refused before anything is allocated for it.
  const auto left = in.Remaining();
  if (left) {
    const uint64_t most = compressed ? *left * kMaxInflateRatio / kMinRecordV4 : *left / kMinRecordOld;
    if (count > most)
      ReadError("the catalog announces " + std::to_string(count) + " items but holds at most " +
                std::to_string(most));
  }
  read.items.reserve(std::min<uint64_t>(count, left ? *left : 65536));
  if (compressed) {
    ReadBlocks(in, count, read, progress, salvage);
  } else {
    LoadMap map;
    for (uint32_t k = 0; k < count; ++k) {
      if (salvage) salvage->unitStart = in.Position();
      read.Add(ReadItem(in, map, version));
      progress.Update(read.size(), count);
    }
  }
  return CatalogReadResult::Ok;
}

// Appends what was read to list (the room is made first, so nothing here
// can fail half-way).
void AppendRead(CFileItemList& list, ReadItems& read) {
  const size_t base = list.items.size();
  list.containerIndex.reserve(list.containerIndex.size() + read.containers.size());
  if (base != 0) list.items.reserve(base + read.items.size());
  if (base == 0) {
    list.items = std::move(read.items);
  } else {
    for (auto& p : read.items) list.items.push_back(std::move(p));
  }
  for (uint32_t i : read.containers) list.containerIndex.push_back(static_cast<uint32_t>(base + i));
}

}  // namespace

CatalogReadResult ReadCatalog(CFileItemList& list, ICatalogSource& source, IProgressSink* progressSink,
                              const std::string& progressText) {
  Progress progress(progressSink, progressText);
  try {
    Input in(source);
    ReadItems read;
    int version = 0;
    uint32_t count = 0;
    if (ReadStream(in, read, version, progress, count, nullptr) == CatalogReadResult::TooRecent)
      return CatalogReadResult::TooRecent;
    // All read: now the list changes.
    AppendRead(list, read);
    list.fileVersion = version;
    return CatalogReadResult::Ok;
  } catch (const std::bad_alloc&) {
    throw CCatalogException(kMemKey, "not enough memory to read the catalog");
  } catch (const std::length_error&) {
    throw CCatalogException(kMemKey, "not enough memory to read the catalog");
  }
}

namespace {

// One reading of a damaged stream: the items up to the damage, and where it is.
struct SalvageAttempt {
  ReadItems read;
  CatalogRecovery r;
};

void NoteDamage(CatalogRecovery& r, const Salvage& salvage, const std::string& reason) {
  r.damaged = true;
  r.damageOffset = salvage.unitStart;
  r.damagedBlock = salvage.block;
  r.reason = reason;
}

// Damage can also read as a well-formed item in the wrong place: the tree
// ends before the first item that does not fit (a top item below level 0, a
// child more than one level below its parent).
void KeepWholeTree(SalvageAttempt& a, const Salvage& salvage) {
  int16_t previous = -1;
  for (size_t i = 0; i < a.read.items.size(); ++i) {
    const int16_t level = a.read.items[i]->level;
    if (level < 0 || level > previous + 1) {
      if (!a.r.damaged) NoteDamage(a.r, salvage, "item " + std::to_string(i) + " does not fit in the tree");
      a.read.items.resize(i);
      while (!a.read.containers.empty() && a.read.containers.back() >= i) a.read.containers.pop_back();
      break;
    }
    previous = level;
  }
  a.r.kept = a.read.items.size();
}

// Reads the stream as its header says.
void SalvageAsStated(const std::vector<uint8_t>& bytes, SalvageAttempt& a) {
  CMemorySource source(bytes.data(), bytes.size());
  Input in(source);
  Progress progress(nullptr, {});
  Salvage salvage;
  int version = 0;
  try {
    if (ReadStream(in, a.read, version, progress, a.r.announced, &salvage) == CatalogReadResult::TooRecent) {
      a.r.tooRecent = true;
      return;
    }
  } catch (const CCatalogException& e) {
    NoteDamage(a.r, salvage, e.what());
  } catch (const std::bad_alloc&) {
    NoteDamage(a.r, salvage, "not enough memory to read the catalog");
  }
  KeepWholeTree(a, salvage);
}

// Reads the stream as version 4 whatever its first counts say: the item
// count (a WORD, or FFFF and a DWORD) at byte 6, blocks from blocksAt, as
// many as read, so a damaged count loses nothing either.
void SalvageAsVersion4(const std::vector<uint8_t>& bytes, size_t blocksAt, SalvageAttempt& a) {
  if (bytes.size() < blocksAt) return;
  const uint8_t* p = bytes.data();
  const uint32_t word = p[6] | (p[7] << 8);
  a.r.announced = word != 0xFFFF || blocksAt < 12
                      ? word
                      : static_cast<uint32_t>(p[8] | (p[9] << 8) | (p[10] << 16)) | (static_cast<uint32_t>(p[11]) << 24);
  CMemorySource source(p + blocksAt, bytes.size() - blocksAt);
  Input in(source);
  Progress progress(nullptr, {});
  Salvage salvage;
  salvage.untilEnd = true;
  try {
    ReadBlocks(in, UINT32_MAX, a.read, progress, &salvage);
  } catch (const CCatalogException& e) {
    NoteDamage(a.r, salvage, e.what());
  } catch (const std::bad_alloc&) {
    NoteDamage(a.r, salvage, "not enough memory to read the catalog");
  }
  salvage.unitStart += blocksAt;
  if (a.r.damaged) a.r.damageOffset = salvage.unitStart;
  KeepWholeTree(a, salvage);
}

// The first byte of the header that is not the one this writer makes (0 0
// 4 0 1 0); 6, the item count, when those are all right.
uint64_t HeaderDamageOffset(const std::vector<uint8_t>& bytes) {
  static const uint8_t kHeader[6] = {0, 0, 4, 0, 1, 0};
  for (size_t i = 0; i < 6; ++i)
    if (i >= bytes.size() || bytes[i] != kHeader[i]) return i;
  return 6;
}

}  // namespace

CatalogRecovery RecoverCatalog(CFileItemList& list, ICatalogSource& source) {
  // Held whole, so that a damaged header can be read a second way.
  std::vector<uint8_t> bytes;
  for (;;) {
    const size_t at = bytes.size();
    bytes.resize(at + (1u << 20));
    const size_t got = source.Read(bytes.data() + at, bytes.size() - at);
    bytes.resize(at + got);
    if (got == 0) break;
  }
  SalvageAttempt best;
  SalvageAsStated(bytes, best);
  if (best.r.damaged || best.r.tooRecent) {
    // A damaged version or count: what follows may still be version-4
    // blocks, after a WORD or a DWORD item count. Kept when it gives more.
    bool header = false;
    for (size_t blocksAt : {size_t{8}, size_t{12}}) {
      SalvageAttempt v4;
      SalvageAsVersion4(bytes, blocksAt, v4);
      // Equal counts: the reading that needs no damage in its blocks tells
      // where the damage is (a count announcing more than there is).
      if (v4.r.kept > best.r.kept || (v4.r.kept == best.r.kept && v4.r.kept > 0 && !v4.r.damaged)) {
        best = std::move(v4);
        header = true;
      }
    }
    if (header && !best.r.damaged) {
      // Every block read: the damage is in the header alone.
      best.r.damaged = true;
      best.r.damageOffset = HeaderDamageOffset(bytes);
      best.r.damagedBlock = 0;
      best.r.reason = "damaged header, read as version 4";
      if (best.r.announced != best.r.kept)
        best.r.reason += " (it announces " + std::to_string(best.r.announced) + " items)";
    }
  }
  AppendRead(list, best.read);
  list.fileVersion = CATALOG_VERSION;
  return best.r;
}

CatalogRecovery RecoverCatalogFile(CFileItemList& list, const std::string& path) {
  FileSource source(path);
  return RecoverCatalog(list, source);
}

CatalogReadResult ReadCatalogFromMemory(CFileItemList& list, const void* data, size_t size) {
  CMemorySource source(data, size);
  return ReadCatalog(list, source);
}

CatalogReadResult LoadCatalogFile(CFileItemList& list, const std::string& path, IProgressSink* progress) {
  std::string text;
  if (progress) text = FormatInserts(Translate("IDS_LOADINGFILE"), {AbsolutePath(path)});
  FileSource source(path);
  return ReadCatalog(list, source, progress, text);
}

void WriteCatalog(CFileItemList& list, ICatalogSink& sink, IProgressSink* progress, const std::string& progressText) {
  try {
    WriteRange(list, 0, list.items.size(), sink, progress, progressText);
  } catch (const std::bad_alloc&) {
    throw CCatalogException(kMemKey, "not enough memory to write the catalog");
  }
  list.fileVersion = CATALOG_VERSION;
}

std::vector<uint8_t> WriteCatalogToMemory(CFileItemList& list) {
  CMemorySink sink;
  WriteCatalog(list, sink);
  return std::move(sink.bytes);
}

void WriteMediaSubtree(const CFileItemList& list, size_t index, ICatalogSink& sink) {
  if (index >= list.items.size()) throw std::out_of_range("WriteMediaSubtree: no such item");
  try {
    WriteRange(list, index, list.SubtreeEnd(index), sink, nullptr, {});
  } catch (const std::bad_alloc&) {
    throw CCatalogException(kMemKey, "not enough memory to write the catalog");
  }
}

std::vector<uint8_t> WriteMediaSubtreeToMemory(const CFileItemList& list, size_t index) {
  CMemorySink sink;
  WriteMediaSubtree(list, index, sink);
  return std::move(sink.bytes);
}

namespace {

// The file a save writes: a link's target, so that the link stays a link.
std::string SaveTarget(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_symlink(path, ec)) {
    auto resolved = fs::weakly_canonical(path, ec);
    if (!ec) return resolved.string();
  }
  return path;
}

}  // namespace

std::string CatalogWriteProblem(const std::string& path) {
  namespace fs = std::filesystem;
  const std::string target = SaveTarget(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return SystemText(EISDIR);
    // A save renames a new file over the old one, which the directory
    // allows whatever the file's own mode: a file marked read-only is
    // refused here, root's saves included.
    if ((st.st_mode & 0222) == 0) return "the file is marked read-only";
    if (::access(target.c_str(), W_OK) != 0) return SystemText(errno);
  } else if (errno != ENOENT) {
    return SystemText(errno);
  }
  const fs::path dir = fs::path(target).parent_path();
  if (::access(dir.empty() ? "." : dir.c_str(), W_OK | X_OK) != 0) return SystemText(errno);
  return {};
}

void CheckCatalogWritable(const std::string& path) {
  const std::string problem = CatalogWriteProblem(path);
  if (!problem.empty()) WriteError(problem);
}

void SaveCatalogFile(CFileItemList& list, const std::string& path, IProgressSink* progress) {
  namespace fs = std::filesystem;
  CheckCatalogWritable(path);
  const std::string target = SaveTarget(path);
  const fs::path dir = fs::path(target).parent_path();
  std::string pattern = (dir.empty() ? fs::path(".") : dir).string() + "/." +
                        fs::path(target).filename().string() + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) WriteError(SystemText(errno));
  // Keep the old file's permissions, or give a new file the usual ones.
  struct stat st {};
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd, mode) != 0) {
    // Not fatal: the catalog is still written, with the temporary file's mode.
  }
  try {
    FileSink sink(fd);
    std::string text;
    if (progress) text = FormatInserts(Translate("IDS_WRITINGFILE"), {AbsolutePath(path)});
    WriteCatalog(list, sink, progress, text);
    if (::fsync(fd) != 0) WriteError(SystemText(errno));
  } catch (...) {
    ::close(fd);
    ::unlink(pattern.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(pattern.c_str());
    WriteError(SystemText(err));
  }
  if (::rename(pattern.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(pattern.c_str());
    WriteError(SystemText(err));
  }
}
