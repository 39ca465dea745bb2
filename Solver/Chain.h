#ifndef SOLVER_CHAIN_H
#define SOLVER_CHAIN_H

#include <cstdint>
#include <functional>
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

// The rows in compressed form: 32-bit row offsets while the entries fit
// (64-bit past that), 32-bit columns, and each rate as a 16-bit index into
// the table of the chain's distinct rates when there are at most 65,536 of
// them (models repeat a handful of rates over millions of transitions),
// else the rates themselves.
class RateMatrix {
 public:
  static constexpr std::size_t kMostShared = 1 << 16;

  int rows() const { return rows_; }
  std::uint64_t entries() const { return columns_.size(); }
  std::size_t distinctRates() const { return table_.size(); }
  std::uint64_t bytes() const {
    return 4 * start32_.size() + 8 * start64_.size() + 4 * columns_.size() + 2 * codes_.size() + 8 * table_.size() +
           8 * plain_.size();
  }

  std::uint64_t begin(int j) const { return start64_.empty() ? start32_[j] : start64_[j]; }
  std::uint64_t end(int j) const { return begin(j + 1); }
  int column(std::uint64_t k) const { return columns_[k]; }
  double rate(std::uint64_t k) const { return plain_.empty() ? table_[codes_[k]] : plain_[k]; }

  // The rows with their storage settled at compile time, for the loops that
  // read every row on every iteration: calls f(rows), where rows.dot(j, x)
  // is dot(j, x) without the checks of which arrays are in use.
  template <class F>
  decltype(auto) withLayout(F&& f) const {
    if (start64_.empty())
      return plain_.empty() ? f(Layout<std::uint32_t, true>{this, start32_.data()})
                            : f(Layout<std::uint32_t, false>{this, start32_.data()});
    return plain_.empty() ? f(Layout<std::uint64_t, true>{this, start64_.data()})
                          : f(Layout<std::uint64_t, false>{this, start64_.data()});
  }

  // sum over row j of q_ij x_i, in the row's order.
  double dot(int j, const double* x) const {
    return withLayout([&](const auto& rows) { return rows.dot(j, x); });
  }

  // f(i, q_ij) for each entry of row j, in order.
  template <class F>
  void forEach(int j, F&& f) const {
    const std::uint64_t a = begin(j), b = end(j);
    if (plain_.empty()) {
      for (std::uint64_t k = a; k < b; k++) f(columns_[k], table_[codes_[k]]);
    } else {
      for (std::uint64_t k = a; k < b; k++) f(columns_[k], plain_[k]);
    }
  }

 private:
  template <class Start, bool kCoded>
  struct Layout {
    Layout(const RateMatrix* m, const Start* start)
        : start(start),
          col(m->columns_.data()),
          code(m->codes_.data()),
          table(m->table_.data()),
          plain(m->plain_.data()) {}
    double dot(int j, const double* x) const {
      double sum = 0;
      for (std::uint64_t k = start[j], b = start[j + 1]; k < b; k++)
        sum += (kCoded ? table[code[k]] : plain[k]) * x[col[k]];
      return sum;
    }
    const Start* start;
    const int* col;
    const std::uint16_t* code;
    const double* table;
    const double* plain;
  };

  friend class RateMatrixBuilder;
  int rows_ = 0;
  std::vector<std::uint32_t> start32_;
  std::vector<std::uint64_t> start64_;
  std::vector<int> columns_;
  std::vector<std::uint16_t> codes_;
  std::vector<double> table_;
  std::vector<double> plain_;
};

struct Chain {
  int states = 0;
  int initial = 0;
  RateMatrix incoming;          // row j: (i, q_ij)
  std::vector<double> outRate;  // sum over j != i of q_ij
};

// Builds the chain from a checked .umb (parallel branches to one target are
// summed).
Chain buildChain(const UmbReader& umb);

// The chain with every transition i -> j moved by `to(i, j)`: to the state
// it returns, or dropped for -1 (and for the source itself, a self-loop).
// Rates into one target from one source are summed; the rates are kept as
// they are, not coded.
Chain rewireChain(const Chain& chain, const std::function<int(int, int)>& to);

// The bytes buildChain holds at most for a chain of this size beyond the
// matrix it returns (its counting vectors), and at most what it returns.
std::uint64_t chainBuildBytes(std::uint64_t states);
std::uint64_t chainBytes(std::uint64_t states, std::uint64_t branches);

// rho_i = r_i + sum_j q_ij * imp_ij: the rate reward plus the rate at which
// impulse reward is earned in state i (self-loops included).
std::vector<double> rewardRates(const UmbReader& umb, const UmbReward& reward);

}  // namespace solver

#endif
