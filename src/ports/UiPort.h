// Dialogs and message boxes reach the core through this port; the GUI, the
// CLI and scripted test fakes implement it. It sits at the bottom of the core
// (src/ports) so that every layer may call it: the types of the layers above
// that its dialogs carry are only declared here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CFileItemList;
class CFileItemMedia;
class CSearchSession;
class CFilterListEditor;
struct MediaTypeEntry;
struct Filter;

// Button and icon flags and answers keep the Windows values so that the
// texts and rules written for them read the same here.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Fields of the "$$New media" dialog.
struct NewMediaFields {
  CFileItemMedia* kind = nullptr;  // prototype of the chosen kind (kind registry)
  std::string name;                // "$$Media name"
  std::string path;                // source path
  std::string volumeLabel;
  std::string fileSystem;
  uint32_t serialNumber = 0;
  bool noApplications = false;  // "$$Do not search for applications"
  bool noUncompress = false;    // "$$Do not uncompress files"
};

// The two check boxes of the "$$Refresh" dialog.
struct RefreshFields {
  bool noApplications = false;
  bool noUncompress = false;
};

// The "$$Application" dialog.
struct ApplicationFields {
  std::string description;     // "$$Description", lines separated by CR LF
  std::string installProgram;  // "$$Installation program"
};

// The system's open and save dialogs for catalog files.
struct FileDialogFields {
  bool save = false;
  std::string filter;            // parts separated by NUL characters, ending with an empty part
  int filterIndex = 1;
  std::string initialDirectory;
  std::string fileName;          // initial text of the file name field
  std::string defaultExtension;  // without the dot
  unsigned flags = 0;            // OFN_* below
};
enum : unsigned {
  OFN_OVERWRITEPROMPT = 0x2,
  OFN_HIDEREADONLY = 0x4,
  OFN_PATHMUSTEXIST = 0x800,
  OFN_FILEMUSTEXIST = 0x1000,
};

// The "$$Printing parameters" dialog.
enum class PrintContent { ContainedFiles, Tree, Applications };
struct PrintFields {
  PrintContent content = PrintContent::ContainedFiles;
  bool size = true;
  bool dateTime = true;
  bool attributes = true;
};

class IUiPort {
 public:
  virtual ~IUiPort() = default;
  // Shows a message box; returns IDOK, IDCANCEL, IDYES or IDNO.
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // The folder browser; nothing when the user cancels.
  virtual std::optional<std::string> ChooseFolder(const std::string& title) { return std::nullopt; }

  // Dialogs: each returns the fields on OK and nothing on Cancel. The rules
  // around them (empty-field warnings, what OK changes) are the caller's.
  virtual std::optional<NewMediaFields> NewMediaDialog(const NewMediaFields& initial) { return std::nullopt; }
  // "$$New folder": the "$$Folder name" field.
  virtual std::optional<std::string> NewFolderDialog(const std::string& initialName) { return std::nullopt; }
  virtual std::optional<RefreshFields> RefreshDialog(const RefreshFields& initial) { return std::nullopt; }
  virtual std::optional<ApplicationFields> ApplicationDialog(const ApplicationFields& initial) {
    return std::nullopt;
  }
  // "$$Description of": the application title and its whole description, read-only.
  virtual void DescriptionDialog(const std::string& title, const std::string& description) {}
  // Open or save file dialog; the chosen full path.
  virtual std::optional<std::string> FileDialog(const FileDialogFields& fields) { return std::nullopt; }
  // "$$Varn datas": one line per item (tab-separated columns).
  virtual void ItemListDialog(const std::vector<std::string>& lines) {}
  // "$$Media list": edits the media types in place; true on OK.
  virtual bool MediaListDialog(std::vector<MediaTypeEntry>& types) { return false; }
  // The modal search dialog; its buttons call the session. The item chosen
  // with "$$Go to ...", nothing for "$$Exit".
  virtual std::optional<size_t> SearchDialog(CSearchSession& session) { return std::nullopt; }
  // "$$Filter list": its buttons call the editor; true when it ends with OK.
  virtual bool FilterListDialog(CFilterListEditor& editor) { return false; }
  // "$$Filter": name, "$$Show the empty directories" and the extensions; the
  // dialog's "$$Delete" asks through ConfirmDeleteExtension (query/FilterEditing.h).
  // Filter (query/Filters.h) is only declared here; this default (nothing)
  // is defined with the filter editing, in query/FilterEditing.cpp.
  virtual std::optional<Filter> FilterDialog(const Filter& initial);
  // "$$New extension": the "$$Extension" field.
  virtual std::optional<std::string> NewExtensionDialog() { return std::nullopt; }
  virtual std::optional<PrintFields> PrintDialog(const PrintFields& initial) { return std::nullopt; }
};
