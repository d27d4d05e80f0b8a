// Where the program finds its files.
#pragma once

#include <string>

// Directory holding the running program (from /proc/self/exe), with no
// trailing "/"; empty when it cannot be found.
std::string ProgramDirectory();
// The data directory of a program installed in programDir: "share/quolvane"
// beside the "bin" directory, so an installation works under any prefix.
std::string InstalledDataDirectory(const std::string& programDir);
// The directory of the language files shipped with the program ("lang" in
// the data directories); empty when there is none.
std::string LanguageFilesDirectory();
// The settings file: --settings, else $QUOLVANE_SETTINGS, else
// $XDG_CONFIG_HOME/Quolvane/Quolvane.ini (XDG_CONFIG_HOME defaulting to ~/.config).
// cliOverride is the --settings value (empty when not given).
std::string SettingsFilePath(const std::string& cliOverride = std::string());
// The applications dictionary: beside the program, else in its installed
// data directory (InstalledDataDirectory), else, for a program of the build
// tree only, in the source tree's data directory; the path beside the
// program when none exists.
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
