#ifndef RATE_INFO_TYPE_H
#define RATE_INFO_TYPE_H

#include <cstdint>

#include "OutputFile.h"

// The states filed under one deterministic delay value: the numbers of the
// states in which a deterministic action with that delay is enabled, in the
// order recorded (a number repeats when several such actions are enabled in
// one state). The state array grows by doubling.
class RateInfoType {
 public:
  RateInfoType();                             // capacity 10, value 0
  RateInfoType(int capacity, double value);
  RateInfoType(const RateInfoType&) = delete;
  RateInfoType& operator=(const RateInfoType&) = delete;
  virtual ~RateInfoType();

  void insertState(int number);
  // Sets the capacity of the state array to newCapacity (not below count).
  void increaseStateList(int newCapacity);
  // Takes over the value, count, capacity and state array of `other`, which
  // gives up its array.
  void takeFrom(RateInfoType& other);

  // Text: the value (scientific, 10 digits after the point), each state
  // number, then "0", one per line. Binary: 8 bytes value, 4 bytes per state
  // number, 2 zero bytes.
  void writeStates(OutputFile& out, OutputFileType type) const;
  // Diagnostic listing on standard output: "[i] number" per state.
  void printStates() const;

  std::int32_t count = 0;
  std::int32_t capacity = 0;
  double value = 0.0;
  std::int32_t* states = nullptr;
  bool ownsStates = true;
};

#endif
