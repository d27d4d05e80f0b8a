#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/Translate.h"
#include "ui_TextFieldDialog.h"

std::optional<std::string> RunTextFieldDialog(QWidget* owner, const char* captionKey, const char* labelKey,
                                              const std::string& initial) {
  QDialog dialog(owner);
  Ui::TextFieldDialog form;
  form.setupUi(&dialog);
  dialog.setWindowTitle(QString::fromLatin1(captionKey));
  form.label->setText(QString::fromLatin1(labelKey));
  form.field->setAccessibleName(QString::fromLatin1(labelKey));
  TranslateWindow(&dialog);
  ConnectOkCancel(dialog, form);
  form.field->setText(QString::fromStdString(initial));
  form.field->selectAll();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return form.field->text().toStdString();
}
