// The file list's print job on a printer, a preview or a PDF file: the
// fixed-pitch font, the page geometry and the page loop.
#pragma once

#include <QFont>
#include <string>

#include "app/Print.h"

class QPainter;
class QPagedPaintDevice;
class QPrinter;
class CFileItemList;

class CPrintView {
 public:
  CPrintView(const CFileItemList& list, CPrintJob job, std::string documentPath, std::string documentTitle);

  // "Courier New" 10 points, or the system's fixed-pitch font when it is
  // missing (Liberation Mono has its metrics).
  static QFont PrintFont();
  // Begin: the font's metrics on the device give L and W, the printable
  // area gives N and the centring margin.
  PrintGeometry Begin(QPagedPaintDevice& device) const;
  // Draws page n (1-based) with the geometry of Begin.
  void PrintPage(QPainter& painter, const PrintGeometry& geometry, int page) const;
  // Every page of the printer's range (all of them when none is chosen),
  // each on a new sheet. False when the printer could not start.
  bool Print(QPrinter& printer) const;

 private:
  const CFileItemList& list_;
  CPrintJob job_;
  std::string path_;
  std::string title_;
};
