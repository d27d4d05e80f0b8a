// The program's command line and its start-up and exit around the window.
#pragma once

#include <string>

struct StartOptions {
  std::string settingsFile;  // --settings
  std::string catalog;       // the catalog to open
  bool help = false;
  bool version = false;
};

// False with a message for an unknown option or a missing value.
bool ParseStartOptions(int argc, char** argv, StartOptions& options, std::string& error);
std::string StartUsage();
// True when a window can be shown (a display, or a Qt platform chosen by name).
bool HasDisplay();
// Start-up, the window's event loop and exit; the program's exit status.
int RunQuolvane(const StartOptions& options);
