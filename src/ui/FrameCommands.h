// The main window's commands that open windows of their own: printing
// (the printer and page setup chosen stay for the whole run) and the media
// clipboard. They reach the window through its onExtraCommand hook.
#pragma once

#include <QObject>
#include <QPrinter>

class CMainFrame;
class CPrintView;

class CFrameCommands : public QObject {
  Q_OBJECT
 public:
  // Becomes a child of frame and takes its onExtraCommand hook.
  explicit CFrameCommands(CMainFrame& frame);

  void OnCommand(int command);
  void OnFilePrint(bool preview);
  void OnPrintSetup();
  QPrinter& Printer() { return printer_; }

 private:
  void UpdatePasteState();
  void RunPreview(const CPrintView& view);

  CMainFrame& frame_;
  QPrinter printer_{QPrinter::HighResolution};
};
