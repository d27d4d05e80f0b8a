#include "cli/ScanSink.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "i18n/Translator.h"
#include "text/Codepage.h"

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string ScanProblemText(const std::string& logLine) {
  std::string text = OneLineText(logLine);
  const std::string error = Translate("IDS_ERROR") + " : ";
  if (text.rfind(error, 0) == 0) text.erase(0, error.size());
  // The archive lister's line: the message with the path inserted, then the
  // cause after " : " when the lister knew it.
  const std::string unzip = Translate("IDS_UNZIPERROR");
  if (const size_t insert = unzip.find("%1!s!"); insert != std::string::npos && text.rfind(unzip.substr(0, insert), 0) == 0) {
    const std::string before = unzip.substr(0, insert), after = unzip.substr(insert + 5);
    const std::string withCause = after + " : ";
    const size_t causeAt = text.rfind(withCause);
    if (causeAt != std::string::npos && causeAt > before.size())
      return text.substr(before.size(), causeAt - before.size()) + ": " + text.substr(causeAt + withCause.size());
    if (text.size() > before.size() + after.size() && text.compare(text.size() - after.size(), after.size(), after) == 0)
      return text.substr(before.size(), text.size() - before.size() - after.size()) + ": could not be unpacked";
  }
  // The walk and the describers write the path, then the cause after " : "
  // or two spaces; a name may hold either, so the cut is the first one after
  // a path that exists.
  if (text.empty() || text[0] != '/') return text;
  std::vector<size_t> cuts;
  for (const char* separator : {" : ", "  "})
    for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, at + 1))
      cuts.push_back(at);
  if (cuts.empty()) return text;
  std::sort(cuts.begin(), cuts.end());
  size_t cut = cuts.front();
  struct stat st;
  for (size_t at : cuts)
    if (::lstat(text.substr(0, at).c_str(), &st) == 0) {
      cut = at;
      break;
    }
  const std::string cause = Trimmed(text.substr(cut + 2));
  return text.substr(0, cut) + ": " + (cause.empty() ? std::string("could not be described") : cause);
}

void TerminalScanSink::SetCounters(int folders, int files, int descriptions) {
  folders_ = folders;
  files_ = files;
  descriptions_ = descriptions;
  Draw();
}

void TerminalScanSink::SetApplications(int count) {
  applications_ = count;
  Draw();
}

void TerminalScanSink::LogLineAdded(const std::string& line) {
  Clear();
  std::fprintf(stderr, "quolvane-cli: %s\n", ScanProblemText(line).c_str());
  last_ = 0;  // the counters come back at the next update
}

void TerminalScanSink::Clear() {
  if (drawn_) std::fprintf(stderr, "\r\033[K");
  drawn_ = false;
}

void TerminalScanSink::Draw() {
  if (!counters_) return;
  const std::time_t now = std::time(nullptr);
  if (now == last_) return;
  last_ = now;
  std::string line = Translate("$$Folders :") + " " + std::to_string(folders_) + "  " + Translate("$$Files :") + " " +
                     std::to_string(files_) + "  " + Translate("$$Descriptions :") + " " +
                     std::to_string(descriptions_);
  if (applications_ >= 0) line += "  " + Translate("$$Applications :") + " " + std::to_string(applications_);
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}
