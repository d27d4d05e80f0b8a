// Describing the files of a scan on several threads. The walk stays in
// order on its own thread and hands each file it reads to a pool of
// workers; every worker describes a copy of the item, and the results go
// back into the catalog item on the walk's thread, in the order the files
// were handed over, so the catalog and the scan log come out as a scan on
// one thread makes them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/Scanner.h"

class CFileItem;

// Threads a scan describes on by default: every core the machine has.
unsigned DefaultDescribeThreads();

class CDescribeHandOff {
 public:
  // Called on the walk's thread, in hand-over order, after a file's
  // description and thumbnail are in place: the lines the describer logged
  // and whether it produced a description.
  using Finished = std::function<void(const std::vector<std::string>& log, bool produced)>;

  // threads counts the walk's thread too, which describes whenever it has to
  // wait (it is at least 2 here: with one thread the scan describes inline).
  CDescribeHandOff(unsigned threads, FileDescriberHook describe, const DescribeSettings& settings,
                   Finished finished);
  // Drops what was not described yet and waits for the workers.
  ~CDescribeHandOff();
  CDescribeHandOff(const CDescribeHandOff&) = delete;
  CDescribeHandOff& operator=(const CDescribeHandOff&) = delete;

  // Hands over a file item just added by the walk (its address stays the
  // same until the scan ends), to be read at diskPath. Finishes the files
  // whose turn has come, waiting (and describing) when too many are pending.
  void Add(CFileItem& item, const std::string& diskPath);
  // Describes and finishes every file handed over so far.
  void FinishAll();
  // Forgets the files not described yet and waits for the ones in progress;
  // nothing more is finished.
  void Cancel();

 private:
  struct Job;
  class Pool;
  void FinishJob(Job& job);

  FileDescriberHook describe_;
  DescribeSettings settings_;
  Finished finished_;
  std::unique_ptr<Pool> pool_;
};
