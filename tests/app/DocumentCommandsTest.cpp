// The document's catalog commands: folders, media, refresh, delete, rename,
// applications, view modes, filters and search.
#include "app/DocumentTestUtil.h"
#include "scan/MediaTypes.h"

namespace {

using namespace doctest;
using Cmd = DocFixture;

TEST_F(Cmd, NewFolderPlacesAndWarns) {
  doc->list = SampleCatalog();
  // A file selected: nothing, not even the dialog.
  doc->currentIndex = 2;
  doc->OnNewFolder();
  EXPECT_EQ(ui.newFolderCalls, 0);

  // A folder selected: an empty name warns and asks again; the new folder
  // becomes the folder's first child.
  doc->currentIndex = 0;
  ui.newFolder = {std::string(), std::string("Music")};
  doc->OnNewFolder();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "A name is needed");  // not the search's "criterias" message
  EXPECT_EQ(ui.boxes[0].flags, unsigned(MB_ICONEXCLAMATION));
  ASSERT_EQ(doc->list.size(), 7u);
  EXPECT_EQ(doc->list[1]->name, "Music");
  EXPECT_EQ(doc->list[1]->type, ITEM_FOLDER);
  EXPECT_EQ(doc->list[1]->level, 1);
  EXPECT_EQ(doc->list[1]->time, 1234567890u);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(doc->list.containerIndex.front(), 0u);
  EXPECT_EQ(doc->list.containerIndex[1], 1u);

  // Nothing selected: at the end, top level. Cancel adds nothing.
  doc->currentIndex = -1;
  ui.newFolder = {std::string("Last")};
  doc->OnNewFolder();
  EXPECT_EQ(doc->list.items.back()->name, "Last");
  EXPECT_EQ(doc->list.items.back()->level, 0);
  doc->OnNewFolder();
  EXPECT_EQ(doc->list.size(), 8u);
}

TEST_F(Cmd, NewMediaScansAfterItsFolder) {
  namespace fs = std::filesystem;
  const std::string src = Path("src");
  fs::create_directories(src + "/sub");
  WriteBytes(src + "/a.txt", "hello");
  WriteBytes(src + "/sub/b.txt", "world!");

  doc->list = SampleCatalog();
  // A top-level media with no folder before it: nothing happens.
  CFileItemList lone;
  AddMedia(lone, "Alone", 0);
  lone.RebuildContainerIndex();
  doc->list = std::move(lone);
  doc->currentIndex = 0;
  doc->OnNewMedia();
  EXPECT_TRUE(ui.newMediaRequests.empty());
  EXPECT_EQ(doc->list.size(), 1u);

  doc->list = SampleCatalog();
  doc->currentIndex = 4;  // a file inside Discs: the media goes after Discs
  NewMediaFields f;
  f.kind = MediaKinds().Lookup("Dir");
  f.name = "Source";
  f.path = src;
  f.noApplications = true;
  NewMediaFields noPath = f;
  noPath.path.clear();
  ui.newMedia = {noPath, f};
  doc->OnNewMedia();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The path is empty");
  ASSERT_EQ(ui.newMediaRequests.size(), 2u);
  // The check boxes start from the settings.
  EXPECT_FALSE(ui.newMediaRequests[0].noApplications);
  ASSERT_EQ(doc->list.size(), 6u + 4u);
  const auto* media = dynamic_cast<CFileItemMediaDir*>(doc->list[1]);
  ASSERT_NE(media, nullptr);
  EXPECT_EQ(media->name, "Source");
  EXPECT_EQ(media->level, 1);
  EXPECT_EQ(media->rootPath, src);
  EXPECT_EQ(media->time, 1234567890u);
  EXPECT_EQ(doc->list[2]->name, "a.txt");
  EXPECT_EQ(doc->list[2]->level, 2);
  EXPECT_EQ(doc->list[3]->name, "sub");
  EXPECT_EQ(doc->list[4]->name, "b.txt");
  EXPECT_EQ(doc->list[4]->level, 3);
  EXPECT_EQ(doc->list[5]->name, "CD1");
  EXPECT_TRUE(doc->IsModified());
  // The tree's index is kept for the rebuild to select again.
  EXPECT_EQ(doc->currentIndex, 4);
}

