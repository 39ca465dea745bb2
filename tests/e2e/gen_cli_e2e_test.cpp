// Runs the built gen and checks what its command line does: console output,
// error stream and exit status. Runs that get past the command line are
// checked up to the global-value and override lines only, so these tests hold
// whether or not the generation itself is part of the build.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using testsupport::runGen;
using testsupport::RunResult;
using testsupport::TempDir;

// Exit status of a run whose command line was accepted: the run goes on to
// generate the state space and ends normally.
constexpr int kStatusAfterParse = 0;

// Experiments 3 to 5 (two replicas) have very large state spaces. The values
// are printed before an override is applied, so runs that check those
// experiments' output add this override to keep the generation small.
const std::string kSmallModel = "s:num_replicas:1";

// A runaway generation must not fill the disk.
constexpr long kFileSizeLimit = 16L * 1024 * 1024;

const std::string kUsage =
    "usage:  gen -Pexperimentfilepath -Nexperimentname -hhash_value -Bexperimentnumber -Ffiletype -edb_entity "
    "-sdb_macserver  -ltrace_level[0-4] -tTraceFilename\n"
    "Example:  gen -P. -Nexp1 -B0\n";

// The study's header line, which numbers the experiments from 1.
std::string header(int experimentShown) {
  return "The Global Variable values for experiment Experiment " + std::to_string(experimentShown) + " are:\n";
}

const std::string kExperiment0 = header(1) +
                                 "flash_size\tfloat\t64\n"
                                 "num_devices\tshort\t1\n"
                                 "num_replicas\tshort\t1\n"
                                 "power_cycle_rate\tfloat\t365\n"
                                 "ram_size\tfloat\t128\n"
                                 "random_failure_rate\tfloat\t0.005\n";

const std::string kExperiment5 = header(6) +
                                 "flash_size\tfloat\t64\n"
                                 "num_devices\tshort\t3\n"
                                 "num_replicas\tshort\t2\n"
                                 "power_cycle_rate\tfloat\t365\n"
                                 "ram_size\tfloat\t128\n"
                                 "random_failure_rate\tfloat\t0.005\n";

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }
bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool isEmptyDir(const std::string& dir) { return std::filesystem::is_empty(dir); }

class GenCli : public ::testing::Test {
 protected:
  // Runs gen in the work directory.
  RunResult run(const std::vector<std::string>& args) { return runGen(args, dir.path(), kFileSizeLimit); }
  std::string path() const { return "-P" + dir.path() + "/"; }
  std::string pathEcho() const { return "path=[" + dir.path() + "/]\n"; }

  // A run rejected before anything was created: status 1, no global values,
  // nothing written.
  void expectRejected(const RunResult& r, const std::string& message) {
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, message)) << r.err;
    EXPECT_FALSE(contains(r.out, "The Global Variable values")) << r.out;
    EXPECT_TRUE(isEmptyDir(dir.path()));
  }

  TempDir dir;
};

// ---- Usage text ------------------------------------------------------------------------

TEST_F(GenCli, TooFewWordsPrintTheUsageTextAndSucceed) {
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {path()}, {path(), "-Nx"}}) {
    RunResult r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(isEmptyDir(dir.path()));
}

// ---- Accepted command lines ------------------------------------------------------------

// Standard output is the whole console text of experiment 0, nothing added;
// only the processor time varies.
TEST_F(GenCli, ExperimentZeroPrintsItsGlobalValues) {
  RunResult r = run({path(), "-Nrcf", "-B0"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  const std::string time = "Computation Time (user + system): ";
  ASSERT_TRUE(contains(r.out, time)) << r.out;
  EXPECT_EQ(r.out.substr(0, r.out.find(time)),
            pathEcho() + kExperiment0 + "SSG: SetTraceLevel: 0\n_$13$\nGenerated: 13 states\n");
  EXPECT_TRUE(std::regex_match(r.out.substr(r.out.find(time) + time.size()),
                               std::regex("[0-9]\\.[0-9]{6}e[-+][0-9]{2} seconds\n")))
      << r.out;
  // Standard error stays empty: the experiment's line is for model files.
  EXPECT_EQ(r.err, "");
}

TEST_F(GenCli, ExperimentFivePrintsItsGlobalValues) {
  RunResult r = run({path(), "-Nrcf", "-B5", "-O" + kSmallModel});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + "OverrideString is " + kSmallModel + "\n" + kExperiment5 +
                                    "Overriding global variables in ssg\n"))
      << r.out;
}

