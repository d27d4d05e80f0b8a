// The program's command line and its start-up and exit around the window.
#pragma once

#include <string>

#include "ports/UiPort.h"

struct StartOptions {
  std::string settingsFile;  // --settings
  std::string catalog;       // the catalog to open
  // --print-pdf OUT.pdf: the catalog's print job into a PDF, no window.
  std::string printPdf;
  long printFrom = -1;  // --from
  PrintFields print;    // --files|--tree|--applications, --no-size, --no-date, --no-attributes
  std::string pageSize = "A4";  // --page-size A4|Letter
  bool help = false;
  bool version = false;
};

// False with a message for an unknown option or a missing value.
bool ParseStartOptions(int argc, char** argv, StartOptions& options, std::string& error);
std::string StartUsage();
// True when a window can be shown (a display, or a Qt platform chosen by name).
bool HasDisplay();
// --print-pdf: prints options.catalog into options.printPdf; the exit
// status (0, or 1 with a message on stderr).
int PrintCatalogToPdf(const StartOptions& options);
// Start-up, the window's event loop and exit; the program's exit status.
int RunQuolvane(const StartOptions& options);
