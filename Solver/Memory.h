#ifndef SOLVER_MEMORY_H
#define SOLVER_MEMORY_H

#include <cstdint>
#include <optional>
#include <string>

#include "Outcome.h"

// What solve may hold, checked before it allocates: GEN_MAX_MEMORY (as gen
// reads it) caps the vectors and matrices solve builds; the process's
// address-space limit (ulimit -v) caps those and the mapping of the .umb
// together with what the process already holds.
namespace solver {

struct MemoryLimits {
  std::optional<std::uint64_t> budget;        // GEN_MAX_MEMORY
  std::optional<std::uint64_t> addressSpace;  // RLIMIT_AS
};

// Reads both; a GEN_MAX_MEMORY that is not a size is an error.
Outcome<MemoryLimits> readMemoryLimits();

// The bytes solve's own vectors and matrices take for a chain, as they are
// built: the rate matrix and exit rates, one reward vector per variable,
// the component search and long-run vectors (steady state) and the two
// distributions of uniformisation (transient).
std::uint64_t solveMemoryNeeded(std::uint64_t states, std::uint64_t branches, std::uint64_t variables, bool steady,
                                bool transient);

// What the embedded Markov regenerative chain of a model with deterministic
// delays takes beyond that: the jump graph of its component search, the
// vectors of its products and results, and each variable's impulses per
// completion.
std::uint64_t regenerativeMemoryNeeded(std::uint64_t states, std::uint64_t branches,
                                       std::uint64_t deterministicBranches, std::uint64_t variables);

// What a CTMC's reached and first-passage variables take at most, each in
// turn before the other variables: the chain, its rewired copy (while built,
// its rows as pairs), the condition and reward vectors, and the component
// search and long-run vectors or uniformisation's distributions.
std::uint64_t passageMemoryNeeded(std::uint64_t states, std::uint64_t branches);

// Refuses `heap` bytes of allocations (counted against both limits) and
// `mapped` bytes of mapping (address space only) that `what` needs (the
// message begins with it).
Status checkMemory(const MemoryLimits& limits, std::uint64_t heap, std::uint64_t mapped, const std::string& what);

// "1.5 GB (1610612736 bytes)"
std::string memoryText(std::uint64_t bytes);

}  // namespace solver

#endif
