#include <QPushButton>

#include "catalog/FileItem.h"
#include "scan/MediaTypes.h"
#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_NewMediaDialog.h"

std::optional<NewMediaFields> RunNewMediaDialog(QWidget* owner, IUiPort& ui, const NewMediaFields& initial) {
  QDialog dialog(owner);
  Ui::NewMediaDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, 197);
  const MediaTypeList& types = MediaTypes();
  for (const MediaTypeEntry& entry : types) {
    auto* row = new QTreeWidgetItem(form.types);
    row->setText(0, QString::fromStdString(entry.path));
    row->setText(1, QString::fromStdString(entry.name));
    row->setText(2, entry.kind ? Tr(entry.kind->GetKindName()) : QString());
  }
  form.types->resizeColumnToContents(0);
  form.types->resizeColumnToContents(1);
  form.noApplications->setChecked(initial.noApplications);
  form.noUncompress->setChecked(initial.noUncompress);

  NewMediaFields fields = initial;
  auto showVolume = [&] {
    QString text = QString::fromStdString(fields.path);
    if (!fields.volumeLabel.empty() || !fields.fileSystem.empty())
      text += QStringLiteral("   [%1, %2, %3]")
                  .arg(QString::fromStdString(fields.volumeLabel), QString::fromStdString(fields.fileSystem))
                  .arg(fields.serialNumber, 8, 16, QLatin1Char('0'));
    form.volume->setText(text);
  };
  auto readVolume = [&](bool keepName) {
    NewMediaVolume volume{form.name->text().toStdString(), {}, {}, 0};
    ReadNewMediaVolume(fields.path, keepName, volume);
    fields.volumeLabel = volume.label;
    fields.fileSystem = volume.fileSystem;
    fields.serialNumber = volume.serialNumber;
    if (!keepName) form.name->setText(QString::fromStdString(volume.name));
    showVolume();
  };
  auto select = [&](int row) {
    if (row < 0 || static_cast<size_t>(row) >= types.size()) return;
    const MediaTypeEntry& entry = types[static_cast<size_t>(row)];
    fields.kind = entry.kind;
    form.browse->setEnabled(entry.kind && entry.kind->CanBrowse());
    std::string hint;
    if (entry.kind) entry.kind->GetKindHint(hint);
    form.name->setText(QString::fromStdString(hint));
    fields.path = entry.path;
    readVolume(false);
  };
  QObject::connect(form.types, &QTreeWidget::currentItemChanged, &dialog,
                   [&](QTreeWidgetItem* current) { select(form.types->indexOfTopLevelItem(current)); });
  QObject::connect(form.browse, &QPushButton::clicked, &dialog, [&] {
    if (!fields.kind || fields.kind->ChooseSource(&ui) != 1) return;
    fields.path = fields.kind->rootPath;
    readVolume(false);
  });
  ConnectOkCancel(dialog, form);
  const int first = InitialMediaTypeRow(types);
  if (first >= 0) form.types->setCurrentItem(form.types->topLevelItem(first));
  form.name->setFocus();
  dialog.resize(520, 360);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  // The medium may have changed while the dialog was open.
  readVolume(true);
  fields.name = form.name->text().toStdString();
  fields.noApplications = form.noApplications->isChecked();
  fields.noUncompress = form.noUncompress->isChecked();
  return fields;
}
