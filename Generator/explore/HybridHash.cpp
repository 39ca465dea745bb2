#include "HybridHash.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ByteRuns.h"
#include "GenError.h"
#include "MemoryBudget.h"

// Sizes of the slot table: after the first steps each is a prime about 1.5
// times the one before, up to a table that no machine could hold, so that
// the end of this list is a true limit.
const std::uint64_t HybridHash::PrimeArray[] = {
    131071,     393209,     786419,      1179637,     1966049,     2752481,     4325341,    6684607,
    9437101,    15335303,   21000169,    31000303,    51000353,    71000383,    106500599,  159750931,
    239626399,  359439629,  539159461,   808739201,   1213108801,  1819663201,  2729494811, 4094242219,
    6141363337, 9212045027, 13818067541, 20727101327, 31090652009, 46635978013, 69953967037};
const int HybridHash::NumPrimes = sizeof(PrimeArray) / sizeof(PrimeArray[0]);

namespace {

constexpr std::uint32_t kDefaultTableSize = 131071;
constexpr std::uint32_t kDefaultBlockSize = 100000;
// Wide states take smaller blocks, so that the store (and what the memory
// budget counts) grows by at most this much at a time rather than by
// 100000 states of many kilobytes each.
constexpr std::size_t kMaxBlockBytes = std::size_t{64} << 20;

std::uint32_t DefaultBlockSize(std::uint32_t stateSize) {
  if (stateSize == 0) return kDefaultBlockSize;
  return static_cast<std::uint32_t>(std::clamp<std::size_t>(kMaxBlockBytes / stateSize, 1, kDefaultBlockSize));
}
constexpr std::size_t kGroupBytes = 64;  // one cache line

[[noreturn]] void Fail(const std::string& message) { throw GenError(message); }

// The group a hash starts its probe in. A multiply-high maps the hash onto
// the groups without a division (a 64-bit division costs more than the rest
// of a probe that hits); the hash is first mixed once more, so that the
// group does not follow the high bits that make the tag.
__extension__ typedef unsigned __int128 Wide128;
inline std::uint64_t GroupOf(std::uint64_t h, std::uint64_t groups) {
  const std::uint64_t mixed = h * 0xD6E8FEB86659FD93ull;
  return static_cast<std::uint64_t>((static_cast<Wide128>(mixed) * groups) >> 64);
}

[[noreturn]] void ProbeExhausted() {
  Fail("Hash:  Error:  no empty slot found after probing as many slots as the Hash Table has");
}

}  // namespace

// A 32-bit slot: the number in bits 0-23, 8 bits of the hash above it.
struct HybridHash::Slots {
  struct Narrow {
    using Type = std::uint32_t;
    static constexpr unsigned kPerGroup = kGroupBytes / sizeof(Type);
    static constexpr Type kNumberMask = 0xFFFFFF;
    static Type Tag(std::uint64_t h) { return static_cast<Type>(h >> 56) << 24; }
  };
  // A 64-bit slot: the number in bits 0-31, 32 bits of the hash above it.
  struct Wide {
    using Type = std::uint64_t;
    static constexpr unsigned kPerGroup = kGroupBytes / sizeof(Type);
    static constexpr Type kNumberMask = 0xFFFFFFFFu;
    static Type Tag(std::uint64_t h) { return h & ~kNumberMask; }
  };
};

HybridHash::HybridHash(std::uint32_t ss, double lf, MemoryBudget* budget)
    : HybridHash(static_cast<BaseModelClass*>(nullptr), ss, kDefaultTableSize, DefaultBlockSize(ss), 5, 0, lf, budget) {
}

HybridHash::HybridHash(PVModel*, std::uint32_t ss, std::uint32_t ts, std::uint32_t bs, std::uint32_t cw,
                       std::uint32_t mb, double lf, MemoryBudget* budget)
    : HybridHash(static_cast<BaseModelClass*>(nullptr), ss, ts, bs, cw, mb, lf, budget) {}

HybridHash::HybridHash(BaseModelClass*, std::uint32_t ss, std::uint32_t ts, std::uint32_t bs,
                       std::uint32_t /*chunkWidth*/, std::uint32_t /*maxBlocks*/, double lf, MemoryBudget* budget)
    : blockSize(bs == 0 ? 1 : bs),
      stateSize(ss),
      loadFactor(lf),
      blockBytes_(static_cast<std::size_t>(blockSize) * ss),
      budget_(budget) {
  Rebuild(ts == 0 ? 1 : ts, static_cast<double>(ts) * lf > MaxNarrowNumber ? 8 : 4);
  OpenBlock(0);
}

