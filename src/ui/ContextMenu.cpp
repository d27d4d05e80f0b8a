#include "ui/ContextMenu.h"

#include <QMenu>

#include "ui/Translate.h"

int RunContextMenu(QWidget* owner, const std::vector<MenuEntry>& entries, const QPoint& globalPos) {
  QMenu menu(owner);
  for (const MenuEntry& entry : entries) {
    if (entry.command == CMD_NONE) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(Tr(entry.key));
    action->setEnabled(entry.enabled);
    action->setData(entry.command);
  }
  QAction* chosen = menu.exec(globalPos);
  return chosen ? chosen->data().toInt() : CMD_NONE;
}
