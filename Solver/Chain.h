#ifndef SOLVER_CHAIN_H
#define SOLVER_CHAIN_H

#include <Eigen/SparseCore>
#include <cstdint>
#include <vector>

#include "UmbReader.h"

// The chain in the form the numerical methods use: the generator's
// off-diagonal rates by target state (row j lists every i with its rate
// q_ij > 0, i != j), which is what Gauss-Seidel on pi Q = 0 and the product
// pi P of uniformisation both read, and the total rate out of each state.
// Self-loops do not move probability, so they stay out of the matrix; their
// impulses still count in the reward rates.
namespace solver {

using umb::UmbReader;
using umb::UmbReward;

using RateMatrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

struct Chain {
  int states = 0;
  int initial = 0;
  RateMatrix incoming;          // row j: (i, q_ij)
  std::vector<double> outRate;  // sum over j != i of q_ij
  // The successors j != i with q_ij > 0 of each state, for the graph searches.
  std::vector<std::int64_t> outStart;  // states + 1 offsets
  std::vector<int> outTarget;
};

// Builds the chain from a checked .umb (parallel branches to one target are
// summed).
Chain buildChain(const UmbReader& umb);

// rho_i = r_i + sum_j q_ij * imp_ij: the rate reward plus the rate at which
// impulse reward is earned in state i (self-loops included).
std::vector<double> rewardRates(const UmbReader& umb, const UmbReward& reward);

}  // namespace solver

#endif
