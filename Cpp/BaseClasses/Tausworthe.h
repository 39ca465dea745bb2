#ifndef TAUSWORTHE_H
#define TAUSWORTHE_H

#include <cstdint>

#include "RandomNumberGenerator.h"

// A one-word shift-register (Tausworthe) generator. Cheap and small; its
// values lie in [0, 1], both ends included, and the seed 0 is a fixed point.
class Tausworthe : public RandomNumberGenerator {
 public:
  Tausworthe() = default;
  double rnd() override;
  void srnd(unsigned long seed) override;

  std::uint32_t state = 0;
};

#endif
