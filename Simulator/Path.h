#ifndef SIMULATOR_PATH_H
#define SIMULATOR_PATH_H

#include <cstdint>
#include <memory>
#include <vector>

#include "Engine.h"
#include "Streams.h"
#include "SuccessorGenerator.h"

class PVModel;

namespace sim {

class Importance;

// One path of the model that can be stopped where it first reaches an
// importance, saved, and started again from the saved point any number of
// times: what splitting needs. The firing rules are the replications' own
// (the race of exponential clocks, fixed delays drawn at enabling and kept
// while enabled, Erlang phases, cases and zero-time paths through the
// generator). Observes one reward variable (rate rewards only). One instance
// per thread.
class Path {
 public:
  Path(std::unique_ptr<PVModel> model, int node);
  ~Path();
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;

  enum class Delay : std::uint8_t { Exponential, Erlang, Deterministic };
  struct Activity {
    Delay delay;
    bool enabled;
    double rate;  // exponential and Erlang: the rate in the current marking
    double due;   // deterministic: the completion time drawn at enabling (infinity when disabled)
  };
  // Everything the path's future depends on.
  struct Snapshot {
    std::vector<char> vector;
    std::vector<Activity> activities;
    double now = 0;
  };

  // Draws from the stream of `seed`, `purpose` and `index`
  // (replicationGenerator) from here on; the numbers go on from path to
  // path until the next reseed.
  void reseed(std::uint64_t seed, Purpose purpose, std::uint64_t index);
  // The instant past which no path of the current slot runs: a saved fixed
  // delay of a Rep's replica may be restored only if it ends after it.
  void setHorizon(double horizon) { horizon_ = horizon; }
  void start();
  void save(Snapshot& snapshot);
  void restore(const Snapshot& snapshot);

  // Runs until the state's importance is at least `threshold` (true; the
  // path stands at the event that reached it, or where it started if it
  // was there already) or until the next event would come after the
  // horizon (false; the path stands in its state at the horizon). With
  // `slot`, adds the variable's rate reward integrated over the part of
  // [slot.start, slot.stop] run through to `integral`.
  bool climb(double threshold, const Importance* importance, const Slot* slot, double& integral);
  // From where the path stands, runs to the horizon under a change of
  // measure and returns the slot's observation times the likelihood ratio
  // of the path (importance sampling: unbiased for the observation's mean
  // under the model's own law). Forcing: an exponential completion before
  // the horizon gets probability at least `bias`. Biasing: the exponential
  // activities whose completion raises the importance share probability at
  // least `bias` among the exponential ones.
  double weighted(const Importance& importance, const Slot& slot, double bias);
  // The importance of the current state.
  double importance(const Importance& importance);
  // A number uniform on [0, 1) from the path's stream.
  double uniform();
  // The variable's rate reward in the current state.
  double reward() const { return reward_; }
  double now() const { return now_; }
  std::uint64_t events() const { return events_; }
  PVModel& model() { return *model_; }

  // Names the repetition in messages of model faults.
  void setLabel(std::uint64_t seed, std::uint64_t repetition) {
    seed_ = seed;
    repetition_ = repetition;
  }

 private:
  void refreshEnabling(std::size_t fired);
  // After a vector was loaded: rates and enabling read again, the fixed
  // delays of a Rep's replicas checked (see restore).
  void afterLoad();
  void evaluateReward();
  double deterministicDelay(std::size_t activity) const;
  double activityRate(std::size_t activity) const;

  std::unique_ptr<PVModel> model_;
  int node_;
  std::unique_ptr<SuccessorGenerator> gen_;
  std::vector<char> initial_;
  std::vector<char> vector_;
  std::vector<Activity> activities_;
  // By activity: a fixed delay inside a Rep of several replicas, whose parts
  // a saved vector holds sorted, so that restoring one may hand the delay's
  // replica another part.
  std::vector<char> replicated_;
  std::vector<char> peek_, toward_;
  struct Stream;
  std::unique_ptr<Stream> stream_;
  double now_ = 0.0, horizon_ = 0.0, reward_ = 0.0;
  std::uint64_t events_ = 0;
  std::uint64_t seed_ = 0, repetition_ = 0;
};

}  // namespace sim

#endif
