#include "HybridHash.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "BaseModelClass.h"
#include "GenAssert.h"
#include "PVModel.h"
#include "StandardErrors.h"


const std::uint32_t HybridHash::PrimeArray[HybridHash::NumPrimes] = {
    131071,   393209,   786419,   1179637,  1966049,  2752481, 4325341, 6684607,
    9437101,  15335303, 21000169, 31000303, 51000353, 71000383, 0,       0,
    0,        0,        0,        0,        0,        0,       0,       0};

namespace {

constexpr std::uint32_t kBlockShift = 24;
constexpr std::uint32_t kNumberMask = 0xFFFFFF;
constexpr std::uint32_t kMaxBlockField = 256;  // block index lives in 8 bits

[[noreturn]] void Fail(const std::string& message) {
  std::cerr << message << std::endl;
  std::exit(1);
}

// Walks the probe sequence of one table: from slot p the next is p + S * k;
// below the table size k grows by one, otherwise the table size is subtracted
// and k restarts at 1. S is 1024 times (number of rehashes + 1).
class Probe {
 public:
  Probe(std::uint32_t home, std::uint32_t size, std::uint32_t rehashes)
      : pos_(home), size_(size), stride_(1024ull * (rehashes + 1)) {}
  std::uint32_t pos() const { return pos_; }
  // Moves to the next slot; false once as many slots as the table has were
  // visited, so a full table (or a cycle that misses every empty slot) cannot
  // keep a search going for ever.
  bool next() {
    if (++visited_ >= size_) return false;
    std::uint64_t n = pos_ + stride_ * step_;
    if (n < size_) {
      step_++;
    } else {
      n -= size_;
      if (n >= size_) n %= size_;  // only for tables smaller than the stride
      step_ = 1;
    }
    pos_ = static_cast<std::uint32_t>(n);
    return true;
  }

 private:
  std::uint32_t pos_;
  std::uint32_t size_;
  std::uint64_t stride_;
  std::uint64_t step_ = 1;
  std::uint32_t visited_ = 0;
};

[[noreturn]] void ProbeExhausted() {
  Fail("Hash:  Error:  no empty slot found after probing as many slots as the Hash Table has");
}

std::uint32_t* NewZeroedTable(std::uint32_t size) {
  return static_cast<std::uint32_t*>(std::calloc(size == 0 ? 1 : size, sizeof(std::uint32_t)));
}

}  // namespace

HybridHash::HybridHash(PVModel* m, std::uint32_t ss, std::uint32_t ts, std::uint32_t bs,
                       std::uint32_t cw, std::uint32_t mb, double lf)
    : HybridHash(static_cast<BaseModelClass*>(m), ss, ts, bs, cw, mb, lf) {}

HybridHash::HybridHash(BaseModelClass* m, std::uint32_t ss, std::uint32_t ts, std::uint32_t bs,
                       std::uint32_t cw, std::uint32_t mb, double lf)
    : tableSize(ts),
      blockSize(bs),
      maxBlocks(mb),
      stateSize(ss),
      chunkWidth(cw),
      loadFactor(lf),
      model(m),
      blockBytes(static_cast<std::size_t>(bs) * ss) {
  GEN_ASSERT(m != nullptr, "model != NULL", "HybridHash");
  GEN_ASSERT(ts > 0 && bs > 0, "tableSize > 0 && blockSize > 0", "HybridHash");
  GEN_ASSERT(mb > 0 && mb <= kMaxBlockField, "maxBlocks > 0 && maxBlocks <= 256", "HybridHash");
  slotTable = NewZeroedTable(tableSize);
  blocks = static_cast<char**>(std::calloc(maxBlocks, sizeof(char*)));
  if (slotTable == nullptr || blocks == nullptr) MemoryAllocationError();
  OpenBlock(0);
}

HybridHash::~HybridHash() {
  if (blocks != nullptr)
    for (std::uint32_t b = 0; b <= currentBlock; b++) std::free(blocks[b]);
  std::free(blocks);
  std::free(slotTable);  // still held when the run did not release it
}

void HybridHash::ReleaseSlotTable() {
  std::free(slotTable);
  slotTable = nullptr;
  tableSize = 0;
}

void HybridHash::OpenBlock(std::uint32_t b) {
  blocks[b] = static_cast<char*>(std::calloc(blockBytes == 0 ? 1 : blockBytes, 1));
  if (blocks[b] == nullptr) Fail("Error:  Unable to allocate memory");
}

void HybridHash::AddArray() {
  if (currentBlock + 1 >= maxBlocks)
    Fail("Hash:  Error:  the state store is full (" +
         std::to_string(std::uint64_t{maxBlocks} * blockSize) + " states at most)");
  OpenBlock(currentBlock + 1);
  currentBlock++;
}

bool HybridHash::Valid(std::uint32_t locator) const {
  std::uint32_t b = locator >> kBlockShift;
  std::uint32_t n = locator & kNumberMask;
  return b <= currentBlock && n >= std::uint64_t{b} * blockSize &&
         n - std::uint64_t{b} * blockSize < blockSize;
}

char* HybridHash::CopyOf(std::uint32_t locator) const {
  std::uint32_t b = locator >> kBlockShift;
  std::uint64_t index = (locator & kNumberMask) - std::uint64_t{b} * blockSize;
  return blocks[b] + index * stateSize;
}

