#ifndef EXPANSION_H
#define EXPANSION_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "NumberText.h"

// What the successor generator found out of a run of explored states: per
// state, every successor (its vector, its value summed over every path that
// reaches it, that value already formatted for the state-space file, and the
// reward values the reward model gave it on the first path), the delays of
// the deterministic actions enabled in it, and the notes to print when the
// state is numbered. When asked (setImpulseCount), each successor also sums,
// per reward variable, value times impulse over the paths that reach it, so
// that the impulse expected on the transition is that sum over its value.
// This is everything the numbering side needs, so states can be expanded on
// another thread (and another model instance) than the one that numbers them
// and writes the files, and the work of merging and formatting goes with the
// expansion.
//
// Successors keep the order of their first arrival, which is the order in
// which new states get their numbers. Vectors are compared byte for byte:
// the model writes every state in one canonical form (the table hashes the
// bytes too).
//
// The buffers keep their capacity from one use to the next: after the first
// few batches, expanding allocates nothing.
class Expansion {
 public:
  struct State {
    std::uint32_t number;
    std::uint32_t firstSuccessor, endSuccessor;
    std::uint32_t firstDelay, endDelay;
    std::uint32_t firstNote, endNote;
    std::uint32_t firstArrival, endArrival;
  };
  struct Successor {
    std::uint64_t hash;  // the table's hash of the vector
    double value;
    // The part of `value` that exponential firings brought (the positive
    // values; in the normal procedure all of it).
    double rate;
    std::uint32_t textBegin;  // the value as written ("%.10e"), in text()
    std::uint32_t textLength;
    bool self;  // the explored state itself: numbering needs no lookup
  };
  // A zero-time branching whose probabilities sum past 1. `actions` (indices
  // into the model's instantaneous actions) identifies it for reporting once.
  // One path of a deterministic action's completion (deterministic
  // procedure): the delay it belongs to (an index as delay() takes), the
  // successor it reached and the path's probability. Kept apart from the
  // successors' summed values, which mix rates and probabilities.
  struct Arrival {
    std::uint32_t delay;
    std::uint32_t successor;
    double probability;
  };
  struct Note {
    std::vector<std::uint32_t> actions;
    std::string text;
  };

  Expansion(std::size_t stateSize, std::size_t rewardCount) : stateSize_(stateSize), rewardCount_(rewardCount) {}

  // Room for `successors` successors of one state without growing: buffers
  // large enough to keep to themselves, whose ends other buffers do not share.
  void reserve(std::size_t successors) {
    states_.reserve(4);
    successors_.reserve(successors);
    vectors_.reserve(successors * stateSize_);
    rewards_.reserve(successors * rewardCount_);
    text_.reserve(successors * 24);
    delays_.reserve(successors);
    delayActivities_.reserve(successors);
  }

  void clear() {
    states_.clear();
    successors_.clear();
    vectors_.clear();
    rewards_.clear();
    impulses_.clear();
    text_.clear();
    delays_.clear();
    delayActivities_.clear();
    arrivals_.clear();
    arrivalImpulses_.clear();
    notes_.clear();
  }

