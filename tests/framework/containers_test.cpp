#include <gtest/gtest.h>

#include <sstream>

#include "ExpectGenError.h"
#include "FastSet.h"
#include "List.h"
#include "StandardErrors.h"
#include "primes.h"

TEST(ListTest, EleventhItemDoublesArray) {
  int v[11];
  List<int> list;
  for (int i = 0; i < 11; i++) list.append(&v[i]);
  EXPECT_EQ(list.getNumItems(), 11);
  EXPECT_EQ(list.getArraySize(), 20);
  for (int i = 0; i < 11; i++) EXPECT_EQ(list[i], &v[i]);
}

// ---------------------------------------------------------------- List

TEST(ListTest, AppendingAPresentItemToAFullListStillDoubles) {
  int v[10];
  List<int> list;
  for (int& x : v) list.append(&x);
  ASSERT_EQ(list.getArraySize(), 10);
  list.append(&v[3]);
  EXPECT_EQ(list.getNumItems(), 10);
  EXPECT_EQ(list.getArraySize(), 20);
  for (int i = 0; i < 10; i++) EXPECT_EQ(list[i], &v[i]);
  EXPECT_EQ(list[10], nullptr);  // new slots are null
}

TEST(ListTest, AppendListGrowsOnceToTwiceTheSum) {
  int v[13];
  List<int> list, other;
  for (int i = 0; i < 10; i++) list.append(&v[i]);
  for (int i = 10; i < 13; i++) other.append(&v[i]);
  list.append(&other);
  EXPECT_EQ(list.getArraySize(), 26);
  ASSERT_EQ(list.getNumItems(), 13);
  EXPECT_EQ(list[12], &v[12]);
  list.append(&other);  // all present: nothing added
  EXPECT_EQ(list.getNumItems(), 13);
}

TEST(ListTest, AppendArrayUsesTheSingleAppend) {
  int v[3];
  int* items[] = {&v[0], &v[1], &v[0], &v[2]};
  List<int> list(2);
  list.append(items, 4);
  EXPECT_EQ(list.getNumItems(), 3);
  EXPECT_EQ(list[2], &v[2]);
}

TEST(ListTest, RemoveMovesTheLastItemIntoTheGap) {
  int v[3];
  List<int> list;
  for (int& x : v) list.append(&x);
  list.remove(&v[0]);
  ASSERT_EQ(list.getNumItems(), 2);
  EXPECT_EQ(list[0], &v[2]);
  EXPECT_EQ(list[1], &v[1]);
  int absent;
  list.remove(&absent);
  EXPECT_EQ(list.getNumItems(), 2);
}

TEST(ListTest, ReplaceItem) {
  int v[3], w;
  List<int> list;
  for (int& x : v) list.append(&x);
  list.replaceItem(&v[1], &w);  // new item absent: same position
  EXPECT_EQ(list[1], &w);
  list.replaceItem(&v[0], &v[2]);  // new item present: the old one goes
  ASSERT_EQ(list.getNumItems(), 2);
  EXPECT_FALSE(list.contains(&v[0]));
  EXPECT_TRUE(list.contains(&v[2]));
  EXPECT_TRUE(list.contains(&w));
  list.replaceItem(&v[0], &v[1]);  // old item absent: nothing changes
  EXPECT_EQ(list.getNumItems(), 2);
  EXPECT_FALSE(list.contains(&v[1]));
}

TEST(ListTest, InsertItemNeverGrows) {
  int v[3];
  List<int> list(2);
  list.insertItem(&v[0]);
  list.insertItem(&v[0]);
  list.insertItem(&v[1]);
  list.insertItem(&v[2]);
  EXPECT_EQ(list.getNumItems(), 2);
  EXPECT_EQ(list.getArraySize(), 2);
}

TEST(ListTest, RemoveSetOfItemsKeepsTheOrder) {
  int v[5];
  List<int> list, set;
  for (int& x : v) list.append(&x);
  set.append(&v[1]);
  set.append(&v[3]);
  list.removeSetOfItems(set);
  ASSERT_EQ(list.getNumItems(), 3);
  EXPECT_EQ(list[0], &v[0]);
  EXPECT_EQ(list[1], &v[2]);
  EXPECT_EQ(list[2], &v[4]);
}

TEST(ListTest, ClearAndIncreaseArraySize) {
  int v[2];
  List<int> list;
  list.append(&v[0]);
  list.append(&v[1]);
  list.increaseArraySize(15);
  EXPECT_EQ(list.getArraySize(), 15);
  EXPECT_EQ(list[1], &v[1]);
  EXPECT_EQ(list[2], nullptr);
  list.clearList();
  EXPECT_EQ(list.getNumItems(), 0);
  EXPECT_EQ(list.getArraySize(), 15);
  EXPECT_FALSE(list.contains(&v[0]));
}

