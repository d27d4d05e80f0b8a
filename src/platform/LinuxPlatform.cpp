// The Linux platform: drives from /proc/self/mountinfo and sysfs, volumes
// through libblkid (udev's database when the device cannot be read),
// programs started detached.
#include "platform/LinuxPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "text/Codepage.h"

extern char** environ;

namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit((unsigned char)s[i + 1]) &&
        std::isdigit((unsigned char)s[i + 2]) && std::isdigit((unsigned char)s[i + 3])) {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool ReadSmallFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

const std::set<std::string>& NetworkTypes() {
  static const std::set<std::string> types = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "9p",
                                              "afs", "fuse.sshfs", "davfs", "fuse.rclone", "ceph", "glusterfs"};
  return types;
}

// udev's properties of a block device ("E:KEY=value" lines).
std::string UdevProperty(unsigned major, unsigned minor, const std::string& key) {
  std::string data;
  if (!ReadSmallFile("/run/udev/data/b" + std::to_string(major) + ":" + std::to_string(minor), data)) return {};
  std::istringstream in(data);
  std::string line;
  std::string prefix = "E:" + key + "=";
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  return {};
}

// udev encodes unsafe label characters as \xNN.
std::string UnescapeUdev(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && std::isxdigit((unsigned char)s[i + 2]) &&
        std::isxdigit((unsigned char)s[i + 3])) {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string RealPath(const std::string& path) {
  char* r = realpath(path.c_str(), nullptr);
  if (!r) return {};
  std::string s(r);
  free(r);
  return s;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> parts;
    std::string f;
    while (fields >> f) parts.push_back(f);
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    size_t dash = 0;
    for (size_t i = 6; i < parts.size(); ++i)
      if (parts[i] == "-") {
        dash = i;
        break;
      }
    if (parts.size() < 7 || dash == 0 || dash + 2 >= parts.size()) continue;
    MountEntry m;
    unsigned maj = 0, min = 0;
    if (std::sscanf(parts[2].c_str(), "%u:%u", &maj, &min) != 2) continue;
    m.major = maj;
    m.minor = min;
    m.root = Unescape(parts[3]);
    m.mountPoint = Unescape(parts[4]);
    m.fsType = parts[dash + 1];
    m.source = Unescape(parts[dash + 2]);
    m.superOptions = dash + 3 < parts.size() ? parts[dash + 3] : std::string();
    mounts.push_back(std::move(m));
  }
  return mounts;
}

std::vector<MountEntry> LinuxPlatform::Mounts() const {
  std::string text;
  if (!ReadSmallFile(mountInfoPath_, text)) return {};
  return ParseMountInfo(text);
}

DriveType LinuxPlatform::ClassifyMount(const MountEntry& m) const {
  if (NetworkTypes().count(m.fsType)) return DriveType::Remote;
  if (m.fsType == "tmpfs" || m.fsType == "ramfs") return DriveType::RamDisk;
  const std::string& dev = m.source;
  if (dev.compare(0, 5, "/dev/") != 0) return DriveType::Unknown;
  std::string base = dev.substr(5);
  if (base.compare(0, 2, "sr") == 0 || base.compare(0, 3, "scd") == 0) return DriveType::CdRom;
  if (base.compare(0, 2, "fd") == 0) return DriveType::Removable;
  if (UdevProperty(m.major, m.minor, "ID_CDROM") == "1") return DriveType::CdRom;
  // A loop-mounted disc image behaves like a disc in a drive.
  if (base.compare(0, 4, "loop") == 0 && (m.fsType == "iso9660" || m.fsType == "udf")) return DriveType::CdRom;
  std::string sysDev = RealPath(sysRoot_ + "/dev/block/" + std::to_string(m.major) + ":" + std::to_string(m.minor));
  if (!sysDev.empty()) {
    std::string disk = sysDev;
    struct stat st;
    if (stat((sysDev + "/partition").c_str(), &st) == 0) disk = sysDev.substr(0, sysDev.rfind('/'));
    std::string removable;
    if (ReadSmallFile(disk + "/removable", removable) && !removable.empty() && removable[0] == '1')
      return DriveType::Removable;
    if (sysDev.find("/usb") != std::string::npos) return DriveType::Removable;
  }
  return DriveType::Fixed;
}

std::vector<DriveInfo> LinuxPlatform::ListDrives() {
  std::vector<DriveInfo> drives;
  for (const auto& m : Mounts()) {
    DriveType type = ClassifyMount(m);
    if (type == DriveType::Unknown) continue;
    if (type == DriveType::RamDisk) continue;  // tmpfs holds nothing worth cataloguing as a drive
    // A later mount on the same point hides the earlier one.
    for (auto it = drives.begin(); it != drives.end(); ++it)
      if (it->root == m.mountPoint) {
        drives.erase(it);
        break;
      }
    drives.push_back({m.mountPoint, type, m.source.compare(0, 5, "/dev/") == 0 ? m.source : std::string()});
  }
  return drives;
}

std::optional<MountEntry> LinuxPlatform::MountAt(const std::string& root) const {
  std::string real = RealPath(root);
  if (real.empty()) return std::nullopt;
  std::optional<MountEntry> found;
  for (auto& m : Mounts())
    if (m.mountPoint == real) found = m;  // the last mount on a point is the visible one
  return found;
}

bool LinuxPlatform::IsMountPoint(const std::string& path) { return MountAt(path).has_value(); }

