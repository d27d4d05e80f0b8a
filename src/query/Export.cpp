#include "query/Export.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "catalog/FileItem.h"
#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "query/ArchiveMembers.h"
#include "query/PathWalk.h"
#include "scan/MediaPaths.h"
#include "text/Ascii.h"
#include "text/Codepage.h"

std::optional<ExportFormat> ExportFormatFromName(std::string_view name) {
  if (name == "csv") return ExportFormat::Csv;
  if (name == "html") return ExportFormat::Html;
  if (name == "json") return ExportFormat::JsonLines;
  return std::nullopt;
}

std::optional<ExportFormat> ExportFormatFromFileName(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string ext(fileName.substr(dot + 1));
  for (char& c : ext) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  if (ext == "csv") return ExportFormat::Csv;
  if (ext == "html" || ext == "htm") return ExportFormat::Html;
  if (ext == "json" || ext == "jsonl") return ExportFormat::JsonLines;
  return std::nullopt;
}

const char* ExportKindWord(const CFileItem& item, bool member) {
  switch (item.type) {
    case ITEM_MEDIA: return "media";
    case ITEM_FOLDER: return "folder";
    case ITEM_DIRECTORY:
      if (item.IsApplication()) return "application";
      return member ? "archive member" : "directory";
    case ITEM_FILE: return member ? "archive member" : "file";
    default: return "file";  // the archive's own item, descriptions
  }
}

namespace {
// Everything but the path and the catalog, reusing the row's buffers.
void FillExportRow(ExportRow& r, const CFileItem& item, bool member) {
  r.name = item.name;
  r.kind = ExportKindWord(item, member);
  r.size = item.size;
  r.time = item.time;
  r.attributes = item.attributes;
  r.description = item.description;
}
}  // namespace

ExportRow MakeExportRow(const CFileItem& item, std::string parentPath, bool member) {
  ExportRow r;
  r.path = std::move(parentPath);
  FillExportRow(r, item, member);
  return r;
}

