#ifndef SIMULATOR_ENGINE_H
#define SIMULATOR_ENGINE_H

#include <chrono>
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
  double start, stop;  // the instant (start == stop), the interval, or unused (steady state);
                       // a first passage: [0, its cap]
  int until = -1;      // a first passage: the node of its condition
};

// What the replications measure, read from the reward model once. The
// transient slots (instants and intervals) come from paths that run to
// their latest time point; the steady-state slots from separate paths that
// run a warm-up and an observation, so that neither pays for the other.
struct Plan {
  std::vector<Slot> slots;             // by variable, then time point, in the model's order
  std::vector<std::string> names;      // by node
  std::vector<std::size_t> transient;  // the instant, interval and time-averaged slots
  std::vector<std::size_t> steady;     // the steady-state slots
  double horizon = 0;                  // the latest instant, interval end or cap
  // The latest instant or interval end of the slots that are not first
  // passages: a replication stops past it once every passage is settled.
  double settled = 0;
};

// Reads the slots from the model's reward variables, those named in
// `only` when it is not empty (a name the model lacks is refused with
// GenError). With `times`, the transient variables are taken at those
// times instead of their own: an instant-of-time variable at t, an
// interval or time-averaged one over [0, t].
Plan makePlan(PVModel& model, const std::vector<std::string>& only, const std::vector<double>& times);

// The numbers a transient replication gives: an observation per transient
// slot, then per slot 1 where its values need not lie in [0, 1] (a
// time-averaged variable with impulses, or whose reward rate left [0, 1]
// in a state of the path within its interval; 0 for the other kinds, whose
// observations say so themselves), kCapped for a first passage whose
// condition had not held by its cap (its observation is the reward up to
// the cap).
struct TransientRow {
  static constexpr double kCapped = 2.0;
  static std::size_t width(std::size_t transientSlots) { return 2 * transientSlots; }
  static std::size_t beyondUnit(std::size_t transientSlots, std::size_t slot) { return transientSlots + slot; }
};

// The numbers a long-run replication gives: per steady-state slot the
// reward earned over each block of events (Block: the warm-up's second
// half, the observation's first half, its second half), then the blocks'
// durations, then 1 if the path reached a state with nothing enabled first
// (then the first number of each slot is that state's reward rate and the
// other rewards and times are 0), then per slot 1 where the variable has
// impulses or its reward rate left [0, 1] in a state of the warm-up's tail,
// the observation or the absorbing state.
struct LongRunRow {
  static std::size_t width(std::size_t steadySlots) { return 4 * steadySlots + 4; }
  static std::size_t reward(std::size_t slot, int block) { return 3 * slot + static_cast<std::size_t>(block); }
  static std::size_t time(std::size_t steadySlots, int block) {
    return 3 * steadySlots + static_cast<std::size_t>(block);
  }
  static std::size_t absorbed(std::size_t steadySlots) { return 3 * steadySlots + 3; }
  static std::size_t beyondUnit(std::size_t steadySlots, std::size_t slot) { return 3 * steadySlots + 4 + slot; }
};

// Runs replications of one reward model: each starts from the initial
// marking with a random stream of its own (replicationGenerator) and
// writes one observation per slot. One instance per thread.
class Replicator {
 public:
  using Clock = std::chrono::steady_clock;
  // What run functions return when the deadline passed during the
  // replication: its observations are incomplete.
  static constexpr std::uint64_t kCut = UINT64_MAX;

  Replicator(std::unique_ptr<PVModel> model, const Plan& plan);
  ~Replicator();
  Replicator(const Replicator&) = delete;
  Replicator& operator=(const Replicator&) = delete;

  // The clock time past which a replication stops where it is (looked at
  // every 4096 events).
  void setDeadline(Clock::time_point deadline) { deadline_ = deadline; }

