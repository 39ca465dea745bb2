// End-to-end runs of gen on the compiled-in model: the hand-derived state
// spaces of experiment 0 and of the run without flash devices, golden files of
// experiments 1 and 2, and runs with overrides of every global variable.
// tests/data/README.md explains how the expected files were obtained.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using testsupport::readFile;
using testsupport::runGen;
using testsupport::splitLines;
using testsupport::TempDir;

const char* const kName = "redundant_controller_flash";
const char* const kSuffixes[] = {".arm", ".var", ".det", ".pvtype"};

struct GenRun {
  testsupport::RunResult result;
  std::string prefix;  // <dir>/<name>
  std::string file(const char* suffix) const { return readFile(prefix + suffix); }
};

// Runs gen for experiment `e` (with an optional override string) in `dir`.
GenRun generate(const TempDir& dir, int e, const std::string& overrides = "") {
  std::vector<std::string> args = {"-P" + dir.path() + "/", std::string("-N") + kName, "-B" + std::to_string(e)};
  if (!overrides.empty()) args.insert(args.end(), {"-O", overrides});
  return GenRun{runGen(args, dir.path()), dir.file(kName)};
}

void expectFilesEqual(const GenRun& run, const std::string& expectedDir) {
  for (const char* suffix : kSuffixes) {
    SCOPED_TRACE(suffix);
    const std::string expected = readFile(std::string(GEN_TEST_DATA) + "/" + expectedDir + "/" + kName + suffix);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(run.file(suffix), expected);
  }
}

// Checks the layout of a state-space file and of the reward file that belongs
// to it; returns the number of states (0 after a failed check).
long checkStateSpaceFiles(const GenRun& run) {
  const std::vector<std::string> arm = splitLines(run.file(".arm"));
  if (arm.size() < 3 || arm[0] != "1") {
    ADD_FAILURE() << "bad header";
    return 0;
  }
  const long count = std::stol(arm[1]);
  EXPECT_EQ(arm[2], std::string(7 - arm[1].size(), ' '));
  size_t line = 3;
  for (long n = 1; n <= count; n++) {
    if (line >= arm.size() || std::stol(arm[line]) != n) {
      ADD_FAILURE() << "record " << n << " missing";
      return 0;
    }
    line++;
    long previous = 0;
    while (line < arm.size() && arm[line] != "0") {
      const long successor = std::stol(arm[line]);
      EXPECT_GT(successor, previous) << "record " << n;
      EXPECT_LE(successor, count) << "record " << n;
      EXPECT_NE(arm.at(line + 1).find('e'), std::string::npos) << "value of record " << n;
      previous = successor;
      line += 2;
    }
    line++;
  }
  EXPECT_EQ(line, arm.size());

  const std::vector<std::string> var = splitLines(run.file(".var"));
  EXPECT_EQ(var.size(), 1 + 3 * static_cast<size_t>(count));
  if (!var.empty()) {
    EXPECT_EQ(var[0], "reliability");
  }
  return count;
}

std::string generatedLine(long states) { return "Generated: " + std::to_string(states) + " states\n"; }

// ---------------------------------------------------------------------------

TEST(HandDerivedTest, ExperimentZero) {
  TempDir dir;
  const GenRun run = generate(dir, 0);
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  expectFilesEqual(run, "experiment0");
  EXPECT_NE(run.result.out.find(generatedLine(13)), std::string::npos) << run.result.out;
  EXPECT_NE(run.result.out.find("_$13$\n"), std::string::npos);
}

TEST(HandDerivedTest, NoFlashDevices) {
  TempDir dir;
  const GenRun run = generate(dir, 0, "s:num_devices:0");
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  expectFilesEqual(run, "no_devices");
  EXPECT_NE(run.result.out.find(generatedLine(4)), std::string::npos) << run.result.out;
}

class GoldenTest : public ::testing::TestWithParam<int> {};

TEST_P(GoldenTest, MatchesStoredFiles) {
  TempDir dir;
  const GenRun run = generate(dir, GetParam());
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  expectFilesEqual(run, "experiment" + std::to_string(GetParam()));
  EXPECT_EQ(checkStateSpaceFiles(run), GetParam() == 1 ? 21 : 29);
}

