#ifndef SIMULATOR_IMPORTANCE_H
#define SIMULATOR_IMPORTANCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class PVModel;
class SuccessorGenerator;

namespace sim {

// How close each state is to a rare set, for splitting: the natural
// logarithm of the probability of the most likely path from the state into
// the set, in the jump chain of the model with every fixed delay taken as
// an exponential of the same mean. 0 in the set, below 0 outside it, minus
// infinity where the set cannot be reached. Higher is closer; levels are
// thresholds on it.
//
// Derived from the reachable stable states, explored through the
// generator's firing rules (its deterministic procedure when the model has
// fixed delays: each completion then becomes a rate of its probability over
// the delay), and a Dijkstra search backwards from the set with the weight
// -ln(jump probability) on each transition. A state the exploration never
// met (none, when it was complete) counts as minus infinity: splitting then
// only loses efficiency, never correctness.
class Importance {
 public:
  // The set: the stable states where reward variable `node` has a rate
  // reward other than 0. Explores at most `maxStates` states, breadth first
  // from the initial one; past that the states explored stand for the model
  // (partial()), and if the set is not among them, `failure` says so.
  static Importance derive(PVModel& model, SuccessorGenerator& generator, int node, std::size_t maxStates);

  // The importance written by the user: the rate reward of reward variable
  // `node` (its expression over the places) in each state, evaluated on
  // the path's model as it goes; nothing is explored.
  static Importance ofVariable(int node, std::string name) {
    Importance result;
    result.variable_ = node;
    result.variableName_ = std::move(name);
    return result;
  }
  // The user's variable, or -1 for a derived importance.
  int variable() const { return variable_; }
  const std::string& variableName() const { return variableName_; }

  bool partial() const { return partial_; }
  const std::string& failure() const { return failure_; }
  std::size_t states() const { return states_; }
  std::size_t rareStates() const { return rare_; }
  // The value of the state whose vector is `vector` (vectorSize bytes).
  double of(const char* vector) const {
    const auto at = index_.find(std::string_view(vector, vectorSize_));
    return at == index_.end() ? -kInfinity : value_[at->second];
  }

  static constexpr double kInfinity = __builtin_inf();

 private:
  std::size_t vectorSize_ = 0;
  std::size_t states_ = 0, rare_ = 0;
  bool partial_ = false;
  int variable_ = -1;
  std::string variableName_;
  std::string failure_;
  // The vectors, in blocks that never move, so that the index's keys stay valid.
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::unordered_map<std::string_view, std::uint32_t> index_;
  std::vector<double> value_;
};

}  // namespace sim

#endif