  void beginState(std::uint32_t number) {
    const auto s = static_cast<std::uint32_t>(successors_.size());
    const auto d = static_cast<std::uint32_t>(delays_.size());
    const auto n = static_cast<std::uint32_t>(notes_.size());
    const auto a = static_cast<std::uint32_t>(arrivals_.size());
    states_.push_back(State{number, s, s, d, d, n, n, a, a});
    index_.clear();
  }
  // Adds one path's value to the successor `vector`; true on its first
  // arrival, when its reward values go to newRewards().
  bool addSuccessor(const char* vector, double value, bool self);
  // The successor the last addSuccessor reached, for adding to it again.
  std::uint32_t lastArrival() const { return lastArrival_; }
  // Adds `value` to a successor of the current state once more, as an
  // arrival by the same path would.
  void addAgain(std::uint32_t successor, double value) {
    successors_[successor].value += value;
    split(successor, value);
  }
  double* newRewards() { return rewards_.data() + (rewards_.size() - rewardCount_); }
  // Per reward variable, how many impulse sums each successor keeps (0: none).
  void setImpulseCount(std::size_t count) { impulseCount_ = count; }
  std::size_t impulseCount() const { return impulseCount_; }
  // Adds value * impulses[v] to the sums of the successor the last
  // addSuccessor reached (on its first arrival, its sums start here).
  void addImpulses(double value, const double* impulses) {
    if (value < 0) {
      // A deterministic completion's: the arrival keeps its own.
      const std::size_t at = arrivalImpulses_.size();
      arrivalImpulses_.resize(at + impulseCount_);
      for (std::size_t v = 0; v < impulseCount_; v++) arrivalImpulses_[at + v] = -value * impulses[v];
      return;
    }
    const std::size_t first = std::size_t{lastArrival_} * impulseCount_;
    if (impulses_.size() < first + impulseCount_) impulses_.resize(first + impulseCount_, 0.0);
    double* sums = impulses_.data() + first;
    for (std::size_t v = 0; v < impulseCount_; v++) sums[v] += value * impulses[v];
  }
  // The sums of successor i: value times impulse, per reward variable.
  const double* impulseSums(std::uint32_t i) const { return impulses_.data() + std::size_t{i} * impulseCount_; }
  // A deterministic action enabled in the state: its delay and which one it
  // is (an index of the generator's own).
  void addDelay(double delay, std::uint32_t activity) {
    delays_.push_back(delay);
    delayActivities_.push_back(activity);
    states_.back().endDelay++;
  }
  void addNote(Note note) {
    notes_.push_back(std::move(note));
    states_.back().endNote++;
  }
  // Formats the values of the state's successors, now that they are complete.
  void endState(ScientificText& format);

  std::size_t size() const { return states_.size(); }
  const State& state(std::size_t i) const { return states_[i]; }
  const Successor& successor(std::uint32_t i) const { return successors_[i]; }
  const char* vector(std::uint32_t i) const { return vectors_.data() + std::size_t{i} * stateSize_; }
  const double* rewards(std::uint32_t i) const { return rewards_.data() + std::size_t{i} * rewardCount_; }
  std::string_view text(const Successor& s) const { return std::string_view(text_.data() + s.textBegin, s.textLength); }
  double delay(std::uint32_t i) const { return delays_[i]; }
  std::uint32_t delayActivity(std::uint32_t i) const { return delayActivities_[i]; }
  const Arrival& arrival(std::uint32_t i) const { return arrivals_[i]; }
  // Per reward variable, probability times impulse of arrival i's path
  // (when impulses are summed).
  const double* arrivalImpulses(std::uint32_t i) const {
    return arrivalImpulses_.data() + std::size_t{i} * impulseCount_;
  }
  const Note& note(std::uint32_t i) const { return notes_[i]; }

 private:
  // Beyond this many successors of one state, a map finds earlier arrivals.
  static constexpr std::uint32_t kLinearSearch = 32;
  // Values below 0 are deterministic completions (deterministic procedure),
  // filed under the last delay added; the others are rates.
  void split(std::uint32_t successor, double value) {
    if (value > 0) {
      successors_[successor].rate += value;
    } else if (value < 0 && !delays_.empty()) {
      arrivals_.push_back(Arrival{static_cast<std::uint32_t>(delays_.size() - 1), successor, -value});
      states_.back().endArrival++;
    }
  }
  // The successor of the current state with this vector, or endSuccessor.
  std::uint32_t find(const char* vector, std::uint64_t hash);

  std::size_t stateSize_;
  std::size_t rewardCount_;
  std::vector<State> states_;
  std::vector<Successor> successors_;
  std::vector<char> vectors_;
  std::vector<double> rewards_;
  std::size_t impulseCount_ = 0;
  std::vector<double> impulses_;  // impulseCount_ per successor
  std::vector<char> text_;
  std::vector<double> delays_;
  std::vector<std::uint32_t> delayActivities_;
  std::vector<Arrival> arrivals_;
  std::vector<double> arrivalImpulses_;  // impulseCount_ per arrival
  std::vector<Note> notes_;
  std::uint32_t lastArrival_ = 0;
  std::unordered_map<std::string, std::uint32_t> index_;  // of the current state, when large
};

#endif
