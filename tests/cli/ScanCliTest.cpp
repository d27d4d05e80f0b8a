#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/qv-scancli-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

struct Result {
  int status = -1;
  std::string out, err;
};

// Runs quolvane-cli with a private settings file; stdout and stderr captured.
Result Cli(const std::vector<std::string>& args, const fs::path& settings) {
  fs::path outFile = settings.parent_path() / "out.txt";
  fs::path errFile = settings.parent_path() / "err.txt";
  std::string cmd = std::string("'") + QV_CLI_PATH + "' --settings '" + settings.string() + "'";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " >'" + outFile.string() + "' 2>'" + errFile.string() + "'";
  Result r;
  int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto slurp = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  r.out = slurp(outFile);
  r.err = slurp(errFile);
  return r;
}

void Touch(const fs::path& p, const std::string& content = "x") {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

CFileItemList Load(const fs::path& p) {
  CFileItemList list;
  LoadCatalogFile(list, p.string());
  return list;
}

}  // namespace

TEST(ScanCli, ScansADirectoryIntoANewCatalog) {
  TempDir t;
  fs::path tree = t.path / "Photos";
  Touch(tree / "README.TXT", "hello");
  Touch(tree / "album" / "a.jpg.txt");
  Touch(tree / ".cache" / "skip.txt");
  fs::path cat = t.path / "cat.QVD";
  Result r = Cli({"scan", cat.string(), tree.string(), "--no-applications"}, t.path / "s.ini");
  ASSERT_EQ(r.status, 0) << r.err;
  CFileItemList list = Load(cat);
  ASSERT_EQ(list.size(), 4u);
  auto* media = dynamic_cast<CFileItemMediaDir*>(list[0]);
  ASSERT_TRUE(media);
  EXPECT_EQ(media->name, "Photos");
  EXPECT_EQ(media->rootPath, tree.string());
  EXPECT_EQ(media->level, 0);
  EXPECT_EQ(list[1]->name, "README.TXT");  // a POSIX file system: the name as it is
  EXPECT_EQ(list[2]->name, "album");
  EXPECT_EQ(list[3]->level, 2);
  EXPECT_NE(r.out.find("2 files"), std::string::npos) << r.out;

  // A second medium goes at the end; the named kind and name are used.
  Result r2 = Cli({"scan", cat.string(), (tree / "album").string(), "--name", "Second", "--kind", "Rem"},
                  t.path / "s.ini");
  ASSERT_EQ(r2.status, 0) << r2.err;
  list = Load(cat);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[4]->name, "Second");
  EXPECT_STREQ(list[4]->GetClassName(), "CFileItemMediaRem");

  Result props = Cli({"properties", cat.string(), "0"}, t.path / "s.ini");
  ASSERT_EQ(props.status, 0) << props.err;
  EXPECT_EQ(props.out.rfind("Name\tPhotos\n", 0), 0u) << props.out;
  EXPECT_NE(props.out.find("Number of contained files\t2\n"), std::string::npos);
  EXPECT_NE(props.out.find("Physical address\t" + tree.string() + "\n"), std::string::npos);
  Result whole = Cli({"properties", cat.string(), "-1"}, t.path / "s.ini");
  EXPECT_EQ(whole.status, 0);
  EXPECT_NE(whole.out.find("Number of contained files\t3\n"), std::string::npos) << whole.out;
  EXPECT_NE(Cli({"properties", cat.string(), "99"}, t.path / "s.ini").status, 0);
}

