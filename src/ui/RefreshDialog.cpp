#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_RefreshDialog.h"

std::optional<RefreshFields> RunRefreshDialog(QWidget* owner, const RefreshFields& initial) {
  QDialog dialog(owner);
  Ui::RefreshDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, 179);
  ConnectOkCancel(dialog, form);
  form.noApplications->setChecked(initial.noApplications);
  form.noUncompress->setChecked(initial.noUncompress);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return RefreshFields{form.noApplications->isChecked(), form.noUncompress->isChecked()};
}
