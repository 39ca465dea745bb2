// The simulator against values computed another way: Student's quantiles,
// the M/D/1/K queue's embedded chain, solve on the model library's chains and
// on an all-exponential copy of the compiled-in model, solve's exact steady
// state of models with fixed delays; and against itself on
// other thread and process counts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "SimulatorRuns.h"
#include "Statistics.h"
#include "Streams.h"
#include "TestSupport.h"

namespace {

using simtest::fields;
using simtest::modelProgram;
using simtest::real;
using simtest::Row;
using simtest::simulate;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::ScopedEnv;
using testsupport::splitLines;
using testsupport::TempDir;

// solve's CSV: variable,kind,start,stop,value,method,iterations,error_bound.
std::vector<Row> readSolved(const std::string& path) {
  std::vector<Row> rows;
  const auto lines = splitLines(readFile(path));
  for (std::size_t i = 1; i < lines.size(); i++) {
    if (lines[i].empty()) continue;
    const auto f = fields(lines[i]);
    if (f.size() < 5) continue;
    Row row;
    row.variable = f[0];
    row.kind = f[1];
    row.start = real(f[2]);
    row.stop = real(f[3]);
    row.value = real(f[4]);
    rows.push_back(row);
  }
  return rows;
}

std::vector<Row> solve(const std::string& stem, int experiment, const TempDir& dir) {
  const std::string prefix = "-P" + dir.path() + "/";
  const auto gen =
      runProgram(modelProgram(stem, "gen"), {prefix, "-Nexact", "-B" + std::to_string(experiment), "-U"}, dir.path());
  EXPECT_EQ(gen.status, 0) << gen.out << gen.err;
  const auto solved = runProgram(SOLVE_BINARY, {prefix, "-Nexact"}, dir.path());
  EXPECT_EQ(solved.status, 0) << solved.out << solved.err;
  return readSolved(dir.file("exact.results.csv"));
}

// Every value solve gives lies inside the simulator's interval around it.
void expectInside(const std::string& what, const std::vector<Row>& simulated, const std::vector<Row>& exact) {
  ASSERT_FALSE(exact.empty()) << what;
  for (const Row& e : exact) {
    bool found = false;
    for (const Row& s : simulated) {
      if (s.variable != e.variable || s.kind != e.kind || s.start != e.start || s.stop != e.stop) continue;
      found = true;
      if (s.precision == "same_in_every_replication" ||
          (s.precision == "never_observed" && s.method != "exact_upper")) {
        // Every replication saw the same value: all the simulator claims is
        // that departures from it are rare, in less than -ln(0.01) / n of
        // the replications at 99% (n >= 100 here), so the mean lies that
        // share of the value's scale away at most.
        EXPECT_LE(std::fabs(e.value - s.value), 4.61 / 100 * std::max(1.0, std::fabs(s.value)))
            << what << ": " << e.variable << " at " << e.stop;
        continue;
      }
      EXPECT_TRUE(s.covers(e.value)) << what << ": " << e.variable << " " << e.kind << " [" << e.start << ", " << e.stop
                                     << "]: solve " << e.value << ", simulate " << s.value << " in [" << s.lower << ", "
                                     << s.upper << "]";
    }
    EXPECT_TRUE(found) << what << ": simulate has no row for " << e.variable << " at " << e.stop;
  }
}

TEST(SimulatorStatistics, StudentQuantilesMatchTables) {
  EXPECT_NEAR(sim::studentQuantile(0.975, 1), 12.706204736, 1e-8);
  EXPECT_NEAR(sim::studentQuantile(0.975, 10), 2.228138852, 1e-8);
  EXPECT_NEAR(sim::studentQuantile(0.995, 4), 4.604094871, 1e-8);
  EXPECT_NEAR(sim::studentQuantile(0.995, 1e7), 2.575829304, 1e-6);
}

// M/D/1/K, arrivals at rate l = 0.5, service time 1, K places in all. At a
// departure the queue leaves n in 0 .. K-1 behind; during the next service
// A ~ Poisson(l) arrive, of which those finding K present are lost. From
// n = 0 the next arrival starts a service with 1 present, so the next
// departure leaves min(A, K-1); from n >= 1 it leaves min(n - 1 + A, K-1).
// With pi the stationary law of that chain and rho = l * 1, the time-average
// law of the number present is p_j = pi_j / (pi_0 + rho) for j < K and
// p_K = 1 - 1 / (pi_0 + rho) (the M/G/1/K relation between departure epochs
// and time averages); by PASTA the loss probability is p_K.
struct Md1k {
  double loss, number;
};
Md1k md1kExact(int K) {
  const double l = 0.5;
  std::vector<double> a(static_cast<std::size_t>(K) + 1);
  for (int k = 0; k <= K; k++) a[static_cast<std::size_t>(k)] = std::exp(-l) * std::pow(l, k) / std::tgamma(k + 1.0);
  // Transition matrix of the departure chain, then power iteration (a
  // chain of at most 5 states: 10,000 steps reach the fixed point).
  const int n = K;
  std::vector<std::vector<double>> P(n, std::vector<double>(n, 0.0));
  for (int from = 0; from < n; from++) {
    const int base = from == 0 ? 0 : from - 1;
    double rest = 1.0;
    for (int to = base; to < n - 1; to++) {
      P[from][to] = a[static_cast<std::size_t>(to - base)];
      rest -= P[from][to];
    }
    P[from][n - 1] += rest;
  }
  std::vector<double> pi(n, 1.0 / n), next(n);
  for (int step = 0; step < 10000; step++) {
    std::fill(next.begin(), next.end(), 0.0);
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++) next[j] += pi[i] * P[i][j];
    pi = next;
  }
  const double norm = pi[0] + l;
  Md1k r{1.0 - 1.0 / norm, 0.0};
  for (int j = 0; j < n; j++) r.number += j * pi[j] / norm;
  r.number += K * r.loss;
  return r;
}

