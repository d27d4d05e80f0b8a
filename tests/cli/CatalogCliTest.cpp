#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "catalog/CatalogStream.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

class CatalogCli : public ::testing::Test {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };

  void SetUp() override {
    dir_ = testsupport::MakeTestDirectory("qv-catcli");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Runs quolvane-cli with the arguments (already quoted for the shell).
  Result Run(const std::string& args) {
    const std::string cmd = "LANG=C.UTF-8 LC_ALL= LC_MESSAGES= '" + std::string(QV_CLI_PATH) + "' " + args + " >'" +
                            (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadAll(dir_ / "out"), ReadAll(dir_ / "err")};
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                        static_cast<std::streamsize>(bytes.size()));
  }

  fs::path dir_;
};

CFileItemList SampleCatalog() {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Music", 0, 100, 0, 0));
  auto cd = std::make_unique<CFileItemMediaCD>();
  cd->name = "Disc \xC3\xA9t\xC3\xA9";
  cd->level = 1;
  cd->rootPath = "/media/cdrom/";
  cd->volumeLabel = "SUMMER";
  cd->fileSystem = "ISO9660";
  cd->serialNumber = 3054;
  list.items.push_back(std::move(cd));
  auto app = std::make_unique<CFileItemAppli>();
  app->name = "Player";
  app->level = 2;
  app->description = "Player 2\r\n";
  app->installProgram = "SETUP.EXE";
  app->appSize = 1000;
  app->appTime = 200;
  list.items.push_back(std::move(app));
  auto pic = std::make_unique<CFileItem>(ITEM_FILE, "cover.bmp", 5000, 300, 3, WIN32_ATTR_ARCHIVE);
  pic->thumbnail = std::make_unique<PLBitmap>(4, 3, 8);
  pic->description = "4 x 3";
  list.items.push_back(std::move(pic));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_ARCHIVE_ENTRY, "\xE6\x97\xA5.txt", 1, 2, 4, 0));
  list.RebuildContainerIndex();
  return list;
}

}  // namespace

