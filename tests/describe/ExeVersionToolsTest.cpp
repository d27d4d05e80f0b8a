// Version descriptions of real executables made by the MinGW tool chain,
// compared with what python3-pefile reports for the same files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "describe/ExeVersion.h"

namespace fs = std::filesystem;

namespace {

const char* const kWindres = "x86_64-w64-mingw32-windres";
const char* const kGcc = "x86_64-w64-mingw32-gcc";
const char* const kPython = "/usr/bin/python3";

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

bool HavePefile() {
  return std::system((std::string(kPython) + " -c 'import pefile' >/dev/null 2>&1").c_str()) == 0;
}

std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = rc;
  }
  return out;
}

// pefile's view: fixed version words, and each string table by its key.
const char* const kPefileScript = R"PY(
import json, sys, pefile
pe = pefile.PE(sys.argv[1])
out = {"fixed": None, "tables": []}
if hasattr(pe, "VS_FIXEDFILEINFO"):
    f = pe.VS_FIXEDFILEINFO[0]
    out["fixed"] = [f.Signature, f.FileVersionMS, f.FileVersionLS]
for fi in getattr(pe, "FileInfo", []):
    for e in fi:
        if getattr(e, "Key", b"") == b"StringFileInfo":
            for st in e.StringTable:
                out["tables"].append([st.LangID.decode(),
                    {k.decode(): v.decode() for k, v in st.entries.items()}])
print(json.dumps(out))
)PY";

class ExeVersionTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have(kWindres) || !Have(kGcc) || !HavePefile())
      GTEST_SKIP() << "MinGW windres/gcc or python3-pefile not installed";
    dir_ = fs::temp_directory_path() / ("qv-exetools-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "main.c") << "int main(void) { return 0; }\n";
    std::ofstream(dir_ / "lib.c") << "__declspec(dllexport) int answer(void) { return 42; }\n";
    std::ofstream(dir_ / "version_report.py") << kPefileScript;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Builds name (an .exe, or a .dll when dll) with the resource script rc,
  // or without resources when rc is empty.
  std::string Build(const std::string& name, const std::string& rc, bool dll) {
    std::string objects;
    if (!rc.empty()) {
      std::ofstream(dir_ / (name + ".rc")) << rc;
      int status = -1;
      std::string log = RunCommand(std::string(kWindres) + " '" + (dir_ / (name + ".rc")).string() + "' -O coff -o '" +
                                (dir_ / (name + ".o")).string() + "' 2>&1",
                            &status);
      EXPECT_EQ(status, 0) << log;
      objects = " '" + (dir_ / (name + ".o")).string() + "'";
    }
    fs::path out = dir_ / name;
    int status = -1;
    std::string log = RunCommand(std::string(kGcc) + (dll ? " -shared" : "") + " -s -o '" + out.string() + "' '" +
                              (dir_ / (dll ? "lib.c" : "main.c")).string() + "'" + objects + " 2>&1",
                          &status);
    EXPECT_EQ(status, 0) << log;
    return out.string();
  }

  nlohmann::json Pefile(const std::string& path) {
    std::string out = RunCommand(std::string(kPython) + " '" + (dir_ / "version_report.py").string() + "' '" + path + "'");
    return nlohmann::json::parse(out);
  }

  // Compares our reader with pefile: the fixed record, then every key of the
  // description against the table the translation names (or the first).
  void CrossCheck(const std::string& path, const std::string& tableKey) {
    nlohmann::json theirs = Pefile(path);
    VersionInfoReader reader;
    ASSERT_TRUE(reader.ReadFileVersion(path));
    ASSERT_FALSE(theirs["fixed"].is_null());
    EXPECT_EQ(reader.FixedInfo().signature, theirs["fixed"][0].get<uint32_t>());
    EXPECT_EQ(reader.FixedInfo().fileVersionMS, theirs["fixed"][1].get<uint32_t>());
    EXPECT_EQ(reader.FixedInfo().fileVersionLS, theirs["fixed"][2].get<uint32_t>());

    std::map<std::string, std::string> table;
    for (const auto& t : theirs["tables"])
      if (t[0].get<std::string>() == tableKey) table = t[1].get<std::map<std::string, std::string>>();
    ASSERT_FALSE(table.empty()) << "pefile has no table " << tableKey;
    for (const char* key : kVersionStringKeys) EXPECT_EQ(reader.QueryVersionString(key), table[key]) << key;
  }

  fs::path dir_;
};

