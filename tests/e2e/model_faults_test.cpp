// Runs the gen built from tests/models/faults.toml: a fault of the model is
// reported, not modelled.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

RunResult runFaults(const TempDir& dir, const std::string& experiment) {
  return testsupport::runProgram(std::string(GEN_MODELS_DIR) + "/faults/gen",
                                 {"-P" + dir.path() + "/", "-Nfaults", "-B" + experiment}, dir.path());
}

}  // namespace

TEST(ModelFaults, AnEnabledZeroRateIsWarnedAboutOnceAndMakesNoTransition) {
  TempDir dir;
  const RunResult r = runFaults(dir, "0");
  ASSERT_EQ(r.status, 0) << r.err;
  // Enabled in both states, named once.
  EXPECT_EQ(r.err,
            "Experiment zero_rate (-B0)\n"
            "Warning: Activity arrive is enabled with rate 0 (first in state 1); a zero rate makes no "
            "transition.\n");
  EXPECT_NE(r.out.find("Generated: 2 states\n"), std::string::npos) << r.out;
  EXPECT_EQ(testsupport::readFile(dir.file("faults.arm")).find("0.0000000000e+00"), std::string::npos);
}

TEST(ModelFaults, AMarkingOutsideItsBoundsStopsTheRunNamingPlaceValueActivityAndState) {
  TempDir dir;
  const RunResult r = runFaults(dir, "1");
  EXPECT_EQ(r.status, 1);
  // State 3 holds no customer; serving one there is the fault.
  EXPECT_EQ(r.err,
            "Experiment careless (-B1)\n"
            "Error: Firing activity 'serve' of atomic model 'queue' leaves place 'waiting' at -1, outside its "
            "bounds (min 0, max 2), while exploring state 3.\nPlease check the model and try again\n");
  EXPECT_FALSE(testsupport::fileExists(dir.file("faults.arm")));
}

// Weights of 0 on a zero-time path: the message names the model file, the
// state the path started from and the markings where it was lost, and a lone
// activity as the only one enabled.
TEST(ModelFaults, ZeroWeightsNameTheModelFileAndTheMarkings) {
  const std::string model = std::string(GEN_MODELS_DIR) + "/zero_weight/gen";
  std::string tests = GEN_TEST_DATA;  // <source>/tests/data
  tests.erase(tests.rfind("/data"));
  const std::string where = "; in model file " + tests +
                            "/models/zero_weight.toml, in a vanishing state reached from state 1, with markings "
                            "toggle.ready = 1, toggle.done = 0.\nPlease check the model and try again\n";
  TempDir dir;
  const RunResult lone = testsupport::runProgram(model, {"-P" + dir.path() + "/", "-Nz", "-B0"}, dir.path());
  EXPECT_EQ(lone.status, 1);
  EXPECT_EQ(lone.err,
            "Experiment lone (-B0)\nError: The weight of instantaneous action finish, the only one "
            "enabled, is 0, so it cannot fire" +
                where);
  const RunResult pair = testsupport::runProgram(model, {"-P" + dir.path() + "/", "-Nz", "-B1"}, dir.path());
  EXPECT_EQ(pair.status, 1);
  EXPECT_EQ(pair.err,
            "Experiment pair (-B1)\nError: The weights of the competing instantaneous actions finish, "
            "other sum to 0, so their probabilities are undefined" +
                where);
}

// The phases of Erlang activities would not follow the replicas of a Rep.
TEST(ModelFaults, AnErlangActivityInARepIsRefused) {
  TempDir dir;
  const RunResult r = testsupport::runProgram(std::string(GEN_MODELS_DIR) + "/erlang_rep/gen",
                                              {"-P" + dir.path() + "/", "-Nr", "-B0"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error: The Erlang activity repair is inside a Rep of 2 replicas. "), std::string::npos)
      << r.err;
  EXPECT_FALSE(testsupport::fileExists(dir.file("r.arm")));
}
