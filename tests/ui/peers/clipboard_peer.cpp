// One side of the clipboard test across processes: the main window over a
// catalog, driven by its commands. "copy CATALOG INDEX" selects the media and
// runs Copy media, then serves the clipboard until killed; "paste CATALOG
// OUT" runs Paste media twice over the catalog and saves it as OUT.
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <cstdio>
#include <string>

#include "app/Application.h"
#include "catalog/CatalogStream.h"
#include "query/Panes.h"
#include "ui/CatalogTree.h"
#include "ui/FrameCommands.h"
#include "ui/MainFrame.h"
#include "ui/MediaClipboard.h"
#include "ui/QtUiPort.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  QApplication qapp(argc, argv);
  const std::string mode = argv[1];
  CQuolvaneApp app;
  QtUiPort ui;
  const std::string settings = std::string(argv[2]) + ".ini";
  app.InitInstance(settings, argv[2], ui);
  CMainFrame frame(app, ui);
  app.document->SetView(&frame);
  new CFrameCommands(frame);
  frame.RefreshPanes();
  frame.show();
  if (mode == "copy") {
    if (!frame.Tree()->SelectItem(std::stol(argv[3]))) return 1;
    frame.OnCommand(CMD_COPY_MEDIA);
    std::printf("copied\n");
    std::fflush(stdout);
    return QApplication::exec();
  }
  // The clipboard of another process arrives through the X server.
  int tries = 0;
  while (!ClipboardOffersMedia() && ++tries < 100) QTest::qWait(50);
  frame.OnCommand(CMD_PASTE_MEDIA);
  frame.OnCommand(CMD_PASTE_MEDIA);
  SaveCatalogFile(app.document->list, argv[3]);
  std::printf("%zu\n", app.document->list.size());
  return 0;
}
