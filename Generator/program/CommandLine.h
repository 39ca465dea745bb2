#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

#include <iosfwd>
#include <string>
#include <vector>

#include "GenOptions.h"

// Smallest load factor accepted by -h. Below it the discovered-state table
// would need more slots than any machine has long before the model is large,
// so such a value is refused before anything is written.
inline constexpr double kMinLoadFactor = 0.01;

// Outcome of the argument scan.
struct CommandLineResult {
  enum class Action {
    Run,    // `options` are complete and valid
    Usage,  // too few words: print the usage text on standard output, exit 0
    Fail,   // bad input: print `errors` (and the usage text when showUsage) on standard error, exit 1
  };
  Action action = Action::Run;
  GenOptions options;
  std::vector<std::string> errors;  // one line each, without newline
  bool showUsage = false;
};

// Scans the arguments into one options value. Echo lines and
// unknown-argument messages are written to `echo` as the scan meets them.
// `numExperiments` is the number of experiments of the study: -B must lie in
// 0 to numExperiments-1. Nothing is printed for usage or errors: the caller
// does that from the result.
CommandLineResult commandline(int argc, const char* const argv[], int numExperiments, std::ostream& echo);

// The two-line usage text.
void printUsage(std::ostream& out);

#endif
