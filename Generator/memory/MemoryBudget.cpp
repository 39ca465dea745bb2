#include "MemoryBudget.h"

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
