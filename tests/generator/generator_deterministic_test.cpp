// The deterministic-delay procedure: negative entries for deterministic
// transitions, enabling states filed per delay, case probabilities on
// zero-time paths, the 8-blank header and the deterministic file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "GenError.h"
#include "GeneratorTestModels.h"
#include "TestSupport.h"

using gentest::deterministicHeader;
using gentest::FlatModel;
using gentest::TestModel;
using testsupport::splitLines;
using testsupport::TempDir;

TEST(GeneratorDeterministic, DeterministicTransitionIsANegativeProbability) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
        "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })
      ->delay = 2.5;
  tm.add(
      "x", DIST_EXPONENTIAL, 2, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, deterministicHeader(3) + "1\n2\n-1.0000000000e+00\n3\n2.0000000000e+00\n0\n2\n0\n3\n0\n");
  EXPECT_EQ(out.arm.substr(0, 15), "1\n3\n      \n1\n2\n");
  ASSERT_TRUE(out.detWritten);
  EXPECT_EQ(out.det, "1\n2.5000000000e+00\n1\n0\n");
  EXPECT_EQ(out.var, "1\n2\n3\n");
}

TEST(GeneratorDeterministic, NeverEnabledDeterministicActionGivesAnEmptyList) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 5; }, nullptr);
  tm.add(
      "x", DIST_EXPONENTIAL, 0.25, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, deterministicHeader(2) + "1\n2\n2.5000000000e-01\n0\n2\n0\n");
  EXPECT_EQ(out.det, "0\n");
}

TEST(GeneratorDeterministic, EnablingStatesFiledPerDelay) {
  TempDir dir;
  TestModel tm({0, 0});
  FlatModel* f = &tm.flat();
  // Place 1 counts 0..2; d1 and d2 (delay 2.5) and d3 (delay 4) are enabled
  // while place 0 is 0, and all lead to place 0 = 1.
  tm.add(
      "x", DIST_EXPONENTIAL, 1, [f] { return f->mark[1] < 2; }, [f] { f->mark[1]++; });
  for (const char* n : {"d1", "d2"})
    tm.add(
          n, DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })
        ->delay = 2.5;
  tm.add(
        "d3", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0 && f->mark[1] == 1; }, [f] { f->mark[0] = 1; })
      ->delay = 4;
  auto out = tm.generate(dir.path());
  // States: 1 (0,0), 2 (0,1), 3 (1,0), 4 (0,2), 5 (1,1), 6 (1,2).
  EXPECT_EQ(out.arm, deterministicHeader(6) +
                         "1\n2\n1.0000000000e+00\n3\n-2.0000000000e+00\n0\n"
                         "2\n4\n1.0000000000e+00\n5\n-3.0000000000e+00\n0\n"
                         "3\n5\n1.0000000000e+00\n0\n"
                         "4\n6\n-2.0000000000e+00\n0\n"
                         "5\n6\n1.0000000000e+00\n0\n"
                         "6\n0\n");
  EXPECT_EQ(out.det, "2\n2.5000000000e+00\n1\n1\n2\n2\n4\n4\n0\n4.0000000000e+00\n2\n0\n");
}

TEST(GeneratorDeterministic, ZeroTimePathsUseCaseProbabilities) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
        "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })
      ->delay = 1;
  auto* c1 = tm.makeCase(
      "c1", DIST_INSTANTANEOUS, 0.5, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 2; });
  auto* c2 = tm.makeCase(
      "c2", DIST_INSTANTANEOUS, 0.5, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 3; });
  tm.addCases("cases", {c1, c2});
  // A lone instantaneous action with its own group: case probability 1.
  tm.add(
      "lone", DIST_INSTANTANEOUS, 0.25, [f] { return f->mark[0] == 3; }, [f] { f->mark[0] = 4; });
  tm.addReward("m0", [](const FlatModel& m) { return m.mark[0]; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, deterministicHeader(3) + "1\n2\n-5.0000000000e-01\n3\n-5.0000000000e-01\n0\n2\n0\n3\n0\n");
  EXPECT_EQ(out.var, "m0\n1\n0\n0\n2\n0\n2\n3\n0\n4\n");
  EXPECT_EQ(out.det, "1\n1.0000000000e+00\n1\n0\n");
}

TEST(GeneratorDeterministic, ValuesOfBothSignsToOneSuccessorAreSummed) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  tm.add(
      "x", DIST_EXPONENTIAL, 3, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, deterministicHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
}

TEST(GeneratorDeterministic, AbsorbingStatePrintsTheExploredState) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 4; });
  testing::internal::CaptureStdout();
  tm.generate(dir.path(), 1);
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("\nThis following State is absorbing:\nflat: 4\n"), std::string::npos) << console;
}

