// A catalog, a subtree of it or any rows (search results) as a CSV file
// (RFC 4180, UTF-8, a header row), one self-contained HTML page (inline
// CSS, no script; the tree as nested <details> with sizes, then a table of
// the files) or JSON lines, all with the same fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CFileItem;
class CFileItemList;
class IProgressSink;

enum class ExportFormat { Csv, Html, JsonLines };

// "csv", "html", "json" (the command line's words).
std::optional<ExportFormat> ExportFormatFromName(std::string_view name);
// By a file name's extension (.csv, .htm/.html, .json/.jsonl), for the
// window's file type choice; nullopt for another one.
std::optional<ExportFormat> ExportFormatFromFileName(std::string_view fileName);

// The kind word of an item: media, folder, directory, file, archive member, application.
const char* ExportKindWord(const CFileItem& item, bool archiveMember);

// One exported row. catalogFile is filled for rows of several catalogs.
struct ExportRow {
  std::string catalogFile;
  std::string path;  // catalog path of the parent
  std::string name;
  const char* kind = "file";
  uint32_t size = 0;
  uint32_t time = 0;
  uint8_t attributes = 0;
  std::string description;  // as stored; written on one line
};
ExportRow MakeExportRow(const CFileItem& item, std::string parentPath, bool archiveMember);

// The cell texts: ISO 8601 UTC time (empty for none), attribute letters,
// the description with its line breaks as " | ".
std::string ExportTimeText(uint32_t time);
std::string ExportAttributeText(uint8_t attributes);
std::string ExportDescriptionText(std::string_view description);
// Escaping of one CSV field (RFC 4180) and of HTML text and attribute values.
void AppendCsvField(std::string& out, std::string_view field);
void AppendHtmlEscaped(std::string& out, std::string_view text);

using ExportOutput = std::function<void(std::string_view bytes)>;

// Writes rows one at a time: a header (CSV header row, HTML page start),
// the rows, then the end. withCatalog adds the catalog file column.
class CExportWriter {
 public:
  CExportWriter(ExportFormat format, ExportOutput output, bool withCatalog, std::string title = {});
  ~CExportWriter();
  void Begin();
  void Row(const ExportRow& row);
  // Flushes what is buffered; the HTML page is closed.
  void End();
  // HTML only: the tree part written before the table (Begin first).
  void HtmlTree(const CFileItemList& list, long from);

 private:
  void Flush(bool force);
  ExportFormat format_;
  ExportOutput output_;
  bool withCatalog_;
  std::string title_;
  std::string buffer_;
  bool tableOpen_ = false;
};

// The items below from (the whole catalog when -1), in catalog order; HTML
// gets the tree first. Progress by items; a Stop ends the rows early and
// returns false (the output is still well-formed).
bool ExportCatalog(const CFileItemList& list, long from, ExportFormat format, const ExportOutput& output,
                   const std::string& title, IProgressSink* progress = nullptr);

// The given items in the given order (the rows a search found), each with
// its catalog path; the HTML page is the table alone.
void ExportItems(const CFileItemList& list, const std::vector<size_t>& items, ExportFormat format,
                 const ExportOutput& output, const std::string& title);

// Writes a file with what produce gives its output: beside the target
// first, renamed over it once complete, so that a failed or stopped export
// leaves an earlier file as it was; a device or a pipe is written directly.
// produce returns false when stopped (then nothing is left). False with
// *error (the cause) when the file could not be written or was stopped.
bool WriteExportFile(const std::string& path, const std::function<bool(const ExportOutput&)>& produce,
                     std::string* error);
