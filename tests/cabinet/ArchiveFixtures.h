// Scratch directories, files and tool runs for the archive, cabinet and
// application tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-arch-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    // Read-only leftovers must not keep the directory alive.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ec);
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

  // Writes a file (directories made as needed) and returns its path.
  std::string Write(const std::string& rel, const std::string& data) const {
    const std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
    return p.string();
  }

 private:
  std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Runs a shell command in dir; true when it exits with 0.
inline bool RunIn(const std::string& dir, const std::string& command) {
  const std::string line = "cd '" + dir + "' && " + command + " >/dev/null 2>&1";
  const int status = std::system(line.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOL(tool) \
  if (!HaveTool(tool)) GTEST_SKIP() << tool " is not installed"

// Entries of a directory tree, relative, sorted ("a/", "a/x.txt").
inline std::vector<std::string> TreeEntries(const std::string& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::string rel = std::filesystem::relative(it->path(), root).string();
    if (it->is_directory() && !it->is_symlink()) rel += "/";
    out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct ZipTestEntry {
  std::string name;  // stored as is
  std::string data;
  time_t mtime = 0;          // 0: libzip's default (now)
  uint32_t unixMode = 0;     // nonzero: stored as Unix external attributes
  bool directory = false;
};

// Writes a ZIP with libzip, entries in the given order; false on failure.
inline bool MakeTestZip(const std::string& path, const std::vector<ZipTestEntry>& entries) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return false;
  for (const ZipTestEntry& e : entries) {
    zip_int64_t index;
    if (e.directory) {
      index = zip_dir_add(za, e.name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
      index = src ? zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_UTF_8) : -1;
      if (index < 0 && src) zip_source_free(src);
    }
    if (index < 0) {
      zip_discard(za);
      return false;
    }
    if (e.mtime) zip_file_set_mtime(za, static_cast<zip_uint64_t>(index), e.mtime, 0);
    if (e.unixMode)
      zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX, e.unixMode << 16);
  }
  return zip_close(za) == 0;
}
