#include "ui/StartUp.h"

#include <QApplication>
#include <cstdio>
#include <QPrinter>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "app/Application.h"
#include "catalog/CatalogStream.h"
#include "describe/ArchiveZip.h"
#include "ports/Paths.h"
#include "ui/FrameCommands.h"
#include "ui/MainFrame.h"
#include "ui/PrintView.h"
#include "ui/QtLanguage.h"
#include "ui/QtUiPort.h"

bool ParseStartOptions(int argc, char** argv, StartOptions& options, std::string& error) {
  int contentChoices = 0;
  // The value of an option given as "--name VALUE" or "--name=VALUE".
  auto value = [&](int& i, const std::string& arg, const char* name, std::string& out) {
    const std::string prefix = std::string(name) + "=";
    if (arg.rfind(prefix, 0) == 0) {
      out = arg.substr(prefix.size());
      return true;
    }
    if (arg != name) return false;
    if (++i >= argc) throw std::invalid_argument(std::string(name) + " needs a value");
    out = argv[i];
    return true;
  };
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      std::string v;
      if (arg == "--help" || arg == "-h") {
        options.help = true;
      } else if (arg == "--version") {
        options.version = true;
      } else if (value(i, arg, "--settings", options.settingsFile)) {
      } else if (value(i, arg, "--print-pdf", options.printPdf)) {
        if (options.printPdf.empty()) throw std::invalid_argument("--print-pdf needs a file");
      } else if (value(i, arg, "--from", v)) {
        size_t used = 0;
        try {
          options.printFrom = std::stol(v, &used);
        } catch (const std::exception&) {
          used = 0;
        }
        if (used != v.size() || v.empty()) throw std::invalid_argument("--from needs an item index");
      } else if (value(i, arg, "--page-size", options.pageSize)) {
        if (options.pageSize != "A4" && options.pageSize != "Letter")
          throw std::invalid_argument("--page-size must be A4 or Letter");
      } else if (arg == "--files" || arg == "--tree" || arg == "--applications") {
        ++contentChoices;
        options.print.content = arg == "--tree"           ? PrintContent::Tree
                                : arg == "--applications" ? PrintContent::Applications
                                                          : PrintContent::ContainedFiles;
      } else if (arg == "--no-size") {
        options.print.size = false;
      } else if (arg == "--no-date") {
        options.print.dateTime = false;
      } else if (arg == "--no-attributes") {
        options.print.attributes = false;
      } else if (arg.rfind("-", 0) == 0 && arg.size() > 1 && arg.rfind("-style", 0) != 0 &&
                 arg.rfind("-platform", 0) != 0) {
        throw std::invalid_argument("unknown option '" + arg + "'");
      } else if (arg.rfind("-", 0) == 0) {
        ++i;  // a Qt option and its value: Qt reads them itself
      } else if (options.catalog.empty()) {
        options.catalog = arg;
      } else {
        throw std::invalid_argument("only one catalog can be opened");
      }
    }
    if (contentChoices > 1) throw std::invalid_argument("--files, --tree and --applications exclude each other");
    if (!options.printPdf.empty() && options.catalog.empty()) throw std::invalid_argument("--print-pdf needs a catalog");
  } catch (const std::invalid_argument& e) {
    error = e.what();
    return false;
  }
  return true;
}

std::string StartUsage() {
  return "Usage: quolvane [--settings FILE] [CATALOG.QVD]\n"
         "       quolvane --print-pdf OUT.pdf CATALOG.QVD [--from INDEX] [--files|--tree|--applications]\n"
         "                [--no-size] [--no-date] [--no-attributes] [--page-size A4|Letter]\n"
         "Catalogues CD-ROMs, DVDs, removable disks and directories.\n\n"
         "  CATALOG.QVD      the catalog to open (else the last one, when the settings ask for it)\n"
         "  --settings FILE  the settings file to use instead of $XDG_CONFIG_HOME/Quolvane/Quolvane.ini\n"
         "  --print-pdf OUT   print the catalog into a PDF file without opening a window\n"
         "                   (the pages of 'quolvane-cli print' with the same options)\n"
         "  --version        print the version and exit\n"
         "  --help           print this help and exit\n\n"
         "Without a display, use quolvane-cli for the same catalogs.\n";
}

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int PrintCatalogToPdf(const StartOptions& options) {
  CFileItemList list;
  const std::string catalog = std::filesystem::absolute(options.catalog).lexically_normal().string();
  try {
    if (LoadCatalogFile(list, catalog) == CatalogReadResult::TooRecent) {
      std::fprintf(stderr, "quolvane: %s: %s\n", catalog.c_str(), "written by a newer version of Quolvane");
      return 1;
    }
  } catch (const CCatalogException& e) {
    std::fprintf(stderr, "quolvane: %s: %s\n", catalog.c_str(), e.what());
    return 1;
  }
  if (options.printFrom < -1 || options.printFrom >= static_cast<long>(list.size())) {
    std::fprintf(stderr, "quolvane: --from %ld: the catalog has %zu items\n", options.printFrom, list.size());
    return 1;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(options.printPdf));
  printer.setPageSize(options.pageSize == "Letter" ? QPageSize(QPageSize::Letter) : QPageSize(QPageSize::A4));
  printer.setDocName(QString::fromStdString(std::filesystem::path(catalog).filename().string()));
  const CPrintView view(list, MakePrintJob(list, options.printFrom, options.print), catalog,
                        std::filesystem::path(catalog).filename().string());
  if (!view.Print(printer)) {
    std::fprintf(stderr, "quolvane: %s: cannot write the PDF file\n", options.printPdf.c_str());
    return 1;
  }
  std::printf("%s\n", options.printPdf.c_str());
  return 0;
}

int RunQuolvane(const StartOptions& options) {
  CQuolvaneApp app;
  QtUiPort ui;
  app.onLanguageChosen = [] { InstallQtLanguage(); };
  app.InitInstance(SettingsFilePath(options.settingsFile), options.catalog, ui);
  ZipAccess().SetUiPort(&ui);
  int status = 0;
  {
    CMainFrame frame(app, ui);
    ui.SetOwner(&frame);
    new CFrameCommands(frame);
    app.document->SetView(&frame);
    frame.RefreshPanes();
    frame.show();
    status = QApplication::exec();
    ZipAccess().SetUiPort(nullptr);
    ui.SetOwner(nullptr);
  }
  std::string error;
  if (!app.ExitInstance(&error)) {
    std::fprintf(stderr, "quolvane: %s\n", error.c_str());
    if (status == 0) status = 1;
  }
  return status;
}
