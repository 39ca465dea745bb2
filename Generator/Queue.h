#ifndef QUEUE_H
#define QUEUE_H

#include <cstdint>

#include "state_struct.h"

// First-in first-out store of discovered but unexplored states. A ring of
// pre-allocated entries, each with a buffer of one state vector; enqueueing
// copies the caller's state into the next free entry, so the common path
// allocates nothing. A full ring is rebuilt 5000 entries larger with the
// waiting states moved, in order, to slots 1, 2, 3, ...
class Queue {
 public:
  static constexpr std::uint32_t kGrowth = 5000;

  explicit Queue(unsigned long stateSize);
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  virtual ~Queue();

  // Copies s->data (stateSize bytes) and s->number into the ring; the caller
  // keeps its own entry.
  void Enqueue(state_struct* s);
  // The oldest waiting entry, or null when empty. The entry stays owned by the
  // queue and keeps its contents until a later Enqueue reuses its slot (the
  // very next one if the ring was full), so copy what is needed first.
  state_struct* Dequeue();
  // Grows the ring, then enqueues `pending`.
  void MakeLarger(state_struct* pending);
  void Make_Empty();
  void Increment(int& index);

  std::uint32_t capacity;
  std::uint32_t stateSize;
  std::int32_t front;
  std::int32_t back;
  std::int32_t count;
  std::int16_t growthStep;
  state_struct** entries;

 private:
  // A new entry with a zeroed buffer of stateSize bytes.
  state_struct* NewEntry();
  static void FreeEntry(state_struct* e);
};

#endif
