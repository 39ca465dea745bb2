#ifndef SUCCESSOR_RATES_H
#define SUCCESSOR_RATES_H

#include <cstdint>
#include <vector>

// The transitions out of the state being explored: one (successor number,
// value) pair per contribution, in firing order. The storage is kept from
// state to state, so exploring allocates nothing once it has grown to the
// largest fan-out. merge() orders the pairs by successor number and sums the
// contributions to one successor in firing order, which gives exactly the
// sums an ordered map accumulating in firing order would give.
class SuccessorRates {
 public:
  struct Entry {
    std::uint32_t number;
    std::uint32_t sequence;  // firing order, the tie-break of the sort
    double value;
  };

  void add(std::uint32_t number, double value) {
    entries_.push_back(Entry{number, static_cast<std::uint32_t>(entries_.size()), value});
  }
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  // Sorts by number and merges the entries of equal number; afterwards every
  // number appears once, in increasing order.
  void merge();
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

#endif
