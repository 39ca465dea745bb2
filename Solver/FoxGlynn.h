#ifndef SOLVER_FOXGLYNN_H
#define SOLVER_FOXGLYNN_H

#include <vector>

#include "Outcome.h"

namespace solver {

// Poisson probabilities p_k = e^-lambda lambda^k / k! for k from left to
// right, the truncation points chosen so that the mass left out on each side
// is at most epsilon / 2 (Fox and Glynn's scheme: weights grown outward from
// the mode by the ratio of neighbours, so nothing underflows, then scaled by
// their sum; each tail is bounded by the geometric series that the ratio
// p_(k+1)/p_k = lambda/(k+1) dominates).
struct PoissonWeights {
  long left = 0;
  long right = 0;
  std::vector<double> weights;  // weights[k - left] = p_k
  double truncated = 0;         // 1 - sum of the weights kept (never below 0)
};

Outcome<PoissonWeights> foxGlynn(double lambda, double epsilon);

// The right truncation point that foxGlynn would choose, without the weights:
// the number of uniformisation steps a time point needs.
// The right point for a Poisson rate too large for a long step count.
inline constexpr long kTooManySteps = 0x7FFFFFFFFFFFFFFFL;

long poissonRightPoint(double lambda, double epsilon);

}  // namespace solver

#endif
