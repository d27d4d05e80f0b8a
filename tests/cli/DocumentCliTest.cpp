// quolvane-cli search, print and the document commands, run as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalog/CatalogStream.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

class DocumentCli : public ::testing::Test {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };

  void SetUp() override {
    dir_ = testsupport::MakeTestDirectory("qv-doccli");
    ASSERT_FALSE(dir_.empty());
    fs::create_directories(dir_ / "disc" / "sub");
    std::ofstream(dir_ / "disc" / "new.txt") << "new";
    CFileItemList list;
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Music", 0, 100, 0, 0));  // 0
    auto cd = std::make_unique<CFileItemMediaDir>();                                        // 1
    cd->name = "Disc";
    cd->level = 1;
    cd->rootPath = (dir_ / "disc").string();
    list.items.push_back(std::move(cd));
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "song.mp3", 300000, 200, 2, 0x20));  // 2
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "Notes.TXT", 2000, 300, 2, 0x20));   // 3
    list.items.push_back(std::make_unique<CFileItem>(ITEM_DIRECTORY, "sub", 0, 300, 2, 0x10));      // 4
    auto deep = std::make_unique<CFileItem>(ITEM_FILE, "deep.mp3", 10, 300, 3, 0x20);               // 5
    deep->description = "MPEG audio 128 kbit/s";
    list.items.push_back(std::move(deep));
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Empty", 0, 100, 0, 0));  // 6
    list.RebuildContainerIndex();
    SaveCatalogFile(list, Path("c.qvd"));
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  Result Run(const std::string& args) {
    const std::string cmd = "LANG=C.UTF-8 LC_ALL= LC_MESSAGES= TMPDIR='" + dir_.string() + "' '" +
                            std::string(QV_CLI_PATH) + "' --settings '" + Path("q.ini") + "' " + args + " >'" +
                            (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadAll(dir_ / "out"), ReadAll(dir_ / "err")};
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::vector<std::string> Names() const {
    CFileItemList list;
    LoadCatalogFile(list, Path("c.qvd"));
    std::vector<std::string> names;
    for (size_t i = 0; i < list.size(); ++i) names.push_back(list[i]->name);
    return names;
  }

  fs::path dir_;
};

TEST_F(DocumentCli, Search) {
  Result r = Run("search " + Path("c.qvd") + " '*.mp3' --kind file");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\t\\\\Music\\Disc\\song.mp3\n5\t\\\\Music\\Disc:\\sub\\deep.mp3\n");
  r = Run("search " + Path("c.qvd") + " '*.MP3' --kind file --case");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quolvane-cli: File *.MP3 not found !\n");
  r = Run("search " + Path("c.qvd") + " mpeg --kind description");
  EXPECT_EQ(r.out, "5\t\\\\Music\\Disc:\\sub\\deep.mp3\n");
  r = Run("search " + Path("c.qvd") + " '' --min-kb 2 --max-kb 300");
  EXPECT_EQ(r.out, "2\t\\\\Music\\Disc\\song.mp3\n");
  r = Run("search " + Path("c.qvd") + " '*' --from 4");
  EXPECT_EQ(r.out, "5\t\\\\Music\\Disc:\\sub\\deep.mp3\n");
  r = Run("search " + Path("c.qvd") + " ''");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("All search criterias are empty"), std::string::npos);
  EXPECT_NE(Run("search " + Path("c.qvd") + " x --from 99").status, 0);
}

TEST_F(DocumentCli, Print) {
  Result r = Run("print " + Path("c.qvd") + " --from 1 --lines-per-page 1 --no-attributes");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\f'), 1);  // two files, one per page
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 * 11);
  EXPECT_NE(r.out.find("Page 2\n\\\\Music\\Disc\n"), std::string::npos);
  EXPECT_NE(r.out.find("song.mp3"), std::string::npos);
  EXPECT_EQ(r.out.find("deep.mp3"), std::string::npos);
  r = Run("print " + Path("c.qvd") + " --tree --no-size --no-date");
  EXPECT_NE(r.out.find("\n sub "), std::string::npos);
  EXPECT_EQ(r.err, "");
  // From the root the first top-level item is printed; empty, it is named.
  r = Run("print " + Path("c.qvd"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "quolvane-cli: printed item 0 \"Music\", which holds no files directly; choose another with --from\n");
  EXPECT_NE(Run("print " + Path("c.qvd") + " --tree --files").status, 0);
}

