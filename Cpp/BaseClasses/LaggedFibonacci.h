#ifndef LAGGED_FIBONACCI_H
#define LAGGED_FIBONACCI_H

#include "RandomNumberGenerator.h"

// Knuth's floating-point lagged-Fibonacci generator (lags 100 and 37,
// X[j] = (X[j-100] + X[j-37]) mod 1), as published with The Art of Computer
// Programming, Vol. 2, section 3.6.
inline constexpr int RANF_KK = 100;        // the long lag
inline constexpr int RANF_LL = 37;         // the short lag
inline constexpr int RANF_QUALITY = 1009;  // recommended batch length for high-resolution use

// One generator's state and the published routines over it. Each object is
// an independent stream, so two models (or two threads) never disturb each
// other's numbers. Not copyable: ranf_arr_ptr points into the object.
struct RanfState {
  RanfState() = default;
  RanfState(const RanfState&) = delete;
  RanfState& operator=(const RanfState&) = delete;

  // Fills aa[0..n-1] with the next n fractions (n >= 100) and advances the state.
  void ranf_array(double aa[], int n);
  // Seeds the generator (seed in 0 .. 2^30 - 1; higher bits are ignored).
  void ranf_start(long seed);
  // Refills ranf_arr_buf and returns its first fraction.
  double ranf_arr_cycle();

  double ran_u[RANF_KK] = {};                 // the generator state
  double ranf_arr_buf[RANF_QUALITY] = {};     // batch handed out by ranf_arr_cycle
  double ranf_arr_sentinel = -1.0;            // "no number buffered"
  double* ranf_arr_ptr = &ranf_arr_sentinel;  // the next buffered fraction, or the sentinel
};

// Uniform numbers in [0, 1) read in batches of 100 from the object's own
// lagged-Fibonacci state.
class LaggedFibonacci : public RandomNumberGenerator {
 public:
  // Seeded with kDefaultSeed: an unseeded state is all zeros and would yield
  // nothing but 0.
  LaggedFibonacci();
  double rnd() override;
  void srnd(unsigned long seed) override;

  // The seed of the process's own variate source.
  static constexpr unsigned long kDefaultSeed = 31415;

  double buffer[RANF_KK] = {};

 private:
  RanfState ranf_;
  int k_ = 0;  // read position in buffer
};

#endif
