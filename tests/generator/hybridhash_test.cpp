#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "BaseModelClass.h"
#include "GenError.h"
#include "HybridHash.h"
#include "MemoryBudget.h"

namespace {

// A model that only knows how to compare two state strings byte by byte, and
// remembers the arguments of its last comparison.
class BytesModel : public BaseModelClass {
 public:
  explicit BytesModel(int size) : size_(size) {}
  void listModels(const char*, List<BaseModelClass>*) override {}
  void CurrentState(void*) override {}
  void listActions(List<BaseActionClass>*) override {}
  void listGroups(List<BaseGroupClass>*) override {}
  void SetState(void*) override {}
  int StateSize() override { return size_; }
  bool CompareState(void* a, void* b) override {
    lastStored = a;
    lastCandidate = b;
    return std::memcmp(a, b, size_) == 0;
  }
  void listActions(const char*, List<BaseActionClass>*) override {}
  void listSVs(const char*, const char*, List<BaseStateVariableClass>*, List<BaseModelClass>*) override {}

  void* lastStored = nullptr;
  void* lastCandidate = nullptr;

 private:
  int size_;
};

// A state vector of `size` bytes that looks like a marking: 16-bit places
// holding small values cut from n (distinct for n below 2^25).
std::vector<char> Vec(std::uint32_t n, unsigned size = 10) {
  std::vector<char> v(size, 0);
  const unsigned places = size / 2;
  const unsigned bits = places >= 5 ? 5 : (25 + places - 1) / places;
  const std::uint64_t wide = n;
  for (unsigned i = 0; i < places; i++) {
    auto mark = static_cast<std::int16_t>((wide >> (bits * i)) & ((1u << bits) - 1));
    std::memcpy(&v[2 * i], &mark, 2);
  }
  if (size % 2) v[size - 1] = static_cast<char>(n >> 24);
  return v;
}

HybridHash* Default(BytesModel& m, unsigned size, double loadFactor = 0.5) {
  return new HybridHash(&m, size, 131071, 100000, 5, 128, loadFactor);
}

}  // namespace

TEST(HybridHashTest, TableWithOnlyTheInitialState) {
  BytesModel m(10);
  HybridHash h(&m, 10, 131071, 100000, 5, 128, 0.5);
  auto s1 = Vec(1), s2 = Vec(2);
  h.Insert(s1.data(), 1);
  EXPECT_EQ(h.Lookup(s1.data()), 1u);
  EXPECT_EQ(h.Lookup(s2.data()), HybridHash::NotFound);
  EXPECT_EQ(static_cast<int>(h.Lookup(s2.data())), -1);
  EXPECT_EQ(std::memcmp(h.StoredCopy(1), s1.data(), 10), 0);
  // Equality is byte equality: the model is never asked.
  EXPECT_EQ(m.lastStored, nullptr);
  EXPECT_FALSE(h.WideSlots());
}

TEST(HybridHashTest, FindOrAddAnswersInOneProbe) {
  HybridHash h(10, 0.5);
  auto s1 = Vec(1), s2 = Vec(2);
  HybridHash::Found f = h.findOrAdd(s1.data(), 1);
  EXPECT_TRUE(f.added);
  EXPECT_EQ(f.number, 1u);
  f = h.findOrAdd(s1.data(), 2);  // seen before: the candidate is not used
  EXPECT_FALSE(f.added);
  EXPECT_EQ(f.number, 1u);
  f = h.findOrAdd(s2.data(), 2);
  EXPECT_TRUE(f.added);
  EXPECT_EQ(h.Lookup(s2.data()), 2u);
  // Insert and findOrAdd fill one table.
  h.Insert(Vec(3).data(), 3);
  EXPECT_EQ(h.findOrAdd(Vec(3).data(), 4).number, 3u);
  for (std::uint32_t n = 4; n <= 200000; n++) {
    f = h.findOrAdd(Vec(n).data(), n);
    ASSERT_TRUE(f.added && f.number == n) << n;
  }
  for (std::uint32_t n = 1; n <= 200000; n++) ASSERT_EQ(h.findOrAdd(Vec(n).data(), 7).number, n) << n;
  EXPECT_EQ(h.rehashCount, 2u);
}

