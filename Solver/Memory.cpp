#include "Memory.h"

#include "Chain.h"
#include "MemorySize.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
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
  const std::uint64_t n = states + 1;
  // The matrix and exit rates stay throughout; the phases after it hold at
  // most: its build's counting vectors; the component search (numbers,
  // stack and call frames of up to every state, the states by component);
  // then the reward vectors with the components' lists and the long-run
  // vector, and the two distributions of uniformisation.
  const std::uint64_t build = chainBuildBytes(states);
  const std::uint64_t search = steady ? 36 * n : 0;
  const std::uint64_t solve = 8 * n * variables + (steady ? 16 * n : 0) + (transient ? 16 * n : 0);
  return chainBytes(states, branches) + std::max({build, search, solve});
}

std::uint64_t regenerativeMemoryNeeded(std::uint64_t states, std::uint64_t branches,
                                       std::uint64_t deterministicBranches, std::uint64_t variables) {
  const std::uint64_t n = states + 1;
  // The graph's offsets, fill marks and sources; six vectors of the iteration, the
  // activity and enabling of each state, the time shares and completions.
  return 16 * n + 4 * (branches + deterministicBranches) + 48 * n + 12 * n + 16 * n + 8 * n * variables;
}

std::uint64_t passageMemoryNeeded(std::uint64_t states, std::uint64_t branches) {
  const std::uint64_t n = states + 1;
  const std::uint64_t rows = 24 * n + 16 * branches, copy = 8 * n + 12 * branches;
  return chainBytes(states, branches) + rows + copy + 16 * n + 36 * n + 16 * n;
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
