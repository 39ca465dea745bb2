#include "Gth.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <string>

namespace solver {

namespace {

// Takes `value` out of an unordered list (it is there at most once).
void removeFrom(std::vector<int>& list, int value) {
  auto it = std::find(list.begin(), list.end(), value);
  if (it != list.end()) {
    *it = list.back();
    list.pop_back();
  }
}

}  // namespace

Outcome<std::vector<double>> gthStationary(SparseRates out, std::uint64_t maxEntries) {
  const int m = static_cast<int>(out.size());
  if (m == 1) return std::vector<double>{1.0};
  std::vector<std::vector<int>> in(static_cast<std::size_t>(m));
  std::uint64_t entries = 0;
  for (int i = 0; i < m; i++)
    for (const auto& e : out[i]) {
      in[e.first].push_back(i);
      entries++;
    }
  // What a state taken out needs to come back: the sum of its rates out and
  // its predecessors still there then, with their rates into it.
  struct Taken {
    int state;
    double sum;
    std::vector<std::pair<int, double>> from;
  };
  std::vector<Taken> taken;
  taken.reserve(static_cast<std::size_t>(m));
  std::vector<char> gone(static_cast<std::size_t>(m), 0);
  const auto cost = [&](int n) { return static_cast<std::uint64_t>(in[n].size()) * out[n].size(); };
  // Smallest count first; an entry whose count has changed since is stale.
  using Candidate = std::pair<std::uint64_t, int>;
  std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> candidates;
  for (int n = 0; n < m; n++) candidates.emplace(cost(n), n);
  std::vector<int> position(static_cast<std::size_t>(m), -1);  // scatter of one row: j -> index in it
  const Error notIrreducible{
      "the chain is not irreducible: a state has no rate to, or none from, the states still there"};
  for (int left = m; left > 1; left--) {
    int n = -1;
    while (n < 0 && !candidates.empty()) {
      const auto [c, s] = candidates.top();
      candidates.pop();
      if (!gone[s] && c == cost(s)) n = s;
    }
    if (n < 0) return notIrreducible;
    const std::vector<std::pair<int, double>>& through = out[n];
    double sum = 0;
    for (const auto& e : through) sum += e.second;
    if (!(sum > 0) || in[n].empty()) return notIrreducible;
    Taken t{n, sum, {}};
    t.from.reserve(in[n].size());
    for (int i : in[n]) {
      std::vector<std::pair<int, double>>& row = out[i];
      double rate = 0;
      for (std::size_t k = 0; k < row.size(); k++) position[row[k].first] = static_cast<int>(k);
      // q_in leaves the row: n is taken out.
      const int at = position[n];
      rate = row[at].second;
      position[row.back().first] = at;
      row[at] = row.back();
      row.pop_back();
      position[n] = -1;
      t.from.emplace_back(i, rate);
      for (const auto& [j, qnj] : through) {
        if (j == i) continue;  // a loop back to i moves nothing: left out, as the pivot is a sum
        const double add = rate * qnj / sum;
        if (position[j] >= 0) {
          row[position[j]].second += add;
        } else {
          position[j] = static_cast<int>(row.size());
          row.emplace_back(j, add);
          in[j].push_back(i);
          entries++;
        }
      }
      for (const auto& e : row) position[e.first] = -1;
    }
    for (const auto& e : through) removeFrom(in[e.first], n);
    entries += t.from.size();
    if (entries > maxEntries)
      return Error{"its elimination needs more than " + std::to_string(maxEntries) + " entries"};
    gone[n] = 1;
    for (const auto& [i, rate] : t.from) candidates.emplace(cost(i), i);
    for (const auto& e : through) candidates.emplace(cost(e.first), e.first);
    std::vector<std::pair<int, double>>().swap(out[n]);
    std::vector<int>().swap(in[n]);
    taken.push_back(std::move(t));
  }
  std::vector<double> pi(static_cast<std::size_t>(m), 0.0);
  for (int s = 0; s < m; s++)
    if (!gone[s]) pi[s] = 1.0;
  for (auto t = taken.rbegin(); t != taken.rend(); ++t) {
    double flow = 0;
    for (const auto& [i, rate] : t->from) flow += pi[i] * rate;
    pi[t->state] = flow / t->sum;
  }
  double total = 0;
  for (double p : pi) total += p;
  for (double& p : pi) p /= total;
  return pi;
}

}  // namespace solver
