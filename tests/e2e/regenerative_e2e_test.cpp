// Models with deterministic delays through gen -U and solve's embedded
// Markov regenerative chain, against values derived here another way: the
// M/D/1/K queue's closed form, a restart clock that is never interrupted,
// and a maintenance clock that failures preempt.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

using namespace testsupport;

namespace {

struct Solved {
  RunResult solve;
  std::map<std::string, double> values;  // steady-state value by variable
};

// gen -U of the model file's experiment, then solve; the values from the CSV.
Solved solveModel(const TempDir& dir, const std::string& stem, int experiment,
                  const std::vector<std::string>& solveArgs = {}) {
  const std::string gen = std::string(GEN_MODELS_DIR) + "/" + stem + "/gen";
  const RunResult g =
      runProgram(gen, {"-P" + dir.path() + "/", "-N" + stem, "-B" + std::to_string(experiment), "-U"}, dir.path());
  EXPECT_EQ(g.status, 0) << g.err;
  std::vector<std::string> args{"-P" + dir.path() + "/", "-N" + stem};
  args.insert(args.end(), solveArgs.begin(), solveArgs.end());
  Solved s{runProgram(SOLVE_BINARY, args, dir.path()), {}};
  if (s.solve.status != 0) return s;
  std::istringstream csv(readFile(dir.file(stem + ".results.csv")));
  std::string line;
  std::getline(csv, line);
  while (std::getline(csv, line)) {
    // variable,kind,start,stop,value,...
    std::vector<std::string> field;
    std::stringstream row(line);
    for (std::string f; std::getline(row, f, ',');) field.push_back(f);
    if (field.size() > 4) s.values[field[0]] = std::strtod(field[4].c_str(), nullptr);
  }
  return s;
}

double poisson(double mean, int k) {
  double p = std::exp(-mean);
  for (int i = 1; i <= k; i++) p *= mean / i;
  return p;
}

// M/D/1/K with arrival rate lambda and service time 1 (rho = lambda). At
// departure instants the number left behind, on 0..K-1, is a Markov chain:
// from i >= 1 it goes to min(i - 1 + A, K - 1), from 0 (the next job starts
// an idle server) to min(A, K - 1), A ~ Poisson(lambda) the arrivals during
// one service. By renewal-reward over the cycles between departures (mean
// length pi_0 / lambda + 1, the idle time being exponential), the time
// averages are p_n = pi_n / (pi_0 + rho) for n < K and p_K = 1 - 1 / (pi_0 +
// rho); by PASTA the loss probability is p_K.
std::vector<double> md1kDistribution(int K, double lambda) {
  std::vector<std::vector<double>> P(K, std::vector<double>(K, 0.0));
  for (int i = 0; i < K; i++) {
    const int base = i == 0 ? 0 : i - 1;
    double left = 1.0;
    for (int j = base; j < K - 1; j++) {
      P[i][j] = poisson(lambda, j - base);
      left -= P[i][j];
    }
    P[i][K - 1] += left;
  }
  // pi P = pi, sum pi = 1, by Gaussian elimination on (P^T - I) with the
  // last equation replaced by the normalisation.
  std::vector<std::vector<double>> a(K, std::vector<double>(K + 1, 0.0));
  for (int j = 0; j < K; j++)
    for (int i = 0; i < K; i++) a[j][i] = P[i][j] - (i == j ? 1.0 : 0.0);
  for (int i = 0; i <= K; i++) a[K - 1][i] = 1.0;
  for (int c = 0; c < K; c++) {
    int pivot = c;
    for (int r = c + 1; r < K; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    std::swap(a[c], a[pivot]);
    for (int r = 0; r < K; r++) {
      if (r == c) continue;
      const double f = a[r][c] / a[c][c];
      for (int i = c; i <= K; i++) a[r][i] -= f * a[c][i];
    }
  }
  std::vector<double> p(K + 1);
  const double pi0 = a[0][K] / a[0][0];
  for (int n = 0; n < K; n++) p[n] = (a[n][K] / a[n][n]) / (pi0 + lambda);
  p[K] = 1.0 - 1.0 / (pi0 + lambda);
  return p;
}

}  // namespace

TEST(Regenerative, MD1KClosedFormAsDerived) {
  // K = 1: the server alternates idle (mean 2) and busy (1): loss 1/3.
  EXPECT_NEAR(md1kDistribution(1, 0.5)[1], 1.0 / 3, 1e-15);
  // K = 2: pi_0 = e^-0.5, the probability of no arrival during a service.
  EXPECT_NEAR(md1kDistribution(2, 0.5)[2], 1.0 - 1.0 / (std::exp(-0.5) + 0.5), 1e-15);
}

TEST(Regenerative, MD1KLossAndNumberInSystemMatchTheClosedForm) {
  for (int K = 1; K <= 5; K++) {
    SCOPED_TRACE("K = " + std::to_string(K));
    TempDir dir;
    const Solved s = solveModel(dir, "md1k", K - 1);
    ASSERT_EQ(s.solve.status, 0) << s.solve.err;
    const std::vector<double> p = md1kDistribution(K, 0.5);
    double number = 0;
    for (int n = 0; n <= K; n++) number += n * p[n];
    EXPECT_NEAR(s.values.at("loss"), p[K], 1e-9);
    EXPECT_NEAR(s.values.at("number"), number, 1e-9);
    EXPECT_NE(s.solve.out.find("regenerative"), std::string::npos) << s.solve.out;
  }
}

// A restart clock enabled in every state: each cycle lasts exactly the
// period T, and the age is a pure-birth chain through it, so the time in
// phase n < N per cycle is integral_0^T P(Poisson(a t) = n) dt =
// P(Poisson(a T) > n) / a, and restarts come at rate 1 / T.
TEST(Regenerative, NeverInterruptedClockMatchesThePoissonIntegrals) {
  struct Experiment {
    int N;
    double period, aging;
  };
  const Experiment experiments[] = {{3, 2.0, 0.7}, {3, 8.0, 0.7}, {12, 5.0, 2.0}};
  for (int e = 0; e < 3; e++) {
    const auto [N, T, a] = experiments[e];
    SCOPED_TRACE("experiment " + std::to_string(e));
    TempDir dir;
    const Solved s = solveModel(dir, "rejuvenation", e);
    ASSERT_EQ(s.solve.status, 0) << s.solve.err;
    double working = 0, meanAge = 0, below = 0;
    for (int n = 0; n < N; n++) {
      below += poisson(a * T, n);
      const double share = (1.0 - below) / (a * T);
      working += share;
      meanAge += n * share;
    }
    meanAge += N * (1.0 - working);
    EXPECT_NEAR(s.values.at("failed"), 1.0 - working, 1e-10);
    EXPECT_NEAR(s.values.at("mean_age"), meanAge, 1e-9);
    EXPECT_NEAR(s.values.at("restarts"), 1.0 / T, 1e-10);
  }
}

// A maintenance clock that a failure preempts: an up period ends after
// min(X, T), X ~ Exp(f), with mean (1 - e^-fT) / f; a failure (probability
// 1 - e^-fT) is followed by a repair of mean 1/r, a completed clock by a
// maintenance of mean 1/s. Renewal-reward over these cycles gives the
// availability and the frequencies of maintenances and failures.
TEST(Regenerative, PreemptedClockMatchesRenewalReward) {
  const double f = 0.5, r = 2.0, s = 10.0;
  const double intervals[] = {1.0, 4.0};
  for (int e = 0; e < 2; e++) {
    const double T = intervals[e];
    SCOPED_TRACE("interval " + std::to_string(T));
    TempDir dir;
    const Solved solved = solveModel(dir, "maintenance", e);
    ASSERT_EQ(solved.solve.status, 0) << solved.solve.err;
    const double completed = std::exp(-f * T);
    const double up = (1.0 - completed) / f;
    const double cycle = up + (1.0 - completed) / r + completed / s;
    EXPECT_NEAR(solved.values.at("availability"), up / cycle, 1e-10);
    EXPECT_NEAR(solved.values.at("maintenances"), completed / cycle, 1e-10);
    EXPECT_NEAR(solved.values.at("failures"), (1.0 - completed) / cycle, 1e-10);
  }
}

// Outside the class solved exactly: every row is left to the simulator,
// with the reason, and solve ends with status 3.
TEST(Regenerative, TwoDeterministicActivitiesEnabledTogetherAreLeftToTheSimulator) {
  TempDir dir;
  const Solved s = solveModel(dir, "two_clocks", 0);
  EXPECT_EQ(s.solve.status, 3);
  EXPECT_NE(s.solve.err.find("State 0 (clocks.a = 0, clocks.b = 0) has the deterministic activities tick and tock "
                             "enabled together"),
            std::string::npos)
      << s.solve.err;
  EXPECT_NE(s.solve.err.find("; left for the simulator\n"), std::string::npos) << s.solve.err;
  EXPECT_NE(s.solve.out.find("simulate"), std::string::npos) << s.solve.out;
}

// One fixed delay at a time: the transient variables have values too.
TEST(Regenerative, TransientVariablesOfAOneDelayModelAreSolved) {
  TempDir dir;
  const Solved s = solveModel(dir, "lossy_link", 0);
  EXPECT_EQ(s.solve.status, 0) << s.solve.err;
  EXPECT_NE(readFile(dir.file("lossy_link.results.csv")).find("\nbuffer_level,instant,10,10,"), std::string::npos);
  EXPECT_NE(s.solve.out.find("age steps"), std::string::npos) << s.solve.out;
}

// Two bottom components reached from a transient state with probabilities
// 1/4 and 3/4, with cycles of 2 + 1 and 0.5 + 0.5: within each, the time
// shares come from its own cycle (1/3 and 1/2 in the second phase, one tick
// per cycle), weighed by the probability of ending there.
TEST(Regenerative, BottomComponentsAreWeighedByTheProbabilityOfEndingThere) {
  TempDir dir;
  const Solved s = solveModel(dir, "two_ways", 0);
  ASSERT_EQ(s.solve.status, 0) << s.solve.err;
  EXPECT_NEAR(s.values.at("second_phase"), 0.25 / 3 + 0.75 / 2, 1e-10);
  EXPECT_NEAR(s.values.at("ticks"), 0.25 / 3 + 0.75 / 1, 1e-10);
  EXPECT_NE(s.solve.err.find("2 bottom strongly connected component(s), 1 transient states"), std::string::npos)
      << s.solve.err;
}

// One token among three units of a Rep: a cycle is a wait of mean 1/3 for
// any unit to take it, the fixed 1.5 of work and a finish of mean 1/2, so
// a unit works 1.5 / (1/3 + 1.5 + 1/2) of the time, however the moods
// sort the working unit among the others.
TEST(Regenerative, ADelayInsideARepKeepsRunningWhenTheReplicasAreSorted) {
  TempDir dir;
  const Solved s = solveModel(dir, "rep_clock", 0);
  ASSERT_EQ(s.solve.status, 0) << s.solve.err;
  EXPECT_NEAR(s.values.at("working"), 1.5 / (1.0 / 3 + 1.5 + 0.5), 1e-10);
}

namespace {

// Each row of a CSV as field by column name, keyed by variable, start and
// stop.
std::map<std::string, std::map<std::string, std::string>> csvRows(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> head;
  std::stringstream first(line);
  for (std::string f; std::getline(first, f, ',');) head.push_back(f);
  std::map<std::string, std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    std::map<std::string, std::string> row;
    std::stringstream fields(line);
    std::size_t i = 0;
    for (std::string f; std::getline(fields, f, ',') && i < head.size(); i++) row[head[i]] = f;
    rows[row["variable"] + " " + row["start"] + " " + row["stop"]] = row;
  }
  return rows;
}

}  // namespace