TEST_F(GenCli, CompleteRunSetsTheTraceLevelAndWritesFilesNamedByPathAndName) {
  RunResult r = run({path(), "-Nrcf", "-B0", "-l1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + "TraceLevel=1\n" + kExperiment0 + "SSG: SetTraceLevel: 1\n")) << r.out;
  for (const char* suffix : {".pvtype", ".arm", ".var"})
    EXPECT_TRUE(testsupport::fileExists(dir.file(std::string("rcf") + suffix))) << suffix;
}

TEST_F(GenCli, SeparateValuesWorkLikeAttachedOnes) {
  RunResult r = run({"-P", dir.path() + "/", "-N", "rcf", "-B", "5", "-O", kSmallModel});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + "OverrideString is " + kSmallModel + "\n" + kExperiment5)) << r.out;
}

TEST_F(GenCli, EchoLinesFollowTheOptionOrder) {
  RunResult r = run(
      {"-l", "2", path(), "-Nrcf", "-h", "0.7", "-F", "2", "-e", "entity", "-ttrace.txt", "-B3", "-O", kSmallModel});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, "TraceLevel=2\n" + pathEcho() + "OverrideString is " + kSmallModel + "\n" + header(4)))
      << r.out;
}

TEST_F(GenCli, AbsorbFlagLeavesAFollowingOptionAlone) {
  RunResult r = run({path(), "-Nrcf", "-a", "-B", "2"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + header(3))) << r.out;
}

TEST_F(GenCli, AbsorbFlagConsumesAFollowingWord) {
  RunResult r = run({path(), "-Nrcf", "-a", "2"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + header(1))) << r.out;
}

TEST_F(GenCli, UnparsableLoadFactorIsAccepted) {
  RunResult r = run({path(), "-Nrcf", "-h", "abc"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + kExperiment0)) << r.out;
}

TEST_F(GenCli, UnknownLetterWithSeparateValueNamesTheValue) {
  RunResult r = run({"-x", "foo", path(), "-Nrcf"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, "ERROR: unknown argument: foo\n" + pathEcho() + kExperiment0)) << r.out;
}

TEST_F(GenCli, UnknownLetterWithAttachedValueNamesTheWord) {
  RunResult r = run({"-xfoo", path(), "-Nrcf", "-", "-p"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, "ERROR: unknown argument: -xfoo\n" + pathEcho() +
                                    "ERROR: unknown argument: -\nERROR: unknown argument: -p\n" + kExperiment0))
      << r.out;
}

// ---- Override strings -------------------------------------------------------------------

TEST_F(GenCli, OverrideIsEchoedAndAppliedAfterThePrintedValues) {
  RunResult r = run({path(), "-Nrcf", "-O", "f:flash_size:32:s:num_devices:2"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + "OverrideString is f:flash_size:32:s:num_devices:2\n" + kExperiment0 +
                                    "Overriding global variables in ssg\n"))
      << r.out;
  EXPECT_FALSE(contains(r.err, "overrideGVs")) << r.err;
}

TEST_F(GenCli, OverrideWithTooFewFieldsEndsWithoutNewline) {
  RunResult r = run({path(), "-Nrcf", "-Of:flash_size"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + "OverrideString is f:flash_size\n" + kExperiment0 +
                                    "Not enough double override tokensOverriding global variables in ssg\n"))
      << r.out;
}

TEST_F(GenCli, OverrideWithUnknownTypeLetterSkipsThatEntry) {
  RunResult r = run({path(), "-Nrcf", "-Ox:flash_size:1:f:ram_size:64"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + "OverrideString is x:flash_size:1:f:ram_size:64\n" + kExperiment0 +
                                    "Type x not recognized\nOverriding global variables in ssg\n"))
      << r.out;
}

