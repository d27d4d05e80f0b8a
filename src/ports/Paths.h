// Where the program finds its files.
#pragma once

#include <string>

// Directory holding the running program (from /proc/self/exe), with no
// trailing "/"; empty when it cannot be found.
std::string ProgramDirectory();
// The settings file: --settings, else $QUOLVANE_SETTINGS, else
// $XDG_CONFIG_HOME/Quolvane/Quolvane.ini (XDG_CONFIG_HOME defaulting to ~/.config).
// cliOverride is the --settings value (empty when not given).
std::string SettingsFilePath(const std::string& cliOverride = std::string());
// The applications dictionary: beside the program, else in the installed
// data directory, else in the source tree's data directory; the path beside
// the program when none exists.
std::string ApplisDatPath();
// The help file ("Quolvane.chm"), looked up like Applis.dat; empty when there is none.
std::string HelpFilePath();
// Help context of a dialog template number (1..11), 0 for none.
int HelpContextOf(int dialogTemplate);
// The user guide's page of a help context (HelpContextOf), "index.html" for 0
// or an unknown context.
std::string HelpPageOf(int context);
// A page of the HTML user guide (help/en or help/fr), looked up like
// Applis.dat; empty when the guide is not installed.
std::string HelpPagePath(const std::string& page, bool french);
