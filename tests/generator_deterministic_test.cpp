// The deterministic-delay procedure: negative entries for deterministic
// transitions, enabling states filed per delay, case probabilities on
// zero-time paths, the 8-blank header and the deterministic file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "GenError.h"
#include "GeneratorTestModels.h"
#include "TestSupport.h"

using gentest::deterministicHeader;
using gentest::FlatModel;
using gentest::TestModel;
using testing::ExitedWithCode;
using testsupport::TempDir;

TEST(GeneratorDeterministic, DeterministicTransitionIsANegativeProbability) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })->delay = 2.5;
  tm.add("x", DIST_EXPONENTIAL, 2, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
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
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 5; }, nullptr);
  tm.add("x", DIST_EXPONENTIAL, 0.25, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
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
  tm.add("x", DIST_EXPONENTIAL, 1, [f] { return f->mark[1] < 2; }, [f] { f->mark[1]++; });
  for (const char* n : {"d1", "d2"})
    tm.add(n, DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })->delay = 2.5;
  tm.add("d3", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0 && f->mark[1] == 1; },
         [f] { f->mark[0] = 1; })->delay = 4;
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
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })->delay = 1;
  auto* c1 = tm.makeCase("c1", DIST_INSTANTANEOUS, 0.5, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 2; });
  auto* c2 = tm.makeCase("c2", DIST_INSTANTANEOUS, 0.5, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 3; });
  tm.addCases("cases", {c1, c2});
  // A lone instantaneous action with its own group: case probability 1.
  tm.add("lone", DIST_INSTANTANEOUS, 0.25, [f] { return f->mark[0] == 3; }, [f] { f->mark[0] = 4; });
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
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  tm.add("x", DIST_EXPONENTIAL, 3, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, deterministicHeader(2) + "1\n2\n2.0000000000e+00\n0\n2\n0\n");
}

TEST(GeneratorDeterministic, AbsorbingStatePrintsTheExploredState) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 4; });
  testing::internal::CaptureStdout();
  tm.generate(dir.path(), 1);
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("\nThis following State is absorbing:\nflat: 4\n"), std::string::npos) << console;
}

TEST(GeneratorDeterministic, TraceNamesEnabledActionsNotCheckedOnes) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
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

TEST(GeneratorDeterministicDeath, ZeroTimeLimit) {
  TempDir dir;
  EXPECT_EXIT(
      {
        TestModel tm({0});
        FlatModel* f = &tm.flat();
        tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
        tm.add("spin", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] >= 1; },
               [f] { f->mark[0] = static_cast<short>(f->mark[0] % 2 + 1); });
        tm.generate(dir.path());
      },
      ExitedWithCode(1),
      "^Error:  Maximum number of zero time transition firings exceeded\\(23\\)\n"
      "Possible undetermined model\nPlease check the model and try again\n$");
}

TEST(GeneratorDeterministicDeath, NegativeRanksWouldLoseThePath) {
  TempDir dir;
  EXPECT_EXIT(
      {
        TestModel tm({0});
        FlatModel* f = &tm.flat();
        tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
        tm.add("n1", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 2; })->rank = -1;
        tm.add("n2", DIST_INSTANTANEOUS, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 3; })->rank = -1;
        tm.generate(dir.path());
      },
      ExitedWithCode(1), "instantaneous actions n1, n2 all have a negative rank");
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

TEST(GeneratorDeterministic, PathsLongerThanTwoHundredCharacters) {
  TempDir dir;
  const std::string longDir = dir.path() + "/" + std::string(250, 'x');
  ASSERT_EQ(std::system(("mkdir " + longDir).c_str()), 0);
  ASSERT_GT(longDir.size() + 6, 200u);
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add("d", DIST_DETERMINISTIC, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; })->delay = 3;
  auto out = tm.generate(longDir);
  ASSERT_TRUE(out.detWritten);
  EXPECT_EQ(out.det, "1\n3.0000000000e+00\n1\n0\n");
  EXPECT_EQ(out.arm, deterministicHeader(2) + "1\n2\n-1.0000000000e+00\n0\n2\n0\n");
}