TEST(ScanCli, IntoAFolderAndRefusals) {
  TempDir t;
  fs::path cat = t.path / "cat.QVD";
  {
    CFileItemList list;
    auto folder = std::make_unique<CFileItem>(ITEM_FOLDER, "Backups", 0, 1, 0, 0);
    list.items.push_back(std::move(folder));
    auto media = std::make_unique<CFileItemMediaCD>();
    media->name = "Old";
    media->level = 1;
    list.items.push_back(std::move(media));
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Later", 0, 1, 0, 0));
    auto top = std::make_unique<CFileItemMediaCD>();
    top->name = "Top";
    top->level = 0;
    list.items.push_back(std::move(top));
    list.RebuildContainerIndex();
    SaveCatalogFile(list, cat.string());
  }
  fs::path tree = t.path / "tree";
  Touch(tree / "f.txt");
  // Selecting the media inside "Backups": the new media goes right after that folder.
  Result r = Cli({"scan", cat.string(), tree.string(), "--into", "1", "--no-applications"}, t.path / "s.ini");
  ASSERT_EQ(r.status, 0) << r.err;
  CFileItemList list = Load(cat);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[1]->name, "tree");
  EXPECT_EQ(list[1]->level, 1);
  EXPECT_EQ(list[2]->level, 2);
  EXPECT_EQ(list[3]->name, "Old");

  std::string before = Bytes(cat);
  // A selection with no folder before it: nothing happens.
  CFileItemList noFolder;
  auto lone = std::make_unique<CFileItemMediaCD>();
  lone->name = "Lone";
  lone->level = 0;
  noFolder.items.push_back(std::move(lone));
  noFolder.RebuildContainerIndex();
  fs::path cat2 = t.path / "cat2.QVD";
  SaveCatalogFile(noFolder, cat2.string());
  std::string before2 = Bytes(cat2);
  Result refused = Cli({"scan", cat2.string(), tree.string(), "--into", "0"}, t.path / "s.ini");
  EXPECT_NE(refused.status, 0);
  EXPECT_EQ(Bytes(cat2), before2);
  EXPECT_NE(Cli({"scan", cat.string(), (t.path / "missing").string()}, t.path / "s.ini").status, 0);
  EXPECT_NE(Cli({"scan", cat.string(), tree.string(), "--into", "50"}, t.path / "s.ini").status, 0);
  EXPECT_NE(Cli({"scan", cat.string(), tree.string(), "--kind", "DVD"}, t.path / "s.ini").status, 0);
  EXPECT_EQ(Bytes(cat), before);
}

TEST(ScanCli, InterruptLeavesTheCatalogUnchanged) {
  TempDir t;
  fs::path tree = t.path / "big";
  for (int d = 0; d < 300; ++d)
    for (int f = 0; f < 100; ++f) Touch(tree / ("d" + std::to_string(d)) / ("f" + std::to_string(f)), "");
  fs::path cat = t.path / "cat.QVD";
  ASSERT_EQ(Cli({"scan", cat.string(), (tree / "d0").string(), "--no-applications"}, t.path / "s.ini").status, 0);
  std::string before = Bytes(cat);

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::string settings = (t.path / "s.ini").string();
    execl(QV_CLI_PATH, QV_CLI_PATH, "--settings", settings.c_str(), "scan", cat.c_str(), tree.c_str(),
          "--no-applications", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until the walk holds a directory of the tree open: the handler is in place by then.
  bool walking = false;
  for (int i = 0; i < 5000 && !walking; ++i) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
      std::error_code ec2;
      if (fs::read_symlink(fd.path(), ec2).string().rfind(tree.string() + "/", 0) == 0) walking = true;
    }
    if (!walking) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!walking && WIFEXITED(status) && WEXITSTATUS(status) == 0) GTEST_SKIP() << "the scan ended before the signal";
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(Bytes(cat), before);
}

TEST(ScanCli, DrivesListsTheMediaTypesWithTheirVolumes) {
  TempDir t;
  fs::path settings = t.path / "s.ini";
  std::ofstream(settings) << "[Medias]\nItem 0=Dir,Everything,/\nItem 1=CD,Disc,/nonexistent-qv\nItem 2=DVD,x,/y\n";
  Result r = Cli({"drives"}, settings);
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string first, second, extra;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first.rfind("/\tEverything\tDirectory\t", 0), 0u) << first;
  EXPECT_EQ(second, "/nonexistent-qv\tDisc\tCD-ROM\t\t\t");
  EXPECT_FALSE(std::getline(lines, extra));
}

TEST(ScanCli, ApplicationPassRunsUnlessSwitchedOff) {
  TempDir t;
  fs::path tree = t.path / "cd";
  Touch(tree / "Tool" / "File_id.diz", "My Tool 1.0\r\nA useful tool\r\n");
  Touch(tree / "Tool" / "tool.bin");
  fs::path with = t.path / "with.QVD";
  fs::path without = t.path / "without.QVD";
  ASSERT_EQ(Cli({"scan", with.string(), tree.string()}, t.path / "s.ini").status, 0);
  ASSERT_EQ(Cli({"scan", without.string(), tree.string(), "--no-applications"}, t.path / "s.ini").status, 0);
  CFileItemList a = Load(with);
  CFileItemList b = Load(without);
  ASSERT_EQ(a.size(), 4u);
  ASSERT_EQ(b.size(), 4u);
  EXPECT_EQ(a[1]->name, "Tool");
  EXPECT_TRUE(a[1]->IsApplication());
  EXPECT_FALSE(b[1]->IsApplication());
}
