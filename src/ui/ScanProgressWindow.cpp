#include "ui/ScanProgressWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>

#include "i18n/Translator.h"
#include "ui/Translate.h"
#include "ui_ScanProgressWindow.h"

ScanProgressWindow::ScanProgressWindow(QWidget* owner, std::function<CScanProgress*()> stopTarget)
    : QDialog(owner), form_(std::make_unique<Ui::ScanProgressWindow>()), stopTarget_(std::move(stopTarget)) {
  form_->setupUi(this);
  TranslateWindow(this);
  setModal(false);
  connect(form_->cancel, &QPushButton::clicked, this, [this] {
    if (finished_) hide();
    else RequestStop();
  });
}

ScanProgressWindow::~ScanProgressWindow() = default;

void ScanProgressWindow::RequestStop() {
  if (CScanProgress* progress = stopTarget_ ? stopTarget_() : nullptr) progress->RequestStop();
}

void ScanProgressWindow::reject() {
  if (finished_) hide();
  else RequestStop();
}

void ScanProgressWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

void ScanProgressWindow::Show() {
  form_->folders->setText(QStringLiteral("0"));
  form_->files->setText(QStringLiteral("0"));
  form_->descriptions->setText(QStringLiteral("0"));
  form_->applications->setText(QStringLiteral("0"));
  form_->applicationsLabel->setEnabled(false);
  form_->applications->setEnabled(false);
  form_->bar->setEnabled(false);
  form_->bar->setValue(0);
  form_->log->clear();
  form_->currentPath->clear();
  form_->cancel->setText(Tr("$$Cancel"));
  hadErrors_ = false;
  finished_ = false;
  show();
  raise();
  Pump();
}

void ScanProgressWindow::SetCounters(int folders, int files, int descriptions) {
  form_->folders->setText(QString::number(folders));
  form_->files->setText(QString::number(files));
  form_->descriptions->setText(QString::number(descriptions));
}

void ScanProgressWindow::SetCurrentPath(const std::string& path) {
  // Called once per directory: the label is set at most ten times a second.
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastPathPaint_ < 100) return;
  lastPathPaint_ = now;
  form_->currentPath->setText(
      form_->currentPath->fontMetrics().elidedText(QString::fromStdString(path), Qt::ElideMiddle, form_->currentPath->width()));
}

void ScanProgressWindow::LogLineAdded(const std::string& line) {
  hadErrors_ = true;
  form_->log->appendPlainText(QString::fromStdString(line));
}

void ScanProgressWindow::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ScanProgressWindow::BeginApplications() {
  form_->applicationsLabel->setEnabled(true);
  form_->applications->setEnabled(true);
  form_->applications->setText(QStringLiteral("0"));
  form_->bar->setEnabled(true);
  form_->bar->setValue(0);
}

void ScanProgressWindow::SetApplications(int count) { form_->applications->setText(QString::number(count)); }

void ScanProgressWindow::SetApplicationPercent(int percent) { form_->bar->setValue(percent); }

void ScanProgressWindow::Close() {
  // A scan that met errors leaves its log in view until the user closes it.
  finished_ = true;
  if (hadErrors_) {
    form_->cancel->setText(Tr("$$Ok"));
    form_->currentPath->clear();
    return;
  }
  hide();
}
