#ifndef LAGGED_FIBONACCI_H
#define LAGGED_FIBONACCI_H

#include "RandomNumberGenerator.h"

// Knuth's floating-point lagged-Fibonacci generator (lags 100 and 37,
// X[j] = (X[j-100] + X[j-37]) mod 1), as published with The Art of Computer
// Programming, Vol. 2, section 3.6. The generator state is process-wide.
inline constexpr int RANF_KK = 100;       // the long lag
inline constexpr int RANF_LL = 37;        // the short lag
inline constexpr int RANF_QUALITY = 1009; // recommended batch length for high-resolution use

extern double ran_u[RANF_KK];                 // the generator state
extern double ranf_arr_buf[RANF_QUALITY];     // batch handed out by ranf_arr_cycle
extern double ranf_arr_sentinel;              // -1.0: "no number buffered"
extern double* ranf_arr_ptr;                  // the next buffered fraction, or the sentinel

// Fills aa[0..n-1] with the next n fractions (n >= 100) and advances the state.
void ranf_array(double aa[], int n);
// Seeds the generator (seed in 0 .. 2^30 - 1; higher bits are ignored).
void ranf_start(long seed);
// Refills ranf_arr_buf and returns its first fraction.
double ranf_arr_cycle();

// Uniform numbers in [0, 1) read in batches of 100 from the process-wide
// lagged-Fibonacci state. All objects share both the state and the read
// position, so creating or seeding one changes the stream of every other.
class LaggedFibonacci : public RandomNumberGenerator {
 public:
  LaggedFibonacci() = default;
  double rnd() override;
  void srnd(unsigned long seed) override;

  double buffer[RANF_KK] = {};
};

#endif