HybridHash::~HybridHash() {
  for (char* block : blocks_) std::free(block);
  std::free(slots_);  // still held when the run did not release it
}

void HybridHash::ReleaseSlotTable() {
  FreeSlots();
  groups_ = 0;
  tableSize = 0;
}

std::size_t HybridHash::OpenBlocks() const {
  std::size_t open = 0;
  for (const char* block : blocks_) open += block != nullptr;
  return open;
}

std::size_t HybridHash::MemoryBytes() const {
  return slotCount_ * slotBytes_ + blocks_.capacity() * sizeof(char*) + OpenBlocks() * blockBytes_;
}

void HybridHash::OpenBlock(std::uint64_t b) {
  if (b < blocks_.size() && blocks_[b] != nullptr) return;
  MemoryBudget::reserve(budget_, blockBytes_);
  if (b >= blocks_.size()) blocks_.resize(b + 1, nullptr);
  char* block = static_cast<char*>(std::calloc(blockBytes_ == 0 ? 1 : blockBytes_, 1));
  if (block == nullptr) {
    MemoryBudget::release(budget_, blockBytes_);
    if (budget_ != nullptr) budget_->allocationFailed(blockBytes_);
    Fail("Error:  Unable to allocate memory");
  }
  blocks_[b] = block;
  if (b > currentBlock) currentBlock = static_cast<std::uint32_t>(b);
  while (storeEnd_ / blockSize < blocks_.size() && blocks_[storeEnd_ / blockSize] != nullptr) storeEnd_ += blockSize;
}

void HybridHash::AddArray() { OpenBlock(std::uint64_t{currentBlock} + 1); }

bool HybridHash::Stored(std::uint64_t number) const {
  const std::uint64_t b = number / blockSize;
  return number != 0 && b < blocks_.size() && blocks_[b] != nullptr;
}

const char* HybridHash::StoredCopy(std::uint64_t number) const {
  return Stored(number) || (number == 0 && blocks_[0] != nullptr) ? CopyOf(number) : nullptr;
}

// The home slot is a slot of the group GroupOf picks; where in its
// group a probe starts comes from other bits of the hash, so that states of
// one group do not all pile up from its first slot.
std::uint64_t HybridHash::HomeSlot(const char* state) const {
  const std::uint64_t h = Hash(state);
  const unsigned perGroup = kGroupBytes / slotBytes_;
  return GroupOf(h, groups_) * perGroup + ((h >> 40) & (perGroup - 1));
}

template <typename Slot>
HybridHash::Found HybridHash::Probe(const char* state, std::uint64_t h, std::uint64_t candidate, bool add) {
  using T = typename Slot::Type;
  constexpr unsigned kPer = Slot::kPerGroup;
  T* const table = static_cast<T*>(slots_);
  const T tag = Slot::Tag(h);
  const unsigned start = static_cast<unsigned>(h >> 40);
  std::uint64_t g = GroupOf(h, groups_);
  for (std::uint64_t visited = 0; visited < groups_; visited++) {
    T* const group = table + g * kPer;
    for (unsigned i = 0; i < kPer; i++) {
      T& slot = group[(start + i) & (kPer - 1)];
      const T s = slot;
      if (s != 0) {
        if ((s & ~Slot::kNumberMask) != tag) continue;
        const std::uint64_t n = s & Slot::kNumberMask;
        if (Stored(n)) {
          if (sameBytes(CopyOf(n), state, stateSize)) return {n, false};
          continue;
        }
        slot = 0;  // a number outside the store is dropped
      }
      if (!add) return {NotFound, false};
      if (!ReadyFor(candidate)) {
        PrepareInsert(candidate);  // may rebuild the table: place afresh
        InsertHashed(state, h, candidate);
        return {candidate, true};
      }
      slot = tag | static_cast<T>(candidate);
      Store(state, candidate);
      return {candidate, true};
    }
    if (++g == groups_) g = 0;
  }
  ProbeExhausted();
}

