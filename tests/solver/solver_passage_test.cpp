// Reached and first-passage variables of hand-built chains against their
// closed forms: a stiff passage, whose mean time spans 12 orders of
// magnitude of the rates, and a race that leaves the condition unreached
// with probability b / (a + b).

#include <gtest/gtest.h>

#include <cmath>

#include "Measures.h"
#include "SolverTestSupport.h"
#include "UmbReader.h"

using namespace solver;
using solvertest::TestChain;
using solvertest::TestReward;

namespace {

std::vector<ResultRow> solveChain(const TestChain& chain) {
  solvertest::TempDir dir;
  solvertest::writeRun(dir.path(), "m", chain);
  auto umb = UmbReader::open(dir.file("m.umb"));
  EXPECT_TRUE(umb.ok());
  auto rows = computeMeasures(**umb, Options(), [](const std::string&) {});
  EXPECT_TRUE(rows.ok()) << (rows.ok() ? "" : rows.error().message);
  return rows ? *rows : std::vector<ResultRow>{};
}

// The condition's variable that follows a first passage.
TestReward until(const std::string& name, std::vector<double> condition) {
  return TestReward{name + ":until", "until", {}, std::move(condition), {}};
}

}  // namespace

TEST(Passage, StiffMeanTimeKeepsItsRelativeAccuracy) {
  // 0 <-> 1 -> 2: T0 = 1/l + T1, T1 = 1/(l + m) + m/(l + m) T0, so
  // T0 = (2l + m) / l^2; the repairs before the passage are m / l.
  const double l = 1e-6, m = 1.0;
  TestChain chain(3);
  chain.rate(0, 1, l).rate(1, 0, m).rate(1, 2, l);
  chain.rewards.push_back(TestReward{"time", "first_passage", {}, {1, 1, 1}, {}});
  chain.rewards.push_back(until("time", {0, 0, 1}));
  chain.rewards.push_back(TestReward{"repairs", "first_passage", {}, {}, {{{1, 0}, 1.0}}});
  chain.rewards.push_back(until("repairs", {0, 0, 1}));
  const auto rows = solveChain(chain);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NEAR(rows[0].value, (2 * l + m) / (l * l), 1e-10 * rows[0].value);
  EXPECT_NEAR(rows[1].value, m / l, 1e-10 * m / l);
  EXPECT_LE(rows[0].errorBound, 1e-9 * rows[0].value);
}

TEST(Passage, RaceLostIsInfiniteAndReachedStopsAtItsOdds) {
  // From 0, state 1 (the condition) at rate a, state 2 (never leaving) at
  // rate b: P(reached by t) = a / (a + b) (1 - e^-(a + b) t).
  const double a = 1.0, b = 3.0;
  TestChain chain(3);
  chain.rate(0, 1, a).rate(0, 2, b);
  chain.rewards.push_back(TestReward{"mttf", "first_passage", {}, {1, 1, 1}, {}});
  chain.rewards.push_back(until("mttf", {0, 1, 0}));
  chain.rewards.push_back(TestReward{"by", "reached", {{0.5, 0.5}, {2, 2}}, {0, 1, 0}, {}});
  const auto rows = solveChain(chain);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(std::isinf(rows[0].value));
  EXPECT_NE(rows[0].infinite.find("never holds"), std::string::npos) << rows[0].infinite;
  for (int k = 1; k <= 2; k++) {
    const double t = rows[k].stop, want = a / (a + b) * (1 - std::exp(-(a + b) * t));
    EXPECT_NEAR(rows[k].value, want, 1e-11) << t;
  }
}
