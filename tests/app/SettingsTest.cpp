#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Settings.h"
#include "catalog/FileItem.h"
#include "i18n/Translator.h"
#include "platform/FakePlatform.h"
#include "scan/MediaTypes.h"
#include "support/TestDir.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    path = testsupport::MakeTestDirectory("qv-settings");
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

CIniFile Parsed(const std::string& text) {
  CIniFile ini;
  ini.Parse(text);
  return ini;
}

}  // namespace

TEST(IniFile, ReadsValuesCaseInsensitivelyAndKeepsWhatItDoesNotKnow) {
  std::string text =
      "; a comment\n"
      "[Config]\n"
      "Language = FR \n"
      "LoadLastUsed=0\n"
      "Unknown=keep me\n"
      "\n"
      "[Other Tool]\n"
      "x=1\n"
      "garbage line without equals\n";
  CIniFile ini = Parsed(text);
  EXPECT_EQ(ini.GetString("config", "language"), "FR");
  EXPECT_EQ(ini.GetInt("CONFIG", "loadlastused", 1), 0);
  EXPECT_EQ(ini.Serialize(), text);  // untouched content comes back byte for byte
  ini.SetInt("Config", "LoadLastUsed", 1);
  ini.Set("Config", "NewKey", "v");
  ini.Set("New Section", "k", "w");
  EXPECT_EQ(ini.Serialize(),
            "; a comment\n"
            "[Config]\n"
            "Language = FR \n"
            "LoadLastUsed=1\n"
            "Unknown=keep me\n"
            "NewKey=v\n"
            "\n"
            "[Other Tool]\n"
            "x=1\n"
            "garbage line without equals\n"
            "\n"
            "[New Section]\n"
            "k=w\n");
  std::vector<std::string> keys = {"Language", "LoadLastUsed", "Unknown", "NewKey"};
  EXPECT_EQ(ini.Keys("Config"), keys);
}

TEST(IniFile, IntegersAsTheProfileFunctionsReadThem) {
  CIniFile ini = Parsed("[S]\na=42\nb=-7\nc=12abc\nd=abc\ne=\nf=99999999999999999999\ng=  8  \nh=+3\n");
  EXPECT_EQ(ini.GetInt("S", "a", 1), 42);
  EXPECT_EQ(ini.GetInt("S", "b", 1), -7);
  EXPECT_EQ(ini.GetInt("S", "c", 1), 12);
  EXPECT_EQ(ini.GetInt("S", "d", 1), 0);  // present but not a number
  EXPECT_EQ(ini.GetInt("S", "e", 1), 0);
  EXPECT_EQ(ini.GetInt("S", "f", 1), 2147483647);
  EXPECT_EQ(ini.GetInt("S", "g", 1), 8);
  EXPECT_EQ(ini.GetInt("S", "h", 1), 3);
  EXPECT_EQ(ini.GetInt("S", "missing", 5), 5);
  EXPECT_EQ(ini.GetInt("NoSection", "a", 6), 6);
}

TEST(IniFile, OddInputs) {
  // Keys before any section, CR LF line ends, quotes, duplicate keys, an unclosed section.
  CIniFile ini = Parsed("orphan=1\r\n[A]\r\nq=\"quoted value\"\r\nk=first\r\nk=second\r\n[B\r\nz=1\r\n");
  EXPECT_FALSE(ini.Get("A", "orphan").has_value());
  EXPECT_EQ(ini.GetString("A", "q"), "quoted value");
  EXPECT_EQ(ini.GetString("A", "k"), "first");
  EXPECT_EQ(ini.GetString("A", "z"), "1");  // "[B" is not a section header
  ini.Remove("A", "k");
  EXPECT_EQ(ini.GetString("A", "k"), "second");
  CIniFile empty = Parsed("");
  EXPECT_EQ(empty.Serialize(), "");
  empty.Set("X", "y", "z");
  EXPECT_EQ(empty.Serialize(), "[X]\ny=z\n");
  // A file written on Windows comes back byte for byte, CR LF included.
  std::string windows = "[Config]\r\nLanguage=FR\r\n\r\n[Medias]\r\nItem 0=CD,Disc,D:\\\r\n";
  CIniFile crlf = Parsed(windows);
  EXPECT_EQ(crlf.GetString("Medias", "Item 0"), "CD,Disc,D:\\");
  EXPECT_EQ(crlf.Serialize(), windows);
  CIniFile value = Parsed("[S]\nk=a=b\n");
  EXPECT_EQ(value.GetString("S", "k"), "a=b");
}

