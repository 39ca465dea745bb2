#ifndef DETERMINISTIC_LIST_H
#define DETERMINISTIC_LIST_H

#include <cstdint>

#include "OutputFile.h"
#include "RateInfoType.h"

// For every delay value of the deterministic actions, the states in which an
// action with that delay is enabled. Delay values are few, so they are found
// by a linear scan with exact comparison, in the order first seen; the entry
// array grows by doubling from 2, and each entry's state list in chunks.
class DeterministicList {
 public:
  DeterministicList();  // capacity 2
  explicit DeterministicList(int capacity);
  DeterministicList(const DeterministicList&) = delete;
  DeterministicList& operator=(const DeterministicList&) = delete;
  virtual ~DeterministicList();

  // Files state `number` under `delay`.
  void insertEnablingState(std::uint32_t number, double delay);
  // Growths of the lists are accounted to `budget` (may be null).
  void setMemoryBudget(MemoryBudget* budget);
  // Grows the entry array to newCapacity entries, moving the existing ones.
  void increaseRateInfoSize(int newCapacity);
  // The deterministic file: the entry count (a line, or 4 bytes), then every
  // entry's states (RateInfoType::writeStates).
  void writeEnablingStates(OutputFile& out, OutputFileType type) const;
  // Diagnostic listing on standard output.
  void printEnablingStates() const;

  std::int32_t size = 0;
  std::int32_t capacity = 0;
  RateInfoType* items = nullptr;

 private:
  MemoryBudget* budget_ = nullptr;
};

#endif
