// Splitting at about 1e-7 and 1e-10 against solve, and the coverage of its
// 95% intervals over 200 seeds on the tandem queue at about 1e-4.

#include <gtest/gtest.h>

#include <cmath>

#include "SplittingRuns.h"

namespace {

using testsupport::TempDir;

TEST(SplittingSlow, TandemOverflowAt1e7And1e10IsInsideItsInterval) {
  for (const int experiment : {1, 2}) {
    TempDir dir;
    const double want = splitting::exact("tandem_overflow", experiment, dir);
    const auto got = splitting::split("tandem_overflow", experiment, {"-S4", "-E400", "-r0.15", "-k10"}, dir);
    EXPECT_LE(std::fabs(got.value - want), got.halfWidth)
        << "experiment " << experiment << ": " << got.value << " +- " << got.halfWidth << ", solve " << want;
    EXPECT_LE(got.halfWidth, 0.15 * got.value);
  }
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
    const auto got =
        splitting::split("tandem_overflow", 0, {"-S" + std::to_string(seed), "-E100", "-R100", "-k100", "-r1e-9"}, dir);
    if (std::fabs(got.value - want) <= got.halfWidth) covered++;
  }
  EXPECT_GE(covered, 180) << covered << " of 200";
}

}  // namespace
