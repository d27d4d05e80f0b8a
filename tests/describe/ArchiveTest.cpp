#include "describe/Archive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "cabinet/ArchiveFixtures.h"
#include "cabinet/CabWriter.h"
#include "catalog/FileItemList.h"
#include "describe/ArchiveZip.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "ports/TempDir.h"

namespace {

TEST(ArchiveExtraction, ZipMemberLandsFlatWholeZipKeepsDirectories) {
  ScratchDir dir;
  ASSERT_TRUE(MakeTestZip(dir / "t.zip", {{"docs/", "", 0, 0, true}, {"docs/readme.txt", "read"}, {"setup.exe", "MZ"}}));
  ScratchDir one;
  std::string path;
  ASSERT_EQ(ExtractArchiveMember(dir / "t.zip", "readme.txt", "docs/readme.txt", path, one.path()), 1);
  EXPECT_EQ(path, one / "readme.txt");
  EXPECT_EQ(ReadWholeFile(path), "read");
  EXPECT_EQ(ExtractArchiveMember(dir / "t.zip", "nothere.txt", "docs/nothere.txt", path, one.path()), 0);
  EXPECT_EQ(ExtractArchiveMember(dir / "t.rar", "readme.txt", "docs/readme.txt", path, one.path()), 0);

  ScratchDir all;
  std::string outDir;
  ASSERT_EQ(ExtractWholeZip(dir / "t.zip", outDir, all.path()), 1);
  EXPECT_EQ(outDir, all.path());
  EXPECT_EQ(TreeEntries(all.path()), (std::vector<std::string>{"docs/", "docs/readme.txt", "setup.exe"}));
}

TEST(ArchiveExtraction, NothingIsWrittenOutsideTheWorkDirectory) {
  ScratchDir dir;
  ASSERT_TRUE(MakeTestZip(dir / "evil.zip", {{"../up.txt", "1"},
                                             {"/abs/root.txt", "2"},
                                             {"C:\\win\\drive.txt", "3"},
                                             {"a/../../../deep.txt", "4"},
                                             {"link", "/etc/passwd", 0, S_IFLNK | 0777}}));
  WriteTestCabinet(dir / "evil.cab", {{"..\\up.txt", "1"}, {"\\abs\\root.txt", "2"}, {"C:\\win\\drive.txt", "3"}});
  const std::string work = dir / "work";
  ASSERT_EQ(::mkdir(work.c_str(), 0700), 0);

  std::string outDir;
  ASSERT_EQ(ExtractWholeZip(dir / "evil.zip", outDir, work), 1);
  EXPECT_EQ(TreeEntries(work), (std::vector<std::string>{"a/", "a/deep.txt", "abs/", "abs/root.txt", "up.txt", "win/",
                                                         "win/drive.txt"}));
  std::string path;
  EXPECT_EQ(ExtractArchiveMember(dir / "evil.zip", "up.txt", "up.txt", path, work), 1);
  EXPECT_EQ(path, work + "/up.txt");
  EXPECT_EQ(ExtractArchiveMember(dir / "evil.zip", "link", "link", path, work), 0);
  for (const char* member : {"up.txt", "abs/root.txt", "win/drive.txt"}) {
    ASSERT_EQ(ExtractArchiveMember(dir / "evil.cab", "", member, path, work), 1) << member;
    EXPECT_EQ(path.rfind(work + "/", 0), 0u) << path;
  }
  // Only the archives and the work directory are there.
  for (const std::string& entry : TreeEntries(dir.path()))
    EXPECT_TRUE(entry == "evil.zip" || entry == "evil.cab" || entry.rfind("work/", 0) == 0) << entry;
  EXPECT_FALSE(std::filesystem::exists("/abs/root.txt"));

  // A link planted in the work directory is not followed.
  ASSERT_EQ(::symlink((dir / "target").c_str(), (work + "/up.txt").c_str()) == 0 ||
                (std::filesystem::remove(work + "/up.txt") &&
                 ::symlink((dir / "target").c_str(), (work + "/up.txt").c_str()) == 0),
            true);
  EXPECT_EQ(ExtractArchiveMember(dir / "evil.zip", "up.txt", "up.txt", path, work), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "target"));
}

