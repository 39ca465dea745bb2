#ifndef SOLVER_FOXGLYNN_H
#define SOLVER_FOXGLYNN_H

#include <vector>

#include "Outcome.h"

namespace solver {

// Poisson probabilities p_k = e^-lambda lambda^k / k! for k from left to
// right, the truncation points chosen so that the mass left out on each side
// is at most epsilon / 2 (Fox and Glynn's scheme: weights grown outward from
// the mode by the ratio of neighbours, so nothing underflows, then scaled by
// their sum; each tail is bounded by the geometric series that the ratio
// p_(k+1)/p_k = lambda/(k+1) dominates).
struct PoissonWeights {
  long left = 0;
  long right = 0;
  std::vector<double> weights;  // weights[k - left] = p_k
  double truncated = 0;         // 1 - sum of the weights kept (never below 0)
};

Outcome<PoissonWeights> foxGlynn(double lambda, double epsilon);

// The right truncation point that foxGlynn would choose, without the weights:
// the number of uniformisation steps a time point needs.
// The right point for a Poisson rate too large for a long step count.
inline constexpr long kTooManySteps = 0x7FFFFFFFFFFFFFFFL;

long poissonRightPoint(double lambda, double epsilon);

// The Poisson terms of one fixed delay tau uniformised at rate q, lambda =
// q tau: for k = 0 .. right the probability p_k that the delay holds k
// uniformisation steps, and u_k = P(N > k) / lambda, so that the time the
// delay spends after exactly k steps is integral_0^tau P(N(qt) = k) dt =
// tau u_k (the u_k sum to 1). Both keep their relative accuracy for any
// lambda from 0 up: below lambda = 1 the tails are series in lambda summed
// from their small end, above it each tail is 1 minus the sum below it
// while that sum is at most 1/2 and the sum above it otherwise, so no tail
// is a difference of nearly equal numbers. From lambda = 1 up, `right` is
// the first k at which both what is left out of the completion
// probabilities, P(N > right), and what is left out of the time,
// sum_(k > right) u_k (a share of tau), are within epsilon / 2; below it
// the series goes on until its terms fall below 1e-30 of its first.
struct DelayTerms {
  long right = 0;
  std::vector<double> weight;  // p_k
  std::vector<double> stay;    // u_k
};

Outcome<DelayTerms> delayTerms(double lambda, double epsilon);

// Every Poisson probability p_k grown for lambda (outward from the mode
// until the terms fall below 1e-30 of the largest) and beside it
// P(N > k) / lambda, each with its relative accuracy, untruncated: the
// terms delayTerms keeps a prefix of.
struct PoissonTails {
  std::vector<double> weight;  // p_k, k from 0
  std::vector<double> beyond;  // P(N > k) / lambda
};

Outcome<PoissonTails> poissonTails(double lambda);

}  // namespace solver

#endif