// Asks the running scan to stop at its first progress refresh.
struct StoppingView : RecordingView {
  CQuolvaneDoc* doc = nullptr;
  struct Sink : IScanProgressSink {
    StoppingView* owner;
    void Pump() override {
      if (owner->doc->ScanInProgress()) owner->doc->ScanInProgress()->RequestStop();
    }
  } sink;
  StoppingView() { sink.owner = this; }
  IScanProgressSink* ScanProgress() override { return &sink; }
};

TEST_F(Cmd, AStoppedScanChangesNothing) {
  const std::string src = Path("many");
  std::filesystem::create_directories(src);
  for (int i = 0; i < 30; ++i) {
    std::filesystem::create_directories(src + "/d" + std::to_string(i));
    WriteBytes(src + "/d" + std::to_string(i) + "/f.txt", "x");
  }
  StoppingView stopping;
  CQuolvaneDoc d(settings, ui, &stopping);
  stopping.doc = &d;
  d.scanOptions = [](bool) { return ScanOptions{}; };
  d.list = SampleCatalog();
  d.currentIndex = -1;
  NewMediaFields f;
  f.kind = MediaKinds().Lookup("Dir");
  f.name = "Many";
  f.path = src;
  ui.newMedia = {f};
  d.OnNewMedia();  // the stop question is answered OK
  EXPECT_EQ(d.list.size(), 6u);
  EXPECT_FALSE(d.IsModified());
  EXPECT_EQ(d.ScanInProgress(), nullptr);

  // Refresh stopped: the media and its old subtree and description stay.
  d.list[1]->description = "old log";
  d.list[1]->name = "CD1";
  dynamic_cast<CFileItemMedia*>(d.list[1])->rootPath = src;
  d.currentIndex = 1;
  ui.refresh = {RefreshFields{true, true}};
  d.OnRefresh();
  ASSERT_EQ(d.list.size(), 6u);
  EXPECT_EQ(d.list[1]->description, "old log");
  EXPECT_EQ(d.list[2]->name, "readme.txt");
}

TEST_F(Cmd, RefreshReplacesTheSubtree) {
  const std::string src = Path("disc");
  std::filesystem::create_directories(src);
  WriteBytes(src + "/new.txt", "new");
  doc->list = SampleCatalog();
  auto* media = dynamic_cast<CFileItemMedia*>(doc->list[1]);
  media->rootPath = src;
  media->volumeLabel = "LABEL";
  media->description = "old";

  doc->currentIndex = 1;
  doc->OnRefresh();  // Cancel in the dialog
  EXPECT_EQ(doc->list.size(), 6u);

  // A folder selected: the dialog shows, nothing else happens.
  doc->currentIndex = 0;
  ui.refresh = {RefreshFields{}};
  doc->OnRefresh();
  EXPECT_EQ(doc->list.size(), 6u);

  doc->currentIndex = 1;
  ui.refresh = {RefreshFields{true, false}};
  doc->OnRefresh();
  ASSERT_EQ(doc->list.size(), 4u);
  EXPECT_EQ(doc->list[1], media);  // the same media item, its fields kept
  EXPECT_EQ(media->volumeLabel, "LABEL");
  EXPECT_EQ(media->description, "");  // the scan's (empty) log
  EXPECT_EQ(doc->list[2]->name, "new.txt");
  EXPECT_EQ(doc->list[2]->level, 2);
  EXPECT_EQ(doc->list[3]->name, "Empty");
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(view.status.back(), "Deleting previous content...");

  // The medium is gone: after the media prompt is given up, the question.
  std::filesystem::remove_all(src);
  ui.refresh = {RefreshFields{true, false}};
  ui.answers = {IDCANCEL, IDCANCEL};
  doc->OnRefresh();
  ASSERT_GE(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes.back().text,
            "Warning :\nThe media you want to refresh is not ther original one.\nDo you still want to continue ?");
  EXPECT_EQ(doc->list.size(), 4u);
}

