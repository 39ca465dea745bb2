#ifndef USER_DISTRIBUTIONS_H
#define USER_DISTRIBUTIONS_H

#include "Distributions.h"

// The variate generator that models use, with a choice of uniform source.
class UserDistributions : public Distributions {
 public:
  // An unseeded lagged-Fibonacci source.
  UserDistributions();
  // kind 1: Tausworthe; 0 or any other value: lagged Fibonacci. The source is
  // seeded with `seed`.
  UserDistributions(int kind, long seed);
};

#endif
