#ifndef STATE_HASH_H
#define STATE_HASH_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// The hash of a state vector, as the discovered-state table files states
// under it; the firing rules work it out where a successor is found, so that
// the table's probe needs no second pass over the bytes. Inline: the table
// hashes on every lookup.
//
// A 64-bit multiply-xorshift hash over the whole vector, eight bytes at a
// time.
//
// Markings are small numbers in a few bytes of a mostly constant vector. A
// hash that folds the bytes into overlapping bit fields maps millions of
// such vectors onto a few hundred thousand values, and every lookup then
// walks a chain whose length grows with the state count. A full-avalanche
// hash keeps lookups at about one probe, and its high bits make good tags.
inline std::uint64_t stateHash(const char* state, std::size_t stateSize) {
  const std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = kMul ^ stateSize;
  std::uint32_t i = 0;
  for (; i + 8 <= stateSize; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, state + i, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  if (i < stateSize) {
    std::uint64_t w = 0;
    std::memcpy(&w, state + i, stateSize - i);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

#endif