// Home slot of a state vector: a 64-bit multiply-xorshift hash over the
// whole vector, eight bytes at a time, reduced modulo the table size.
//
// Markings are small numbers in a few bytes of a mostly constant vector. A
// hash that folds the bytes into overlapping bit fields (shift-and-xor chunk
// sums) maps millions of such vectors onto a few hundred thousand values, and
// since vectors with one home slot share one probe sequence, every lookup
// then walks a chain of cache misses whose length grows with the state
// count. A full-avalanche hash keeps lookups at about one probe.
std::uint32_t HybridHash::HomeSlot(const char* state, std::uint32_t size) const {
  const std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = kMul ^ stateSize;
  std::uint32_t i = 0;
  for (; i + 8 <= stateSize; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, state + i, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  if (i < stateSize) {
    std::uint64_t w = 0;
    std::memcpy(&w, state + i, stateSize - i);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return static_cast<std::uint32_t>(h % size);
}

std::uint32_t HybridHash::FindSlot(const char* state, bool& found) {
  GEN_ASSERT(slotTable != nullptr, "slotTable != NULL", "HybridHash");
  Probe probe(HomeSlot(state, tableSize), tableSize, rehashCount);
  for (;;) {
    std::uint32_t p = probe.pos();
    std::uint32_t locator = slotTable[p];
    if (locator == 0) {
      found = false;
      return p;
    }
    if (!Valid(locator)) {
      slotTable[p] = 0;  // a locator outside the store is dropped
      found = false;
      return p;
    }
    if (model->CompareState(CopyOf(locator), const_cast<char*>(state))) {
      found = true;
      return p;
    }
    if (!probe.next()) ProbeExhausted();
  }
}

unsigned long HybridHash::Lookup(const char* state) {
  bool found;
  std::uint32_t p = FindSlot(state, found);
  return found ? (slotTable[p] & kNumberMask) : NotFound;
}

void HybridHash::Insert(const char* state, unsigned long number) {
  if (number == 0 || number > MaxStateNumber)
    Fail("Hash:  Error:  state number " + std::to_string(number) +
         " cannot be stored (state numbers run from 1 to " + std::to_string(MaxStateNumber) + ")");
  GEN_ASSERT(slotTable != nullptr, "slotTable != NULL", "HybridHash");
  if (static_cast<double>(number) >= static_cast<double>(tableSize) * loadFactor) Rehash();
  insertedInOrder_ = insertedInOrder_ && number == std::uint64_t{lastInserted_} + 1;
  lastInserted_ = static_cast<std::uint32_t>(number);
  const auto b = static_cast<std::uint32_t>(number / blockSize);
  if (b >= maxBlocks)
    Fail("Hash:  Error:  the state store is full (" +
         std::to_string(std::uint64_t{maxBlocks} * blockSize) + " states at most)");
  while (currentBlock < b) AddArray();

  Probe probe(HomeSlot(state, tableSize), tableSize, rehashCount);
  while (slotTable[probe.pos()] != 0)
    if (!probe.next()) ProbeExhausted();
  const std::uint32_t locator = static_cast<std::uint32_t>(number) + (b << kBlockShift);
  slotTable[probe.pos()] = locator;
  std::memcpy(CopyOf(locator), state, stateSize);
}

void HybridHash::Rehash() {
  rehashCount++;
  const std::uint32_t newSize = rehashCount < NumPrimes ? PrimeArray[rehashCount] : 0;
  if (newSize == 0) Fail("Hash:  Error:  allocate more memory for Hash Table");
  std::uint32_t* table = NewZeroedTable(newSize);
  if (table == nullptr) Fail("Error:  TempHashTable not allocated");
  if (newSize < tableSize) {
    std::free(table);
    Fail("Hash:  Error, there is a typo in the Hash Table, check .h file");
  }
  // Every stored state is hashed again straight from the store. When the
  // numbers were inserted as 1, 2, 3, ... (as the generator does) the store
  // is read in number order, sequentially, instead of in the scattered order
  // of the old slots; where each locator lands in the new table is the same
  // either way up to the order of collisions, which lookups do not see.
  auto place = [&](std::uint32_t locator) {
    Probe probe(HomeSlot(CopyOf(locator), newSize), newSize, rehashCount);
    while (table[probe.pos()] != 0)
      if (!probe.next()) ProbeExhausted();
    table[probe.pos()] = locator;
  };
  if (insertedInOrder_) {
    for (std::uint32_t n = 1; n <= lastInserted_; n++) place(n + ((n / blockSize) << kBlockShift));
  } else {
    for (std::uint32_t i = 0; i < tableSize; i++) {
      const std::uint32_t locator = slotTable[i];
      if (locator != 0 && Valid(locator)) place(locator);
    }
  }
  std::free(slotTable);
  slotTable = table;
  tableSize = newSize;
}

long HybridHash::SlotOf(const char* state) {
  bool found;
  std::uint32_t p = FindSlot(state, found);
  return found ? static_cast<long>(p) : -1;
}

std::uint32_t HybridHash::LocatorOf(const char* state) {
  bool found;
  std::uint32_t p = FindSlot(state, found);
  return found ? slotTable[p] : 0;
}

const char* HybridHash::StoredCopy(unsigned long number) const {
  if (number > MaxStateNumber) return nullptr;
  const auto b = static_cast<std::uint32_t>(number / blockSize);
  if (b > currentBlock) return nullptr;
  return CopyOf(static_cast<std::uint32_t>(number) + (b << kBlockShift));
}

std::size_t HybridHash::MemoryBytes() const {
  return std::size_t{tableSize} * sizeof(std::uint32_t) + std::size_t{maxBlocks} * sizeof(char*) +
         std::size_t{currentBlock + 1} * blockBytes;
}
