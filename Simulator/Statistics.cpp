#include "Statistics.h"

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

double halfWidth(const Accumulator& a, double level) {
  if (a.count() < 2) return INFINITY;
  const double t = studentQuantile(0.5 + level / 2.0, static_cast<double>(a.count() - 1));
  return t * std::sqrt(a.variance() / static_cast<double>(a.count()));
}

}  // namespace sim