TEST(SimulatorMd1k, LossAndNumberMatchTheEmbeddedChain) {
  EXPECT_NEAR(md1kExact(1).loss, 1.0 / 3.0, 1e-12);
  for (int K = 1; K <= 5; K++) {
    TempDir dir;
    const auto rows =
        simulate(modelProgram("md1k", "simulate"), K - 1, {"-S5", "-c0.99", "-R400", "-W200", "-L4000"}, dir);
    const Md1k exact = md1kExact(K);
    ASSERT_EQ(rows.size(), 2u);
    for (const Row& r : rows) {
      const double want = r.variable == "loss" ? exact.loss : exact.number;
      EXPECT_LE(std::fabs(r.value - want), r.halfWidth) << "K = " << K << " " << r.variable << ": exact " << want
                                                        << ", simulated " << r.value << " +- " << r.halfWidth;
      EXPECT_LT(r.halfWidth, 0.02 * want + 1e-3) << "K = " << K << " " << r.variable;
    }
  }
}

// A fixed delay interrupted in a vanishing marking starts over: the tick
// rate of tests/models/interrupted_delay.toml is r e^-r / (1 - e^-r), r = 1
// (its file derives it), not 1.
TEST(SimulatorSemantics, DelayInterruptedInZeroTimeStartsOver) {
  TempDir dir;
  const auto rows =
      simulate(modelProgram("interrupted_delay", "simulate"), 0, {"-S2", "-c0.99", "-R200", "-W100", "-L5000"}, dir);
  ASSERT_EQ(rows.size(), 1u);
  const double want = std::exp(-1.0) / (1.0 - std::exp(-1.0));
  EXPECT_LE(std::fabs(rows[0].value - want), rows[0].halfWidth) << rows[0].value << " +- " << rows[0].halfWidth;
  EXPECT_LT(rows[0].halfWidth, 0.02 * want);
}

