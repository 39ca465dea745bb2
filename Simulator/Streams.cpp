#include "Streams.h"

namespace sim {

namespace {

// SplitMix64's finaliser: a bijection of 64-bit words in which every input
// bit moves about half the output bits.
std::uint64_t mix64(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// The same kind of bijection on the words below 2^63 (pcg32 takes 63 bits
// of stream): shifts within 63 bits and odd multipliers modulo 2^63.
std::uint64_t mix63(std::uint64_t x) {
  constexpr std::uint64_t mask = (1ULL << 63) - 1;
  x &= mask;
  x ^= x >> 31;
  x = (x * 0xbf58476d1ce4e5b9ULL) & mask;
  x ^= x >> 27;
  x = (x * 0x94d049bb133111ebULL) & mask;
  return x ^ (x >> 31);
}

}  // namespace

pcg32 replicationGenerator(std::uint64_t seed, Purpose purpose, std::uint64_t index) {
  // One key per (seed, purpose), one-to-one in the seed; the stream is a
  // bijection of the index offset by it, the state one of the index
  // offset by a second key.
  const std::uint64_t key = mix64(seed ^ mix64(0x9e3779b97f4a7c15ULL * (static_cast<std::uint64_t>(purpose) + 1)));
  const std::uint64_t stream = mix63(index ^ key);
  const std::uint64_t state = mix64(index ^ mix64(key + 0x9e3779b97f4a7c15ULL));
  return pcg32(state, stream);
}

}  // namespace sim
