#include "describe/VersionResource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "describe/VersionResourceBytes.h"
#include "text/Codepage.h"

bool MemoryByteSource::Read(uint64_t offset, void* out, size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size != 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

FileByteSource::~FileByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileByteSource::Open(const std::string& path) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  path_ = path;
  return true;
}

bool FileByteSource::Read(uint64_t offset, void* out, size_t size) {
  if (fd_ < 0 || offset > size_ || size > size_ - offset) return false;
  auto* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "cannot read " + path_);
    }
    if (n == 0) return false;  // the file shrank under us
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::optional<VersionResource> FindVersionResource(IByteSource& src) {
  uint8_t dos[64];
  if (!src.Read(0, dos, sizeof dos)) return std::nullopt;
  if (dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  uint32_t lfanew = LoadLe32(dos + 0x3C);
  uint8_t sig[4];
  if (!src.Read(lfanew, sig, sizeof sig)) return std::nullopt;
  if (sig[0] == 'P' && sig[1] == 'E' && sig[2] == 0 && sig[3] == 0) return FindPeVersionResource(src, lfanew);
  if (sig[0] == 'N' && sig[1] == 'E') return FindNeVersionResource(src, lfanew);
  return std::nullopt;
}

namespace {

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

// Block layout (lengths in bytes unless said otherwise):
//   Wide: u16 length, u16 valueLength, u16 type (1 = text, valueLength in
//         UTF-16 units), UTF-16 key + NUL, pad to 4, value, pad to 4, children.
//   Ansi: u16 length, u16 valueLength, ANSI key + NUL, pad to 4, value, pad to
//         4, children.
// Padding is relative to the start of the resource, which is itself aligned.
std::optional<VersionNode> VersionTree::ParseNode(size_t offset, size_t limit) const {
  const bool wide = layout_ == VersionLayout::Wide;
  const size_t header = wide ? 6 : 4;
  if (limit > data_.size() || offset > limit || limit - offset < header) return std::nullopt;
  const uint8_t* base = data_.data();
  size_t length = LoadLe16(base + offset);
  size_t valueLength = LoadLe16(base + offset + 2);
  bool text = wide && LoadLe16(base + offset + 4) == 1;
  if (length < header) return std::nullopt;
  VersionNode node;
  node.offset = offset;
  node.end = offset + std::min(length, limit - offset);

  size_t pos = offset + header;
  if (wide) {
    std::u16string key;
    for (;; pos += 2) {
      if (node.end - pos < 2) return std::nullopt;  // key runs past the block
      char16_t c = LoadLe16(base + pos);
      if (c == 0) break;
      key.push_back(c);
    }
    pos += 2;
    node.key = Utf16ToUtf8(key);
  } else {
    size_t start = pos;
    for (;; ++pos) {
      if (pos >= node.end) return std::nullopt;
      if (base[pos] == 0) break;
    }
    node.key = Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(base + start), pos - start));
    ++pos;
  }
  node.valueLength = static_cast<uint16_t>(valueLength);
  node.valueOffset = std::min(Align4(pos), node.end);
  size_t valueBytes = text ? valueLength * 2 : valueLength;
  node.valueSize = std::min(valueBytes, node.end - node.valueOffset);
  node.childrenOffset = std::min(Align4(node.valueOffset + valueBytes), node.end);
  return node;
}

std::optional<VersionNode> VersionTree::Root() const {
  auto root = ParseNode(0, data_.size());
  if (!root || !AsciiEqualNoCase(root->key, "VS_VERSION_INFO")) return std::nullopt;
  // A root longer than the resource means the resource was cut short.
  if (LoadLe16(data_.data()) > data_.size()) return std::nullopt;
  return root;
}

void VersionTree::ForEachChild(const VersionNode& parent,
                               const std::function<bool(const VersionNode&)>& visit) const {
  // Every child is at least a header long, so the walk ends within the block.
  size_t pos = parent.childrenOffset;
  while (pos < parent.end) {
    auto child = ParseNode(pos, parent.end);
    if (!child) return;
    if (!visit(*child)) return;
    size_t next = Align4(child->end);
    if (next <= pos) return;
    pos = next;
  }
}

std::optional<VersionNode> VersionTree::FindChild(const VersionNode& parent, std::string_view name) const {
  std::optional<VersionNode> found;
  ForEachChild(parent, [&](const VersionNode& child) {
    if (AsciiEqualNoCase(child.key, name)) {
      found = child;
      return false;
    }
    return true;
  });
  return found;
}

std::optional<VersionNode> VersionTree::Find(std::string_view path) const {
  auto node = Root();
  size_t pos = 0;
  while (node && pos < path.size()) {
    size_t sep = path.find('\\', pos);
    if (sep == std::string_view::npos) sep = path.size();
    std::string_view part = path.substr(pos, sep - pos);
    if (!part.empty()) node = FindChild(*node, part);
    pos = sep + 1;
  }
  return node;
}

std::string VersionTree::Text(const VersionNode& node) const {
  // Resource compilers disagree on whether a text length counts characters
  // or bytes, with or without the NUL; the NUL is what every reader trusts.
  if (node.valueLength == 0) return {};
  std::span<const uint8_t> value = data_.subspan(node.valueOffset, node.end - node.valueOffset);
  if (layout_ == VersionLayout::Wide) {
    std::u16string units;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
      char16_t c = LoadLe16(value.data() + i);
      if (c == 0) break;
      units.push_back(c);
    }
    return Utf16ToUtf8(units);
  }
  size_t n = 0;
  while (n < value.size() && value[n] != 0) ++n;
  return Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(value.data()), n));
}
