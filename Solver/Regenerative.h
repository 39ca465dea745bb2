#ifndef SOLVER_REGENERATIVE_H
#define SOLVER_REGENERATIVE_H

#include <functional>
#include <string>
#include <vector>

#include "Chain.h"
#include "Outcome.h"
#include "Progress.h"
#include "SteadyState.h"

// The long run of a model with deterministic delays, at most one enabled in
// each state, as a Markov regenerative process. A period starts whenever
// the process enters a state by a jump that is not a move of the running
// delay's subordinated chain:
//  - in a state where no deterministic activity is enabled, the period is
//    the sojourn there, ended by an exponential jump;
//  - in a state where activity d (delay tau) is enabled, the process moves
//    by the exponential transitions among the states where d stays enabled
//    (d's subordinated chain, its generator Q_d) until either a transition
//    leads to a state where d is not enabled (d is preempted) or tau has
//    passed, when d completes from the state reached and branches by its
//    probabilities Delta.
// The embedded chain of the period starts has, for a start in such a state
// s, the row e_s (Omega Delta + Psi Qbar) with Omega = exp(Q_d tau) and
// Psi = integral_0^tau exp(Q_d t) dt, Qbar the rates that leave d's states;
// Psi's row is also the expected time the period spends in each state.
// Neither matrix is formed: every product x P uniformises each subordinated
// chain over its delay (the implicit method), so the memory is a few
// vectors beside the rate matrix.
namespace solver {

struct RegenerativeResult {
  std::vector<double> probability;  // long-run share of time in each state
  // Long-run number of completions of the deterministic activity enabled in
  // each state, per unit of time (0 where none is enabled).
  std::vector<double> completions;
  SolveAccount account;
  std::size_t bottomComponents = 0;
  std::size_t transientStates = 0;
  std::size_t reachable = 0;
};

// Why the model is outside the class solveRegenerative takes (a state with
// two deterministic activities enabled, or an activity whose delay depends
// on the marking), naming the states; empty when it is inside.
std::string outsideRegenerativeClass(const UmbReader& umb);

// The deterministic activity of each state of a model in that class: its
// slot (or -1 where none is enabled), its enabling (the index of its
// deterministic part's entry), and each slot's delay.
struct DelaySlots {
  std::vector<int> activityOf;
  std::vector<std::uint64_t> enabling;
  std::vector<double> tau;
};
Outcome<DelaySlots> delaySlots(const UmbReader& umb);

// `delayEpsilon`: the Poisson mass each uniformisation over a delay may
// leave out; `maxSteps`: the most steps one such uniformisation may take.
Outcome<RegenerativeResult> solveRegenerative(const umb::UmbReader& umb, Chain& chain,
                                              const SteadyStateSettings& settings, double delayEpsilon, long maxSteps,
                                              Progress& progress, const std::function<void(const std::string&)>& note);

}  // namespace solver

#endif
