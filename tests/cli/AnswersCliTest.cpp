// quolvane-cli export, duplicates, stats, shelf and search over several
// catalogs, run as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

class AnswersCli : public ::testing::Test {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };

  void SetUp() override {
    dir_ = testsupport::MakeTestDirectory("qv-answers");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // A command in the test's directory, its output and status.
  Result Shell(const std::string& command) {
    const std::string cmd = "cd '" + dir_.string() + "' && " + command + " >'" + (dir_ / "out").string() + "' 2>'" +
                            (dir_ / "err").string() + "'";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadAll(dir_ / "out"), ReadAll(dir_ / "err")};
  }
  Result Run(const std::string& args) {
    return Shell("LANG=C.UTF-8 TMPDIR='" + dir_.string() + "' '" + std::string(QV_CLI_PATH) + "' --settings '" +
                 Path("q.ini") + "' " + args);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // A medium with one file of the given name, and a shared one.
  void Catalog(const std::string& file, const std::string& media, const std::string& name, uint32_t size) {
    CFileItemList list;
    auto m = std::make_unique<CFileItemMediaDir>();
    m->name = media;
    m->level = 0;
    m->rootPath = "/nonexistent";
    list.items.push_back(std::move(m));
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, name, size, 100, 1, 0x20));
    list.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "common.iso", 700000, 100, 1, 0x20));
    list.RebuildContainerIndex();
    SaveCatalogFile(list, Path(file));
  }

  fs::path dir_;
};

TEST_F(AnswersCli, CsvReadBackByACsvParserHoldsTheRowsOfDump) {
  CFileItemList list;
  list.items.push_back(std::make_unique<CFileItem>(ITEM_FOLDER, "Backups, \"old\"", 0, 0, 0, 0));
  auto m = std::make_unique<CFileItemMediaCD>();
  m->name = "Disc;1";
  m->level = 1;
  list.items.push_back(std::move(m));
  auto song = std::make_unique<CFileItem>(ITEM_FILE, "Caf\xc3\xa9 \"live\", take 2.mp3", 4096, 951782400, 2,
                                          0x21);
  song->description = "Title: Caf\xc3\xa9\r\nArtist: \"Someone\", x\r\n";
  list.items.push_back(std::move(song));
  list.items.push_back(std::make_unique<CFileItem>(ITEM_DIRECTORY, "line\nbreak", 0, 5, 2, 0x10));
  auto zip = std::make_unique<CFileItem>(ITEM_ARCHIVE_ENTRY, "a.zip", 300, 6, 3, 0x20);
  zip->isArchive = 1;
  list.items.push_back(std::move(zip));
  auto member = std::make_unique<CFileItem>(ITEM_FILE, "in,side.txt", 12, 7, 4, 0);
  member->isArchive = 1;
  list.items.push_back(std::move(member));
  list.RebuildContainerIndex();
  SaveCatalogFile(list, Path("c.qvd"));

  ASSERT_EQ(Run("export c.qvd --format csv -o out.csv").status, 0);
  ASSERT_EQ(Run("dump c.qvd --json").status, 0);
  std::ofstream(dir_ / "dump.json") << ReadAll(dir_ / "out");
  // Python's csv module reads the file; every row against dump's item.
  std::ofstream(dir_ / "check.py") << R"(import csv, json, datetime
items = json.load(open('dump.json', encoding='utf-8'))['items']
with open('out.csv', newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f, strict=True))
assert rows[0] == ['catalog path', 'name', 'kind', 'size', 'modified', 'attributes', 'description'], rows[0]
assert len(rows) == len(items) + 1, (len(rows), len(items))
kinds = {1: 'media', 2: 'folder', 3: 'directory', 4: 'file', 6: 'file'}
for row, it in zip(rows[1:], items):
    kind = 'archive member' if it['isArchive'] and it['type'] in (3, 4) else kinds[it['type']]
    when = datetime.datetime.fromtimestamp(it['time'], datetime.timezone.utc).strftime('%Y-%m-%dT%H:%M:%SZ') if it['time'] else ''
    attrs = ''.join(c for bit, c in ((1, 'A'), (2, 'H'), (4, 'R'), (8, 'S')) if it['attributes'] & bit)
    descr = ' | '.join(l for l in it['description'].replace('\r\n', '\n').split('\n') if l)
    want = [row[0], it['name'], kind, str(it['size']), when, attrs, descr]
    assert row == want, (row, want)