TEST(HybridHashTest, FirstRehashAtState65536KeepsEveryState) {
  BytesModel m(10);
  HybridHash h(&m, 10, 131071, 100000, 5, 128, 0.5);
  for (std::uint32_t n = 1; n <= 65535; n++) h.Insert(Vec(n).data(), n);
  EXPECT_EQ(h.tableSize, 131071u);
  EXPECT_EQ(h.rehashCount, 0u);
  h.Insert(Vec(65536).data(), 65536);
  EXPECT_EQ(h.tableSize, 393209u);
  EXPECT_EQ(h.rehashCount, 1u);
  for (std::uint32_t n = 1; n <= 65536; n++) ASSERT_EQ(h.Lookup(Vec(n).data()), n) << n;
  EXPECT_EQ(h.Lookup(Vec(65537).data()), HybridHash::NotFound);
}

TEST(HybridHashTest, RehashOfStatesInsertedOutOfOrderKeepsEveryState) {
  HybridHash h(10, 0.5);
  // Numbers out of order make the table rebuild from its own slots.
  for (std::uint32_t n = 70000; n >= 1; n--) h.Insert(Vec(n).data(), n);
  EXPECT_EQ(h.rehashCount, 1u);
  for (std::uint32_t n = 1; n <= 70000; n++) ASSERT_EQ(h.Lookup(Vec(n).data()), n) << n;
}

TEST(HybridHashTest, StateOneHundredThousandOpensBlockOne) {
  BytesModel m(10);
  HybridHash h(&m, 10, 131071, 100000, 5, 128, 0.5);
  for (std::uint32_t n = 1; n <= 99999; n++) h.Insert(Vec(n).data(), n);
  EXPECT_EQ(h.currentBlock, 0u);
  h.Insert(Vec(100000).data(), 100000);
  EXPECT_EQ(h.currentBlock, 1u);
  EXPECT_EQ(h.StoredCopy(100000) - h.StoredCopy(99999) != 10, true);  // a new block
  EXPECT_EQ(std::memcmp(h.StoredCopy(100000), Vec(100000).data(), 10), 0);
  EXPECT_EQ(h.StoredCopy(99999), h.StoredCopy(1) + 99998 * 10);
  EXPECT_EQ(h.Lookup(Vec(100000).data()), 100000u);
  EXPECT_EQ(h.Lookup(Vec(99999).data()), 99999u);
}

TEST(HybridHashTest, CollidingHomeSlotsAreBothFound) {
  HybridHash h(10, 0.5);
  // Find two different vectors with the same home slot.
  std::vector<char> first, second;
  std::vector<std::int32_t> owner(h.SlotCount(), -1);
  for (std::uint32_t n = 1; second.empty(); n++) {
    auto v = Vec(n);
    const std::uint64_t home = h.HomeSlot(v.data());
    if (owner[home] >= 0) {
      first = Vec(static_cast<std::uint32_t>(owner[home]));
      second = v;
    } else {
      owner[home] = static_cast<std::int32_t>(n);
    }
  }
  const std::uint64_t home = h.HomeSlot(first.data());
  ASSERT_EQ(home, h.HomeSlot(second.data()));
  h.Insert(first.data(), 1);
  h.Insert(second.data(), 2);
  EXPECT_EQ(h.Lookup(first.data()), 1u);
  EXPECT_EQ(h.Lookup(second.data()), 2u);
  EXPECT_EQ(h.SlotOf(first.data()), static_cast<long long>(home));
  // The next slot of the same 64-byte group (16 slots of 4 bytes).
  EXPECT_EQ(h.SlotOf(second.data()), static_cast<long long>(home / 16 * 16 + (home + 1) % 16));
}

TEST(HybridHashTest, ShortVectorsAreStoredAndFound) {
  BytesModel m(4);
  HybridHash h(&m, 4, 131071, 100000, 5, 128, 0.5);
  for (std::uint32_t n = 1; n <= 70000; n++) h.Insert(reinterpret_cast<const char*>(&n), n);
  EXPECT_EQ(h.rehashCount, 1u);
  for (std::uint32_t n = 1; n <= 70000; n++) ASSERT_EQ(h.Lookup(reinterpret_cast<const char*>(&n)), n);
  std::uint32_t absent = 70001;
  EXPECT_EQ(h.Lookup(reinterpret_cast<const char*>(&absent)), HybridHash::NotFound);
}

