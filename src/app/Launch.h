// Document commands acting on the real files of a catalogued medium: open or
// run an item, start an application's installation program, show a file in
// the text viewer. Callers make sure the medium is present first
// (ChangeMediaPrompt).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CFileItemList;
class IUiPort;

// Opens item index with the desktop's handler (install false), or starts
// the installation program of an application (install true). Members of
// archives are extracted to the temporary work directory first; a ZIP
// application is extracted whole, its program started from there, and the
// directory emptied after the user confirms the end of the installation.
// True when the file was handed over or there was nothing to run; false on
// a failure (IDS_CANNOTOPENFILE shown) or a failed extraction (silent).
bool ExecuteItem(const CFileItemList& list, size_t index, bool install, IUiPort& ui);

// Shows a File or Compressed file item in the text viewer; false when the
// viewer could not be started (IDS_CANNOTOPENFILE shown) or an archive
// member could not be extracted.
bool OpenInNotepad(const CFileItemList& list, size_t index, IUiPort& ui);

// The text viewer's command (program and leading arguments) for a file:
// $QUOLVANE_TEXT_VIEWER when set, else the desktop's default application for
// text/plain (mimeapps.list and its .desktop entry); empty when there is none.
std::vector<std::string> TextViewerCommand(const std::string& file);
// The argument list of a .desktop entry's Exec line for one file: quoting
// undone, %f %F %u %U replaced by the file (appended when absent), other
// field codes dropped.
std::vector<std::string> DesktopExecArguments(const std::string& exec, const std::string& file);
