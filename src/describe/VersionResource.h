// Finding and walking the version resource of Windows executables without the
// Windows version services: PE32/PE32+ images and 16-bit NE files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Random access to the bytes of an executable. Only headers, tables and the
// version resource are read: executables can be hundreds of megabytes.
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies size bytes from offset; false when the range is not all inside.
  virtual bool Read(uint64_t offset, void* out, size_t size) = 0;
};

class MemoryByteSource : public IByteSource {
 public:
  explicit MemoryByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* out, size_t size) override;

 private:
  std::span<const uint8_t> bytes_;
};

class FileByteSource : public IByteSource {
 public:
  FileByteSource() = default;
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;
  // False when the path is not a regular file that can be opened for reading
  // (a FIFO or device named like an executable must not block the scan).
  bool Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  // Throws std::system_error when the medium fails to deliver the bytes.
  bool Read(uint64_t offset, void* out, size_t size) override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_;
};

// Real version resources are a few KiB; a larger one is taken as damage.
constexpr uint32_t kMaxVersionResourceSize = 1u << 20;

// The 32-bit layout (PE: UTF-16 keys and texts, a wType field) or the 16-bit
// one (NE: ANSI keys and texts, no wType).
enum class VersionLayout { Wide, Ansi };

struct VersionResource {
  std::vector<uint8_t> data;  // the VS_VERSIONINFO block
  VersionLayout layout = VersionLayout::Wide;
};

// The version resource (type 16, preferably id 1, first language) of a PE
// image; nothing when the image has none or is damaged.
std::optional<VersionResource> FindPeVersionResource(IByteSource& src, uint32_t lfanew);
// The version resource (type 0x8010, preferably id 1) of a 16-bit NE file.
std::optional<VersionResource> FindNeVersionResource(IByteSource& src, uint32_t lfanew);
// Checks the MZ header and dispatches on the "PE" / "NE" signature.
std::optional<VersionResource> FindVersionResource(IByteSource& src);

// One block of the version tree (VS_VERSIONINFO, StringFileInfo, a string
// table, a String, VarFileInfo, Var). Offsets index the resource bytes.
struct VersionNode {
  size_t offset = 0;
  size_t end = 0;            // offset + length, never past the parent
  std::string key;           // UTF-8
  size_t valueOffset = 0;
  size_t valueSize = 0;      // bytes of the value present inside the block
  uint16_t valueLength = 0;  // the length field as stored (units depend on the type)
  size_t childrenOffset = 0;
};

// Read-only view over a version resource, answering VerQueryValue-like paths.
class VersionTree {
 public:
  VersionTree(std::span<const uint8_t> data, VersionLayout layout) : data_(data), layout_(layout) {}

  // The VS_VERSIONINFO block; nothing when its header or key is damaged or
  // its length runs past the resource.
  std::optional<VersionNode> Root() const;
  // Calls visit for each child in order until it returns false.
  void ForEachChild(const VersionNode& parent, const std::function<bool(const VersionNode&)>& visit) const;
  // The child whose key equals name, ignoring ASCII case.
  std::optional<VersionNode> FindChild(const VersionNode& parent, std::string_view name) const;
  // "\" is the root; "\StringFileInfo\040904b0\CompanyName" a string.
  std::optional<VersionNode> Find(std::string_view path) const;
  // The text value of a String block in UTF-8 (UTF-16 or Windows-1252 on
  // disk), up to its terminating NUL.
  std::string Text(const VersionNode& node) const;
  std::span<const uint8_t> Value(const VersionNode& node) const {
    return data_.subspan(node.valueOffset, node.valueSize);
  }

 private:
  std::optional<VersionNode> ParseNode(size_t offset, size_t limit) const;

  std::span<const uint8_t> data_;
  VersionLayout layout_;
};
