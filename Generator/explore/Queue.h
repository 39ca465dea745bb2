#ifndef QUEUE_H
#define QUEUE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "state_struct.h"

class MemoryBudget;

// First-in first-out store of discovered but unexplored states. A ring of
// entries, each with a buffer of one state vector; enqueueing copies the
// caller's state into the next free entry, so the common path allocates
// nothing. A full ring is rebuilt larger with the waiting states moved, in
// order, to slots 1, 2, 3, ...: 5000 entries more at the first growths, then
// half as many again as it holds, so that a wide breadth-first frontier is
// not moved over and over. The entries added by a growth are carved from one
// allocation, and moving a waiting state moves only its entry's pointer.
class Queue {
 public:
  static constexpr std::uint32_t kGrowth = 5000;

  explicit Queue(unsigned long stateSize, MemoryBudget* budget = nullptr);
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  virtual ~Queue();

  // Copies s->data (stateSize bytes) and s->number into the ring; the caller
  // keeps its own entry.
  void Enqueue(const state_struct* s);
  // The oldest waiting entry, or null when empty. The entry stays owned by the
  // queue and keeps its contents until a later Enqueue reuses its slot (the
  // very next one if the ring was full), so copy what is needed first.
  state_struct* Dequeue();
  // Grows the ring, then enqueues `pending`.
  void MakeLarger(const state_struct* pending);
  void Make_Empty();
  void Increment(std::int64_t& index) const;
  // Bytes held by the ring and its entries.
  std::uint64_t MemoryBytes() const { return heldBytes_; }

  std::uint64_t capacity = 0;
  std::uint32_t stateSize;
  std::int64_t front = 1;
  std::int64_t back = 0;
  std::int64_t count = 0;
  std::uint32_t growthStep = 1;
  std::vector<state_struct*> entries;

 private:
  // Entries and state buffers added by one growth.
  struct Slab {
    std::unique_ptr<state_struct[]> entries;
    std::unique_ptr<char[]> bytes;
  };
  // Grows the ring to n slots and gives every empty slot a fresh entry.
  void addEntries(std::vector<state_struct*>& ring, std::uint64_t n);

  std::vector<Slab> slabs_;
  MemoryBudget* budget_;
  std::uint64_t heldBytes_ = 0;
};

#endif
