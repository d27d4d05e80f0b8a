// Archives read through libarchive, scanned as ZIP archives are: members
// below the archive item, checked against what tar, 7z and xorriso list.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "cabinet/ArchiveFixtures.h"
#include "catalog/FileItemList.h"
#include "describe/Archive.h"
#include "describe/ArchiveLibarchive.h"
#include "describe/Describe.h"
#include "i18n/Translator.h"
#include "ports/TempDir.h"
#include "scan/Scanner.h"
#include "ScanTestUtil.h"

using scantest::Outline;

namespace {

std::vector<std::string> OutputLines(const std::string& command) {
  std::vector<std::string> lines;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p)) {
      std::string line = buf;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      lines.push_back(line);
    }
    ::pclose(p);
  }
  return lines;
}

// "path size" of each file member, paths cleaned as the catalog cleans them.
using Members = std::set<std::string>;

std::string Key(const std::string& stored, const std::string& size) {
  return JoinMemberPath(SplitMemberPath(stored)) + " " + size;
}

// GNU tar -tv: mode owner size date time name.
Members TarListing(const std::string& command) {
  Members out;
  for (const std::string& line : OutputLines(command)) {
    std::istringstream in(line);
    std::string mode, owner, size, date, time, name;
    in >> mode >> owner >> size >> date >> time >> name;
    if (!mode.empty() && mode[0] == '-') out.insert(Key(name, size));
  }
  return out;
}

// 7z l -slt: blocks of "Key = value" lines, one per member.
Members SevenZipListing(const std::string& archive) {
  Members out;
  std::string path, size;
  bool folder = false, inMembers = false;
  auto flush = [&] {
    if (inMembers && !path.empty() && !folder) out.insert(Key(path, size));
    path.clear(), size.clear(), folder = false;
  };
  for (const std::string& line : OutputLines("7z l -slt '" + archive + "'")) {
    if (line == "----------") {
      inMembers = true;
      path.clear();  // the archive's own block
    }
    if (line.rfind("Path = ", 0) == 0) {
      flush();
      path = line.substr(7);
    } else if (line.rfind("Size = ", 0) == 0) {
      size = line.substr(7);
    } else if (line.rfind("Folder = +", 0) == 0 || line.rfind("Attributes = D", 0) == 0) {
      folder = true;
    }
  }
  flush();
  return out;
}

class LibarchiveScan : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", LANG_ENGLISH);
  }

  void Scan(bool describe = false, bool uncompress = true) {
    list.Clear();
    sink.logLines.clear();
    scantest::StartList(list, dir.path());
    ScanOptions options;
    options.uncompress = uncompress;
    InstallArchiveHooks(options);
    if (describe) options.describeFile = [](CFileItemList& l, size_t i, const DescribeSettings& s, IDescribeHost& h) {
      return DescribeFile(l, i, s, h);
    };
    CScanContext scan(list, progress, options);
    scan.ScanMedium(dir.path(), 1);
  }
  size_t IndexOf(const std::string& name) const {
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i]->name == name) return i;
    return list.size();
  }
  const CFileItem* Item(const std::string& name) const { return scantest::Find(list, name); }
  // The file members catalogued below the archive item.
  Members Catalogued(const std::string& archive) const {
    Members out;
    const size_t a = IndexOf(archive);
    if (a >= list.size()) return out;
    for (size_t i = a + 1; i < list.size() && list[i]->level > list[a]->level; ++i)
      if (list[i]->type == ITEM_FILE) out.insert(MemberPathInArchive(list, i) + " " + std::to_string(list[i]->size));
    return out;
  }
  std::string Log() const {
    std::string all;
    for (const std::string& line : sink.logLines) all += line + "\n";
    return all;
  }

  ScratchDir dir;
  CFileItemList list;
  scantest::RecordingSink sink;
  scantest::ScriptedUi ui;
  CScanProgress progress{&sink, &ui};
};

}  // namespace