TEST_F(CatalogCli, NewListDumpResave) {
  Result created = Run("new '" + Path("empty.qvd") + "'");
  EXPECT_EQ(created.status, 0) << created.err;
  EXPECT_EQ(ReadAll(Path("empty.qvd")), std::string("\0\0\4\0\1\0\0\0", 8));
  Result again = Run("new '" + Path("empty.qvd") + "'");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find(Path("empty.qvd")), std::string::npos);
  EXPECT_EQ(Run("new --force '" + Path("empty.qvd") + "'").status, 0);
  Result emptyList = Run("list '" + Path("empty.qvd") + "'");
  EXPECT_EQ(emptyList.status, 0);
  EXPECT_EQ(emptyList.out, "");

  CFileItemList sample = SampleCatalog();
  SaveCatalogFile(sample, Path("music.qvd"));
  Result listed = Run("list '" + Path("music.qvd") + "'");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "0\tRoot\t0\tMusic\n"
            "1\tMedia\t1\tDisc \xC3\xA9t\xC3\xA9\n"
            "2\tDir+Appli\t2\tPlayer\n"
            "3\tFile\t3\tcover.bmp\n"
            "4\tCompressed file\t4\t\xE6\x97\xA5.txt\n");

  Result dumped = Run("dump '" + Path("music.qvd") + "' --json");
  ASSERT_EQ(dumped.status, 0) << dumped.err;
  const auto j = nlohmann::json::parse(dumped.out);
  EXPECT_EQ(j["fileVersion"], 4);
  ASSERT_EQ(j["items"].size(), 5u);
  const auto& media = j["items"][1];
  EXPECT_EQ(media["index"], 1);
  EXPECT_EQ(media["class"], "CFileItemMediaCD");
  EXPECT_EQ(media["type"], 1);
  EXPECT_EQ(media["name"], "Disc \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(media["rootPath"], "/media/cdrom/");
  EXPECT_EQ(media["volumeLabel"], "SUMMER");
  EXPECT_EQ(media["fileSystem"], "ISO9660");
  EXPECT_EQ(media["serialNumber"], 3054);
  EXPECT_TRUE(media["thumbnail"].is_null());
  const auto& app = j["items"][2];
  EXPECT_EQ(app["class"], "CFileItemAppli");
  EXPECT_EQ(app["description"], "Player 2\r\n");
  EXPECT_EQ(app["installProgram"], "SETUP.EXE");
  EXPECT_EQ(app["appSize"], 1000);
  EXPECT_EQ(app["appTime"], 200);
  EXPECT_FALSE(app.contains("rootPath"));
  const auto& pic = j["items"][3];
  EXPECT_EQ(pic["size"], 5000);
  EXPECT_EQ(pic["time"], 300);
  EXPECT_EQ(pic["level"], 3);
  EXPECT_EQ(pic["attributes"], ATTR_ARCHIVE);
  EXPECT_EQ(pic["isArchive"], 0);
  EXPECT_EQ(pic["thumbnail"], (nlohmann::json{{"width", 4}, {"height", 3}, {"bpp", 8}}));
  EXPECT_FALSE(pic.contains("installProgram"));

  // An old uncompressed catalog (version 1) is rewritten in the current version.
  std::vector<uint8_t> v1 = {0, 0, 1, 0, 1, 0, 0xFF, 0xFF, 1, 0, 9, 0};
  for (char c : std::string("CFileItem")) v1.push_back(static_cast<uint8_t>(c));
  for (int b : std::initializer_list<int>{2, 3, 'O', 'l', 'd', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
    v1.push_back(static_cast<uint8_t>(b));
  WriteBytes("old.qvd", v1);
  EXPECT_EQ(nlohmann::json::parse(Run("dump --json '" + Path("old.qvd") + "'").out)["fileVersion"], 1);
  Result resaved = Run("resave '" + Path("old.qvd") + "' '" + Path("new.qvd") + "'");
  EXPECT_EQ(resaved.status, 0) << resaved.err;
  const std::string fresh = ReadAll(Path("new.qvd"));
  EXPECT_EQ(fresh.substr(0, 8), std::string("\0\0\4\0\1\0\1\0", 8));
  EXPECT_EQ(Run("list '" + Path("new.qvd") + "'").out, "0\tRoot\t0\tOld\n");
}

TEST_F(CatalogCli, FailuresNameTheFileAndTheCause) {
  Result missing = Run("list '" + Path("missing.qvd") + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(Path("missing.qvd")), std::string::npos);
  EXPECT_EQ(missing.err, "quolvane-cli: " + Path("missing.qvd") + ": No such file or directory\n");

  WriteBytes("future.qvd", {0, 0, 5, 0, 1, 0, 0, 0});
  Result future = Run("dump --json '" + Path("future.qvd") + "'");
  EXPECT_EQ(future.status, 1);
  EXPECT_NE(future.err.find("Cannot read file. The file is younger than Quolvane !"), std::string::npos);
  EXPECT_EQ(future.out, "");

  CFileItemList sample = SampleCatalog();
  auto bytes = WriteCatalogToMemory(sample);
  bytes.resize(bytes.size() - 5);
  WriteBytes("cut.qvd", bytes);
  Result cut = Run("resave '" + Path("cut.qvd") + "' '" + Path("out.qvd") + "'");
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "quolvane-cli: " + Path("cut.qvd") +
                         ": not a readable Quolvane catalog (unexpected end of file); 'quolvane-cli recover " +
                         Path("cut.qvd") + " OUT.qvd' can save what precedes the damage\n");
  EXPECT_FALSE(fs::exists(Path("out.qvd")));
  // Not a catalog at all: said before the reader's detail.
  WriteBytes("empty.qvd", {});
  WriteBytes("random.qvd", {0x41, 0x9e, 0x03, 0xff, 0x12, 0x80, 0x77, 0x01, 0xc4, 0x5a});
  for (const char* name : {"empty.qvd", "random.qvd"}) {
    Result r = Run("list '" + Path(name) + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("quolvane-cli: " + Path(name) + ": not a readable Quolvane catalog (", 0), 0u) << r.err;
  }

  Result noDir = Run("new '" + Path("nowhere/x.qvd") + "'");
  EXPECT_EQ(noDir.status, 1);
  EXPECT_EQ(noDir.err, "quolvane-cli: " + Path("nowhere/x.qvd") + ": No such file or directory\n");

  Result noSource = Run("scan '" + Path("s.qvd") + "' '" + Path("gone") + "'");
  EXPECT_EQ(noSource.status, 1);
  EXPECT_EQ(noSource.err, "quolvane-cli: " + Path("gone") + ": No such file or directory\n");
}

TEST_F(CatalogCli, UsageErrorsExitTwoAndPointToHelp) {
  Result r = Run("frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "quolvane-cli: unknown command 'frobnicate'\nTry 'quolvane-cli --help' for more information.\n");
  r = Run("");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "quolvane-cli: no command given\nTry 'quolvane-cli --help' for more information.\n");
  // A known command with bad arguments points to its own help.
  r = Run("list");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("quolvane-cli: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("\nTry 'quolvane-cli list --help'"), std::string::npos) << r.err;
  // The parser's and the commands' own checks speak alike.
  for (const auto& [args, problem] : std::vector<std::pair<std::string, std::string>>{
           {"list a b c", "unexpected arguments 'b' 'c'"},
           {"properties a.qvd 1x", "INDEX: '1x' is not a number"},
           {"scan a.qvd . --threads 0", "--threads: 0 is not between 1 and 256"},
           {"filters add", "filters add: a filter NAME is needed"},
           {"filters delete abc", "INDEX: 'abc' is not a number"},
           {"filters delete 1 2", "unexpected argument '2'"},
           {"filters list x", "unexpected argument 'x'"}}) {
    r = Run("--settings '" + Path("s.ini") + "' " + args);
    EXPECT_EQ(r.status, 2) << args;
    const std::string command = args.substr(0, args.find(' '));
    EXPECT_EQ(r.err, "quolvane-cli: " + problem + "\nTry 'quolvane-cli " + command + " --help' for more information.\n");
  }
  EXPECT_FALSE(fs::exists(Path("s.ini")));  // nothing was written
  EXPECT_EQ(Run("--settings x.ini resave a").status, 2);
  r = Run("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("quolvane-cli ", 0), 0u) << r.out;
  r = Run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage:"), std::string::npos);
}

TEST_F(CatalogCli, RecoverWritesWhatPrecedesTheDamage) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "top", 0, 0, 0, 0));
  for (int i = 0; i < 3000; ++i)
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, std::string("f").append(std::to_string(i)), 0, 0, 1, 0));
  auto bytes = WriteCatalogToMemory(list);
  bytes.resize(bytes.size() * 2 / 3);  // cut off, as by a full disk
  WriteBytes("damaged.qvd", bytes);
  EXPECT_NE(Run("list '" + Path("damaged.qvd") + "'").status, 0);  // Open still refuses it

  Result r = Run("recover '" + Path("damaged.qvd") + "' '" + Path("kept.qvd") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  CFileItemList kept;
  ASSERT_EQ(LoadCatalogFile(kept, Path("kept.qvd")), CatalogReadResult::Ok);
  ASSERT_GT(kept.size(), 1u);
  ASSERT_LT(kept.size(), list.size());
  EXPECT_EQ(kept[kept.size() - 1]->name, list[kept.size() - 1]->name);
  EXPECT_NE(r.out.find(Path("damaged.qvd") + ": damaged at byte "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(block "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; kept " + std::to_string(kept.size()) + " of 3001 items in " + Path("kept.qvd")),
            std::string::npos)
      << r.out;
}

TEST_F(CatalogCli, TextOutputKeepsOneItemPerLine) {
  CFileItemList list;
  auto media = std::make_unique<CFileItemMediaDir>();
  media->name = "Disc";
  media->rootPath = "/m";
  media->level = 0;
  list.items.push_back(std::move(media));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "tab\there", 1, 2, 1, 0));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "two\r\nlines", 1, 2, 1, 0));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "caf\xED\xB3\xA9", 1, 2, 1, 0));  // byte 0xE9 kept
  auto app = std::make_unique<CFileItemAppli>();
  app->name = "Tool";
  app->level = 1;
  app->description = "Title\r\n";
  app->installProgram = "run\nme";
  list.items.push_back(std::move(app));
  list.RebuildContainerIndex();
  WriteBytes("c.qvd", WriteCatalogToMemory(list));
  const std::string cat = "'" + Path("c.qvd") + "'";

  Result r = Run("list " + cat);
  EXPECT_EQ(r.out,
            "0\tMedia\t0\tDisc\n1\tFile\t1\ttab\\there\n2\tFile\t1\ttwo\\r\\nlines\n3\tFile\t1\tcaf\xEF\xBF\xBD\n"
            "4\tDir+Appli\t1\tTool\n");
  r = Run("search " + cat + " 'two*'");
  EXPECT_EQ(r.out, "2\t\\\\Disc\\two\\r\\nlines\n");
  r = Run("applications " + cat);
  EXPECT_EQ(r.out.substr(0, r.out.rfind('\t')), "4\tTitle\trun\\nme\t0 Ko");
  r = Run("print " + cat + " --from 0 --no-size --no-date --no-attributes");
  EXPECT_NE(r.out.find("\ntwo\\r\\nlines\n"), std::string::npos) << r.out;
  // JSON escapes them itself, exactly.
  r = Run("dump --json " + cat);
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["items"][1]["name"], "tab\there");
  EXPECT_EQ(j["items"][2]["name"], "two\r\nlines");
  EXPECT_EQ(j["items"][3]["name"], "caf\xEF\xBF\xBD");
  // The properties too: the name's byte as U+FFFD, never a lone surrogate.
  r = Run("properties " + cat + " 3");
  EXPECT_NE(r.out.find("\tcaf\xEF\xBF\xBD\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\xED\xB3\xA9"), std::string::npos);
}
