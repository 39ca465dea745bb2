#ifndef OUTPUT_SINK_H
#define OUTPUT_SINK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Expansion.h"
#include "SuccessorGenerator.h"

class MemoryBudget;

// One explored state as the explorer hands it to the sinks: its number, its
// vector, its branches in increasing target number and the delays of the
// deterministic actions enabled in it. A view into the expansion, valid for
// the one call it is given to.
class ExploredState {
 public:
  struct Branch {
    std::uint32_t target;     // the successor's number
    std::uint32_t successor;  // its index in the expansion
  };

  ExploredState(const Expansion& expansion, std::uint32_t number, const char* vector,
                const std::vector<Branch>& branches)
      : expansion_(expansion), number_(number), vector_(vector), branches_(branches) {}

  std::uint32_t number() const { return number_; }
  // The state's vector; the model is not set to it (the expansion left the
  // model elsewhere).
  const char* vector() const { return vector_; }

  std::size_t branchCount() const { return branches_.size(); }
  std::uint32_t target(std::size_t b) const { return branches_[b].target; }
  // The rate, or for a deterministic action the probability marked by a
  // minus sign, summed over every path to the target.
  double value(std::size_t b) const { return expansion_.successor(branches_[b].successor).value; }
  // The value as the state-space file gives it ("%.10e").
  std::string_view text(std::size_t b) const { return expansion_.text(expansion_.successor(branches_[b].successor)); }
  // Per reward variable, value times impulse summed over the paths; null
  // unless a sink asked for the sums.
  const double* impulseSums(std::size_t b) const {
    return expansion_.impulseCount() > 0 ? expansion_.impulseSums(branches_[b].successor) : nullptr;
  }
  // The sum of the values, in target order.
  double exitRate() const {
    double sum = 0.0;
    for (std::size_t b = 0; b < branches_.size(); b++) sum += value(b);
    return sum;
  }

  // The part of value(b) that exponential firings brought: all of it in the
  // normal procedure, the positive values in the deterministic one.
  double rate(std::size_t b) const { return expansion_.successor(branches_[b].successor).rate; }
  // The sum of the rates, in target order.
  double exponentialExitRate() const {
    double sum = 0.0;
    for (std::size_t b = 0; b < branches_.size(); b++) sum += rate(b);
    return sum;
  }

  std::size_t delayCount() const { return expansion_.state(0).endDelay - expansion_.state(0).firstDelay; }
  double delay(std::size_t i) const {
    return expansion_.delay(expansion_.state(0).firstDelay + static_cast<std::uint32_t>(i));
  }
  // Which deterministic action delay i belongs to (SuccessorGenerator's
  // numbering).
  std::uint32_t delayActivity(std::size_t i) const {
    return expansion_.delayActivity(expansion_.state(0).firstDelay + static_cast<std::uint32_t>(i));
  }
  // The paths of the deterministic completions (deterministic procedure),
  // in the order found: the delay each belongs to (0 to delayCount() - 1),
  // its target's number, its probability, and per reward variable
  // probability times impulse (null unless a sink asked for impulse sums).
  std::size_t arrivalCount() const { return expansion_.state(0).endArrival - expansion_.state(0).firstArrival; }
  std::size_t arrivalDelay(std::size_t k) const {
    return expansion_.arrival(arrivalIndex(k)).delay - expansion_.state(0).firstDelay;
  }
  std::uint32_t arrivalTarget(std::size_t k) const {
    const std::uint32_t successor = expansion_.arrival(arrivalIndex(k)).successor;
    for (const Branch& b : branches_)
      if (b.successor == successor) return b.target;
    return 0;
  }
  double arrivalProbability(std::size_t k) const { return expansion_.arrival(arrivalIndex(k)).probability; }
  const double* arrivalImpulses(std::size_t k) const {
    return expansion_.impulseCount() > 0 ? expansion_.arrivalImpulses(arrivalIndex(k)) : nullptr;
  }

 private:
  std::uint32_t arrivalIndex(std::size_t k) const {
    return expansion_.state(0).firstArrival + static_cast<std::uint32_t>(k);
  }
  const Expansion& expansion_;
  std::uint32_t number_;
  const char* vector_;
  const std::vector<Branch>& branches_;
};

// Where the numbered states of a run go: one output format each. The
// explorer owns the states, their order and their numbers, and calls every
// sink of the run in turn; a sink writes its file as the states arrive and
// completes it in finish(). Failures are thrown as GenError.
class OutputSink {
 public:
  virtual ~OutputSink() = default;

  // Whether the branches must carry the impulse sums (asking costs the
  // expansion a sum per reward variable and successor).
  virtual bool needsImpulseSums() const { return false; }
  // State `number` was given its number (1, 2, 3, ... in turn). `rewards`:
  // each reward variable's impulse and rate value (readRewardValues) after
  // the firing that reached the state first.
  virtual void numbered(std::uint32_t number, const double* rewards) = 0;
  // The next explored state, in number order.
  virtual void explored(const ExploredState& state) = 0;
  // Called with the progress line: reports a write that already failed, so
  // that a full disk shows up before the end of a long run.
  virtual void check() {}
  // After the last state: writes what is left and closes the file,
  // reporting a failure.
  virtual void finish() = 0;
};

// The sinks of one run, which the explorer opens once it knows the
// procedure: whoever runs the explorer decides which formats a run writes,
// and the explorer calls the interface it owns.
class RunSinks {
 public:
  virtual ~RunSinks() = default;

  // Before the procedure is chosen (a failure here comes before any check
  // of the model's initial state).
  virtual void begin() = 0;
  // Opens the sinks of `procedure` and returns the one the states go to.
  // `vectorSize` is the bytes of a state vector; in the deterministic
  // procedure `delays` names the deterministic actions, and what the sinks
  // keep of the delays is accounted to `budget`.
  virtual OutputSink& open(Procedure procedure, std::size_t vectorSize, const std::vector<std::string>& delays,
                           MemoryBudget* budget) = 0;
};

#endif
