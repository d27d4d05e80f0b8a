// Helpers of the scanning tests: temporary trees, a recording progress sink
// and a scripted UI port.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "ports/UiPort.h"
#include "scan/Scanner.h"
#include "support/TestDir.h"

namespace scantest {

namespace fs = std::filesystem;

struct TempTree {
  fs::path root;
  TempTree() {
    root = testsupport::MakeTestDirectory("qv-scan");
  }
  ~TempTree() {
    // Make everything removable again (tests take permissions away).
    std::system(("chmod -R u+rwx '" + root.string() + "' 2>/dev/null").c_str());
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path File(const std::string& rel, const std::string& content = "x") const {
    fs::path p = root / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }
  fs::path Dir(const std::string& rel) const {
    fs::path p = root / rel;
    fs::create_directories(p);
    return p;
  }
  std::string str() const { return root.string(); }
};

class RecordingSink : public IScanProgressSink {
 public:
  int shows = 0, pumps = 0, closes = 0, counterCalls = 0;
  int folders = -1, files = -1, descriptions = -1;
  std::vector<std::string> paths, logLines;
  std::function<void()> onPump;
  int applications = -1;
  std::vector<int> percents;
  bool applicationMode = false;

  void Show() override { ++shows; }
  void SetCounters(int d, int f, int s) override {
    ++counterCalls;
    folders = d;
    files = f;
    descriptions = s;
  }
  void SetCurrentPath(const std::string& p) override { paths.push_back(p); }
  void LogLineAdded(const std::string& line) override { logLines.push_back(line); }
  void Pump() override {
    ++pumps;
    if (onPump) onPump();
  }
  void BeginApplications() override { applicationMode = true; }
  void SetApplications(int count) override { applications = count; }
  void SetApplicationPercent(int p) override { percents.push_back(p); }
  void Close() override { ++closes; }
};

class ScriptedUi : public IUiPort {
 public:
  std::vector<int> answers;  // consumed in order; IDOK when exhausted
  struct Shown {
    std::string text, caption;
    unsigned flags;
  };
  std::vector<Shown> shown;
  std::function<void()> onMessage;
  std::optional<std::string> folder;
  std::string folderTitle;

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    shown.push_back({text, caption, flags});
    if (onMessage) onMessage();
    if (answers.empty()) return IDOK;
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  std::optional<std::string> ChooseFolder(const std::string& title) override {
    folderTitle = title;
    return folder;
  }
};

// A list holding one Dir media item at level 0, as the New media command builds it.
inline void StartList(CFileItemList& list, const std::string& rootPath) {
  auto media = std::make_unique<CFileItemMediaDir>();
  media->name = "Media";
  media->level = 0;
  media->rootPath = rootPath;
  list.items.push_back(std::move(media));
}

// "level name" per item after the media, for order checks.
inline std::vector<std::string> Outline(const CFileItemList& list) {
  std::vector<std::string> out;
  for (size_t i = 1; i < list.size(); ++i) {
    const CFileItem* it = list[i];
    out.push_back(std::to_string(it->level) + (it->type == ITEM_DIRECTORY ? " D " : " F ") + it->name);
  }
  return out;
}

inline const CFileItem* Find(const CFileItemList& list, const std::string& name) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->name == name) return list[i];
  return nullptr;
}

}  // namespace scantest
