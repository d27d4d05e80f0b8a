#include "ui/DialogSupport.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_DescriptionDialog.h"

std::optional<std::string> RunDescriptionDialog(QWidget* owner, const char* captionKey, const std::string& title,
                                                const std::string& text, bool editable) {
  QDialog dialog(owner);
  Ui::DescriptionDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  // F1: the page of the read-only or of the editable description.
  InstallHelp(&dialog, editable ? 136 : 183);
  dialog.setWindowTitle(Tr(captionKey) + QLatin1Char(' ') + QString::fromStdString(title));
  ConnectOkCancel(dialog, form);
  form.text->setPlainText(FromStored(text));
  form.text->setReadOnly(!editable);
  form.cancel->setVisible(editable);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ToStored(form.text->toPlainText());
}
