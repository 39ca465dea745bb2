#ifndef HYBRID_HASH_H
#define HYBRID_HASH_H

#include <cstddef>
#include <cstdint>

class BaseModelClass;
class PVModel;

// The discovered-state table: maps a state vector to its state number.
//
// Two structures work together. The store keeps one copy of every state
// vector in pre-allocated blocks of `blockSize` states (one contiguous,
// zeroed buffer per block), so state n of block b sits at offset
// (n - b * blockSize) * stateSize. The slot table is an open-addressing table
// of 32-bit locators (bits 0-23 the state number, bits 24-31 its block) that
// grows through PrimeArray; it only holds locators, so rebuilding it is cheap.
// Equality of two vectors is decided by the model's CompareState.
//
// Lookup and Insert allocate nothing (apart from the occasional growth of the
// slot table or the store). Not re-entrant.
class HybridHash {
 public:
  static constexpr unsigned long NotFound = ~0UL;  // -1 as a signed 32-bit value
  static constexpr std::uint32_t MaxStateNumber = 0xFFFFFF;
  static constexpr int NumPrimes = 24;
  static const std::uint32_t PrimeArray[NumPrimes];

  HybridHash(PVModel* model, std::uint32_t stateSize, std::uint32_t tableSize,
             std::uint32_t blockSize, std::uint32_t chunkWidth, std::uint32_t maxBlocks,
             double loadFactor);
  // The same, for any model that can compare states.
  HybridHash(BaseModelClass* model, std::uint32_t stateSize, std::uint32_t tableSize,
             std::uint32_t blockSize, std::uint32_t chunkWidth, std::uint32_t maxBlocks,
             double loadFactor);
  HybridHash(const HybridHash&) = delete;
  HybridHash& operator=(const HybridHash&) = delete;
  ~HybridHash();

  // Stores a copy of a state known to be absent under `number` (1 to
  // MaxStateNumber).
  void Insert(const char* state, unsigned long number);
  // The state's number, or NotFound.
  unsigned long Lookup(const char* state);
  void Rehash();
  void AddArray();
  // Frees the slot table at the end of a generation run; no Lookup or Insert
  // may follow. The store stays until destruction.
  void ReleaseSlotTable();

  // Inspection, for diagnostics and tests.
  std::uint32_t HomeSlot(const char* state) const { return HomeSlot(state, tableSize); }
  // The slot holding the state's locator, or -1 when it is not stored.
  long SlotOf(const char* state);
  // The locator stored for the state, or 0 when it is not stored.
  std::uint32_t LocatorOf(const char* state);
  // The stored copy of state `number`, or null when its block is not open.
  const char* StoredCopy(unsigned long number) const;
  // Bytes held by the slot table, the block pointers and the open blocks.
  std::size_t MemoryBytes() const;

  std::uint32_t* slotTable = nullptr;
  std::uint32_t tableSize = 0;
  std::uint32_t rehashCount = 0;
  char** blocks = nullptr;
  std::uint32_t currentBlock = 0;
  std::uint32_t blockSize;
  std::uint32_t maxBlocks;
  std::uint32_t stateSize;
  std::uint32_t chunkWidth;  // stored only; the home-slot hash does not use it
  double loadFactor;
  BaseModelClass* model;

 private:
  std::uint32_t HomeSlot(const char* state, std::uint32_t size) const;
  // Opens block b (zeroed); stops the run when it cannot.
  void OpenBlock(std::uint32_t b);
  char* CopyOf(std::uint32_t locator) const;
  // Whether a locator points into an open block.
  bool Valid(std::uint32_t locator) const;
  // Slot of `state`, or of the first empty slot on its probe path.
  std::uint32_t FindSlot(const char* state, bool& found);
  std::size_t blockBytes;
  // Whether every Insert so far numbered its state one above the previous
  // one; Rehash then walks the store in number order.
  bool insertedInOrder_ = true;
  std::uint32_t lastInserted_ = 0;
};

#endif