TEST(IniFile, SaveIsAtomicAndCreatesTheDirectory) {
  TempDir dir;
  fs::path file = dir.path / "sub" / "deeper" / "Quolvane.ini";
  CIniFile ini;
  ini.Set("Config", "LoadLastUsed", "0");
  std::string error;
  ASSERT_TRUE(ini.Save(file.string(), &error)) << error;
  EXPECT_EQ(ReadAll(file), "[Config]\nLoadLastUsed=0\n");
  CIniFile back;
  ASSERT_TRUE(back.Load(file.string()));
  EXPECT_EQ(back.GetInt("Config", "LoadLastUsed", 1), 0);
  // Only the file itself is left behind, no temporary.
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
  EXPECT_FALSE(back.Load((dir.path / "missing.ini").string()));
  EXPECT_FALSE(ini.Save("/proc/qv-cannot-write/x.ini", &error));
  EXPECT_FALSE(error.empty());
}

TEST(Config, DefaultsFromAnEmptyFile) {
  ConfigSettings c = ReadConfig(CIniFile());
  EXPECT_EQ(c.loadLastUsed, 1);
  EXPECT_EQ(c.useLastFilter, 1);
  EXPECT_EQ(c.openDescr, 1);
  EXPECT_EQ(c.scanDescrs, 1);
  EXPECT_EQ(c.scanCompress, 1);
  EXPECT_EQ(c.scanApplis, 1);
  EXPECT_EQ(c.scanDescrPgm, 1);
  EXPECT_EQ(c.scanDescrWidth, 100);
  EXPECT_EQ(c.scanDescrHeight, 100);
  EXPECT_EQ(c.scanDescrBpp, 8);
  EXPECT_EQ(c.scanDescrAudio, 1);
  EXPECT_EQ(c.scanDescrVideo, 1);
  EXPECT_TRUE(c.language.empty());
  EXPECT_TRUE(c.varnFile.empty());
}

TEST(Config, LastCatalogReadOnlyWhenAskedFor) {
  auto c = ReadConfig(Parsed("[Config]\nLoadLastUsed=0\nVarnFile=/home/u/a.QVD\n"));
  EXPECT_TRUE(c.varnFile.empty());
  c = ReadConfig(Parsed("[Config]\nVarnFile=/home/u/a.QVD\n"));
  EXPECT_EQ(c.varnFile, "/home/u/a.QVD");
}

TEST(Config, WriteKeepsVarnFileUnlessGivenAndLeavesLanguageAlone) {
  CIniFile ini = Parsed("[Config]\nVarnFile=/old.QVD\nLanguage=FR\n");
  ConfigSettings c = ReadConfig(ini);
  c.scanDescrBpp = 24;
  c.language = "US";
  WriteConfig(ini, c, nullptr);  // the document was left modified
  EXPECT_EQ(ini.GetString("Config", "VarnFile"), "/old.QVD");
  EXPECT_EQ(ini.GetString("Config", "Language"), "FR");
  EXPECT_EQ(ini.GetInt("Config", "ScanDescrBpp", 0), 24);
  std::string path = "/new.QVD";
  WriteConfig(ini, c, &path);
  EXPECT_EQ(ini.GetString("Config", "VarnFile"), "/new.QVD");
  // Every integer is written, in the order it is read.
  std::vector<std::string> keys = ini.Keys("Config");
  auto at = [&](const std::string& k) { return std::find(keys.begin(), keys.end(), k) - keys.begin(); };
  EXPECT_LT(at("LoadLastUsed"), at("ScanDescrPgm"));
  EXPECT_LT(at("ScanDescrPgm"), at("ScanDescrBpp"));
  EXPECT_EQ(keys.size(), 30u);  // 28 integers, VarnFile, Language
}

TEST(Config, LanguageSettingIsExact) {
  EXPECT_EQ(LanguageFromSetting("FR"), 1036);
  EXPECT_EQ(LanguageFromSetting("US"), 1033);
  EXPECT_EQ(LanguageFromSetting("fr"), 0);
  EXPECT_EQ(LanguageFromSetting("FR "), 0);
}

