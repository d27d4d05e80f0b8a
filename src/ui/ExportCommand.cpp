#include "ui/ExportCommand.h"

#include <QApplication>
#include <QProgressDialog>

#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "ports/UiPort.h"
#include "ui/Translate.h"

namespace {

// The export's progress in a window of its own, whose Cancel stops it.
class DialogProgress : public IProgressSink {
 public:
  explicit DialogProgress(QWidget* owner) : dialog_(owner) {
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setCancelButtonText(Tr("$$Cancel"));
    dialog_.setMinimumDuration(400);
    dialog_.setRange(0, 100);
    dialog_.setAutoReset(false);
  }
  void Begin(const std::string& text) override {
    dialog_.setLabelText(QString::fromStdString(text));
    dialog_.setValue(0);
  }
  void SetPercent(int percent) override { dialog_.setValue(percent); }
  void End() override { dialog_.reset(); }
  bool StopRequested() override {
    QApplication::processEvents();
    return dialog_.wasCanceled();
  }

 private:
  QProgressDialog dialog_;
};

}  // namespace

bool RunExportCommand(QWidget* owner, IUiPort& ui, const std::string& suggestedName, const ExportProducer& produce) {
  FileDialogFields fields;
  fields.save = true;
  const std::string filter = Translate("IDS_EXPORT_FILTER");
  // The filter's parts are separated by "|" in the message, NUL for the dialog.
  for (const char c : filter) fields.filter += c == '|' ? '\0' : c;
  fields.filter += std::string(2, '\0');
  fields.fileName = suggestedName;
  fields.defaultExtension = "csv";
  fields.flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  const std::optional<std::string> path = ui.FileDialog(fields);
  if (!path) return false;
  const std::optional<ExportFormat> format = ExportFormatFromFileName(*path);
  if (!format) {
    ui.MessageBox(FormatInserts(Translate("IDS_EXPORT_BADTYPE"), {*path}), Translate("IDS_WARNING"),
                  MB_ICONEXCLAMATION);
    return false;
  }
  DialogProgress progress(owner);
  std::string error;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool written = WriteExportFile(
      *path, [&](const ExportOutput& output) { return produce(*format, output, &progress); }, &error);
  QApplication::restoreOverrideCursor();
  if (!written) ui.MessageBox(*path + ": " + error, Translate("IDS_ERROR"), MB_ICONERROR);
  return written;
}
