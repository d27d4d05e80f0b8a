// The modeless "Analysis..." window of a scan and of the application pass.
// The scan pumps it at every counter update, so it repaints and its Cancel
// button (or Escape) is seen while the walk runs on the one thread.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "scan/Scanner.h"

namespace Ui {
class ScanProgressWindow;
}

class ScanProgressWindow : public QDialog, public IScanProgressSink {
  Q_OBJECT
 public:
  // stopTarget gives the progress of the command now running (null: none).
  ScanProgressWindow(QWidget* owner, std::function<CScanProgress*()> stopTarget);
  ~ScanProgressWindow() override;

  void Show() override;
  void SetCounters(int folders, int files, int descriptions) override;
  void SetCurrentPath(const std::string& path) override;
  void LogLineAdded(const std::string& line) override;
  void Pump() override;
  void BeginApplications() override;
  void SetApplications(int count) override;
  void SetApplicationPercent(int percent) override;
  void Close() override;

  Ui::ScanProgressWindow& Form() { return *form_; }

 protected:
  // Escape asks for a stop instead of closing the window.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void RequestStop();
  std::unique_ptr<Ui::ScanProgressWindow> form_;
  std::function<CScanProgress*()> stopTarget_;
  bool hadErrors_ = false;
  bool finished_ = false;
  qint64 lastPathPaint_ = 0;
};
