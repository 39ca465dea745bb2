#include "LaggedFibonacci.h"

#include "GenAssert.h"

namespace {
constexpr int KK = RANF_KK;
constexpr int LL = RANF_LL;
constexpr int TT = 70;  // guaranteed separation between streams

// (x + y) mod 1.0 for x, y in [0, 1)
inline double mod_sum(double x, double y) { return (x + y) - static_cast<int>(x + y); }
inline bool is_odd(long s) { return (s & 1) != 0; }
}  // namespace

void RanfState::ranf_array(double aa[], int n) {
  GEN_ASSERT(n >= KK, "n >= KK", "LaggedFibonacci");
  int i, j;
  for (j = 0; j < KK; j++) aa[j] = ran_u[j];
  for (; j < n; j++) aa[j] = mod_sum(aa[j - KK], aa[j - LL]);
  for (i = 0; i < LL; i++, j++) ran_u[i] = mod_sum(aa[j - KK], aa[j - LL]);
  for (; i < KK; i++, j++) ran_u[i] = mod_sum(aa[j - KK], ran_u[i - LL]);
}

void RanfState::ranf_start(long seed) {
  int t, j;
  long s;
  double u[KK + KK - 1];
  const double ulp = (1.0 / (1L << 30)) / (1L << 22);  // 2^-52
  double ss = 2.0 * ulp * static_cast<double>((seed & 0x3fffffff) + 2);

  for (j = 0; j < KK; j++) {
    u[j] = ss;  // bootstrap the buffer
    ss += ss;
    if (ss >= 1.0) ss -= 1.0 - 2 * ulp;  // cyclic shift of 51 bits
  }
  u[1] += ulp;  // make u[1] (and only u[1]) "odd"
  for (s = seed & 0x3fffffff, t = TT - 1; t;) {
    for (j = KK - 1; j > 0; j--) {  // "square"
      u[j + j] = u[j];
      u[j + j - 1] = 0.0;
    }
    for (j = KK + KK - 2; j >= KK; j--) {
      u[j - (KK - LL)] = mod_sum(u[j - (KK - LL)], u[j]);
      u[j - KK] = mod_sum(u[j - KK], u[j]);
    }
    if (is_odd(s)) {  // "multiply by z"
      for (j = KK; j > 0; j--) u[j] = u[j - 1];
      u[0] = u[KK];  // shift the buffer cyclically
      u[LL] = mod_sum(u[LL], u[KK]);
    }
    if (s)
      s >>= 1;
    else
      t--;
  }
  for (j = 0; j < LL; j++) ran_u[j + KK - LL] = u[j];
  for (; j < KK; j++) ran_u[j - LL] = u[j];
  for (j = 0; j < 10; j++) ranf_array(u, KK + KK - 1);  // warm things up
  ranf_arr_ptr = &ranf_arr_sentinel;
}

double RanfState::ranf_arr_cycle() {
  ranf_array(ranf_arr_buf, RANF_QUALITY);
  ranf_arr_buf[KK] = -1;
  ranf_arr_ptr = ranf_arr_buf + 1;
  return ranf_arr_buf[0];
}

LaggedFibonacci::LaggedFibonacci() { LaggedFibonacci::srnd(kDefaultSeed); }

double LaggedFibonacci::rnd() {
  if (k_ == KK) {
    k_ = 0;
    ranf_.ranf_array(buffer, KK);
  }
  return buffer[k_++];
}

void LaggedFibonacci::srnd(unsigned long seed) {
  ranf_.ranf_start(static_cast<long>(seed));
  ranf_.ranf_array(buffer, KK);
  ranf_.ranf_array(buffer, KK);
}
