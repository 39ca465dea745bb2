#ifndef SIMULATOR_STATISTICS_H
#define SIMULATOR_STATISTICS_H

#include <cstdint>

namespace sim {

// The quantile of Student's t distribution with `df` degrees of freedom at
// probability p (0.5 < p < 1), by bisection on its distribution function
// (the regularised incomplete beta function, continued fraction) to 1e-12
// of the quantile, at most 200 halvings.
double studentQuantile(double p, double df);

// Mean and variance of observations added one at a time (Welford's update,
// which keeps the variance accurate when the mean is far from 0). Adding in
// the same order gives the same bits.
class Accumulator {
 public:
  void add(double x) {
    if (n_ == 0) first_ = x;
    if (x != first_) varied_ = true;
    n_++;
    const double d = x - mean_;
    mean_ += d / static_cast<double>(n_);
    m2_ += d * (x - mean_);
  }
  std::uint64_t count() const { return n_; }
  double mean() const { return mean_; }
  double variance() const { return n_ > 1 ? m2_ / static_cast<double>(n_ - 1) : 0.0; }
  // Whether two observations differ: when none do, the interval has width 0
  // and says nothing about departures too rare to have shown.
  bool varied() const { return varied_; }

 private:
  std::uint64_t n_ = 0;
  double mean_ = 0.0;
  double m2_ = 0.0;
  double first_ = 0.0;
  bool varied_ = false;
};

// The half-width of the two-sided interval of confidence `level` around the
// mean of `a`'s observations: t quantile times the standard error.
double halfWidth(const Accumulator& a, double level);

}  // namespace sim

#endif
