#include "ui/QtLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <vector>

#include "i18n/Translator.h"

namespace {

// Qt 6 asks the file chooser's kind names under a context its French
// catalog does not hold yet (it has them under the older one).
class FileKindTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* source, const char* = nullptr, int = -1) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    static const char* const pairs[][2] = {{"Folder", "Dossier"}, {"Drive", "Lecteur"},
                                           {"File", "Fichier"},   {"Shortcut", "Raccourci"},
                                           {"%1 File", "Fichier %1"}};
    for (const auto& pair : pairs)
      if (qstrcmp(source, pair[0]) == 0) return QString::fromUtf8(pair[1]);
    return {};
  }
  bool isEmpty() const override { return false; }
};

std::vector<QPointer<QTranslator>>& Installed() {
  static std::vector<QPointer<QTranslator>> installed;
  return installed;
}

}  // namespace

QString InstallQtLanguage() {
  QLocale locale = QLocale::system();
  switch (Translator().current) {
    case LANG_FRENCH: locale = QLocale(QLocale::French, QLocale::France); break;
    case LANG_ENGLISH: locale = QLocale(QLocale::English, QLocale::UnitedStates); break;
    default: break;
  }
  // The MIME database's type names and the choosers' dates follow the default locale.
  QLocale::setDefault(locale);
  for (QPointer<QTranslator>& t : Installed()) {
    if (!t) continue;
    QCoreApplication::removeTranslator(t);
    delete t;
  }
  Installed().clear();
  auto* app = QCoreApplication::instance();
  if (!app) return locale.name();
  // English needs no file: Qt's own texts are English.
  if (locale.language() == QLocale::English) return locale.name();
  const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* translator = new QTranslator(app);
  if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
    QCoreApplication::installTranslator(translator);
    Installed().push_back(translator);
  } else {
    delete translator;
  }
  if (locale.language() == QLocale::French) {
    auto* kinds = new FileKindTranslator(app);
    QCoreApplication::installTranslator(kinds);
    Installed().push_back(kinds);
  }
  return locale.name();
}
