// CPU-time measuring for the benchmarks: on a shared machine wall time
// mostly measures the neighbours.
#pragma once

#include <sys/resource.h>

#include <ctime>

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

}  // namespace bench
