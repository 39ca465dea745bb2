// Runs the gens built from the model files of models/ and checks their state
// counts against the published or derived figures, and that -B takes exactly
// each model's own experiments. The benchmarks' larger published counts are
// in model_library_slow_test.

#include <gtest/gtest.h>

#include <string>

#include "ModelLibraryRuns.h"
#include "TestSupport.h"

using modellib::expectCounts;
using modellib::ModelRun;
using modellib::runModel;
using testsupport::TempDir;

// The benchmarks' published counts of the sizes that take well under a
// second: states, and transitions (the benchmark set's "branches"), which
// check that PRISM's synchronised actions were multiplied out right. Larger
// sizes are in model_library_slow_test.
TEST(ModelLibrary, KanbanGivesThePublishedCounts) {
  expectCounts("kanban", {{160, 616}, {4600, 28120}, {58400, 446400}});
}

TEST(ModelLibrary, FmsGivesThePublishedCounts) {
  expectCounts("fms", {{54, 155}, {810, 3699}, {6520, 37394}, {35910, 237120}, {152712, 1111482}});
}

// 3N * 2^(N-1) states for N = 3 to 12.
TEST(ModelLibrary, PollingGivesThePublishedCounts) {
  expectCounts("polling", {{36, 84},
                           {96, 272},
                           {240, 800},
                           {576, 2208},
                           {1344, 5824},
                           {3072, 14848},
                           {6912, 36864},
                           {15360, 89600},
                           {33792, 214016},
                           {73728, 503808}});
}

// N = 1 (112 states) is from the PRISM case study, which gives no transitions.
TEST(ModelLibrary, ClusterGivesThePublishedCounts) {
  expectCounts("cluster",
               {{112, -1}, {276, 1120}, {820, 3616}, {2772, 12832}, {10132, 48160}, {38676, 186400}, {151060, 733216}});
}

// The transitions include self-loops (a timeout that changes nothing), which
// PRISM's count and the .arm both keep.
TEST(ModelLibrary, EmbeddedGivesThePublishedCounts) {
  expectCounts(
      "embedded",
      {{3478, 14639}, {4323, 18206}, {5168, 21773}, {6013, 25340}, {6858, 28907}, {7703, 32474}, {8548, 36041}});
}

TEST(ModelLibrary, TandemGivesThePublishedCounts) {
  expectCounts("tandem",
               {{66, 189}, {120, 363}, {496, 1619}, {2016, 6819}, {8128, 27971}, {32640, 113283}, {130816, 455939}});
}

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
// the two queues, K + 1 of them with the first queue empty; each of the
// others once per phase of the service: 3 + 3 x 2 = 9 for K = 2 and 2
// phases, 4 + 6 x 3 = 22 for K = 3 and 3 phases.
TEST(ModelLibrary, ErlangTandemCountsItsQueueFillingsTimesThePhases) { expectCounts("tandem_erlang", {9, 22}); }

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
  expectCounts("clashing_names", std::vector<long>{6});
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