TEST(HybridHashTest, NumberOutsideTheStoreIsDropped) {
  HybridHash h(10, 0.5);
  auto v = Vec(7);
  const std::uint64_t home = h.HomeSlot(v.data());
  h.SetSlot(home, 300005, v.data());  // block 3 was never opened
  EXPECT_EQ(h.Lookup(v.data()), HybridHash::NotFound);
  EXPECT_EQ(h.NumberInSlot(home), 0u);
}

TEST(HybridHashTest, SlotTableCanBeReleasedBeforeDestruction) {
  BytesModel m(10);
  auto* h = Default(m, 10);
  h->Insert(Vec(1).data(), 1);
  h->ReleaseSlotTable();
  EXPECT_EQ(h->SlotCount(), 0u);
  EXPECT_EQ(std::memcmp(h->StoredCopy(1), Vec(1).data(), 10), 0);  // the store stays
  EXPECT_THROW(h->Lookup(Vec(1).data()), GenError);
  delete h;
}

TEST(HybridHashTest, MemoryStaysBelowTwiceTheStateBytes) {
  HybridHash h(16, 0.5);
  const std::uint32_t n = 300000;
  for (std::uint32_t i = 1; i <= n; i++) h.Insert(Vec(i, 16).data(), i);
  EXPECT_LT(static_cast<double>(h.MemoryBytes()) / n, 2.0 * (16 + 4));
}

TEST(HybridHashTest, PrimeSizesGrowByFortyToSeventyPercentToTheEnd) {
  ASSERT_EQ(HybridHash::PrimeArray[0], 131071u);
  EXPECT_EQ(HybridHash::PrimeArray[13], 71000383u);
  for (int i = 14; i < HybridHash::NumPrimes; i++) {
    const double growth = static_cast<double>(HybridHash::PrimeArray[i]) / HybridHash::PrimeArray[i - 1];
    EXPECT_GE(growth, 1.4) << i;
    EXPECT_LE(growth, 1.7) << i;
    const std::uint64_t p = HybridHash::PrimeArray[i];
    for (std::uint64_t d = 3; d * d <= p && d < 100000; d += 2) ASSERT_NE(p % d, 0u) << p;
  }
  // The last size takes every state number even at a load factor of 1/16.
  EXPECT_GT(static_cast<double>(HybridHash::PrimeArray[HybridHash::NumPrimes - 1]) / 16,
            static_cast<double>(HybridHash::MaxStateNumber));
}

// Numbers past 2^24 need the wide slots; the table switches once, keeping
// every state, and the store opens only the blocks it needs.
TEST(HybridHashTest, NumbersPastTwentyFourBitsWidenTheSlots) {
  // At this load factor no growth of the table alone would widen it.
  HybridHash h(6, 0.01);
  for (std::uint32_t n = 1; n <= 1000; n++) h.Insert(Vec(n, 6).data(), n);
  h.Insert(Vec(16777215, 6).data(), 16777215);
  EXPECT_FALSE(h.WideSlots());
  h.Insert(Vec(16777216, 6).data(), 16777216);
  EXPECT_TRUE(h.WideSlots());
  for (std::uint32_t n = 1; n <= 1000; n++) ASSERT_EQ(h.Lookup(Vec(n, 6).data()), n);
  EXPECT_EQ(h.Lookup(Vec(16777215, 6).data()), 16777215u);
  EXPECT_EQ(h.Lookup(Vec(16777216, 6).data()), 16777216u);
  h.Insert(Vec(4000000000u, 6).data(), 4000000000u);
  EXPECT_EQ(h.Lookup(Vec(4000000000u, 6).data()), 4000000000u);
  EXPECT_EQ(h.findOrAdd(Vec(4294967295u, 6).data(), 4294967295u).number, 4294967295u);
  EXPECT_EQ(h.Lookup(Vec(4294967295u, 6).data()), 4294967295u);
  EXPECT_EQ(h.OpenBlocks(), 4u);  // 0, 167, 40000 and 42949 hold the states
}

