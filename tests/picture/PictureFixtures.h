// Picture files made by ImageMagick for the tests, in a private temporary directory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class PictureDir {
 public:
  PictureDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvpicXXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~PictureDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  PictureDir(const PictureDir&) = delete;
  PictureDir& operator=(const PictureDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Runs `convert ARGS FORMAT:DIR/NAME` (format may be empty, e.g. "PNG8:");
  // returns the file's path, or "" when convert failed.
  std::string Convert(const std::string& args, const std::string& name, const std::string& format = "") const {
    const std::string out = File(name);
    const std::string command = "convert " + args + " " + format + "'" + out + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 && std::filesystem::exists(out) ? out : std::string();
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string out = File(name);
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    return out;
  }

 private:
  std::string path_;
};

inline bool HaveImageMagick() { return std::system("convert -version >/dev/null 2>&1") == 0; }

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Left half red, right half blue: easy to check after any decoder.
inline const char* kRedBlue = "-size 32x48 xc:red -size 32x48 xc:blue +append";
