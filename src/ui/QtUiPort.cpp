#include "ui/QtUiPort.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "query/FilterEditing.h"
#include "ui/Dialogs.h"
#include "ui/FilterDialogs.h"
#include "ui/SearchDialog.h"
#include "ui/Translate.h"

namespace {

QWidget* Parent(QWidget* owner) { return owner ? owner : QApplication::activeWindow(); }

}  // namespace

int QtUiPort::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  QMessageBox box(Parent(owner_));
  box.setText(QString::fromStdString(text));
  box.setWindowTitle(QString::fromStdString(caption));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (flags & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    // The one Yes/No/Cancel question is the save question: the desktop's
    // Save, Discard and Cancel buttons say what each answer does.
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Save);
      break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes:
    case QMessageBox::Save: return IDYES;
    case QMessageBox::No:
    case QMessageBox::Discard: return IDNO;
    default: return (flags & 0x0F) == MB_OK ? IDOK : IDCANCEL;
  }
}

std::optional<std::string> QtUiPort::ChooseFolder(const std::string& title) {
  const QString dir = QFileDialog::getExistingDirectory(Parent(owner_), QString::fromStdString(title));
  if (dir.isEmpty()) return std::nullopt;
  return dir.toStdString();
}

QString QtFileFilter(const std::string& windowsFilter) {
  QStringList parts;
  size_t start = 0;
  while (start < windowsFilter.size()) {
    const size_t end = windowsFilter.find('\0', start);
    const std::string part = windowsFilter.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty()) break;
    parts << QString::fromStdString(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      if (pattern == QLatin1String("*.*")) {
        patterns << QStringLiteral("*");
        continue;
      }
      // Linux names are case sensitive; a catalog may end .QVD or .qvd.
      patterns << pattern;
      if (pattern.toLower() != pattern) patterns << pattern.toLower();
    }
    QString label = parts[i];
    const int paren = label.indexOf(QLatin1String(" ("));
    if (paren >= 0) label.truncate(paren);
    filters << QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' ')));
  }
  return filters.join(QStringLiteral(";;"));
}

std::optional<std::string> QtUiPort::FileDialog(const FileDialogFields& fields) {
  QFileDialog dialog(Parent(owner_));
  dialog.setAcceptMode(fields.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(fields.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = QtFileFilter(fields.filter).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  dialog.setNameFilters(filters);
  if (fields.filterIndex >= 1 && fields.filterIndex <= filters.size()) dialog.selectNameFilter(filters[fields.filterIndex - 1]);
  if (!fields.initialDirectory.empty()) dialog.setDirectory(QString::fromStdString(fields.initialDirectory));
  if (!fields.fileName.empty()) dialog.selectFile(QString::fromStdString(fields.fileName));
  if (!fields.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(fields.defaultExtension));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !(fields.flags & OFN_OVERWRITEPROMPT));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<NewMediaFields> QtUiPort::NewMediaDialog(const NewMediaFields& initial) {
  return RunNewMediaDialog(Parent(owner_), *this, initial);
}

std::optional<std::string> QtUiPort::NewFolderDialog(const std::string& initialName) {
  return RunTextFieldDialog(Parent(owner_), "$$New folder", "$$Folder name", initialName);
}

std::optional<RefreshFields> QtUiPort::RefreshDialog(const RefreshFields& initial) {
  return RunRefreshDialog(Parent(owner_), initial);
}

std::optional<ApplicationFields> QtUiPort::ApplicationDialog(const ApplicationFields& initial) {
  return RunApplicationDialog(Parent(owner_), initial);
}

void QtUiPort::DescriptionDialog(const std::string& title, const std::string& description) {
  RunDescriptionDialog(Parent(owner_), "$$Description of", title, description, false);
}

std::optional<std::string> QtUiPort::NewExtensionDialog() {
  return RunTextFieldDialog(Parent(owner_), "$$New extension", "$$Extension", std::string());
}

std::optional<size_t> QtUiPort::SearchDialog(CSearchSession& session) {
  return RunSearchDialog(Parent(owner_), session, *this, types_);
}

bool QtUiPort::FilterListDialog(CFilterListEditor& editor) { return RunFilterListDialog(Parent(owner_), editor); }

std::optional<Filter> QtUiPort::FilterDialog(const Filter& initial) {
  return RunFilterDialog(Parent(owner_), *this, initial);
}

bool QtUiPort::MediaListDialog(std::vector<MediaTypeEntry>& types) {
  return RunMediaListDialog(Parent(owner_), *this, types);
}

void QtUiPort::ItemListDialog(const std::vector<std::string>& lines) { RunItemListDialog(Parent(owner_), lines); }
std::optional<PrintFields> QtUiPort::PrintDialog(const PrintFields& initial) {
  return RunPrintParametersDialog(Parent(owner_), initial);
}
