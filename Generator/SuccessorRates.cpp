#include "SuccessorRates.h"

#include <algorithm>
#include <cstddef>

void SuccessorRates::merge() {
  if (entries_.size() < 2) return;
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return a.number != b.number ? a.number < b.number : a.sequence < b.sequence;
  });
  std::size_t out = 0;
  std::size_t i = 0;
  while (i < entries_.size()) {
    const std::uint32_t number = entries_[i].number;
    double sum = 0.0;
    for (; i < entries_.size() && entries_[i].number == number; i++) sum += entries_[i].value;
    entries_[out].number = number;
    entries_[out].sequence = static_cast<std::uint32_t>(out);
    entries_[out].value = sum;
    out++;
  }
  entries_.resize(out);
}
