#include "FoxGlynn.h"

#include <cmath>
#include <deque>
#include <string>

namespace solver {

namespace {

// Weights relative to the mode, grown outward until they fall below this
// share of the mode's: far below any epsilon asked for, and far above
// underflow.
constexpr double kSmallest = 1e-30;
constexpr double kLargestLambda = 1e10;

// The weights relative to the mode's, from lo to hi, and their sum.
struct Grown {
  long lo = 0;
  std::deque<double> w;
  double total = 0;
};

Grown grow(double lambda) {
  const long mode = static_cast<long>(std::floor(lambda));
  std::deque<double> w{1.0};
  long lo = mode, hi = mode;
  while (lo > 0 && w.front() > kSmallest) {
    w.push_front(w.front() * static_cast<double>(lo) / lambda);
    lo--;
  }
  while (w.back() > kSmallest || static_cast<double>(hi) <= lambda) {
    w.push_back(w.back() * lambda / static_cast<double>(hi + 1));
    hi++;
  }
  // Summed from both ends towards the mode: small terms first.
  double total = 0;
  {
    std::size_t a = 0, b = w.size() - 1;
    while (a < b) {
      if (w[a] < w[b])
        total += w[a++];
      else
        total += w[b--];
    }
    total += w[a];
  }
  return Grown{lo, std::move(w), total};
}

Status checkArguments(double lambda, double epsilon) {
  if (!(lambda >= 0) || !std::isfinite(lambda) || lambda > kLargestLambda)
    return Error{"Poisson rate " + std::to_string(lambda) + " is out of range (0 to 1e10)"};
  if (!(epsilon > 0 && epsilon < 1)) return Error{"Poisson truncation epsilon must lie between 0 and 1"};
  return okStatus();
}

// Sums with the rounding error of each addition carried along (Neumaier's
// form of Kahan's compensated sum): the tails add up tens of thousands of
// terms.
class CompensatedSum {
 public:
  void add(double v) {
    const double t = sum_ + v;
    carry_ += std::fabs(sum_) >= std::fabs(v) ? (sum_ - t) + v : (v - t) + sum_;
    sum_ = t;
  }
  double value() const { return sum_ + carry_; }

 private:
  double sum_ = 0, carry_ = 0;
};

}  // namespace

Outcome<PoissonWeights> foxGlynn(double lambda, double epsilon) {
  if (auto ok = checkArguments(lambda, epsilon); !ok) return ok.error();
  PoissonWeights out;
  if (lambda == 0) {
    out.weights = {1.0};
    return out;
  }
  const long mode = static_cast<long>(std::floor(lambda));
  const Grown grown = grow(lambda);
  const std::deque<double>& w = grown.w;
  const long lo = grown.lo, hi = lo + static_cast<long>(w.size()) - 1;
  const double total = grown.total;
  auto p = [&](long k) { return w[static_cast<std::size_t>(k - lo)] / total; };
  // Left point: the largest L <= mode whose lower tail, sum_{j<L} p_j <=
  // p_(L-1) / (1 - (L-1)/lambda), is within epsilon / 2.
  long left = lo;
  for (long L = mode; L > lo; L--) {
    const double ratio = static_cast<double>(L - 1) / lambda;
    if (ratio < 1 && p(L - 1) / (1 - ratio) <= epsilon / 2) {
      left = L;
      break;
    }
  }
  // Right point: the smallest R >= mode whose upper tail, sum_{j>R} p_j <=
  // p_(R+1) / (1 - lambda/(R+2)), is within epsilon / 2.
  long right = hi;
  for (long R = mode; R < hi; R++) {
    const double ratio = lambda / static_cast<double>(R + 2);
    if (ratio < 1 && p(R + 1) / (1 - ratio) <= epsilon / 2) {
      right = R;
      break;
    }
  }
  out.left = left;
  out.right = right;
  out.weights.reserve(static_cast<std::size_t>(right - left + 1));
  double kept = 0;
  for (long k = left; k <= right; k++) {
    out.weights.push_back(p(k));
    kept += p(k);
  }
  out.truncated = std::max(0.0, 1.0 - kept);
  return out;
}

long poissonRightPoint(double lambda, double epsilon) {
  // The right point lies within a few standard deviations of the mean; for
  // lambda of billions the weights themselves would cost gigabytes, so a
  // normal-tail estimate stands in for them there.
  if (lambda <= 1e8) {
    auto w = foxGlynn(lambda, epsilon);
    return w ? w->right : -1;
  }
  const double z = std::sqrt(2 * std::log(1 / epsilon)) + 3;
  const double steps = std::ceil(lambda + z * std::sqrt(lambda));
  // Past what a long holds (or not finite at all): as many steps as it
  // holds, which no step limit allows.
  if (!(steps < 9.2e18)) return kTooManySteps;
  return static_cast<long>(steps);
}

}  // namespace solver

