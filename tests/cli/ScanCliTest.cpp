#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "catalog/CatalogLock.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    path = testsupport::MakeTestDirectory("qv-scancli");
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
// runAs, when given, is the command that runs it as another user.
Result Cli(const std::vector<std::string>& args, const fs::path& settings, const std::string& runAs = {}) {
  fs::path outFile = settings.parent_path() / "out.txt";
  fs::path errFile = settings.parent_path() / "err.txt";
  std::string cmd = runAs + "'" + QV_CLI_PATH + "' --settings '" + settings.string() + "'";
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

TEST(ScanCli, ProblemsAreOneLineEachAndAnEmptyFileIsNoCatalog) {
  TempDir t;
  fs::path tree = t.path / "disc";
  Touch(tree / "bad.zip", std::string("PK\x03\x04", 4) + "cut short");
  // Names holding the separators of the log's lines.
  Touch(tree / "a  b" / "q : r.png", "not a picture");
  Touch(tree / "fine.txt");
  fs::path cat = t.path / "cat.qvd";
  Result r = Cli({"scan", cat.string(), tree.string(), "--no-applications"}, t.path / "s.ini");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("quolvane-cli: " + (tree / "bad.zip").string() + ": Not a zip archive\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("quolvane-cli: " + (tree / "a  b" / "q : r.png").string() + ": "), std::string::npos) << r.err;
  size_t lines = 0;
  for (size_t at = 0; (at = r.err.find("quolvane-cli: ", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 2u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;

  // An empty file that was there is not taken for a new catalog.
  fs::path empty = t.path / "empty.qvd";
  Touch(empty, "");
  r = Cli({"scan", empty.string(), tree.string()}, t.path / "s.ini");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("quolvane-cli: " + empty.string() + ": not a readable Quolvane catalog", 0), 0u) << r.err;
  EXPECT_EQ(fs::file_size(empty), 0u);
}

TEST(ScanCli, InterruptLeavesTheCatalogUnchanged) {
  TempDir t;
  fs::path tree = t.path / "big";
  for (int d = 0; d < 300; ++d)
    for (int f = 0; f < 100; ++f) Touch(tree / std::string("d").append(std::to_string(d)) / std::string("f").append(std::to_string(f)), "");
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

TEST(ScanCli, ChangesOfOneCatalogTakeTurns) {
  TempDir t;
  for (int i = 0; i < 200; ++i) {
    Touch(t.path / "a" / std::string("f").append(std::to_string(i)));
    Touch(t.path / "b" / std::string("g").append(std::to_string(i)));
  }
  for (const char* d : {"p1", "p2"}) fs::create_directories(t.path / d);
  const fs::path p1 = t.path / "p1" / "s.ini", p2 = t.path / "p2" / "s.ini";
  const std::string cat = (t.path / "c.qvd").string();
  // Two scans at once: neither medium is lost.
  Result second;
  std::thread other([&] { second = Cli({"scan", cat, (t.path / "b").string(), "--no-applications"}, p2); });
  Result first = Cli({"scan", cat, (t.path / "a").string(), "--no-applications"}, p1);
  other.join();
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(second.status, 0) << second.err;
  CFileItemList list = Load(cat);
  EXPECT_EQ(list.size(), 402u);
  EXPECT_TRUE(list[0]->IsMedia() && list[201]->IsMedia());

  // A holder that lets go within a few seconds is waited for.
  CCatalogLock held;
  ASSERT_TRUE(held.Lock(cat, 0, nullptr));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    held.Unlock();
  });
  Result waited = Cli({"folder", cat, "Later"}, p1);
  release.join();
  EXPECT_EQ(waited.status, 0) << waited.err;
  // One that does not makes the change fail, saying why, with nothing lost.
  ASSERT_TRUE(held.Lock(cat, 0, nullptr));
  const std::string before = Bytes(cat);
  Result refused = Cli({"scan", cat, (t.path / "a").string(), "--no-applications"}, p1);
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find(cat + ": another program is changing this catalog"), std::string::npos) << refused.err;
  EXPECT_EQ(Bytes(cat), before);
}

TEST(ScanCli, UnwritableCatalogFailsBeforeTheScan) {
  TempDir t;
  Touch(t.path / "tree" / "file.txt");
  const fs::path settings = t.path / "s.ini";
  const std::string cat = (t.path / "c.qvd").string();
  ASSERT_EQ(Cli({"scan", cat, (t.path / "tree").string(), "--no-applications"}, settings).status, 0);
  // Marked read-only: neither scanned into nor replaced, whoever runs it.
  ASSERT_EQ(chmod(cat.c_str(), 0444), 0);
  const std::string before = Bytes(cat);
  Result r = Cli({"scan", cat, (t.path / "tree").string(), "--no-applications"}, settings);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(cat + ": File writing error: the file is marked read-only"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Bytes(cat), before);
  Result folder = Cli({"folder", cat, "New"}, settings);
  EXPECT_NE(folder.status, 0);
  EXPECT_EQ(Bytes(cat), before);
  if (geteuid() != 0) {
    // A directory that takes no new file.
    ASSERT_EQ(chmod(t.path.c_str(), 0555), 0);
    Result dir = Cli({"scan", (t.path / "new.qvd").string(), (t.path / "tree").string()}, t.path / "x" / "s.ini");
    chmod(t.path.c_str(), 0755);
    EXPECT_NE(dir.err.find("Permission denied"), std::string::npos) << dir.err;
  }
}

TEST(ScanCli, EntriesOfADirectoryThatCannotBeSearchedAreLoggedAndNothingIsMadeUp) {
  // Root searches any directory: the scan then runs as nobody.
  std::string runAs;
  if (geteuid() == 0) {
    runAs = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (std::system((runAs + "'" + QV_CLI_PATH + "' --help >/dev/null 2>&1").c_str()) != 0)
      GTEST_SKIP() << "running as root, and setpriv cannot run the program as another user here";
  }
  TempDir t;
  ASSERT_EQ(chmod(t.path.c_str(), 0755), 0);
  const fs::path locked = t.path / "tree" / "locked";
  Touch(locked / "a", "12");
  Touch(locked / "b", "0123456789");
  Touch(locked / "c", std::string(20000, 'c'));
  fs::create_directories(locked / "sub");
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, locked.c_str(), times, 0), 0);
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);  // names can be listed, entries not examined
  const fs::path out = t.path / "out";
  fs::create_directories(out);
  if (!runAs.empty()) {
    ASSERT_EQ(chown(out.c_str(), 65534, 65534), 0);
  }
  Result r = Cli({"scan", (out / "c.qvd").string(), (t.path / "tree").string(), "--no-applications"},
                 out / "s.ini", runAs);
  chmod(locked.c_str(), 0755);
  ASSERT_EQ(r.status, 0) << r.err;
  CFileItemList list = Load(out / "c.qvd");
  std::vector<std::string> seen;
  for (size_t i = 2; i < list.size(); ++i) {
    const CFileItem* item = list[i];
    seen.push_back(item->name);
    // Not examinable: size 0 and the directory's time, never a made-up number.
    EXPECT_EQ(item->size, 0u) << item->name;
    EXPECT_EQ(item->time, 1000000000u) << item->name;
    EXPECT_EQ(item->type, item->name == "sub" ? ITEM_DIRECTORY : ITEM_FILE) << item->name;
    // One line each, with the path and the system's reason, on stderr and in the medium.
    const std::string path = (locked / item->name).string();
    EXPECT_NE(r.err.find("quolvane-cli: " + path + ": " + std::strerror(EACCES) + "\n"), std::string::npos) << r.err;
    EXPECT_NE(list[0]->description.find("Error : " + path + " : " + std::strerror(EACCES)), std::string::npos)
        << list[0]->description;
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "sub"}));
}

TEST(ScanCli, AVolumeWithoutALabelIsNamedAfterItsDirectory) {
  // /dev/shm is a mount point of a volume without a label on most systems.
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  bool mounted = false;
  while (std::getline(mounts, line)) mounted = mounted || line.find(" /dev/shm ") != std::string::npos;
  if (!mounted) GTEST_SKIP() << "/dev/shm is not a mount point here";
  TempDir t;
  const fs::path cat = t.path / "c.qvd";
  Result r = Cli({"scan", cat.string(), "/dev/shm", "--kind", "CD", "--no-applications", "--no-archives"},
                 t.path / "s.ini");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Load(cat)[0]->name, "shm");
}
