#include "ui/StartUp.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/Application.h"
#include "describe/ArchiveZip.h"
#include "ports/Paths.h"
#include "ui/MainFrame.h"
#include "ui/QtUiPort.h"

bool ParseStartOptions(int argc, char** argv, StartOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--settings" || arg.rfind("--settings=", 0) == 0) {
      if (arg == "--settings") {
        if (++i >= argc) {
          error = "--settings needs a file";
          return false;
        }
        options.settingsFile = argv[i];
      } else {
        options.settingsFile = arg.substr(11);
      }
    } else if (arg.rfind("-", 0) == 0 && arg.size() > 1 && arg.rfind("-style", 0) != 0 &&
               arg.rfind("-platform", 0) != 0) {
      error = "unknown option '" + arg + "'";
      return false;
    } else if (arg.rfind("-", 0) == 0) {
      ++i;  // a Qt option and its value: Qt reads them itself
    } else if (options.catalog.empty()) {
      options.catalog = arg;
    } else {
      error = "only one catalog can be opened";
      return false;
    }
  }
  return true;
}

std::string StartUsage() {
  return "Usage: quolvane [--settings FILE] [CATALOG.QVD]\n"
         "Catalogues CD-ROMs, DVDs, removable disks and directories.\n\n"
         "  CATALOG.QVD      the catalog to open (else the last one, when the settings ask for it)\n"
         "  --settings FILE  the settings file to use instead of $XDG_CONFIG_HOME/Quolvane/Quolvane.ini\n"
         "  --version        print the version and exit\n"
         "  --help           print this help and exit\n\n"
         "Without a display, use quolvane-cli for the same catalogs.\n";
}

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int RunQuolvane(const StartOptions& options) {
  CQuolvaneApp app;
  QtUiPort ui;
  app.InitInstance(SettingsFilePath(options.settingsFile), options.catalog, ui);
  ZipAccess().SetUiPort(&ui);
  int status = 0;
  {
    CMainFrame frame(app, ui);
    ui.SetOwner(&frame);
    app.document->SetView(&frame);
    frame.RefreshPanes();
    frame.show();
    status = QApplication::exec();
    ZipAccess().SetUiPort(nullptr);
    ui.SetOwner(nullptr);
  }
  std::string error;
  if (!app.ExitInstance(&error)) {
    std::fprintf(stderr, "quolvane: %s\n", error.c_str());
    if (status == 0) status = 1;
  }
  return status;
}
