// The record of one state's expansion: successors merged by vector in order
// of first arrival, values summed in arrival order and formatted as the
// state-space file writes them, the first arrival's reward values kept.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Expansion.h"

TEST(Expansion, MergesByVectorInArrivalOrder) {
  Expansion x(2, 2);
  ScientificText text;
  x.beginState(5);
  const char a[2] = {1, 2}, b[2] = {3, 4}, c[2] = {1, 3};
  ASSERT_TRUE(x.addSuccessor(a, 1.0, false));
  x.newRewards()[0] = 10, x.newRewards()[1] = 11;
  ASSERT_TRUE(x.addSuccessor(b, 0.5, true));
  EXPECT_FALSE(x.addSuccessor(a, 1e-17, false));  // later arrivals keep the first rewards
  EXPECT_FALSE(x.addSuccessor(a, 2.0, false));
  ASSERT_TRUE(x.addSuccessor(c, -1.0, false));
  x.addDelay(2.5, 0);
  x.endState(text);

  ASSERT_EQ(x.size(), 1u);
  const Expansion::State& s = x.state(0);
  EXPECT_EQ(s.number, 5u);
  ASSERT_EQ(s.endSuccessor - s.firstSuccessor, 3u);
  EXPECT_EQ(std::string(x.vector(s.firstSuccessor), 2), std::string(a, 2));
  EXPECT_EQ(x.successor(s.firstSuccessor).value, (1.0 + 1e-17) + 2.0);
  EXPECT_EQ(x.text(x.successor(s.firstSuccessor)), "3.0000000000e+00");
  EXPECT_EQ(x.rewards(s.firstSuccessor)[1], 11);
  EXPECT_TRUE(x.successor(s.firstSuccessor + 1).self);
  EXPECT_EQ(x.text(x.successor(s.firstSuccessor + 2)), "-1.0000000000e+00");
  EXPECT_EQ(s.endDelay - s.firstDelay, 1u);
  EXPECT_EQ(x.delay(s.firstDelay), 2.5);
}

// Wide fan-outs switch to an index; merging and order stay the same.
TEST(Expansion, ManySuccessorsOfOneState) {
  Expansion x(2, 0);
  ScientificText text;
  x.beginState(1);
  for (int round = 0; round < 2; round++)
    for (int i = 0; i < 100; i++) {
      const char v[2] = {static_cast<char>(i), 7};
      EXPECT_EQ(x.addSuccessor(v, 0.25, false), round == 0);
    }
  x.endState(text);
  const Expansion::State& s = x.state(0);
  ASSERT_EQ(s.endSuccessor - s.firstSuccessor, 100u);
  for (std::uint32_t i = s.firstSuccessor; i < s.endSuccessor; i++) {
    EXPECT_EQ(x.vector(i)[0], static_cast<char>(i - s.firstSuccessor));
    EXPECT_EQ(x.text(x.successor(i)), "5.0000000000e-01");
  }
  // The next state starts afresh.
  x.beginState(2);
  const char v[2] = {0, 7};
  EXPECT_TRUE(x.addSuccessor(v, 1, false));
}

// Remembered texts are exactly what formatting gives, whether a value is met
// again (also in turn with another of its set), evicted by others of its set,
// or differs in its last bit only.
TEST(NumberText, RemembersOnlyWhatFormattingGives) {
  ScientificText scientific;
  GeneralText general;
  std::mt19937_64 random(7);
  std::vector<double> values = {0.0, -0.0, 1.0, 1e-300, -1.7976931348623157e308, 5e-324, 0.1 + 0.2, 0.3};
  for (int i = 0; i < 2000; i++) values.push_back(std::ldexp(static_cast<double>(random() >> 11), -60 + i % 120));
  std::vector<double> order;
  for (int round = 0; round < 3; round++) order.insert(order.end(), values.begin(), values.end());
  for (std::size_t i = 0; i + 2 < 300; i++)
    for (int turn = 0; turn < 3; turn++) order.insert(order.end(), {values[i], values[i + 1], values[i + 2]});
  for (double v : order) {
    char want[64], got[ScientificText::kMaxLength];
    auto w = std::to_chars(want, want + sizeof want, v, std::chars_format::scientific, 10);
    ASSERT_EQ(std::string(got, scientific.write(v, got)), std::string(want, w.ptr));
    w = std::to_chars(want, want + sizeof want, v, std::chars_format::general, 6);
    ASSERT_EQ(std::string(got, general.write(v, got)), std::string(want, w.ptr));
  }
}
