#ifndef COMMON_THREADCOUNT_H
#define COMMON_THREADCOUNT_H

#include <sched.h>

#include <algorithm>
#include <cstdlib>

// How many threads a program of the project works on: GEN_THREADS when set
// (below 1, or not a number, means 1), else the CPUs this process may run
// on. gen expands states on that many threads, solve multiplies by its
// matrix on them.
namespace gencommon {

// More threads than this would only hold more copies of per-thread state.
constexpr long kMaxThreads = 256;

inline unsigned availableThreads() {
  const char* threads = std::getenv("GEN_THREADS");
  if (threads && *threads) return static_cast<unsigned>(std::clamp(std::strtol(threads, nullptr, 10), 1L, kMaxThreads));
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  return static_cast<unsigned>(std::clamp(static_cast<long>(CPU_COUNT(&cpus)), 1L, kMaxThreads));
}

}  // namespace gencommon

#endif