TEST(GeneratorDeterministic, TraceNamesEnabledActionsNotCheckedOnes) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto out = tm.generate(dir.path(), 0, 4);
  auto lines = testsupport::splitLines(out.trace);
  ASSERT_EQ(lines.size(), 7u) << out.trace;
  EXPECT_EQ(lines[0], "State Number = 1");
  EXPECT_EQ(lines[1], "Enabled: d");
  EXPECT_EQ(lines[2], "Firing Action: d");
  EXPECT_EQ(lines[3], "The rate to this state: -1.000000");
  EXPECT_EQ(lines[4], "State Number = 2");
  EXPECT_EQ(lines[5], "Generated: 2 states");
  EXPECT_EQ(out.trace.find("Checking Action"), std::string::npos);
}

TEST(GeneratorDeterministicFailure, ZeroTimeLimitAndNegativeRanks) {
  {
    TempDir dir;
    TestModel tm({0});
    FlatModel* f = &tm.flat();
    tm.add(
        "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
    tm.add(
        "spin", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] >= 1; },
        [f] { f->mark[0] = static_cast<short>(f->mark[0] % 2 + 1); });
    const GenError error = tm.failure(dir.path());
    EXPECT_STREQ(error.what(),
                 "Error:  Maximum number of zero time transition firings exceeded(23)\n"
                 "Possible undetermined model\nPlease check the model and try again");
    EXPECT_EQ(error.stream(), GenError::Stream::Err);
  }
  {
    TempDir dir;
    TestModel tm({0});
    FlatModel* f = &tm.flat();
    tm.add(
        "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
    tm.add(
          "n1", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 2; })
        ->rank = -1;
    tm.add(
          "n2", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 3; })
        ->rank = -1;
    const std::string message = tm.failure(dir.path()).what();
    EXPECT_NE(message.find("instantaneous actions n1, n2 all have a negative rank"), std::string::npos) << message;
  }
}

TEST(GeneratorDeterministic, UnopenableDeterministicFile) {
  TempDir dir;
  ASSERT_EQ(std::system(("mkdir " + dir.file("t.det")).c_str()), 0);
  TestModel tm({0});
  tm.add("d", DIST_DETERMINISTIC, 1, nullptr, nullptr);
  std::string error;
  try {
    tm.generate(dir.path());
  } catch (const GenError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, "Error: Could not open det file " + dir.path() + "/t.det: Is a directory");
}

// A delay that is not finite or not above 0 stops the run, naming the
// action, the value and the explored state.
TEST(GeneratorDeterministicFailure, DelaysThatCannotBeRight) {
  for (double bad : {0.0, -1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    TempDir dir;
    TestModel tm({0});
    FlatModel* f = &tm.flat();
    tm.add(
          "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })
        ->delay = bad;
    const std::string message = tm.failure(dir.path()).what();
    EXPECT_EQ(message.rfind("Error: The delay of action d is ", 0), 0u) << message;
    EXPECT_NE(message.find(" in state 1; a delay must be finite and above 0.\nPlease check the model"),
              std::string::npos)
        << message;
  }
}

// Instantaneous actions of different groups enabled together: each branch
// keeps its group's case probability, so the branches out of that vanishing
// state sum past 1. The files keep those values; a warning names the
// actions and the sum, once per set of actions.
TEST(GeneratorDeterministic, OverfullZeroTimeBranchingIsWarnedOnce) {
  TempDir dir;
  TestModel tm({0, 0});
  FlatModel* f = &tm.flat();
  // Place 1 counts to 2 (states 1, 2, 3 before the zero-time part); from
  // each, "d" leads to a vanishing state where i1 and i2 (own groups, case
  // probability 1 each) are enabled together.
  tm.add(
      "x", DIST_EXPONENTIAL, 1, [f] { return f->mark[0] == 0 && f->mark[1] < 2; }, [f] { f->mark[1]++; });
  tm.add(
      "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  tm.add(
      "i1", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 2; });
  tm.add(
      "i2", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 3; });
  testing::internal::CaptureStderr();
  auto out = tm.generate(dir.path());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "Warning: The zero-time branches of the instantaneous actions i1, i2 out of one vanishing state have "
            "probabilities summing to 2 (first in state 1); the values are written as they are.\n");
  // State 1's record: to 2 (x), and -1 to each of the two branch ends.
  EXPECT_EQ(splitLines(out.arm)[3], "1");
  EXPECT_NE(out.arm.find("1\n2\n1.0000000000e+00\n3\n-1.0000000000e+00\n4\n-1.0000000000e+00\n0\n"), std::string::npos)
      << out.arm;
}

TEST(GeneratorDeterministic, PathsLongerThanTwoHundredCharacters) {
  TempDir dir;
  const std::string longDir = dir.path() + "/" + std::string(250, 'x');
  ASSERT_EQ(std::system(("mkdir " + longDir).c_str()), 0);
  ASSERT_GT(longDir.size() + 6, 200u);
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
        "d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })
      ->delay = 3;
  auto out = tm.generate(longDir);
  ASSERT_TRUE(out.detWritten);
  EXPECT_EQ(out.det, "1\n3.0000000000e+00\n1\n0\n");
  EXPECT_EQ(out.arm, deterministicHeader(2) + "1\n2\n-1.0000000000e+00\n0\n2\n0\n");
}
