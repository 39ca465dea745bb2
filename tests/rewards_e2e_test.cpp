// Reward variables end to end: the gens built from tests/models/ and the
// library's model files run in a temporary folder; the .pvtype they write
// gives each variable's kind and times.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

using testsupport::TempDir;

namespace {

// Runs the gen of models/<stem> with the further arguments; files go to the
// folder as <name>.*; experiment 0 unless the arguments say otherwise.
testsupport::RunResult runModel(const TempDir& dir, const std::string& stem, const std::string& name,
                                std::vector<std::string> args = {}) {
  const std::string gen = std::string(GEN_MODELS_DIR) + "/" + stem + "/gen";
  std::vector<std::string> words = {"-P" + dir.path() + "/", "-N" + name, "-B0"};
  words.insert(words.end(), args.begin(), args.end());
  return testsupport::runProgram(gen, words, dir.path());
}

}  // namespace

// Each kind by its number, with its intervals as Start/Stop pairs (an instant
// as Start = Stop) and no pairs at all for steady state.
TEST(RewardKinds, PvtypeGivesEachKindItsNumberAndTimes) {
  TempDir dir;
  const auto r = runModel(dir, "impulse_branches", "k");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::readFile(dir.file("k.pvtype")),
            "Version:1\nNumPV:4\n"
            "Name:on_inc\nType:0\nNumTimes:2\nStart:1\nStop:1\nStart:2.5\nStop:2.5\n"
            "Name:on_inc2\nType:1\nNumTimes:2\nStart:0\nStop:1\nStart:1e-07\nStop:0.5\n"
            "Name:n_averaged\nType:2\nNumTimes:1\nStart:0\nStop:2\n"
            "Name:n_steady\nType:3\nNumTimes:0\n");
}
