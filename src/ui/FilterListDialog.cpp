#include <QPushButton>

#include "query/FilterEditing.h"
#include "ui/DialogSupport.h"
#include "ui/FilterDialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_FilterListDialog.h"

namespace {
constexpr int kFilterListTemplate = 140;
}

bool RunFilterListDialog(QWidget* owner, CFilterListEditor& editor) {
  QDialog dialog(owner);
  Ui::FilterListDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, kFilterListTemplate, form.help);
  // Refilled after each change; the selection stays at its row.
  auto refill = [&](int row) {
    form.names->clear();
    for (const std::string& name : editor.Names()) form.names->addItem(QString::fromStdString(name));
    if (form.names->count() > 0) form.names->setCurrentRow(std::clamp(row, 0, form.names->count() - 1));
  };
  refill(0);
  auto selected = [&]() -> std::optional<size_t> {
    const int row = form.names->currentRow();
    if (row < 0) return std::nullopt;
    return static_cast<size_t>(row);
  };
  QObject::connect(form.newFilter, &QPushButton::clicked, &dialog, [&] {
    const int row = form.names->currentRow();
    if (editor.New()) refill(row);
  });
  QObject::connect(form.modify, &QPushButton::clicked, &dialog, [&] {
    if (auto index = selected(); index && editor.Modify(*index)) refill(static_cast<int>(*index));
  });
  QObject::connect(form.names, &QListWidget::itemDoubleClicked, form.modify, &QPushButton::click);
  QObject::connect(form.deleteFilter, &QPushButton::clicked, &dialog, [&] {
    if (auto index = selected(); index && editor.Delete(*index)) refill(static_cast<int>(*index));
  });
  ConnectOkCancel(dialog, form);
  return dialog.exec() == QDialog::Accepted;
}