TEST(ListTest, PrintList) {
  List<int> list;
  testing::internal::CaptureStdout();
  list.printList();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No items in the list\n");
  int v;
  list.append(&v);
  std::ostringstream expected;
  expected << "[0] " << static_cast<const void*>(&v) << "\n";
  testing::internal::CaptureStdout();
  list.printList();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected.str());
}

// ---------------------------------------------------------------- FastSet

TEST(FastSetTest, FreezingEmptySet) {
  FastSet s;
  EXPECT_TRUE(s.empty());
  s.NoMoreModifications();
  EXPECT_EQ(s.size(), 0);
}

TEST(FastSetTest, FreezingSortsAndDropsDuplicates) {
  FastSet s;
  EXPECT_TRUE(s.insert(5));
  EXPECT_TRUE(s.insert(2));
  EXPECT_FALSE(s.insert(5));
  EXPECT_TRUE(s.insert(9));
  EXPECT_TRUE(s.find(2));
  EXPECT_FALSE(s.find(3));
  s.NoMoreModifications();
  ASSERT_EQ(s.size(), 3);
  EXPECT_EQ(s[0], 2);
  EXPECT_EQ(s[1], 5);
  EXPECT_EQ(s[2], 9);
  s.clear();
  EXPECT_TRUE(s.isFrozen());
  EXPECT_EQ(s.size(), 0);
}

TEST(FastSetTest, ClearInTreeForm) {
  FastSet s;
  s.insert(1);
  s.clear();
  EXPECT_TRUE(s.empty());
}

TEST(FastSetTest, WrongFormStops) {
  FastSet tree;
  EXPECT_DEATH(tree.size(), "gen: FastSet: Assertion `is_vec_rep' failed.");
  FastSet frozen;
  frozen.NoMoreModifications();
  EXPECT_DEATH(frozen.insert(1), "gen: FastSet: Assertion `!is_vec_rep' failed.");
  EXPECT_DEATH(frozen.NoMoreModifications(), "Assertion `!is_vec_rep' failed.");
}

// ---------------------------------------------------------------- primes

TEST(PrimesTest, TheFirst256PrimesInOrder) {
  EXPECT_EQ(primes[0], 2);
  EXPECT_EQ(primes[1], 3);
  EXPECT_EQ(primes[4], 11);
  EXPECT_EQ(primes[255], 1619);
  int candidate = 2;
  for (int i = 0; i < 256; i++, candidate++) {
    auto isPrime = [](int n) {
      for (int d = 2; d * d <= n; d++)
        if (n % d == 0) return false;
      return true;
    };
    while (!isPrime(candidate)) candidate++;
    ASSERT_EQ(primes[i], candidate) << i;
  }
}

// ---------------------------------------------------------------- standard errors

TEST(StandardErrorsTest, MismatchReportsNameBothVariables) {
  testing::internal::CaptureStderr();
  ArrayTypeMismatchError("a", "b");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Array types for equivalence sharing do not match for state variables: \n  a\n  b\n");
  testing::internal::CaptureStderr();
  StructTypeMismatchError("s", "t");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Struct types for equivalence sharing do not match for state variables: \n  s\n  t\n");
}

TEST(StandardErrorsTest, ReportsThatReturn) {
  testing::internal::CaptureStderr();
  MemoryError();
  ErrorEmptyParameter("param");
  SyncError::WrongDistributionType();
  SyncError::NoAction();
  InconsistantState();
  UserError();
  InvalidArrayType();
  InvalidUnorderedType();
  ArrayOutOfBoundsError("here");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Memory Error\n"
            "param: Parameter was an empty reference\n"
            "You can only synchronize actions from one type,either exponential or instantenous\n"
            " no Action found in model\n"
            "This program has entered into an inconsistant state. Please report this bug.\n"
            "A user error has been detected\n"
            "ArrayType is not valid\n"
            "ArrayType is invalid for unordered element\n"
            "Array out of bounds error at here\n");
}

TEST(StandardErrorsTest, MemoryAllocationErrorEndsTheRunWithStatusOne) {
  expectGenError([] { MemoryAllocationError(); },
                 "Insufficient Memory to allocate dynamic data structures from heap memory\nExiting program...");
}

TEST(StandardErrorsTest, InvalidStructTypeStops) {
  EXPECT_DEATH(InvalidStructType(), "ArrayType is invalid for struct element\n");
}