TEST(Config, DescribeSettingsFollowTheSwitches) {
  auto c = ReadConfig(Parsed("[Config]\nScanDescrs=0\nScanDescrJpg=0\nScanDescrWidth=64\nScanDescrBpp=24\nScanDescrVideo=0\n"));
  DescribeSettings d = ToDescribeSettings(c);
  EXPECT_FALSE(d.scanDescrs);
  EXPECT_FALSE(d.jpg);
  EXPECT_TRUE(d.png);
  EXPECT_TRUE(d.mp3);
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 100);
  EXPECT_EQ(d.bpp, 24);
  EXPECT_FALSE(d.video);
  EXPECT_TRUE(d.audio);
}

TEST(Config, NewPictureTypesJoinOnlyTheOldDefaultList) {
  // A file from before the new types with the old default list gains them.
  auto c = ReadConfig(Parsed("[Config]\nScanDescrBmp=1\nScanDescrJpg=1\nScanDescrPgm=1\n"));
  EXPECT_EQ(c.scanDescrWebp + c.scanDescrHeif + c.scanDescrAvif, 3);
  // A narrowed list stays as the user left it.
  c = ReadConfig(Parsed("[Config]\nScanDescrGif=0\n"));
  EXPECT_EQ(c.scanDescrWebp + c.scanDescrHeif + c.scanDescrAvif, 0);
  EXPECT_FALSE(ToDescribeSettings(c).webp);
  // Once written, the new switches are the user's.
  c = ReadConfig(Parsed("[Config]\nScanDescrGif=0\nScanDescrHeif=1\n"));
  EXPECT_EQ(c.scanDescrHeif, 1);
  EXPECT_EQ(c.scanDescrWebp, 0);
  c = ReadConfig(Parsed("[Config]\nScanDescrAvif=0\n"));
  EXPECT_EQ(c.scanDescrAvif, 0);
  EXPECT_EQ(c.scanDescrWebp, 1);
  DescribeSettings d = ToDescribeSettings(c);
  EXPECT_EQ(IsDescribedPicture("x.WebP", d), 1);
  EXPECT_EQ(IsDescribedPicture("x.heic", d), 1);
  EXPECT_EQ(IsDescribedPicture("x.avif", d), 0);
}

TEST(RecentFiles, MostRecentFirstAtMostTen) {
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) AddRecentFile(files, "/f" + std::to_string(i));
  ASSERT_EQ(files.size(), 10u);
  EXPECT_EQ(files.front(), "/f11");
  AddRecentFile(files, "/f5");
  EXPECT_EQ(files.front(), "/f5");
  EXPECT_EQ(std::count(files.begin(), files.end(), "/f5"), 1);
  CIniFile ini = Parsed("[Recent File List]\nFile1=/a\nFile2=/b\nFile3=/c\n");
  std::vector<std::string> two = {"/x", "/y"};
  WriteRecentFiles(ini, two);
  EXPECT_EQ(ReadRecentFiles(ini), two);
  EXPECT_FALSE(ini.Get("Recent File List", "File3").has_value());
}

TEST(AppSettings, StartUpReadsDefaultsAndExitWritesThemBack) {
  TempDir dir;
  FakePlatform fake;
  fake.drives = {{"/media/cdrom", DriveType::CdRom, "/dev/sr0"}};
  ScopedPlatform scoped(fake);
  fs::path file = dir.path / "Quolvane.ini";
  CAppSettings settings;
  settings.Read(file.string());
  EXPECT_EQ(settings.config.scanDescrWidth, 100);
  EXPECT_FALSE(settings.tempDirectory.empty());
  ASSERT_EQ(MediaTypes().size(), 2u);  // Directory + CDRom from the drives
  EXPECT_EQ(MediaTypes()[1].name, "CDRom");
  EXPECT_EQ(settings.filters.filters.size(), 3u);  // the three default filters
  std::string catalog = "/home/u/cat.QVD";
  settings.config.scanApplis = 0;
  ASSERT_TRUE(settings.Write(&catalog));

  // The next start sees what was written, media types included.
  fake.drives.clear();
  CAppSettings again;
  again.Read(file.string());
  EXPECT_EQ(again.config.scanApplis, 0);
  EXPECT_EQ(again.config.varnFile, catalog);
  ASSERT_EQ(MediaTypes().size(), 2u);
  EXPECT_EQ(MediaTypes()[1].path, "/media/cdrom");
  EXPECT_EQ(again.filters.filters.size(), 3u);
  std::string text = ReadAll(file);
  EXPECT_NE(text.find("Item 1=CD,CDRom,/media/cdrom"), std::string::npos);
  EXPECT_NE(text.find("[Filters]"), std::string::npos);
}
