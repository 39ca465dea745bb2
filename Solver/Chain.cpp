#include "Chain.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace solver {

namespace {

// Drops the pages of the branch arrays that states [from, to) have read.
void releaseBranches(const UmbReader& umb, int from, int to) {
  const std::uint64_t a = umb.rowStart[from], b = umb.rowStart[to];
  umb.release(umb.target.data() + a, umb.target.data() + b);
  umb.release(umb.probability.data() + a, umb.probability.data() + b);
  umb.release(umb.rowStart.data() + from, umb.rowStart.data() + to);
  umb.release(umb.exitRate.data() + from, umb.exitRate.data() + to);
}

// States per slice whose mapped pages are let go together: a slice's
// branches are a megabyte or two, and a call per slice costs nothing.
constexpr int kReleaseEvery = 1 << 13;

// The distinct rates met so far, each with its index into the table:
// open addressing on the bits of the double, twice as many slots as the
// table may hold, so a probe ends after a slot or two.
class RateCodes {
 public:
  RateCodes() : slots_(2 * RateMatrix::kMostShared, kEmpty) {}

  // The rate's index, given a new one if there is room; false when the
  // table is full.
  bool code(double rate, std::uint16_t& out) {
    std::uint64_t bits;
    std::memcpy(&bits, &rate, sizeof bits);
    std::size_t h = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits));
    for (;; h = (h + 1) & (slots_.size() - 1)) {
      const std::uint32_t s = slots_[h];
      if (s == kEmpty) break;
      if (keys_[s] == bits) {
        out = static_cast<std::uint16_t>(s);
        return true;
      }
    }
    if (table.size() == RateMatrix::kMostShared) return false;
    slots_[h] = static_cast<std::uint32_t>(table.size());
    out = static_cast<std::uint16_t>(table.size());
    keys_.push_back(bits);
    table.push_back(rate);
    return true;
  }

  std::vector<double> table;

 private:
  static constexpr int kSlotBits = std::bit_width(2 * RateMatrix::kMostShared) - 1;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
  std::vector<std::uint32_t> slots_;
  std::vector<std::uint64_t> keys_;
};

}  // namespace

class RateMatrixBuilder {
 public:
  static Chain build(const UmbReader& umb);
  static Chain rewire(const Chain& chain, const std::function<int(int, int)>& to);
};

Chain RateMatrixBuilder::rewire(const Chain& chain, const std::function<int(int, int)>& to) {
  Chain c;
  const int n = chain.states;
  c.states = n;
  c.initial = chain.initial;
  c.outRate.assign(n, 0.0);
  std::vector<std::vector<std::pair<int, double>>> rows(n);
  for (int j = 0; j < n; j++)
    chain.incoming.forEach(j, [&](int i, double rate) {
      const int k = to(i, j);
      if (k < 0 || k == i) return;
      rows[k].emplace_back(i, rate);
      c.outRate[i] += rate;
    });
  RateMatrix& m = c.incoming;
  m.rows_ = n;
  m.start64_.assign(static_cast<std::size_t>(n) + 1, 0);
  for (int j = 0; j < n; j++) {
    auto& row = rows[j];
    std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t kept = 0;
    for (std::size_t k = 0; k < row.size(); k++) {
      if (kept > 0 && row[kept - 1].first == row[k].first)
        row[kept - 1].second += row[k].second;
      else
        row[kept++] = row[k];
    }
    row.resize(kept);
    for (const auto& [i, rate] : row) {
      m.columns_.push_back(i);
      m.plain_.push_back(rate);
    }
    std::vector<std::pair<int, double>>().swap(row);
    m.start64_[static_cast<std::size_t>(j) + 1] = m.columns_.size();
  }
  if (m.columns_.size() <= 0xFFFFFFFFull) {
    m.start32_.assign(m.start64_.begin(), m.start64_.end());
    std::vector<std::uint64_t>().swap(m.start64_);
  }
  return c;
}

