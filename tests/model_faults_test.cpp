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
  EXPECT_EQ(r.err, "Experiment zero_rate (-B0)\n"
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
