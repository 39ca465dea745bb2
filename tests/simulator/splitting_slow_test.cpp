// Splitting at about 1e-7 and 1e-10 against solve on a tandem queue, at
// about 1e-9 on an all-exponential copy of the compiled-in model, and the
// coverage of its 95% intervals over 200 seeds on the tandem queue at about
// 1e-4, and of importance sampling's on a 2-out-of-3 system at about 1e-7.

#include <gtest/gtest.h>

#include <cmath>

#include "SplittingRuns.h"

namespace {

using testsupport::TempDir;

TEST(SplittingSlow, TandemOverflowAt1e7And1e10IsInsideItsInterval) {
  for (const int experiment : {1, 2}) {
    TempDir dir;
    const double want = splitting::exact("tandem_overflow", experiment, dir);
    const auto got = splitting::split("tandem_overflow", experiment, {"-Vfull", "-S4", "-E400", "-r0.15", "-k10"}, dir);
    EXPECT_LE(std::fabs(got.value - want), got.halfWidth)
        << "experiment " << experiment << ": " << got.value << " +- " << got.halfWidth << ", solve " << want;
    EXPECT_LE(got.halfWidth, 0.15 * got.value);
  }
}

// The compiled-in model with its fixed delays made exponential, eight flash
// devices instead of three: failed by day 30 with probability about 1e-9.
TEST(SplittingSlow, ControllerWithEightDevicesAt1e9IsInsideItsInterval) {
  TempDir dir;
  const double want = splitting::exact("redundant_controller_flash_exp", 2, dir, {"-O", "s:num_devices:8"});
  ASSERT_GT(want, 1e-10);
  ASSERT_LT(want, 1e-8);
  const auto got = splitting::split("redundant_controller_flash_exp", 2,
                                    {"-O", "s:num_devices:8", "-t30", "-S2", "-E400", "-r0.15", "-k10"}, dir);
  EXPECT_LE(std::fabs(got.value - want), got.halfWidth) << got.value << " +- " << got.halfWidth << ", solve " << want;
  EXPECT_LE(got.halfWidth, 0.15 * got.value);
}

// Each seed a run of 100 repetitions of 100 paths a stage (fewer leave the
// skewed product of the stages' ratios too far from its normal limit): at
// least 180 of the 200 intervals hold the exact value (the binomial's 1%
// point for a true 95% coverage is 182).
TEST(SplittingSlow, CoverageOver200Seeds) {
  TempDir exactDir;
  const double want = splitting::exact("tandem_overflow", 0, exactDir);
  int covered = 0;
  for (int seed = 1; seed <= 200; seed++) {
    TempDir dir;
    const auto got = splitting::split(
        "tandem_overflow", 0, {"-Vfull", "-S" + std::to_string(seed), "-E100", "-R100", "-k100", "-r1e-9"}, dir);
    if (std::fabs(got.value - want) <= got.halfWidth) covered++;
  }
  EXPECT_GE(covered, 180) << covered << " of 200";
}

// Importance sampling's 95% intervals over 200 seeds on the 2-out-of-3
// system at about 1e-7, 2,000 replications each: at least 180 hold solve's
// value.
TEST(SplittingSlow, SamplingCoverageOver200Seeds) {
  TempDir exactDir;
  const double want = splitting::exact("two_of_three", 1, exactDir);
  int covered = 0;
  for (int seed = 1; seed <= 200; seed++) {
    TempDir dir;
    const auto got = splitting::split("two_of_three", 1, {"-S" + std::to_string(seed), "-R2000", "-k2000", "-r1e-9"},
                                      dir, "sampling");
    if (std::fabs(got.value - want) <= got.halfWidth) covered++;
  }
  EXPECT_GE(covered, 180) << covered << " of 200";
}

}  // namespace
