// The print job of the file list: the items to print from the selected tree
// node, the page geometry, and each page as header, body and footer lines
// of fixed-pitch text. The GUI draws the lines at the positions given here;
// the command line writes them as text pages.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ports/UiPort.h"

class CFileItemList;

struct CPrintJob {
  PrintFields fields;
  size_t startIndex = 0;      // the tree's current index; 0 for the root node
  std::vector<size_t> items;  // the print list, in catalog order

  // FormatLine flags of the settings.
  unsigned LineFlags() const;
  // The indentation base: the level of the first printed item.
  int IndentBase(const CFileItemList& list) const;
};

// The dialog's initial values: contained files in files mode, applications
// in applications mode; size, date and attributes on.
PrintFields InitialPrintFields(bool filesMode);
// The print list for the node at start: contained files stop at the first
// file below the node's own level; the tree takes every non-application
// item that is not a file; applications take every application.
std::vector<size_t> BuildPrintList(const CFileItemList& list, size_t start, PrintContent content);
// Prepare: the parameters dialog, then the print list. Nothing on Cancel.
std::optional<CPrintJob> PreparePrintJob(const CFileItemList& list, long currentIndex, bool filesMode, IUiPort& ui);
// The same without the dialog.
CPrintJob MakePrintJob(const CFileItemList& list, long currentIndex, const PrintFields& fields);

// Page geometry in device units, from the printer's resolution and the
// font's line height and width of the 81-column ruler.
struct PrintGeometry {
  int lineHeight = 0;    // L
  int linesPerPage = 0;  // N = (vertical resolution - 11 L) / L
  int textWidth = 0;     // W
  int leftMargin = 0;    // X = (horizontal resolution - W) / 2
  int pageCount = 1;     // ceiling(items / N), at least 1
};
PrintGeometry ComputePrintGeometry(int verticalResolution, int horizontalResolution, int lineHeight, int textWidth,
                                   size_t itemCount);
// The 81-column ruler whose width the geometry measures.
extern const char* const kPrintRuler;
// Pages for a given number of lines per page, at least 1.
int PrintPageCount(size_t itemCount, int linesPerPage);

// Where one page's texts and rules go, in device units from the top of the
// printable area (each text's top edge): header lines at 2 L and 3 L, the
// rule at 4.5 L, page entry k at (k + 6) L, the footer rule at (N + 8) L and
// the product name half a line below it. Halves are integer halves, as
// the printer's own arithmetic had them.
struct PrintPageLayout {
  int header1Y = 0;
  int header2Y = 0;
  int ruleY = 0;
  int footerRuleY = 0;
  int footerY = 0;
  int lineHeight = 0;
  int BodyY(size_t k) const { return (static_cast<int>(k) + 6) * lineHeight; }
};
PrintPageLayout ComputePageLayout(const PrintGeometry& geometry);

// One page: lines with their vertical position in units of the line height
// (header 1 at 2, header 2 at 3, rule at 4.5, entry k of the page at
// k + 6, footer rule at N + 8, product name at N + 8.5).
struct PrintPage {
  std::string header1;  // the document path (its title when longer than 68) and "Page n" ending at column 81
  std::string header2;  // the logical path of the start item
  std::vector<std::string> body;
  std::string footer = "Quolvane";
};
std::string PrintHeaderLine1(const std::string& documentPath, const std::string& documentTitle, int page);
PrintPage BuildPrintPage(const CFileItemList& list, const CPrintJob& job, const std::string& documentPath,
                         const std::string& documentTitle, int page, int linesPerPage);
// Every page as text: N + 10 lines each (blank lines where nothing is
// drawn, rules of 81 "-"), pages separated by a form feed.
std::string PrintJobAsText(const CFileItemList& list, const CPrintJob& job, const std::string& documentPath,
                           const std::string& documentTitle, int linesPerPage);
