#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "ports/Paths.h"
#include "ports/TempDir.h"

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
  // The test program runs from the build directory, where Applis.dat is copied.
  std::string applis = ApplisDatPath();
  EXPECT_TRUE(fs::exists(applis)) << applis;
  EXPECT_EQ(fs::path(applis).filename(), "Applis.dat");
  EXPECT_EQ(HelpContextOf(197), 3);
  EXPECT_EQ(HelpContextOf(146), 11);
  EXPECT_EQ(HelpContextOf(1), 0);
}

TEST(TempWorkDir, PrivateResettableAndRemovedWithoutFollowingLinks) {
  char outsideTmpl[] = "/tmp/qv-outside-XXXXXX";
  fs::path outside = mkdtemp(outsideTmpl);
  std::ofstream(outside / "precious.txt") << "keep";
  char baseTmpl[] = "/tmp/qv-tmpbase-XXXXXX";
  fs::path base = mkdtemp(baseTmpl);
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