TEST_F(LibarchiveScan, TarInEveryCompressionListsWhatTarLists) {
  REQUIRE_TOOL("tar");
  dir.Write("src/docs/readme.txt", std::string(5000, 'r'));
  dir.Write("src/docs/deep/er/note.txt", "n");
  dir.Write("src/setup.sh", "#!/bin/sh\n");
  dir.Write("src/Caf\xc3\xa9.txt", "caf\xc3\xa9");
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"plain.tar", ""}, {"gz.tgz", "-z"}, {"gz.tar.gz", "-z"}, {"bz.tar.bz2", "-j"}, {"xz.tar.xz", "-J"},
      {"zst.tar.zst", "--zstd"}};
  int made = 0;
  for (const auto& [name, flag] : kinds)
    made += RunIn(dir / "src", "tar " + flag + " -cf ../" + name + " docs setup.sh Caf\xc3\xa9.txt");
  ASSERT_GE(made, 5);  // zstd may be missing on an old machine
  ASSERT_TRUE(RunIn(dir.path(), "rm -r src"));
  Scan();
  for (const auto& [name, flag] : kinds) {
    if (!std::filesystem::exists(dir / name)) continue;
    SCOPED_TRACE(name);
    ASSERT_NE(Item(name), nullptr);
    EXPECT_EQ(Item(name)->type, ITEM_ARCHIVE_ENTRY);
    const Members expected = TarListing("tar --quoting-style=literal -tvf '" + dir / name + "'");
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(Catalogued(name), expected);
  }
  // One directory item per directory, below the archive, with the path as stored.
  const size_t gz = IndexOf("gz.tgz");
  const std::vector<std::string> outline = Outline(list);
  ASSERT_LE(gz + 6, outline.size());
  EXPECT_EQ(std::vector<std::string>(outline.begin() + static_cast<long>(gz) - 1,
                                     outline.begin() + static_cast<long>(gz) + 6),
            (std::vector<std::string>{"1 F gz.tgz", "2 D docs", "3 F readme.txt", "3 D deep", "4 D er", "5 F note.txt",
                                      "2 F setup.sh"}));
  EXPECT_EQ(Log(), "");
}

