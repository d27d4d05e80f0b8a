// The application object: start-up, the process-wide settings and the one
// document, and the settings write at exit. The GUI builds its frame around
// it; the command line uses it for commands that act like the program.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/Document.h"
#include "app/Settings.h"

class IUiPort;
class IDocumentView;

class CQuolvaneApp {
 public:
  CAppSettings settings;
  std::unique_ptr<CQuolvaneDoc> document;
  bool applicationsLoaded = false;  // false: Applis.dat could not be read, built-in rules only
  // Called once the settings have chosen the language, before the document
  // opens anything (the desktop puts its toolkit in that language).
  std::function<void()> onLanguageChosen;

  // Start-up in order: settings (translator and language, temporary
  // directory, "Config", search history, media kinds and types, filters),
  // the applications dictionary, the document, then the command line: a
  // named catalog is opened; otherwise the last catalog is reopened when the
  // settings ask for it. Returns whether the program goes on.
  bool InitInstance(const std::string& settingsPath, const std::string& commandLineCatalog, IUiPort& ui,
                    IDocumentView* view = nullptr);
  // Settings read alone (what InitInstance does before the document).
  void ReadSettings(const std::string& settingsPath);
  // Exit, after the frame's save question: writes the settings back
  // ("VarnFile" only when the document is not modified) and removes the
  // temporary work directory. False with *error when the settings file
  // could not be written.
  bool ExitInstance(std::string* error = nullptr);
  // "$$&Reload Applis.dat": the dictionary again from its file, the
  // built-in rules when it cannot be read.
  bool ReloadApplisDat();
};
