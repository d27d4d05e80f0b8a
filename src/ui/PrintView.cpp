#include "ui/PrintView.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

CPrintView::CPrintView(const CFileItemList& list, CPrintJob job, std::string documentPath, std::string documentTitle)
    : list_(list), job_(std::move(job)), path_(std::move(documentPath)), title_(std::move(documentTitle)) {}

QFont CPrintView::PrintFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
  font.setFixedPitch(true);
  font.setPointSize(10);
  font.setWeight(QFont::Normal);
  return font;
}

PrintGeometry CPrintView::Begin(QPagedPaintDevice& device) const {
  const QFontMetrics metrics(PrintFont(), &device);
  // Character height plus external leading; Qt reports a negative leading
  // for some fonts, which Windows never did.
  const int lineHeight = metrics.height() + std::max(0, metrics.leading());
  const int rulerWidth = metrics.horizontalAdvance(QString::fromLatin1(kPrintRuler));
  return ComputePrintGeometry(device.height(), device.width(), lineHeight, rulerWidth, job_.items.size());
}

void CPrintView::PrintPage(QPainter& painter, const PrintGeometry& g, int page) const {
  painter.save();
  painter.setFont(PrintFont());
  const QFontMetrics metrics(painter.font(), painter.device());
  // The layout gives each text's top edge; QPainter draws on the baseline.
  const int ascent = metrics.ascent();
  const int x = g.leftMargin;
  const PrintPageLayout layout = ComputePageLayout(g);
  const ::PrintPage p = BuildPrintPage(list_, job_, path_, title_, page, g.linesPerPage);
  auto text = [&](int y, const std::string& s) { painter.drawText(x, y + ascent, QString::fromStdString(s)); };
  text(layout.header1Y, p.header1);
  text(layout.header2Y, p.header2);
  QPen pen(Qt::black);
  pen.setWidth(std::max(1, g.lineHeight / 20));
  painter.setPen(pen);
  painter.drawLine(x, layout.ruleY, x + g.textWidth, layout.ruleY);
  for (size_t k = 0; k < p.body.size(); ++k) text(layout.BodyY(k), p.body[k]);
  painter.drawLine(x, layout.footerRuleY, x + g.textWidth, layout.footerRuleY);
  text(layout.footerY, p.footer);
  painter.restore();
}

bool CPrintView::Print(QPrinter& printer) const {
  const PrintGeometry g = Begin(printer);
  int first = 1;
  int last = g.pageCount;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    first = std::max(1, printer.fromPage());
    last = std::min(g.pageCount, printer.toPage() > 0 ? printer.toPage() : g.pageCount);
  }
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  for (int page = first; page <= last; ++page) {
    if (page > first) printer.newPage();
    PrintPage(painter, g, page);
  }
  return painter.end();
}
