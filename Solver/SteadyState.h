#ifndef SOLVER_STEADYSTATE_H
#define SOLVER_STEADYSTATE_H

#include <string>
#include <vector>

#include "Chain.h"
#include "Components.h"
#include "Outcome.h"
#include "Progress.h"

namespace solver {

// Automatic: Gauss-Seidel on each system, and where it stalls, stops being
// finite or reaches the iteration limit, the direct solver (a system of at
// most directLimit states) or BiCGSTAB (a larger one) from the same start.
enum class Method { Automatic, GaussSeidel, Sor, Power, Direct, Krylov };

// Every method, in the order -m lists them: the command line reads its
// names from here, and the tests run each.
inline constexpr Method kMethods[] = {Method::Automatic, Method::GaussSeidel, Method::Sor,
                                      Method::Power,     Method::Direct,      Method::Krylov};

// "auto", "gs", "sor", "power", "direct", "bicgstab"
const char* methodName(Method method);

struct SteadyStateSettings {
  Method method = Method::Automatic;
  double omega = 1.2;      // SOR relaxation, 0 < omega < 2
  double epsilon = 1e-12;  // largest relative change of a component in one iteration
  long maxIterations = 100000;
  int directLimit = 10000;  // the most states the direct solver takes in one system
};

// One linear solve's account: iterations summed over the systems solved and
// the worst estimate of the largest relative error of a component of the
// solution. For an iteration that is the changes still to come: the last
// change c times r / (1 - r), r the rate at which the changes shrank over
// the last iterations (Contraction); for the direct solver and BiCGSTAB the
// largest relative residual of a state's balance equation.
struct SolveAccount {
  std::string method;  // the methods that produced the systems' solutions, "+" between two
  long iterations = 0;
  double errorBound = 0;
  double lastChange = 0;  // an iteration's largest relative change at the end
};

// How fast an iteration's largest relative change shrinks: from the last
// kWindow changes, r = (c_last / c_first)^(1 / (kWindow - 1)), the mean
// ratio of one change to the one before. The error of the iterate is then
// estimated by the changes still to come, c r / (1 - r): a geometric
// series, so an estimate, not a bound. A ratio of 1 - 1/k or more (no
// contraction seen, or too little) is taken as 1 - 1/k after k iterations.
class Contraction {
 public:
  static constexpr int kWindow = 10;
  void add(double change);
  double remaining() const;

 private:
  double changes_[kWindow] = {};
  long count_ = 0;
};

// The chain's long-run distribution from its initial state: for a state s
// of bottom component b, P(absorbed in b) * pi_b(s); 0 on transient and
// unreachable states.
struct LongRun {
  std::vector<double> probability;
  SolveAccount account;
  std::size_t bottomComponents = 0;
  std::size_t transientStates = 0;
  // Why a system went to another method (automatic method), or to a lower
  // relaxation (SOR).
  std::vector<std::string> switches;
};

Outcome<LongRun> solveLongRun(const Chain& chain, const Components& components, const SteadyStateSettings& settings,
                              Progress& progress);

}  // namespace solver

#endif