  // Transient replication `index` of the run seeded `seed`: TransientRow's
  // numbers into out, the slots in plan.transient's order, and the number
  // of events (timed completions and Erlang phase steps) it took, or kCut.
  std::uint64_t runTransient(std::uint64_t seed, std::uint64_t index, double* out);

  // Long-run replication `index`: `warmup` events dropped, the next
  // `observed` events observed; LongRunRow::width values into out, and the
  // events it took, or kCut. warmup + observed must not pass 2^64 - 1.
  std::uint64_t runLongRun(std::uint64_t seed, std::uint64_t index, std::uint64_t warmup, std::uint64_t observed,
                           double* out);

 private:
  enum class Delay : std::uint8_t { Exponential, Erlang, Deterministic };
  struct Activity {
    Delay delay;
    bool enabled;
    double rate;  // exponential and Erlang: the rate in the current marking
    double due;   // deterministic: the completion time drawn at enabling (infinity when disabled)
  };
  // The next event after the current marking's enablings: its time, and
  // whether the exponential race (rather than the earliest fixed delay,
  // `due`) gives it.
  struct Next {
    double at;
    double total;  // the exponential rates' sum
    std::size_t due;
    bool exponential;
  };
  void start(std::uint64_t seed, bool longRun, std::uint64_t index, const std::vector<int>& nodes);
  // Both event loops inline these two (the hot path: a call each per event
  // cost a few percent of the events per second).
  [[gnu::always_inline]] inline Next drawNext(double now);
  // Fires the event `next` at `now`: the impulses its path earned by node
  // (nullptr for an Erlang phase step or when no impulses are watched).
  [[gnu::always_inline]] inline const double* fire(const Next& next, double now, const std::vector<int>& nodes);
  bool late(std::uint64_t events) const { return (events & 4095) == 0 && Clock::now() > deadline_; }
  void evaluateRates(const std::vector<int>& nodes);
  void refreshEnabling(std::size_t fired, double now);
  double deterministicDelay(std::size_t activity) const;
  double activityRate(std::size_t activity) const;
  // From `from` to `to`, the state constant: the transient slots' instants
  // and integrals.
  void observe(double from, double to, double* out);
  // The rate at which variable `node` earns impulses in the current state
  // (exponential activities only), by firing each case once and going back.
  double impulseRate(int node);
  // The long-run row's flags of the variables whose values need not lie in
  // [0, 1].
  void markBeyondUnit(double* out) const;
  // The replication under way, as messages name it.
  std::string whichReplication() const;

  std::unique_ptr<PVModel> model_;
  const Plan& plan_;
  std::unique_ptr<SuccessorGenerator> gen_;
  std::vector<char> initial_;
  std::vector<char> saved_;
  std::vector<Activity> activities_;
  std::vector<double> rate_;               // per node: the rate reward in the current state
  std::vector<char> beyondUnit_;           // per node: a rate outside [0, 1] observed in this replication
  std::vector<char> hasImpulses_;          // per node
  std::vector<std::size_t> instantOrder_;  // transient positions of the instant slots, by time
  std::vector<std::size_t> spanSlots_;     // transient positions of the interval and time-averaged slots
  std::vector<std::size_t> reachedSlots_;  // transient positions of the reached slots
  std::vector<std::size_t> passageSlots_;  // transient positions of the first-passage slots
  std::vector<char> passed_;               // per first-passage slot: its condition has held
  std::vector<int> transientNodes_;        // the variables of the transient slots, in order
  std::vector<int> steadyNodes_;           // of the steady-state slots (one slot each)
  std::vector<char> instantImpulses_;      // per node: an instant-of-time variable with impulses
  bool impulses_ = false;
  std::size_t nextInstant_ = 0;
  struct Stream;
  std::unique_ptr<Stream> stream_;
  Clock::time_point deadline_ = Clock::time_point::max();
  std::uint64_t seed_ = 0, replication_ = 0;
  bool longRun_ = false;
  double faultTime_ = 0.0;  // the simulated time of the event under way, for messages
};

}  // namespace sim

#endif
