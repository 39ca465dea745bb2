#include "DeterministicList.h"

#include <iostream>
#include <new>
#include <string>

#include "StandardErrors.h"

namespace {

RateInfoType* allocateEntries(int n) {
  auto* entries = new (std::nothrow) RateInfoType[n > 0 ? n : 1];
  if (!entries) MemoryAllocationError();
  return entries;
}

}  // namespace

DeterministicList::DeterministicList() : DeterministicList(2) {}

DeterministicList::DeterministicList(int initialCapacity)
    : size(0), capacity(initialCapacity > 0 ? initialCapacity : 1), items(allocateEntries(capacity)) {}

DeterministicList::~DeterministicList() { delete[] items; }

void DeterministicList::setMemoryBudget(MemoryBudget* budget) {
  budget_ = budget;
  for (int i = 0; i < capacity; i++) items[i].setMemoryBudget(budget);
}

void DeterministicList::insertEnablingState(std::uint32_t number, double delay) {
  for (int i = 0; i < size; i++) {
    if (items[i].value == delay) {
      items[i].insertState(number);
      return;
    }
  }
  if (size == capacity) increaseRateInfoSize(2 * size);
  items[size].value = delay;
  items[size].insertState(number);
  size++;
}

void DeterministicList::increaseRateInfoSize(int newCapacity) {
  if (newCapacity < size) newCapacity = size;
  if (newCapacity < 1) newCapacity = 1;
  RateInfoType* fresh = allocateEntries(newCapacity);
  for (int i = 0; i < size; i++) fresh[i].takeFrom(items[i]);
  for (int i = 0; i < newCapacity; i++) fresh[i].setMemoryBudget(budget_);
  delete[] items;
  items = fresh;
  capacity = newCapacity;
}

void DeterministicList::writeEnablingStates(OutputFile& out, OutputFileType type) const {
  if (type == OUTPUT_BINARY) {
    out.writeInt32(size);
  } else {
    out.writeSigned(size);
    out.newline();
  }
  for (int i = 0; i < size; i++) items[i].writeStates(out, type);
}

void DeterministicList::printEnablingStates() const {
  const std::string dashes(35, '-');
  std::cout << dashes << '\n';
  for (int i = 0; i < size; i++) {
    std::cout << "RateInfoSize = " << size << '\n';
    std::cout << "RateInfoCapacity = " << capacity << '\n';
    std::cout << "Value = " << items[i].value << '\n';
    items[i].printStates();
  }
  std::cout << dashes << std::endl;
}
