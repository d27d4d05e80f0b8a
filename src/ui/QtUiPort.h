// The desktop's answer to the core's dialogs and message boxes.
#pragma once

#include <QString>

#include "ports/UiPort.h"

class QWidget;
class CFileTypeCache;

class QtUiPort : public IUiPort {
 public:
  explicit QtUiPort(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  QWidget* Owner() const { return owner_; }
  // The main window's file-type cache: the search results' type names come
  // from the lookup the file list uses.
  void SetFileTypes(CFileTypeCache* types) { types_ = types; }

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  std::optional<std::string> FileDialog(const FileDialogFields& fields) override;
  std::optional<NewMediaFields> NewMediaDialog(const NewMediaFields& initial) override;
  std::optional<std::string> NewFolderDialog(const std::string& initialName) override;
  std::optional<RefreshFields> RefreshDialog(const RefreshFields& initial) override;
  std::optional<ApplicationFields> ApplicationDialog(const ApplicationFields& initial) override;
  void DescriptionDialog(const std::string& title, const std::string& description) override;
  std::optional<std::string> NewExtensionDialog() override;
  bool MediaListDialog(std::vector<MediaTypeEntry>& types) override;
  void ItemListDialog(const std::vector<std::string>& lines) override;
  std::optional<size_t> SearchDialog(CSearchSession& session) override;
  bool FilterListDialog(CFilterListEditor& editor) override;
  std::optional<Filter> FilterDialog(const Filter& initial) override;
  std::optional<PrintFields> PrintDialog(const PrintFields& initial) override;

 private:
  QWidget* owner_;
  CFileTypeCache* types_ = nullptr;
};

// The Qt file dialog filter of a NUL-separated Windows filter
// ("Catalogs (*.QVD)\0*.QVD\0All\0*.*\0\0" -> "Catalogs (*.QVD *.qvd);;All (*)").
QString QtFileFilter(const std::string& windowsFilter);
