#include "Queue.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>

#include "StandardErrors.h"

namespace {
[[noreturn]] void OutOfMemory() {
  std::cout << "Error out of memory" << std::endl;
  std::exit(1);
}

state_struct** NewEntryArray(std::uint32_t n) {
  auto* array = new (std::nothrow) state_struct*[n];
  if (array == nullptr) OutOfMemory();
  for (std::uint32_t i = 0; i < n; i++) array[i] = nullptr;
  return array;
}
}  // namespace

Queue::Queue(unsigned long size)
    : capacity(kGrowth),
      stateSize(static_cast<std::uint32_t>(size)),
      front(1),
      back(0),
      count(0),
      growthStep(1),
      entries(NewEntryArray(kGrowth)) {
  for (std::uint32_t i = 0; i < capacity; i++) entries[i] = NewEntry();
}

Queue::~Queue() {
  for (std::uint32_t i = 0; i < capacity; i++) FreeEntry(entries[i]);
  delete[] entries;
}

state_struct* Queue::NewEntry() {
  auto* e = new (std::nothrow) state_struct;
  if (e == nullptr) MemoryAllocationError();
  e->data = new (std::nothrow) char[stateSize == 0 ? 1 : stateSize]();
  if (e->data == nullptr) MemoryAllocationError();
  return e;
}

void Queue::FreeEntry(state_struct* e) {
  if (e == nullptr) return;
  delete[] e->data;
  delete e;
}

void Queue::Increment(int& index) {
  index++;
  if (static_cast<std::uint32_t>(index) >= capacity) index = 0;
}

void Queue::Make_Empty() {
  front = 1;
  back = 0;
  count = 0;
}

void Queue::Enqueue(state_struct* s) {
  if (static_cast<std::uint32_t>(count) == capacity) {
    MakeLarger(s);
    return;
  }
  count++;
  Increment(back);
  state_struct* e = entries[back];
  if (e == nullptr || e->data == nullptr) {
    std::cerr << " Error: queue pointer is null...exiting " << std::endl;
    std::exit(1);
  }
  std::memcpy(e->data, s->data, stateSize);
  e->number = s->number;
}

state_struct* Queue::Dequeue() {
  if (count == 0) return nullptr;
  int taken = front;
  count--;
  Increment(front);
  if (entries[taken] == nullptr) {
    std::cout << "warning, returning NULL" << std::endl;
    return nullptr;
  }
  return entries[taken];
}

void Queue::MakeLarger(state_struct* pending) {
  int step = growthStep + 1;
  if (step > std::numeric_limits<std::int16_t>::max()) OutOfMemory();
  std::uint32_t newCapacity = static_cast<std::uint32_t>(step) * kGrowth;
  state_struct** fresh = NewEntryArray(newCapacity);

  // The waiting entries keep their buffers and move, in dequeue order, to
  // slots 1, 2, 3, ...; only the added slots need new entries.
  int moved = 0;
  int index = front;
  while (count > 0) {
    state_struct* e = entries[index];
    if (e == nullptr) {
      std::cout << "warning, returning NULL" << std::endl;
      break;
    }
    entries[index] = nullptr;
    fresh[++moved] = e;
    count--;
    Increment(index);
  }
  // Entries not moved (none when the ring was full) are released.
  for (std::uint32_t i = 0; i < capacity; i++) FreeEntry(entries[i]);
  delete[] entries;
  for (std::uint32_t i = 0; i < newCapacity; i++)
    if (fresh[i] == nullptr) fresh[i] = NewEntry();

  entries = fresh;
  capacity = newCapacity;
  growthStep = static_cast<std::int16_t>(step);
  front = 1;
  back = moved;
  count = moved;
  Enqueue(pending);
}
