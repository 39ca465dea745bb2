#ifndef SOLVER_COMPONENTS_H
#define SOLVER_COMPONENTS_H

#include <cstdint>
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
  int initialClass = kUnreachable;       // classOf[initial], kept when classOf is let go
};

// A graph given by the predecessors of each state (row j lists every i with
// an edge i -> j), as the rate matrix holds it.
struct PredecessorGraph {
  std::vector<std::uint64_t> start;  // states + 1 offsets
  std::vector<int> source;
  int rows() const { return static_cast<int>(start.size()) - 1; }
  std::uint64_t begin(int j) const { return start[j]; }
  std::uint64_t end(int j) const { return start[j + 1]; }
  int column(std::uint64_t k) const { return source[k]; }
};

// Tarjan's algorithm (in Pearce's form, one number per state) with an
// explicit stack (no recursion, so no depth limit) on the predecessor graph,
// which has the same strongly connected components as the chain. It
// finishes every component after those that lead to it, so whether the
// initial state reaches a component and whether it has a way out are both
// settled by the time it finishes, with no second pass over the edges.
Components findComponents(const RateMatrix& incoming, int initial);
Components findComponents(const PredecessorGraph& incoming, int initial);

}  // namespace solver

#endif
