// Context menus of the panes: the entries the core chose, translated.
#pragma once

#include <QPoint>
#include <vector>

#include "query/Panes.h"

class QWidget;

// Shows the menu at a screen position; the chosen command, or CMD_NONE.
int RunContextMenu(QWidget* owner, const std::vector<MenuEntry>& entries, const QPoint& globalPos);
