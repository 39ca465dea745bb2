#include "RateInfoType.h"

#include <cstring>
#include <iostream>
#include <new>

#include "StandardErrors.h"

namespace {

std::int32_t* allocateStates(int n) {
  auto* array = new (std::nothrow) std::int32_t[n > 0 ? n : 1];
  if (!array) MemoryAllocationError();
  return array;
}

}  // namespace

RateInfoType::RateInfoType() : RateInfoType(10, 0.0) {}

RateInfoType::RateInfoType(int initialCapacity, double initialValue)
    : count(0),
      capacity(initialCapacity > 0 ? initialCapacity : 1),
      value(initialValue),
      states(allocateStates(capacity)),
      ownsStates(true) {}

RateInfoType::~RateInfoType() {
  if (ownsStates) delete[] states;
}

void RateInfoType::insertState(int number) {
  if (count == capacity) increaseStateList(2 * capacity);
  states[count++] = number;
}

void RateInfoType::increaseStateList(int newCapacity) {
  if (newCapacity < count) newCapacity = count;
  if (newCapacity < 1) newCapacity = 1;
  std::int32_t* fresh = allocateStates(newCapacity);
  if (count > 0) std::memcpy(fresh, states, sizeof(std::int32_t) * static_cast<std::size_t>(count));
  if (ownsStates) delete[] states;
  states = fresh;
  ownsStates = true;
  capacity = newCapacity;
}

void RateInfoType::takeFrom(RateInfoType& other) {
  if (&other == this) return;
  if (ownsStates) delete[] states;
  value = other.value;
  count = other.count;
  capacity = other.capacity;
  states = other.states;
  ownsStates = other.ownsStates;
  other.ownsStates = false;
}

void RateInfoType::writeStates(OutputFile& out, OutputFileType type) const {
  if (type == OUTPUT_BINARY) {
    out.writeDouble(value);
    for (int i = 0; i < count; i++) out.writeInt32(states[i]);
    out.writeInt16(0);
    return;
  }
  out.writeScientific(value);
  out.newline();
  for (int i = 0; i < count; i++) {
    out.writeSigned(states[i]);
    out.newline();
  }
  out.writeChar('0');
  out.newline();
}

void RateInfoType::printStates() const {
  for (int i = 0; i < count; i++) std::cout << "[" << i << "] " << states[i] << '\n';
}
