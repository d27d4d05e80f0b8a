// "$$Config": the settings sheet (command 4000) with its pages "$$Launch",
// "$$Media analysis" and "$$Descriptions", over app/ConfigSheet.h.
#pragma once

struct CAppSettings;
class CConfigSheet;
class IUiPort;
class QDialog;
class QWidget;

// Runs the sheet modally over settings; whatever button closed it, the pages'
// values go back and "Language" / "LangFile" are written at once. True on OK.
bool RunConfigSheet(QWidget* owner, IUiPort& ui, CAppSettings& settings);
// The sheet's window over a sheet model, for tests and screenshots: the
// caller runs it; its OK and Cancel hand the pages over (see TakeOverPage).
QDialog* MakeConfigSheetWindow(QWidget* owner, IUiPort& ui, CConfigSheet& sheet);
