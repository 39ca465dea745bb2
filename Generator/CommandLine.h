#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

#include <iosfwd>
#include <string>
#include <vector>

// Process-wide settings taken from the command line of gen.
extern char* exp_path;        // -P: prefix of every output file name (array new)
extern char* ExpName;         // -N: second part of every output file name (array new)
extern int ExpNum;            // -B: experiment number, 0-based
extern short flagAbsorb;      // -a: report absorbing states
extern char* OverrideString;  // -O: override of single global variables (C allocator)
extern char* db_host;         // -s: results-database server (array new)
extern char* db_entity;       // -e: results-database entity (array new)
extern int TempTraceLevel;    // -l: trace level
extern double hash_value;     // -h: load factor of the discovered-state hash table

// Outcome of the argument scan.
struct CommandLineResult {
  enum class Action {
    Run,    // settings are complete and valid
    Usage,  // too few words: print the usage text on standard output, exit 0
    Fail,   // bad input: print `errors` (and the usage text when showUsage) on standard error, exit 1
  };
  Action action = Action::Run;
  std::vector<std::string> errors;  // one line each, without newline
  bool showUsage = false;
};

// Scans the arguments into the settings above and the two by-reference
// outputs (-F and -t). Echo lines and unknown-argument messages are written to
// `echo` as the scan meets them. `numExperiments` is the number of
// experiments of the study: -B must lie in 0 to numExperiments-1. Nothing is
// printed for usage or errors: the caller does that from the result.
CommandLineResult commandline(int argc, const char* const argv[], int& fileTypeOption, char*& traceFileName,
                              int numExperiments, std::ostream& echo);

// The two-line usage text.
void printUsage(std::ostream& out);

// Releases every copy the settings hold and restores their initial values.
void resetCommandLineSettings();

#endif
