// The normal generation procedure over hand-built models: numbering, merged
// and ordered successor records, the file layouts, the console summary, the
// trace lines, Erlang ageing and the refusals.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <regex>
#include <sstream>
#include <string>

#include "Expansion.h"
#include "GenError.h"
#include "GeneratorTestModels.h"
#include "OutputSink.h"
#include "RewardValues.h"
#include "SuccessorGenerator.h"
#include "TestSupport.h"
#include "TraceFileContainer.h"

using gentest::FlatModel;
using gentest::normalHeader;
using gentest::TestModel;
using testsupport::TempDir;

namespace {

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// Counts up place 0 from 0 to `last`, one state per value, rate 1.
void addCounter(TestModel& tm, short last) {
  FlatModel* f = &tm.flat();
  tm.add(
      "count", DIST_EXPONENTIAL, 1.0, [f, last] { return f->mark[0] < last; }, [f] { f->mark[0]++; });
}

}  // namespace

TEST(GeneratorNormal, ModelWithoutActionsHasOneState) {
  TempDir dir;
  TestModel tm({0});
  testing::internal::CaptureStdout();
  auto out = tm.generate(dir.path());
  std::string console = testing::internal::GetCapturedStdout();

  EXPECT_EQ(out.arm, "1\n1\n" + blanks(61) + "\n1\n0\n");
  EXPECT_EQ(out.var, "1\n");
  EXPECT_EQ(out.pvtype, "Version:1\nNumPV:0\n");
  EXPECT_FALSE(out.detWritten);
  EXPECT_NE(console.find("_$1$\nGenerated: 1 states\n"), std::string::npos) << console;
  EXPECT_TRUE(std::regex_search(
      console, std::regex("Computation Time \\(user \\+ system\\): [0-9]\\.[0-9]{6}e[+-][0-9]{2} seconds\n$")))
      << console;
  EXPECT_EQ(console.find("absorbing"), std::string::npos);
}

TEST(GeneratorNormal, AbsorbingStateIsReportedWithFlag) {
  TempDir dir;
  TestModel tm({7});
  testing::internal::CaptureStdout();
  tm.generate(dir.path(), 1);
  std::string console = testing::internal::GetCapturedStdout();
  // Console line, then the trace's dump of the explored state (the trace
  // goes to standard output; the dump itself is not filtered by level).
  EXPECT_TRUE(std::regex_search(console, std::regex("absorbing state\n  Model: \\([0-9]+\\)flat\n"))) << console;
}

TEST(GeneratorNormal, TwoActionsToTheSameSuccessorAreSummed) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "a", DIST_EXPONENTIAL, 1.5, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  tm.add(
      "b", DIST_EXPONENTIAL, 2.25, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(2) + "1\n2\n3.7500000000e+00\n0\n2\n0\n");
  EXPECT_EQ(out.var, "1\n2\n");
}

TEST(GeneratorNormal, SelfLoopAndZeroRate) {
  TempDir dir;
  TestModel tm({0});
  tm.add("loop", DIST_EXPONENTIAL, 0.5, nullptr, nullptr);
  FlatModel* f = &tm.flat();
  tm.add(
      "never", DIST_EXPONENTIAL, 0.0, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 9; });
  auto out = tm.generate(dir.path());
  // The zero-rate firing leaves no entry and discovers nothing.
  EXPECT_EQ(out.arm, normalHeader(1) + "1\n1\n5.0000000000e-01\n0\n");
}

