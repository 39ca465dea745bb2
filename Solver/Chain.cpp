#include "Chain.h"

namespace solver {

namespace {

// Drops the pages of the branch arrays that states [from, to) have read.
void releaseBranches(const UmbReader& umb, int from, int to) {
  const std::uint64_t a = umb.rowStart[from], b = umb.rowStart[to];
  umb.release(umb.target.data() + a, umb.target.data() + b);
  umb.release(umb.probability.data() + a, umb.probability.data() + b);
}

constexpr int kReleaseEvery = 1 << 16;  // states

}  // namespace

Chain buildChain(const UmbReader& umb) {
  Chain c;
  const int n = static_cast<int>(umb.states());
  c.states = n;
  c.initial = static_cast<int>(umb.initialState);
  c.outRate.assign(n, 0.0);

  // Counts first, then fills, so that the matrix is allocated once. Sources
  // come in increasing order, so a repeated (i, j) is always next to its twin.
  std::vector<int> lastSource(n, -1);
  std::vector<int> counts(n + 1, 0);
  c.outStart.assign(n + 1, 0);
  c.outTarget.reserve(umb.branches());
  // Calls f(j, rate) for each branch of state i that moves probability, then
  // lets the mapped pages of every kReleaseEvery states go.
  auto forEachRate = [&umb, n](int i, auto&& f) {
    const double exit = umb.exitRate[i];
    for (std::uint64_t b = umb.rowStart[i]; b < umb.rowStart[i + 1]; b++) {
      const int j = static_cast<int>(umb.target[b]);
      const double rate = exit * umb.probability[b];
      if (j != i && rate > 0.0) f(j, rate);
    }
    if ((i + 1) % kReleaseEvery == 0 || i + 1 == n) releaseBranches(umb, (i / kReleaseEvery) * kReleaseEvery, i + 1);
  };
  for (int i = 0; i < n; i++) {
    forEachRate(i, [&](int j, double rate) {
      c.outRate[i] += rate;
      if (lastSource[j] != i) {
        lastSource[j] = i;
        counts[j + 1]++;
        c.outTarget.push_back(j);
      }
    });
    c.outStart[i + 1] = static_cast<std::int64_t>(c.outTarget.size());
  }
  c.outTarget.shrink_to_fit();
  for (int j = 0; j < n; j++) counts[j + 1] += counts[j];
  c.incoming.resize(n, n);
  c.incoming.resizeNonZeros(counts[n]);
  int* outer = c.incoming.outerIndexPtr();
  int* inner = c.incoming.innerIndexPtr();
  double* values = c.incoming.valuePtr();
  for (int j = 0; j <= n; j++) outer[j] = counts[j];
  std::vector<int>& fill = counts;  // next free slot per row
  std::fill(lastSource.begin(), lastSource.end(), -1);
  for (int i = 0; i < n; i++) {
    forEachRate(i, [&](int j, double rate) {
      if (lastSource[j] == i) {
        values[fill[j] - 1] += rate;
      } else {
        lastSource[j] = i;
        inner[fill[j]] = i;
        values[fill[j]] = rate;
        fill[j]++;
      }
    });
  }
  return c;
}

std::vector<double> rewardRates(const UmbReader& umb, const UmbReward& reward) {
  const std::size_t n = umb.states();
  std::vector<double> rho(n, 0.0);
  if (!reward.stateValues.empty())
    for (std::size_t i = 0; i < n; i++) rho[i] = reward.stateValues[i];
  if (!reward.branchValues.empty()) {
    for (std::size_t i = 0; i < n; i++) {
      const double exit = umb.exitRate[i];
      for (std::uint64_t b = umb.rowStart[i]; b < umb.rowStart[i + 1]; b++) {
        const double impulse = reward.branchValues[b];
        if (impulse != 0.0) rho[i] += exit * umb.probability[b] * impulse;
      }
      if ((i + 1) % kReleaseEvery == 0 || i + 1 == n) {
        const std::uint64_t from = umb.rowStart[(i / kReleaseEvery) * kReleaseEvery], to = umb.rowStart[i + 1];
        umb.release(reward.branchValues.data() + from, reward.branchValues.data() + to);
        umb.release(umb.probability.data() + from, umb.probability.data() + to);
      }
    }
  }
  return rho;
}

}  // namespace solver
