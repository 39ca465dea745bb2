#ifndef SOLVER_COMPONENTS_H
#define SOLVER_COMPONENTS_H

#include <vector>

#include "Chain.h"

namespace solver {

// The part of the chain reachable from the initial state, split into its
// bottom strongly connected components (the chain's long-run classes) and
// the transient states that lead to them.
struct Components {
  static constexpr int kUnreachable = -1;
  static constexpr int kTransient = -2;
  std::vector<std::vector<int>> bottom;  // states of each BSCC, increasing
  std::vector<int> transient;            // increasing
  std::vector<int> classOf;              // a BSCC's index, kTransient or kUnreachable
};

// Tarjan's algorithm from the initial state, with an explicit stack (no
// recursion, so no depth limit).
Components findComponents(const Chain& chain);

}  // namespace solver

#endif
