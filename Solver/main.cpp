// solve: computes the reward variables of a gen run from its .umb.

#include <sys/stat.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "Measures.h"
#include "Memory.h"
#include "Options.h"
#include "PlotScript.h"
#include "Report.h"
#include "UmbReader.h"

using namespace solver;

namespace {

int fail(const std::string& message) {
  std::fprintf(stderr, "solve: %s\n", message.c_str());
  return 1;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

int run(int argc, char** argv) {
  if (argc == 1) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed) {
    std::fprintf(stderr, "solve: %s\n%s", parsed.error().message.c_str(), kUsage);
    return 1;
  }
  const Options& options = *parsed;
  if (options.usage) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const std::string prefix = options.path + options.name;
  const std::string umbPath = prefix + ".umb";
  if (!exists(umbPath)) {
    return fail("no " + umbPath + ": run gen with -U (same -P and -N) to write it, then solve again.");
  }
  UmbReader::endOnShortenedFile("solve", umbPath);
  auto limits = readMemoryLimits();
  if (!limits) return fail(limits.error().message);
  auto umb = UmbReader::open(umbPath,
                             [&](std::uint64_t bytes) { return checkMemory(*limits, 0, bytes, "Mapping " + umbPath); });
  if (!umb) return fail(umb.error().message);
  const std::vector<RewardVariable>& variables = (*umb)->variables;
  for (const std::string& name : options.variables)
    if (std::none_of(variables.begin(), variables.end(), [&](const RewardVariable& v) { return v.name == name; }))
      return fail("-V " + name + ": the run has no such variable");
  const auto chosen = [&](const std::string& name) {
    return options.variables.empty() ||
           std::find(options.variables.begin(), options.variables.end(), name) != options.variables.end();
  };
  for (const std::string& plot : options.plots) {
    if (!chosen(plot)) return fail("-p " + plot + ": the variable is not among those chosen with -V");
    std::size_t points = 0;
    bool steady = false, known = false;
    for (const RewardVariable& v : variables) {
      if (v.name != plot) continue;
      known = true;
      points += v.times.size();
      steady = steady || v.kind == RewardKind::SteadyState;
    }
    if (!known) return fail("-p " + plot + ": the run has no such variable");
    if (steady || points < 2) return fail("-p " + plot + ": a plot needs a variable with two or more time points");
  }

  bool steady = false, transient = false, passage = false;
  std::size_t computed = 0;
  for (const RewardVariable& v : variables) {
    if (!chosen(v.name) || v.kind == RewardKind::Until) continue;
    computed++;
    passage = passage || v.kind == RewardKind::Reached || v.kind == RewardKind::FirstPassage;
    if (v.kind == RewardKind::SteadyState)
      steady = true;
    else if (!v.times.empty())
      transient = true;
  }
  std::uint64_t needed = solveMemoryNeeded((*umb)->states(), (*umb)->branches(), computed, steady, transient);
  if ((*umb)->deterministic)
    needed += regenerativeMemoryNeeded((*umb)->states(), (*umb)->branches(), (*umb)->det.target.size(), computed);
  else if (passage)
    needed = std::max(needed, passageMemoryNeeded((*umb)->states(), (*umb)->branches()));
  if (auto room = checkMemory(*limits, needed, 0,
                              "The chain of " + std::to_string((*umb)->states()) + " states and " +
                                  std::to_string((*umb)->branches()) + " transitions");
      !room)
    return fail(room.error().message);
  std::fprintf(stderr, "solve: %s: %llu states, %llu transitions, %zu reward variable(s)\n", umbPath.c_str(),
               static_cast<unsigned long long>((*umb)->states()), static_cast<unsigned long long>((*umb)->branches()),
               computed);
  auto rows = computeMeasures(**umb, options,
                              [](const std::string& line) { std::fprintf(stderr, "solve: %s\n", line.c_str()); });
  if (!rows) return fail(rows.error().message);
  // One line per variable left to the simulator, with the reason.
  bool anyLeft = false;
  for (std::size_t r = 0; r < rows->size(); r++) {
    const ResultRow& row = (*rows)[r];
    if (row.leftForSimulator.empty() || (r > 0 && (*rows)[r - 1].variable == row.variable)) continue;
    anyLeft = true;
    std::fprintf(stderr, "solve: %s: %s; left for the simulator\n", row.variable.c_str(), row.leftForSimulator.c_str());
  }

  std::fputs(formatTable(*rows).c_str(), stdout);
  std::fflush(stdout);
  const std::string csv = prefix + ".results.csv";
  if (auto written = writeFileAtomically(csv, formatCsv(*rows)); !written) return fail(written.error().message);
  std::fprintf(stderr, "solve: results written to %s\n", csv.c_str());
  for (const std::string& plot : options.plots) {
    const std::string target = prefix + "." + plotFileId(plot) + "." + options.plotFormat;
    if (auto drawn = plotVariable(*rows, plot, options.plotFormat, target); !drawn) return fail(drawn.error().message);
    std::fprintf(stderr, "solve: plot of %s written to %s\n", plot.c_str(), target.c_str());
  }
  // 3: every row but those left to the simulator has its value.
  return anyLeft ? 3 : 0;
}

int main(int argc, char** argv) {
  // A plotter that quits early must not end the run through SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  removeTemporariesOnSignals();
#if defined(__GLIBC__)
  // Every block of a megabyte or more straight from the system and back to
  // it when freed. By default the allocator raises this threshold each time
  // such a block is freed, after which the scratch vectors of one step stay
  // resident, unused, through the steps that follow.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    // The budget is checked before the large vectors are built; what it
    // cannot foresee (the fill of a factorisation, say) ends here.
    return fail(
        "out of memory: the system refused an allocation. Set GEN_MAX_MEMORY or ulimit -v below what the "
        "machine has, to be told before solving how much a chain needs, or solve on a machine with more memory.");
  }
}