namespace solver {

Outcome<PoissonTails> poissonTails(double lambda) {
  if (auto ok = checkArguments(lambda, 0.5); !ok) return ok.error();
  std::vector<double> p, tail;  // p_k and P(N > k) / lambda, over every k grown
  if (lambda < 1) {
    // P(N > k) / lambda = sum_(j > k) r_j with r_j = p_j / lambda =
    // e^-lambda lambda^(j-1) / j!, which no small lambda underflows; the
    // terms fall by lambda / (j + 1) at least, so one below kSmallest of
    // the first (which is near 1) ends the series.
    std::vector<double> r{0.0, std::exp(-lambda)};
    while (r.back() > kSmallest) r.push_back(r.back() * lambda / static_cast<double>(r.size()));
    p.assign(r.size(), 0.0);
    p[0] = r[1];
    for (std::size_t j = 1; j < r.size(); j++) p[j] = lambda * r[j];
    tail.assign(r.size(), 0.0);
    CompensatedSum above;
    for (std::size_t k = r.size() - 1; k-- > 0;) {
      above.add(r[k + 1]);
      tail[k] = above.value();
    }
  } else {
    const Grown grown = grow(lambda);
    const long hi = grown.lo + static_cast<long>(grown.w.size()) - 1;
    p.assign(static_cast<std::size_t>(hi) + 1, 0.0);
    for (long k = grown.lo; k <= hi; k++)
      p[static_cast<std::size_t>(k)] = grown.w[static_cast<std::size_t>(k - grown.lo)] / grown.total;
    std::vector<double> below(p.size()), above(p.size());
    CompensatedSum sum;
    for (std::size_t k = 0; k < p.size(); k++) {
      sum.add(p[k]);
      below[k] = sum.value();
    }
    sum = CompensatedSum();
    for (std::size_t k = p.size(); k-- > 0;) {
      above[k] = sum.value();
      sum.add(p[k]);
    }
    tail.resize(p.size());
    for (std::size_t k = 0; k < p.size(); k++) tail[k] = (below[k] <= 0.5 ? 1.0 - below[k] : above[k]) / lambda;
  }
  return PoissonTails{std::move(p), std::move(tail)};
}

Outcome<DelayTerms> delayTerms(double lambda, double epsilon) {
  if (auto ok = checkArguments(lambda, epsilon); !ok) return ok.error();
  auto tails = poissonTails(lambda);
  if (!tails) return tails.error();
  const std::vector<double>& p = tails->weight;
  const std::vector<double>& tail = tails->beyond;
  // What the time leaves out past k: sum_(j > k) u_j.
  std::vector<double> timeBeyond(tail.size(), 0.0);
  {
    CompensatedSum sum;
    for (std::size_t k = tail.size(); k-- > 0;) {
      timeBeyond[k] = sum.value();
      sum.add(tail[k]);
    }
  }
  DelayTerms out;
  out.right = static_cast<long>(tail.size()) - 1;
  // Below lambda = 1 the whole series is kept: a few steps more than
  // epsilon needs, and each state the subordinated chain reaches within
  // them keeps the relative accuracy of its time, however small.
  for (std::size_t k = 0; k < tail.size() && lambda >= 1; k++)
    if (tail[k] * lambda <= epsilon / 2 && timeBeyond[k] <= epsilon / 2) {
      out.right = static_cast<long>(k);
      break;
    }
  const auto kept = static_cast<std::size_t>(out.right) + 1;
  out.weight.assign(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(kept));
  out.stay.assign(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(kept));
  return out;
}

}  // namespace solver
