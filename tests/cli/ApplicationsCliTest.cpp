#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cabinet/ArchiveFixtures.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"

namespace {

struct CliRun {
  int status = -1;
  std::string out, err;
};

CliRun Cli(const ScratchDir& dir, const std::vector<std::string>& args) {
  std::string cmd = std::string("'") + QV_CLI_PATH + "' --settings '" + dir / "none.ini" + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " >'" + dir / "out.txt" + "' 2>'" + dir / "err.txt" + "'";
  const int raw = std::system(cmd.c_str());
  CliRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadWholeFile(dir / "out.txt");
  r.err = ReadWholeFile(dir / "err.txt");
  return r;
}

class ApplicationsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("disc/Tool/File_id.diz", "Best tool\r\nby us\r\n");
    dir.Write("disc/Tool/SETUP.EXE", std::string(3000, 'M'));
    dir.Write("disc/Games/Games.txt", "Doom\r\nshooter\r\n\r\nid\r\n");
    dir.Write("disc/Other/readme", "nothing");
    ASSERT_TRUE(MakeTestZip(dir / "disc/pack.zip", {{"Inner/File_id.diz", "Zipped"}, {"Inner/install.exe", "MZ"}}));
    dir.Write("disc/bad.cab", "not a cabinet");
  }
  ScratchDir dir;
};

TEST_F(ApplicationsCli, ScanListsArchivesAndFindsApplications) {
  const std::string catalog = dir / "c.qvd";
  CliRun r = Cli(dir, {"scan", catalog, dir / "disc", "--name", "Disc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("quolvane-cli: " + dir / "disc/bad.cab" + ": FDIIsCabinet() failed: "), std::string::npos)
      << r.err;

  r = Cli(dir, {"applications", catalog});
  ASSERT_EQ(r.status, 0) << r.err;
  CFileItemList list;
  LoadCatalogFile(list, catalog);
  std::vector<std::string> expected;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!list[i]->IsApplication()) continue;
    const auto* app = static_cast<const CFileItemAppli*>(list[i]);
    expected.push_back(std::to_string(i) + "\t" + app->GetTitle() + "\t" + app->installProgram + "\t" +
                       std::to_string(app->appSize >> 10) + " Ko\t");
  }
  ASSERT_EQ(expected.size(), 3u);
  size_t at = 0;
  for (const std::string& e : expected) {
    const size_t found = r.out.find(e, at);
    ASSERT_NE(found, std::string::npos) << e << "\n" << r.out;
    at = found + e.size();
  }
  EXPECT_NE(r.out.find("\tBest tool\t" + dir / "disc/Tool/SETUP.EXE" + "\t2 Ko\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\tZipped\tInner/install.exe\t0 Ko\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\tid Doom\t\t0 Ko\t"), std::string::npos) << r.out;
}

TEST_F(ApplicationsCli, SwitchesAndTheSearchCommand) {
  const std::string catalog = dir / "c.qvd";
  ASSERT_EQ(Cli(dir, {"scan", catalog, dir / "disc", "--no-applications", "--no-archives"}).status, 0);
  CliRun r = Cli(dir, {"applications", catalog});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  CFileItemList list;
  LoadCatalogFile(list, catalog);
  size_t zip = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->name == "pack.zip") zip = i;
  EXPECT_EQ(list[zip]->type, ITEM_FILE);
  EXPECT_EQ(list[zip]->isArchive, 1u);

  r = Cli(dir, {"search-applications", catalog, "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2 applications, 2 new"), std::string::npos) << r.out;
  r = Cli(dir, {"applications", catalog, "--from", "0"});
  EXPECT_NE(r.out.find("\tBest tool\t"), std::string::npos);

  EXPECT_EQ(Cli(dir, {"search-applications", catalog, "1"}).status, 1);
  EXPECT_EQ(Cli(dir, {"search-applications", catalog, "99"}).status, 1);
  EXPECT_EQ(Cli(dir, {"applications", catalog, "--from", "99"}).status, 1);
  r = Cli(dir, {"applications", catalog, "--from", std::to_string(list.size() - 1)});
  EXPECT_EQ(r.out, "");
}

}  // namespace