Chain RateMatrixBuilder::build(const UmbReader& umb) {
  Chain c;
  const int n = static_cast<int>(umb.states());
  c.states = n;
  c.initial = static_cast<int>(umb.initialState);
  c.outRate.assign(n, 0.0);
  RateMatrix& m = c.incoming;
  m.rows_ = n;

  // The moves out of one state, parallel branches summed in branch order;
  // where[j] is j's place in it while j is there.
  std::vector<std::pair<int, double>> moves;
  std::vector<std::uint32_t> where(n, 0);
  // Calls f(j, rate) for each target of state i that gets probability, then
  // lets the mapped pages of every kReleaseEvery states go. The exit rate
  // sums the branches one by one, as they come.
  auto forEachMove = [&](int i, bool addExit, auto&& f) {
    const double exit = umb.exitRate[i];
    moves.clear();
    for (std::uint64_t b = umb.rowStart[i]; b < umb.rowStart[i + 1]; b++) {
      const int j = static_cast<int>(umb.target[b]);
      const double rate = exit * umb.probability[b];
      if (j == i || !(rate > 0.0)) continue;
      if (addExit) c.outRate[i] += rate;
      const std::uint32_t w = where[j];
      if (w < moves.size() && moves[w].first == j) {
        moves[w].second += rate;
      } else {
        where[j] = static_cast<std::uint32_t>(moves.size());
        moves.emplace_back(j, rate);
      }
    }
    for (const auto& [j, rate] : moves) f(j, rate);
    if ((i + 1) % kReleaseEvery == 0 || i + 1 == n) releaseBranches(umb, (i / kReleaseEvery) * kReleaseEvery, i + 1);
  };

  // Counts first, then fills, so that the matrix is allocated once; the
  // rates are coded on the way while the table has room.
  std::vector<std::uint32_t> counts(n, 0);
  RateCodes codes;
  bool shared = true;
  std::uint16_t code = 0;
  for (int i = 0; i < n; i++) {
    forEachMove(i, true, [&](int j, double rate) {
      counts[j]++;
      if (shared) shared = codes.code(rate, code);
    });
  }
  std::uint64_t total = 0;
  for (int j = 0; j < n; j++) total += counts[j];
  auto setStarts = [&](auto& start) {
    start.resize(static_cast<std::size_t>(n) + 1);
    std::uint64_t at = 0;
    for (int j = 0; j < n; j++) {
      start[j] = static_cast<std::remove_reference_t<decltype(start[0])>>(at);
      at += counts[j];
    }
    start[n] = static_cast<std::remove_reference_t<decltype(start[0])>>(at);
  };
  if (total <= 0xFFFFFFFFull)
    setStarts(m.start32_);
  else
    setStarts(m.start64_);
  m.columns_.resize(total);
  if (shared) {
    m.codes_.resize(total);
    m.table_ = std::move(codes.table);
  } else {
    m.plain_.resize(total);
  }
  codes = RateCodes();

  std::vector<std::uint32_t>& fill = counts;  // entries placed so far per row
  std::fill(fill.begin(), fill.end(), 0);
  for (int i = 0; i < n; i++) {
    forEachMove(i, false, [&](int j, double rate) {
      const std::uint64_t slot = m.begin(j) + fill[j]++;
      m.columns_[slot] = i;
      if (shared) {
        codes.code(rate, code);
        m.codes_[slot] = code;
      } else {
        m.plain_[slot] = rate;
      }
    });
  }
  return c;
}

Chain buildChain(const UmbReader& umb) { return RateMatrixBuilder::build(umb); }

Chain rewireChain(const Chain& chain, const std::function<int(int, int)>& to) {
  return RateMatrixBuilder::rewire(chain, to);
}

std::uint64_t chainBuildBytes(std::uint64_t states) {
  // The counts and places of the targets, and the rate table's slots.
  return 8 * (states + 1) + 12 * RateMatrix::kMostShared * 2;
}

std::uint64_t chainBytes(std::uint64_t states, std::uint64_t branches) {
  // Offsets, columns and 16-bit codes (rates of library models repeat), the
  // table and the exit rates.
  return 4 * (states + 1) + 6 * branches + 8 * RateMatrix::kMostShared + 8 * states;
}
std::vector<double> rewardRates(const UmbReader& umb, const UmbReward& reward) {
  const std::size_t n = umb.states();
  std::vector<double> rho(n, 0.0);
  if (!reward.stateValues.empty()) {
    for (std::size_t i = 0; i < n; i++) {
      rho[i] = reward.stateValues[i];
      if ((i + 1) % kReleaseEvery == 0 || i + 1 == n)
        umb.release(reward.stateValues.data() + (i / kReleaseEvery) * kReleaseEvery, reward.stateValues.data() + i + 1);
    }
  }
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
        const std::size_t first = (i / kReleaseEvery) * kReleaseEvery;
        umb.release(umb.rowStart.data() + first, umb.rowStart.data() + i + 1);
        umb.release(umb.exitRate.data() + first, umb.exitRate.data() + i + 1);
      }
    }
  }
  return rho;
}

}  // namespace solver
