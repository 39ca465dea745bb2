// Runs the gens built from the model files of models/ (one per file, see
// cmake/GenModel.cmake) and checks their state counts against the published
// or derived figures, and that -B takes exactly each model's own experiments.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

using testsupport::TempDir;

namespace {

struct ModelRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs models/<stem>'s gen with -N<name> and the further arguments in a fresh
// folder that the caller keeps.
ModelRun runModel(const TempDir& dir, const std::string& stem, const std::string& name, const std::string& args) {
  const std::string gen = std::string(GEN_MODELS_DIR) + "/" + stem + "/gen";
  const std::string command = "cd '" + dir.path() + "' && '" + gen + "' -P'" + dir.path() + "/' -N" + name + " " +
                              args + " > stdout.txt 2> stderr.txt";
  ModelRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = testsupport::readFile(dir.file("stdout.txt"));
  r.err = testsupport::readFile(dir.file("stderr.txt"));
  return r;
}

// The state counts of experiments 0, 1, ... of a model.
void expectCounts(const std::string& stem, const std::vector<long>& counts) {
  for (size_t e = 0; e < counts.size(); e++) {
    TempDir dir;
    const ModelRun r = runModel(dir, stem, stem, "-B" + std::to_string(e));
    ASSERT_EQ(r.status, 0) << stem << " experiment " << e << ": " << r.err;
    EXPECT_NE(r.out.find("Generated: " + std::to_string(counts[e]) + " states\n"), std::string::npos)
        << stem << " experiment " << e << ":\n" << r.out;
    EXPECT_TRUE(testsupport::fileExists(dir.file(stem + ".arm")));
    EXPECT_TRUE(testsupport::fileExists(dir.file(stem + ".var")));
    EXPECT_TRUE(testsupport::fileExists(dir.file(stem + ".pvtype")));
  }
}

}  // namespace

// Ciardo and Tilgner's published counts for N = 1, 2, 3 kanbans per cell.
TEST(ModelLibrary, KanbanGivesThePublishedCounts) { expectCounts("kanban", {160, 4600, 58400}); }

// A Rep keeps its replicas in canonical order: N + 1 states (how many
// processors are down; one of them in repair when any is).
TEST(ModelLibrary, MultiprocessorAsRepHasNPlusOneStates) { expectCounts("multiprocessor", {2, 3, 4, 5, 6, 7}); }

// Processors in the same state are fired once and the rest replayed, except
// while tracing, which fires every one: the files must not tell the two apart
// (six processors, competing repairs).
TEST(ModelLibrary, ReplayedReplicasWriteTheFilesOfFiredOnes) {
  TempDir replayed, fired;
  ASSERT_EQ(runModel(replayed, "multiprocessor", "m", "-B5").status, 0);
  ASSERT_EQ(runModel(fired, "multiprocessor", "m", "-B5 -l1 -t trace.txt").status, 0);
  for (const char* suffix : {".arm", ".var", ".pvtype"})
    EXPECT_EQ(testsupport::readFile(replayed.file(std::string("m") + suffix)),
              testsupport::readFile(fired.file(std::string("m") + suffix)))
        << suffix;
}

// A Join keeps its copies apart: 1 + N * 2^(N-1) states.
TEST(ModelLibrary, MultiprocessorAsJoinOfCopiesHasOnePlusNTimesTwoToTheNMinusOneStates) {
  expectCounts("multiprocessor_join", {2, 5, 13, 33, 81, 193});
}

// Erlang service at a place array's queues: (K + 1)(K + 2) / 2 fillings of
// the two queues; the phases are not part of the state vector.
TEST(ModelLibrary, ErlangTandemCountsItsQueueFillings) { expectCounts("tandem_erlang", {6, 10}); }

// A deterministic clock and an instantaneous activity with two competing
// cases: the stable states are the B + 1 buffer levels; the delays go to .det.
TEST(ModelLibrary, DeterministicLinkWithCompetingCases) {
  expectCounts("lossy_link", {2, 3});
  TempDir dir;
  const ModelRun r = runModel(dir, "lossy_link", "lossy_link", "-B1");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(testsupport::readFile(dir.file("lossy_link.det")).empty());
}

TEST(ModelLibrary, ExperimentNumbersAreThoseOfTheModelsOwnStudy) {
  TempDir dir;
  const ModelRun last = runModel(dir, "tandem_erlang", "tandem_erlang", "-B1");
  EXPECT_EQ(last.status, 0) << last.err;
  EXPECT_NE(last.out.find("The Global Variable values for experiment Experiment 2 are:\nK\tshort\t3\n"
                          "phases\tdouble\t3\n"),
            std::string::npos)
      << last.out;
  const ModelRun beyond = runModel(dir, "tandem_erlang", "tandem_erlang", "-B2");
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(beyond.err.find("gen: experiment number 2 is out of range: valid experiment numbers are 0 to 1\n"),
            std::string::npos)
      << beyond.err;
}

// Places, globals, activities and children named after C library functions
// (open, read, stat, time, index), the generated code's members and locals
// and the framework's (Rate, Fire, Enabled, Setup, next, first, copy, std,
// Places, Children, EnabledFlag, TheDistribution, ...) build and run: one
// token among 2 + read + stat instances sharing Rate.
TEST(ModelLibrary, ModelNamesNeverMeetTheGeneratedCodesOrTheLibraries) {
  expectCounts("clashing_names", {6});
}

// Values from global variables that do not fit where they land stop the
// run with the global's name instead of building another model: copies
// past an int (once heap corruption), a marking past 16 bits.
TEST(ModelLibrary, GlobalsThatDoNotFitStopTheRunNamingTheGlobal) {
  TempDir dir;
  ModelRun r = runModel(dir, "clashing_names", "x", "-B1");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Children: the number of copies of main is the global variable read = 4294967296, outside "
                       "the counts a model can hold (at most 2147483647)"),
            std::string::npos)
      << r.err;
  TempDir dir2;
  r = runModel(dir2, "clashing_names", "x", "-B2");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("main: the initial marking of Rate is the global variable open = 70000, outside the 16-bit "
                       "markings"),
            std::string::npos)
      << r.err;
}