template <typename Slot>
void HybridHash::Place(void* slots, std::uint64_t groups, std::uint64_t h, std::uint64_t number) {
  using T = typename Slot::Type;
  constexpr unsigned kPer = Slot::kPerGroup;
  T* const table = static_cast<T*>(slots);
  const unsigned start = static_cast<unsigned>(h >> 40);
  std::uint64_t g = GroupOf(h, groups);
  for (std::uint64_t visited = 0; visited < groups; visited++) {
    T* const group = table + g * kPer;
    for (unsigned i = 0; i < kPer; i++) {
      T& slot = group[(start + i) & (kPer - 1)];
      if (slot == 0) {
        slot = Slot::Tag(h) | static_cast<T>(number);
        return;
      }
    }
    if (++g == groups) g = 0;
  }
  ProbeExhausted();
}

bool HybridHash::ReadyFor(std::uint64_t number) const {
  return static_cast<double>(number) < rehashAt_ && (slotBytes_ == 8 || number <= MaxNarrowNumber) &&
         number < storeEnd_ && number != 0;
}

void HybridHash::PrepareInsert(std::uint64_t number) {
  if (number == 0 || number > MaxStateNumber)
    Fail("Hash:  Error:  state number " + std::to_string(number) + " cannot be stored (state numbers run from 1 to " +
         std::to_string(MaxStateNumber) + ")");
  if (slots_ == nullptr) Fail("Hash:  Error:  the Hash Table was released");
  if (static_cast<double>(number) >= rehashAt_) Rehash();
  if (slotBytes_ == 4 && number > MaxNarrowNumber) Rebuild(tableSize, 8);
  OpenBlock(number / blockSize);
}

void HybridHash::Store(const char* state, std::uint64_t number) {
  std::memcpy(CopyOf(number), state, stateSize);
  insertedInOrder_ = insertedInOrder_ && number == lastInserted_ + 1;
  lastInserted_ = number;
  if (budget_ != nullptr) budget_->setStatesReached(number);
}

void HybridHash::InsertHashed(const char* state, std::uint64_t h, std::uint64_t number) {
  if (slotBytes_ == 4)
    Place<Slots::Narrow>(slots_, groups_, h, number);
  else
    Place<Slots::Wide>(slots_, groups_, h, number);
  Store(state, number);
}

HybridHash::Found HybridHash::findOrAdd(const char* state, std::uint64_t candidate) {
  return findOrAdd(state, Hash(state), candidate);
}

HybridHash::Found HybridHash::findOrAdd(const char* state, std::uint64_t h, std::uint64_t candidate) {
  if (slots_ == nullptr) Fail("Hash:  Error:  the Hash Table was released");
  return slotBytes_ == 4 ? Probe<Slots::Narrow>(state, h, candidate, true)
                         : Probe<Slots::Wide>(state, h, candidate, true);
}

void HybridHash::prefetch(std::uint64_t h) const {
  if (slots_ != nullptr) __builtin_prefetch(static_cast<const char*>(slots_) + GroupOf(h, groups_) * kGroupBytes);
}

unsigned long HybridHash::Lookup(const char* state) {
  if (slots_ == nullptr) Fail("Hash:  Error:  the Hash Table was released");
  const std::uint64_t h = Hash(state);
  const Found f = slotBytes_ == 4 ? Probe<Slots::Narrow>(state, h, 0, false) : Probe<Slots::Wide>(state, h, 0, false);
  return f.number;
}

void HybridHash::Insert(const char* state, unsigned long number) {
  if (!ReadyFor(number)) PrepareInsert(number);
  InsertHashed(state, Hash(state), number);
}

void HybridHash::Rehash() {
  const std::uint32_t next = rehashCount + 1;
  const std::uint64_t newSize = static_cast<int>(next) < NumPrimes ? PrimeArray[next] : 0;
  if (newSize == 0) Fail("Hash:  Error:  allocate more memory for Hash Table");
  if (newSize < tableSize) Fail("Hash:  Error, there is a typo in the Hash Table, check .h file");
  const bool wide = slotBytes_ == 8 || static_cast<double>(newSize) * loadFactor > MaxNarrowNumber;
  Rebuild(newSize, wide ? 8 : 4);
  rehashCount = next;
}

