// The document's file commands: new, open, recent, save, save as, merge,
// start-up and closing, and how their failures are reported.
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <random>

#include "app/DocumentTestUtil.h"

namespace {

using namespace doctest;
using Doc = DocFixture;

TEST_F(Doc, SaveWritesOnlyAModifiedDocument) {
  const std::string path = Path("never.qvd");
  doc->SetPathName(path);
  doc->list = SampleCatalog();
  EXPECT_TRUE(doc->OnFileSave());
  EXPECT_FALSE(std::filesystem::exists(path));  // not modified: nothing written

  doc->SetModifiedFlag();
  EXPECT_TRUE(doc->OnFileSave());
  EXPECT_FALSE(doc->IsModified());
  CFileItemList back;
  ASSERT_EQ(LoadCatalogFile(back, path), CatalogReadResult::Ok);
  EXPECT_EQ(back.size(), 6u);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Doc, NewOpenAndTheDiscardQuestion) {
  const std::string a = SaveFile("a.qvd", SampleCatalog());
  doc->list = SampleCatalog();
  doc->SetModifiedFlag();

  // Cancel keeps everything.
  ui.answers = {IDCANCEL};
  doc->OnFileNew();
  EXPECT_EQ(ui.boxes.back().text, "Close the current database without saving ?");
  EXPECT_EQ(ui.boxes.back().caption, "Warning");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(doc->list.size(), 6u);

  doc->OnFileNew();
  EXPECT_EQ(doc->list.size(), 0u);
  EXPECT_FALSE(doc->IsModified());
  // Untitled: no file named in the current directory, none in the recent files.
  EXPECT_TRUE(doc->IsUntitled());
  EXPECT_EQ(doc->Title(), "No name");
  EXPECT_TRUE(doc->RecentFiles().empty());

  // Open: no question for an unmodified document; the dialog's fields.
  ui.files.push_back(a);
  doc->OnFileOpen();
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  const FileDialogFields& f = ui.fileRequests[0];
  EXPECT_FALSE(f.save);
  EXPECT_EQ(f.defaultExtension, "QVD");
  EXPECT_EQ(f.flags, unsigned(OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
  EXPECT_EQ(f.filter, std::string("Database Quolvane (*.QVD)\0*.QVD\0All files (*.*)\0*.*\0\0", 53));
  EXPECT_EQ(doc->list.size(), 6u);
  EXPECT_EQ(doc->PathName(), a);
  EXPECT_EQ(doc->RecentFiles().front(), a);
  EXPECT_FALSE(doc->IsModified());

  // Save as proposes the current name in its directory.
  ui.files.push_back(Path("b.qvd"));
  EXPECT_TRUE(doc->OnFileSaveAs());
  EXPECT_EQ(ui.fileRequests[1].fileName, "a.qvd");
  EXPECT_EQ(ui.fileRequests[1].initialDirectory, dir);
  EXPECT_EQ(ui.fileRequests[1].flags, unsigned(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST));
  EXPECT_EQ(doc->PathName(), Path("b.qvd"));
  EXPECT_EQ(ReadBytes(a), ReadBytes(Path("b.qvd")));
}

TEST_F(Doc, MergingAFileIntoItselfDoublesEveryItem) {
  const std::string a = SaveFile("self.qvd", SampleCatalog());
  doc->OpenPath(a);
  ASSERT_EQ(doc->list.size(), 6u);
  ui.files.push_back(a);
  doc->OnFileMerge();
  ASSERT_EQ(doc->list.size(), 12u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(doc->list[i]->name, doc->list[i + 6]->name);
    EXPECT_EQ(doc->list[i]->level, doc->list[i + 6]->level);
  }
  EXPECT_EQ(doc->list.containerIndex.size(), 8u);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(doc->PathName(), a);
}

TEST_F(Doc, RecentFileReopenKeepsTheModifiedFlag) {
  const std::string a = SaveFile("recent.qvd", SampleCatalog());
  doc->OpenPath(a);
  doc->OnFileNew();
  doc->list = SampleCatalog();
  doc->SetModifiedFlag();
  // New's untitled catalog is no recent file.
  ASSERT_EQ(doc->RecentFiles(), std::vector<std::string>{a});
  doc->OnRecentFile(0);  // discard: OK
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(doc->list.size(), 6u);
  EXPECT_EQ(doc->PathName(), a);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(doc->RecentFiles().front(), a);
  doc->OnRecentFile(10);  // no such entry
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(Doc, UnreadableDamagedAndNewerFiles) {
  // A file that is not there.
  doc->list = SampleCatalog();
  doc->MergePath(Path("missing.qvd"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The file " + Path("missing.qvd") + " cannot be opened !\nError No such file or directory");
  EXPECT_EQ(ui.boxes[0].caption, "");
  EXPECT_EQ(ui.boxes[0].flags, unsigned(MB_ICONERROR));
  EXPECT_EQ(doc->list.size(), 6u);

  // A damaged file: the merge leaves the open catalog as it was.
  std::string bytes = ReadBytes(SaveFile("good.qvd", SampleCatalog()));
  bytes.resize(bytes.size() - 7);
  WriteBytes(Path("cut.qvd"), bytes);
  doc->MergePath(Path("cut.qvd"));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].caption, "File reading error");
  EXPECT_EQ(ui.boxes[1].flags, unsigned(MB_ICONERROR));
  EXPECT_FALSE(ui.boxes[1].text.empty());
  EXPECT_LE(ui.boxes[1].text.size(), 255u);
  EXPECT_EQ(doc->list.size(), 6u);
  EXPECT_FALSE(doc->IsModified());

  // A newer version: nothing read, the catalog stays empty after Open, and
  // the file is not adopted as the path a later save would overwrite.
  WriteBytes(Path("newer.qvd"), std::string("\x00\x00\x05\x00\x01\x00\x00\x00", 8));
  doc->OpenPath(Path("newer.qvd"));
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[2].text, "Cannot read file. The file is younger than Quolvane !");
  EXPECT_EQ(ui.boxes[2].caption, "Error");
  EXPECT_EQ(doc->list.size(), 0u);
  EXPECT_NE(doc->PathName(), Path("newer.qvd"));
  EXPECT_EQ(doc->RecentFiles().front(), Path("newer.qvd"));

  // A directory cannot be opened as a catalog.
  doc->OpenPath(dir);
  EXPECT_EQ(ui.boxes.back().text, "The file " + dir + " cannot be opened !\nError Is a directory");
}

TEST_F(Doc, FailedSavesChangeNothing) {
  const std::string a = SaveFile("keep.qvd", SampleCatalog());
  doc->OpenPath(a);
  doc->SetModifiedFlag();
  // Save as into a directory that does not exist: the old path name stays.
  EXPECT_FALSE(doc->SaveAsPath(Path("no/such/dir/x.qvd")));
  EXPECT_EQ(ui.boxes.back().text,
            "The file " + Path("no/such/dir/x.qvd") + " cannot be opened !\nError No such file or directory");
  EXPECT_EQ(doc->PathName(), a);
  EXPECT_TRUE(doc->IsModified());
  // Save to a path that is a directory.
  doc->SetPathName(dir);
  EXPECT_FALSE(doc->OnFileSave());
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(ui.boxes.back().text, "The file " + dir + " cannot be opened !\nError Is a directory");
}

// A catalog far bigger than the file size limit of the process, so that the
// save runs out of room part-way, as on a full disk.
CFileItemList Incompressible() {
  CFileItemList list;
  std::mt19937 rng(7);
  AddMedia(list, "Big", 0);
  for (int i = 0; i < 40; ++i) {
    auto item = std::make_unique<CFileItem>(ITEM_FILE, "f" + std::to_string(i), 1, 1, 1, 0);
    for (int k = 0; k < 2000; ++k) item->description.push_back(static_cast<char>('a' + rng() % 26));
    list.items.push_back(std::move(item));
  }
  list.RebuildContainerIndex();
  return list;
}

TEST_F(Doc, ASaveThatRunsOutOfRoomLeavesTheOldFileWhole) {
  const std::string path = SaveFile("full.qvd", SampleCatalog());
  const std::string before = ReadBytes(path);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The file size limit stands in for a full disk: writes fail with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8192, 8192};
    setrlimit(RLIMIT_FSIZE, &limit);
    doc->list = Incompressible();
    doc->SetPathName(path);
    doc->SetModifiedFlag();
    const bool saved = doc->OnFileSave();
    const bool savedAs = doc->SaveAsPath(Path("other.qvd"));
    int status = 0;
    if (saved || savedAs) status |= 1;
    if (!doc->IsModified()) status |= 2;
    if (doc->PathName() != path) status |= 4;
    if (ui.boxes.size() != 2 || ui.boxes[0].caption != "File writing error") status |= 8;
    _exit(status);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_FALSE(std::filesystem::exists(Path("other.qvd")));
  // No temporary file is left behind.
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1u);
}

TEST_F(Doc, StartUpReopensTheLastCatalog) {
  const std::string a = SaveFile("last.qvd", SampleCatalog());
  doc->OnNewDocument(a);
  EXPECT_EQ(doc->list.size(), 6u);
  EXPECT_EQ(doc->PathName(), a);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ(doc->RecentFiles().front(), a);

  // Nothing to reopen: an untitled catalog that quits without a question.
  CQuolvaneDoc fresh(settings, ui);
  fresh.OnNewDocument("");
  EXPECT_TRUE(fresh.IsUntitled());
  EXPECT_FALSE(fresh.IsModified());
  EXPECT_TRUE(fresh.SaveModified());
  EXPECT_TRUE(ui.boxes.empty());

  CQuolvaneDoc gone(settings, ui);
  gone.OnNewDocument(Path("gone.qvd"));
  EXPECT_TRUE(gone.IsUntitled());
  EXPECT_FALSE(gone.IsModified());
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(Doc, FrameworkOpenReplacesAndLeavesTheDocumentUnmodified) {
  const std::string a = SaveFile("shell.qvd", SampleCatalog());
  doc->list = SampleCatalog();
  doc->SetModifiedFlag();
  EXPECT_TRUE(doc->FrameworkOpen(a));
  EXPECT_EQ(doc->list.size(), 6u);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ(doc->PathName(), a);
  // An empty file is not read and is no error.
  WriteBytes(Path("empty.qvd"), "");
  EXPECT_TRUE(doc->FrameworkOpen(Path("empty.qvd")));
  EXPECT_EQ(doc->list.size(), 0u);
  EXPECT_FALSE(doc->FrameworkOpen(Path("none.qvd")));
}

TEST_F(Doc, SaveModifiedAsksYesNoCancel) {
  EXPECT_TRUE(doc->SaveModified());  // nothing to ask
  EXPECT_TRUE(ui.boxes.empty());
  doc->list = SampleCatalog();
  doc->SetPathName(Path("ask.qvd"));
  doc->SetModifiedFlag();
  ui.answers = {IDCANCEL, IDNO, IDYES};
  EXPECT_FALSE(doc->SaveModified());
  EXPECT_EQ(ui.boxes[0].flags, unsigned(MB_YESNOCANCEL | MB_ICONEXCLAMATION));
  EXPECT_NE(ui.boxes[0].text.find(Path("ask.qvd")), std::string::npos);
  EXPECT_TRUE(doc->SaveModified());
  EXPECT_FALSE(std::filesystem::exists(Path("ask.qvd")));
  EXPECT_TRUE(doc->SaveModified());
  EXPECT_TRUE(std::filesystem::exists(Path("ask.qvd")));
  EXPECT_FALSE(doc->IsModified());
  // A Yes whose save fails keeps the program open.
  doc->SetPathName(Path("nowhere/ask.qvd"));
  doc->SetModifiedFlag();
  ui.answers = {IDYES};
  EXPECT_FALSE(doc->SaveModified());
}

TEST_F(Doc, AnUntitledCatalogIsSavedOnlyThroughSaveAs) {
  doc->OnNewDocument("");
  doc->list = SampleCatalog();
  doc->SetModifiedFlag();
  // Save on an untitled catalog asks for a file; giving up writes nothing.
  ui.files = {std::nullopt};
  EXPECT_FALSE(doc->OnFileSave());
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_TRUE(ui.fileRequests[0].save);
  EXPECT_EQ(ui.fileRequests[0].fileName, "No name.QVD");
  EXPECT_TRUE(doc->IsModified());

  // The question on quitting, in the interface's language; Yes goes
  // through Save As, and giving up there keeps the program open.
  InitTranslator("", 1036L);
  ui.answers = {IDYES};
  ui.files = {std::nullopt};
  EXPECT_FALSE(doc->SaveModified());
  EXPECT_EQ(ui.boxes.back().text, "Enregistrer les modifications apportées à Sans nom\u00A0?");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_YESNOCANCEL | MB_ICONEXCLAMATION));
  InitTranslator("", 1033L);
  ui.answers = {IDYES};
  ui.files = {Path("named.qvd")};
  EXPECT_TRUE(doc->SaveModified());
  EXPECT_EQ(ui.boxes.back().text, "Save changes to No name\u00A0?");
  EXPECT_EQ(doc->PathName(), Path("named.qvd"));
  EXPECT_FALSE(doc->IsModified());
  CFileItemList back;
  ASSERT_EQ(LoadCatalogFile(back, Path("named.qvd")), CatalogReadResult::Ok);
  EXPECT_EQ(back.size(), 6u);
}

}  // namespace

