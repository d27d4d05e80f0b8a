#include <QPushButton>

#include "query/FilterEditing.h"
#include "ui/FilterDialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_FilterDialog.h"

namespace {
constexpr int kFilterTemplate = 146;
}

std::optional<Filter> RunFilterDialog(QWidget* owner, IUiPort& ui, const Filter& initial) {
  QDialog dialog(owner);
  Ui::FilterDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, kFilterTemplate, form.help);
  Filter filter = initial;
  form.name->setText(QString::fromStdString(filter.name));
  form.showEmpty->setChecked(filter.showEmptyDirectories != 0);
  auto refill = [&](int row) {
    form.extensions->clear();
    for (const std::string& ext : filter.extensions) form.extensions->addItem(QString::fromStdString(ext));
    if (form.extensions->count() > 0) form.extensions->setCurrentRow(std::clamp(row, 0, form.extensions->count() - 1));
  };
  refill(0);
  QObject::connect(form.newExtension, &QPushButton::clicked, &dialog, [&] {
    if (AddFilterExtension(ui, filter)) refill(static_cast<int>(filter.extensions.size()) - 1);
  });
  QObject::connect(form.deleteExtension, &QPushButton::clicked, &dialog, [&] {
    const int row = form.extensions->currentRow();
    if (row >= 0 && DeleteFilterExtension(ui, filter, static_cast<size_t>(row))) refill(row);
  });
  QObject::connect(form.ok, &QPushButton::clicked, &dialog, [&] {
    if (AcceptFilterName(ui, form.name->text().toStdString())) dialog.accept();
  });
  QObject::connect(form.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  form.name->setFocus();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  filter.name = form.name->text().toStdString();
  filter.showEmptyDirectories = form.showEmpty->isChecked() ? 1 : 0;
  return filter;
}
