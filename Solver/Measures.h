#ifndef SOLVER_MEASURES_H
#define SOLVER_MEASURES_H

#include <functional>
#include <string>
#include <vector>

#include "Options.h"
#include "Outcome.h"
#include "PvType.h"
#include "UmbFile.h"

namespace solver {

// One value of one reward variable.
struct ResultRow {
  std::string variable;
  RewardKind kind = RewardKind::Instant;
  double start = 0, stop = 0;  // the time point (start = stop) or interval; unused for steady state
  double value = 0;
  std::string method;
  long iterations = 0;
  double errorBound = 0;
};

// Every value of every variable of the .pvtype, in its order; the chain and
// rewards come from the .umb. Notes for the user (the components found, the
// uniformisation plan, before it runs) go to `note`, one line each.
using NoteSink = std::function<void(const std::string&)>;
Outcome<std::vector<ResultRow>> computeMeasures(UmbFile& umb, const std::vector<RewardVariable>& variables,
                                                const Options& options, const NoteSink& note);

}  // namespace solver

#endif