// The duplex controller with one timer, the watchdog or the overhaul: every
// transient variable (the reliability R(t) among them) gets a value from
// solve, within the simulator's 99.9% interval (fixed seed) and with an
// error estimate far inside it.
TEST(Regenerative, OneTimerDuplexTransientValuesLieInTheSimulatorsIntervals) {
  const std::string simulateDir = std::string(GEN_MODELS_DIR) + "/";
  const std::pair<std::string, int> runs[] = {{"duplex_watchdog", 0}, {"duplex_watchdog", 1}, {"duplex_overhaul", 0}};
  for (const auto& [stem, experiment] : runs) {
    SCOPED_TRACE(stem + " experiment " + std::to_string(experiment));
    const std::string simulate = simulateDir + stem + "/simulate";
    if (!fileExists(simulate)) GTEST_SKIP() << "simulate is not built (no pcg-cpp)";
    TempDir dir;
    const Solved s = solveModel(dir, stem, experiment);
    ASSERT_EQ(s.solve.status, 0) << s.solve.err;
    const RunResult sim = runProgram(
        simulate,
        {"-P" + dir.path() + "/", "-N" + stem, "-B" + std::to_string(experiment), "-S1", "-R20000", "-c0.999", "-T1e9"},
        dir.path());
    ASSERT_EQ(sim.status, 0) << sim.err;
    const auto exact = csvRows(readFile(dir.file(stem + ".results.csv")));
    const auto estimated = csvRows(readFile(dir.file(stem + ".sim.csv")));
    ASSERT_FALSE(exact.empty());
    for (const auto& [key, row] : exact) {
      ASSERT_EQ(row.at("method"), "age steps") << key;
      ASSERT_TRUE(estimated.count(key)) << key;
      const double value = std::stod(row.at("value")), error = std::stod(row.at("error_bound"));
      const double lower = std::stod(estimated.at(key).at("lower")), upper = std::stod(estimated.at(key).at("upper"));
      EXPECT_LE(lower, value) << key;
      EXPECT_LE(value, upper) << key;
      EXPECT_LT(error, (upper - lower) / 100) << key;
    }
    if (stem == "duplex_overhaul") {
      // Within a period both units fail by s with probability (1 - e^(-s/20))^2,
      // and each overhaul renews the system: R(60) = R(10)^6.
      auto within = [](double s) { return 1 - std::pow(1 - std::exp(-0.05 * s), 2); };
      EXPECT_NEAR(std::stod(exact.at("reliability 60 60").at("value")), std::pow(within(10), 6), 1e-9);
      EXPECT_NEAR(std::stod(exact.at("reliability 5 5").at("value")), within(5), 1e-9);
    }
  }
}
