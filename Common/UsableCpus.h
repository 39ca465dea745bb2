#ifndef COMMON_USABLE_CPUS_H
#define COMMON_USABLE_CPUS_H

#include <sched.h>

#include <algorithm>
#include <cstdlib>

// More worker threads than this would only hold more model instances.
inline constexpr long kMaxWorkerThreads = 256;

// How many threads a run uses: GEN_THREADS when set (below 1, or not a
// number, means 1), else the CPUs this process may run on (its affinity mask,
// which taskset and container limits narrow, not the machine's count).
inline unsigned usableThreads() {
  const char* threads = std::getenv("GEN_THREADS");
  if (threads && *threads)
    return static_cast<unsigned>(std::clamp(std::strtol(threads, nullptr, 10), 1L, kMaxWorkerThreads));
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  return static_cast<unsigned>(std::clamp(static_cast<long>(CPU_COUNT(&cpus)), 1L, kMaxWorkerThreads));
}

#endif
