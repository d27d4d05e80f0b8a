// The one- and two-field dialogs of the document.
#include <QPushButton>

#include "ui/Dialogs.h"
#include "ui/Translate.h"
#include "ui_ApplicationDialog.h"
#include "ui_DescriptionDialog.h"
#include "ui_PrintParametersDialog.h"
#include "ui_RefreshDialog.h"
#include "ui_TextFieldDialog.h"

namespace {

template <typename Form>
void Connect(QDialog& dialog, Form& form) {
  QObject::connect(form.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(form.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
}

// Descriptions hold CR LF line ends; the text controls speak LF.
QString FromStored(const std::string& text) {
  return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}
std::string ToStored(const QString& text) {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return t.toStdString();
}

}  // namespace

std::optional<std::string> RunTextFieldDialog(QWidget* owner, const char* captionKey, const char* labelKey,
                                              const std::string& initial) {
  QDialog dialog(owner);
  Ui::TextFieldDialog form;
  form.setupUi(&dialog);
  dialog.setWindowTitle(QString::fromLatin1(captionKey));
  form.label->setText(QString::fromLatin1(labelKey));
  form.field->setAccessibleName(QString::fromLatin1(labelKey));
  TranslateWindow(&dialog);
  Connect(dialog, form);
  form.field->setText(QString::fromStdString(initial));
  form.field->selectAll();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return form.field->text().toStdString();
}

std::optional<RefreshFields> RunRefreshDialog(QWidget* owner, const RefreshFields& initial) {
  QDialog dialog(owner);
  Ui::RefreshDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  Connect(dialog, form);
  form.noApplications->setChecked(initial.noApplications);
  form.noUncompress->setChecked(initial.noUncompress);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return RefreshFields{form.noApplications->isChecked(), form.noUncompress->isChecked()};
}

std::optional<ApplicationFields> RunApplicationDialog(QWidget* owner, const ApplicationFields& initial) {
  QDialog dialog(owner);
  Ui::ApplicationDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  Connect(dialog, form);
  form.description->setPlainText(FromStored(initial.description));
  form.installProgram->setText(QString::fromStdString(initial.installProgram));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ApplicationFields{ToStored(form.description->toPlainText()), form.installProgram->text().toStdString()};
}

std::optional<std::string> RunDescriptionDialog(QWidget* owner, const char* captionKey, const std::string& title,
                                                const std::string& text, bool editable) {
  QDialog dialog(owner);
  Ui::DescriptionDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  dialog.setWindowTitle(Tr(captionKey) + QLatin1Char(' ') + QString::fromStdString(title));
  Connect(dialog, form);
  form.text->setPlainText(FromStored(text));
  form.text->setReadOnly(!editable);
  form.cancel->setVisible(editable);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ToStored(form.text->toPlainText());
}

std::optional<PrintFields> RunPrintParametersDialog(QWidget* owner, const PrintFields& initial) {
  QDialog dialog(owner);
  Ui::PrintParametersDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  Connect(dialog, form);
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