// The numbering thread expands states ahead of others, so one generator
// may meet a state numbered before one it warned about already: the warning
// comes again, for the console names the first state in number order.
TEST(GeneratorNormal, ZeroRateWarningFollowsTheLowestStateNumber) {
  TestModel tm({0});
  addCounter(tm, 5);
  FlatModel* f = &tm.flat();
  tm.add(
      "stuck", DIST_EXPONENTIAL, 0.0, [f] { return f->mark[0] >= 2; }, [f] { f->mark[0] = 0; });
  PVModel& model = *tm.build();
  SuccessorGenerator generator(model);
  const auto notes = [&](short marking, std::uint32_t number) {
    Expansion out(static_cast<std::size_t>(model.StateSize()), static_cast<std::size_t>(rewardValueCount(model)));
    generator.expand(reinterpret_cast<const char*>(&marking), number, out);
    std::string text;
    for (std::uint32_t i = out.state(0).firstNote; i < out.state(0).endNote; i++) text += out.note(i).text;
    return text;
  };
  EXPECT_NE(notes(4, 5).find("(first in state 5)"), std::string::npos);
  EXPECT_NE(notes(2, 3).find("(first in state 3)"), std::string::npos);
  EXPECT_EQ(notes(3, 4), "");
}

TEST(GeneratorNormal, SuccessorsInIncreasingNumberAndRewardRecords) {
  TempDir dir;
  TestModel tm({0, 0});
  FlatModel* f = &tm.flat();
  auto start = [f] { return f->mark[0] == 0 && f->mark[1] == 0; };
  auto inTwo = [f] { return f->mark[0] == 1; };
  tm.add("a", DIST_EXPONENTIAL, 1, start, [f] { f->mark[0] = 1; });
  tm.add("b", DIST_EXPONENTIAL, 2, start, [f] { f->mark[1] = 1; });
  tm.add("c", DIST_EXPONENTIAL, 3, inTwo, [f] { f->mark[0] = 0, f->mark[1] = 1; });
  tm.add("d", DIST_EXPONENTIAL, 4, inTwo, [f] { f->mark[0] = 0; });
  tm.add("e", DIST_EXPONENTIAL, 5, inTwo, [f] { f->mark[0] = 0, f->mark[1] = 1; });
  tm.addReward("R", [](const FlatModel& m) { return m.mark[0] * 10.0 + m.mark[1]; });
  tm.addReward("third", [](const FlatModel& m) { return m.mark[1] / 3.0; });
  auto out = tm.generate(dir.path());

  EXPECT_EQ(out.arm, normalHeader(3) +
                         "1\n2\n1.0000000000e+00\n3\n2.0000000000e+00\n0\n"
                         "2\n1\n4.0000000000e+00\n3\n8.0000000000e+00\n0\n"
                         "3\n0\n");
  // Header names, then per state its number, then impulse and rate value
  // of each variable as evaluated by the firing that discovered the state.
  EXPECT_EQ(out.var,
            "R\nthird\n"
            "1\n0\n0\n0\n0\n"
            "2\n0\n10\n0\n0\n"
            "3\n0\n1\n0\n0.333333\n");
  EXPECT_EQ(out.pvtype,
            "Version:1\nNumPV:2\nName:R\nType:0\nNumTimes:1\nStart:1\nStop:1\n"
            "Name:third\nType:0\nNumTimes:1\nStart:1\nStop:1\n");
}

TEST(GeneratorNormal, ProgressLinesEveryThousandStates) {
  TempDir dir;
  TestModel tm({0});
  addCounter(tm, 2500);
  testing::internal::CaptureStdout();
  auto out = tm.generate(dir.path());
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("_$1000$\n"), std::string::npos);
  EXPECT_NE(console.find("_$2000$\n"), std::string::npos);
  EXPECT_EQ(console.find("_$1001$"), std::string::npos);
  EXPECT_NE(console.find("_$2501$\nGenerated: 2501 states\n"), std::string::npos);
  auto lines = testsupport::splitLines(out.arm);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "2501");
  EXPECT_EQ(lines[2], blanks(58));
  // The last record: state 2501 without successors.
  EXPECT_EQ(out.arm.substr(out.arm.size() - 8), "\n2501\n0\n");
}

