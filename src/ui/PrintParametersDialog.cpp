#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_PrintParametersDialog.h"

std::optional<PrintFields> RunPrintParametersDialog(QWidget* owner, const PrintFields& initial) {
  QDialog dialog(owner);
  Ui::PrintParametersDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  InstallHelp(&dialog, 138);
  ConnectOkCancel(dialog, form);
  // The three choices sit in one group box, so exactly one stays on.
  QRadioButton* choice[] = {form.containedFiles, form.tree, form.applications};
  choice[static_cast<int>(initial.content)]->setChecked(true);
  form.size->setChecked(initial.size);
  form.dateTime->setChecked(initial.dateTime);
  form.attributes->setChecked(initial.attributes);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  PrintFields f;
  f.content = form.tree->isChecked()           ? PrintContent::Tree
              : form.applications->isChecked() ? PrintContent::Applications
                                               : PrintContent::ContainedFiles;
  f.size = form.size->isChecked();
  f.dateTime = form.dateTime->isChecked();
  f.attributes = form.attributes->isChecked();
  return f;
}
