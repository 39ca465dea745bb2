#include "Statistics.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// Continued fraction of the incomplete beta function (modified Lentz),
// to a relative change of 1e-15 per step, at most 300 steps.
double betaFraction(double a, double b, double x) {
  constexpr double tiny = 1e-300;
  double c = 1.0;
  double d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 300; m++) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
    d = 1.0 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1.0) < 1e-15) break;
  }
  return h;
}

double regularisedBeta(double a, double b, double x) {
  if (x <= 0) return 0.0;
  if (x >= 1) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * betaFraction(a, b, x) / a;
  return 1.0 - front * betaFraction(b, a, 1.0 - x) / b;
}

// P(T <= t) for t >= 0.
double studentCdf(double t, double df) { return 1.0 - 0.5 * regularisedBeta(df / 2.0, 0.5, df / (df + t * t)); }

}  // namespace

double studentQuantile(double p, double df) {
  double lo = 0.0, hi = 1.0;
  while (studentCdf(hi, df) < p && hi < 1e12) hi *= 2.0;
  for (int i = 0; i < 200 && hi - lo > 1e-12 * hi; i++) {
    const double mid = 0.5 * (lo + hi);
    if (studentCdf(mid, df) < p)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

double normalQuantile(double p) {
  double lo = 0.0, hi = 1.0;
  while (0.5 * std::erfc(-hi / std::sqrt(2.0)) < p && hi < 40) hi *= 2.0;
  for (int i = 0; i < 200 && hi - lo > 1e-12 * hi; i++) {
    const double mid = 0.5 * (lo + hi);
    if (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

const char* methodName(IntervalMethod method) {
  switch (method) {
    case IntervalMethod::StudentT: return "student_t";
    case IntervalMethod::Wilson: return "wilson";
    case IntervalMethod::ExactUpper: return "exact_upper";
    case IntervalMethod::ExactLower: return "exact_lower";
    case IntervalMethod::Ratio: return "ratio";
  }
  return "unknown";
}

Interval meanInterval(const Accumulator& a, double level) {
  const std::uint64_t count = a.count();
  if (count < 2) return Interval{a.mean(), -INFINITY, INFINITY, IntervalMethod::StudentT};
  const auto n = static_cast<double>(count);
  if (a.binary()) {
    const auto k = static_cast<double>(a.ones());
    // P(no success in n) = (1 - p)^n falls to 1 - level at this p.
    const double bound = -std::expm1(std::log1p(-level) / n);
    if (a.ones() == 0) return Interval{0.0, 0.0, bound, IntervalMethod::ExactUpper};
    if (a.ones() == count) return Interval{1.0, 1.0 - bound, 1.0, IntervalMethod::ExactLower};
    const double p = k / n;
    const double z = normalQuantile(0.5 + level / 2.0);
    const double z2 = z * z;
    const double shrink = 1.0 + z2 / n;
    const double centre = (p + z2 / (2.0 * n)) / shrink;
    const double half = z * std::sqrt(p * (1.0 - p) / n + z2 / (4.0 * n * n)) / shrink;
    return Interval{p, centre - half, centre + half, IntervalMethod::Wilson};
  }
  const double t = studentQuantile(0.5 + level / 2.0, n - 1.0);
  const double half = t * std::sqrt(a.variance() / n);
  return Interval{a.mean(), a.mean() - half, a.mean() + half, IntervalMethod::StudentT};
}

double precisionScale(double estimate, bool unit) {
  return unit ? std::min(estimate, 1.0 - estimate) : std::fabs(estimate);
}

bool narrowEnough(const Interval& interval, const Accumulator& observations, double relative) {
  return observations.varied() &&
         interval.halfWidth() <= relative * precisionScale(interval.estimate, observations.unit());
}

void Moments6::add(const double x[kSize]) {
  n_++;
  double before[kSize];
  for (int i = 0; i < kSize; i++) {
    before[i] = x[i] - mean_[i];
    mean_[i] += before[i] / static_cast<double>(n_);
  }
  for (int i = 0; i < kSize; i++)
    for (int j = 0; j < kSize; j++) c_[i][j] += before[i] * (x[j] - mean_[j]);
}

void LongRunAccumulator::addWindow(const double reward[3], const double time[3]) {
  const double x[Moments6::kSize] = {reward[0], reward[1], reward[2], time[0], time[1], time[2]};
  window_.add(x);
  const double observed = time[kFirstHalf] + time[kSecondHalf];
  averages_.add(observed > 0 ? (reward[kFirstHalf] + reward[kSecondHalf]) / observed : 0.0);
}

void LongRunAccumulator::addAbsorbed(double rate) {
  absorbed_.add(rate);
  averages_.add(rate);
}

namespace {

// Sums of the moments over the blocks of a set (bits: 1 << block).
double blockMean(const Moments6& w, unsigned blocks, int offset) {
  double sum = 0.0;
  for (int b = 0; b < 3; b++)
    if (blocks & (1u << b)) sum += w.mean(offset + b);
  return sum;
}

}  // namespace

Interval longRunInterval(const LongRunAccumulator& a, double level) {
  const Moments6& w = a.window();
  const Accumulator& b = a.absorbed();
  const std::uint64_t count = a.count();
  if (count < 2) return Interval{a.averages().mean(), -INFINITY, INFINITY, IntervalMethod::Ratio};
  constexpr unsigned observed = (1u << kFirstHalf) | (1u << kSecondHalf);
  // Every replication absorbed: the plain mean of the absorbing rates.
  const double meanTime = w.count() > 0 ? blockMean(w, observed, 3) : 0.0;
  if (!(meanTime > 0)) {
    Interval i = meanInterval(a.averages(), level);
    i.method = IntervalMethod::Ratio;
    return i;
  }
  const auto na = static_cast<double>(w.count()), nb = static_cast<double>(b.count());
  const double n = na + nb;
  const double meanReward = blockMean(w, observed, 0);
  double rewardSquares = 0, timeSquares = 0, cross = 0;
  for (const int i : {kFirstHalf, kSecondHalf}) {
    for (const int j : {kFirstHalf, kSecondHalf}) {
      rewardSquares += w.comoment(i, j);
      timeSquares += w.comoment(3 + i, 3 + j);
      cross += w.comoment(i, 3 + j);
    }
  }
  const double theta = (na * meanReward / meanTime + nb * b.mean()) / n;
  // Residuals z = reward - theta x time, with an absorbed replication as
  // its rate over the mean time; they sum to 0 by the choice of theta.
  const double meanA = meanReward - theta * meanTime;
  const double meanB = (b.mean() - theta) * meanTime;
  double squares = rewardSquares - 2.0 * theta * cross + theta * theta * timeSquares +
                   meanTime * meanTime * b.squares() + na * meanA * meanA + nb * meanB * meanB;
  squares = std::max(squares, 0.0);
  const double t = studentQuantile(0.5 + level / 2.0, n - 1.0);
  const double half = t * std::sqrt(squares / (n - 1.0) / n) / meanTime;
  return Interval{theta, theta - half, theta + half, IntervalMethod::Ratio};
}

namespace {

// The pooled average over the blocks `x` minus that over the blocks `y`,
// over its standard error: each replication's influence on the difference
// is a weighted sum of its six numbers, whose variance the co-moments give.
double pairedDifference(const Moments6& w, unsigned x, unsigned y) {
  const double timeX = blockMean(w, x, 3), timeY = blockMean(w, y, 3);
  if (w.count() < 10 || !(timeX > 0) || !(timeY > 0)) return 0.0;
  const double thetaX = blockMean(w, x, 0) / timeX, thetaY = blockMean(w, y, 0) / timeY;
  double weight[Moments6::kSize] = {};
  for (int b = 0; b < 3; b++) {
    if (x & (1u << b)) {
      weight[b] += 1.0 / timeX;
      weight[3 + b] -= thetaX / timeX;
    }
    if (y & (1u << b)) {
      weight[b] -= 1.0 / timeY;
      weight[3 + b] += thetaY / timeY;
    }
  }
  double squares = 0.0;
  for (int i = 0; i < Moments6::kSize; i++)
    for (int j = 0; j < Moments6::kSize; j++) squares += weight[i] * weight[j] * w.comoment(i, j);
  const auto n = static_cast<double>(w.count());
  const double se = std::sqrt(std::max(squares, 0.0) / (n - 1.0) / n);
  const double difference = thetaX - thetaY;
  if (!(se > 0)) return difference == 0 ? 0.0 : (difference > 0 ? INFINITY : -INFINITY);
  return difference / se;
}

}  // namespace

WarmupCheck checkWarmup(const LongRunAccumulator& a) {
  const Moments6& w = a.window();
  WarmupCheck check;
  check.tail = pairedDifference(w, 1u << kTail, (1u << kFirstHalf) | (1u << kSecondHalf));
  check.halves = pairedDifference(w, 1u << kFirstHalf, 1u << kSecondHalf);
  return check;
}

double driftThreshold(std::size_t variables) {
  return normalQuantile(1.0 - 0.00135 / static_cast<double>(2 * std::max<std::size_t>(variables, 1)));
}

}  // namespace sim