// A table sized for numbers past 2^24 at its growth gets wide slots then.
TEST(HybridHashTest, RehashThatCrossesTwentyFourBitsWidens) {
  HybridHash h(6, 0.5);
  h.Insert(Vec(1, 6).data(), 1);
  for (int i = 1; i <= 11; i++) h.Rehash();
  EXPECT_EQ(h.tableSize, 31000303u);
  EXPECT_FALSE(h.WideSlots());  // 15.5 million numbers
  h.Rehash();
  EXPECT_TRUE(h.WideSlots());  // 25.5 million numbers
  EXPECT_EQ(h.Lookup(Vec(1, 6).data()), 1u);
}

// ---------------------------------------------------------------- failures

TEST(HybridHashTest, PrimeArrayRunsOut) {
  HybridHash h(6, 0.5);
  h.Insert(Vec(1, 6).data(), 1);
  h.rehashCount = static_cast<std::uint32_t>(HybridHash::NumPrimes - 1);
  try {
    h.Rehash();
    FAIL() << "no stop";
  } catch (const GenError& e) {
    EXPECT_STREQ(e.what(), "Hash:  Error:  allocate more memory for Hash Table");
    EXPECT_EQ(e.stream(), GenError::Stream::Err);
    EXPECT_EQ(e.status(), 1);
  }
}

TEST(HybridHashTest, StateNumbersRunFromOneToTwoToTheThirtyTwoMinusOne) {
  HybridHash h(6, 0.5);
  EXPECT_THROW(h.Insert(Vec(0, 6).data(), 0), GenError);
  try {
    h.findOrAdd(Vec(5, 6).data(), 4294967296ull);
    FAIL() << "no stop";
  } catch (const GenError& e) {
    EXPECT_STREQ(e.what(),
                 "Hash:  Error:  state number 4294967296 cannot be stored (state numbers run from 1 "
                 "to 4294967295)");
  }
  // A state already stored is found whatever the candidate.
  h.Insert(Vec(5, 6).data(), 5);
  EXPECT_EQ(h.findOrAdd(Vec(5, 6).data(), 4294967296ull).number, 5u);
}

TEST(HybridHashTest, FullTableStopsInsteadOfProbingForEver) {
  // Seven slots make one group of 16; a load factor that never rehashes.
  HybridHash small(static_cast<BaseModelClass*>(nullptr), 6, 7, 100, 5, 128, 10.0);
  for (std::uint32_t n = 1; n <= 16; n++) small.Insert(Vec(n, 6).data(), n);
  for (std::uint32_t n = 1; n <= 16; n++) ASSERT_EQ(small.Lookup(Vec(n, 6).data()), n);
  EXPECT_THROW(small.Insert(Vec(17, 6).data(), 17), GenError);
  EXPECT_THROW(small.Lookup(Vec(17, 6).data()), GenError);
  EXPECT_THROW(small.findOrAdd(Vec(17, 6).data(), 17), GenError);
}

TEST(HybridHashTest, GrowthPastTheBudgetStops) {
  MemoryBudget budget(std::uint64_t{4} << 20);
  HybridHash h(16, 0.5, &budget);
  EXPECT_EQ(budget.held() + sizeof(char*), h.MemoryBytes());  // the table and block 0
  std::uint32_t n = 1;
  try {
    for (; n < 1000000; n++) h.findOrAdd(Vec(n, 16).data(), n);
    FAIL() << "no stop";
  } catch (const GenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  "Error: Out of memory: generation stopped after " + std::to_string(n - 1) + " states; gen holds ", 0),
              0u)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("past the limit of 4194304 bytes set by GEN_MAX_MEMORY."), std::string::npos);
  }
  EXPECT_LE(budget.held(), budget.limit().value());
  EXPECT_EQ(h.Lookup(Vec(n - 1, 16).data()), n - 1);  // what was stored stays
}

// A refused growth of the table leaves every stored state findable.
TEST(HybridHashTest, RefusedRehashKeepsTheTable) {
  MemoryBudget budget(std::uint64_t{3} << 20);  // the first table and block, not the second table
  HybridHash h(16, 0.5, &budget);
  std::uint32_t n = 1;
  EXPECT_THROW(
      {
        for (; n < 100000; n++) h.findOrAdd(Vec(n, 16).data(), n);
      },
      GenError);
  EXPECT_EQ(n, 65536u);
  EXPECT_EQ(h.tableSize, 131071u);
  EXPECT_EQ(h.rehashCount, 0u);
  for (std::uint32_t k = 1; k < n; k++) ASSERT_EQ(h.Lookup(Vec(k, 16).data()), k) << k;
}
