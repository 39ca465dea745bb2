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

}  // namespace

Outcome<PoissonWeights> foxGlynn(double lambda, double epsilon) {
  if (!(lambda >= 0) || !std::isfinite(lambda) || lambda > kLargestLambda)
    return Error{"Poisson rate " + std::to_string(lambda) + " is out of range (0 to 1e10)"};
  if (!(epsilon > 0 && epsilon < 1)) return Error{"Poisson truncation epsilon must lie between 0 and 1"};
  PoissonWeights out;
  if (lambda == 0) {
    out.weights = {1.0};
    return out;
  }
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
