// Short audio files and films made by ffmpeg, once per test program, in a
// temporary directory removed at exit; and what ffprobe says of them.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace mediacorpus {

namespace fs = std::filesystem;

inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

inline bool HaveTools() {
  return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1 && "
                     "command -v exiftool >/dev/null 2>&1") == 0;
}

// Tags every audio file carries.
inline const std::vector<std::pair<std::string, std::string>>& Tags() {
  static const std::vector<std::pair<std::string, std::string>> tags = {
      {"title", "Ondes grises"}, {"artist", "Quatuor Test"}, {"album", "Bruits"},  {"genre", "Ambient"},
      {"track", "3"},            {"date", "2021"},           {"comment", "pink noise"}};
  return tags;
}

// Audio files written by ffmpeg (Monkey's Audio, Musepack and Speex it cannot
// write); with a cover where its muxer stores one as the format's picture.
struct AudioFile {
  const char* name;
  const char* codec;
  bool cover;
};
inline const std::vector<AudioFile>& AudioFiles() {
  static const std::vector<AudioFile> files = {
      {"song.flac", "flac", true},        {"song.ogg", "libvorbis", false}, {"song.opus", "libopus", false},
      {"song.m4a", "aac", true},          {"song.wav", "pcm_s16le", false}, {"song.aiff", "pcm_s16be", true},
      {"song.wma", "wmav2", false},       {"song.wv", "wavpack", false},    {"song.tta", "tta", false},
  };
  return files;
}

// Films of three seconds at 160 x 90 and 25 frames per second.
inline const std::vector<std::string>& VideoFiles() {
  static const std::vector<std::string> files = {"film.mp4", "film.mkv",    "film.webm",
                                                 "film.avi", "film.ts",     "rotated.mp4", "wide.mp4"};
  return files;
}

// The directory of the corpus; empty when ffmpeg, ffprobe or exiftool is
// missing. Each test runs as a process of its own, so the corpus is made
// once beside the test program (in the build tree), under a name taken from
// its recipe, and the processes after the first reuse it.
inline const fs::path& Dir() {
  static const fs::path dir = []() -> fs::path {
    if (!HaveTools()) return {};
    std::string tags;
    for (const auto& [k, v] : Tags()) tags += " -metadata " + k + "='" + v + "'";
    const std::string ff = "ffmpeg -nostdin -v error -y ";
    const std::string noise = " -f lavfi -i anoisesrc=d=3:c=pink:a=0.3:r=44100";
    const std::string film = " -f lavfi -i testsrc2=size=160x90:rate=25 -f lavfi -i sine=duration=3:sample_rate=48000 -t 3";
    std::string script = ff + "-f lavfi -i testsrc=size=64x48:rate=1 -frames:v 1 cover.png";
    for (const AudioFile& a : AudioFiles()) {
      script += " && " + ff + noise;
      if (a.cover) script += " -i cover.png -map 0 -map 1 -c:v png -disposition:v attached_pic";
      if (std::string(a.name).ends_with(".aiff")) script += " -write_id3v2 1";
      script += " -c:a " + std::string(a.codec) + tags + " " + a.name;
    }
    script += " && " + ff + film + " -c:v libx264 -preset ultrafast -c:a aac -metadata title='Le film' film.mp4";
    script += " && " + ff + film + " -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 200k -c:a libopus film.mkv";
    script += " && " + ff + film + " -c:v libvpx -deadline realtime -cpu-used 8 -b:v 200k -c:a libvorbis film.webm";
    script += " && " + ff + film + " -c:v mpeg4 -c:a libmp3lame film.avi";
    script += " && " + ff + film + " -c:v libx264 -preset ultrafast -c:a aac film.ts";
    script += " && " + ff + film + " -c:v libx264 -preset ultrafast -aspect 2.39 -c:a aac wide.mp4";
    // ffmpeg 5.1 no longer writes a rotation; exiftool writes a phone's display matrix.
    script += " && cp film.mp4 rotated.mp4 && exiftool -q -overwrite_original -Rotation=90 rotated.mp4";

    char key[32];
    std::snprintf(key, sizeof key, "%016zx", std::hash<std::string>{}(script));
    std::error_code ec;
    const fs::path home = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec || home.empty()) return {};
    const fs::path final = home / ("media-corpus-" + std::string(key));
    if (fs::exists(final / ".done")) return final;
    std::string templ = (home / "media-corpus-new-XXXXXX").string();
    if (!mkdtemp(templ.data())) return {};
    const fs::path fresh = templ;
    int status = 0;
    const std::string out = Shell("(cd '" + fresh.string() + "' && " + script + " && touch .done) 2>&1", &status);
    if (status != 0) {
      std::fprintf(stderr, "media corpus: %s\n", out.c_str());
      fs::remove_all(fresh, ec);
      return {};
    }
    fs::rename(fresh, final, ec);  // another process may have been first: use its corpus
    if (ec) fs::remove_all(fresh, ec);
    return fs::exists(final / ".done") ? final : fs::path();
  }();
  return dir;
}

// ffprobe's figures of a file: format duration, bit rate and tags; streams.
inline nlohmann::json Probe(const fs::path& file) {
  const std::string out =
      Shell("ffprobe -v error -show_entries format=duration,bit_rate:format_tags:stream=codec_type,codec_name,"
            "sample_rate,bit_rate,width,height,avg_frame_rate,channels:stream_tags:stream_disposition=attached_pic "
            "-of json '" + file.string() + "'");
  return nlohmann::json::parse(out, nullptr, false);
}

double Number(const nlohmann::json& j, const char* key);

// The bit rate of the audio itself, as ffprobe counts its packets: the
// bytes of every audio packet over the duration. Headers, tags and covers,
// which weigh much in a file of three seconds, are left out.
inline double AudioPayloadRate(const fs::path& file) {
  const nlohmann::json j = nlohmann::json::parse(
      Shell("ffprobe -v error -select_streams a:0 -show_entries packet=size:format=duration -of json '" +
            file.string() + "'"),
      nullptr, false);
  double bytes = 0;
  for (const auto& p : j.value("packets", nlohmann::json::array())) bytes += Number(p, "size");
  const double seconds = Number(j.value("format", nlohmann::json::object()), "duration");
  return seconds > 0 ? bytes * 8 / seconds : -1;
}

inline double Number(const nlohmann::json& j, const char* key) {
  if (!j.contains(key)) return -1;
  const auto& v = j[key];
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    return end != s.c_str() ? d : -1;
  }
  return -1;
}

// The first stream of a type, not a cover; null when none.
inline nlohmann::json Stream(const nlohmann::json& probe, const char* type) {
  for (const auto& s : probe.value("streams", nlohmann::json::array()))
    if (s.value("codec_type", "") == type && !(s.contains("disposition") && s["disposition"].value("attached_pic", 0)))
      return s;
  return nullptr;
}

}  // namespace mediacorpus
