#include "app/Launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cabinet/ArchiveFixtures.h"
#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "text/Codepage.h"
#include "i18n/Translator.h"
#include "platform/FakePlatform.h"
#include "ports/TempDir.h"
#include "query/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", 1033L);
    fake.realFileSystem = true;
    root = dir.path();
    Write("doc.txt", "text");
    fs::create_directories(root + "/sub");
    Write("sub/run.sh", "#!/bin/sh\nexit 0\n");
    ::chmod((root + "/sub/run.sh").c_str(), 0755);
    Write("sub/setup.exe", "MZ");
    ASSERT_TRUE(MakeTestZip(root + "/tool.zip", {{"inst/setup.exe", "MZ installer"}, {"inst/data.txt", "d"}}));
    ASSERT_TRUE(MakeTestZip(root + "/data.zip", {{"notes/notes.txt", "hello"}}));

    auto media = std::make_unique<CFileItemMediaDir>();
    media->name = "M";
    media->level = 0;
    media->rootPath = root;  // no trailing separator: joined with exactly one
    list.items.push_back(std::move(media));                                      // 0
    Add(ITEM_FILE, "doc.txt", 1);                                                // 1
    Add(ITEM_DIRECTORY, "sub", 1);                                               // 2
    Add(ITEM_FILE, "run.sh", 2);                                                 // 3
    auto zipApp = std::make_unique<CFileItemAppli>();                            // 4
    zipApp->type = ITEM_ARCHIVE_ENTRY;
    zipApp->name = "tool.zip";
    zipApp->level = 1;
    zipApp->isArchive = 1;
    zipApp->installProgram = "inst/setup.exe";
    list.items.push_back(std::move(zipApp));
    Add(ITEM_ARCHIVE_ENTRY, "data.zip", 1, 1);                                   // 5
    Add(ITEM_DIRECTORY, "notes", 2, 1);                                          // 6
    Add(ITEM_FILE, "notes.txt", 3, 1);                                           // 7
    Add(ITEM_FILE, "gone.txt", 1);                                               // 8
    list.RebuildContainerIndex();
  }
  void TearDown() override { RemoveTempWorkDirectory(); }

  void Write(const std::string& rel, const std::string& text) { std::ofstream(root + "/" + rel) << text; }
  void Add(uint8_t type, const std::string& name, int16_t level, uint32_t isArchive = 0) {
    auto item = std::make_unique<CFileItem>(type, name, 0, 0, level, 0);
    item->isArchive = isArchive;
    list.items.push_back(std::move(item));
  }
  // Turns directory index into an application whose program is program.
  void MakeApp(size_t index, const std::string& program) {
    auto app = std::make_unique<CFileItemAppli>(*list[index]);
    app->installProgram = program;
    list.Replace(index, std::move(app));
  }

  ScratchDir dir;
  std::string root;
  FakePlatform fake;
  ScopedPlatform scoped{fake};
  ScriptedUi ui;
  CFileItemList list;
};

