#include "Tausworthe.h"

double Tausworthe::rnd() {
  std::uint32_t b = (state ^ (state << 13)) & 0x7FFFFFFFu;
  state = (b >> 18) ^ b;
  // state / (2^31 - 1), formed in extended precision so that the largest
  // state maps to 1.
  return static_cast<double>(static_cast<long double>(state) * 4.656612875245797e-10L);
}

void Tausworthe::srnd(unsigned long seed) { state = static_cast<std::uint32_t>(seed); }
