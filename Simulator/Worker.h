#ifndef SIMULATOR_WORKER_H
#define SIMULATOR_WORKER_H

#include <cstdint>

namespace sim {

// What a thread of a run does: the independent observation number `index`
// of the run seeded `seed` (a plain replication, or a whole repetition of
// splitting), one value per slot into out[0 .. slots), returning the events
// it took.
class Worker {
 public:
  virtual ~Worker() = default;
  virtual std::uint64_t run(std::uint64_t seed, std::uint64_t index, double* out) = 0;
};

}  // namespace sim

#endif