// The library's all-exponential models at sizes that run in seconds, and a
// queue with every kind of reward variable.
TEST(SimulatorLibrary, ChainsAgreeWithSolve) {
  struct Case {
    const char* stem;
    int experiment;
    std::vector<std::string> args;
  };
  const std::vector<Case> cases = {
      {"kanban", 0, {"-R200", "-W500", "-L10000"}},
      {"fms", 0, {"-R200", "-W500", "-L10000"}},
      {"polling", 0, {"-R200", "-W500", "-L10000"}},
      {"cluster", 0, {"-R200", "-W500", "-L10000"}},
      {"embedded", 0, {"-R1000"}},
      {"tandem", 0, {"-R200", "-W500", "-L10000"}},
      {"multiprocessor", 1, {"-R400"}},
      {"multiprocessor_join", 1, {"-R400"}},
      {"tandem_erlang", 0, {"-R400"}},
      // Every kind, each with rate and impulse parts (tests/models).
      {"all_reward_kinds", 0, {"-R1000", "-W200", "-L2000"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-S11", "-c0.99"});
    const auto simulated = simulate(modelProgram(c.stem, "simulate"), c.experiment, args, dir);
    expectInside(c.stem, simulated, solve(c.stem, c.experiment, dir));
  }
}

// Models with one fixed delay at a time, which solve answers exactly through
// their embedded Markov regenerative chain: a restart clock that nothing
// interrupts, a maintenance clock that failures preempt, a timeout that a
// reply cancels (steady-state rates and impulses, the delay's own included).
TEST(SimulatorRegenerative, TimerModelsAgreeWithSolve) {
  for (const char* stem : {"rejuvenation", "maintenance", "timeout_retry"}) {
    TempDir dir;
    const auto simulated =
        simulate(modelProgram(stem, "simulate"), 0, {"-S17", "-c0.99", "-R200", "-W500", "-L10000"}, dir);
    expectInside(stem, simulated, solve(stem, 0, dir));
  }
}

// The compiled-in model with its fixed delays made exponential: a chain,
// simulated and solved.
TEST(SimulatorCompiledIn, ExponentialCopyAgreesWithSolve) {
  TempDir dir;
  const auto simulated =
      simulate(modelProgram("redundant_controller_flash_exp", "simulate"), 0, {"-S3", "-c0.99", "-R2000"}, dir);
  expectInside("redundant_controller_flash_exp", simulated, solve("redundant_controller_flash_exp", 0, dir));
}

// A seed and a replication count give the same numbers on any number of
// threads and processes.
TEST(SimulatorDeterminism, SameSeedSameNumbersOnAnyThreadCount) {
  const std::vector<std::string> args = {"-S9", "-R300", "-k50", "-W100", "-L2000"};
  std::string first;
  std::string both;
  for (const char* threads : {"1", "2", "4"}) {
    ScopedEnv env("GEN_THREADS", threads);
    TempDir dir;
    simulate(modelProgram("md1k", "simulate"), 2, args, dir);
    const std::string csv = readFile(dir.file("sim.sim.csv"));
    ASSERT_FALSE(csv.empty());
    if (first.empty())
      first = csv;
    else
      EXPECT_EQ(csv, first) << threads << " threads";
    // Transient and long-run replications side by side, a warm-up that
    // gets lengthened, proportions.
    TempDir mixed;
    simulate(modelProgram("mm1k", "simulate"), 1, {"-S9", "-R400", "-k50", "-W10", "-L100"}, mixed);
    const std::string mixedCsv = readFile(mixed.file("sim.sim.csv"));
    if (both.empty())
      both = mixedCsv;
    else
      EXPECT_EQ(mixedCsv, both) << threads << " threads";
  }
#ifdef MPIEXEC
  ScopedEnv root("OMPI_ALLOW_RUN_AS_ROOT", "1");
  ScopedEnv confirm("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1");
  ScopedEnv threads("GEN_THREADS", "1");
  // Open MPI keeps allocations until exit, which a leak checker would report.
  const char* asan = std::getenv("ASAN_OPTIONS");
  ScopedEnv leaks("ASAN_OPTIONS", std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0");
  TempDir dir;
  std::vector<std::string> all = {
      "--allow-run-as-root",   "--oversubscribe", "-np", "2", modelProgram("md1k", "simulate"),
      "-P" + dir.path() + "/", "-Nsim",           "-B2"};
  all.insert(all.end(), args.begin(), args.end());
  const auto run = runProgram(MPIEXEC, all, dir.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("on 2 processes"), std::string::npos) << run.out;
  EXPECT_EQ(readFile(dir.file("sim.sim.csv")), first) << "two MPI ranks";
#endif
}

TEST(SimulatorCli, RefusesBadOptionsAndMarksWideIntervals) {
  TempDir dir;
  const std::string prefix = "-P" + dir.path() + "/";
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {prefix, "-Nx", "-c1.5"}, {prefix, "-Nx", "-B99"}, {"-Nx"}, {prefix, "-Nx", "-R1"}, {prefix, "-Nx", "-q"}}) {
    const auto run = runProgram(SIMULATE_BINARY, bad, dir.path());
    EXPECT_EQ(run.status, 1) << bad.back();
    EXPECT_NE(run.err.find("simulate: "), std::string::npos) << run.err;
    EXPECT_FALSE(testsupport::fileExists(dir.file("x.sim.csv")));
  }
  // An Erlang activity in a Rep is refused as gen refuses it.
  const auto erlang = runProgram(modelProgram("erlang_rep", "simulate"), {prefix, "-Nx"}, dir.path());
  EXPECT_EQ(erlang.status, 1);
  EXPECT_NE(erlang.err.find("is inside a Rep"), std::string::npos) << erlang.err;

  // A marking out of its bounds names the replication and the time.
  const auto fault = runProgram(modelProgram("faults", "simulate"), {prefix, "-Nx", "-B1"}, dir.path());
  EXPECT_EQ(fault.status, 1);
  EXPECT_NE(fault.err.find("leaves place 'waiting' at -1, outside its bounds (min 0, max 2), in replication "),
            std::string::npos)
      << fault.err;
  EXPECT_FALSE(testsupport::fileExists(dir.file("x.sim.csv")));

  // Ten replications cannot reach 0.1%: every row says so. The plot draws
  // the three time points with their intervals.
  const auto run = runProgram(SIMULATE_BINARY, {prefix, "-Nx", "-R10", "-k10", "-r0.001", "-preliability"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Stopped: the replication budget (10) was reached"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("WIDER"), std::string::npos) << run.out;
  const auto rows = simtest::readSimulated(dir.file("x.sim.csv"));
  ASSERT_EQ(rows.size(), 3u);
  for (const Row& r : rows) EXPECT_NE(r.precision, "ok");
  EXPECT_NE(readFile(dir.file("x.reliability.svg")).find("<svg"), std::string::npos);
}

// Replication i of seed S once started where replication i + v of seed
// S - 2v did: nearby seeds shared their numbers. Each (seed, replication)
// now has a stream and a start of its own; 53-bit first draws of 200,000
// pairs collide with probability about 1e-6 when independent.
TEST(SimulatorStreams, NearbySeedsShareNoFirstDraws) {
  std::vector<double> first;
  for (std::uint64_t seed = 1; seed <= 200; seed++) {
    for (std::uint64_t i = 0; i < 1000; i++) {
      pcg32 rng = sim::replicationGenerator(seed, sim::Purpose::Transient, i);
      first.push_back(sim::uniform53(rng));
    }
  }
  std::sort(first.begin(), first.end());
  EXPECT_EQ(std::unique(first.begin(), first.end()) - first.begin(), 200000);
  // The long run's streams are others again.
  pcg32 a = sim::replicationGenerator(1, sim::Purpose::Transient, 0);
  pcg32 b = sim::replicationGenerator(1, sim::Purpose::LongRun, 0);
  EXPECT_NE(a(), b());
}

// A probability of 0.035 from 100 replications (3.5 hits expected), 200
// times over with a fixed generator: the interval of 0/1 observations must
// cover it at least 92% of the time; Student's t, which these runs had
// before, covers it 87% in the long run and here too stays below. No hit
// at all gives the exact one-sided bound 1 - 0.05^(1/n), not 0 +- 0.
TEST(SimulatorStatistics, ProportionsWithFewHitsKeepTheirCoverage) {
  pcg32 rng(12345, 6789);
  const double p = 0.035;
  int covered = 0, student = 0;
  for (int run = 0; run < 200; run++) {
    sim::Accumulator hits;
    for (int i = 0; i < 100; i++) hits.add(sim::uniform53(rng) < p ? 1.0 : 0.0);
    const sim::Interval interval = sim::meanInterval(hits, 0.95);
    covered += interval.lower <= p && p <= interval.upper ? 1 : 0;
    const double half = sim::studentQuantile(0.975, 99) * std::sqrt(hits.variance() / 100);
    student += std::fabs(hits.mean() - p) <= half ? 1 : 0;
  }
  EXPECT_GE(covered, 184) << covered << " of 200";
  EXPECT_LT(student, 184) << student << " of 200";
  sim::Accumulator none;
  for (int i = 0; i < 100; i++) none.add(0.0);
  const sim::Interval bound = sim::meanInterval(none, 0.95);
  EXPECT_EQ(bound.method, sim::IntervalMethod::ExactUpper);
  EXPECT_NEAR(bound.upper, 1.0 - std::pow(0.05, 0.01), 1e-15);
  EXPECT_EQ(bound.halfWidth(), bound.upper);
}

// The long-run estimate by hand: rewards 2, 4, 3, 5 over times 1, 2, 1, 2
// give 14/6, residuals -1/3, -2/3, 2/3, 1/3, and a half-width of
// t(0.975, 3) x sqrt((10/9) / 3 / 4) / 1.5. Two replications absorbed at
// rates 1 and 3 count as rate 2 over the mean time 1.5.
TEST(SimulatorStatistics, LongRunRatioAndItsIntervalByHand) {
  sim::LongRunAccumulator a;
  const double rewards[4] = {2, 4, 3, 5}, times[4] = {1, 2, 1, 2};
  for (int r = 0; r < 4; r++) {
    const double reward[3] = {0, rewards[r] / 2, rewards[r] / 2}, time[3] = {0, times[r] / 2, times[r] / 2};
    a.addWindow(reward, time);
  }
  const sim::Interval i = sim::longRunInterval(a, 0.95);
  EXPECT_NEAR(i.estimate, 14.0 / 6.0, 1e-14);
  EXPECT_NEAR(i.halfWidth(), sim::studentQuantile(0.975, 3) * std::sqrt(10.0 / 9.0 / 3.0 / 4.0) / 1.5, 1e-12);
  a.addAbsorbed(1);
  a.addAbsorbed(3);
  EXPECT_NEAR(sim::longRunInterval(a, 0.95).estimate, (4 * 14.0 / 6.0 + 2 * 2.0) / 6.0, 1e-14);
}

// The M/M/1/4 queue's probability of being full: at t = 0.2 (never seen in
// 100 replications) the run gives the bound the replications support; at
// t = 2 the score interval around the share of hits, which holds the
// uniformised value. Beside them a long-run variable, whose replications
// are separate: the transient ones stop at t = 2.
TEST(SimulatorIntervals, ProbabilitiesGetScoreIntervalsAndBounds) {
  TempDir dir;
  const auto rows = simulate(modelProgram("mm1k", "simulate"), 0, {"-S4", "-R100", "-k100", "-W1000", "-L10000"}, dir);
  ASSERT_EQ(rows.size(), 5u);
  const Row& rare = rows[0];
  EXPECT_EQ(rare.precision, "never_observed");
  EXPECT_EQ(rare.method, "exact_upper");
  EXPECT_NEAR(rare.upper, 1.0 - std::pow(0.05, 0.01), 1e-12);
  const Row& full = rows[1];
  EXPECT_EQ(full.method, "wilson");
  EXPECT_TRUE(full.covers(simtest::mm1kAt(4, 1.0, 1.1, 2.0)[4])) << full.lower << " " << full.upper;
  EXPECT_EQ(rows[3].method, "student_t");
  // The transient paths run to t = 2 only: a handful of events each, not
  // the long run's 11,000.
  EXPECT_LT(full.events, 20 * full.replications) << full.events;
  EXPECT_EQ(rows[4].method, "ratio");
  EXPECT_TRUE(rows[4].covers(simtest::mm1kMean(4, 1.0 / 1.1))) << rows[4].lower << " " << rows[4].upper;
}

// For a probability near 1, -r applies to 1 - p: P(not full at 2) is about
// 0.96, so 10% of it is reached with a few hundred replications, 10% of the
// 0.04 left only with thousands.
TEST(SimulatorIntervals, PrecisionOfAProbabilityNearOneIsThatOfItsComplement) {
  TempDir dir;
  const auto rows =
      simulate(modelProgram("mm1k", "simulate"), 0, {"-S5", "-r0.1", "-k200", "-R50000", "-Vnot_full"}, dir);
  ASSERT_EQ(rows.size(), 1u);
  const double exact = 1.0 - simtest::mm1kAt(4, 1.0, 1.1, 2.0)[4];
  EXPECT_EQ(rows[0].precision, "ok");
  EXPECT_LE(rows[0].halfWidth, 0.1 * (1.0 - rows[0].value));
  EXPECT_GT(rows[0].replications, 5000u);
  EXPECT_TRUE(rows[0].covers(exact)) << rows[0].lower << " " << rows[0].upper << " " << exact;
}

// A mean number present of 0.74 is not a probability, though every
// replication's average lies in [0, 1]: the states hold up to 5 jobs, so -r
// applies to 0.74 itself and not to the 0.26 below 1.
TEST(SimulatorIntervals, AnAverageBelowOneOfLargerRewardsIsNoProbability) {
  TempDir dir;
  const auto rows =
      simulate(modelProgram("md1k", "simulate"), 4, {"-S3", "-R20000", "-W100", "-L2000", "-Vnumber"}, dir);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].precision, "ok");
  EXPECT_GT(rows[0].halfWidth, 0.01 * (1.0 - rows[0].value));
  EXPECT_TRUE(rows[0].covers(md1kExact(5).number)) << rows[0].lower << " " << rows[0].upper;
}

// -t chooses the time points: the mean number present at 1 and 3 instead of
// the model's 2, against the uniformised law.
TEST(SimulatorIntervals, TimePointsFromTheCommandLine) {
  TempDir dir;
  const auto rows = simulate(modelProgram("mm1k", "simulate"), 0, {"-S6", "-c0.99", "-R4000", "-Vjobs", "-t1,3"}, dir);
  ASSERT_EQ(rows.size(), 2u);
  for (const Row& r : rows) {
    const auto law = simtest::mm1kAt(4, 1.0, 1.1, r.stop);
    double mean = 0;
    for (std::size_t n = 0; n < law.size(); n++) mean += static_cast<double>(n) * law[n];
    EXPECT_TRUE(r.covers(mean)) << "t = " << r.stop << ": " << mean << " outside [" << r.lower << ", " << r.upper
                                << "]";
  }
  EXPECT_EQ(rows[0].stop, 1.0);
  EXPECT_EQ(rows[1].stop, 3.0);
}

// The M/M/1/40 queue at load 0.95, started empty, with 10 warm-up and 100
// observed events: the observations sit near 5 where the long run is
// 13.298. With a budget of one round the check can only mark the estimate;
// with two it lengthens the warm-up after the first. Never ok.
TEST(SimulatorWarmup, ShortWarmupIsLengthenedOrMarked) {
  const std::vector<std::string> args = {"-S2", "-k100", "-W10", "-L100", "-Vss_jobs"};
  TempDir one, two;
  testsupport::RunResult run;
  auto withBudget = [&](const char* budget) {
    std::vector<std::string> all = args;
    all.push_back(budget);
    return all;
  };
  const auto marked = simulate(modelProgram("mm1k", "simulate"), 1, withBudget("-R100"), one, &run);
  ASSERT_EQ(marked.size(), 1u);
  EXPECT_EQ(marked[0].precision, "possibly_biased") << run.out;
  EXPECT_NE(run.out.find("POSSIBLY BIASED"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("may be biased"), std::string::npos) << run.out;
  const auto lengthened = simulate(modelProgram("mm1k", "simulate"), 1, withBudget("-R200"), two, &run);
  ASSERT_EQ(lengthened.size(), 1u);
  EXPECT_NE(lengthened[0].precision, "ok") << run.out;
  EXPECT_NE(run.out.find("the warm-up was lengthened from 10 (-W) 1 time"), std::string::npos) << run.out;
}

// Budgets: the time budget binds by default; -T stops a replication under
// way; -W and -L that overflow 64 bits are refused; -T past what a clock
// holds is taken; progress comes a line a second at most.
TEST(SimulatorBudgets, TimeBudgetBindsAndLimitsHold) {
  TempDir dir;
  const std::string prefix = "-P" + dir.path() + "/";
  const std::string mm1k = modelProgram("mm1k", "simulate");
  const auto timed = runProgram(mm1k, {prefix, "-Nx", "-Vjobs", "-r1e-9", "-T0.3"}, dir.path());
  ASSERT_EQ(timed.status, 0) << timed.err;
  EXPECT_NE(timed.out.find("Stopped: the wall-time budget (0.3 s) ran out"), std::string::npos) << timed.out;
  std::size_t lines = 0;
  for (const auto& line : splitLines(timed.err)) lines += line.rfind("simulate: ", 0) == 0 ? 1 : 0;
  EXPECT_LE(lines, 2u) << timed.err;

  const auto endless = runProgram(mm1k, {prefix, "-Nx", "-B1", "-Vss_jobs", "-W1000000000000", "-T0.3"}, dir.path());
  EXPECT_EQ(endless.status, 1);
  EXPECT_NE(endless.err.find("wall-time budget"), std::string::npos) << endless.err;

  const auto wrap = runProgram(mm1k, {prefix, "-Nx", "-W18446744073709551615", "-L2"}, dir.path());
  EXPECT_EQ(wrap.status, 1);
  EXPECT_NE(wrap.err.find("below 2^64"), std::string::npos) << wrap.err;

  const auto far = runProgram(mm1k, {prefix, "-Nx", "-Vjobs", "-R200", "-T1e10"}, dir.path());
  ASSERT_EQ(far.status, 0) << far.err;
  EXPECT_NE(far.out.find("Stopped: the replication budget (200) was reached"), std::string::npos) << far.out;
}

}  // namespace