TEST_F(Cmd, DeleteAsksForMediaDirectoriesAndFoldersWithMedia) {
  doc->list = SampleCatalog();
  doc->SetModifiedFlag(false);
  // Empty folder: no question.
  doc->currentIndex = 5;
  doc->OnDelete();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(doc->list.size(), 5u);
  EXPECT_TRUE(doc->IsModified());

  // A file: no question.
  doc->currentIndex = 2;
  doc->OnDelete();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(doc->list.size(), 4u);
  // The index stays: the rebuild selects what now stands there (tools).
  EXPECT_EQ(doc->currentIndex, 2);

  // A folder holding a media: asked, Cancel keeps it.
  doc->currentIndex = 0;
  ui.answers = {IDCANCEL};
  doc->OnDelete();
  EXPECT_EQ(ui.boxes.back().text, "The folder Discs contains medias.\nDo you want to delete it ?");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(doc->list.size(), 4u);

  // A directory: asked; OK deletes it with its subtree.
  doc->currentIndex = 2;
  doc->OnDelete();
  EXPECT_EQ(ui.boxes.back().text, "Do you really want to delete tools ?");
  EXPECT_EQ(doc->list.size(), 2u);
  doc->currentIndex = -1;
  doc->OnDelete();  // nothing selected
  EXPECT_EQ(doc->list.size(), 2u);
}

TEST_F(Cmd, RenameOnlyFoldersAndMedia) {
  doc->list = SampleCatalog();
  EXPECT_FALSE(doc->CanRename(-1));
  EXPECT_FALSE(doc->Rename(3, "x"));
  EXPECT_FALSE(doc->IsModified());
  EXPECT_TRUE(doc->Rename(1, "Disc one"));
  EXPECT_EQ(doc->list[1]->name, "Disc one");
  EXPECT_TRUE(doc->IsModified());
}

TEST_F(Cmd, ApplicationCommands) {
  doc->list = SampleCatalog();
  doc->list[3]->attributes = ATTR_ARCHIVE | ATTR_READONLY;
  doc->list[3]->size = 77;

  // New on a directory.
  doc->currentIndex = 3;
  ui.application = {ApplicationFields{"My Tool\r\nVersion 2", "setup.exe"}};
  doc->OnApplicationNew();
  auto* app = dynamic_cast<CFileItemAppli*>(doc->list[3]);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->installProgram, "setup.exe");
  EXPECT_EQ(app->name, "tools");
  EXPECT_EQ(app->level, 2);
  EXPECT_EQ(app->appSize, 0u);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_EQ(doc->TargetApplication(), 3);

  // Edit starts from the stored fields; Cancel changes nothing.
  doc->OnApplicationEdit();
  EXPECT_EQ(ui.applicationRequests.back().installProgram, "setup.exe");
  EXPECT_EQ(app->description, "My Tool\r\nVersion 2");
  ui.application = {ApplicationFields{"Other", "install.exe"}};
  doc->OnApplicationEdit();
  EXPECT_EQ(app->installProgram, "install.exe");

  doc->OnApplicationDescription();
  ASSERT_EQ(ui.descriptions.size(), 1u);
  EXPECT_EQ(ui.descriptions[0].first, "Other");

  // Applications mode: the target is the list's selected row.
  doc->OnViewApplications();
  EXPECT_EQ(doc->showFiles, 0);
  EXPECT_EQ(doc->TargetApplication(), -1);
  doc->listSelection = 3;
  EXPECT_EQ(doc->TargetApplication(), 3);

  // Delete: asked with the title; the directory keeps its attributes.
  ui.answers = {IDCANCEL};
  doc->OnApplicationDelete();
  EXPECT_EQ(ui.boxes.back().text, "Are you sure that you want to delete the application\n\tOther");
  EXPECT_EQ(ui.boxes.back().caption, "Delete the application");
  EXPECT_EQ(ui.boxes.back().flags, unsigned(MB_OKCANCEL | MB_ICONERROR));
  EXPECT_TRUE(doc->list[3]->IsApplication());
  doc->OnApplicationDelete();
  const CFileItem& dir = *doc->list[3];
  EXPECT_FALSE(dir.IsApplication());
  EXPECT_EQ(dir.type, ITEM_DIRECTORY);
  EXPECT_EQ(dir.attributes, ATTR_ARCHIVE | ATTR_READONLY);
  EXPECT_EQ(dir.size, 77u);
  EXPECT_EQ(dir.name, "tools");
  EXPECT_EQ(dir.description, "");
  EXPECT_EQ(doc->list.containerIndex.size(), 4u);

  // New on a file does nothing.
  doc->OnViewFiles();
  doc->currentIndex = 2;
  doc->OnApplicationNew();
  EXPECT_EQ(ui.applicationRequests.size(), 3u);
}

