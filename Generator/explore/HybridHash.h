#ifndef HYBRID_HASH_H
#define HYBRID_HASH_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "StateHash.h"

class BaseModelClass;
class MemoryBudget;
class PVModel;

// The discovered-state table: maps a state vector to its state number.
//
// Two structures work together. The store keeps one copy of every state
// vector, in blocks of `blockSize` states opened as the numbers grow (one
// contiguous, zeroed buffer per block), so the copy of state n sits in block
// n / blockSize at index n % blockSize: a number alone locates its copy. The
// slot table is an open-addressing table whose slots hold a state number and,
// beside it, a few bits of the state's hash (its tag), so that most slots of
// other states are passed over without reading their copies.
//
// Slots are 32 bits (24-bit number, 8-bit tag) while every number fits in 24
// bits, and 64 bits (32-bit number, 32-bit tag) from the rehash whose table
// can take numbers past 2^24 - 1. The table is laid out in 64-byte groups: a
// probe scans the group of its home slot, then the next group, and so on, so
// that most searches touch one cache line of the table.
//
// Two vectors denote the same state when their bytes are equal, so stored
// copies are compared with memcmp. Growths of the table and the store are
// accounted to the run's MemoryBudget, when one is given. One thread at a
// time.
class HybridHash {
 public:
  static constexpr unsigned long NotFound = ~0UL;
  static constexpr std::uint64_t MaxStateNumber = 0xFFFFFFFFu;
  // Largest number a 32-bit slot holds.
  static constexpr std::uint32_t MaxNarrowNumber = 0xFFFFFF;
  static const std::uint64_t PrimeArray[];
  static const int NumPrimes;

  // What findOrAdd found: the state's number, and whether it was added now.
  struct Found {
    std::uint64_t number;
    bool added;
  };

  // The generator's configuration: 131071 slots, blocks of 100000 states
  // (fewer when they would take more than 64 MB).
  HybridHash(std::uint32_t stateSize, double loadFactor, MemoryBudget* budget = nullptr);
  // Historic argument list; `model`, `chunkWidth` and `maxBlocks` are
  // accepted and not used (the store has no fixed block count).
  HybridHash(PVModel* model, std::uint32_t stateSize, std::uint32_t tableSize, std::uint32_t blockSize,
             std::uint32_t chunkWidth, std::uint32_t maxBlocks, double loadFactor, MemoryBudget* budget = nullptr);
  HybridHash(BaseModelClass* model, std::uint32_t stateSize, std::uint32_t tableSize, std::uint32_t blockSize,
             std::uint32_t chunkWidth, std::uint32_t maxBlocks, double loadFactor, MemoryBudget* budget = nullptr);
  HybridHash(const HybridHash&) = delete;
  HybridHash& operator=(const HybridHash&) = delete;
  ~HybridHash();

  // One probe: the number of a stored state equal to `state`, or, when there
  // is none, stores a copy under `candidate` (1 to MaxStateNumber).
  Found findOrAdd(const char* state, std::uint64_t candidate);
  // The same, given the state's stateHash, which a caller may work out ahead
  // (on another thread, say).
  Found findOrAdd(const char* state, std::uint64_t hash, std::uint64_t candidate);
  // Starts loading the part of the table that a probe for `hash` reads first,
  // so that the probe finds it in the cache.
  void prefetch(std::uint64_t hash) const;
  // Stores a copy of a state known to be absent under `number` (1 to
  // MaxStateNumber).
  void Insert(const char* state, unsigned long number);
  // The state's number, or NotFound.
  unsigned long Lookup(const char* state);
  // Grows the slot table to the next size of PrimeArray.
  void Rehash();
  // Opens the block after the last one.
  void AddArray();
  // Frees the slot table at the end of a generation run; no lookup or insert
  // may follow. The store stays until destruction.
  void ReleaseSlotTable();

  // Inspection, for diagnostics and tests.
  std::uint64_t HomeSlot(const char* state) const;
  // The slot holding the state's number, or -1 when it is not stored.
  long long SlotOf(const char* state);
  // The number in slot i (0 when empty), and whether slots are 64 bits.
  std::uint64_t NumberInSlot(std::uint64_t i) const;
  bool WideSlots() const { return slotBytes_ == 8; }
  // Overwrites slot i with `number` under the tag of `state` (tests of
  // damaged slots).
  void SetSlot(std::uint64_t i, std::uint64_t number, const char* state);
  // Number of slots allocated (tableSize rounded up to whole groups).
  std::uint64_t SlotCount() const { return slotCount_; }
  // The stored copy of state `number`, or null when its block is not open.
  const char* StoredCopy(std::uint64_t number) const;
  // Bytes held by the slot table, the block pointers and the open blocks.
  std::size_t MemoryBytes() const;
  std::size_t OpenBlocks() const;

  std::uint64_t tableSize = 0;  // an entry of PrimeArray (or the size given)
  std::uint32_t rehashCount = 0;
  std::uint32_t currentBlock = 0;  // the highest block opened
  std::uint32_t blockSize;
  std::uint32_t stateSize;
  double loadFactor;

 private:
  struct Slots;
  std::uint64_t Hash(const char* state) const { return stateHash(state, stateSize); }
  char* CopyOf(std::uint64_t number) const { return blocks_[number / blockSize] + (number % blockSize) * stateSize; }
  bool Stored(std::uint64_t number) const;
  void OpenBlock(std::uint64_t b);
  // Stores the copy and notes the number; the slot is already written.
  void Store(const char* state, std::uint64_t number);
  // Whether `number` can be stored without growing the table or the store.
  bool ReadyFor(std::uint64_t number) const;
  // Checks the number, grows the table and the store as its insertion needs.
  void PrepareInsert(std::uint64_t number);
  // Writes the number into the first empty slot of the state's probe path
  // and stores the copy.
  void InsertHashed(const char* state, std::uint64_t h, std::uint64_t number);
  // Builds a table of `size` slots with slots of `bytes` bytes, moves every
  // stored state into it and frees the old one.
  void Rebuild(std::uint64_t size, unsigned bytes);
  template <typename Slot>
  Found Probe(const char* state, std::uint64_t h, std::uint64_t candidate, bool add);
  template <typename Slot>
  void Place(void* table, std::uint64_t groups, std::uint64_t h, std::uint64_t number);
  template <typename Slot>
  void RebuildInto(void* table, std::uint64_t groups);
  void FreeSlots();

  void* slots_ = nullptr;
  std::uint64_t slotCount_ = 0;
  std::uint64_t groups_ = 0;
  unsigned slotBytes_ = 4;
  double rehashAt_ = 0;         // the first number that makes the table grow
  std::uint64_t storeEnd_ = 0;  // numbers below it have an open block
  std::vector<char*> blocks_;
  std::size_t blockBytes_;
  MemoryBudget* budget_;
  // Whether every insertion so far numbered its state one above the previous
  // one; a rebuild then walks the store in number order.
  bool insertedInOrder_ = true;
  std::uint64_t lastInserted_ = 0;
};

#endif
