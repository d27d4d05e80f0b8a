// A UI port for tests: message boxes are recorded and answered from a
// queue; each dialog answers from its own queue (empty queue = Cancel).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ports/UiPort.h"
#include "query/Filters.h"

class ScriptedUi : public IUiPort {
 public:
  struct Box {
    std::string text, caption;
    unsigned flags;
  };
  std::vector<Box> boxes;
  std::deque<int> answers;  // IDOK when empty

  std::deque<std::optional<NewMediaFields>> newMedia;
  std::deque<std::optional<std::string>> newFolder;
  std::deque<std::optional<RefreshFields>> refresh;
  std::deque<std::optional<ApplicationFields>> application;
  std::deque<std::optional<std::string>> files;
  std::deque<std::optional<Filter>> filterDialogs;
  std::deque<std::optional<std::string>> extensions;
  std::deque<std::optional<PrintFields>> print;
  std::vector<FileDialogFields> fileRequests;
  std::vector<NewMediaFields> newMediaRequests;
  std::vector<ApplicationFields> applicationRequests;
  std::vector<std::pair<std::string, std::string>> descriptions;
  std::vector<std::string> itemList;
  int newFolderCalls = 0;

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    boxes.push_back({text, caption, flags});
    return Pop(answers, static_cast<int>(IDOK));
  }
  std::optional<NewMediaFields> NewMediaDialog(const NewMediaFields& initial) override {
    newMediaRequests.push_back(initial);
    return PopDialog(newMedia);
  }
  std::optional<std::string> NewFolderDialog(const std::string&) override {
    ++newFolderCalls;
    return PopDialog(newFolder);
  }
  std::optional<RefreshFields> RefreshDialog(const RefreshFields&) override { return PopDialog(refresh); }
  std::optional<ApplicationFields> ApplicationDialog(const ApplicationFields& initial) override {
    applicationRequests.push_back(initial);
    return PopDialog(application);
  }
  void DescriptionDialog(const std::string& title, const std::string& description) override {
    descriptions.emplace_back(title, description);
  }
  std::optional<std::string> FileDialog(const FileDialogFields& fields) override {
    fileRequests.push_back(fields);
    return PopDialog(files);
  }
  void ItemListDialog(const std::vector<std::string>& lines) override { itemList = lines; }
  std::optional<Filter> FilterDialog(const Filter&) override { return PopDialog(filterDialogs); }
  std::optional<std::string> NewExtensionDialog() override { return PopDialog(extensions); }
  std::optional<PrintFields> PrintDialog(const PrintFields&) override { return PopDialog(print); }

 private:
  template <typename T>
  static T Pop(std::deque<T>& q, T otherwise) {
    if (q.empty()) return otherwise;
    T v = std::move(q.front());
    q.pop_front();
    return v;
  }
  template <typename T>
  static std::optional<T> PopDialog(std::deque<std::optional<T>>& q) {
    return Pop(q, std::optional<T>());
  }
};