TEST_F(Doc, ASaveNeverSilentlyReplacesAFileChangedElsewhereOrMarkedReadOnly) {
  const std::string path = SaveFile("shared.qvd", SampleCatalog());
  doc->OpenPath(path);
  doc->SetModifiedFlag();
  // Another program saves the catalog meanwhile.
  CFileItemList other = SampleCatalog();
  AddMedia(other, "Theirs", 0);
  SaveCatalogFile(other, path);
  const size_t boxes = ui.boxes.size();
  ui.answers = {IDNO};
  EXPECT_FALSE(doc->OnFileSave());
  ASSERT_EQ(ui.boxes.size(), boxes + 1);
  EXPECT_EQ(ui.boxes.back().text,
            "The file " + path + " was changed by another program after it was read.\nDo you want to replace it ?");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_YESNO | MB_ICONQUESTION));
  EXPECT_TRUE(doc->IsModified());
  CFileItemList back;
  LoadCatalogFile(back, path);
  EXPECT_EQ(back.size(), 7u);
  // Yes replaces it; the next save of the file just written asks nothing.
  ui.answers = {IDYES};
  EXPECT_TRUE(doc->OnFileSave());
  back.Clear();
  LoadCatalogFile(back, path);
  EXPECT_EQ(back.size(), 6u);
  doc->SetModifiedFlag();
  EXPECT_TRUE(doc->OnFileSave());
  EXPECT_EQ(ui.boxes.size(), boxes + 2);  // the two questions above only

  // A file marked read-only is refused like any file that cannot be written.
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  doc->list = SampleCatalog();
  AddMedia(doc->list, "Mine", 0);
  doc->SetModifiedFlag();
  EXPECT_FALSE(doc->OnFileSave());
  EXPECT_EQ(ui.boxes.back().text, "The file " + path + " cannot be opened !\nError the file is marked read-only");
  back.Clear();
  LoadCatalogFile(back, path);
  EXPECT_EQ(back.size(), 6u);
}

