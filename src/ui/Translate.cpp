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

void TranslateActions(const QList<QAction*>& actions) {
  for (QAction* action : actions) {
    action->setText(TranslateText(action->text()));
    if (QMenu* sub = action->menu()) TranslateMenu(sub);
  }
}

void TranslateOne(QWidget* w) {
  w->setWindowTitle(TranslateText(w->windowTitle()));
  if (auto* label = qobject_cast<QLabel*>(w)) label->setText(TranslateText(label->text()));
  if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(TranslateText(button->text()));
  if (auto* group = qobject_cast<QGroupBox*>(w)) group->setTitle(TranslateText(group->title()));
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setPlaceholderText(TranslateText(edit->placeholderText()));
  if (auto* tabs = qobject_cast<QTabWidget*>(w))
    for (int i = 0; i < tabs->count(); ++i) tabs->setTabText(i, TranslateText(tabs->tabText(i)));
  if (auto* combo = qobject_cast<QComboBox*>(w))
    for (int i = 0; i < combo->count(); ++i) combo->setItemText(i, TranslateText(combo->itemText(i)));
  if (auto* bar = qobject_cast<QMenuBar*>(w)) TranslateMenu(bar);
  if (auto* tree = qobject_cast<QTreeWidget*>(w))
    for (int c = 0; c < tree->columnCount(); ++c)
      tree->headerItem()->setText(c, TranslateText(tree->headerItem()->text(c)));
  if (auto* table = qobject_cast<QTableWidget*>(w))
    for (int c = 0; c < table->columnCount(); ++c)
      if (QTableWidgetItem* heading = table->horizontalHeaderItem(c)) heading->setText(TranslateText(heading->text()));
  // A screen reader speaks the name: no access-key marks in it.
  if (!w->accessibleName().isEmpty()) w->setAccessibleName(TranslateText(w->accessibleName()).remove(QLatin1Char('&')));
  if (!w->toolTip().isEmpty()) w->setToolTip(TranslateText(w->toolTip()));
}

}  // namespace

void TranslateMenu(QMenu* menu) {
  menu->setTitle(TranslateText(menu->title()));
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
