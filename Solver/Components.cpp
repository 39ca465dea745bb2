#include "Components.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace solver {

Components findComponents(const Chain& chain) {
  const int n = chain.states;
  Components out;
  out.classOf.assign(n, Components::kUnreachable);
  // order[v]: discovery number (-1: not yet); low[v]: least number reachable
  // through v's subtree and back edges; a state on the stack keeps low >= 0,
  // a finished one gets its component number in `component`.
  std::vector<int> order(n, -1), low(n, 0), component(n, -1);
  std::vector<int> stack;
  struct Frame {
    int state;
    std::int64_t next;  // the next successor edge to look at
  };
  std::vector<Frame> calls;
  int counter = 0, components = 0;

  auto enter = [&](int v) {
    order[v] = low[v] = counter++;
    stack.push_back(v);
    calls.push_back({v, chain.outStart[v]});
  };
  enter(chain.initial);
  while (!calls.empty()) {
    Frame& f = calls.back();
    const int v = f.state;
    if (f.next < chain.outStart[v + 1]) {
      const int w = chain.outTarget[f.next++];
      if (order[w] < 0) {
        enter(w);  // invalidates f
      } else if (component[w] < 0) {
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
    std::vector<int> members(first, stack.end());
    stack.erase(first, stack.end());
    for (int s : members) component[s] = id;
    bool isBottom = true;
    for (int s : members) {
      for (std::int64_t e = chain.outStart[s]; e < chain.outStart[s + 1] && isBottom; e++)
        isBottom = component[chain.outTarget[e]] == id;
      if (!isBottom) break;
    }
    std::sort(members.begin(), members.end());
    if (isBottom) {
      for (int s : members) out.classOf[s] = static_cast<int>(out.bottom.size());
      out.bottom.push_back(std::move(members));
    } else {
      for (int s : members) out.classOf[s] = Components::kTransient;
    }
  }
  for (int s = 0; s < n; s++)
    if (out.classOf[s] == Components::kTransient) out.transient.push_back(s);
  return out;
}

}  // namespace solver
