#include "Distributions.h"

#include <cmath>
#include <limits>

#include "LaggedFibonacci.h"

namespace {
constexpr double kLn4 = 1.3862943611198906;
constexpr double kOnePlusLn4Point5 = 2.504077396776274;
constexpr double kE = 2.718281828459045;
}  // namespace

Distributions::Distributions() : generator(new LaggedFibonacci) {}

Distributions::~Distributions() { delete generator; }

double Distributions::Exponential(double rate) { return -std::log(rnd()) / rate; }

double Distributions::Deterministic(double x) { return x; }

double Distributions::Geometric(double p) { return std::floor(std::log(rnd()) / std::log(1.0 - p)); }

double Distributions::Uniform(double a, double b) { return a + rnd() * (b - a); }

double Distributions::Weibull(double shape, double scale) { return scale * std::pow(-std::log(rnd()), 1.0 / shape); }

double Distributions::ConditionalWeibull(double shape, double scale, double age) {
  double c = std::exp(-std::pow(age / scale, shape));
  return scale * std::pow(-std::log(rnd() * c), 1.0 / shape) - age;
}

void Distributions::PolarPair(double& y1, double& s) {
  // s = 0 would make ln(s)/s undefined; it is redrawn like s > 1.
  do {
    y1 = 2.0 * rnd() - 1.0;
    double y2 = 2.0 * rnd() - 1.0;
    s = y1 * y1 + y2 * y2;
  } while (s > 1.0 || s == 0.0);
}

double Distributions::Normal(double mean, double variance) {
  double x;
  do {
    double y1, s;
    PolarPair(y1, s);
    x = mean + std::sqrt(variance) * y1 * std::sqrt(-2.0 * std::log(s) / s);
  } while (x < 0.0);
  return x;
}

double Distributions::Lognormal(double a, double b) {
  double y1, s;
  PolarPair(y1, s);
  return std::exp(a + std::sqrt(b) * y1 * std::sqrt(-2.0 * std::log(s) / s));
}

double Distributions::Erlang(double m, double mean) {
  double product = 1.0;
  for (double i = 1.0; i <= m; i += 1.0) product *= rnd();
  return -(mean / m) * std::log(product);
}

double Distributions::HypoExponential(int n, double* rates) {
  double sum = 0.0;
  for (int i = 0; i < n; i++) sum += -std::log(rnd()) / rates[i];
  return sum;
}

double Distributions::HyperExponential(int n, double* pairs) {
  if (n <= 0) return 0.0;
  double total = 0.0;
  for (int i = 0; i < n; i++) total += pairs[2 * i + 1];
  double u = rnd();
  // A uniform number of 1 (possible with some sources) or rounding in the
  // cumulative sum must not carry the choice past the last pair.
  int chosen = n - 1;
  double cumulative = 0.0;
  for (int i = 0; i < n - 1; i++) {
    cumulative += pairs[2 * i + 1];
    if (cumulative / total > u) {
      chosen = i;
      break;
    }
  }
  return -std::log(rnd()) / pairs[2 * chosen];
}

double Distributions::Binomial(double n, double p) {
  double successes = 0.0;
  for (double i = 0.0; i < n; i += 1.0)
    if (rnd() <= p) successes += 1.0;
  return successes;
}

double Distributions::NegativeBinomial(double n, double p) {
  double sum = 0.0;
  for (double i = 0.0; i < n; i += 1.0) sum += Geometric(p);
  return sum;
}

double Distributions::Triangular(double a, double b, double c) {
  if (a == b) return a;
  double g = (c - a) / (b - a);
  double u = rnd();
  double d = (u <= g) ? std::sqrt(u * g) : 1.0 - std::sqrt((1.0 - g) * (1.0 - u));
  return a + (b - a) * d;
}

double Distributions::UnitGamma(double alpha) {
  if (std::isnan(alpha)) return std::numeric_limits<double>::quiet_NaN();
  if (alpha > 1.0) {  // Cheng's rejection method
    const double a = 1.0 / std::sqrt(2.0 * alpha - 1.0);
    const double b = alpha - kLn4;
    const double c = alpha + 1.0 / a;
    for (;;) {
      double u1 = rnd();
      double u2 = rnd();
      double v = a * std::log(u1 / (1.0 - u1));
      double x = alpha * std::exp(v);
      double z = u1 * u1 * u2;
      double r = b + c * v - x;
      if (r + kOnePlusLn4Point5 - 4.5 * z >= 0.0 || std::log(z) <= r) return x;
    }
  }
  if (alpha == 1.0) return -std::log(rnd());
  const double b = (alpha + kE) / kE;
  for (;;) {
    double p = b * rnd();
    double x = (p <= 1.0) ? std::pow(p, 1.0 / alpha) : -std::log((b - p) / alpha);
    if (std::pow(x, alpha - 1.0) >= rnd()) return x;
  }
}

double Distributions::Gamma(double shape, double scale) { return scale * UnitGamma(shape); }

double Distributions::Beta(double a, double b) {
  double x = UnitGamma(a);
  double y = UnitGamma(b);
  return x / (x + y);
}

double Distributions::Pareto(double a, double b) { return std::exp(std::log(a) - std::log(rnd()) / b); }
