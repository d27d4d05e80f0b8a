#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "ports/Paths.h"
#include "ports/TempDir.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the scope of a test.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvVar() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(Paths, SettingsFileLookupOrder) {
  EnvVar settings("QUOLVANE_SETTINGS", nullptr);
  EnvVar xdg("XDG_CONFIG_HOME", "/xdg/config");
  EnvVar home("HOME", "/home/someone");
  EXPECT_EQ(SettingsFilePath("/cli/given.ini"), "/cli/given.ini");
  EXPECT_EQ(SettingsFilePath(), "/xdg/config/Quolvane/Quolvane.ini");
  {
    EnvVar relative("XDG_CONFIG_HOME", "relative/dir");  // not absolute: ignored
    EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/Quolvane/Quolvane.ini");
  }
  {
    EnvVar none("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/Quolvane/Quolvane.ini");
  }
  EnvVar test("QUOLVANE_SETTINGS", "/tmp/test.ini");
  EXPECT_EQ(SettingsFilePath(), "/tmp/test.ini");
  EXPECT_EQ(SettingsFilePath("/cli/wins.ini"), "/cli/wins.ini");
}

TEST(Paths, ProgramDirectoryAndDataFiles) {
  std::string dir = ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::exists(dir));
  // The test program runs from the build directory, which reads the source tree's data.
  std::string applis = ApplisDatPath();
  EXPECT_TRUE(fs::exists(applis)) << applis;
  EXPECT_EQ(fs::path(applis).filename(), "Applis.dat");
  // An installation is found from the program's own directory, whatever the prefix.
  EXPECT_EQ(InstalledDataDirectory("/opt/q v/bin"), "/opt/q v/share/quolvane");
  EXPECT_EQ(InstalledDataDirectory("/usr/bin"), "/usr/share/quolvane");
  EXPECT_EQ(InstalledDataDirectory("/bin"), "/share/quolvane");
  EXPECT_EQ(HelpContextOf(197), 3);
  EXPECT_EQ(HelpContextOf(146), 11);
  EXPECT_EQ(HelpContextOf(1), 0);
}

TEST(TempWorkDir, PrivateResettableAndRemovedWithoutFollowingLinks) {
  fs::path outside = testsupport::MakeTestDirectory("qv-outside");
  std::ofstream(outside / "precious.txt") << "keep";
  fs::path base = testsupport::MakeTestDirectory("qv-tmpbase");
  EnvVar tmpdir("TMPDIR", base.c_str());
  RemoveTempWorkDirectory();

  std::string dir = TempWorkDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(fs::path(dir).parent_path(), base);
  std::string name = fs::path(dir).filename();
  EXPECT_EQ(name.rfind("Quolvane", 0), 0u);
  EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(TempWorkDirectory(), dir);  // the same for the whole process

  // Content with a link pointing out, a read-only file and a read-only subdirectory.
  fs::create_directories(fs::path(dir) / "a" / "b");
  std::ofstream(fs::path(dir) / "a" / "b" / "member.mp3") << "x";
  std::ofstream(fs::path(dir) / "ro.txt") << "x";
  chmod((fs::path(dir) / "ro.txt").c_str(), 0444);
  chmod((fs::path(dir) / "a").c_str(), 0500);
  fs::create_directory_symlink(outside, fs::path(dir) / "link");
  ASSERT_TRUE(ResetTempWorkDirectory());
  EXPECT_TRUE(fs::exists(dir));
  EXPECT_TRUE(fs::is_empty(dir));
  EXPECT_TRUE(fs::exists(outside / "precious.txt"));

  fs::create_directory_symlink(outside, fs::path(dir) / "link2");
  RemoveTempWorkDirectory();
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(fs::exists(outside / "precious.txt"));

  // A new one after removal, and not a directory someone planted in the way.
  std::string again = TempWorkDirectory();
  EXPECT_FALSE(again.empty());
  EXPECT_NE(again, dir);
  RemoveTempWorkDirectory();

  // RemoveTree on a link removes the link only.
  fs::create_directory_symlink(outside, base / "alias");
  EXPECT_TRUE(RemoveTree((base / "alias").string()));
  EXPECT_TRUE(fs::exists(outside / "precious.txt"));
  EXPECT_TRUE(RemoveTree((base / "never-there").string()));
  fs::remove_all(outside);
  fs::remove_all(base);
}

TEST(TempWorkDir, GoesWithTheProcessThatMadeIt) {
  RemoveTempWorkDirectory();
  // A process that ends without removing its directory still leaves nothing.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string dir = TempWorkDirectory();
    std::ofstream(dir + "/member.txt") << "x";
    (void)!write(fds[1], dir.c_str(), dir.size());
    std::exit(0);
  }
  close(fds[1]);
  char buf[4096];
  const ssize_t n = read(fds[0], buf, sizeof buf);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_GT(n, 0);
  EXPECT_FALSE(fs::exists(std::string(buf, static_cast<size_t>(n))));

  // A forked child that exits leaves its parent's directory alone.
  const std::string mine = TempWorkDirectory();
  child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) std::exit(0);
  waitpid(child, &status, 0);
  EXPECT_TRUE(fs::is_directory(mine));
  RemoveTempWorkDirectory();
}
