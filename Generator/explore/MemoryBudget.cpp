#include "MemoryBudget.h"

#include <charconv>
#include <string>

#include "GenError.h"

void MemoryBudget::reserve(std::size_t bytes) {
  if (limit_ && (bytes > *limit_ || held_ > *limit_ - bytes))
    throw GenError("Error: Out of memory: generation stopped after " + std::to_string(states_) + " states; gen holds " +
                   std::to_string(held_) + " bytes and needs " + std::to_string(bytes) + " more, past the limit of " +
                   std::to_string(*limit_) + " bytes set by GEN_MAX_MEMORY.");
  held_ += bytes;
}

void MemoryBudget::release(std::size_t bytes) { held_ = bytes > held_ ? 0 : held_ - bytes; }

void MemoryBudget::allocationFailed(std::size_t bytes) const {
  throw GenError("Error: Out of memory: generation stopped after " + std::to_string(states_) + " states; gen holds " +
                 std::to_string(held_) + " bytes and the system refused " + std::to_string(bytes) + " more.");
}

void MemoryBudget::allocationFailed(const MemoryBudget* budget, std::size_t bytes) {
  if (budget != nullptr) budget->allocationFailed(bytes);
  throw GenError("Error: Out of memory: the system refused " + std::to_string(bytes) + " bytes.");
}

std::optional<std::uint64_t> parseMemorySize(std::string_view text) {
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
