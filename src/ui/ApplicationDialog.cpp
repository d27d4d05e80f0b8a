#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_ApplicationDialog.h"

std::optional<ApplicationFields> RunApplicationDialog(QWidget* owner, const ApplicationFields& initial) {
  QDialog dialog(owner);
  Ui::ApplicationDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, 182);
  ConnectOkCancel(dialog, form);
  form.description->setPlainText(FromStored(initial.description));
  form.installProgram->setText(QString::fromStdString(initial.installProgram));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ApplicationFields{ToStored(form.description->toPlainText()), form.installProgram->text().toStdString()};
}