print(rows[3][0])
)";
  const Result r = Shell("python3 check.py");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "\\\\Backups, \"old\"\\Disc;1\n");
  // The same rows go to standard output without -o; a bad --from fails.
  EXPECT_EQ(Run("export c.qvd --format csv").out, ReadAll(dir_ / "out.csv"));
  EXPECT_EQ(Run("export c.qvd --format csv --from 9 -o x.csv").status, 1);
  EXPECT_FALSE(fs::exists(dir_ / "x.csv"));
}

TEST_F(AnswersCli, ShelfOfThreeCatalogsSearchedTogether) {
  Catalog("one.qvd", "First", "alpha.txt", 10);
  Catalog("two.qvd", "Second", "beta.txt", 20);
  Catalog("three.qvd", "Third", "alpha.txt", 10);
  ASSERT_EQ(Run("shelf add one.qvd two.qvd").status, 0);
  ASSERT_EQ(Run("shelf add three.qvd").status, 0);
  Result r = Run("shelf add ./one.qvd");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("on the shelf already"), std::string::npos);
  EXPECT_EQ(Run("shelf add missing.qvd").status, 1);
  r = Run("shelf list");
  EXPECT_EQ(r.out, Path("one.qvd") + "\n" + Path("two.qvd") + "\n" + Path("three.qvd") + "\n");

  r = Run("search 'alpha*' --shelf");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Path("one.qvd") + "\t1\t\\\\First\\alpha.txt\n" + Path("three.qvd") + "\t1\t\\\\Third\\alpha.txt\n");
  r = Run("search '*.txt' --in two.qvd --in one.qvd");
  EXPECT_EQ(r.out, "two.qvd\t1\t\\\\Second\\beta.txt\none.qvd\t1\t\\\\First\\alpha.txt\n");
  // The one-catalog form is unchanged.
  EXPECT_EQ(Run("search one.qvd '*.txt'").out, "1\t\\\\First\\alpha.txt\n");
  EXPECT_EQ(Run("search '*.txt' one.qvd --in two.qvd").status, 2);
  EXPECT_EQ(Run("search 'x' --shelf --from 1").status, 2);

  // A catalog gone from the disk: the others are still searched, the failure said.
  fs::remove(dir_ / "two.qvd");
  r = Run("search 'common.iso' --shelf");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Path("one.qvd") + "\t2\t\\\\First\\common.iso\n" + Path("three.qvd") + "\t2\t\\\\Third\\common.iso\n");
  EXPECT_NE(r.err.find(Path("two.qvd")), std::string::npos);
  ASSERT_EQ(Run("shelf remove " + Path("two.qvd")).status, 0);
  EXPECT_EQ(Run("shelf remove two.qvd").status, 1);
  EXPECT_EQ(Run("shelf list").out, Path("one.qvd") + "\n" + Path("three.qvd") + "\n");
  EXPECT_NE(ReadAll(dir_ / "q.ini").find("[Shelf]"), std::string::npos);

  // Duplicates across the catalogs: the largest waste first, a paragraph each.
  r = Run("duplicates one.qvd three.qvd");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "700000 bytes, 2 copies, 700000 bytes to free\n"
            "one.qvd\t2\t\\\\First\\common.iso\nthree.qvd\t2\t\\\\Third\\common.iso\n\n"
            "10 bytes, 2 copies, 10 bytes to free\n"
            "one.qvd\t1\t\\\\First\\alpha.txt\nthree.qvd\t1\t\\\\Third\\alpha.txt\n");
  r = Run("duplicates one.qvd three.qvd --min-kb 1 --json");
  EXPECT_NE(r.out.find("\"totalWaste\": 700000"), std::string::npos);
  EXPECT_EQ(r.out.find("alpha"), std::string::npos);
  EXPECT_EQ(Run("duplicates one.qvd three.qvd --from 1").status, 2);
  EXPECT_EQ(Run("duplicates one.qvd ./one.qvd").status, 2);  // each file would be its own copy
  r = Run("stats one.qvd --json");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"bytes\": 700010"), std::string::npos);
}

}  // namespace
