#ifndef SOLVER_MEASURES_H
#define SOLVER_MEASURES_H

#include <functional>
#include <string>
#include <vector>

#include "Options.h"
#include "Outcome.h"
#include "UmbReader.h"

namespace solver {

using umb::kindName;
using umb::RewardKind;
using umb::RewardVariable;
using umb::UmbReader;
using umb::UmbReward;

// One value of one reward variable.
struct ResultRow {
  std::string variable;
  RewardKind kind = RewardKind::Instant;
  double start = 0, stop = 0;  // the time point (start = stop) or interval; unused for steady state
  double value = 0;
  std::string method;
  long iterations = 0;
  double errorBound = 0;
  // Why solve gives no value here, leaving it to the simulator (method
  // "simulate"); empty for a row with a value.
  std::string leftForSimulator;
  // Why the value is +inf: an expectation until a condition that is not
  // reached with probability 1. Empty for a finite value.
  std::string infinite;
};

// Every value of every reward variable of the .umb, in its order, from its
// chain and rewards; a row solve cannot compute (a transient variable of a
// model with fixed delays, a model outside the class solved exactly) comes
// in its place with the reason in leftForSimulator. Notes for the user (the components found, the
// uniformisation plan, before it runs) go to `note`, one line each.
using NoteSink = std::function<void(const std::string&)>;
Outcome<std::vector<ResultRow>> computeMeasures(UmbReader& umb, const Options& options, const NoteSink& note);

}  // namespace solver

#endif
