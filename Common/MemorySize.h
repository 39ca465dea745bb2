#ifndef MEMORY_SIZE_H
#define MEMORY_SIZE_H

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

// A memory size as GEN_MAX_MEMORY gives it, to gen and solve alike: a
// positive whole number of bytes with an optional suffix K, M or G (powers of
// 1024, either case). Nothing when the text is not such a size or the size
// does not fit 64 bits.
inline std::optional<std::uint64_t> parseMemorySize(std::string_view text) {
  std::uint64_t unit = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K':
      case 'k': unit = std::uint64_t{1} << 10; break;
      case 'M':
      case 'm': unit = std::uint64_t{1} << 20; break;
      case 'G':
      case 'g': unit = std::uint64_t{1} << 30; break;
      default: break;
    }
    if (unit != 1) text.remove_suffix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > UINT64_MAX / unit) return std::nullopt;
  return value * unit;
}

#endif
