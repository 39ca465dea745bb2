#include "Queue.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <new>

#include "GenError.h"
#include "MemoryBudget.h"

namespace {
[[noreturn]] void OutOfMemory(const MemoryBudget* budget, std::size_t bytes) {
  if (budget != nullptr) budget->allocationFailed(bytes);
  throw GenError("Error out of memory", GenError::Stream::Out);
}
}  // namespace

Queue::Queue(unsigned long size, MemoryBudget* budget) : stateSize(static_cast<std::uint32_t>(size)), budget_(budget) {
  std::vector<state_struct*> ring;
  addEntries(ring, kGrowth);
  entries = std::move(ring);
  capacity = kGrowth;
}

Queue::~Queue() { MemoryBudget::release(budget_, heldBytes_); }

void Queue::addEntries(std::vector<state_struct*>& ring, std::uint64_t n) {
  const auto empty = static_cast<std::uint64_t>(std::count(ring.begin(), ring.end(), nullptr));
  const std::uint64_t fresh = empty + (n - ring.size());
  const std::size_t bytes = n * sizeof(state_struct*) + fresh * (sizeof(state_struct) + stateSize);
  MemoryBudget::reserve(budget_, bytes);
  try {
    ring.resize(n, nullptr);
    Slab slab{std::unique_ptr<state_struct[]>(new state_struct[fresh]),
              std::unique_ptr<char[]>(new char[std::max<std::uint64_t>(fresh * stateSize, 1)]())};
    std::uint64_t next = 0;
    for (state_struct*& slot : ring) {
      if (slot != nullptr) continue;
      slab.entries[next].data = slab.bytes.get() + next * stateSize;
      slot = &slab.entries[next++];
    }
    slabs_.push_back(std::move(slab));
  } catch (const std::bad_alloc&) {
    MemoryBudget::release(budget_, bytes);
    OutOfMemory(budget_, bytes);
  }
  heldBytes_ += bytes;
}

void Queue::Increment(std::int64_t& index) const {
  index++;
  if (static_cast<std::uint64_t>(index) >= capacity) index = 0;
}

void Queue::Make_Empty() {
  front = 1;
  back = 0;
  count = 0;
}

void Queue::Enqueue(const state_struct* s) {
  if (static_cast<std::uint64_t>(count) == capacity) {
    MakeLarger(s);
    return;
  }
  count++;
  Increment(back);
  state_struct* e = entries[static_cast<std::size_t>(back)];
  if (e == nullptr || e->data == nullptr) throw GenError(" Error: queue pointer is null...exiting ");
  std::memcpy(e->data, s->data, stateSize);
  e->number = s->number;
}

state_struct* Queue::Dequeue() {
  if (count == 0) return nullptr;
  const std::int64_t taken = front;
  count--;
  Increment(front);
  state_struct* e = entries[static_cast<std::size_t>(taken)];
  if (e == nullptr) std::cout << "warning, returning NULL" << std::endl;
  return e;
}

void Queue::MakeLarger(const state_struct* pending) {
  const std::uint64_t newCapacity =
      std::max<std::uint64_t>((std::uint64_t{growthStep} + 1) * kGrowth, capacity + capacity / 2);

  // The waiting entries keep their buffers and move, in dequeue order, to
  // slots 1, 2, 3, ...; the old ring's other entries (none when it was full)
  // follow them, and the slots still empty get entries of their own.
  std::vector<state_struct*> ring(capacity + 1, nullptr);
  std::uint64_t moved = 0;
  std::int64_t index = front;
  while (count > 0) {
    state_struct* e = entries[static_cast<std::size_t>(index)];
    if (e == nullptr) {
      std::cout << "warning, returning NULL" << std::endl;
      break;
    }
    entries[static_cast<std::size_t>(index)] = nullptr;
    ring[++moved] = e;
    count--;
    Increment(index);
  }
  std::uint64_t next = moved + 1;
  for (state_struct* e : entries)
    if (e != nullptr) ring[next++] = e;
  std::vector<state_struct*>().swap(entries);
  MemoryBudget::release(budget_, capacity * sizeof(state_struct*));
  heldBytes_ -= capacity * sizeof(state_struct*);
  addEntries(ring, newCapacity);

  entries = std::move(ring);
  capacity = newCapacity;
  growthStep++;
  front = 1;
  back = static_cast<std::int64_t>(moved);
  count = static_cast<std::int64_t>(moved);
  Enqueue(pending);
}