TEST_F(LibarchiveScan, SevenZipIsoCpioAndSingleFilesListWhatTheirToolsList) {
  REQUIRE_TOOL("7z");
  REQUIRE_TOOL("xorriso");
  REQUIRE_TOOL("python3");
  dir.Write("src/Docs/A long Mixed-Case name.text", "joliet and rock ridge keep this");
  dir.Write("src/pic/x.txt", std::string(1234, 'x'));
  ASSERT_TRUE(RunIn(dir / "src", "7z a -bd ../t.7z Docs pic"));
  ASSERT_TRUE(RunIn(dir / "src", "xorriso -as mkisofs -quiet -J -R -o ../rr.iso . && "
                                 "xorriso -as mkisofs -quiet -J -o ../joliet.iso ."));
  // A "newc" cpio archive, as cpio -o -H newc writes it (no cpio needed).
  dir.Write("src/mkcpio.py", R"(import sys
out = open('../t.cpio', 'wb')
def put(name, mode, data, ino):
    n = name.encode() + b'\0'
    h = b'070701' + b''.join(b'%08X' % v for v in (ino, mode, 0, 0, 1, 1700000000, len(data), 0, 0, 0, 0, len(n), 0))
    out.write(h + n + b'\0' * (-len(h + n) % 4) + data + b'\0' * (-len(data) % 4))
for i, f in enumerate(sys.argv[1:]):
    put(f, 0o100644, open(f, 'rb').read(), i + 1)
put('TRAILER!!!', 0, b'', 0)
)");
  ASSERT_TRUE(RunIn(dir / "src", "python3 mkcpio.py 'Docs/A long Mixed-Case name.text' pic/x.txt && rm mkcpio.py"));
  ASSERT_TRUE(RunIn(dir / "src", "gzip -c pic/x.txt > ../notes.txt.gz && xz -c pic/x.txt > ../log.xz && "
                                 "bzip2 -c pic/x.txt > ../data.bz2 && xz --block-size=500 -c pic/x.txt > ../blocks.xz && "
                                 "xz -c pic/x.txt > ../two.xz && xz -c pic/x.txt >> ../two.xz && true"));
  ASSERT_TRUE(RunIn(dir.path(), "rm -r src"));
  Scan();
  EXPECT_EQ(Catalogued("t.7z"), SevenZipListing(dir / "t.7z"));
  EXPECT_EQ(Catalogued("t.7z").size(), 2u);
  // The ISO's files as xorriso finds them, under their long names.
  for (const char* iso : {"rr.iso", "joliet.iso"}) {
    SCOPED_TRACE(iso);
    Members names;
    for (std::string line : OutputLines("xorriso -indev '" + dir / iso + "' -find / -type f 2>/dev/null")) {
      if (line.size() > 2 && line.front() == '\'') line = line.substr(1, line.size() - 2);
      names.insert(JoinMemberPath(SplitMemberPath(line)));
    }
    Members catalogued;
    for (const std::string& m : Catalogued(iso)) catalogued.insert(m.substr(0, m.rfind(' ')));
    EXPECT_EQ(catalogued, names);
    EXPECT_EQ(catalogued.count("Docs/A long Mixed-Case name.text"), 1u);
  }
  EXPECT_EQ(Catalogued("t.cpio"), (Members{"Docs/A long Mixed-Case name.text 31", "pic/x.txt 1234"}));
  // A single compressed file holds one member named after it.
  EXPECT_EQ(Catalogued("notes.txt.gz"), (Members{"notes.txt 1234"}));
  EXPECT_EQ(Catalogued("log.xz"), (Members{"log 1234"}));
  EXPECT_EQ(Catalogued("data.bz2"), (Members{"data 1234"}));
  // The xz index sums its blocks; two streams one after the other are inflated and counted.
  EXPECT_EQ(Catalogued("blocks.xz"), (Members{"blocks 1234"}));
  EXPECT_EQ(Catalogued("two.xz"), (Members{"two 2468"}));
  EXPECT_EQ(Log(), "");

  // "Analyse the compressed files" off: archives stay plain files.
  Scan(false, false);
  EXPECT_EQ(Item("t.7z")->type, ITEM_FILE);
  EXPECT_EQ(Item("x.txt"), nullptr);
}

TEST_F(LibarchiveScan, NamesThatClimbOutAreCleanedAndExtractionStaysInside) {
  REQUIRE_TOOL("tar");
  dir.Write("work/inner/a.txt", "inside");
  dir.Write("outside.txt", "never overwritten");
  dir.Write("abs.txt", "absolute");
  // ../outside.txt and /tmp/... absolute names, as a hostile tar stores them.
  ASSERT_TRUE(RunIn(dir / "work/inner", "tar -cf ../../evil.tar -P a.txt ../../outside.txt " + dir / "abs.txt"));
  ASSERT_TRUE(RunIn(dir.path(), "rm -r work"));
  const Members listed = TarListing("tar -tvf '" + dir / "evil.tar" + "' -P");
  ASSERT_EQ(listed.size(), 3u);
  Scan();
  EXPECT_EQ(Catalogued("evil.tar"), listed);
  for (size_t i = IndexOf("evil.tar") + 1; i < list.size() && list[i]->level > 1; ++i) {
    EXPECT_NE(list[i]->name, "..");
    EXPECT_EQ(list[i]->name.find('/'), std::string::npos);
  }
  ScratchDir out;
  std::string path;
  for (const std::string& m : Catalogued("evil.tar")) {
    const std::string member = m.substr(0, m.rfind(' '));
    ::mkdir((out.path() + "/x").c_str(), 0700);
    ASSERT_EQ(ExtractArchiveMember(dir / "evil.tar", "", member, path, out.path() + "/x"), 1) << member;
    EXPECT_EQ(path.rfind(out.path() + "/x/", 0), 0u) << path;
  }
  EXPECT_EQ(ReadWholeFile(dir / "outside.txt"), "never overwritten");
  EXPECT_EQ(ReadWholeFile(dir / "abs.txt"), "absolute");
  EXPECT_EQ(TreeEntries(out.path()), (std::vector<std::string>{"x/", "x/a.txt", "x/abs.txt", "x/outside.txt"}));
}

