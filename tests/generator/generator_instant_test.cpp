// Zero-time resolution in the normal procedure: lone and competing
// instantaneous actions, ranks, the 23-firing limit, and the paths that
// would lose probability mass.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "GeneratorTestModels.h"
#include "TestSupport.h"

using gentest::FlatModel;
using gentest::normalHeader;
using gentest::TestModel;
using testsupport::TempDir;

namespace {

// Place 0 starts at 0; "t" (rate 2) sets it to 1, where the instantaneous
// actions of the test take over. Reward "m0" shows the marking of each state.
void addTimedStart(TestModel& tm) {
  FlatModel* f = &tm.flat();
  tm.add(
      "t", DIST_EXPONENTIAL, 2.0, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  tm.addReward("m0", [](const FlatModel& m) { return m.mark[0]; });
}

gentest::TestActivity* addInstant(TestModel& tm, const char* name, double weight, short from, short to) {
  FlatModel* f = &tm.flat();
  return tm.add(
      name, DIST_INSTANTANEOUS, weight, [f, from] { return f->mark[0] == from; }, [f, to] { f->mark[0] = to; });
}

}  // namespace

TEST(GeneratorInstant, TimedFiringWithoutInstantActionRecordsDirectly) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "i", 1.0, 5, 6);  // never enabled
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n1\n");
}

TEST(GeneratorInstant, LoneInstantActionFiresWithProbabilityOne) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "i", 0.5, 1, 2);
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
  // The vanishing state 1 is never numbered: state 2 has marking 2.
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n2\n");
}

TEST(GeneratorInstant, CompetingActionsSplitTheRateByWeight) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "i1", 1.0, 1, 2);
  addInstant(tm, "i3", 3.0, 1, 3);
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(3) + "1\n2\n5.0000000000e-01\n3\n1.5000000000e+00\n0\n2\n0\n3\n0\n");
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n2\n3\n0\n3\n");
}

TEST(GeneratorInstant, CompetingActionsToTheSameStateAreSummed) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "i1", 1.0, 1, 2);
  addInstant(tm, "i3", 3.0, 1, 2);
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
}

TEST(GeneratorInstant, OnlyTheHighestRankFires) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "low", 1.0, 1, 2)->rank = 1;
  addInstant(tm, "high", 1.0, 1, 3)->rank = 2;
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n3\n");
}

TEST(GeneratorInstant, BranchesMultiplyAlongThePath) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "a", 1.0, 1, 2);  // 1/2
  addInstant(tm, "b", 1.0, 1, 4);  // 1/2
  addInstant(tm, "c", 1.0, 2, 5);  // 1/2 * 1/4
  addInstant(tm, "d", 3.0, 2, 6);  // 1/2 * 3/4
  auto out = tm.generate(dir.path());
  // Discovery order: 5 (via a, c), 6 (via a, d), 4 (via b).
  EXPECT_EQ(out.arm, normalHeader(4) +
                         "1\n2\n2.5000000000e-01\n3\n7.5000000000e-01\n4\n1.0000000000e+00\n0\n"
                         "2\n0\n3\n0\n4\n0\n");
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n5\n3\n0\n6\n4\n0\n4\n");
}

TEST(GeneratorInstant, PathOfTwentyThreeFiringsIsAccepted) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  FlatModel* f = &tm.flat();
  tm.add(
      "step", DIST_INSTANTANEOUS, 1.0, [f] { return f->mark[0] >= 1 && f->mark[0] <= 23; }, [f] { f->mark[0]++; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n24\n");
}

TEST(GeneratorInstantFailure, ZeroTimeLimit) {
  const std::string limit =
      "Error:  Maximum number of zero time transition recursive firings exceeded(23)\n"
      "Possible undetermined model.\nPlease check the model and try again";
  {
    TempDir dir;
    TestModel tm({0});
    addTimedStart(tm);
    FlatModel* f = &tm.flat();
    tm.add(
        "step", DIST_INSTANTANEOUS, 1.0, [f] { return f->mark[0] >= 1 && f->mark[0] <= 24; }, [f] { f->mark[0]++; });
    const GenError error = tm.failure(dir.path());
    EXPECT_EQ(error.what(), limit);
    EXPECT_EQ(error.stream(), GenError::Stream::Err);
    EXPECT_EQ(error.status(), 1);
  }
  {
    TempDir dir;
    TestModel tm({0});
    addTimedStart(tm);
    addInstant(tm, "there", 1.0, 1, 2);
    addInstant(tm, "back", 1.0, 2, 1);
    EXPECT_EQ(tm.failure(dir.path()).what(), limit);
  }
}

TEST(GeneratorInstantFailure, InstantActionEnabledInTheInitialState) {
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "now", 1.0, 0, 1);
  const GenError error = tm.failure(dir.path());
  EXPECT_STREQ(error.what(),
               "Error: The initial state is not stable, i.e., at least one instantaneous action is enabled in "
               "that state.");
  EXPECT_EQ(error.stream(), GenError::Stream::Out);
}

TEST(GeneratorInstantFailure, PathsThatWouldLoseProbability) {
  {
    TempDir dir;
    TestModel tm({0});
    addTimedStart(tm);
    addInstant(tm, "n1", 1.0, 1, 2)->rank = -1;
    addInstant(tm, "n2", 1.0, 1, 3)->rank = -2;
    EXPECT_STREQ(tm.failure(dir.path()).what(),
                 "Error: No instantaneous action can fire: the enabled instantaneous actions n1, n2 all have a "
                 "negative rank.\nPlease check the model and try again");
  }
  {
    TempDir dir;
    TestModel tm({0});
    addTimedStart(tm);
    addInstant(tm, "w1", 0.0, 1, 2);
    addInstant(tm, "w2", 0.0, 1, 3);
    EXPECT_STREQ(tm.failure(dir.path()).what(),
                 "Error: The weights of the competing instantaneous actions w1, w2 sum to 0, so their "
                 "probabilities are undefined; in a vanishing state reached from state 1.\nPlease check the model "
                 "and try again");
  }
}

// A competing weight that cannot be right stops the run, and so does a lone
// action's: its weight does not change its probability (1), but a weight of
// 0 or NaN is as wrong alone as beside another action.
TEST(GeneratorInstantFailure, CompetingWeightsAreChecked) {
  for (double bad : {-1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    TempDir dir;
    TestModel tm({0});
    addTimedStart(tm);
    addInstant(tm, "fine", 1.0, 1, 2);
    addInstant(tm, "odd", bad, 1, 3);
    const std::string message = tm.failure(dir.path()).what();
    EXPECT_EQ(message.rfind("Error: The weight of action odd is ", 0), 0u) << message;
    EXPECT_NE(message.find(" in state 1; an instantaneous weight must be finite and not negative."), std::string::npos)
        << message;
  }
  for (double bad : {-1.0, std::numeric_limits<double>::quiet_NaN()}) {
    TempDir dir;
    TestModel tm({0});
    addTimedStart(tm);
    addInstant(tm, "lone", bad, 1, 2);
    const std::string message = tm.failure(dir.path()).what();
    EXPECT_EQ(message.rfind("Error: The weight of action lone is ", 0), 0u) << message;
  }
  TempDir dir;
  TestModel tm({0});
  addTimedStart(tm);
  addInstant(tm, "lone", 0.0, 1, 2);
  EXPECT_NE(std::string(tm.failure(dir.path()).what())
                .find("The weight of instantaneous action lone, the only one enabled, is 0, so it cannot fire"),
            std::string::npos);
}
