#include <QPushButton>
#include <QVBoxLayout>

#include "catalog/FileItem.h"
#include "scan/MediaTypes.h"
#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_MediaListDialog.h"
#include "ui_NewMediaTypeDialog.h"

namespace {

constexpr int kMediaListTemplate = 192;

// "$$New media type" over a row: name, path and kind; true on OK.
bool EditMediaType(QWidget* owner, MediaTypeEntry& entry) {
  QDialog dialog(owner);
  Ui::NewMediaTypeDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  const std::vector<std::string> keys = RegisteredKindKeys();
  for (const std::string& key : keys) {
    CFileItemMedia* kind = MediaKinds().Lookup(key);
    form.kind->addItem(kind ? Tr(kind->GetKindName()) : QString::fromStdString(key));
  }
  form.name->setText(QString::fromStdString(entry.name));
  form.path->setText(QString::fromStdString(entry.path));
  form.kind->setCurrentIndex(entry.kind ? KindKeyRow(entry.kind->GetKindKey()) : 0);
  ConnectOkCancel(dialog, form);
  if (dialog.exec() != QDialog::Accepted || keys.empty()) return false;
  const int row = std::max(0, form.kind->currentIndex());
  entry = MakeMediaType(form.path->text().toStdString(), form.name->text().toStdString(),
                        MediaKinds().Lookup(keys[static_cast<size_t>(row)]));
  return true;
}

}  // namespace

bool RunMediaListDialog(QWidget* owner, IUiPort& ui, MediaTypeList& types) {
  QDialog dialog(owner);
  Ui::MediaListDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, kMediaListTemplate, form.help);
  MediaTypeList copy = types;  // OK replaces the list; Cancel drops the copy
  auto refill = [&](int row) {
    form.rows->clear();
    for (const MediaTypeEntry& entry : copy) {
      const QStringList cells = QString::fromStdString(MediaTypeRowText(entry)).split(QLatin1Char('\t'));
      new QTreeWidgetItem(form.rows, cells);
    }
    for (int c = 0; c < 2; ++c) form.rows->resizeColumnToContents(c);
    if (!copy.empty()) form.rows->setCurrentItem(form.rows->topLevelItem(std::clamp(row, 0, static_cast<int>(copy.size()) - 1)));
  };
  refill(0);
  auto current = [&] { return form.rows->indexOfTopLevelItem(form.rows->currentItem()); };
  QObject::connect(form.newType, &QPushButton::clicked, &dialog, [&] {
    MediaTypeEntry entry;
    if (!EditMediaType(&dialog, entry)) return;
    copy.push_back(entry);
    refill(static_cast<int>(copy.size()) - 1);
  });
  QObject::connect(form.modify, &QPushButton::clicked, &dialog, [&] {
    const int row = current();
    if (row < 0 || !EditMediaType(&dialog, copy[static_cast<size_t>(row)])) return;
    refill(row);
  });
  QObject::connect(form.rows, &QTreeWidget::itemDoubleClicked, form.modify, &QPushButton::click);
  QObject::connect(form.deleteType, &QPushButton::clicked, &dialog, [&] {
    const int row = current();
    if (row >= 0 && DeleteMediaTypeRow(ui, copy, static_cast<size_t>(row))) refill(row);
  });
  QObject::connect(form.autoList, &QPushButton::clicked, &dialog, [&] {
    BuildDefaultMediaTypes(copy);
    refill(0);
  });
  ConnectOkCancel(dialog, form);
  if (dialog.exec() != QDialog::Accepted) return false;
  types = std::move(copy);
  return true;
}

void RunItemListDialog(QWidget* owner, const std::vector<std::string>& lines) {
  QDialog dialog(owner);
  dialog.setObjectName(QStringLiteral("ItemListDialog"));
  dialog.setWindowTitle(QStringLiteral("$$Varn datas"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* table = new QTreeWidget;
  table->setObjectName(QStringLiteral("items"));
  table->setColumnCount(4);
  table->setHeaderLabels({QStringLiteral("#"), Tr("IDS_FILETYPE"), QStringLiteral("Level"), Tr("IDS_NAME")});
  table->setRootIsDecorated(false);
  table->setUniformRowHeights(true);
  for (const std::string& line : lines)
    new QTreeWidgetItem(table, QString::fromStdString(line).split(QLatin1Char('\t')));
  for (int c = 0; c < 3; ++c) table->resizeColumnToContents(c);
  layout->addWidget(table);
  auto* ok = new QPushButton(QStringLiteral("$$Ok"));
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
  TranslateWindow(&dialog);
  dialog.resize(520, 420);
  dialog.exec();
}