TEST_F(Launch, OpensFilesAndDirectoriesWithTheDesktop) {
  EXPECT_TRUE(ExecuteItem(list, 1, false, ui));
  ASSERT_EQ(fake.started.size(), 1u);
  EXPECT_EQ(fake.started[0].program, "xdg-open");
  EXPECT_EQ(fake.started[0].args, (std::vector<std::string>{root + "/doc.txt"}));
  EXPECT_EQ(fake.started[0].workingDirectory, root);
  EXPECT_TRUE(ExecuteItem(list, 2, false, ui));
  EXPECT_EQ(fake.started[1].args, (std::vector<std::string>{root + "/sub"}));
  // A file's case on disk differs from the catalog's: it is still found.
  list[1]->name = "DOC.TXT";
  EXPECT_TRUE(ExecuteItem(list, 1, false, ui));
  EXPECT_EQ(fake.started[2].args, (std::vector<std::string>{root + "/doc.txt"}));
  // A name that is not UTF-8 is opened by its own bytes.
  Write("caf\xe9.txt", "latin-1 name");
  list[1]->name = NameFromBytes("caf\xe9.txt");
  EXPECT_TRUE(ExecuteItem(list, 1, false, ui));
  EXPECT_EQ(fake.started[3].args, (std::vector<std::string>{root + "/caf\xe9.txt"}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Launch, FailuresShowTheFileAndACode) {
  EXPECT_FALSE(ExecuteItem(list, 8, false, ui));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The file \\" + root + "/gone.txt\\ cannot be opened !\nError 2");
  EXPECT_EQ(ui.boxes[0].caption, "");
  EXPECT_EQ(ui.boxes[0].flags, unsigned(MB_ICONERROR));
  fake.failStart = true;
  EXPECT_FALSE(ExecuteItem(list, 1, false, ui));
  EXPECT_EQ(ui.boxes.back().text, "The file \\" + root + "/doc.txt\\ cannot be opened !\nError 31");
  EXPECT_TRUE(fake.started.empty());
}

TEST_F(Launch, InstallationPrograms) {
  // A program of this machine runs from its own directory; a Windows
  // program goes to the desktop's handler, started in the same place.
  MakeApp(2, root + "/sub/run.sh");
  EXPECT_TRUE(ExecuteItem(list, 2, true, ui));
  ASSERT_EQ(fake.started.size(), 1u);
  EXPECT_EQ(fake.started[0].program, root + "/sub/run.sh");
  EXPECT_TRUE(fake.started[0].args.empty());
  EXPECT_EQ(fake.started[0].workingDirectory, root + "/sub");
  MakeApp(2, root + "/sub/setup.exe");
  EXPECT_TRUE(ExecuteItem(list, 2, true, ui));
  EXPECT_EQ(fake.started[1].program, "xdg-open");
  EXPECT_EQ(fake.started[1].workingDirectory, root + "/sub");
  // Without the install flag the application's directory is opened.
  EXPECT_TRUE(ExecuteItem(list, 2, false, ui));
  EXPECT_EQ(fake.started[2].args, (std::vector<std::string>{root + "/sub"}));
  // Nothing to run is no failure.
  MakeApp(2, "");
  EXPECT_TRUE(ExecuteItem(list, 2, true, ui));
  EXPECT_EQ(fake.started.size(), 3u);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Launch, ZipApplicationIsExtractedConfirmedAndCleanedUp) {
  struct Checking : ScriptedUi {
    std::string expected;
    bool presentAtConfirmation = false;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
      presentAtConfirmation = fs::exists(expected);
      return ScriptedUi::MessageBox(text, caption, flags);
    }
  } checking;
  const std::string work = TempWorkDirectory();
  checking.expected = work + "/inst/setup.exe";
  EXPECT_TRUE(ExecuteItem(list, 4, true, checking));
  ASSERT_EQ(fake.started.size(), 1u);
  EXPECT_EQ(fake.started[0].args, (std::vector<std::string>{work + "/inst/setup.exe"}));
  EXPECT_EQ(fake.started[0].workingDirectory, work + "/inst");
  ASSERT_EQ(checking.boxes.size(), 1u);
  EXPECT_EQ(checking.boxes[0].text, "Confirm when finished.");
  EXPECT_EQ(checking.boxes[0].caption, "Install in progress");
  EXPECT_TRUE(checking.presentAtConfirmation);
  EXPECT_TRUE(fs::is_empty(work));

  // An archive that is gone: the extraction fails silently.
  fs::remove(root + "/tool.zip");
  EXPECT_FALSE(ExecuteItem(list, 4, true, checking));
  EXPECT_EQ(checking.boxes.size(), 1u);
}

TEST_F(Launch, ArchiveMembersAreExtractedFirst) {
  const std::string work = TempWorkDirectory();
  EXPECT_TRUE(ExecuteItem(list, 7, false, ui));
  ASSERT_EQ(fake.started.size(), 1u);
  ASSERT_EQ(fake.started[0].args.size(), 1u);
  const std::string extracted = fake.started[0].args[0];
  EXPECT_EQ(extracted.rfind(work, 0), 0u);
  std::ifstream in(extracted);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "hello");

  ScopedEnv viewer("QUOLVANE_TEXT_VIEWER", "/usr/bin/myviewer");
  EXPECT_TRUE(OpenInNotepad(list, 7, ui));
  EXPECT_EQ(fake.started[1].program, "/usr/bin/myviewer");
  EXPECT_EQ(fake.started[1].args, (std::vector<std::string>{extracted}));
  EXPECT_TRUE(OpenInNotepad(list, 1, ui));
  EXPECT_EQ(fake.started[2].args, (std::vector<std::string>{root + "/doc.txt"}));
  EXPECT_FALSE(OpenInNotepad(list, 8, ui));
  EXPECT_EQ(ui.boxes.back().text, "The file \\" + root + "/gone.txt\\ cannot be opened !\nError 2");
  fake.failStart = true;
  EXPECT_FALSE(OpenInNotepad(list, 1, ui));
  EXPECT_EQ(ui.boxes.back().text, "The file \\/usr/bin/myviewer " + root + "/doc.txt\\ cannot be opened !\nError 31");
}

TEST(TextViewer, ExecLinesAndTheDesktopDefault) {
  EXPECT_EQ(DesktopExecArguments("gedit %U", "/f"), (std::vector<std::string>{"gedit", "/f"}));
  EXPECT_EQ(DesktopExecArguments("\"/opt/my editor/ed\" --new %f", "/a b"),
            (std::vector<std::string>{"/opt/my editor/ed", "--new", "/a b"}));
  EXPECT_EQ(DesktopExecArguments("kate -b", "/f"), (std::vector<std::string>{"kate", "-b", "/f"}));
  EXPECT_EQ(DesktopExecArguments("view --icon %i 100%% %F", "/f"),
            (std::vector<std::string>{"view", "--icon", "100%", "/f"}));
  EXPECT_TRUE(DesktopExecArguments("", "/f").empty());

  ScratchDir home;
  const std::string h = home.path();
  fs::create_directories(h + "/config");
  fs::create_directories(h + "/data/applications");
  std::ofstream(h + "/config/mimeapps.list")
      << "[Added Associations]\ntext/plain=other.desktop;\n[Default Applications]\ntext/html=web.desktop\n"
         "text/plain=missing.desktop;my.desktop;\n";
  std::ofstream(h + "/data/applications/my.desktop")
      << "[Desktop Entry]\nName=My viewer\nExec=myview --flag %f\n[Desktop Action new]\nExec=other\n";
  ScopedEnv a("XDG_CONFIG_HOME", h + "/config"), b("XDG_DATA_HOME", h + "/data"),
      c("XDG_CONFIG_DIRS", h + "/none"), d("XDG_DATA_DIRS", h + "/none");
  unsetenv("QUOLVANE_TEXT_VIEWER");
  EXPECT_EQ(TextViewerCommand("/x.txt"), (std::vector<std::string>{"myview", "--flag", "/x.txt"}));
  fs::remove(h + "/data/applications/my.desktop");
  EXPECT_TRUE(TextViewerCommand("/x.txt").empty());
}

}  // namespace
