// The thin layer between the core and the machine: drives, volumes, paths,
// starting programs. The Linux implementation lives in LinuxPlatform.cpp; tests
// install a FakePlatform (platform/FakePlatform.h) through SetPlatform().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Drive types keep the Windows classification the media type list is built on.
enum class DriveType {
  Unknown,
  Removable,  // floppies, USB sticks and card readers
  Fixed,
  Remote,
  CdRom,
  RamDisk,
};

struct DriveInfo {
  std::string root;    // mount point path, e.g. "/media/user/DISK"
  DriveType type = DriveType::Unknown;
  std::string device;  // block device behind it ("/dev/sr0"), empty when none
};

// What the volume service answers for a drive root.
struct VolumeInfo {
  std::string label;
  std::string fileSystem;     // Windows spelling: "CDFS", "UDF", "FAT", "FAT32", "exFAT", "NTFS", ...
  uint32_t serialNumber = 0;  // as Windows reports it; 0 when unknown
  bool caseSensitive = false;
  bool casePreserving = false;
};

class IPlatform {
 public:
  virtual ~IPlatform() = default;

  // Mounted file systems backed by a block device, an image or the network,
  // in mount order, each with its type (callers filter); pseudo file systems
  // (proc, sysfs, cgroup, tmpfs...) are left out.
  virtual std::vector<DriveInfo> ListDrives() = 0;
  // Volume information of a drive root (a mount point); nothing when the
  // path is not a mount point or its volume cannot be read.
  virtual std::optional<VolumeInfo> GetVolumeInformation(const std::string& root) = 0;
  // Whether path is the root of a mounted file system (the counterpart of a
  // drive root such as "D:\").
  virtual bool IsMountPoint(const std::string& path) = 0;
  // Whether the path exists (file status query succeeds; links followed).
  virtual bool PathExists(const std::string& path) = 0;
  // The path on disk of a catalogued path: escaped name bytes become the
  // bytes again (see NameToBytes); when a component does not exist under its
  // exact name, a case-insensitive match is used instead.
  virtual std::string ResolvePath(const std::string& path) = 0;
  // Opens a file or folder with the desktop's associated program (xdg-open).
  // false with *error filled when it cannot be started.
  virtual bool OpenPath(const std::string& path, std::string* error = nullptr) = 0;
  // Starts a program with arguments in a working directory (empty: current),
  // without waiting for it. false with *error filled when it cannot be started.
  virtual bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& workingDirectory, std::string* error = nullptr) = 0;
};

// The platform of the process: the Linux implementation unless a test set another.
IPlatform& GetPlatform();
// Installs a platform (not owned); nullptr restores the Linux implementation.
void SetPlatform(IPlatform* platform);

// Volume reading helpers shared by the Linux implementation and tests.
// Probes a block device or an image file with libblkid. Nothing when no
// file system is recognised or the file cannot be opened.
std::optional<VolumeInfo> ProbeVolume(const std::string& deviceOrImage);
// The serial number Windows derives from an ISO 9660 primary volume
// descriptor (the 2048 bytes of sector 16).
uint32_t Iso9660SerialNumber(const unsigned char* pvd, size_t length);
// Windows spelling of a libblkid file-system type ("iso9660" -> "CDFS", ...).
// version is libblkid's VERSION tag (tells FAT32 from FAT12/16).
std::string WindowsFileSystemName(const std::string& blkidType, const std::string& version);
// Whether names on the file system of an open directory are
// case-insensitive (FAT, exFAT, NTFS, HFS, SMB, UDF, ISO 9660 without Rock
// Ridge); false for the POSIX file systems (ext4, btrfs, xfs, tmpfs...).
bool HasCaseInsensitiveNames(int directoryFd);
// The same by the statfs type of the file system, for the types that
// answer without looking at the volume.
bool IsCaseInsensitiveFileSystemType(long statfsType);
// Case flags of a file system given by its Windows spelling.
void CaseFlagsOf(const std::string& fileSystem, bool rockRidge, bool& caseSensitive, bool& casePreserving);
