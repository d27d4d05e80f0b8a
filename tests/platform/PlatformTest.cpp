#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/FakePlatform.h"
#include "platform/LinuxPlatform.h"
#include "platform/Platform.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    path = testsupport::MakeTestDirectory("qv-platform");
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

bool RunQuiet(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<unsigned char> ReadSector(const fs::path& image, int sector) {
  std::vector<unsigned char> block(2048);
  std::ifstream in(image, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(sector) * 2048);
  in.read(reinterpret_cast<char*>(block.data()), 2048);
  return block;
}

// The Windows CD serial computed another way: per-lane 32-bit totals,
// reduced to a byte at the end, lane 0 in the high byte.
uint32_t ReferenceCdSerial(const std::vector<unsigned char>& block) {
  uint32_t lane[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < block.size(); ++i) lane[i % 4] += block[i];
  return (lane[0] & 0xFF) << 24 | (lane[1] & 0xFF) << 16 | (lane[2] & 0xFF) << 8 | (lane[3] & 0xFF);
}

}  // namespace

TEST(VolumeProbe, Iso9660ImageGivesLabelCdfsAndWindowsSerial) {
  TempDir dir;
  WriteFile(dir.path / "src" / "README.TXT", "hello");
  fs::path image = dir.path / "disc.iso";
  ASSERT_TRUE(RunQuiet("xorriso -as mkisofs --norock -V MYDISC -o " + image.string() + " " + (dir.path / "src").string()));

  auto info = ProbeVolume(image.string());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->label, "MYDISC");
  EXPECT_EQ(info->fileSystem, "CDFS");
  auto pvd = ReadSector(image, 16);
  ASSERT_EQ(pvd[0], 1);
  EXPECT_EQ(info->serialNumber, ReferenceCdSerial(pvd));
  EXPECT_NE(info->serialNumber, 0u);
  // Plain ISO 9660: names are upper case only, neither flag.
  EXPECT_FALSE(info->caseSensitive);
  EXPECT_FALSE(info->casePreserving);
}

TEST(VolumeProbe, JolietDiscTakesSerialFromSupplementaryDescriptorAndRockRidgeKeepsCase) {
  TempDir dir;
  WriteFile(dir.path / "src" / "Mixed Case.txt", "x");
  fs::path image = dir.path / "disc.iso";
  ASSERT_TRUE(RunQuiet("xorriso -as mkisofs -R -J -V JOLIET -o " + image.string() + " " + (dir.path / "src").string()));
  auto info = ProbeVolume(image.string());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->fileSystem, "CDFS");
  auto svd = ReadSector(image, 17);
  ASSERT_EQ(svd[0], 2) << "Joliet descriptor expected at sector 17";
  EXPECT_EQ(info->serialNumber, ReferenceCdSerial(svd));
  EXPECT_NE(info->serialNumber, ReferenceCdSerial(ReadSector(image, 16)));
  EXPECT_TRUE(info->caseSensitive);
  EXPECT_TRUE(info->casePreserving);
}

TEST(VolumeProbe, FatImageGivesVolumeIdAsSerial) {
  TempDir dir;
  fs::path image = dir.path / "floppy.img";
  ASSERT_TRUE(RunQuiet("mkfs.vfat -C " + image.string() + " 1440 -n FLOPPY1 -i 1234ABCD"));
  auto info = ProbeVolume(image.string());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->label, "FLOPPY1");
  EXPECT_EQ(info->fileSystem, "FAT");
  EXPECT_EQ(info->serialNumber, 0x1234ABCDu);
  EXPECT_FALSE(info->caseSensitive);
  EXPECT_TRUE(info->casePreserving);
}

TEST(VolumeProbe, Fat32AndUnreadableInputs) {
  TempDir dir;
  fs::path image = dir.path / "big.img";
  ASSERT_TRUE(RunQuiet("mkfs.vfat -F 32 -C " + image.string() + " 40000 -n BIGDISK -i DEADBEEF"));
  auto info = ProbeVolume(image.string());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->fileSystem, "FAT32");
  EXPECT_EQ(info->serialNumber, 0xDEADBEEFu);

  WriteFile(dir.path / "junk.bin", std::string(8192, '\x5a'));
  EXPECT_FALSE(ProbeVolume((dir.path / "junk.bin").string()).has_value());
  EXPECT_FALSE(ProbeVolume((dir.path / "missing.img").string()).has_value());
  WriteFile(dir.path / "empty.bin", "");
  EXPECT_FALSE(ProbeVolume((dir.path / "empty.bin").string()).has_value());
}

