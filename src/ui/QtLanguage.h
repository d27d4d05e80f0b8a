// Qt's own windows (file and folder choosers, print and page set-up
// dialogs, print preview, message box buttons) and the desktop's MIME type
// names in the language the settings chose, not only the system's.
#pragma once

#include <QString>

// Installs Qt's translations (qtbase) for the current message table's
// language and makes that language the default locale. French and English
// are the built-in tables; a language file, or no table, follows the
// system's locale. Again after a change of language, it replaces what it
// installed before. Returns the locale name used ("fr_FR", "en_US", ...).
QString InstallQtLanguage();
