#ifndef SIMULATOR_ENGINE_H
#define SIMULATOR_ENGINE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PerformanceVariableNode.h"
#include "SuccessorGenerator.h"

class PVModel;

namespace sim {

// One number a replication observes: reward variable `node` at one of its
// time points (or in the long run).
struct Slot {
  int node;
  ::RewardType kind;
  double start, stop;  // the instant (start == stop), the interval, or unused (steady state)
};

// What every replication measures, read from the reward model once.
struct Plan {
  std::vector<Slot> slots;         // by variable, then time point, in the model's order
  std::vector<std::string> names;  // by node
  double horizon = 0;              // the latest instant or interval end
  bool steady = false;             // a steady-state variable is asked for
  std::uint64_t warmupEvents = 0;  // events before a steady-state observation starts
  std::uint64_t batchEvents = 1;   // events it spans
};

// Reads the slots from the model's reward variables, those named in
// `only` when it is not empty (a name the model lacks is refused with
// GenError).
Plan makePlan(PVModel& model, std::uint64_t warmupEvents, std::uint64_t batchEvents,
              const std::vector<std::string>& only);

// Runs replications of one reward model: each starts from the initial
// marking with its own random stream and writes one observation per slot.
// One instance per thread.
class Replicator {
 public:
  Replicator(std::unique_ptr<PVModel> model, const Plan& plan);
  ~Replicator();
  Replicator(const Replicator&) = delete;
  Replicator& operator=(const Replicator&) = delete;

  // Replication `index` of the run seeded `seed`: the slots' observations
  // into out[0 .. slots), and the number of events (timed completions and
  // Erlang phase steps) it took.
  std::uint64_t run(std::uint64_t seed, std::uint64_t index, double* out);

 private:
  enum class Delay : std::uint8_t { Exponential, Erlang, Deterministic };
  struct Activity {
    Delay delay;
    bool enabled;
    double rate;  // exponential and Erlang: the rate in the current marking
    double due;   // deterministic: the completion time drawn at enabling (infinity when disabled)
  };
  void evaluateRates();
  void refreshEnabling(std::size_t fired, double now);
  double deterministicDelay(std::size_t activity) const;
  double activityRate(std::size_t activity) const;
  // From `from` to `to`, the state constant: instants, integrals.
  void observe(double from, double to, double* out);
  // The rate at which variable `node` earns impulses in the current state
  // (exponential activities only), by firing each case once and going back.
  double impulseRate(int node);

  std::unique_ptr<PVModel> model_;
  const Plan& plan_;
  std::unique_ptr<SuccessorGenerator> gen_;
  std::vector<char> initial_;
  std::vector<char> saved_;
  std::vector<Activity> activities_;
  std::vector<double> rate_;               // per node: the rate reward in the current state
  std::vector<double> steadySum_;          // per node: accumulated over the steady-state observation
  std::vector<std::size_t> instantOrder_;  // instant slots by time
  std::vector<std::size_t> spanSlots_;     // interval and time-averaged slots
  std::vector<std::size_t> steadySlots_;
  std::vector<int> usedNodes_;         // the variables the plan's slots name, in order
  std::vector<char> instantImpulses_;  // per node: an instant-of-time variable with impulses
  bool impulses_ = false;
  bool observing_ = false;
  std::size_t nextInstant_ = 0;
  struct Stream;
  std::unique_ptr<Stream> stream_;
  std::uint64_t replication_ = 0;
  double faultTime_ = 0.0;  // the simulated time of the event under way, for messages
};

}  // namespace sim

#endif
