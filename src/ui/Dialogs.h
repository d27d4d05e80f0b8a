// The document's small dialogs, each laid out in its own .ui file and
// translated by the window walk. Each returns its fields on OK.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports/UiPort.h"

class QWidget;
struct MediaTypeEntry;

std::optional<NewMediaFields> RunNewMediaDialog(QWidget* owner, IUiPort& ui, const NewMediaFields& initial);
// A one-field dialog: "$$New folder" / "$$Folder name", "$$New extension" / "$$Extension".
std::optional<std::string> RunTextFieldDialog(QWidget* owner, const char* captionKey, const char* labelKey,
                                              const std::string& initial);
std::optional<RefreshFields> RunRefreshDialog(QWidget* owner, const RefreshFields& initial);
std::optional<ApplicationFields> RunApplicationDialog(QWidget* owner, const ApplicationFields& initial);
// "$$Description of" (read-only) or "$$File description" (editable): the
// caption is the translated key, one blank and the title.
std::optional<std::string> RunDescriptionDialog(QWidget* owner, const char* captionKey, const std::string& title,
                                                const std::string& text, bool editable);
// "$$Media list" on a copy of types: OK replaces them (true), Cancel leaves them.
bool RunMediaListDialog(QWidget* owner, IUiPort& ui, std::vector<MediaTypeEntry>& types);
// "$$Varn datas": the diagnostic item list as a table (index, type, level, name).
void RunItemListDialog(QWidget* owner, const std::vector<std::string>& lines);
// "$$Printing parameters": what to print (one of three) and which columns.
std::optional<PrintFields> RunPrintParametersDialog(QWidget* owner, const PrintFields& initial);
