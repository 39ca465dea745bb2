#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "BaseModelClass.h"
#include "HybridHash.h"

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
  // The stored copy is handed to the model first, the candidate second.
  EXPECT_EQ(m.lastStored, h.StoredCopy(1));
  EXPECT_EQ(m.lastCandidate, s1.data());
  EXPECT_EQ(h.Lookup(s2.data()), HybridHash::NotFound);
  EXPECT_EQ(static_cast<int>(h.Lookup(s2.data())), -1);
  EXPECT_EQ(std::memcmp(h.StoredCopy(1), s1.data(), 10), 0);
  EXPECT_EQ(h.LocatorOf(s1.data()), 1u);
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

TEST(HybridHashTest, StateOneHundredThousandOpensBlockOne) {
  BytesModel m(10);
  HybridHash h(&m, 10, 131071, 100000, 5, 128, 0.5);
  for (std::uint32_t n = 1; n <= 99999; n++) h.Insert(Vec(n).data(), n);
  EXPECT_EQ(h.currentBlock, 0u);
  h.Insert(Vec(100000).data(), 100000);
  EXPECT_EQ(h.currentBlock, 1u);
  EXPECT_EQ(h.LocatorOf(Vec(100000).data()), 100000u + (1u << 24));
  EXPECT_EQ(h.StoredCopy(100000), h.blocks[1]);
  EXPECT_EQ(std::memcmp(h.blocks[1], Vec(100000).data(), 10), 0);
  EXPECT_EQ(h.LocatorOf(Vec(99999).data()), 99999u);
  EXPECT_EQ(h.StoredCopy(99999), h.blocks[0] + 99999 * 10);
  EXPECT_EQ(std::memcmp(h.blocks[0] + 99999 * 10, Vec(99999).data(), 10), 0);
  EXPECT_EQ(h.Lookup(Vec(100000).data()), 100000u);
  EXPECT_EQ(h.Lookup(Vec(99999).data()), 99999u);
}

TEST(HybridHashTest, CollidingHomeSlotsAreBothFound) {
  BytesModel m(10);
  HybridHash h(&m, 10, 131071, 100000, 5, 128, 0.5);
  // Find two different vectors with the same home slot.
  std::vector<char> first, second;
  std::vector<std::int32_t> owner(h.tableSize, -1);
  for (std::uint32_t n = 1; second.empty(); n++) {
    auto v = Vec(n);
    std::uint32_t home = h.HomeSlot(v.data());
    if (owner[home] >= 0) {
      first = Vec(static_cast<std::uint32_t>(owner[home]));
      second = v;
    } else {
      owner[home] = static_cast<std::int32_t>(n);
    }
  }
  std::uint32_t home = h.HomeSlot(first.data());
  ASSERT_EQ(home, h.HomeSlot(second.data()));
  h.Insert(first.data(), 1);
  h.Insert(second.data(), 2);
  EXPECT_EQ(h.Lookup(first.data()), 1u);
  EXPECT_EQ(h.Lookup(second.data()), 2u);
  EXPECT_EQ(h.SlotOf(first.data()), static_cast<long>(home));
  // One stride (1024 before any rehash) further along, wrapping at the end.
  EXPECT_EQ(h.SlotOf(second.data()), static_cast<long>((home + 1024) % h.tableSize));
}

TEST(HybridHashTest, ShortVectorsAreStoredAndFound) {
  BytesModel m(4);
  HybridHash h(&m, 4, 131071, 100000, 5, 128, 0.5);
  for (std::uint32_t n = 1; n <= 70000; n++) h.Insert(reinterpret_cast<const char*>(&n), n);
  EXPECT_EQ(h.rehashCount, 1u);
  for (std::uint32_t n = 1; n <= 70000; n++)
    ASSERT_EQ(h.Lookup(reinterpret_cast<const char*>(&n)), n);
  std::uint32_t absent = 70001;
  EXPECT_EQ(h.Lookup(reinterpret_cast<const char*>(&absent)), HybridHash::NotFound);
}

TEST(HybridHashTest, LocatorOutsideTheStoreIsDropped) {
  BytesModel m(10);
  HybridHash h(&m, 10, 131071, 100000, 5, 128, 0.5);
  auto v = Vec(7);
  std::uint32_t home = h.HomeSlot(v.data());
  h.slotTable[home] = 5u + (3u << 24);  // block 3 was never opened
  EXPECT_EQ(h.Lookup(v.data()), HybridHash::NotFound);
  EXPECT_EQ(h.slotTable[home], 0u);
  h.slotTable[home] = 100005u;  // index beyond block 0
  EXPECT_EQ(h.Lookup(v.data()), HybridHash::NotFound);
  EXPECT_EQ(h.slotTable[home], 0u);
}