TEST_F(GenCli, OverrideProblemsAreReportedAndTheRunGoesOn) {
  RunResult r = run({path(), "-Nrcf", "-Of:nosuch:1:f:num_devices:2.5:f:ram_size:abc:f:ram_size:64"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(contains(r.out, kExperiment0 + "Overriding global variables in ssg\n")) << r.out;
  EXPECT_TRUE(contains(r.err,
                       "!! redundant_controller_flash_studyRangeStudy::OverrideGVValue: Global Variable nosuch does "
                       "not exist.\n"))
      << r.err;
  EXPECT_TRUE(contains(r.err,
                       "!! BaseStudyClass::overrideGVs: num_devices is a short variable and takes type "
                       "letter s, not f; entry f:num_devices:2.5 ignored.\n"))
      << r.err;
  EXPECT_TRUE(contains(r.err,
                       "!! BaseStudyClass::overrideGVs: the value abc is not a valid float; entry "
                       "f:ram_size:abc ignored.\n"))
      << r.err;
}

// ---- Bad command lines --------------------------------------------------------------------

TEST_F(GenCli, ExperimentNumberAboveTheStudyIsRejected) {
  RunResult r = run({path(), "-Nrcf", "-B", "9"});
  expectRejected(r, "gen: experiment number 9 is out of range: valid experiment numbers are 0 to 5\n");
}

TEST_F(GenCli, NegativeExperimentNumberIsRejected) {
  RunResult r = run({path(), "-Nrcf", "-B-1"});
  expectRejected(r, "gen: experiment number -1 is out of range: valid experiment numbers are 0 to 5\n");
}

TEST_F(GenCli, ExperimentNumberWithoutDigitsSelectsExperimentZero) {
  RunResult r = run({path(), "-Nrcf", "-B", "x"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_TRUE(startsWith(r.out, pathEcho() + kExperiment0)) << r.out;
}

TEST_F(GenCli, MissingPathIsRejectedWithTheUsageText) {
  RunResult r = run({"-Nrcf", "-B0", "-a"});
  expectRejected(r, "gen: option -P is missing: it gives the experiment directory path\n" + kUsage);
}

TEST_F(GenCli, MissingNameIsRejectedWithTheUsageText) {
  RunResult r = run({path(), "-B0", "-a"});
  expectRejected(r, "gen: option -N is missing: it gives the experiment name\n" + kUsage);
}

TEST_F(GenCli, OptionAtTheEndWithoutValueIsRejected) {
  RunResult r = run({path(), "-Nrcf", "-O"});
  expectRejected(r, "gen: option -O is missing its value (the override string)\n" + kUsage);
}

TEST_F(GenCli, OptionBeforeAnotherOptionWithoutValueIsRejected) {
  RunResult r = run({path(), "-N", "-B0"});
  expectRejected(r, "gen: option -N is missing its value (the experiment name)\n" + kUsage);
}

TEST_F(GenCli, LoadFactorOfOneOrMoreIsRejected) {
  expectRejected(run({path(), "-Nrcf", "-h", "1"}),
                 "gen: hash table load factor 1 is out of range: it must be at least 0.01 and less than 1\n");
  expectRejected(run({path(), "-Nrcf", "-h", "7.5"}), "gen: hash table load factor 7.5 is out of range");
}

TEST_F(GenCli, LoadFactorBelowOneHundredthOrNotANumberIsRejected) {
  // A tiny load factor would ask for a table larger than any machine: refused
  // before a file exists.
  expectRejected(run({path(), "-Nrcf", "-h1e-7"}), "gen: hash table load factor 1e-7 is out of range");
  expectRejected(run({path(), "-Nrcf", "-h0.0099"}), "gen: hash table load factor 0.0099 is out of range");
  expectRejected(run({path(), "-Nrcf", "-h0"}), "gen: hash table load factor 0 is out of range");
  expectRejected(run({path(), "-Nrcf", "-h-0.25"}), "gen: hash table load factor -0.25 is out of range");
  expectRejected(run({path(), "-Nrcf", "-h", "nan"}), "gen: hash table load factor nan is out of range");
}

TEST_F(GenCli, AcceptedRunsReportNoCommandLineProblem) {
  RunResult r = run({path(), "-Nrcf", "-B2", "-h0.7"});
  EXPECT_EQ(r.status, kStatusAfterParse) << r.err;
  EXPECT_FALSE(contains(r.err, "gen: option")) << r.err;
  EXPECT_FALSE(contains(r.err, "out of range")) << r.err;
  EXPECT_FALSE(contains(r.err, "usage:")) << r.err;
}

}  // namespace

// Flash devices in the same state are fired once and the rest replayed,
// except while tracing, which fires every one: the files, deterministic
// delays included, must not tell the two apart.
TEST(GenReplicas, ReplayedDevicesWriteTheFilesOfFiredOnes) {
  TempDir replayed, fired;
  const std::vector<std::string> args = {"-P./", "-Nw", "-B0", "-O", "s:num_devices:40"};
  std::vector<std::string> traced = args;
  traced.insert(traced.end(), {"-l1", "-ttrace.txt"});
  ASSERT_EQ(runGen(args, replayed.path(), kFileSizeLimit).status, 0);
  ASSERT_EQ(runGen(traced, fired.path(), kFileSizeLimit).status, 0);
  for (const char* suffix : {".arm", ".var", ".det", ".pvtype"})
    EXPECT_EQ(testsupport::readFile(replayed.file(std::string("w") + suffix)),
              testsupport::readFile(fired.file(std::string("w") + suffix)))
        << suffix;
}
