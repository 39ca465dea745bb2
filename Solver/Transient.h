#ifndef SOLVER_TRANSIENT_H
#define SOLVER_TRANSIENT_H

#include <vector>

#include "Chain.h"
#include "Outcome.h"
#include "Progress.h"

namespace solver {

struct TransientSettings {
  double epsilon = 1e-12;          // Poisson mass left out per time point; also the steady-state detection threshold
  long maxSteps = 1000000;         // uniformisation steps allowed (the stiff-chain limit)
  bool detectSteadyState = false;  // opt-in: the per-step change does not bound the distance to the limit
};

// Per reward vector and time point t: E[rho(X_t)] and the accumulated
// integral_0^t E[rho(X_s)] ds, from the initial state.
struct TransientValues {
  double rate = 0;                              // the uniformisation rate q
  long steps = 0;                               // steps taken (all time points together)
  long detectedAt = -1;                         // the step at which the distribution stopped changing, or -1
  std::vector<std::vector<double>> instant;     // [reward][time]
  std::vector<std::vector<double>> cumulative;  // [reward][time]
  std::vector<long> stepsFor;                   // [time]: the steps that time point used
  std::vector<double> truncated;                // [time]: Poisson mass left out of the accumulated value
  std::vector<double> instantTruncated;         // [time]: Poisson mass left out of the instant value
};

// The uniformisation rate of the chain and the steps the largest time needs.
struct UniformisationPlan {
  double rate = 0;
  long steps = 0;
};
UniformisationPlan planUniformisation(const Chain& chain, double maxTime, double epsilon);

// One pass of uniformisation for every reward vector and time point:
// pi_(k+1) = pi_k (I + Q/q), and with Poisson weights p_k(qt),
//   E[rho(X_t)]         = sum_k p_k(qt) pi_k . rho
//   integral_0^t ...     = (1/q) sum_k P(N_qt > k) pi_k . rho.
// Refuses, naming the figure, when the plan needs more than maxSteps.
Outcome<TransientValues> solveTransient(const Chain& chain, const std::vector<const std::vector<double>*>& rewards,
                                        const std::vector<double>& times, const TransientSettings& settings,
                                        Progress& progress);

}  // namespace solver

#endif
