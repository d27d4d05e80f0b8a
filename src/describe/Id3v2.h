// ID3v2 tag reader (versions 2.2, 2.3 and 2.4) and the byte sources the MP3
// readers share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Random-access bytes: a file on disk or a buffer in memory. The readers take
// only what they need through ReadAt, so they run unchanged over either.
class IByteReader {
 public:
  virtual ~IByteReader() = default;
  // Total size in bytes; -1 when it cannot be known.
  virtual int64_t Size() = 0;
  // Copies up to n bytes from offset into buf; returns the count copied
  // (short at the end of the data or on a read error).
  virtual size_t ReadAt(uint64_t offset, void* buf, size_t n) = 0;
};

class MemoryByteReader : public IByteReader {
 public:
  MemoryByteReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  int64_t Size() override { return static_cast<int64_t>(size_); }
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A read-only file. The first block is read once and kept, since the tag
// walk and the frame scan make many small reads near the start of the file.
class FileByteReader : public IByteReader {
 public:
  static constexpr size_t kHeadBytes = 8192;
  // Nothing when the path is not a regular file that can be opened for
  // reading; errno then says why (EISDIR, ESPIPE for a FIFO or device).
  static std::unique_ptr<FileByteReader> Open(const std::string& path);
  ~FileByteReader() override;
  FileByteReader(const FileByteReader&) = delete;
  FileByteReader& operator=(const FileByteReader&) = delete;
  int64_t Size() override;
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override;
  // The errno of the first read the system failed (a short read is not
  // one), 0 when none did: readers see only short data and go on.
  int ReadError() const { return readError_; }

 private:
  FileByteReader(int fd, int64_t size) : fd_(fd), size_(size) {}
  size_t ReadDirect(uint64_t offset, void* buf, size_t n);
  int fd_;
  int64_t size_;
  int readError_ = 0;
  bool headLoaded_ = false;
  std::vector<uint8_t> head_;
};

// Result codes of the tag module.
enum Id3Result : int {
  ID3_OK = 0,
  ID3_NOT_IMPLEMENTED = 1,
  ID3_OUT_OF_MEMORY = 2,
  ID3_NO_TAG = 3,
  ID3_CANNOT_OPEN = 4,
  ID3_READ_FAILED = 5,
  ID3_WRITE_FAILED = 6,
  ID3_BAD_IDENTIFIER = 7,
  ID3_NO_MORE_FRAMES = 8,
  ID3_FRAME_CORRUPT = 9,
  ID3_BUFFER_TOO_SMALL = 10,
  ID3_TAG_CORRUPT = 11,
  ID3_BAD_ENCODING = 12,
  ID3_DELETE_FAILED = 13,
  ID3_MOVE_FAILED = 14,
  ID3_TAG_TOO_SMALL = 15,
  ID3_STRING_RANGE = 16,
};
// The module's text for a result code ("No Error", ...); "" for an unknown code.
const char* Id3ResultText(int code);

// How a frame of the table is read.
enum class Id3Read : uint8_t { Skip, Text, TextAfterLanguage };

struct Id3FrameEntry {
  const char* id23;      // ID3v2.3 frame ID
  const char* id22;      // ID3v2.2 frame ID read as that frame
  const char* shortKey;  // message key of the label shown in descriptions
  const char* longKey;   // message key of the frame's full title
  Id3Read read;
};

constexpr size_t kId3FrameCount = 48;
extern const std::array<Id3FrameEntry, kId3FrameCount> Id3FrameTable;

// Table positions the MP3 describer writes into directly.
enum Id3Slot : size_t {
  SLOT_TIT2 = 2,
  SLOT_TPE1 = 4,
  SLOT_TCON = 10,
  SLOT_TALB = 11,
  SLOT_TRCK = 12,
  SLOT_TYER = 13,
  SLOT_TIME = 15,
  SLOT_COMM = 35,
  SLOT_BRAT = 46,
  SLOT_FREQ = 47,
};

// Position of a v2.3 frame ID in the table; -1 when unknown.
int Id3FrameIndexV23(const char* id, size_t len = 4);
// Position of a v2.2 frame ID in the table; -1 when unknown.
int Id3FrameIndexV22(const char* id, size_t len = 3);

// One text value (UTF-8) per table entry, in table order. A value filled per
// description, so describers can run on any thread.
struct TagValues {
  std::array<std::string, kId3FrameCount> slots;
  void Clear() {
    for (auto& s : slots) s.clear();
  }
};

// Reads the ID3v2 tag at the start of src into values. Returns ID3_OK when a
// tag was opened, whatever ended its frame walk, and then sets audioStart to
// the tag size + 10 (+ 20 with an ID3v2.4 footer); otherwise the opening failure's code, audioStart untouched.
int ReadId3v2Tag(IByteReader& src, TagValues& values, int64_t& audioStart);
// The same on a file; ID3_CANNOT_OPEN when it cannot be opened.
int ReadId3v2Tag(const std::string& path, TagValues& values, int64_t& audioStart);

// Decodes the data of one text frame into slot, by its encoding byte:
// 0 = ISO-8859-1 read as Windows-1252, 1 = UTF-16 with or without a
// byte-order mark; in an ID3v2.4 tag (major 4) also 2 = UTF-16 big-endian
// and 3 = UTF-8. The last string of the frame wins. Returns ID3_OK,
// ID3_TAG_CORRUPT (too short) or ID3_BAD_ENCODING.
int DecodeId3TextFrame(const uint8_t* data, size_t size, bool afterLanguage, std::string& slot, int major = 3);
