// Splitting against solve on a tandem queue whose second buffer overflows
// (about 1e-4, with the derived importance and a written one), against
// plain replications on a queue with a fixed delay, the same numbers on one
// and two threads, and the models it refuses with a reason; importance sampling against solve on the models
// splitting cannot divide: a 2-out-of-3 system and a highly reliable system,
// each at about 1e-4, 1e-7 and 1e-10.

#include <gtest/gtest.h>

#include <cmath>

#include "SplittingRuns.h"

namespace {

using testsupport::readFile;
using testsupport::runProgram;
using testsupport::ScopedEnv;
using testsupport::TempDir;

TEST(Splitting, TandemOverflowAt1e4IsInsideItsInterval) {
  TempDir dir;
  const double want = splitting::exact("tandem_overflow", 0, dir);
  ASSERT_GT(want, 5e-5);
  ASSERT_LT(want, 2e-4);
  const auto got = splitting::split("tandem_overflow", 0, {"-Vfull", "-S3", "-E200", "-r0.25", "-k10"}, dir);
  EXPECT_LE(std::fabs(got.value - want), got.halfWidth) << got.value << " +- " << got.halfWidth << ", solve " << want;
  EXPECT_LE(got.halfWidth, 0.25 * got.value);
  EXPECT_EQ(got.method.rfind("\"splitting: ", 0), 0u) << got.method;
}

// The importance written in the model file instead of the derived one: a
// worse guide, the same answer.
TEST(Splitting, WrittenImportanceAt1e4IsInsideItsInterval) {
  TempDir dir;
  const double want = splitting::exact("tandem_overflow", 0, dir);
  const auto got =
      splitting::split("tandem_overflow", 0, {"-Vfull", "-Ifull=queued", "-S4", "-E200", "-r0.25", "-k10"}, dir);
  EXPECT_LE(std::fabs(got.value - want), got.halfWidth) << got.value << " +- " << got.halfWidth << ", solve " << want;
  EXPECT_NE(got.method.find("importance over variable queued"), std::string::npos) << got.method;
}

// A fixed delay running when a path is saved keeps its completion time on
// every restart: splitting and plain replications of a queue with a fixed
// service time agree (their difference within its 95% half-width).
TEST(Splitting, FixedDelaysAgreeWithPlainReplications) {
  TempDir dir;
  const auto split = splitting::split("md1_overflow", 0, {"-S2", "-E300", "-r0.1", "-k10"}, dir);
  const auto plain = splitting::split("md1_overflow", 0, {"-S2", "-r0.15", "-k10000"}, dir, "plain");
  EXPECT_LE(std::fabs(split.value - plain.value), std::hypot(split.halfWidth, plain.halfWidth))
      << "splitting " << split.value << " +- " << split.halfWidth << ", plain " << plain.value << " +- "
      << plain.halfWidth;
  EXPECT_GT(split.value, 1e-4);
}

TEST(Splitting, SameNumbersOnOneAndTwoThreads) {
  std::string csv[2];
  for (int threads = 1; threads <= 2; threads++) {
    ScopedEnv env("GEN_THREADS", std::to_string(threads));
    TempDir dir;
    splitting::split("tandem_overflow", 0, {"-Vfull", "-S9", "-E100", "-R12", "-k4"}, dir);
    csv[threads - 1] = readFile(dir.file("split.sim.csv"));
  }
  EXPECT_FALSE(csv[0].empty());
  EXPECT_EQ(csv[0], csv[1]);
}

// The 2-out-of-3 system fails in one jump from a state every path visits:
// there is no level between, and the run says so instead of guessing.
TEST(Splitting, RefusesWhatItCannotSplit) {
  TempDir dir;
  const auto run = runProgram(splitting::program("two_of_three", "simulate"),
                              {"-P" + dir.path() + "/", "-Nx", "-B2", "-Xsplit", "-E50"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("one jump"), std::string::npos) << run.err;
  const auto steady = runProgram(splitting::program("md1k", "simulate"),
                                 {"-P" + dir.path() + "/", "-Nx", "-Xsplit", "-Vloss"}, dir.path());
  EXPECT_EQ(steady.status, 1);
  EXPECT_NE(steady.err.find("steady-state"), std::string::npos) << steady.err;
}

TEST(ImportanceSampling, OneJumpFailuresAreInsideTheirIntervals) {
  for (const char* stem : {"two_of_three", "reliable_system"}) {
    for (const int experiment : {0, 1, 2}) {
      TempDir dir;
      const double want = splitting::exact(stem, experiment, dir);
      const auto got = splitting::split(stem, experiment, {"-S5", "-r0.1", "-k1000"}, dir, "sampling");
      EXPECT_LE(std::fabs(got.value - want), got.halfWidth)
          << stem << " " << experiment << ": " << got.value << " +- " << got.halfWidth << ", solve " << want;
      EXPECT_LE(got.halfWidth, 0.1 * got.value) << stem << " " << experiment;
      EXPECT_NE(got.method.find("importance sampling: "), std::string::npos) << got.method;
    }
  }
}

}  // namespace
