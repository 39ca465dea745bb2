#include "Importance.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

#include "Expansion.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"
#include "RewardValues.h"
#include "SuccessorGenerator.h"

namespace sim {

namespace {

struct Edge {
  std::uint32_t from, to;
  double rate;
};

}  // namespace

Importance Importance::derive(PVModel& model, SuccessorGenerator& generator, int node, std::size_t maxStates) {
  Importance result;
  const std::size_t size = generator.vectorSize();
  result.vectorSize_ = size;
  constexpr std::size_t kBlock = 4096;  // states a block holds
  std::vector<const char*> vectors;     // by state number
  // The number of the state `vector`, a new one when it was not met yet;
  // UINT32_MAX past the limit.
  auto number = [&](const char* vector) -> std::uint32_t {
    const auto known = result.index_.find(std::string_view(vector, size));
    if (known != result.index_.end()) return known->second;
    if (vectors.size() >= maxStates) return UINT32_MAX;
    if (vectors.size() % kBlock == 0) result.blocks_.push_back(std::make_unique<char[]>(kBlock * size));
    char* at = result.blocks_.back().get() + (vectors.size() % kBlock) * size;
    std::memcpy(at, vector, size);
    const auto n = static_cast<std::uint32_t>(vectors.size());
    vectors.push_back(at);
    result.index_.emplace(std::string_view(at, size), n);
    return n;
  };

  // With fixed delays the deterministic procedure reports each completion
  // as a probability filed under its delay; without them the normal one
  // gives rates, Erlang phases included.
  const bool fixed = (generator.distributionFlags() & 2) != 0;
  generator.setProcedure(fixed ? Procedure::Deterministic : Procedure::Normal);
  Expansion expansion(size, static_cast<std::size_t>(rewardValueCount(model)));
  std::vector<char> initial(size);
  generator.initialVector(initial.data());
  number(initial.data());
  std::vector<Edge> edges;
  for (std::size_t n = 0; n < vectors.size(); n++) {
    expansion.clear();
    generator.expand(vectors[n], static_cast<std::uint32_t>(n), expansion);
    const Expansion::State& state = expansion.state(0);
    std::vector<std::uint32_t> targets;
    for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++) {
      const Expansion::Successor& successor = expansion.successor(i);
      const std::uint32_t to = successor.self ? static_cast<std::uint32_t>(n) : number(expansion.vector(i));
      // Past the limit the part explored so far, breadth first from the
      // initial state, stands for the model: the ways out of it are left out.
      if (to == UINT32_MAX) result.partial_ = true;
      targets.push_back(to);
      if (to != UINT32_MAX && !successor.self && successor.rate > 0)
        edges.push_back(Edge{static_cast<std::uint32_t>(n), to, successor.rate});
    }
    for (std::uint32_t a = state.firstArrival; a < state.endArrival; a++) {
      const Expansion::Arrival& arrival = expansion.arrival(a);
      if (expansion.successor(arrival.successor).self || !(arrival.probability > 0)) continue;
      const double rate = arrival.probability / expansion.delay(arrival.delay);
      const std::uint32_t to = targets[arrival.successor - state.firstSuccessor];
      if (to != UINT32_MAX) edges.push_back(Edge{static_cast<std::uint32_t>(n), to, rate});
    }
  }
  const std::size_t states = vectors.size();
  result.states_ = states;

  // The rare set, and the total rate out of each state (self-loops aside:
  // the jump chain leaves the state).
  PerformanceVariableNode* variable = model.PVList[node];
  std::vector<double> distance(states, kInfinity);
  using Entry = std::pair<double, std::uint32_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
  for (std::size_t n = 0; n < states; n++) {
    generator.loadState(vectors[n]);
    variable->CurrentReward(nullptr);
    if (variable->RateReward != 0) {
      distance[n] = 0.0;
      queue.emplace(0.0, static_cast<std::uint32_t>(n));
      result.rare_++;
    }
  }
  std::vector<double> exit(states, 0.0);
  for (const Edge& e : edges) exit[e.from] += e.rate;
  // The transitions by target, for the search backwards.
  std::vector<std::uint32_t> start(states + 1, 0);
  for (const Edge& e : edges) start[e.to + 1]++;
  for (std::size_t n = 0; n < states; n++) start[n + 1] += start[n];
  std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
  std::vector<std::uint32_t> from(edges.size());
  std::vector<double> weight(edges.size());
  for (const Edge& e : edges) {
    const std::uint32_t k = fill[e.to]++;
    from[k] = e.from;
    weight[k] = -std::log(e.rate / exit[e.from]);
  }
  edges = {};
  while (!queue.empty()) {
    const auto [d, u] = queue.top();
    queue.pop();
    if (d > distance[u]) continue;
    for (std::uint32_t k = start[u]; k < start[u + 1]; k++) {
      const double through = d + weight[k];
      if (through < distance[from[k]]) {
        distance[from[k]] = through;
        queue.emplace(through, from[k]);
      }
    }
  }
  if (result.rare_ == 0 && result.partial_)
    result.failure_ = "its rare set is not among the first " + std::to_string(maxStates) +
                      " reachable states (breadth first), the limit of the search";
  result.value_.resize(states);
  for (std::size_t n = 0; n < states; n++) result.value_[n] = -distance[n];
  return result;
}

}  // namespace sim
