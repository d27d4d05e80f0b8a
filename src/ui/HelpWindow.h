// The user guide in a window of the program (a QTextBrowser over the HTML
// pages of data/help), in the user-interface language.
#pragma once

#include <string>

class QAbstractButton;
class QDialog;
class QTextBrowser;
class QWidget;

// Opens (or brings back) the help window on a page of the guide.
void ShowHelpPage(QWidget* owner, const std::string& page);
// "$$&Help index": the guide's index page.
inline void ShowHelpIndex(QWidget* owner) { ShowHelpPage(owner, "index.html"); }
// F1 in the dialog, and its Help button when given, open the page of the
// dialog's help context (by its template number), or the page named.
void InstallHelp(QDialog* dialog, int dialogTemplate, QAbstractButton* button = nullptr);
void InstallHelpPage(QDialog* dialog, const std::string& page, QAbstractButton* button = nullptr);
// The open help window's browser, null when none is open.
QTextBrowser* HelpBrowser();
