// Dialogs and message boxes reach the core through this port; the GUI, the
// CLI and scripted test fakes implement it.
#pragma once

#include <optional>
#include <string>

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

class IUiPort {
 public:
  virtual ~IUiPort() = default;
  // Shows a message box; returns IDOK, IDCANCEL, IDYES or IDNO.
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // The folder browser; nothing when the user cancels.
  virtual std::optional<std::string> ChooseFolder(const std::string& title) { return std::nullopt; }
};
