#include <gtest/gtest.h>

#include <cstring>

#include "GenError.h"
#include "MemoryBudget.h"
#include "Queue.h"
#include "state_struct.h"

namespace {

constexpr unsigned kSize = 6;

// A caller-owned entry whose bytes encode its number.
struct Item {
  explicit Item(std::uint32_t n) {
    s.data = bytes;
    set(n);
  }
  void set(std::uint32_t n) {
    s.number = n;
    for (unsigned i = 0; i < kSize; i++) bytes[i] = static_cast<char>((n >> (i % 4 * 8)) + i);
  }
  char bytes[kSize];
  state_struct s;
};

bool Holds(const state_struct* e, std::uint32_t n) {
  Item expected(n);
  return e != nullptr && e->number == n && std::memcmp(e->data, expected.bytes, kSize) == 0;
}

}  // namespace

TEST(QueueTest, NewQueueIsEmptyAndFirstEntryUsesSlotOne) {
  Queue q(kSize);
  EXPECT_EQ(q.Dequeue(), nullptr);
  EXPECT_EQ(q.capacity, 5000u);
  Item a(7);
  q.Enqueue(&a.s);
  EXPECT_EQ(q.back, 1);
  state_struct* e = q.Dequeue();
  EXPECT_EQ(e, q.entries[1]);
  EXPECT_TRUE(Holds(e, 7));
  EXPECT_NE(e->data, a.bytes);  // a copy, not the caller's buffer
  EXPECT_EQ(q.Dequeue(), nullptr);
}

TEST(QueueTest, FillingWrapsAndTheNextStateGrowsTheRing) {
  Queue q(kSize);
  Item item(0);
  for (std::uint32_t n = 1; n <= 5000; n++) {
    item.set(n);
    q.Enqueue(&item.s);
  }
  EXPECT_EQ(q.capacity, 5000u);
  EXPECT_EQ(q.back, 0);
  EXPECT_TRUE(Holds(q.entries[0], 5000));

  item.set(5001);
  q.Enqueue(&item.s);
  EXPECT_EQ(q.capacity, 10000u);
  EXPECT_EQ(q.growthStep, 2u);
  EXPECT_EQ(q.front, 1);
  EXPECT_EQ(q.back, 5001);
  EXPECT_EQ(q.count, 5001);
  for (std::uint32_t n = 1; n <= 5001; n++) ASSERT_TRUE(Holds(q.entries[n], n)) << n;
  for (std::uint32_t n = 1; n <= 5001; n++) ASSERT_TRUE(Holds(q.Dequeue(), n)) << n;
  EXPECT_EQ(q.Dequeue(), nullptr);
}

TEST(QueueTest, GrowthFromAWrappedRingKeepsOrder) {
  Queue q(kSize);
  Item item(0);
  std::uint32_t in = 0, out = 0;
  for (int i = 0; i < 3000; i++) {
    item.set(++in);
    q.Enqueue(&item.s);
  }
  for (int i = 0; i < 2500; i++) ASSERT_TRUE(Holds(q.Dequeue(), ++out));
  // The ring now wraps: front is 2501; fill it and one more.
  while (q.count < 5001) {
    item.set(++in);
    q.Enqueue(&item.s);
  }
  EXPECT_EQ(q.capacity, 10000u);
  while (state_struct* e = q.Dequeue()) ASSERT_TRUE(Holds(e, ++out));
  EXPECT_EQ(out, in);
}

TEST(QueueTest, OrderHoldsAcrossManyGrowthsAndWrapArounds) {
  Queue q(kSize);
  Item item(0);
  std::uint32_t in = 0, out = 0;
  // Breadth-first-like traffic: each dequeue is followed by three enqueues,
  // with a draining phase, so the ring wraps and grows repeatedly.
  for (int round = 0; round < 4; round++) {
    for (int i = 0; i < 9000; i++) {
      if (q.count > 0) {
        ASSERT_TRUE(Holds(q.Dequeue(), ++out));
      }
      for (int k = 0; k < 3; k++) {
        item.set(++in);
        q.Enqueue(&item.s);
      }
    }
    for (int i = 0; i < 12000 && q.count > 0; i++) ASSERT_TRUE(Holds(q.Dequeue(), ++out));
  }
  EXPECT_GT(q.growthStep, 4u);
  while (state_struct* e = q.Dequeue()) ASSERT_TRUE(Holds(e, ++out));
  EXPECT_EQ(out, in);
  EXPECT_EQ(q.count, 0);
}

TEST(QueueTest, EntryDequeuedFromAFullRingIsReusedByTheNextEnqueue) {
  Queue q(kSize);
  Item item(0);
  for (std::uint32_t n = 1; n <= 5000; n++) {
    item.set(n);
    q.Enqueue(&item.s);
  }
  state_struct* first = q.Dequeue();
  ASSERT_TRUE(Holds(first, 1));
  item.set(5001);
  q.Enqueue(&item.s);
  EXPECT_EQ(q.capacity, 5000u);  // room was made by the dequeue
  EXPECT_EQ(q.back, 1);
  EXPECT_TRUE(Holds(first, 5001));  // same slot, overwritten
  for (std::uint32_t n = 2; n <= 5001; n++) ASSERT_TRUE(Holds(q.Dequeue(), n)) << n;
}

TEST(QueueTest, MakeEmptyForgetsWaitingStates) {
  Queue q(kSize);
  Item item(3);
  q.Enqueue(&item.s);
  q.Enqueue(&item.s);
  q.Make_Empty();
  EXPECT_EQ(q.Dequeue(), nullptr);
  item.set(9);
  q.Enqueue(&item.s);
  EXPECT_TRUE(Holds(q.Dequeue(), 9));
}

TEST(QueueTest, IncrementWrapsAtCapacity) {
  Queue q(kSize);
  std::int64_t i = 4998;
  q.Increment(i);
  EXPECT_EQ(i, 4999);
  q.Increment(i);
  EXPECT_EQ(i, 0);
}

// Past the first steps a growth adds half the ring, so that a frontier of
// millions is moved a few dozen times, not thousands.
TEST(QueueTest, LargeFrontiersGrowGeometrically) {
  Queue q(kSize);
  Item item(0);
  std::uint32_t n = 0;
  while (q.capacity < 1000000) {
    item.set(++n);
    q.Enqueue(&item.s);
  }
  EXPECT_LT(q.growthStep, 20u);
  EXPECT_EQ(q.capacity, 1297440u);
  for (std::uint32_t k = 1; k <= n; k++) ASSERT_TRUE(Holds(q.Dequeue(), k)) << k;
  EXPECT_EQ(q.Dequeue(), nullptr);
}

TEST(QueueTest, GrowthPastTheBudgetStops) {
  MemoryBudget budget(std::uint64_t{1} << 20);
  budget.setStatesReached(42);
  Queue q(kSize, &budget);
  EXPECT_EQ(budget.held(), q.MemoryBytes());
  Item item(0);
  std::uint32_t n = 0;
  try {
    for (;;) {
      item.set(++n);
      q.Enqueue(&item.s);
    }
  } catch (const GenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Error: Out of memory: generation stopped after 42 states; ", 0), 0u)
        << e.what();
  }
  EXPECT_LE(budget.held(), std::uint64_t{1} << 20);
}
