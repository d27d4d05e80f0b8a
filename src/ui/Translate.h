// The window and menu walks: every text of a widget tree that begins with
// "$$" is a message key and is replaced by its translation. Dialogs call
// TranslateWindow once, after their layout is loaded.
#pragma once

#include <QString>
#include <string>

class QWidget;
class QMenu;
class QMenuBar;

// The translation of a "$$" key (or of any message key) as a QString.
QString Tr(const char* key);
QString Tr(const std::string& key);
// A text that begins with "$$" becomes its translation (the key itself when
// the table lacks it); any other stays. The window and menu walks instead
// leave a missing "$$" key's text empty, but for tab labels.
QString TranslateText(const QString& text);
void TranslateWindow(QWidget* window);
void TranslateMenu(QMenu* menu);
void TranslateMenu(QMenuBar* bar);
