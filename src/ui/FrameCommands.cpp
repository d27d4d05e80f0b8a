#include "ui/FrameCommands.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>

#include "app/Document.h"
#include "query/Panes.h"
#include "ui/MainFrame.h"
#include "ui/MediaClipboard.h"
#include "ui/PrintView.h"

CFrameCommands::CFrameCommands(CMainFrame& frame) : QObject(&frame), frame_(frame) {
  frame.onExtraCommand = [this](int command) { OnCommand(command); };
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CFrameCommands::UpdatePasteState);
  UpdatePasteState();
}

void CFrameCommands::UpdatePasteState() {
  if (QAction* paste = frame_.Action(CMD_PASTE_MEDIA)) paste->setEnabled(ClipboardOffersMedia());
}

void CFrameCommands::OnCommand(int command) {
  switch (command) {
    case CMD_COPY_MEDIA: CopyMediaToClipboard(frame_.Doc()); break;
    case CMD_PASTE_MEDIA: PasteMediaFromClipboard(frame_.Doc()); break;
    case CMD_PRINT: OnFilePrint(false); break;
    case CMD_PRINT_PREVIEW: OnFilePrint(true); break;
    case CMD_PRINT_SETUP: OnPrintSetup(); break;
    default: break;
  }
}

void CFrameCommands::OnFilePrint(bool preview) {
  CQuolvaneDoc& doc = frame_.Doc();
  auto job = doc.OnFilePrint();
  if (!job) return;
  // An untitled catalog prints under its title ("No name").
  const CPrintView view(doc.list, std::move(*job), doc.IsUntitled() ? doc.Title() : doc.PathName(), doc.Title());
  if (preview) {
    RunPreview(view);
    return;
  }
  const PrintGeometry g = view.Begin(printer_);
  printer_.setFromTo(0, 0);
  QPrintDialog dialog(&printer_, &frame_);
  dialog.setMinMax(1, g.pageCount);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!view.Print(printer_))
    QMessageBox::critical(&frame_, QStringLiteral("Quolvane"), QStringLiteral("The document could not be printed."));
}

void CFrameCommands::RunPreview(const CPrintView& view) {
  QPrintPreviewDialog dialog(&printer_, &frame_);
  connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&view](QPrinter* printer) { view.Print(*printer); });
  dialog.exec();
}

void CFrameCommands::OnPrintSetup() {
  QPageSetupDialog dialog(&printer_, &frame_);
  dialog.exec();
}
