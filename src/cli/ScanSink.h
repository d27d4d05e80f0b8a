// What a scan shows on the terminal: its counters, redrawn in place, and
// each problem it meets as its own line on stderr.
#pragma once

#include <ctime>
#include <string>

#include "scan/Scanner.h"

// "PATH: cause" of a line of the scan log (the line itself when it names no path).
std::string ScanProblemText(const std::string& logLine);

class TerminalScanSink : public IScanProgressSink {
 public:
  // counters: draw the counters line (stderr is a terminal).
  explicit TerminalScanSink(bool counters) : counters_(counters) {}
  void SetCounters(int folders, int files, int descriptions) override;
  void SetApplications(int count) override;
  // Prints "quolvane-cli: PATH: cause" as soon as the scan meets a problem.
  void LogLineAdded(const std::string& line) override;
  void Close() override { Clear(); }
  void Clear();

 private:
  void Draw();
  bool counters_;
  bool drawn_ = false;
  std::time_t last_ = 0;
  int folders_ = 0, files_ = 0, descriptions_ = 0, applications_ = -1;
};
