// CPU-time measuring for the benchmarks: on a shared machine wall time
// mostly measures the neighbours.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

namespace bench {

// CPU time of this thread. (Waiting for the disk, as fsync does, is not counted.)
inline double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU time of the whole process, every thread.
inline double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU time of the finished children (commands run through popen or fork).
inline double ChildrenCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

template <class F>
double Timed(F&& f) {
  const double t0 = CpuSeconds();
  f();
  return CpuSeconds() - t0;
}

// Runs a shell command; the CPU time of its children, and its first
// output line as a number.
inline double RunCounted(const std::string& command, long* count = nullptr) {
  const double t0 = ChildrenCpuSeconds();
  FILE* p = popen(command.c_str(), "r");
  long n = -1;
  if (p) {
    if (std::fscanf(p, "%ld", &n) != 1) n = -1;
    pclose(p);
  }
  if (count) *count = n;
  return ChildrenCpuSeconds() - t0;
}

// Best of some runs: the cleanest on a busy machine.
template <class F>
double Best(F&& f, int runs = 3) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) best = std::min(best, f());
  return best;
}

}  // namespace bench
