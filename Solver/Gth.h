#ifndef SOLVER_GTH_H
#define SOLVER_GTH_H

#include <cstdint>
#include <utility>
#include <vector>

#include "Outcome.h"

namespace solver {

// The rates of an irreducible generator over states 0 .. m-1: out[i] lists
// (j, q_ij) for j != i, each j once, q_ij > 0.
using SparseRates = std::vector<std::vector<std::pair<int, double>>>;

// Its stationary distribution by the elimination of Grassmann, Taksar and
// Heyman (GTH): states are taken out one at a time, each state's rates to
// the others rerouted through the one taken out (q_ij += q_in q_nj / S_n,
// S_n the sum of n's rates to the states still there), and the
// probabilities come back in reverse order as pi_n = sum_i pi_i q_in / S_n.
// Every step adds, multiplies or divides numbers that are not negative; no
// pivot is a difference, so each probability keeps its relative accuracy
// (a few units of rounding per state), however small it is against the
// others. The state taken out next is the one whose rerouting adds the
// fewest entries (Markowitz's count, |in| times |out|). An error when the
// rerouted entries would pass `maxEntries` or the generator is not
// irreducible.
Outcome<std::vector<double>> gthStationary(SparseRates out, std::uint64_t maxEntries);

}  // namespace solver

#endif
