#include "scan/DescriptionFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "cabinet/Szdd.h"
#include "text/Codepage.h"

namespace {

// Text description files are small; a larger one is read up to here.
constexpr size_t kTextFileLimit = 1 << 20;
constexpr size_t kDirTxtShortLength = 37;

std::optional<std::string> ReadPrefix(const std::string& path, size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data(maxBytes, '\0');
  size_t done = 0;
  bool failed = false;
  while (done < maxBytes) {
    const ssize_t n = ::read(fd, data.data() + done, maxBytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (failed) return std::nullopt;
  data.resize(done);
  return data;
}

// Lines as a text-mode read gives them: split at LF, a CR before it dropped.
std::vector<std::string_view> TextLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  const char* blanks = " \t\r\n\v\f";
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

// The first count characters (code points) of UTF-8 text.
std::string FirstCharacters(const std::string& text, size_t count) {
  size_t i = 0;
  for (size_t n = 0; i < text.size() && n < count; ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return text.substr(0, i);
}

}  // namespace

std::string DescriptionText(std::string_view bytes) {
  const size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  return SanitizeUtf8(bytes);
}

std::string DirTxtDescription(std::string_view bytes) {
  std::vector<std::string_view> raw = TextLines(bytes);
  std::string line[5];
  for (size_t i = 0; i < 5 && i < raw.size(); ++i) line[i] = DescriptionText(raw[i]);
  if (!line[1].empty()) return line[3] + " " + line[0] + "\r\n" + line[1] + "\r\n" + line[2] + "\r\n" + line[4];
  return FirstCharacters(line[0], kDirTxtShortLength) + "...\r\n" + line[0];
}

std::string SetupFileValue(std::string_view bytes, std::string_view section, std::string_view key) {
  bool inSection = false;
  for (std::string_view raw : TextLines(bytes)) {
    const std::string_view line = Trim(raw);
    if (!inSection) {
      inSection = AsciiEqualNoCase(line, section);
      continue;
    }
    if (line.size() < key.size() || !AsciiEqualNoCase(line.substr(0, key.size()), key)) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    return DescriptionText(line.substr(eq + 1));
  }
  return {};
}

std::optional<std::string> ReadPlainDescription(const std::string& path) {
  auto bytes = ReadPrefix(path, kDescriptionBytes);
  if (!bytes) return std::nullopt;
  return DescriptionText(*bytes);
}

std::optional<std::string> ReadCompressedDescription(const std::string& path) {
  std::string bytes;
  switch (ReadLzFilePrefix(path, kDescriptionBytes, bytes)) {
    case LzReadResult::CannotOpen: return std::nullopt;
    case LzReadResult::Corrupt: return std::string();
    case LzReadResult::Expanded:
    case LzReadResult::Plain: break;
  }
  return DescriptionText(bytes);
}

std::optional<std::string> ReadDirTxtDescription(const std::string& path) {
  auto bytes = ReadPrefix(path, kTextFileLimit);
  if (!bytes) return std::nullopt;
  return DirTxtDescription(*bytes);
}

std::optional<std::string> ReadSetupDescription(const std::string& path, std::string_view section,
                                                std::string_view key) {
  auto bytes = ReadPrefix(path, kTextFileLimit);
  if (!bytes) return std::nullopt;
  return SetupFileValue(*bytes, section, key);
}
