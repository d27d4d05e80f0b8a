// How long operations report progress to whoever shows it (GUI, CLI, tests).
#pragma once

#include <string>

class IProgressSink {
 public:
  virtual ~IProgressSink() = default;
  // Starts a progress indicator at 0 with a status-line text.
  virtual void Begin(const std::string& statusText) {}
  // Whole percent done, 0 to 100; called only when the value changes.
  virtual void SetPercent(int percent) {}
  // Ends the indicator and resets the status line.
  virtual void End() {}
  // Polled by long work that the user may stop (duplicates by content,
  // searches over many catalogs); true ends it early.
  virtual bool StopRequested() { return false; }
};