TEST(HybridHashTest, SlotTableCanBeReleasedBeforeDestruction) {
  BytesModel m(10);
  auto* h = Default(m, 10);
  h->Insert(Vec(1).data(), 1);
  h->ReleaseSlotTable();
  EXPECT_EQ(h->slotTable, nullptr);
  EXPECT_EQ(std::memcmp(h->StoredCopy(1), Vec(1).data(), 10), 0);  // the store stays
  delete h;
}

TEST(HybridHashTest, MemoryStaysBelowTwiceTheStateBytes) {
  BytesModel m(16);
  HybridHash h(&m, 16, 131071, 100000, 5, 128, 0.5);
  const std::uint32_t n = 300000;
  for (std::uint32_t i = 1; i <= n; i++) h.Insert(Vec(i, 16).data(), i);
  EXPECT_LT(static_cast<double>(h.MemoryBytes()) / n, 2.0 * (16 + 4));
}

// ---------------------------------------------------------------- failures

using HybridHashDeathTest = ::testing::Test;

TEST(HybridHashDeathTest, PrimeArrayRunsOutWithLoadFactorOneTenth) {
  EXPECT_EXIT(
      {
        BytesModel m(6);
        HybridHash h(&m, 6, 131071, 100000, 5, 128, 0.1);
        std::uint32_t n = 1;
        for (; n < 5100036; n++) h.Insert(Vec(n, 6).data(), n);
        if (h.tableSize != 51000353u) std::exit(2);
        h.Insert(Vec(n, 6).data(), n);
        if (h.tableSize != 71000383u) std::exit(3);
        for (n++; n < 7100039; n++) h.Insert(Vec(n, 6).data(), n);
        if (h.Lookup(Vec(4321, 6).data()) != 4321u) std::exit(4);
        h.Insert(Vec(n, 6).data(), n);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Hash:  Error:  allocate more memory for Hash Table");
}

TEST(HybridHashDeathTest, StoreStopsBeyondItsLastBlock) {
  BytesModel m(6);
  EXPECT_EXIT(
      {
        HybridHash h(&m, 6, 131071, 10, 5, 3, 0.5);
        for (std::uint32_t n = 1; n < 30; n++) h.Insert(Vec(n, 6).data(), n);
        if (h.currentBlock != 2u || h.Lookup(Vec(29, 6).data()) != 29u) std::exit(2);
        h.Insert(Vec(30, 6).data(), 30);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Hash:  Error:  the state store is full \\(30 states at most\\)");
  // With the generator's configuration the limit is state 12,800,000.
  EXPECT_EXIT(
      {
        HybridHash h(&m, 6, 131071, 100000, 5, 128, 0.5);
        h.Insert(Vec(12799999, 6).data(), 12799999);
        if (h.Lookup(Vec(12799999, 6).data()) != 12799999u || h.currentBlock != 127u) std::exit(2);
        h.Insert(Vec(12800000, 6).data(), 12800000);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "the state store is full \\(12800000 states at most\\)");
}

TEST(HybridHashDeathTest, StateNumberBeyondTwentyFourBitsStops) {
  BytesModel m(6);
  EXPECT_EXIT(
      {
        HybridHash h(&m, 6, 131071, 200000, 5, 128, 0.5);
        h.Insert(Vec(16777215, 6).data(), 16777215);
        if (h.Lookup(Vec(16777215, 6).data()) != 16777215u) std::exit(2);
        h.Insert(Vec(16777216, 6).data(), 16777216);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "state number 16777216 cannot be stored");
}

TEST(HybridHashDeathTest, FullTableStopsInsteadOfProbingForEver) {
  BytesModel m(6);
  // Seven slots and a load factor that never rehashes before state 70.
  EXPECT_EXIT(
      {
        HybridHash h(&m, 6, 7, 100, 5, 128, 10.0);
        for (std::uint32_t n = 1; n <= 7; n++) h.Insert(Vec(n, 6).data(), n);
        for (std::uint32_t n = 1; n <= 7; n++)
          if (h.Lookup(Vec(n, 6).data()) != n) std::exit(2);
        h.Insert(Vec(8, 6).data(), 8);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Hash:  Error:  no empty slot found");
  EXPECT_EXIT(
      {
        HybridHash h(&m, 6, 7, 100, 5, 128, 10.0);
        for (std::uint32_t n = 1; n <= 7; n++) h.Insert(Vec(n, 6).data(), n);
        h.Lookup(Vec(8, 6).data());
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Hash:  Error:  no empty slot found");
}