const char* const kHeader = R"RC(#pragma code_page(65001)
1 VERSIONINFO
FILEVERSION %s
PRODUCTVERSION 9,8,7,6
FILEFLAGSMASK 0x3f
FILEOS 0x40004
FILETYPE %s
BEGIN
)RC";

std::string Rc(const std::string& version, bool dll, const std::string& body) {
  char head[512];
  std::snprintf(head, sizeof head, kHeader, version.c_str(), dll ? "0x2" : "0x1");
  return head + body + "END\n";
}

}  // namespace

TEST_F(ExeVersionTools, ExecutableWithEveryKey) {
  std::string exe = Build("TOOL.EXE", Rc("1,2,3,4", false, R"RC(
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "CompanyName", "Acme Corp"
      VALUE "FileDescription", "Widget tool"
      VALUE "FileVersion", "1.2.3.4"
      VALUE "InternalName", "tool"
      VALUE "LegalCopyright", "Copyright (C) 1997 Acme"
      VALUE "OriginalFilename", "TOOL.EXE"
      VALUE "ProductName", "Widget"
      VALUE "ProductVersion", "1.2"
      VALUE "Comments", "not described"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
)RC"), false);
  CrossCheck(exe, "040904b0");
  EXPECT_EQ(DescribeExecutable(exe),
            "Version: 1.2.3.4\r\nCompanyName:\tAcme Corp\r\nFileDescription:\tWidget tool\r\n"
            "FileVersion:\t1.2.3.4\r\nInternalName:\ttool\r\nLegalCopyright:\tCopyright (C) 1997 Acme\r\n"
            "OriginalFilename:\tTOOL.EXE\r\nProductName:\tWidget\r\nProductVersion:\t1.2\r\n");
}

TEST_F(ExeVersionTools, LibraryWithTwoTablesAndAccents) {
  std::string dll = Build("OUTIL.DLL", Rc("65535,0,2024,17", true, R"RC(
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "CompanyName", "Acme Inc"
      VALUE "LegalCopyright", "© 2024"
    END
    BLOCK "040c04b0"
    BEGIN
      VALUE "CompanyName", "Société Acme\0"
      VALUE "FileDescription", "Bibliothèque d'outils"
      VALUE "ProductName", ""
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x40c, 1200
  END
)RC"), true);
  CrossCheck(dll, "040c04b0");
  std::string text = DescribeExecutable(dll);
  EXPECT_TRUE(text.starts_with("Version: 65535.0.2024.17\r\nCompanyName:\tSociété Acme\r\n"
                               "FileDescription:\tBibliothèque d'outils\r\nFileVersion:\t\r\n"))
      << text;
}

TEST_F(ExeVersionTools, NoTranslationTableUsesTheFirstTable) {
  std::string exe = Build("NOTRANS.EXE", Rc("3,0,0,1", false, R"RC(
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "041104e4"
    BEGIN
      VALUE "ProductName", "First"
    END
    BLOCK "040904e4"
    BEGIN
      VALUE "ProductName", "Second"
    END
  END
)RC"), false);
  CrossCheck(exe, "041104e4");
  VersionInfoReader reader;
  ASSERT_TRUE(reader.ReadFileVersion(exe));
  EXPECT_FALSE(reader.HasTranslation());
  EXPECT_EQ(reader.CodePage(), 1252);
}

TEST_F(ExeVersionTools, NoStringTableAndNoVersionResource) {
  std::string bare = Build("BARE.DLL", Rc("4,3,2,1", true, R"RC(
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
  END
)RC"), true);
  EXPECT_EQ(DescribeExecutable(bare),
            "Version: 4.3.2.1\r\nCompanyName:\t\r\nFileDescription:\t\r\nFileVersion:\t\r\nInternalName:\t\r\n"
            "LegalCopyright:\t\r\nOriginalFilename:\t\r\nProductName:\t\r\nProductVersion:\t\r\n");

  std::string plain = Build("PLAIN.EXE", "", false);
  EXPECT_TRUE(Pefile(plain)["fixed"].is_null());
  EXPECT_EQ(DescribeExecutable(plain), "");
}
