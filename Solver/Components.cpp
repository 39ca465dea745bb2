#include "Components.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

namespace solver {

namespace {

template <class Graph>
Components find(const Graph& g, int initial) {
  const int n = g.rows();
  // Pearce's single-number variant of Tarjan's algorithm. rindex[v] is 0
  // before v is visited; while v's component is open, a discovery number
  // (from 1), lowered to the least one v reaches; once the component is
  // finished, its number, counted down from n in finishing order. With c
  // the next number to give, open states hold at most c and finished ones
  // more, so one comparison tells them apart. One int per state, where the
  // textbook form keeps two and a list of members.
  std::vector<int> rindex(n, 0);
  // Per state: still the root of its call, and a predecessor lies in a
  // component the initial state reaches.
  constexpr std::uint8_t kRoot = 1, kFed = 2;
  std::vector<std::uint8_t> mark(n, 0);
  // Visited states of open components that are not on the call stack.
  std::vector<int> open;
  struct Frame {
    int state;
    std::uint32_t next;  // the next predecessor to look at, within the row
  };
  std::vector<Frame> calls;
  // Room for the deepest search up front: pages are taken only as they are
  // used, where growing by doubling could hold twice the depth reached.
  calls.reserve(n);
  open.reserve(n);
  // Per finished component: the initial state reaches it, and it has an
  // edge out. Every predecessor's component finishes before its
  // successor's, so a component's reach is settled as it finishes.
  constexpr std::uint8_t kReached = 1, kLeaves = 2;
  std::vector<std::uint8_t> flags(static_cast<std::size_t>(n) + 1, 0);
  int index = 1, c = n;

  // v's predecessor w has been looked at (and searched, if it was new).
  auto sawPredecessor = [&](int v, int w) {
    if (rindex[w] > c) {
      // w's component is finished, so it is not v's: the chain goes from it to v's.
      flags[rindex[w]] |= kLeaves;
      if (flags[rindex[w]] & kReached) mark[v] |= kFed;
    } else if (rindex[w] < rindex[v]) {
      rindex[v] = rindex[w];
      mark[v] &= static_cast<std::uint8_t>(~kRoot);
    }
  };

  for (int root = 0; root < n; root++) {
    if (rindex[root] != 0) continue;
    auto enter = [&](int v) {
      rindex[v] = index++;
      mark[v] |= kRoot;
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
        if (rindex[w] == 0)
          enter(w);  // invalidates f
        else
          sawPredecessor(v, w);
        continue;
      }
      calls.pop_back();
      if (mark[v] & kRoot) {
        // v's component: v and the open states discovered after it.
        std::size_t first = open.size();
        while (first > 0 && rindex[v] <= rindex[open[first - 1]]) first--;
        bool reached = v == initial || (mark[v] & kFed);
        rindex[v] = c;
        index--;
        for (std::size_t m = first; m < open.size(); m++) {
          const int member = open[m];
          reached = reached || member == initial || (mark[member] & kFed);
          rindex[member] = c;
          index--;
        }
        if (reached) flags[c] |= kReached;
        open.resize(first);
        c--;
      } else {
        open.push_back(v);
      }
      if (!calls.empty()) sawPredecessor(calls.back().state, v);
    }
  }
  std::vector<Frame>().swap(calls);
  std::vector<int>().swap(open);
  std::vector<std::uint8_t>().swap(mark);

  // The bottom components in finishing order (numbers counting down).
  std::vector<int> bottomIds;
  for (int id = n; id > c; id--)
    if (flags[id] == kReached) bottomIds.push_back(id);
  auto bottomIndex = [&](int id) {
    const auto at = std::lower_bound(bottomIds.begin(), bottomIds.end(), id, std::greater<int>());
    return static_cast<int>(at - bottomIds.begin());
  };
  Components out;
  out.bottom.resize(bottomIds.size());
  std::vector<std::size_t> sizes(bottomIds.size(), 0);
  std::size_t transient = 0;
  for (int s = 0; s < n; s++) {
    const std::uint8_t f = flags[rindex[s]];
    if (f == kReached)
      sizes[static_cast<std::size_t>(bottomIndex(rindex[s]))]++;
    else if (f & kReached)
      transient++;
  }
  for (std::size_t b = 0; b < sizes.size(); b++) out.bottom[b].reserve(sizes[b]);
  out.transient.reserve(transient);
  // The component numbers give way to the classes, in place.
  std::vector<int> classOf(std::move(rindex));
  for (int s = 0; s < n; s++) {
    const std::uint8_t f = flags[classOf[s]];
    if (!(f & kReached)) {
      classOf[s] = Components::kUnreachable;
    } else if (f & kLeaves) {
      classOf[s] = Components::kTransient;
      out.transient.push_back(s);
    } else {
      classOf[s] = bottomIndex(classOf[s]);
      out.bottom[static_cast<std::size_t>(classOf[s])].push_back(s);
    }
  }
  out.classOf = std::move(classOf);
  out.initialClass = out.classOf[initial];
  return out;
}

}  // namespace

Components findComponents(const RateMatrix& incoming, int initial) { return find(incoming, initial); }
Components findComponents(const PredecessorGraph& incoming, int initial) { return find(incoming, initial); }

}  // namespace solver