INSTANTIATE_TEST_SUITE_P(Experiments, GoldenTest, ::testing::Values(1, 2));

// GEN_THREADS sets the number of expanding threads; the files and the
// console text are the same for every number, also while another thread
// keeps a core busy.
TEST(GoldenTest, EveryThreadCountMatchesStoredFiles) {
  std::string console;
  for (bool busy : {false, true}) {
    const std::unique_ptr<testsupport::BusyLoop> loop(busy ? new testsupport::BusyLoop : nullptr);
    for (const char* threads : {"1", "2", "3", "8"}) {
      SCOPED_TRACE(std::string(threads) + (busy ? " threads, busy" : " threads"));
      TempDir dir;
      const testsupport::ScopedEnv env("GEN_THREADS", threads);
      const GenRun run = generate(dir, 2);
      ASSERT_EQ(run.result.status, 0) << run.result.err;
      expectFilesEqual(run, "experiment2");
      // The console names the output folder and the run's time; the rest is the same.
      std::string out = run.result.out;
      out.erase(out.find("Computation Time"));
      out.replace(out.find(dir.path()), dir.path().size(), "<dir>");
      if (console.empty()) console = out;
      EXPECT_EQ(out, console);
    }
  }
}

// ---------------------------------------------------------------------------
// Overrides: the model is built after the override, so the same state space
// can be reached from another experiment.

TEST(OverrideTest, TwoDevicesFromExperimentZeroIsExperimentOne) {
  TempDir dir;
  const GenRun run = generate(dir, 0, "s:num_devices:2");
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  expectFilesEqual(run, "experiment1");
}

TEST(OverrideTest, OneReplicaFromExperimentThreeIsExperimentZero) {
  TempDir dir;
  const GenRun run = generate(dir, 3, "s:num_replicas:1");
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  expectFilesEqual(run, "experiment0");
}

struct OverrideCase {
  const char* overrides;
  long states;
  const char* expectedText;  // a line that the named file must hold
  const char* suffix;
};

class EveryVariableTest : public ::testing::TestWithParam<OverrideCase> {};

TEST_P(EveryVariableTest, WritesAllFiles) {
  const OverrideCase& c = GetParam();
  TempDir dir;
  const GenRun run = generate(dir, 0, c.overrides);
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(run.file(".pvtype"), readFile(std::string(GEN_TEST_DATA) + "/experiment0/" + kName + ".pvtype"));
  EXPECT_EQ(checkStateSpaceFiles(run), c.states);
  EXPECT_NE(run.result.out.find(generatedLine(c.states)), std::string::npos) << run.result.out;
  EXPECT_NE(run.file(c.suffix).find(std::string("\n") + c.expectedText + "\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Overrides, EveryVariableTest,
                         ::testing::Values(
                             // 32/512 of a replica per upset: case 1 keeps 0.9375 of 1.5e-16.
                             OverrideCase{"f:flash_size:32", 13, "1.4062500000e-16", ".arm"},
                             // No replica: the flash never changes, only the RAM's 4 states remain.
                             OverrideCase{"s:num_replicas:0", 4, "3.4700000000e-03", ".det"},
                             OverrideCase{"f:power_cycle_rate:100", 13, "1.0000000000e+02", ".det"},
                             // Half the RAM per bit error: the cases split 6.012 evenly.
                             OverrideCase{"f:ram_size:256", 13, "3.0060022125e+00", ".arm"},
                             OverrideCase{"f:random_failure_rate:0.5", 13, "5.0000000000e-01", ".arm"},
                             OverrideCase{"f:flash_size:16:f:power_cycle_rate:7:f:ram_size:64:f:random_failure_rate:2",
                                          13, "7.0000000000e+00", ".det"}),
                         [](const ::testing::TestParamInfo<OverrideCase>& info) {
                           return "Case" + std::to_string(info.index);
                         });

TEST(OverrideTest, NegativeDeviceCountStopsTheRun) {
  TempDir dir;
  const GenRun run = generate(dir, 0, "s:num_devices:-1");
  EXPECT_EQ(run.result.status, 1);
  EXPECT_NE(run.result.err.find("Number of reps for flash_rep must be >= 0.\n"), std::string::npos) << run.result.err;
}

}  // namespace