TEST(ArchiveExtraction, ArchivesClaimingMoreThanTheyHoldFail) {
  ScratchDir dir;
  // An end record pointing at a 64-bit directory of 2^40 entries in 1000 bytes.
  std::string z64(1000, '\0');
  auto put = [&](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) z64 += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  z64 += "PK\x06\x06";
  put(44, 8);
  put(45, 2);
  put(45, 2);
  put(0, 4);
  put(0, 4);
  put(uint64_t(1) << 40, 8);
  put(uint64_t(1) << 40, 8);
  put(1000, 8);
  put(0, 8);
  z64 += "PK\x06\x07";
  put(0, 4);
  put(1000, 8);
  put(1, 4);
  z64 += "PK\x05\x06";
  put(0, 4);
  put(0xFFFF, 2);
  put(0xFFFF, 2);
  put(0xFFFFFFFF, 4);
  put(0xFFFFFFFF, 4);
  put(0, 2);
  const std::string bomb = dir.Write("many.zip", z64);
  std::vector<ArchiveMember> members;
  std::string error;
  EXPECT_FALSE(ListZipMembers(bomb, members, error));
  EXPECT_TRUE(members.empty());

  // Members beyond the extraction limit are refused.
  ASSERT_TRUE(MakeTestZip(dir / "big.zip", {{"big.bin", std::string(5000, 'b')}}));
  ZipAccess().SetReader(MakeLibZipReader(ArchiveLimits{1000, 4000}));
  std::string path;
  EXPECT_EQ(ExtractArchiveMember(dir / "big.zip", "big.bin", "big.bin", path, dir / ""), 0);
  ZipAccess().SetReader(MakeLibZipReader());
  EXPECT_EQ(ExtractArchiveMember(dir / "big.zip", "big.bin", "big.bin", path, dir.path()), 1);

  // A member whose stream holds more than its header declares.
  std::string bytes = ReadWholeFile(dir / "big.zip");
  for (size_t p = 0; (p = bytes.find("PK", p)) != std::string::npos; p += 2) {
    const size_t sizeAt = bytes.compare(p, 4, "PK\x03\x04") == 0 ? p + 22 : bytes.compare(p, 4, "PK\x01\x02") == 0 ? p + 24 : 0;
    if (sizeAt) bytes.replace(sizeAt, 4, std::string("\x0A\x00\x00\x00", 4));
  }
  const std::string liar = dir.Write("liar.zip", bytes);
  ScratchDir out;
  EXPECT_EQ(ExtractArchiveMember(liar, "big.bin", "big.bin", path, out.path()), 0);
  EXPECT_TRUE(TreeEntries(out.path()).empty());
}

TEST(ArchivePaths, MemberPathsAreCleanedOfEverythingThatLeavesTheRoot) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitMemberPath("a/b\\c.txt"), (V{"a", "b", "c.txt"}));
  EXPECT_EQ(SplitMemberPath("../../x"), (V{"x"}));
  EXPECT_EQ(SplitMemberPath("/etc//passwd"), (V{"etc", "passwd"}));
  EXPECT_EQ(SplitMemberPath("C:\\x"), (V{"x"}));
  EXPECT_EQ(SplitMemberPath("c:x"), (V{"x"}));
  EXPECT_EQ(SplitMemberPath("./a/./b"), (V{"a", "b"}));
  EXPECT_EQ(SplitMemberPath(std::string("a\0b/\x01z", 6)), (V{"ab", "z"}));
  EXPECT_EQ(SplitMemberPath("dir/"), (V{"dir"}));
  EXPECT_TRUE(SplitMemberPath("..").empty());
  EXPECT_TRUE(IsDirectoryEntryName("dir/"));
  EXPECT_FALSE(IsDirectoryEntryName("dir"));
}

}  // namespace
