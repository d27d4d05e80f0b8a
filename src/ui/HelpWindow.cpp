#include "ui/HelpWindow.h"

#include <QAbstractButton>
#include <QDialog>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "i18n/Translator.h"
#include "ports/Paths.h"
#include "ui/Translate.h"

namespace {

QPointer<QWidget> g_window;
QPointer<QTextBrowser> g_browser;

}  // namespace

QTextBrowser* HelpBrowser() { return g_browser.data(); }

void ShowHelpPage(QWidget* owner, const std::string& page) {
  const bool french = Translator().current == LANG_FRENCH;
  std::string path = HelpPagePath(page, french);
  if (path.empty()) path = HelpPagePath("index.html", french);
  // A window owned by a modal dialog stays usable while the dialog is open;
  // one owned by another window would be blocked, so it is made again.
  if (g_window && g_window->parentWidget() != owner) g_window->close();
  if (!g_window) {
    auto* window = new QWidget(owner, Qt::Window);
    window->setObjectName(QStringLiteral("HelpWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browser = new QTextBrowser;
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    window->resize(640, 520);
    QObject::connect(browser, &QTextBrowser::sourceChanged, window,
                     [window, browser] { window->setWindowTitle(browser->documentTitle() + QStringLiteral(" - Quolvane")); });
    g_window = window;
    g_browser = browser;
  }
  if (path.empty()) {
    g_browser->setHtml(QStringLiteral("<p>%1</p>")
                           .arg(QString::fromStdString(BilingualText("The user guide is not installed.",
                                                                     "Le guide de l'utilisateur n'est pas installé."))));
    g_window->setWindowTitle(QStringLiteral("Quolvane"));
  } else {
    g_browser->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
  }
  g_window->show();
  g_window->raise();
  g_window->activateWindow();
}

void InstallHelpPage(QDialog* dialog, const std::string& page, QAbstractButton* button) {
  auto open = [dialog, page] { ShowHelpPage(dialog, page); };
  auto* f1 = new QShortcut(QKeySequence::HelpContents, dialog);
  f1->setContext(Qt::WindowShortcut);
  QObject::connect(f1, &QShortcut::activated, dialog, open);
  if (!button) return;
  // The message tables have no key for a Help button.
  button->setText(QString::fromStdString(BilingualText("&Help", "&Aide")));
  QObject::connect(button, &QAbstractButton::clicked, dialog, open);
}

void InstallHelp(QDialog* dialog, int dialogTemplate, QAbstractButton* button) {
  InstallHelpPage(dialog, HelpPageOf(HelpContextOf(dialogTemplate)), button);
}
