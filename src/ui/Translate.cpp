#include "ui/Translate.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidget>

#include "i18n/Translator.h"

QString Tr(const std::string& key) { return QString::fromStdString(Translate(key)); }
QString Tr(const char* key) { return Tr(std::string(key)); }

QString TranslateText(const QString& text) {
  if (!text.startsWith(QLatin1String("$$"))) return text;
  return Tr(text.toStdString());
}

namespace {

// The walks look "$$" keys up without falling back on the key: a language
// file that lacks one leaves the text empty. Only tab labels keep the key.
QString WalkText(const QString& text) {
  if (!text.startsWith(QLatin1String("$$"))) return text;
  return QString::fromStdString(Lookup(text.toStdString()));
}

void TranslateActions(const QList<QAction*>& actions) {
  for (QAction* action : actions) {
    action->setText(WalkText(action->text()));
    if (QMenu* sub = action->menu()) TranslateMenu(sub);
  }
}

void TranslateOne(QWidget* w) {
  w->setWindowTitle(WalkText(w->windowTitle()));
  if (auto* label = qobject_cast<QLabel*>(w)) label->setText(WalkText(label->text()));
  if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(WalkText(button->text()));
  if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(WalkText(group->title()));
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setPlaceholderText(WalkText(edit->placeholderText()));
  if (auto* tabs = qobject_cast<QTabWidget*>(w))
    for (int i = 0; i < tabs->count(); ++i) tabs->setTabText(i, TranslateText(tabs->tabText(i)));
  if (auto* combo = qobject_cast<QComboBox*>(w))
    for (int i = 0; i < combo->count(); ++i) combo->setItemText(i, WalkText(combo->itemText(i)));
  if (auto* bar = qobject_cast<QMenuBar*>(w)) TranslateMenu(bar);
  if (auto* tree = qobject_cast<QTreeWidget*>(w))
    for (int c = 0; c < tree->columnCount(); ++c)
      tree->headerItem()->setText(c, WalkText(tree->headerItem()->text(c)));
  if (auto* table = qobject_cast<QTableWidget*>(w))
    for (int c = 0; c < table->columnCount(); ++c)
      if (QTableWidgetItem* heading = table->horizontalHeaderItem(c)) heading->setText(WalkText(heading->text()));
  // A screen reader speaks the name: no access-key marks in it.
  if (!w->accessibleName().isEmpty()) w->setAccessibleName(WalkText(w->accessibleName()).remove(QLatin1Char('&')));
  if (!w->toolTip().isEmpty()) w->setToolTip(WalkText(w->toolTip()));
}

}  // namespace

void TranslateMenu(QMenu* menu) {
  menu->setTitle(WalkText(menu->title()));
  TranslateActions(menu->actions());
}

void TranslateMenu(QMenuBar* bar) { TranslateActions(bar->actions()); }

void TranslateWindow(QWidget* window) {
  TranslateOne(window);
  for (QWidget* child : window->findChildren<QWidget*>()) {
    // Menus are walked through their actions so that submenus reached from
    // a menu bar are translated once.
    if (qobject_cast<QMenu*>(child)) continue;
    TranslateOne(child);
  }
}
