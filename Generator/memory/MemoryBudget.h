#ifndef MEMORY_BUDGET_H
#define MEMORY_BUDGET_H

#include "MemorySize.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The memory one generation run may hold in its large containers: the state
// store, the slot table, the queue of unexplored states and the deterministic
// lists. Each asks the budget before it grows; a growth past the limit, or an
// allocation the system refuses, ends the run with a GenError that names the
// number of states reached and the bytes held, so that running out of memory
// is a clear stop instead of a crash or a silent kill.
//
// The run owns its budget; the containers only refer to it.
class MemoryBudget {
 public:
  // No limit: only allocation failures stop the run.
  MemoryBudget() = default;
  explicit MemoryBudget(std::optional<std::uint64_t> limitBytes) : limit_(limitBytes) {}
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  void setLimit(std::optional<std::uint64_t> limitBytes) { limit_ = limitBytes; }
  std::optional<std::uint64_t> limit() const { return limit_; }

  // Accounts for `bytes` about to be allocated; throws GenError when the
  // total would pass the limit.
  void reserve(std::size_t bytes);
  // Gives back bytes freed (or reserved but not allocated).
  void release(std::size_t bytes);
  // An allocation of `bytes` failed: throws GenError.
  [[noreturn]] void allocationFailed(std::size_t bytes) const;

  // The number of states stored so far, for the message of a stop.
  void setStatesReached(std::uint64_t states) { states_ = states; }
  std::uint64_t statesReached() const { return states_; }
  std::uint64_t held() const { return held_; }

  // The same operations for a container that may run without a budget.
  static void reserve(MemoryBudget* budget, std::size_t bytes) {
    if (budget != nullptr) budget->reserve(bytes);
  }
  static void release(MemoryBudget* budget, std::size_t bytes) {
    if (budget != nullptr) budget->release(bytes);
  }
  [[noreturn]] static void allocationFailed(const MemoryBudget* budget, std::size_t bytes);

 private:
  std::optional<std::uint64_t> limit_;
  std::uint64_t held_ = 0;
  std::uint64_t states_ = 0;
};

#endif