TEST(GeneratorNormal, CaseProbabilityMultipliesTheRate) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  auto* c1 = tm.makeCase(
      "c1", DIST_EXPONENTIAL, 0.25, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto* c2 = tm.makeCase(
      "c2", DIST_EXPONENTIAL, 0.75, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
  c1->rate = c2->rate = 2.0;
  c1->weight = 0.25;
  c2->weight = 0.75;
  tm.addCases("cases", {c1, c2});
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(3) + "1\n2\n5.0000000000e-01\n3\n1.5000000000e+00\n0\n2\n0\n3\n0\n");
}

TEST(GeneratorNormal, TraceLinesAtLevelFour) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "a", DIST_EXPONENTIAL, 1.5, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto out = tm.generate(dir.path(), 0, 4);
  auto lines = testsupport::splitLines(out.trace);
  ASSERT_EQ(lines.size(), 8u) << out.trace;
  EXPECT_EQ(lines[0], "State Number = 1");
  EXPECT_EQ(lines[1], "Checking Action: a");
  EXPECT_EQ(lines[2], "Firing Action: a");
  EXPECT_EQ(lines[3], "The rate to this state: 1.500000");
  EXPECT_EQ(lines[4], "State Number = 2");
  EXPECT_EQ(lines[5], "Checking Action: a");
  EXPECT_EQ(lines[6], "Generated: 2 states");
  EXPECT_EQ(lines[7].rfind("Computation time (user + system): ", 0), 0u);
}

TEST(GeneratorNormal, TraceLevelOneLeavesOutTheCheckingLines) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "a", DIST_EXPONENTIAL, 1.5, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto out = tm.generate(dir.path(), 0, 1);
  auto lines = testsupport::splitLines(out.trace);
  ASSERT_EQ(lines.size(), 5u) << out.trace;
  EXPECT_EQ(lines[0], "State Number = 1");
  EXPECT_EQ(lines[1], "Firing Action: a");
  EXPECT_EQ(lines[2], "State Number = 2");
}

