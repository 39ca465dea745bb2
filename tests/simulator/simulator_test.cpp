// The simulator against values computed another way: Student's quantiles,
// the M/D/1/K queue's embedded chain, solve on the model library's chains and
// on an all-exponential copy of the compiled-in model, solve's exact steady
// state of models with fixed delays; and against itself on
// other thread and process counts.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Statistics.h"
#include "TestSupport.h"

namespace {

using testsupport::readFile;
using testsupport::runProgram;
using testsupport::ScopedEnv;
using testsupport::splitLines;
using testsupport::TempDir;

struct Row {
  std::string variable, kind;
  double start = 0, stop = 0, value = 0, halfWidth = 0;
  std::string precision;
};

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, ',')) out.push_back(field);
  if (!line.empty() && line.back() == ',') out.emplace_back();
  return out;
}

double real(const std::string& text) { return text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr); }

// simulate's CSV: variable,kind,start,stop,estimate,half_width,level,replications,events,precision.
std::vector<Row> readSimulated(const std::string& path) {
  std::vector<Row> rows;
  const auto lines = splitLines(readFile(path));
  for (std::size_t i = 1; i < lines.size(); i++) {
    if (lines[i].empty()) continue;
    const auto f = fields(lines[i]);
    if (f.size() < 10) continue;
    rows.push_back(Row{f[0], f[1], real(f[2]), real(f[3]), real(f[4]), real(f[5]), f[9]});
  }
  return rows;
}

// solve's CSV: variable,kind,start,stop,value,method,iterations,error_bound.
std::vector<Row> readSolved(const std::string& path) {
  std::vector<Row> rows;
  const auto lines = splitLines(readFile(path));
  for (std::size_t i = 1; i < lines.size(); i++) {
    if (lines[i].empty()) continue;
    const auto f = fields(lines[i]);
    if (f.size() < 5) continue;
    rows.push_back(Row{f[0], f[1], real(f[2]), real(f[3]), real(f[4]), 0.0, ""});
  }
  return rows;
}

std::string modelProgram(const std::string& stem, const std::string& program) {
  return std::string(GEN_MODELS_DIR) + "/" + stem + "/" + program;
}

// Runs `program` for experiment `experiment` into `dir` and reads its CSV.
std::vector<Row> simulate(const std::string& program, int experiment, std::vector<std::string> args,
                          const TempDir& dir) {
  std::vector<std::string> all = {"-P" + dir.path() + "/", "-Nsim", "-B" + std::to_string(experiment)};
  all.insert(all.end(), args.begin(), args.end());
  const auto run = runProgram(program, all, dir.path());
  EXPECT_EQ(run.status, 0) << program << "\n" << run.out << run.err;
  return readSimulated(dir.file("sim.sim.csv"));
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
      if (s.precision == "never_observed" || s.precision == "same_in_every_replication") {
        // Every replication saw the same value: all the simulator claims is
        // that departures from it are rare, in less than -ln(0.01) / n of
        // the replications at 99% (n >= 100 here), so the mean lies that
        // share of the value's scale away at most.
        EXPECT_LE(std::fabs(e.value - s.value), 4.61 / 100 * std::max(1.0, std::fabs(s.value)))
            << what << ": " << e.variable << " at " << e.stop;
        continue;
      }
      EXPECT_LE(std::fabs(s.value - e.value), s.halfWidth)
          << what << ": " << e.variable << " " << e.kind << " [" << e.start << ", " << e.stop << "]: solve " << e.value
          << ", simulate " << s.value << " +- " << s.halfWidth;
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
  const auto rows = readSimulated(dir.file("x.sim.csv"));
  ASSERT_EQ(rows.size(), 3u);
  for (const Row& r : rows) EXPECT_NE(r.precision, "ok");
  EXPECT_NE(readFile(dir.file("x.reliability.svg")).find("<svg"), std::string::npos);
}

}  // namespace
