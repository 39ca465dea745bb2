#ifndef DISTRIBUTIONS_H
#define DISTRIBUTIONS_H

#include "RandomNumberGenerator.h"

// Random-variate generator. Each variate is computed from successive uniform
// numbers of the owned random-number generator (a lagged-Fibonacci stream
// unless a subclass installs another one).
class Distributions {
 public:
  Distributions();
  Distributions(const Distributions&) = delete;
  Distributions& operator=(const Distributions&) = delete;
  ~Distributions();

  // The uniform source the variates are drawn from (also used directly for
  // random choices, e.g. the case selection of a group).
  RandomNumberGenerator* getGenerator() const { return generator; }

  double Exponential(double rate);
  double Deterministic(double x);
  double Geometric(double p);
  double Uniform(double a, double b);
  double Weibull(double shape, double scale);
  double ConditionalWeibull(double shape, double scale, double age);
  // Never negative: a draw below zero is repeated.
  double Normal(double mean, double variance);
  double Lognormal(double a, double b);
  double Erlang(double m, double mean);
  // n rates, one exponential term per rate.
  double HypoExponential(int n, double* rates);
  // n (rate, weight) pairs stored one after the other: rate0, weight0, rate1, ...
  double HyperExponential(int n, double* pairs);
  double Binomial(double n, double p);
  double NegativeBinomial(double n, double p);
  double Triangular(double a, double b, double c);
  double Gamma(double shape, double scale);
  double Beta(double a, double b);
  double Pareto(double a, double b);

  // Owned.
  RandomNumberGenerator* generator;

 private:
  double rnd() { return generator->rnd(); }
  // Unit-scale gamma variate of the given shape.
  double UnitGamma(double shape);
  // One polar-method pair: y1 and s = y1^2 + y2^2 with 0 < s <= 1.
  void PolarPair(double& y1, double& s);
};

#endif
