#ifndef SIMULATOR_STATISTICS_H
#define SIMULATOR_STATISTICS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace sim {

// The quantile of Student's t distribution with `df` degrees of freedom at
// probability p (0.5 < p < 1), by bisection on its distribution function
// (the regularised incomplete beta function, continued fraction) to 1e-12
// of the quantile, at most 200 halvings.
double studentQuantile(double p, double df);

// The standard normal quantile at p (0.5 < p < 1), by bisection on erfc to
// 1e-12 of the quantile, at most 200 halvings.
double normalQuantile(double p);

// Mean and variance of observations added one at a time (Welford's update,
// which keeps the variance accurate when the mean is far from 0), and what
// the observations were like: all the same, all 0 or 1, all in [0, 1].
// Adding in the same order gives the same bits.
class Accumulator {
 public:
  void add(double x) {
    if (n_ == 0) first_ = x;
    if (x != first_) varied_ = true;
    if (x == 1.0) ones_++;
    if (x != 0.0 && x != 1.0) binary_ = false;
    if (!(x >= 0.0 && x <= 1.0)) unit_ = false;
    n_++;
    const double d = x - mean_;
    mean_ += d / static_cast<double>(n_);
    m2_ += d * (x - mean_);
  }
  std::uint64_t count() const { return n_; }
  double mean() const { return mean_; }
  double variance() const { return n_ > 1 ? m2_ / static_cast<double>(n_ - 1) : 0.0; }
  // The sum of squared deviations from the mean.
  double squares() const { return m2_; }
  // Whether two observations differ: when none do, the interval has width 0
  // and says nothing about departures too rare to have shown.
  bool varied() const { return varied_; }
  // Every observation was 0 or 1 (an indicator): `ones` of them were 1.
  bool binary() const { return n_ > 0 && binary_; }
  std::uint64_t ones() const { return ones_; }
  // Every observation lay in [0, 1] (a probability or a share of time),
  // and nothing else said the values may lie outside.
  bool unit() const { return n_ > 0 && unit_; }
  // The variable's values may lie outside [0, 1], whatever was observed: an
  // average of rewards that were, or of impulses.
  void markBeyondUnit() { unit_ = false; }

 private:
  std::uint64_t n_ = 0, ones_ = 0;
  double mean_ = 0.0;
  double m2_ = 0.0;
  double first_ = 0.0;
  bool varied_ = false, binary_ = true, unit_ = true;
};

// How an interval was found.
enum class IntervalMethod {
  StudentT,    // mean +- t quantile x standard error
  Wilson,      // the score interval of a proportion
  ExactUpper,  // no observation was 1: the exact one-sided upper bound
  ExactLower,  // every observation was 1: the exact one-sided lower bound
  Ratio,       // long-run reward over long-run time, by the delta method
};

const char* methodName(IntervalMethod method);

struct Interval {
  double estimate = 0, lower = 0, upper = 0;
  IntervalMethod method = IntervalMethod::StudentT;
  // The farther end's distance from the estimate: estimate +- this holds
  // the interval, which is not centred on the estimate for a proportion.
  double halfWidth() const { return std::max(estimate - lower, upper - estimate); }
};

// The interval of confidence `level` for the mean of `a`'s observations:
// for observations that were all 0 or 1, the Wilson score interval around
// the share of ones, which keeps its coverage where few (or few zeros)
// were seen; with no ones at all, [0, 1 - (1 - level)^(1/n)] (the exact
// one-sided bound, about 3/n at 95%), and with nothing but ones its mirror
// image. Otherwise Student's t. Fewer than two observations give
// (-inf, inf).
Interval meanInterval(const Accumulator& a, double level);

// The number that -r is relative to: the estimate's magnitude, and for a
// variable whose observations all lie in [0, 1] the smaller of p and
// 1 - p, so that for a probability near 1 the precision asked is that of
// the rare complement.
double precisionScale(double estimate, bool unit);

// The stopping rule: whether `interval`, of the observations `observations`
// describes, is as narrow as asked, its half-width at most `relative`
// times the precision scale; never for observations that were all the
// same, whose width 0 says nothing about departures too rare to show.
bool narrowEnough(const Interval& interval, const Accumulator& observations, double relative);

// Means and co-moments of observations of six variables added one at a
// time (Welford's update in several variables): the order of adding fixes
// the bits.
class Moments6 {
 public:
  static constexpr int kSize = 6;
  void add(const double x[kSize]);
  std::uint64_t count() const { return n_; }
  double mean(int i) const { return mean_[i]; }
  // Sum over the observations of (x_i - mean_i)(x_j - mean_j).
  double comoment(int i, int j) const { return c_[i][j]; }

 private:
  std::uint64_t n_ = 0;
  double mean_[kSize] = {};
  double c_[kSize][kSize] = {};
};

// The blocks of events of a long-run replication: the second half of the
// warm-up (its tail), then the two halves of the observation.
enum Block { kTail = 0, kFirstHalf = 1, kSecondHalf = 2 };

// The long-run observations of one reward variable: per replication the
// reward earned over each block and the time each block took (or, for a
// replication that reached a state with nothing enabled, that state's
// reward rate).
class LongRunAccumulator {
 public:
  // reward[b] and time[b] of block b.
  void addWindow(const double reward[3], const double time[3]);
  void addAbsorbed(double rate);
  void markBeyondUnit() { averages_.markBeyondUnit(); }
  std::uint64_t count() const { return window_.count() + absorbed_.count(); }
  // Rewards of the blocks at 0 .. 2, their times at 3 .. 5.
  const Moments6& window() const { return window_; }
  const Accumulator& absorbed() const { return absorbed_; }
  // Each replication's own average (the observation's reward over its time,
  // or the absorbing state's rate): whether they vary, lie in [0, 1].
  const Accumulator& averages() const { return averages_; }

 private:
  Moments6 window_;
  Accumulator absorbed_;
  Accumulator averages_;
};

// The long-run reward as total reward over total time of the replications'
// observations (a replication that stopped in a state with nothing enabled
// counts with that state's rate over the mean observation time), with the
// delta method's Student-t interval. Pooling the time makes the estimate
// consistent however few events an observation spans: the mean of each
// replication's own average is not, since a window of a fixed number of
// events spends less time where events come fast.
Interval longRunInterval(const LongRunAccumulator& a, double level);

// The warm-up check, two comparisons paired by replication, each a
// difference of pooled averages over its standard error (delta method):
// - the warm-up's tail against the observation: a process still
//   approaching its long run is farther from it in the tail, by a factor
//   that grows with the warm-up (geometric convergence), so this sees a
//   residual bias far smaller than itself;
// - the observation's first half against its second (the one comparison
//   left without a warm-up).
// After a warm-up long enough every block estimates the same long-run value
// and each statistic is about standard normal. 0 where fewer than 10
// replications observed both sides.
struct WarmupCheck {
  double tail = 0, halves = 0;
  // The one of larger magnitude.
  double worst() const { return std::fabs(tail) >= std::fabs(halves) ? tail : halves; }
};
WarmupCheck checkWarmup(const LongRunAccumulator& a);

// The |statistic| past which a warm-up counts as too short, for a run with
// `variables` long-run variables: the two-sided normal quantile that a
// stationary process passes with probability 0.27% over both comparisons of
// all of them at one look (Bonferroni); 3.2 for one variable.
double driftThreshold(std::size_t variables);

}  // namespace sim

#endif
