#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class MessagesCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTestDirectory("qv-msgcli");
  }
  void TearDown() override { fs::remove_all(dir_); }

  CliRun Cli(const std::string& args, const std::string& env = "LANG=C.UTF-8 LC_ALL= LC_MESSAGES=") {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const std::string cmd = "env " + env + " " + Quote(QV_CLI_PATH) + " " + args + " >" + Quote(out.string()) +
                            " 2>" + Quote(err.string());
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(out), Slurp(err)};
  }
  fs::path dir_;
};

}  // namespace

TEST_F(MessagesCli, LookupInBuiltinTables) {
  EXPECT_EQ(Cli("messages lookup IDS_READY --lang FR").out, "Prèt\n");
  EXPECT_EQ(Cli("messages lookup IDS_READY --lang US").out, "Ready\n");
  EXPECT_EQ(Cli("messages lookup '$$Do not search for applications' --lang FR").out,
            "Ne pas rechercher d'applications\n");
  CliRun missing = Cli("messages lookup IDS_NO_SUCH_KEY --lang US");
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "\n");
  // Without --lang: the user's language from the locale.
  EXPECT_EQ(Cli("messages lookup IDS_READY", "LANG=fr_FR.UTF-8 LC_ALL= LC_MESSAGES=").out, "Prèt\n");
  EXPECT_EQ(Cli("messages lookup IDS_READY", "LANG=de_DE.UTF-8 LC_ALL= LC_MESSAGES=").out, "Ready\n");
}

TEST_F(MessagesCli, LookupFollowsTheSettings) {
  const fs::path ini = dir_ / "q.ini";
  std::ofstream(ini) << "[Config]\r\nLanguage=FR\r\n";
  EXPECT_EQ(Cli("--settings " + Quote(ini.string()) + " messages lookup IDS_ERROR").out, "Erreur\n");
  std::ofstream(dir_ / "my.dic", std::ios::binary) << "IDS_ERROR\t\tFehler\r\n";
  std::ofstream(ini) << "[Config]\r\nLanguage=FR\r\nLangFile=" << (dir_ / "my.dic").string() << "\r\n";
  EXPECT_EQ(Cli("--settings " + Quote(ini.string()) + " messages lookup IDS_ERROR").out, "Fehler\n");
  // An unreadable language file: a warning, and the Language choice.
  fs::remove(dir_ / "my.dic");
  CliRun fallback = Cli("--settings " + Quote(ini.string()) + " messages lookup IDS_ERROR");
  EXPECT_EQ(fallback.status, 0);
  EXPECT_EQ(fallback.out, "Erreur\n");
  EXPECT_NE(fallback.err.find("my.dic"), std::string::npos);
}

TEST_F(MessagesCli, SaveThenLookupInTheFile) {
  const std::string file = (dir_ / "fr.dic").string();
  CliRun save = Cli("messages save FR " + Quote(file));
  ASSERT_EQ(save.status, 0) << save.err;
  const std::string bytes = Slurp(file);
  EXPECT_NE(bytes.find("IDS_READY\t\tPr\xE8t\r\n"), std::string::npos);
  CliRun got = Cli("messages lookup IDS_PROPNAME --lang " + Quote(file));
  EXPECT_EQ(got.status, 0) << got.err;
  EXPECT_EQ(got.out, "Nom\t%1!s!\n");
}

TEST_F(MessagesCli, Errors) {
  CliRun badLang = Cli("messages save DE " + Quote((dir_ / "x.dic").string()));
  EXPECT_EQ(badLang.status, 1);
  EXPECT_NE(badLang.err.find("DE"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "x.dic"));

  CliRun badPath = Cli("messages save US " + Quote((dir_ / "no/such/dir.dic").string()));
  EXPECT_EQ(badPath.status, 1);
  EXPECT_NE(badPath.err.find("dir.dic"), std::string::npos);

  CliRun badFile = Cli("messages lookup IDS_READY --lang " + Quote((dir_ / "missing.dic").string()));
  EXPECT_EQ(badFile.status, 1);
  EXPECT_EQ(badFile.out, "");
  EXPECT_NE(badFile.err.find("missing.dic"), std::string::npos);
}
