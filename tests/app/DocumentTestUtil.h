// Shared pieces of the document tests: a fresh temporary directory, small
// catalogs, and a document wired to a scripted UI.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/Document.h"
#include "app/Settings.h"
#include "catalog/CatalogStream.h"
#include "catalog/FileItem.h"
#include "i18n/Translator.h"
#include "query/ScriptedUi.h"

namespace doctest {

inline std::string FreshDir(const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("qv-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

inline void AddItem(CFileItemList& list, uint8_t type, const std::string& name, int16_t level, uint32_t size = 0) {
  auto item = std::make_unique<CFileItem>(type, name, size, 1000000000, level, 0);
  list.items.push_back(std::move(item));
}

inline void AddMedia(CFileItemList& list, const std::string& name, int16_t level, const std::string& root = "/") {
  auto media = std::make_unique<CFileItemMediaDir>();
  media->name = name;
  media->level = level;
  media->rootPath = root;
  list.items.push_back(std::move(media));
}

// Folder "Discs" holding media "CD1" (a file and a directory) and an empty folder.
inline CFileItemList SampleCatalog() {
  CFileItemList list;
  AddItem(list, ITEM_FOLDER, "Discs", 0);           // 0
  AddMedia(list, "CD1", 1);                          // 1
  AddItem(list, ITEM_FILE, "readme.txt", 2, 100);    // 2
  AddItem(list, ITEM_DIRECTORY, "tools", 2);         // 3
  AddItem(list, ITEM_FILE, "tool.exe", 3, 5000);     // 4
  AddItem(list, ITEM_FOLDER, "Empty", 0);            // 5
  list.RebuildContainerIndex();
  return list;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Records what the document asks of the panes.
struct RecordingView : IDocumentView {
  int refreshes = 0;
  std::vector<size_t> shown;
  std::vector<std::string> status;
  std::vector<std::string> selectionStatus;
  int listModes = 0;
  void RefreshPanes() override { ++refreshes; }
  void ShowItem(size_t index) override { shown.push_back(index); }
  void SetStatusText(const std::string& text) override { status.push_back(text); }
  void SetSelectionText(const std::string& text) override { selectionStatus.push_back(text); }
  void ShowListMode(bool) override { ++listModes; }
};

class DocFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Translator().languages.clear();
    InitTranslator("", 1033L);
    MediaKinds().Clear();
    RegisterDefaultMediaKinds();
    dir = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    doc = std::make_unique<CQuolvaneDoc>(settings, ui, &view);
    doc->clock = [] { return 1234567890u; };
    // No describers, no archive listing: the scans only walk.
    doc->scanOptions = [](bool uncompress) {
      ScanOptions o;
      o.uncompress = uncompress;
      return o;
    };
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // Saves list as a catalog file at name and returns its path.
  std::string SaveFile(const std::string& name, CFileItemList list) {
    const std::string path = Path(name);
    SaveCatalogFile(list, path);
    return path;
  }

  CAppSettings settings;
  ScriptedUi ui;
  RecordingView view;
  std::unique_ptr<CQuolvaneDoc> doc;
  std::string dir;
};

}  // namespace doctest