std::optional<VolumeInfo> LinuxPlatform::GetVolumeInformation(const std::string& root) {
  auto mount = MountAt(root);
  if (!mount) return std::nullopt;
  if (mount->source.compare(0, 5, "/dev/") == 0 || mount->fsType == "iso9660" || mount->fsType == "udf") {
    if (auto info = ProbeVolume(mount->source)) return info;
  }
  // The device cannot be read (no permission): take what udev recorded.
  VolumeInfo info;
  std::string type = UdevProperty(mount->major, mount->minor, "ID_FS_TYPE");
  if (!type.empty()) {
    info.label = UnescapeUdev(UdevProperty(mount->major, mount->minor, "ID_FS_LABEL_ENC"));
    if (info.label.empty()) info.label = UdevProperty(mount->major, mount->minor, "ID_FS_LABEL");
    info.fileSystem = WindowsFileSystemName(type, UdevProperty(mount->major, mount->minor, "ID_FS_VERSION"));
    std::string uuid = UdevProperty(mount->major, mount->minor, "ID_FS_UUID");
    if (info.fileSystem != "CDFS" && info.fileSystem != "UDF") {
      std::string hex;
      for (char c : uuid)
        if (std::isxdigit((unsigned char)c)) hex += c;
      if (info.fileSystem == "NTFS" && hex.size() > 8) hex = hex.substr(hex.size() - 8);
      if (hex.size() > 8) hex.resize(8);
      if (!hex.empty()) info.serialNumber = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
    }
  } else {
    info.fileSystem = WindowsFileSystemName(mount->fsType, std::string());
  }
  CaseFlagsOf(info.fileSystem, false, info.caseSensitive, info.casePreserving);
  return info;
}

bool LinuxPlatform::PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::string ResolvePathCaseInsensitive(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) == 0) return path;
  std::string resolved = path[0] == '/' ? "/" : "";
  size_t pos = 0;
  bool any = false;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string component = path.substr(pos, next - pos);
    pos = next + 1;
    if (component.empty()) continue;
    std::string candidate = resolved + (resolved.empty() || resolved.back() == '/' ? "" : "/") + component;
    if (lstat(candidate.c_str(), &st) != 0) {
      // Look for the name in another case.
      std::string dirPath = resolved.empty() ? "." : resolved;
      DIR* dir = opendir(dirPath.c_str());
      if (!dir) return path;
      std::string wanted = Utf8Lower(NameFromBytes(component));
      std::string match;
      while (dirent* e = readdir(dir)) {
        if (Utf8Lower(NameFromBytes(e->d_name)) == wanted) {
          match = e->d_name;
          if (match == component) break;
        }
      }
      closedir(dir);
      if (match.empty()) return path;
      candidate = resolved + (resolved.empty() || resolved.back() == '/' ? "" : "/") + match;
      any = true;
    }
    resolved = candidate;
  }
  return any ? resolved : path;
}

bool IsCaseInsensitiveFileSystemType(long statfsType) {
  switch (static_cast<unsigned long>(statfsType)) {
    case 0x4d44:      // FAT
    case 0x2011BAB0:  // exFAT
    case 0x5346544e:  // NTFS
    case 0x7366746e:  // NTFS (ntfs3)
    case 0x4244:      // HFS
    case 0x482b:      // HFS+
    case 0x15013346:  // UDF
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
      return true;
    default:
      return false;
  }
}

bool HasCaseInsensitiveNames(int directoryFd) {
  struct statfs sfs;
  if (fstatfs(directoryFd, &sfs) != 0) return false;
  constexpr long kIso9660 = 0x9660;
  if (sfs.f_type != kIso9660) return IsCaseInsensitiveFileSystemType(static_cast<long>(sfs.f_type));
  // ISO 9660 names are case-insensitive unless Rock Ridge gives POSIX ones,
  // which only the volume tells.
  struct stat st;
  std::string text;
  if (fstat(directoryFd, &st) != 0 || !ReadSmallFile("/proc/self/mountinfo", text)) return true;
  for (const MountEntry& m : ParseMountInfo(text))
    if (m.major == major(st.st_dev) && m.minor == minor(st.st_dev))
      if (auto info = ProbeVolume(m.source)) return !info->caseSensitive;
  return true;
}

std::string LinuxPlatform::ResolvePath(const std::string& path) {
  return ResolvePathCaseInsensitive(NameToBytes(path));
}

bool LinuxPlatform::StartProgram(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& workingDirectory, std::string* error) {
  // Double fork so the program is not our child (no zombie, no waiting);
  // a pipe closed on exec carries an exec failure back.
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  std::vector<std::string> argStore;
  argStore.push_back(program);
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t child = fork();
  if (child < 0) {
    if (error) *error = std::strerror(errno);
    close(pipefd[0]);
    close(pipefd[1]);
    return false;
  }
  if (child == 0) {
    close(pipefd[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) {
      int e = errno;
      (void)!write(pipefd[1], &e, sizeof e);
      _exit(127);
    }
    execvp(argv[0], argv.data());
    int e = errno;
    (void)!write(pipefd[1], &e, sizeof e);
    _exit(127);
  }
  close(pipefd[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int childErrno = 0;
  ssize_t n;
  do {
    n = read(pipefd[0], &childErrno, sizeof childErrno);
  } while (n < 0 && errno == EINTR);
  close(pipefd[0]);
  if (n == static_cast<ssize_t>(sizeof childErrno)) {
    if (error) *error = program + ": " + std::strerror(childErrno);
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (error) *error = program + ": cannot be started";
    return false;
  }
  return true;
}

bool LinuxPlatform::OpenPath(const std::string& path, std::string* error) {
  return StartProgram("xdg-open", {path}, std::string(), error);
}

namespace {
IPlatform* g_platform = nullptr;
}

IPlatform& GetPlatform() {
  static LinuxPlatform system;
  return g_platform ? *g_platform : system;
}

void SetPlatform(IPlatform* platform) { g_platform = platform; }
