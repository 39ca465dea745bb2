#ifndef SOLVER_PASSAGE_H
#define SOLVER_PASSAGE_H

#include <vector>

#include "Chain.h"
#include "Measures.h"
#include "Outcome.h"

namespace solver {

// A variable about a condition's first holding: `condition` per state
// (nonzero where it holds); for a first passage also `rho`, the reward rate
// (the rate reward plus the rate impulses are earned at), empty for the
// time until then.
struct PassageVariable {
  const RewardVariable* variable;
  std::vector<double> condition;
  std::vector<double> rho;
};

// The rows of a CTMC's passage variables, in their order:
// - reached (per instant t): the probability that the condition held at some
//   time in [0, t], the transient probability of the condition's states in
//   the chain where they are absorbing, by uniformisation (its error bound:
//   the Poisson mass left out);
// - first passage: the expected reward until the condition first holds. The
//   chain that restarts from the initial state whenever it enters the
//   condition is a renewal process whose cycles are the passages, so with
//   its long-run distribution pi, the rate of entering c and the reward rate
//   rho, the mean cycle length is 1 / (pi . c) and the mean reward per
//   cycle (pi . rho) / (pi . c). The long run is solved as any other
//   (method, tolerance and iteration limit of -m, -e, -i); the error bound is
//   that solve's relative error estimate taken twice, once for each sum,
//   over the sums of the terms' sizes. Where from the initial state the
//   condition is not reached with probability 1, the expectation is
//   infinite: the value is +inf and `infinite` on the row says why.
Outcome<std::vector<ResultRow>> passageMeasures(const Chain& chain, const std::vector<PassageVariable>& variables,
                                                const Options& options, const NoteSink& note);

}  // namespace solver

#endif
