#include "platform/FakePlatform.h"

#include "platform/LinuxPlatform.h"

std::optional<VolumeInfo> FakePlatform::GetVolumeInformation(const std::string& root) {
  ++volumeQueries;
  auto it = volumes.find(root);
  if (it == volumes.end()) return std::nullopt;
  return it->second;
}

bool FakePlatform::IsMountPoint(const std::string& path) {
  return mountPoints.count(path) || volumes.count(path);
}

bool FakePlatform::PathExists(const std::string& path) {
  if (existingPaths.count(path) || volumes.count(path)) return true;
  return realFileSystem && LinuxPlatform().PathExists(path);
}

std::string FakePlatform::ResolvePath(const std::string& path) {
  return realFileSystem ? LinuxPlatform().ResolvePath(path) : path;
}

bool FakePlatform::OpenPath(const std::string& path, std::string* error) {
  if (failStart) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  opened.push_back(path);
  return true;
}

bool FakePlatform::StartProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& workingDirectory, std::string* error) {
  if (failStart) {
    if (error) *error = "cannot start " + program;
    return false;
  }
  started.push_back({program, args, workingDirectory});
  return true;
}
