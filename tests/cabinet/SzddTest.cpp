#include "cabinet/Szdd.h"

#include <gtest/gtest.h>

#include "cabinet/ArchiveFixtures.h"

namespace {

TEST(LzFiles, ExpandsCompressedFilesAndStopsAtTheLimit) {
  REQUIRE_TOOL("mscompress");
  ScratchDir dir;
  std::string text;
  for (int i = 0; i < 400; ++i) text += "Line " + std::to_string(i) + " of a long description file\r\n";
  dir.Write("FILE_ID.DIZ", text);
  ASSERT_TRUE(RunIn(dir.path(), "mscompress FILE_ID.DIZ"));
  std::string out;
  EXPECT_EQ(ReadLzFilePrefix(dir / "FILE_ID.DIZ_", 2047, out), LzReadResult::Expanded);
  EXPECT_EQ(out, text.substr(0, 2047));
  EXPECT_EQ(ReadLzFilePrefix(dir / "FILE_ID.DIZ_", 100000, out), LzReadResult::Expanded);
  EXPECT_EQ(out, text);
}

TEST(LzFiles, PlainFilesAreReadAsTheyAre) {
  ScratchDir dir;
  const std::string path = dir.Write("plain", std::string(3000, 'p'));
  std::string out;
  EXPECT_EQ(ReadLzFilePrefix(path, 2047, out), LzReadResult::Plain);
  EXPECT_EQ(out, std::string(2047, 'p'));
  EXPECT_EQ(ReadLzFilePrefix(dir / "missing", 2047, out), LzReadResult::CannotOpen);
  EXPECT_TRUE(out.empty());
}

TEST(LzFiles, DamagedCompressedFilesNeverReadPastTheLimit) {
  REQUIRE_TOOL("mscompress");
  ScratchDir dir;
  dir.Write("a.txt", std::string(5000, 'z'));
  ASSERT_TRUE(RunIn(dir.path(), "mscompress a.txt"));
  const std::string whole = ReadWholeFile(dir / "a.txt_");
  ASSERT_GT(whole.size(), 14u);
  // Header only, and a header claiming 4 GiB of output from a few bytes.
  std::string out;
  const LzReadResult headerOnly = ReadLzFilePrefix(dir.Write("h_", whole.substr(0, 14)), 2047, out);
  EXPECT_NE(headerOnly, LzReadResult::CannotOpen);
  EXPECT_LE(out.size(), 2047u);
  std::string huge = whole;
  huge[10] = huge[11] = huge[12] = huge[13] = '\xFF';
  ReadLzFilePrefix(dir.Write("huge_", huge), 2047, out);
  EXPECT_LE(out.size(), 2047u);
}

}  // namespace
