// A scriptable platform for tests: drives, volumes, mount points and
// existing paths are whatever the test puts in; started programs are recorded.
#pragma once

#include <map>
#include <set>

#include "platform/Platform.h"

class FakePlatform : public IPlatform {
 public:
  std::vector<DriveInfo> drives;
  std::map<std::string, VolumeInfo> volumes;  // root -> volume; a root without one fails
  std::set<std::string> mountPoints;          // besides the volume roots
  std::set<std::string> existingPaths;
  bool realFileSystem = false;  // PathExists / ResolvePath ask the real file system too

  struct Started {
    std::string program;
    std::vector<std::string> args;
    std::string workingDirectory;
  };
  std::vector<Started> started;
  std::vector<std::string> opened;
  bool failStart = false;
  int volumeQueries = 0;

  std::vector<DriveInfo> ListDrives() override { return drives; }
  std::optional<VolumeInfo> GetVolumeInformation(const std::string& root) override;
  bool IsMountPoint(const std::string& path) override;
  bool PathExists(const std::string& path) override;
  std::string ResolvePath(const std::string& path) override;
  bool OpenPath(const std::string& path, std::string* error = nullptr) override;
  bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workingDirectory, std::string* error = nullptr) override;
};

// Installs a platform for the lifetime of the object.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(IPlatform& platform) { SetPlatform(&platform); }
  ~ScopedPlatform() { SetPlatform(nullptr); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;
};
