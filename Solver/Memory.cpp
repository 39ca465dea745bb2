#include "Memory.h"

#include "MemorySize.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace solver {

namespace {

// The address space the process holds now (its virtual size).
std::uint64_t addressSpaceHeld() {
  unsigned long long pages = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "re")) {
    if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

std::string memoryText(std::uint64_t bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
  double v = static_cast<double>(bytes);
  int u = 0;
  while (v >= 1024 && u < 4) {
    v /= 1024;
    u++;
  }
  char buf[80];
  if (u == 0)
    std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
  else
    std::snprintf(buf, sizeof buf, "%.1f %s (%llu bytes)", v, units[u], static_cast<unsigned long long>(bytes));
  return buf;
}

Outcome<MemoryLimits> readMemoryLimits() {
  MemoryLimits limits;
  if (const char* text = std::getenv("GEN_MAX_MEMORY"); text != nullptr && *text != '\0') {
    limits.budget = parseMemorySize(text);
    if (!limits.budget)
      return Error{std::string("GEN_MAX_MEMORY must be a positive number of bytes with an optional K, M or G suffix, "
                               "such as 512M (it is \"") +
                   text + "\")."};
  }
  struct rlimit rl {};
  if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) limits.addressSpace = rl.rlim_cur;
  return limits;
}

std::uint64_t solveMemoryNeeded(std::uint64_t states, std::uint64_t branches, std::uint64_t variables, bool steady,
                                bool transient) {
  const std::uint64_t n = states + 1, t = branches;
  // Exit rates, the forward successor lists and the incoming rate matrix,
  // with the counting vectors that build it.
  std::uint64_t bytes = 36 * n + 16 * t;
  bytes += 8 * n * variables;
  // The component search (numbers, stack and call frames of up to every
  // state) and the long-run vector with the automatic method's saved start.
  if (steady) bytes += 44 * n + 20 * n;
  if (transient) bytes += 16 * n;
  return bytes;
}

std::uint64_t regenerativeMemoryNeeded(std::uint64_t states, std::uint64_t branches,
                                       std::uint64_t deterministicBranches, std::uint64_t variables) {
  const std::uint64_t n = states + 1;
  // The graph's offsets and targets; six vectors of the iteration, the
  // activity and enabling of each state, the time shares and completions.
  return 8 * n + 4 * (branches + deterministicBranches) + 48 * n + 12 * n + 16 * n + 8 * n * variables;
}

Status checkMemory(const MemoryLimits& limits, std::uint64_t heap, std::uint64_t mapped, const std::string& what) {
  if (limits.budget && heap > *limits.budget) {
    return Error{what + " needs about " + memoryText(heap) + " of memory, more than the " + memoryText(*limits.budget) +
                 " set by GEN_MAX_MEMORY; raise it or solve on a machine with more memory."};
  }
  if (limits.addressSpace) {
    const std::uint64_t held = addressSpaceHeld();
    const std::uint64_t left = held < *limits.addressSpace ? *limits.addressSpace - held : 0;
    if (heap + mapped > left) {
      return Error{what + " needs about " + memoryText(heap + mapped) + " of memory, more than the " +
                   memoryText(left) + " left under the address-space limit of " + memoryText(*limits.addressSpace) +
                   " (ulimit -v); raise the limit or solve on a machine with more memory."};
    }
  }
  return okStatus();
}

}  // namespace solver
