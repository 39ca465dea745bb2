#include "Components.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace solver {

namespace {

template <class Graph>
Components find(const Graph& g, int initial) {
  const int n = g.rows();
  constexpr int kFresh = 0, kDone = -1;
  // order[v]: discovery number + 1 while v is on the stack, kFresh before,
  // kDone after; low[v]: least discovery number reachable through v's
  // subtree and back edges, then v's component once it is done.
  std::vector<int> order(n, kFresh), low(n, 0);
  std::vector<int> stack;
  // Each component's states, in the order the components were finished.
  std::vector<int> members;
  std::vector<std::uint64_t> firstMember{0};
  members.reserve(n);
  struct Frame {
    int state;
    std::uint32_t next;  // the next predecessor to look at, within the row
  };
  std::vector<Frame> calls;
  // Room for the deepest search up front: pages are taken only as they are
  // used, where growing by doubling could hold twice the depth reached.
  calls.reserve(n);
  stack.reserve(n);
  int counter = 0, components = 0;

  for (int root = 0; root < n; root++) {
    if (order[root] != kFresh) continue;
    auto enter = [&](int v) {
      order[v] = ++counter;
      low[v] = counter;
      stack.push_back(v);
      calls.push_back({v, 0});
    };
    enter(root);
    while (!calls.empty()) {
      Frame& f = calls.back();
      const int v = f.state;
      const std::uint64_t k = g.begin(v) + f.next;
      if (k < g.end(v)) {
        f.next++;
        const int w = g.column(k);
        if (order[w] == kFresh) {
          enter(w);  // invalidates f
        } else if (order[w] != kDone) {
          low[v] = std::min(low[v], order[w]);
        }
        continue;
      }
      calls.pop_back();
      if (!calls.empty()) {
        const int parent = calls.back().state;
        low[parent] = std::min(low[parent], low[v]);
      }
      if (low[v] != order[v]) continue;
      // v is the root of a component: its states are on the stack down to v.
      const int id = components++;
      auto first = std::find(stack.rbegin(), stack.rend(), v).base() - 1;
      for (auto s = first; s != stack.end(); ++s) {
        order[*s] = kDone;
        low[*s] = id;
        members.push_back(*s);
      }
      firstMember.push_back(members.size());
      stack.erase(first, stack.end());
    }
  }
  std::vector<Frame>().swap(calls);
  std::vector<int>().swap(stack);
  std::vector<int>().swap(order);
  std::vector<int>& component = low;

  // Every predecessor's component was finished no later than its
  // successor's, so reachability flows forward in finishing order.
  std::vector<char> reached(components, 0), leaves(components, 0);
  reached[component[initial]] = 1;
  for (int c = 0; c < components; c++) {
    for (std::uint64_t m = firstMember[c]; m < firstMember[c + 1] && !reached[c]; m++) {
      const int j = members[m];
      for (std::uint64_t k = g.begin(j); k < g.end(j); k++)
        if (reached[component[g.column(k)]]) {
          reached[c] = 1;
          break;
        }
    }
  }
  for (int j = 0; j < n; j++)
    for (std::uint64_t k = g.begin(j); k < g.end(j); k++)
      if (component[g.column(k)] != component[j]) leaves[component[g.column(k)]] = 1;

  Components out;
  std::vector<int> bottomIndex(components, -1);
  for (int c = 0; c < components; c++) {
    if (!reached[c] || leaves[c]) continue;
    bottomIndex[c] = static_cast<int>(out.bottom.size());
    std::vector<int> states(members.begin() + static_cast<std::ptrdiff_t>(firstMember[c]),
                            members.begin() + static_cast<std::ptrdiff_t>(firstMember[c + 1]));
    std::sort(states.begin(), states.end());
    out.bottom.push_back(std::move(states));
  }
  std::vector<int>().swap(members);
  // The component numbers give way to the classes, in place.
  std::vector<int> classOf(std::move(component));
  for (int s = 0; s < n; s++) {
    const int c = classOf[s];
    classOf[s] = !reached[c] ? Components::kUnreachable : bottomIndex[c] >= 0 ? bottomIndex[c] : Components::kTransient;
    if (classOf[s] == Components::kTransient) out.transient.push_back(s);
  }
  out.classOf = std::move(classOf);
  out.initialClass = out.classOf[initial];
  return out;
}

}  // namespace

Components findComponents(const RateMatrix& incoming, int initial) { return find(incoming, initial); }
Components findComponents(const PredecessorGraph& incoming, int initial) { return find(incoming, initial); }

}  // namespace solver
