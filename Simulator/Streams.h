#ifndef SIMULATOR_STREAMS_H
#define SIMULATOR_STREAMS_H

#include <cstdint>
#include <pcg_random.hpp>

namespace sim {

// What a replication's numbers are for: each purpose has streams of its own.
enum class Purpose : std::uint64_t {
  Transient = 0,  // a path to the latest time point
  LongRun = 1,    // a warm-up and a long-run observation
  Splitting = 2,  // a repetition of splitting: all its paths, one after the other
  Pilot = 3,      // the pilot that chooses a slot's levels of splitting (the index is the slot's)
  Sampling = 4,   // a path of importance sampling
};

// The generator of replication `index` of the run seeded `seed`. pcg32's
// stream (its increment) and its starting state are both hashes of the
// seed, the purpose and the index, through SplitMix64's finaliser and a
// 63-bit bijection of the same kind:
// - for one seed and purpose, the index maps one-to-one to the stream, so
//   no two replications of a run share a stream;
// - for one index and purpose, the seed maps one-to-one to the starting
//   state, and otherwise seeds, purposes and indices are scattered over
//   2^63 streams and 2^64 states, so runs with nearby seeds (-S1, -S2, ...)
//   draw numbers unrelated to each other's.
// The same on every thread and process: nothing but its arguments counts.
pcg32 replicationGenerator(std::uint64_t seed, Purpose purpose, std::uint64_t index);

// A uniform number in [0, 1) from two outputs: 53 random bits.
inline double uniform53(pcg32& rng) {
  const std::uint64_t high = rng(), low = rng();
  return static_cast<double>(((high << 32) | low) >> 11) * 0x1.0p-53;
}

}  // namespace sim

#endif