template <typename Slot>
void HybridHash::RebuildInto(void* table, std::uint64_t groups) {
  // When the numbers were inserted as 1, 2, 3, ... (as the generator does)
  // the store is read in number order, sequentially, instead of in the
  // scattered order of the old slots.
  if (insertedInOrder_) {
    // Each placement is a write to a random cache line; the hashes of the
    // next few states are computed ahead and their lines prefetched, so that
    // the misses overlap instead of following one another.
    constexpr std::uint64_t kAhead = 16;
    std::uint64_t ahead[kAhead];
    const auto line = [&](std::uint64_t h) {
      return static_cast<const char*>(table) + GroupOf(h, groups) * kGroupBytes;
    };
    for (std::uint64_t n = 1; n <= lastInserted_ && n <= kAhead; n++) {
      ahead[n % kAhead] = Hash(CopyOf(n));
      __builtin_prefetch(line(ahead[n % kAhead]), 1);
    }
    for (std::uint64_t n = 1; n <= lastInserted_; n++) {
      const std::uint64_t h = ahead[n % kAhead];
      if (n + kAhead <= lastInserted_) {
        ahead[n % kAhead] = Hash(CopyOf(n + kAhead));
        __builtin_prefetch(line(ahead[n % kAhead]), 1);
      }
      Place<Slot>(table, groups, h, n);
    }
    return;
  }
  if (slots_ == nullptr) return;
  const unsigned oldBytes = slotBytes_;
  for (std::uint64_t i = 0; i < slotCount_; i++) {
    std::uint64_t n;
    if (oldBytes == 4)
      n = static_cast<const std::uint32_t*>(slots_)[i] & Slots::Narrow::kNumberMask;
    else
      n = static_cast<const std::uint64_t*>(slots_)[i] & Slots::Wide::kNumberMask;
    if (Stored(n)) Place<Slot>(table, groups, Hash(CopyOf(n)), n);
  }
}

void HybridHash::Rebuild(std::uint64_t size, unsigned bytes) {
  const unsigned perGroup = kGroupBytes / bytes;
  const std::uint64_t groups = (size + perGroup - 1) / perGroup;
  const std::size_t tableBytes = groups * kGroupBytes;
  // A table rebuilt from the store does not need the old one: freeing it
  // first keeps the peak of a growth at the new table instead of both. The
  // budget is asked first, so that a refusal leaves the old table usable.
  const std::size_t oldBytes = slotCount_ * slotBytes_;
  const bool fromStore = insertedInOrder_;
  if (fromStore) {
    MemoryBudget::release(budget_, oldBytes);
    try {
      MemoryBudget::reserve(budget_, tableBytes);
    } catch (const GenError&) {
      MemoryBudget::reserve(budget_, oldBytes);  // held before, so it fits
      throw;
    }
    std::free(slots_);
    slots_ = nullptr;
    slotCount_ = 0;
  } else {
    MemoryBudget::reserve(budget_, tableBytes);
  }
  void* table = std::aligned_alloc(kGroupBytes, tableBytes);
  if (table == nullptr) {
    MemoryBudget::release(budget_, tableBytes);
    if (budget_ != nullptr) budget_->allocationFailed(tableBytes);
    Fail("Error:  TempHashTable not allocated");
  }
  std::memset(table, 0, tableBytes);
  if (bytes == 4)
    RebuildInto<Slots::Narrow>(table, groups);
  else
    RebuildInto<Slots::Wide>(table, groups);
  FreeSlots();
  slots_ = table;
  slotBytes_ = bytes;
  groups_ = groups;
  slotCount_ = groups * perGroup;
  tableSize = size;
  rehashAt_ = static_cast<double>(size) * loadFactor;
}

void HybridHash::FreeSlots() {
  std::free(slots_);
  slots_ = nullptr;
  MemoryBudget::release(budget_, slotCount_ * slotBytes_);
  slotCount_ = 0;
}

long long HybridHash::SlotOf(const char* state) {
  const Found f = {Lookup(state), false};
  if (f.number == NotFound) return -1;
  for (std::uint64_t i = 0; i < slotCount_; i++)
    if (NumberInSlot(i) == f.number) return static_cast<long long>(i);
  return -1;
}

std::uint64_t HybridHash::NumberInSlot(std::uint64_t i) const {
  if (slotBytes_ == 4) return static_cast<const std::uint32_t*>(slots_)[i] & Slots::Narrow::kNumberMask;
  return static_cast<const std::uint64_t*>(slots_)[i] & Slots::Wide::kNumberMask;
}

void HybridHash::SetSlot(std::uint64_t i, std::uint64_t number, const char* state) {
  const std::uint64_t h = Hash(state);
  if (slotBytes_ == 4)
    static_cast<std::uint32_t*>(slots_)[i] = Slots::Narrow::Tag(h) | static_cast<std::uint32_t>(number);
  else
    static_cast<std::uint64_t*>(slots_)[i] = Slots::Wide::Tag(h) | number;
}
