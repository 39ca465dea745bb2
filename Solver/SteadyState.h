#ifndef SOLVER_STEADYSTATE_H
#define SOLVER_STEADYSTATE_H

#include <string>
#include <vector>

#include "Chain.h"
#include "Components.h"
#include "Outcome.h"
#include "Progress.h"

namespace solver {

enum class Method { GaussSeidel, Sor, Power, Direct };

// "gs", "sor", "power", "direct"
const char* methodName(Method method);

struct SteadyStateSettings {
  Method method = Method::GaussSeidel;
  double omega = 1.2;          // SOR relaxation, 0 < omega < 2
  double epsilon = 1e-12;      // largest relative change of a component in one iteration
  long maxIterations = 100000;
  int directLimit = 10000;     // the most states the direct solver takes in one system
};

// One linear solve's account: iterations summed over the systems solved and
// the worst convergence figure reached (largest relative change of the last
// iteration; for the direct solver the relative residual).
struct SolveAccount {
  std::string method;
  long iterations = 0;
  double errorBound = 0;
};

// The chain's long-run distribution from its initial state: for a state s
// of bottom component b, P(absorbed in b) * pi_b(s); 0 on transient and
// unreachable states.
struct LongRun {
  std::vector<double> probability;
  SolveAccount account;
  std::size_t bottomComponents = 0;
  std::size_t transientStates = 0;
};

Outcome<LongRun> solveLongRun(const Chain& chain, const Components& components, const SteadyStateSettings& settings,
                              Progress& progress);

}  // namespace solver

#endif
