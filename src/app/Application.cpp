#include "app/Application.h"

#include "ports/Paths.h"
#include "ports/TempDir.h"
#include "query/Filters.h"
#include "scan/Applications.h"

void CQuolvaneApp::ReadSettings(const std::string& settingsPath) {
  settings.Read(settingsPath);
  if (onLanguageChosen) onLanguageChosen();
  // The filters' section counts as present only when a line of the file is
  // exactly "[Filters]"; the INI reader is more lenient about the header.
  FilterStorage storage = settings.FilterSection();
  storage.hasSection = [path = settingsPath] { return SettingsFileHasFiltersSection(path); };
  settings.filters = CFilterState();
  settings.filters.Load(storage, settings.config.useLastFilter != 0);
  applicationsLoaded = Applications().Load(ApplisDatPath());
}

bool CQuolvaneApp::ReloadApplisDat() {
  applicationsLoaded = Applications().Load(ApplisDatPath());
  return applicationsLoaded;
}

bool CQuolvaneApp::InitInstance(const std::string& settingsPath, const std::string& commandLineCatalog, IUiPort& ui,
                                IDocumentView* view) {
  ReadSettings(settingsPath);
  document = std::make_unique<CQuolvaneDoc>(settings, ui, view);
  if (!commandLineCatalog.empty()) {
    // A catalog that cannot be opened has been reported; the program still
    // starts, with a new catalog.
    if (!document->FrameworkOpen(commandLineCatalog)) document->OnNewDocument(std::string());
    return true;
  }
  document->OnNewDocument(settings.config.loadLastUsed ? settings.config.varnFile : std::string());
  return true;
}

bool CQuolvaneApp::ExitInstance(std::string* error) {
  bool ok = true;
  if (document) {
    // An untitled catalog names no file: the last one stays remembered.
    const std::string path = document->PathName();
    ok = settings.Write(document->IsModified() || document->IsUntitled() ? nullptr : &path, error);
    document.reset();
  } else {
    ok = settings.Write(nullptr, error);
  }
  RemoveTempWorkDirectory();
  return ok;
}