TEST_F(Doc, AfterAFailedOpenTheItemsBeforeTheDamageCanBeSaved) {
  CFileItemList big = SampleCatalog();
  for (int i = 0; i < 3000; ++i)
    big.items.push_back(std::make_unique<CFileItem>(ITEM_FILE, "f" + std::to_string(i), 0, 0, 1, 0));
  big.RebuildContainerIndex();
  std::string bytes = ReadBytes(SaveFile("big.qvd", std::move(big)));
  bytes.resize(bytes.size() / 2);
  WriteBytes(Path("cut.qvd"), bytes);
  doc->OpenPath(Path("cut.qvd"));
  EXPECT_EQ(doc->list.size(), 0u);  // Open refuses the damaged file
  // The window learns which file to offer recovery for, once.
  EXPECT_EQ(doc->TakeFailedOpen(), Path("cut.qvd"));
  EXPECT_EQ(doc->TakeFailedOpen(), "");

  // Declined: nothing changes.
  ui.answers = {IDNO};
  EXPECT_FALSE(doc->OfferRecovery(Path("cut.qvd")));
  EXPECT_EQ(doc->list.size(), 0u);
  EXPECT_NE(ui.boxes.back().text.find("The file " + Path("cut.qvd") + " is damaged at byte "), std::string::npos);
  EXPECT_NE(ui.boxes.back().text.find(" of its 3006 items can be read before the damage."), std::string::npos);
  // Accepted: saved where the user says, and open.
  ui.answers = {IDYES};
  ui.files.push_back(Path("rescued.qvd"));
  EXPECT_TRUE(doc->OfferRecovery(Path("cut.qvd")));
  EXPECT_GT(doc->list.size(), 6u);
  EXPECT_LT(doc->list.size(), 3006u);
  EXPECT_EQ(doc->PathName(), Path("rescued.qvd"));
  EXPECT_FALSE(doc->IsModified());
  CFileItemList back;
  ASSERT_EQ(LoadCatalogFile(back, Path("rescued.qvd")), CatalogReadResult::Ok);
  EXPECT_EQ(back.size(), doc->list.size());
  // A sound file has nothing to offer.
  EXPECT_FALSE(doc->OfferRecovery(Path("rescued.qvd")));
}