TEST(VolumeProbe, TruncatedIsoDoesNotCrash) {
  TempDir dir;
  WriteFile(dir.path / "src" / "a.txt", "x");
  fs::path image = dir.path / "disc.iso";
  ASSERT_TRUE(RunQuiet("xorriso -as mkisofs -V CUT -o " + image.string() + " " + (dir.path / "src").string()));
  // Keep the descriptors but lose the directory sectors.
  fs::resize_file(image, 17 * 2048 + 100);
  auto info = ProbeVolume(image.string());
  if (info) {
    EXPECT_EQ(info->fileSystem, "CDFS");
  }
}

TEST(FileSystemNames, WindowsSpellingAndCaseFlags) {
  EXPECT_EQ(WindowsFileSystemName("iso9660", ""), "CDFS");
  EXPECT_EQ(WindowsFileSystemName("udf", ""), "UDF");
  EXPECT_EQ(WindowsFileSystemName("vfat", "FAT16"), "FAT");
  EXPECT_EQ(WindowsFileSystemName("vfat", "FAT12"), "FAT");
  EXPECT_EQ(WindowsFileSystemName("vfat", "FAT32"), "FAT32");
  EXPECT_EQ(WindowsFileSystemName("exfat", ""), "exFAT");
  EXPECT_EQ(WindowsFileSystemName("ntfs", ""), "NTFS");
  EXPECT_EQ(WindowsFileSystemName("ext4", "1.0"), "EXT4");
  bool sensitive = true, preserving = false;
  CaseFlagsOf("NTFS", false, sensitive, preserving);
  EXPECT_FALSE(sensitive);
  EXPECT_TRUE(preserving);
  CaseFlagsOf("EXT4", false, sensitive, preserving);
  EXPECT_TRUE(sensitive && preserving);
}

TEST(MountInfo, ParsesEscapesAndOptionalFields) {
  auto mounts = ParseMountInfo(
      "36 35 98:0 /mnt1 /mnt/My\\040Disc rw,noatime master:1 - iso9660 /dev/sr0 ro\n"
      "37 35 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n"
      "broken line\n"
      "38 35 0:40 / /net rw shared:2 - nfs4 srv:/x rw\n");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].mountPoint, "/mnt/My Disc");
  EXPECT_EQ(mounts[0].fsType, "iso9660");
  EXPECT_EQ(mounts[0].source, "/dev/sr0");
  EXPECT_EQ(mounts[1].major, 8u);
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[2].fsType, "nfs4");
}

