#ifndef SOLVER_OPTIONS_H
#define SOLVER_OPTIONS_H

#include <string>
#include <vector>

#include "Outcome.h"
#include "SteadyState.h"
#include "Transient.h"

namespace solver {

struct Options {
  std::string path;  // prefix: files are path + name + suffix
  std::string name;
  SteadyStateSettings steady;
  TransientSettings transient;
  std::vector<std::string> plots;      // variables to plot
  std::vector<std::string> variables;  // the variables to compute (-V); empty: all
  std::string plotFormat = "svg";
  bool usage = false;
};

extern const char* const kUsage;

Outcome<Options> parseOptions(const std::vector<std::string>& args);

}  // namespace solver

#endif
