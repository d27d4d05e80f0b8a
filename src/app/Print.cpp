#include "app/Print.h"

#include <algorithm>
#include <cstdio>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "scan/MediaPaths.h"
#include "text/Codepage.h"

const char* const kPrintRuler = "---------1---------2---------3---------4---------5---------6---------7---------8-";

namespace {
constexpr size_t kColumns = 81;
constexpr size_t kLongestPath = 68;
}  // namespace

unsigned CPrintJob::LineFlags() const {
  unsigned flags = fields.content == PrintContent::ContainedFiles ? FL_FILENAME
                   : fields.content == PrintContent::Tree         ? FL_DIRNAME
                                                                  : FL_APPTITLE;
  if (fields.size) flags |= FL_SIZE;
  if (fields.dateTime) flags |= FL_DATE;
  if (fields.attributes) flags |= FL_ATTRIBUTES;
  return flags;
}

int CPrintJob::IndentBase(const CFileItemList& list) const {
  return items.empty() ? 0 : list[items.front()]->level;
}

PrintFields InitialPrintFields(bool filesMode) {
  PrintFields f;
  f.content = filesMode ? PrintContent::ContainedFiles : PrintContent::Applications;
  return f;
}

std::vector<size_t> BuildPrintList(const CFileItemList& list, size_t start, PrintContent content) {
  std::vector<size_t> out;
  if (start >= list.size()) return out;
  const int h = list[start]->level;
  for (size_t i = start + 1; i < list.size() && list[i]->level > h; ++i) {
    const CFileItem& item = *list[i];
    if (item.type == ITEM_FILE) {
      if (content != PrintContent::ContainedFiles) continue;
      // A directory's own files come before its subdirectories: the first
      // deeper file means the node's own files are done.
      if (item.level > h + 1) break;
      out.push_back(i);
    } else if (item.IsApplication()) {
      if (content == PrintContent::Applications) out.push_back(i);
    } else if (content == PrintContent::Tree) {
      out.push_back(i);
    }
  }
  return out;
}

CPrintJob MakePrintJob(const CFileItemList& list, long currentIndex, const PrintFields& fields) {
  CPrintJob job;
  job.fields = fields;
  job.startIndex = currentIndex >= 0 ? static_cast<size_t>(currentIndex) : 0;
  job.items = BuildPrintList(list, job.startIndex, fields.content);
  return job;
}

std::optional<CPrintJob> PreparePrintJob(const CFileItemList& list, long currentIndex, bool filesMode, IUiPort& ui) {
  auto fields = ui.PrintDialog(InitialPrintFields(filesMode));
  if (!fields) return std::nullopt;
  return MakePrintJob(list, currentIndex, *fields);
}

int PrintPageCount(size_t itemCount, int linesPerPage) {
  if (linesPerPage <= 0) return 1;
  const size_t n = static_cast<size_t>(linesPerPage);
  return static_cast<int>(std::max<size_t>(1, (itemCount + n - 1) / n));
}

PrintGeometry ComputePrintGeometry(int verticalResolution, int horizontalResolution, int lineHeight, int textWidth,
                                   size_t itemCount) {
  PrintGeometry g;
  g.lineHeight = lineHeight;
  g.textWidth = textWidth;
  g.linesPerPage = lineHeight > 0 ? std::max(0, (verticalResolution - 11 * lineHeight) / lineHeight) : 0;
  g.pageCount = PrintPageCount(itemCount, g.linesPerPage);
  g.leftMargin = (horizontalResolution - textWidth) / 2;
  return g;
}

PrintPageLayout ComputePageLayout(const PrintGeometry& g) {
  const int l = g.lineHeight;
  PrintPageLayout p;
  p.lineHeight = l;
  p.header1Y = 2 * l;
  p.header2Y = 3 * l;
  p.ruleY = 3 * l + 3 * l / 2;
  p.footerRuleY = (g.linesPerPage + 8) * l;
  p.footerY = p.footerRuleY + l / 2;
  return p;
}

std::string PrintHeaderLine1(const std::string& documentPath, const std::string& documentTitle, int page) {
  std::string line = documentPath.size() > kLongestPath ? documentTitle : documentPath;
  char pageText[32];
  std::snprintf(pageText, sizeof pageText, "Page %d", page);
  const size_t pageLength = std::char_traits<char>::length(pageText);
  if (line.size() + pageLength < kColumns) line.append(kColumns - line.size() - pageLength, ' ');
  return line + pageText;
}

PrintPage BuildPrintPage(const CFileItemList& list, const CPrintJob& job, const std::string& documentPath,
                         const std::string& documentTitle, int page, int linesPerPage) {
  PrintPage p;
  p.header1 = PrintHeaderLine1(documentPath, documentTitle, page);
  if (job.startIndex < list.size()) p.header2 = LogicalPath(list, job.startIndex, true);
  if (page < 1 || linesPerPage <= 0) return p;
  const size_t n = static_cast<size_t>(linesPerPage);
  const size_t first = static_cast<size_t>(page - 1) * n;
  const size_t last = std::min(first + n, job.items.size());
  const unsigned flags = job.LineFlags();
  const int indent = job.IndentBase(list);
  std::string line;
  for (size_t k = first; k < last; ++k) {
    list[job.items[k]]->FormatLine(flags, indent, line);
    p.body.push_back(line);
  }
  return p;
}

std::string PrintJobAsText(const CFileItemList& list, const CPrintJob& job, const std::string& documentPath,
                           const std::string& documentTitle, int linesPerPage) {
  const std::string rule(kColumns, '-');
  const int pages = PrintPageCount(job.items.size(), linesPerPage);
  const size_t n = static_cast<size_t>(std::max(linesPerPage, 0));
  std::string out;
  for (int page = 1; page <= pages; ++page) {
    const PrintPage p = BuildPrintPage(list, job, documentPath, documentTitle, page, linesPerPage);
    // Rows in line heights: 0-1 blank, 2 header, 3 start path, 4 rule,
    // 5 blank, 6.. body, N + 8 rule, N + 9 product name.
    std::vector<std::string> rows(n + 10);
    rows[2] = p.header1;
    rows[3] = p.header2;
    rows[4] = rule;
    for (size_t k = 0; k < p.body.size(); ++k) rows[6 + k] = p.body[k];
    rows[n + 8] = rule;
    rows[n + 9] = p.footer;
    if (page > 1) out += '\f';
    // A name holding a line break still prints as one line.
    for (const auto& r : rows) {
      out += OneLineText(r);
      out += '\n';
    }
  }
  return out;
}