// The phase of an Erlang action is part of the state: each phase before the
// last is a transition at the phase rate to the same marking in the next
// phase, the last fires, and a firing that disables the action starts it
// again from phase 1. Here x counts m1 up to 3 while e (3 phases of rate 6)
// sets m0 once: 4 x 3 states before e fires and 4 after, numbered (m0, m1,
// phase of e) 1 (0,0,1), 2 (0,1,1), 3 (0,0,2), 4 (0,2,1), 5 (0,1,2),
// 6 (0,0,3), 7 (0,3,1), 8 (0,2,2), 9 (0,1,3), 10 (1,0), 11 (0,3,2),
// 12 (0,2,3), 13 (1,1), 14 (0,3,3), 15 (1,2), 16 (1,3).
TEST(GeneratorNormal, ErlangActionWithThreePhases) {
  TempDir dir;
  TestModel tm({0, 0});
  FlatModel* f = &tm.flat();
  tm.add(
      "x", DIST_EXPONENTIAL, 1, [f] { return f->mark[1] < 3; }, [f] { f->mark[1]++; });
  auto* e = tm.add(
      "e", DIST_ERLANG, 6, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  e->phases = 3;
  auto out = tm.generate(dir.path());
  const std::string x = "1.0000000000e+00\n", age = "6.0000000000e+00\n";
  EXPECT_EQ(out.arm, normalHeader(16) + "1\n2\n" + x + "3\n" + age + "0\n" + "2\n4\n" + x + "5\n" + age + "0\n" +
                         "3\n5\n" + x + "6\n" + age + "0\n" + "4\n7\n" + x + "8\n" + age + "0\n" + "5\n8\n" + x +
                         "9\n" + age + "0\n" + "6\n9\n" + x + "10\n" + age + "0\n" + "7\n11\n" + age + "0\n" +
                         "8\n11\n" + x + "12\n" + age + "0\n" + "9\n12\n" + x + "13\n" + age + "0\n" + "10\n13\n" + x +
                         "0\n" + "11\n14\n" + age + "0\n" + "12\n14\n" + x + "15\n" + age + "0\n" + "13\n15\n" + x +
                         "0\n" + "14\n16\n" + age + "0\n" + "15\n16\n" + x + "0\n" + "16\n0\n");
}

// The cases of an Erlang activity share its phase: each ages the whole
// activity at the rate over the number of cases (4 in all), and the last
// phase fires a case at rate times its probability (1 and 3). States (m0,
// m1, phase): 1 (0,0,1), 2 (0,1,1), 3 (0,0,2), 4 (0,1,2), 5 (1,0),
// 6 (2,0), 7 (1,1), 8 (2,1).
TEST(GeneratorNormal, ErlangCasesAgeTogetherAndShareTheRate) {
  TempDir dir;
  TestModel tm({0, 0});
  FlatModel* f = &tm.flat();
  tm.add(
      "x", DIST_EXPONENTIAL, 1, [f] { return f->mark[1] < 1; }, [f] { f->mark[1]++; });
  auto* c1 = tm.makeCase(
      "c1", DIST_ERLANG, 0.25, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto* c2 = tm.makeCase(
      "c2", DIST_ERLANG, 0.75, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
  for (auto* c : {c1, c2}) c->rate = 4, c->phases = 2;
  c1->weight = 0.25;
  c2->weight = 0.75;
  tm.addCases("cases", {c1, c2});
  auto out = tm.generate(dir.path());
  EXPECT_EQ(out.arm, normalHeader(8) +
                         "1\n2\n1.0000000000e+00\n3\n4.0000000000e+00\n0\n"
                         "2\n4\n4.0000000000e+00\n0\n"
                         "3\n4\n1.0000000000e+00\n5\n1.0000000000e+00\n6\n3.0000000000e+00\n0\n"
                         "4\n7\n1.0000000000e+00\n8\n3.0000000000e+00\n0\n"
                         "5\n7\n1.0000000000e+00\n0\n"
                         "6\n8\n1.0000000000e+00\n0\n"
                         "7\n0\n"
                         "8\n0\n");
}

namespace {

// Failures reach the caller as GenError, with the text, stream and status
// that main prints and exits with.
void expectFailure(const GenError& error, const std::string& message, GenError::Stream stream) {
  EXPECT_EQ(error.what(), message);
  EXPECT_EQ(error.stream(), stream);
  EXPECT_EQ(error.status(), 1);
}

}  // namespace

TEST(GeneratorNormalFailure, RefusedModels) {
  {
    TempDir dir;
    TestModel tm({});
    expectFailure(tm.failure(dir.path()), "The model is empty, i.e., does not have any state variables.",
                  GenError::Stream::Out);
  }
  const std::string unsupported = "Error:  Can not generate state space with Current Action Distribution Type";
  {
    TempDir dir;
    TestModel tm({0});
    tm.add("odd", static_cast<Distribution>(3), 1, nullptr, nullptr);
    expectFailure(tm.failure(dir.path()), unsupported, GenError::Stream::Out);
  }
  {
    TempDir dir;
    TestModel tm({0});
    tm.add("d", DIST_DETERMINISTIC, 1, nullptr, nullptr);
    tm.add("e", DIST_ERLANG, 1, nullptr, nullptr);
    expectFailure(tm.failure(dir.path()), unsupported, GenError::Stream::Out);
  }
}

TEST(GeneratorNormalFailure, UndefinedCaseProbabilityStopsTheRun) {
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  auto* c1 = tm.makeCase(
      "zero1", DIST_EXPONENTIAL, 0, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
  auto* c2 = tm.makeCase(
      "zero2", DIST_EXPONENTIAL, 0, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 2; });
  c1->weight = c2->weight = 0;
  tm.addCases("cases", {c1, c2});
  const std::string message = tm.failure(dir.path()).what();
  EXPECT_EQ(message.rfind("Error: The probability of action zero1 within its group is undefined", 0), 0u) << message;
}

TEST(GeneratorNormal, UnopenableOutputFilesNameTheFileAndTheReason) {
  TempDir dir;
  const auto errorOf = [](const std::string& prefix) -> std::string {
    TestModel tm({0});
    try {
      tm.generate(prefix);
    } catch (const GenError& e) {
      return e.what();
    }
    return "";
  };
  // The type file comes first.
  EXPECT_EQ(errorOf(dir.path() + "/missing/dir"),
            "Error: Could not open pvtype file " + dir.path() + "/missing/dir/t.pvtype: No such file or directory");
  ASSERT_EQ(std::system(("mkdir " + dir.file("t.arm")).c_str()), 0);
  EXPECT_EQ(errorOf(dir.path()),
            "Error: Could not open state space output file " + dir.path() + "/t.arm: Is a directory");
  ASSERT_EQ(std::system(("rmdir " + dir.file("t.arm") + " && mkdir " + dir.file("t.var")).c_str()), 0);
  EXPECT_EQ(errorOf(dir.path()), "Could not open file dude " + dir.path() + "/t.var: Is a directory");
}

// Rates, weights and phase counts are checked where the model gives them: a
// value that cannot be right stops the run and names the action, the value
// and the state being explored; a rate of exactly 0 is no transition.
TEST(GeneratorNormalFailure, ValuesThatCannotBeRight) {
  struct Case {
    const char* name;
    Distribution dist;
    double rate, weight, phases;
    const char* message;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"negative rate", DIST_EXPONENTIAL, -1, 1, 1,
       "Error: The rate of action b is -1 in state 2; a rate must be finite and not negative"},
      {"infinite rate", DIST_EXPONENTIAL, inf, 1, 1,
       "Error: The rate of action b is inf in state 2; a rate must be finite and not negative"},
      {"rate not a number", DIST_ERLANG, nan, 1, 1,
       "Error: The rate of action b is nan in state 2; a rate must be finite and not negative"},
      {"no phase", DIST_ERLANG, 1, 1, 0,
       "Error: The phase count of action b is 0 in state 2; an Erlang action has at least 1 phase"},
      {"negative case weight", DIST_EXPONENTIAL, 1, -0.5, 1,
       "Error: The weight of action b is -0.5 in state 2; a case weight must be finite and not negative"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TestModel tm({0});
    FlatModel* f = &tm.flat();
    tm.add(
        "a", DIST_EXPONENTIAL, 1, [f] { return f->mark[0] == 0; }, [f] { f->mark[0] = 1; });
    auto* b = tm.makeCase(
        "b", c.dist, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 2; });
    auto* other = tm.makeCase(
        "other", DIST_EXPONENTIAL, 1, [f] { return f->mark[0] == 1; }, [f] { f->mark[0] = 3; });
    b->rate = other->rate = c.rate;
    b->weight = c.weight;
    b->phases = c.phases;
    tm.addCases("cases", {b, other});
    const GenError error = tm.failure(dir.path());
    EXPECT_EQ(error.what(), std::string(c.message) + ".\nPlease check the model and try again");
    EXPECT_EQ(error.status(), 1);
  }
}

// State numbers are unsigned 32-bit: 4,294,967,295 is the last. A run that
// would number a state beyond it stops before any file receives a wrong
// number; the last storable number is written.
TEST(GeneratorNormal, StateNumbersUpToTheStoreLimit) {
  TempDir dir;
  const std::string prefix = dir.path() + "/";
  GenOptions options;
  options.path = prefix;
  options.name = "t";
  {
    TestModel tm({0});
    addCounter(tm, 5);
    GenerationRun gen(tm.build(), options);
    gen.skipNumbersUpTo(4294967295);
    testing::internal::CaptureStdout();
    try {
      gen.GenStateSpace();
      ADD_FAILURE() << "no stop";
    } catch (const GenError& error) {
      EXPECT_STREQ(error.what(),
                   "Error: The state space has more states than can be stored (4294967295 at most); generation "
                   "stopped.");
    }
    testing::internal::GetCapturedStdout();
    std::cout << std::defaultfloat;
  }
  {
    TestModel tm({0});
    addCounter(tm, 1);
    GenerationRun gen(tm.build(), options);
    gen.skipNumbersUpTo(4294967294);
    testing::internal::CaptureStdout();
    gen.GenStateSpace();
    testing::internal::GetCapturedStdout();
    std::cout << std::defaultfloat;
  }
  EXPECT_EQ(testsupport::readFile(prefix + "t.arm"),
            normalHeader(2) + "1\n4294967295\n1.0000000000e+00\n0\n4294967295\n0\n");
  // The first reward record carries the counter as set above.
  EXPECT_EQ(testsupport::readFile(prefix + "t.var"), "4294967294\n4294967295\n");
}

// The explorer alone, on sinks of the test's own: they are started, then
// opened for the normal procedure, and handed every state numbered before it
// is explored, both in number order, with the branches of a hand-built
// chain. The explorer writes no file itself.
TEST(GeneratorNormal, ExplorerHandsTheChainToItsSinksInNumberOrder) {
  struct RecordingSink : OutputSink, RunSinks {
    void begin() override { begun = true; }
    OutputSink& open(Procedure procedure, std::size_t, const std::vector<std::string>&, MemoryBudget*) override {
      EXPECT_TRUE(begun);
      EXPECT_EQ(procedure, Procedure::Normal);
      return *this;
    }
    void numbered(std::uint32_t number, const double* rewards) override {
      EXPECT_EQ(number, numbered_.size() + 1);
      numbered_.push_back(rewards[1]);
    }
    void explored(const ExploredState& state) override {
      EXPECT_EQ(state.number(), rows.size() + 1);
      std::ostringstream row;
      row << state.number() << ":";
      for (std::size_t b = 0; b < state.branchCount(); b++) {
        EXPECT_LE(state.target(b), numbered_.size());
        row << " " << state.target(b) << "@" << state.value(b);
      }
      rows.push_back(row.str());
      exitRates.push_back(state.exitRate());
    }
    void finish() override { finished = true; }
    std::vector<double> numbered_;  // the rate reward of each state
    std::vector<std::string> rows;
    std::vector<double> exitRates;
    bool begun = false;
    bool finished = false;
  };

  // One server, room for 3: arrivals at rate 2, services at rate 5.
  TempDir dir;
  TestModel tm({0});
  FlatModel* f = &tm.flat();
  tm.add(
      "arrive", DIST_EXPONENTIAL, 2.0, [f] { return f->mark[0] < 3; }, [f] { f->mark[0]++; });
  tm.add(
      "serve", DIST_EXPONENTIAL, 5.0, [f] { return f->mark[0] > 0; }, [f] { f->mark[0]--; });
  tm.addReward("queue", [](const FlatModel& m) { return m.mark[0]; });
  RecordingSink sink;
  TraceFileContainer trace;
  trace.setTraceLevel(0);
  StateSpaceGen explorer(tm.build(), 0.5);
  explorer.setSinks(&sink);
  explorer.setTrace(&trace);
  testing::internal::CaptureStdout();
  explorer.GenStateSpace();
  testing::internal::GetCapturedStdout();
  std::cout << std::defaultfloat;

  EXPECT_EQ(sink.numbered_, (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(sink.rows, (std::vector<std::string>{"1: 2@2", "2: 1@5 3@2", "3: 2@5 4@2", "4: 3@5"}));
  EXPECT_EQ(sink.exitRates, (std::vector<double>{2, 7, 7, 5}));
  EXPECT_TRUE(sink.finished);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
