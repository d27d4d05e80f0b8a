// quolvane: the desktop program. Start-up and exit go through the
// application object in the order the core gives them.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>

#include "ui/Icons.h"
#include "ui/StartUp.h"

int main(int argc, char** argv) {
  StartOptions options;
  std::string error;
  if (!ParseStartOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "quolvane: %s\nTry 'quolvane --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(StartUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("quolvane %s\n", QUOLVANE_VERSION);
    return 0;
  }
  // Printing to a PDF file needs fonts but no screen.
  if (!options.printPdf.empty() && !HasDisplay()) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!HasDisplay()) {
    std::fputs("quolvane: no display (DISPLAY or WAYLAND_DISPLAY is not set); run 'xvfb-run quolvane' or use "
               "quolvane-cli\n",
               stderr);
    return 1;
  }
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quolvane"));
  QApplication::setApplicationVersion(QStringLiteral(QUOLVANE_VERSION));
  QApplication::setWindowIcon(ApplicationIcon());
  if (!options.printPdf.empty()) return PrintCatalogToPdf(options);
  return RunQuolvane(options);
}
