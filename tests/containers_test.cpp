#include <gtest/gtest.h>

#include "FastSet.h"
#include "List.h"
#include "primes.h"

TEST(ListTest, EleventhItemDoublesArray) {
  int v[11];
  List<int> list;
  for (int i = 0; i < 11; i++) list.append(&v[i]);
  EXPECT_EQ(list.getNumItems(), 11);
  EXPECT_EQ(list.getArraySize(), 20);
  for (int i = 0; i < 11; i++) EXPECT_EQ(list[i], &v[i]);
}
