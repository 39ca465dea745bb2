#ifndef BYTE_RUNS_H
#define BYTE_RUNS_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Comparisons and copies of the short byte runs states are made of (bytes
// compared unsigned, as memcmp does). Below a few words a library call costs
// more than the work, and a loop over single bytes mispredicts its exit.
// Words are read with memcpy (no alignment assumed); overlapping reads of
// the last word cover the tail without a loop.
namespace byteruns {

inline constexpr std::size_t kShortRun = 32;

template <typename T>
T load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace byteruns

inline bool sameBytes(const char* a, const char* b, std::size_t n) {
  using byteruns::load;
  if (n > byteruns::kShortRun) return std::memcmp(a, b, n) == 0;
  if (n >= 8) {
    for (std::size_t i = 0; i + 8 <= n; i += 8)
      if (load<std::uint64_t>(a + i) != load<std::uint64_t>(b + i)) return false;
    return load<std::uint64_t>(a + n - 8) == load<std::uint64_t>(b + n - 8);
  }
  if (n >= 4)
    return load<std::uint32_t>(a) == load<std::uint32_t>(b) &&
           load<std::uint32_t>(a + n - 4) == load<std::uint32_t>(b + n - 4);
  if (n >= 2)
    return load<std::uint16_t>(a) == load<std::uint16_t>(b) &&
           load<std::uint16_t>(a + n - 2) == load<std::uint16_t>(b + n - 2);
  return n == 0 || a[0] == b[0];
}

// memmove for the same short runs: every word is loaded before any is
// stored, so the runs may overlap.
inline void copyBytes(char* dst, const char* src, std::size_t n) {
  using byteruns::load;
  auto store = [](char* p, auto v) { std::memcpy(p, &v, sizeof v); };
  if (n > byteruns::kShortRun) {
    std::memmove(dst, src, n);
  } else if (n > 16) {
    const auto a = load<std::uint64_t>(src), b = load<std::uint64_t>(src + 8);
    const auto c = load<std::uint64_t>(src + n - 16), d = load<std::uint64_t>(src + n - 8);
    store(dst, a), store(dst + 8, b), store(dst + n - 16, c), store(dst + n - 8, d);
  } else if (n >= 8) {
    const auto a = load<std::uint64_t>(src), b = load<std::uint64_t>(src + n - 8);
    store(dst, a), store(dst + n - 8, b);
  } else if (n >= 4) {
    const auto a = load<std::uint32_t>(src), b = load<std::uint32_t>(src + n - 4);
    store(dst, a), store(dst + n - 4, b);
  } else if (n >= 2) {
    const auto a = load<std::uint16_t>(src), b = load<std::uint16_t>(src + n - 2);
    store(dst, a), store(dst + n - 2, b);
  } else if (n == 1) {
    dst[0] = src[0];
  }
}

inline int compareBytes(const char* a, const char* b, std::size_t n) {
  using byteruns::load;
  if (n > byteruns::kShortRun) return std::memcmp(a, b, n);
  std::size_t i = 0;
  // A word read most significant byte first orders as its bytes do.
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= n; i += 8) {
      const std::uint64_t x = __builtin_bswap64(load<std::uint64_t>(a + i));
      const std::uint64_t y = __builtin_bswap64(load<std::uint64_t>(b + i));
      if (x != y) return x < y ? -1 : 1;
    }
    if (i + 2 == n) {
      const std::uint16_t x = __builtin_bswap16(load<std::uint16_t>(a + i));
      const std::uint16_t y = __builtin_bswap16(load<std::uint16_t>(b + i));
      return x == y ? 0 : (x < y ? -1 : 1);
    }
  }
  for (; i < n; i++)
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  return 0;
}

#endif
