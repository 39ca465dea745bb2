#ifndef SOLVER_DELAYTRANSIENT_H
#define SOLVER_DELAYTRANSIENT_H

#include <vector>

#include "Chain.h"
#include "Outcome.h"
#include "Progress.h"
#include "Regenerative.h"

// Transient values of a model with deterministic delays, at most one
// enabled in each state (the class of Regenerative.h), by the method of
// supplementary variables: the state is extended by the age of the running
// delay, and the age is discretised in steps h that divide every delay and
// every time asked for. Over one step the exponential transitions act
// exactly (uniformisation of the whole rate matrix over h, with the mass
// of each age kept apart: a move inside a delay's own states keeps the
// age, a move into another delay's states starts its clock). Then every
// age grows by one step; the mass whose age reaches its delay completes and
// branches by the activity's probabilities, its targets' clocks starting at
// age 0 exactly. A clock started by an exponential jump during a step has
// an age between 0 and h at the step's end: half its mass is put at age 0
// and half at age h. That leaves an error c1 h + c2 h^2 + ... (a clock
// that completes within h after a time asked for is half counted), so the
// solution is computed with h, h/2 and h/4 and extrapolated twice
// (Richardson): w = 2 v_(h/2) - v_h, then (4 w_(h/4) - w_(h/2)) / 3. The
// error estimate is |w_(h/4) - w_(h/2)| / 3, the estimated error of
// w_(h/4), plus the Poisson mass the uniformisation over each step left out,
// summed over the steps, times the largest reward (times t for accumulated
// reward). It is an estimate, not a bound.
namespace solver {

struct DelayTransientValues {
  long stepsPerDelay = 0;  // steps of length h/4 in the shortest delay
  long steps = 0;          // steps of length h/4 to the latest time
  // [reward][time]: E[rho(X_t)] and integral_0^t E[rho(X_s)] ds from the
  // initial state, and their error estimates.
  std::vector<std::vector<double>> instant, cumulative, instantError, cumulativeError;
};

// Refuses, with the reason, when no step divides every delay and time
// within the steps allowed (maxSteps, of the finer solution).
Outcome<DelayTransientValues> solveDelayTransient(const UmbReader& umb, const Chain& chain, const DelaySlots& slots,
                                                  const std::vector<const std::vector<double>*>& rewards,
                                                  const std::vector<double>& times, double epsilon, long maxSteps,
                                                  Progress& progress);

}  // namespace solver

#endif
