#include "ui/PropertiesDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/HelpWindow.h"
#include "ui/Translate.h"

void RunPropertiesDialog(QWidget* owner, const std::vector<std::string>& lines) {
  QDialog dialog(owner);
  dialog.setObjectName(QStringLiteral("PropertiesDialog"));
  dialog.setWindowTitle(QStringLiteral("$$Media / folder properties"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* table = new QTreeWidget;
  table->setColumnCount(2);
  table->setHeaderHidden(true);
  table->setRootIsDecorated(false);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setAccessibleName(QStringLiteral("$$Media / folder properties"));
  for (const std::string& line : lines) {
    const QString text = QString::fromStdString(line);
    const int tab = text.indexOf(QLatin1Char('\t'));
    auto* row = new QTreeWidgetItem(table);
    row->setText(0, tab < 0 ? text : text.left(tab));
    if (tab >= 0) row->setText(1, text.mid(tab + 1));
  }
  table->resizeColumnToContents(0);
  table->setColumnWidth(0, std::max(120, table->columnWidth(0) + 12));
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(QStringLiteral("$$Ok"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QPushButton* help = buttons->addButton(QStringLiteral("Help"), QDialogButtonBox::HelpRole);
  InstallHelp(&dialog, 168, help);
  layout->addWidget(buttons);
  TranslateWindow(&dialog);
  dialog.resize(600, 400);
  dialog.exec();
}