// Drives the search dialog: finds, selects a row, deletes its application,
// goes to it.
struct SearchingUi : ScriptedUi {
  CQuolvaneDoc* doc = nullptr;
  std::optional<size_t> SearchDialog(CSearchSession& session) override {
    SearchRequest r = session.InitialRequest();
    r.text = "tool*";
    r.caseSensitive = false;
    r.kind = SEARCH_DIRECTORY_NAME;
    if (!session.Find(r, *this)) return std::nullopt;
    session.selectedRow = 0;
    // The row's menu holds the application commands; its Delete acts on the row.
    for (const MenuEntry& entry : session.RowMenu()) menu.push_back(entry.command);
    session.runCommand(CMD_APPLI_DELETE);
    rowsAfterDelete = session.Results().size();
    return session.Results().empty() ? std::optional<size_t>(1) : session.GoTo();
  }
  size_t rowsAfterDelete = 99;
  std::vector<int> menu;
};

TEST_F(Cmd, SearchActsOnTheSelectedResult) {
  SearchingUi sui;
  CQuolvaneDoc d(settings, sui, &view);
  sui.doc = &d;
  d.list = SampleCatalog();
  auto app = std::make_unique<CFileItemAppli>(*d.list[3]);
  app->description = "A tool";
  d.list.Replace(3, std::move(app));
  d.currentIndex = 1;
  EXPECT_EQ(d.OnSearch(), std::optional<size_t>(1));
  EXPECT_EQ(sui.menu, (std::vector<int>{CMD_APPLI_DESCR, CMD_APPLI_EDIT, CMD_APPLI_DELETE}));
  EXPECT_EQ(sui.rowsAfterDelete, 0u);
  EXPECT_FALSE(d.list[3]->IsApplication());
  EXPECT_EQ(d.searchActive, 0);
  EXPECT_EQ(view.shown, (std::vector<size_t>{1}));
  EXPECT_EQ(settings.searchHistory.ComboEntries().front(), "tool*");
}

TEST_F(Cmd, ViewModesAndFilters) {
  doc->list = SampleCatalog();
  settings.filters = CFilterState();
  settings.filters.filters = DefaultFilters();
  EXPECT_FALSE(doc->CanInvertFilter());
  doc->OnInvertFilter();
  EXPECT_FALSE(settings.filters.subtreeFlag);
  const int before = view.refreshes;
  doc->OnFilterComboChoice(kTypedPattern, "*.exe");
  EXPECT_EQ(view.refreshes, before + 1);
  EXPECT_TRUE(doc->CanInvertFilter());
  doc->OnInvertFilter();
  EXPECT_TRUE(settings.filters.subtreeFlag);
  EXPECT_EQ(FileListItems(doc->list, 1, settings.filters), (std::vector<size_t>{4}));
  doc->OnFilterComboChoice(kTypedPattern, "*.exe");  // unchanged: no refill
  EXPECT_EQ(view.refreshes, before + 2);
  doc->OnViewApplications();
  doc->OnViewFiles();
  EXPECT_EQ(view.listModes, 2);
}

TEST_F(Cmd, PrintStartsFromTheTreeNodeInTheListMode) {
  doc->list = SampleCatalog();
  doc->currentIndex = 1;
  EXPECT_FALSE(doc->OnFilePrint());  // Cancel
  PrintFields f;
  ui.print.push_back(f);
  auto job = doc->OnFilePrint();
  ASSERT_TRUE(job);
  EXPECT_EQ(job->items, (std::vector<size_t>{2}));
  doc->OnViewApplications();
  doc->currentIndex = -1;
  f.content = PrintContent::Tree;
  ui.print.push_back(f);
  job = doc->OnFilePrint();
  EXPECT_EQ(job->startIndex, 0u);
  EXPECT_EQ(job->items, (std::vector<size_t>{1, 3}));
}

TEST_F(Cmd, ItemListLines) {
  doc->list = SampleCatalog();
  doc->OnItemList();
  ASSERT_EQ(ui.itemList.size(), 6u);
  EXPECT_EQ(ui.itemList[0], "0\tRoot\t0\tDiscs");
  EXPECT_EQ(ui.itemList[1], "1\tMedia\t1\tCD1");
  EXPECT_EQ(ui.itemList[4], "4\tFile\t3\ttool.exe");
}

}  // namespace