TEST(MountInfo, DrivesClassifiedFromSysfs) {
  TempDir dir;
  // sysfs: 8:17 is partition 1 of a removable disk, 8:1 of a fixed disk, 8:33 hangs on USB.
  fs::path sys = dir.path / "sys";
  fs::create_directories(sys / "dev" / "block");
  WriteFile(sys / "devices" / "pci" / "block" / "sdb" / "removable", "1\n");
  WriteFile(sys / "devices" / "pci" / "block" / "sdb" / "sdb1" / "partition", "1\n");
  WriteFile(sys / "devices" / "pci" / "block" / "sda" / "removable", "0\n");
  WriteFile(sys / "devices" / "pci" / "block" / "sda" / "sda1" / "partition", "1\n");
  WriteFile(sys / "devices" / "pci" / "usb1" / "block" / "sdc" / "removable", "0\n");
  WriteFile(sys / "devices" / "pci" / "usb1" / "block" / "sdc" / "sdc1" / "partition", "1\n");
  fs::create_directory_symlink(sys / "devices" / "pci" / "block" / "sdb" / "sdb1", sys / "dev" / "block" / "8:17");
  fs::create_directory_symlink(sys / "devices" / "pci" / "block" / "sda" / "sda1", sys / "dev" / "block" / "8:1");
  fs::create_directory_symlink(sys / "devices" / "pci" / "usb1" / "block" / "sdc" / "sdc1",
                               sys / "dev" / "block" / "8:33");
  WriteFile(dir.path / "mountinfo",
            "20 1 0:20 / /proc rw - proc proc rw\n"
            "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
            "22 1 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
            "23 1 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n"
            "24 1 8:33 / /media/usbdisk rw - ext4 /dev/sdc1 rw\n"
            "25 1 2:0 / /media/floppy rw - vfat /dev/fd0 rw\n"
            "26 1 0:40 / /net rw - nfs4 srv:/x rw\n"
            "27 1 0:41 / /run rw - tmpfs tmpfs rw\n");
  LinuxPlatform platform((dir.path / "mountinfo").string(), sys.string());
  auto drives = platform.ListDrives();
  std::vector<std::pair<std::string, DriveType>> got;
  for (auto& d : drives) got.emplace_back(d.root, d.type);
  std::vector<std::pair<std::string, DriveType>> want = {
      {"/", DriveType::Fixed},
      {"/media/cdrom", DriveType::CdRom},
      {"/media/stick", DriveType::Removable},
      {"/media/usbdisk", DriveType::Removable},
      {"/media/floppy", DriveType::Removable},
      {"/net", DriveType::Remote},
  };
  EXPECT_EQ(got, want);
}

TEST(Paths, ResolveFallsBackToOtherCasePerComponent) {
  TempDir dir;
  WriteFile(dir.path / "Disc" / "SUB" / "README.TXT", "x");
  WriteFile(dir.path / "Disc" / "SUB" / "exact.txt", "x");
  std::string base = dir.path.string();
  EXPECT_EQ(ResolvePathCaseInsensitive(base + "/disc/Sub/Readme.txt"), base + "/Disc/SUB/README.TXT");
  EXPECT_EQ(ResolvePathCaseInsensitive(base + "/Disc/SUB/exact.txt"), base + "/Disc/SUB/exact.txt");
  // Nothing matches: the path comes back as it was.
  EXPECT_EQ(ResolvePathCaseInsensitive(base + "/disc/none/x"), base + "/disc/none/x");
  // Both spellings exist: the exact one wins.
  WriteFile(dir.path / "Disc" / "SUB" / "Readme.txt", "y");
  EXPECT_EQ(ResolvePathCaseInsensitive(base + "/Disc/SUB/Readme.txt"), base + "/Disc/SUB/Readme.txt");
}

TEST(Programs, StartReportsFailureAndSuccess) {
  LinuxPlatform platform;
  std::string error;
  EXPECT_TRUE(platform.StartProgram("true", {}, "/", &error)) << error;
  EXPECT_FALSE(platform.StartProgram("/nonexistent/program-qv", {}, "", &error));
  EXPECT_NE(error.find("program-qv"), std::string::npos);
  EXPECT_FALSE(platform.StartProgram("true", {}, "/nonexistent-dir-qv", &error));
  TempDir dir;
  fs::path marker = dir.path / "started";
  ASSERT_TRUE(platform.StartProgram("sh", {"-c", "echo ok > started"}, dir.path.string(), &error)) << error;
  for (int i = 0; i < 100 && !fs::exists(marker); ++i) usleep(20000);
  EXPECT_TRUE(fs::exists(marker));
}

TEST(Platform, AccessorSwapsInFake) {
  FakePlatform fake;
  fake.volumes["/media/cd"] = VolumeInfo{"LBL", "CDFS", 7, false, false};
  {
    ScopedPlatform scoped(fake);
    EXPECT_EQ(&GetPlatform(), &fake);
    auto v = GetPlatform().GetVolumeInformation("/media/cd");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->label, "LBL");
    EXPECT_TRUE(GetPlatform().IsMountPoint("/media/cd"));
  }
  EXPECT_NE(&GetPlatform(), &fake);
  EXPECT_TRUE(GetPlatform().IsMountPoint("/"));
  EXPECT_FALSE(GetPlatform().IsMountPoint("/definitely/not/here"));
}