TEST_F(LibarchiveScan, EncryptedAndDamagedArchivesKeepWhatCanBeRead) {
  REQUIRE_TOOL("7z");
  REQUIRE_TOOL("tar");
  REQUIRE_TOOL("convert");
  dir.Write("src/a.txt", "alpha");
  dir.Write("src/b.txt", std::string(20000, 'b'));
  ASSERT_TRUE(RunIn(dir / "src", "7z a -bd -psecret ../names.7z a.txt b.txt && "
                                 "7z a -bd -psecret -mhe=on ../hidden.7z a.txt b.txt"));
  // Random bytes do not compress: the cut falls inside the third member's data.
  ASSERT_TRUE(RunIn(dir / "src", "head -c 30000 /dev/urandom > c.bin && convert -size 30x20 xc:red d.png && "
                                 "tar -czf ../full.tgz a.txt b.txt c.bin d.png && head -c 20000 ../full.tgz > ../cut.tgz && true"));
  ASSERT_TRUE(RunIn(dir.path(), "rm -r src full.tgz"));
  Scan(true);
  // Names readable without the password are listed; the log says the rest is encrypted.
  EXPECT_EQ(Catalogued("names.7z"), SevenZipListing(dir / "names.7z"));
  EXPECT_EQ(Item("names.7z")->type, ITEM_ARCHIVE_ENTRY);
  EXPECT_NE(Log().find(dir / "names.7z: 2 members are encrypted"), std::string::npos) << Log();
  EXPECT_EQ(Catalogued("hidden.7z"), Members{});
  EXPECT_NE(Log().find(dir / "hidden.7z: the archive is encrypted"), std::string::npos) << Log();
  // The members before the damage are kept, as tar lists them, with the cause.
  const Members beforeDamage = TarListing("tar -tzvf '" + dir / "cut.tgz" + "'");
  EXPECT_EQ(Catalogued("cut.tgz"), beforeDamage);
  EXPECT_GE(beforeDamage.size(), 2u);
  EXPECT_EQ(Catalogued("cut.tgz").count("d.png 0"), 0u);
  EXPECT_EQ(Item("cut.tgz")->type, ITEM_ARCHIVE_ENTRY);
  EXPECT_NE(Log().find(dir / "cut.tgz: damaged archive, the " + std::to_string(beforeDamage.size()) +
                       " members read before the damage are kept (truncated gzip input)"),
            std::string::npos)
      << Log();
}

TEST_F(LibarchiveScan, PictureMembersAreDescribedThroughExtraction) {
  REQUIRE_TOOL("7z");
  REQUIRE_TOOL("convert");
  // Stored apart from its directory's other member, Top.BMP is described
  // after img/b.png: the reader must start the tar over to reach it.
  ASSERT_TRUE(RunIn(dir.path(), "mkdir -p s/img && convert -size 40x20 xc:red s/img/a.png && "
                                "convert -size 22x33 xc:lime s/img/b.png && convert -size 10x30 xc:blue s/Top.BMP && "
                                "cd s && 7z a -bd ../p.7z img Top.BMP && tar -cJf ../p.tar.xz img/a.png Top.BMP img/b.png && "
                                "cd .. && rm -r s"));
  ASSERT_TRUE(ResetTempWorkDirectory());
  Scan(true);
  const std::map<std::string, std::string> sizes = {{"a.png", "40 x 20"}, {"b.png", "22 x 33"}, {"Top.BMP", "10 x 30"}};
  size_t described = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    const auto size = sizes.find(list[i]->name);
    if (size == sizes.end()) continue;
    ++described;
    EXPECT_EQ(list[i]->isArchive, 1u);
    EXPECT_NE(list[i]->thumbnail, nullptr) << list[i]->name;
    EXPECT_EQ(list[i]->description.rfind("Picture size " + size->second + " pixels", 0), 0u)
        << list[i]->name << ": " << list[i]->description;
  }
  EXPECT_EQ(described, 6u);
  EXPECT_TRUE(TreeEntries(TempWorkDirectory()).empty());
  EXPECT_EQ(Log(), "");
}
