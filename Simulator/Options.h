#ifndef SIMULATOR_OPTIONS_H
#define SIMULATOR_OPTIONS_H

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// What one run of simulate was asked to do.
struct Options {
  std::string path;                            // -P: prefix of the output files
  std::string name;                            // -N: the second part of their names
  int experiment = 0;                          // -B
  std::optional<std::string> overrides;        // -O, as gen takes it
  std::uint64_t seed = 1;                      // -S
  double level = 0.95;                         // -c: confidence level of every interval
  double relativeHalfWidth = 0.01;             // -r: the half-width to reach, relative to the estimate
  std::uint64_t maxReplications = UINT64_MAX;  // -R, of each kind; none by default: -T binds
  double wallSeconds = 600;                    // -T (1e9 or more: no limit)
  std::uint64_t round = 100;                   // -k: replications between two looks at the half-widths
  std::uint64_t warmupEvents = 10000;          // -W: events dropped before a steady-state observation
  std::uint64_t batchEvents = 100000;          // -L: events a steady-state observation spans
  std::vector<std::string> variables;          // -V: only these reward variables (all when empty)
  std::vector<double> times;                   // -t: the transient variables' time points (their own when empty)
  std::vector<std::string> plots;              // -p
  std::string plotFormat = "svg";              // -f
  bool split = false;                          // -X split: importance splitting instead of plain replications
  bool sampling = false;                       // -X sampling: importance sampling instead of plain replications
  std::uint64_t effort = 1000;                 // -E: paths a stage of splitting
  // -I variable=importance: the rate reward of reward variable `importance`
  // as the importance of `variable`, instead of the one derived
  std::vector<std::pair<std::string, std::string>> importanceOf;
};

struct ParsedOptions {
  enum class Action { Run, Usage, Fail };
  Action action = Action::Run;
  Options options;
  std::vector<std::string> errors;  // one line each
};

// Scans the command line; `numExperiments` bounds -B. Nothing is printed.
ParsedOptions parseOptions(int argc, const char* const argv[], int numExperiments);

void printUsage(std::ostream& out);

}  // namespace sim

#endif