namespace {

// Days since 1970-01-01 to a civil date (Howard Hinnant's algorithm), in
// UTC without the time zone machinery: exports convert a time per row.
void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

void AppendTime(std::string& out, uint32_t time) {
  if (time == 0) return;
  int y;
  unsigned mo, d;
  CivilFromDays(time / 86400, y, mo, d);
  const unsigned s = time % 86400;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02u:%02u:%02uZ", y, mo, d, s / 3600, s / 60 % 60, s % 60);
  out += buf;
}

// Text as shown everywhere: bytes of a name that is not UTF-8 as U+FFFD.
void AppendShown(std::string& out, std::string_view text) {
  if (text.find('\xED') == std::string_view::npos) out.append(text);
  else out += DisplayText(text);
}

void AppendDescriptionLine(std::string& out, std::string_view description) {
  // Lines joined by " | "; empty lines dropped.
  size_t start = 0;
  bool any = false;
  while (start <= description.size()) {
    size_t end = description.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = description.size();
    if (end > start) {
      if (any) out += " | ";
      AppendShown(out, description.substr(start, end - start));
      any = true;
    }
    start = end + 1;
  }
}

void AppendJsonString(std::string& out, std::string_view text) {
  const std::string shown = text.find('\xED') == std::string_view::npos ? std::string() : DisplayText(text);
  const std::string_view s = shown.empty() ? text : std::string_view(shown);
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string KiloBytes(uint64_t bytes) { return std::to_string(bytes / 1024) + " Ko"; }

constexpr const char* kCsvHeader[] = {"catalog path", "name", "kind", "size", "modified", "attributes", "description"};
constexpr const char* kHtmlHeaderKeys[] = {"$$Catalog path", "$$Name",       "$$Kind",       "$$Size",
                                           "$$Modified",     "$$Attributes", "$$Description"};

std::string HtmlKind(const char* word) {
  // The kind words as the page's reader reads them.
  const std::string key = std::string("$$") + word;
  return Translate(key);
}

}  // namespace

std::string ExportTimeText(uint32_t time) {
  std::string s;
  AppendTime(s, time);
  return s;
}

std::string ExportAttributeText(uint8_t attributes) {
  std::string s;
  for (const char c : AttributeText(attributes))
    if (c != ' ') s += c;
  return s;
}

std::string ExportDescriptionText(std::string_view description) {
  std::string s;
  AppendDescriptionLine(s, description);
  return s;
}

void AppendCsvField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(field);
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

CExportWriter::CExportWriter(ExportFormat format, ExportOutput output, bool withCatalog, std::string title)
    : format_(format), output_(std::move(output)), withCatalog_(withCatalog), title_(std::move(title)) {}

CExportWriter::~CExportWriter() = default;

void CExportWriter::Flush(bool force) {
  if (buffer_.empty() || (!force && buffer_.size() < (1 << 16))) return;
  output_(buffer_);
  buffer_.clear();
}

void CExportWriter::Begin() {
  switch (format_) {
    case ExportFormat::Csv: {
      // RFC 4180: CR LF line ends, a header row.
      if (withCatalog_) buffer_ += "catalog,";
      for (size_t k = 0; k < std::size(kCsvHeader); ++k) {
        if (k) buffer_ += ',';
        buffer_ += kCsvHeader[k];
      }
      buffer_ += "\r\n";
      break;
    }
    case ExportFormat::Html: {
      buffer_ +=
          "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
      AppendHtmlEscaped(buffer_, DisplayText(title_));
      buffer_ +=
          "</title>\n<style>\n"
          "body{font-family:sans-serif;margin:1em 2em;color:#222}\n"
          "h1{font-size:1.4em}h2{font-size:1.1em;margin-top:1.5em}\n"
          "details{margin-left:1.2em}summary{cursor:pointer}\n"
          ".size{color:#666;margin-left:.6em;font-size:.9em}\n"
          "table{border-collapse:collapse;font-size:.9em}\n"
          "th,td{border:1px solid #ccc;padding:2px 6px;text-align:left;vertical-align:top}\n"
          "th{background:#eee}td.n{text-align:right;white-space:nowrap}\n"
          "</style>\n</head>\n<body>\n<h1>";
      AppendHtmlEscaped(buffer_, DisplayText(title_));
      buffer_ += "</h1>\n";
      break;
    }
    case ExportFormat::JsonLines:
      break;
  }
}

void CExportWriter::HtmlTree(const CFileItemList& list, long from) {
  if (format_ != ExportFormat::Html) return;
  const size_t n = list.size();
  const bool whole = from < 0 || static_cast<size_t>(from) >= n;
  const size_t first = whole ? 0 : static_cast<size_t>(from);
  const size_t end = whole ? n : list.SubtreeEnd(first);
  auto container = [](const CFileItem& item) {
    return item.type == ITEM_MEDIA || item.type == ITEM_FOLDER || (item.type == ITEM_DIRECTORY && !item.isArchive);
  };
  // The bytes and files below each container, in one pass with a stack.
  std::vector<uint64_t> bytes, files;
  std::vector<size_t> at;  // container positions, in order
  {
    std::vector<std::pair<int16_t, size_t>> open;  // level, slot in bytes
    auto close = [&] {
      const size_t slot = open.back().second;
      open.pop_back();
      if (!open.empty()) {
        bytes[open.back().second] += bytes[slot];
        files[open.back().second] += files[slot];
      }
    };
    CArchiveWalk archives(list, first);
    for (size_t i = first; i < end; ++i) {
      const CFileItem& item = *list[i];
      const bool member = archives.IsMember(item);
      while (!open.empty() && open.back().first >= item.level) close();
      if (container(item)) {
        open.emplace_back(item.level, bytes.size());
        at.push_back(i);
        bytes.push_back(0);
        files.push_back(0);
      } else if ((item.type == ITEM_FILE || item.type == ITEM_ARCHIVE_ENTRY) && !member) {
        if (!open.empty()) {
          bytes[open.back().second] += item.size;
          ++files[open.back().second];
        }
      }
    }
    while (!open.empty()) close();
  }
  buffer_ += "<h2>";
  AppendHtmlEscaped(buffer_, Translate("$$Tree"));
  buffer_ += "</h2>\n";
  std::vector<int16_t> open;
  const std::string filesWord = Translate("$$files");
  for (size_t k = 0; k < at.size(); ++k) {
    const CFileItem& item = *list[at[k]];
    while (!open.empty() && open.back() >= item.level) {
      buffer_ += "</details>\n";
      open.pop_back();
    }
    buffer_ += open.empty() ? "<details open><summary>" : "<details><summary>";
    AppendHtmlEscaped(buffer_, DisplayText(item.name));
    buffer_ += "<span class=\"size\">";
    buffer_ += KiloBytes(bytes[k]);
    buffer_ += ", ";
    buffer_ += std::to_string(files[k]);
    buffer_ += ' ';
    AppendHtmlEscaped(buffer_, filesWord);
    buffer_ += "</span></summary>\n";
    open.push_back(item.level);
    Flush(false);
  }
  while (!open.empty()) {
    buffer_ += "</details>\n";
    open.pop_back();
  }
}

void CExportWriter::Row(const ExportRow& r) {
  switch (format_) {
    case ExportFormat::Csv: {
      std::string cell;
      auto field = [&](std::string_view text, bool shown = true) {
        cell.clear();
        if (shown) AppendShown(cell, text);
        else cell.append(text);
        AppendCsvField(buffer_, cell);
      };
      if (withCatalog_) {
        field(r.catalogFile);
        buffer_ += ',';
      }
      field(r.path);
      buffer_ += ',';
      field(r.name);
      buffer_ += ',';
      buffer_ += r.kind;
      buffer_ += ',';
      buffer_ += std::to_string(r.size);
      buffer_ += ',';
      AppendTime(buffer_, r.time);
      buffer_ += ',';
      buffer_ += ExportAttributeText(r.attributes);
      buffer_ += ',';
      cell.clear();
      AppendDescriptionLine(cell, r.description);
      AppendCsvField(buffer_, cell);
      buffer_ += "\r\n";
      break;
    }
    case ExportFormat::Html: {
      if (!tableOpen_) {
        buffer_ += "<h2>";
        AppendHtmlEscaped(buffer_, Translate("$$Files"));
        buffer_ += "</h2>\n<table>\n<thead><tr>";
        if (withCatalog_) {
          buffer_ += "<th>";
          AppendHtmlEscaped(buffer_, Translate("$$Catalog"));
          buffer_ += "</th>";
        }
        for (const char* key : kHtmlHeaderKeys) {
          buffer_ += "<th>";
          AppendHtmlEscaped(buffer_, Translate(key));
          buffer_ += "</th>";
        }
        buffer_ += "</tr></thead>\n<tbody>\n";
        tableOpen_ = true;
      }
      auto cell = [&](std::string_view text, const char* cls = nullptr) {
        buffer_ += cls ? "<td class=\"n\">" : "<td>";
        AppendHtmlEscaped(buffer_, text.find('\xED') == std::string_view::npos ? std::string(text) : DisplayText(text));
        buffer_ += "</td>";
      };
      buffer_ += "<tr>";
      if (withCatalog_) cell(r.catalogFile);
      cell(r.path);
      cell(r.name);
      cell(HtmlKind(r.kind));
      cell(std::to_string(r.size), "n");
      cell(ExportTimeText(r.time), "n");
      cell(ExportAttributeText(r.attributes));
      cell(ExportDescriptionText(r.description));
      buffer_ += "</tr>\n";
      break;
    }
    case ExportFormat::JsonLines: {
      buffer_ += '{';
      if (withCatalog_) {
        buffer_ += "\"catalog\":";
        AppendJsonString(buffer_, r.catalogFile);
        buffer_ += ',';
      }
      buffer_ += "\"path\":";
      AppendJsonString(buffer_, r.path);
      buffer_ += ",\"name\":";
      AppendJsonString(buffer_, r.name);
      buffer_ += ",\"kind\":\"";
      buffer_ += r.kind;
      buffer_ += "\",\"size\":";
      buffer_ += std::to_string(r.size);
      buffer_ += ",\"modified\":\"";
      AppendTime(buffer_, r.time);
      buffer_ += "\",\"attributes\":\"";
      buffer_ += ExportAttributeText(r.attributes);
      buffer_ += "\",\"description\":";
      AppendJsonString(buffer_, r.description);
      buffer_ += "}\n";
      break;
    }
  }
  Flush(false);
}

void CExportWriter::End() {
  if (format_ == ExportFormat::Html) {
    if (tableOpen_) buffer_ += "</tbody>\n</table>\n";
    buffer_ += "</body>\n</html>\n";
  }
  Flush(true);
}

bool ExportCatalog(const CFileItemList& list, long from, ExportFormat format, const ExportOutput& output,
                   const std::string& title, IProgressSink* progress) {
  const size_t n = list.size();
  const bool whole = from < 0 || static_cast<size_t>(from) >= n;
  const size_t first = whole ? 0 : static_cast<size_t>(from) + 1;
  const size_t end = whole ? n : list.SubtreeEnd(static_cast<size_t>(from));
  CExportWriter writer(format, output, false, title);
  writer.Begin();
  writer.HtmlTree(list, from);
  if (progress) progress->Begin(Translate("IDS_EXPORTING"));
  CLogicalPathWalk paths(list);
  // The page's tree shows the containers; its table lists the files.
  const bool filesOnly = format == ExportFormat::Html;
  bool complete = true;
  int percent = 0;
  ExportRow row;
  constexpr size_t kAhead = 8;  // items live apart from the list: fetch them early
  CArchiveWalk archives(list, first);
  for (size_t i = first; i < end; ++i) {
    if (i + kAhead < end) __builtin_prefetch(list[i + kAhead]);
    if (progress && (i & 0xFFF) == 0) {
      if (progress->StopRequested()) {
        complete = false;
        break;
      }
      const int now = static_cast<int>((i - first) * 100 / std::max<size_t>(1, end - first));
      if (now != percent) progress->SetPercent(percent = now);
    }
    const CFileItem& item = *list[i];
    const bool member = archives.IsMember(item);
    if (filesOnly && item.type != ITEM_FILE && item.type != ITEM_ARCHIVE_ENTRY) continue;
    row.path.clear();
    paths.Append(i, false, row.path);
    FillExportRow(row, item, member);
    writer.Row(row);
  }
  writer.End();
  if (progress) progress->End();
  return complete;
}

void ExportItems(const CFileItemList& list, const std::vector<size_t>& items, ExportFormat format,
                 const ExportOutput& output, const std::string& title) {
  CExportWriter writer(format, output, false, title);
  writer.Begin();
  // Rows in display order, not catalog order: paths by the parent index.
  const CItemPaths paths(list);
  const CArchiveLookup archives(list);
  ExportRow row;
  for (const size_t i : items) {
    if (i >= list.size()) continue;
    row.path = paths.Logical(i, false);
    FillExportRow(row, *list[i], archives.IsMember(i));
    writer.Row(row);
  }
  writer.End();
}

bool WriteExportFile(const std::string& path, const std::function<bool(const ExportOutput&)>& produce,
                     std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const bool special = fs::exists(path, ec) && !fs::is_regular_file(path, ec);
  const std::string temporary = special ? path : path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  auto fail = [&](int code) {
    if (error) *error = std::strerror(code);
    return false;
  };
  if (!file) return fail(errno);
  int writeError = 0;
  const bool complete = produce([&](std::string_view bytes) {
    if (!writeError && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) writeError = errno ? errno : EIO;
  });
  if (std::fclose(file) != 0 && !writeError) writeError = errno ? errno : EIO;
  if (writeError || !complete) {
    if (!special) std::remove(temporary.c_str());
    if (!writeError && error) *error = Translate("IDS_EXPORT_STOPPED");
    return writeError ? fail(writeError) : false;
  }
  if (!special && std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    std::remove(temporary.c_str());
    return fail(renameError);
  }
  return true;
}
