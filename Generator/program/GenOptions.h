#ifndef GEN_OPTIONS_H
#define GEN_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

// What one run of gen was asked to do: the command line's result as one
// value. The generator takes it whole, so a run depends on nothing but its
// model and its options.
struct GenOptions {
  std::string path;                      // -P: prefix of every output file name
  std::string name;                      // -N: experiment name, the second part of the names
  int experiment = 0;                    // -B
  double loadFactor = 0.5;               // -h: of the discovered-state table
  int traceLevel = 0;                    // -l, 0 to 4
  std::optional<std::string> traceFile;  // -t: the trace goes to standard output without it
  std::optional<std::string> overrides;  // -O: "type:name:value:..."
  bool absorbing = false;                // -a: report absorbing states
  std::optional<std::string> dbHost;     // -s: results-database server
  std::optional<std::string> dbEntity;   // -e: accepted, no effect
  int fileType = 1;                      // -F: accepted; files are always written as type 1
  bool umb = false;                      // -U: also write the state space as <path><name>.umb
  bool umbOnly = false;                  // -u: write the .umb alone (implies umb)
  std::vector<std::string> arguments;    // the command line as given, program name first
};

#endif