TEST_F(DocumentCli, EditingCommandsSave) {
  EXPECT_EQ(Run("folder " + Path("c.qvd") + " Jazz --in 0").status, 0);
  EXPECT_EQ(Names()[1], "Jazz");
  Result r = Run("folder " + Path("c.qvd") + " X --in 3");  // a file: nothing
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(Run("rename " + Path("c.qvd") + " 2 'My disc'").status, 0);
  EXPECT_EQ(Names()[2], "My disc");
  EXPECT_NE(Run("rename " + Path("c.qvd") + " 3 x").status, 0);

  // Deleting a media asks: refused without --yes, the file unchanged.
  const std::string before = ReadAll(Path("c.qvd"));
  r = Run("delete " + Path("c.qvd") + " 2");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Warning: Do you really want to delete My disc ?"), std::string::npos);
  EXPECT_EQ(ReadAll(Path("c.qvd")), before);
  EXPECT_EQ(Run("delete " + Path("c.qvd") + " 2 --yes").status, 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Music", "Jazz", "Empty"}));

  EXPECT_EQ(Run("merge " + Path("c.qvd") + " " + Path("c.qvd")).status, 0);
  EXPECT_EQ(Names().size(), 6u);
  r = Run("merge " + Path("c.qvd") + " " + Path("none.qvd"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "quolvane-cli: " + Path("none.qvd") + ": No such file or directory\n");
}

// A catalog whose temporary file cannot be named (too long) fails to save,
// even for root: every command says so in the same one line.
TEST_F(DocumentCli, WriteFailureIsOneLine) {
  const std::string name = Path(std::string(250, 'n') + ".qvd");
  const std::string want = "quolvane-cli: " + name + ": File writing error: File name too long\n";
  for (const std::string& args : {"folder '" + name + "' Jazz", "rename '" + name + "' 1 X", "delete '" + name + "' 2",
                                 "refresh '" + name + "' 1 --no-applications", "merge '" + name + "' " + Path("c.qvd"),
                                 "scan '" + name + "' " + Path("disc") + " --no-applications"}) {
    SCOPED_TRACE(args);
    fs::copy_file(Path("c.qvd"), name, fs::copy_options::overwrite_existing);
    Result r = Run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, want);
  }
}

TEST_F(DocumentCli, Refresh) {
  Result r = Run("refresh " + Path("c.qvd") + " 1 --no-applications");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Names(), (std::vector<std::string>{"Music", "Disc", "new.txt", "sub", "Empty"}));
  EXPECT_NE(Run("refresh " + Path("c.qvd") + " 2").status, 0);  // not a media
  // A problem met on the way is its own line, as in a scan.
  std::ofstream(dir_ / "disc" / "bad.zip") << "PK\x03\x04 cut short";
  r = Run("refresh " + Path("c.qvd") + " 1 --no-applications");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "quolvane-cli: " + (dir_ / "disc" / "bad.zip").string() + ": Not a zip archive\n");
  // The medium is gone: the questions are refused, then answered.
  fs::remove_all(dir_ / "disc");
  r = Run("refresh " + Path("c.qvd") + " 1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("in its drive"), std::string::npos);
  r = Run("refresh " + Path("c.qvd") + " 1 --yes");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Names(), (std::vector<std::string>{"Music", "Disc", "Empty"}));
}

TEST_F(DocumentCli, Filters) {
  Result r = Run("filters list");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "0\tPictures\t1\tjpg,gif,bmp,tif,png,pcx,psp,psd\n1\tSounds\t1\tmp3,wav,mid,rmi,aif,snd,au,ra\n"
            "2\tMovies\t1\tavi,mpg,mpeg,mov\n");
  EXPECT_EQ(Run("filters add Texts txt doc").status, 0);
  EXPECT_NE(ReadAll(Path("q.ini")).find("Item 3=Texts,0,txt,doc"), std::string::npos);
  r = Run("filters delete 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Do you really want to delete Pictures ?"), std::string::npos);
  EXPECT_EQ(Run("filters delete 0 --yes").status, 0);
  r = Run("filters list");
  EXPECT_EQ(r.out.substr(0, 9), "0\tSounds\t");
  EXPECT_NE(r.out.find("2\tTexts\t0\ttxt,doc\n"), std::string::npos);
  EXPECT_NE(Run("filters delete 9 --yes").status, 0);
}

}  // namespace
