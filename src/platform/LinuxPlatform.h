// The Linux implementation of the platform layer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

// One line of /proc/self/mountinfo.
struct MountEntry {
  unsigned major = 0, minor = 0;
  std::string root;        // root of the mount inside its file system
  std::string mountPoint;  // unescaped
  std::string fsType;
  std::string source;      // "/dev/sr0", "server:/share", ...
  std::string superOptions;
};
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The path (bytes on disk) with, where a component is missing, the entry of
// the same name in another case (the first found; an exact spelling wins).
std::string ResolvePathCaseInsensitive(const std::string& path);

class LinuxPlatform : public IPlatform {
 public:
  // The paths are parameters so that tests can feed recorded machine states.
  explicit LinuxPlatform(std::string mountInfoPath = "/proc/self/mountinfo", std::string sysRoot = "/sys")
      : mountInfoPath_(std::move(mountInfoPath)), sysRoot_(std::move(sysRoot)) {}

  std::vector<DriveInfo> ListDrives() override;
  std::optional<VolumeInfo> GetVolumeInformation(const std::string& root) override;
  bool IsMountPoint(const std::string& path) override;
  bool PathExists(const std::string& path) override;
  std::string ResolvePath(const std::string& path) override;
  bool OpenPath(const std::string& path, std::string* error = nullptr) override;
  bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workingDirectory, std::string* error = nullptr) override;

  std::vector<MountEntry> Mounts() const;
  DriveType ClassifyMount(const MountEntry& mount) const;

 private:
  std::optional<MountEntry> MountAt(const std::string& root) const;
  std::string mountInfoPath_;
  std::string sysRoot_;
};
