// The numerical core of solve against values computed elsewhere: Poisson
// probabilities, closed forms of small chains, the direct solver, and the
// published results of PRISM's small CTMC rewards fixture.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Components.h"
#include "FoxGlynn.h"
#include "Measures.h"
#include "SolverTestSupport.h"
#include "UmbReader.h"

using namespace solver;
using solvertest::TestChain;
using solvertest::TestReward;

namespace {

// What solve computes for a chain written and read back as a .umb: its
// rows, or why it gives none.
Outcome<std::vector<ResultRow>> trySolve(const TestChain& chain, const Options& options) {
  solvertest::TempDir dir;
  solvertest::writeRun(dir.path(), "m", chain);
  auto umb = UmbReader::open(dir.file("m.umb"));
  if (!umb) return umb.error();
  return computeMeasures(**umb, options, [](const std::string&) {});
}

// The rows, where the chain must be solved.
std::vector<ResultRow> solveChain(const TestChain& chain, const Options& options = Options()) {
  auto rows = trySolve(chain, options);
  EXPECT_TRUE(rows.ok()) << (rows.ok() ? "" : rows.error().message);
  return rows ? *rows : std::vector<ResultRow>{};
}

double valueOf(const std::vector<ResultRow>& rows, const std::string& variable, double stop = 0) {
  for (const ResultRow& r : rows)
    if (r.variable == variable && (r.kind == RewardKind::SteadyState || r.stop == stop)) return r.value;
  ADD_FAILURE() << "no value for " << variable << " at " << stop;
  return NAN;
}

long double poisson(double lambda, long k) {
  const long double l = lambda;
  return std::exp(static_cast<long double>(k) * std::log(l) - l - std::lgamma(static_cast<long double>(k) + 1));
}

}  // namespace

TEST(FoxGlynn, WeightsAreThePoissonProbabilitiesWithinTheTruncation) {
  for (double lambda : {0.5, 10.0, 1000.0, 1e6}) {
    const double epsilon = 1e-12;
    auto w = foxGlynn(lambda, epsilon);
    ASSERT_TRUE(w.ok());
    EXPECT_LE(w->left, static_cast<long>(lambda));
    EXPECT_GE(w->right, static_cast<long>(lambda));
    EXPECT_LE(w->truncated, epsilon);
    double sum = 0;
    for (double p : w->weights) sum += p;
    EXPECT_NEAR(sum, 1.0, epsilon) << lambda;
    for (long k : {w->left, (w->left + w->right) / 2, static_cast<long>(lambda), w->right}) {
      const double expected = static_cast<double>(poisson(lambda, k));
      EXPECT_NEAR(w->weights[k - w->left] / expected, 1.0, 1e-9) << "lambda " << lambda << " k " << k;
    }
    // Each tail beyond the points holds at most epsilon / 2: the next term
    // outside is already below that.
    if (w->left > 0) {
      EXPECT_LT(static_cast<double>(poisson(lambda, w->left - 1)), epsilon / 2);
    }
    EXPECT_LT(static_cast<double>(poisson(lambda, w->right + 1)), epsilon / 2);
  }
  // Known values: e^-1, and P(N = 10) for lambda = 10.
  EXPECT_DOUBLE_EQ(foxGlynn(1.0, 1e-12)->weights[0], 0.36787944117144233);
  auto ten = foxGlynn(10.0, 1e-12);
  EXPECT_NEAR(ten->weights[10 - ten->left], 0.12511003572113329, 1e-15);
  EXPECT_FALSE(foxGlynn(-1.0, 1e-12).ok());
}

// A birth-death chain: pi_k proportional to (birth/death)^k.
// PRISM's ctmc_rewards fixture (prism-tests, functionality/verify/ctmcs/
// rewards/ctmc_rewards.sm): 0 -> 1 -> 2 -> 3 at rates 5, 7, 11, a self-loop
// of rate 13 on 3; state rewards 2, 5, 11 on 0, 1, 2 and impulses 3 and 7 on
// the moves out of 0 and 1 (reward "a"). The expected values are PRISM's, to
// the five decimals it publishes. Its instantaneous reward counts state
// rewards only, so the instant checks use the state part ("a_state").
TEST(PrismFixture, CtmcRewardsInstantCumulativeAndSteadyState) {
  TestChain chain(4);
  chain.rate(0, 1, 5).rate(1, 2, 7).rate(2, 3, 11).rate(3, 3, 13);
  const std::vector<double> state{2, 5, 11, 0};
  chain.rewards = {
      {"a_state", "instant", {{0, 0}, {0.1, 0.1}, {0.5, 0.5}, {1, 1}}, state, {}},
      {"a", "interval", {{0, 0}, {0, 0.1}, {0, 0.5}, {0, 1}, {0, 10}, {0, 100}}, state, {{{0, 1}, 3.0}, {{1, 2}, 7.0}}},
      {"a_long_run", "steady_state", {}, state, {{{0, 1}, 3.0}, {{1, 2}, 7.0}}}};
  const auto rows = solveChain(chain);
  EXPECT_NEAR(valueOf(rows, "a_state", 0), 2.0, 1e-12);
  EXPECT_NEAR(valueOf(rows, "a_state", 0.1), 3.48854, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a_state", 0.5), 2.05864, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a_state", 1), 0.25886, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a", 0), 0.0, 1e-12);
  EXPECT_NEAR(valueOf(rows, "a", 0.1), 2.28944, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a", 0.5), 9.87621, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a", 1), 11.89005, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a", 10), 12.11429, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a", 100), 12.11429, 5e-6);
  EXPECT_NEAR(valueOf(rows, "a_long_run"), 0.0, 1e-12);
  // The total reward in closed form, 2/5 + 3 + 5/7 + 7 + 11/11, within the
  // error bound reported.
  for (const ResultRow& r : rows)
    if (r.variable == "a" && r.stop == 100) {
      EXPECT_LE(std::fabs(r.value - (2.0 / 5 + 3 + 5.0 / 7 + 7 + 1)), r.errorBound);
      EXPECT_LT(r.errorBound, 1e-7);
    }
}

// A time-averaged variable is the interval's value over its length, and an
// instant variable with an impulse part counts the rate at which impulses
// are earned.
TEST(Transient, TimeAveragedAndImpulseRates) {
  TestChain chain(2);
  chain.rate(0, 1, 2.0).rate(1, 0, 3.0);
  chain.rewards = {{"up", "time_averaged", {{1, 3}}, {1, 0}, {}},
                   {"up_total", "interval", {{1, 3}}, {1, 0}, {}},
                   {"failures", "instant", {{2, 2}}, {}, {{{0, 1}, 1.0}}}};
  const auto rows = solveChain(chain);
  // P(up at t) = 3/5 + 2/5 e^(-5t); its integral over [1, 3].
  const double integral = 2 * 0.6 + 0.4 / 5 * (std::exp(-5.0) - std::exp(-15.0));
  EXPECT_NEAR(valueOf(rows, "up_total", 3), integral, 1e-10);
  EXPECT_NEAR(valueOf(rows, "up", 3), integral / 2, 1e-10);
  EXPECT_NEAR(valueOf(rows, "failures", 2), 2.0 * (0.6 + 0.4 * std::exp(-10.0)), 1e-10);
}

TEST(SteadyState, NonConvergenceIsAnErrorWithTheFigureReached) {
  TestChain chain(30);
  TestReward r{"x", "steady_state", {}, std::vector<double>(30, 1.0), {}};
  for (int k = 0; k + 1 < 30; k++) chain.rate(k, k + 1, 1.0).rate(k + 1, k, 2.0);
  chain.rewards = {r};
  solvertest::TempDir dir;
  solvertest::writeRun(dir.path(), "m", chain);
  auto umb = UmbReader::open(dir.file("m.umb"));
  ASSERT_TRUE(umb.ok());
  Options o;
  o.steady.method = Method::GaussSeidel;
  o.steady.maxIterations = 3;
  auto rows = computeMeasures(**umb, o, [](const std::string&) {});
  ASSERT_FALSE(rows.ok());
  EXPECT_NE(rows.error().message.find("did not converge"), std::string::npos) << rows.error().message;
  EXPECT_NE(rows.error().message.find("after 3 iterations"), std::string::npos) << rows.error().message;
}

namespace {

// A cycle run against the state numbering, k -> k-1: each Gauss-Seidel sweep
// moves the iterate one place round, so it never settles.
void reverseCycle(TestChain& chain, int first, int length, double rate) {
  for (int k = 0; k < length; k++) chain.rate(first + k, first + (k + length - 1) % length, rate + 0.25 * k);
}

// The default method's steady-state values and the method column, beside
// the direct solver's values.
void expectDefaultMatchesDirect(const TestChain& chain, const std::string& method, int directLimit = 10000) {
  Options direct, automatic;
  direct.steady.method = Method::Direct;
  automatic.steady.directLimit = directLimit;
  const auto want = solveChain(chain, direct);
  const auto got = solveChain(chain, automatic);
  ASSERT_EQ(got.size(), want.size());
  ASSERT_FALSE(got.empty());
  for (std::size_t k = 0; k < got.size(); k++)
    EXPECT_NEAR(got[k].value, want[k].value, 1e-9 * (1 + std::fabs(want[k].value))) << got[k].variable;
  EXPECT_EQ(got[0].method, method);
}

// Five states: 0 enters a 4-state bottom component whose jump chain has
// period 3 (1 -> 2 -> 3 -> 1 and 2 -> 3 -> 4 -> 2, each run against the
// numbering).
TestChain periodicChain() {
  TestChain chain(5);
  chain.rate(0, 3, 1.0).rate(3, 2, 2.0).rate(2, 1, 1.0).rate(2, 4, 3.0).rate(1, 3, 5.0).rate(4, 3, 0.5);
  chain.rewards = {{"where", "steady_state", {}, {0, 1, 2, 3, 4}, {}},
                   {"moves", "steady_state", {}, {}, {{{2, 4}, 1.0}}}};
  return chain;
}

// 465 transient states (a ladder with moves back) feeding four bottom
// components of 25 states, each a cycle against the numbering.
TestChain ladderIntoCycles() {
  const int transient = 465, size = 25, n = transient + 4 * size;
  TestChain chain(n);
  TestReward level{"level", "steady_state", {}, {}, {}};
  for (int k = 0; k < n; k++) level.rates.push_back(k % 7);
  for (int k = 0; k < transient; k++) {
    if (k + 1 < transient) chain.rate(k, k + 1, 3.0);
    if (k > 0) chain.rate(k, k - 1, 2.5);
    if (k % 50 == 49 || k + 1 == transient) chain.rate(k, transient + size * (k % 4), 0.01 * (1 + k % 3));
  }
  for (int b = 0; b < 4; b++) reverseCycle(chain, transient + size * b, size, 1.0 + b);
  chain.rewards = {level};
  return chain;
}

// State 0 leaves fast and is entered slowly, and each later state is entered
// only from the one before.
TestChain unequalCycle() {
  TestChain chain(3);
  chain.rate(0, 1, 100).rate(1, 2, 100).rate(2, 0, 1);
  chain.rewards = {{"in_2", "steady_state", {}, {0, 0, 1}, {}}};
  return chain;
}

// From 0 the chain ends in {1, 2} with probability 1/4 and in {3, 4} with
// 3/4; 0 does not reach states 5 to 7.
TestChain partlyReachable() {
  TestChain chain(8);
  chain.rate(0, 1, 1).rate(0, 3, 3).rate(1, 2, 1).rate(2, 1, 1).rate(3, 4, 2).rate(4, 3, 2);
  chain.rate(5, 0, 1).rate(5, 6, 1).rate(6, 7, 1).rate(7, 6, 1);
  chain.rewards = {{"in_12", "steady_state", {}, {0, 1, 1, 0, 0, 1, 1, 1}, {}}};
  return chain;
}

}  // namespace

// Gauss-Seidel stalls on the periodic component and the automatic method
// hands it to the direct solver; with the direct solver's limit below 25,
// the ladder's cycles go to BiCGSTAB.
TEST(SteadyState, DefaultMethodNamesWhereGaussSeidelStalled) {
  expectDefaultMatchesDirect(periodicChain(), "gs+direct");
  expectDefaultMatchesDirect(ladderIntoCycles(), "gs+direct");
  expectDefaultMatchesDirect(ladderIntoCycles(), "gs+bicgstab", 20);
}

// A path of a million states: the component search keeps its own stack, so
// depth is no limit; every state but the last is transient.
TEST(SteadyState, LongPathEndsInItsLastState) {
  const int n = 1000000;
  TestChain chain(n);
  for (int k = 0; k + 1 < n; k++) chain.rate(k, k + 1, 1.0 + k % 3);
  std::vector<double> last(n, 0.0);
  last[n - 1] = 1.0;
  chain.rewards = {{"at_end", "steady_state", {}, last, {}}};
  const auto rows = solveChain(chain);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NEAR(rows[0].value, 1.0, 1e-12);
}

// A cycle 0 -> 1 -> ... -> 0 with a rate of its own on every move, more of
// them than the table of shared rates holds: pi_i is proportional to 1 / r_i,
// so the long-run rate of moves is n / sum_i 1 / r_i.
TEST(SteadyState, CycleWithMoreDistinctRatesThanTheTableHoldsMatchesTheClosedForm) {
  const int n = 70000;
  TestChain chain(n);
  TestReward moves{"moves", "steady_state", {}, {}, {}};
  double sojourn = 0;
  for (int i = 0; i < n; i++) {
    const double r = 1.0 + i / 1024.0;
    chain.rate(i, (i + 1) % n, r);
    moves.rates.push_back(r);
    sojourn += 1.0 / r;
  }
  chain.rewards = {moves};
  const auto rows = solveChain(chain);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NEAR(rows[0].value / (n / sojourn), 1.0, 1e-9);
}

// The products of power iteration and uniformisation are cut into the same
// blocks whatever the number of threads, each row summed in one order: one
// thread and two give the same bits. The chain is larger than a block, and
// power iteration agrees with Gauss-Seidel.
TEST(SteadyState, ProductsGiveTheSameBitsOnOneThreadAndOnTwo) {
  const int n = 50000;
  TestChain chain(n);
  TestReward low{"low", "steady_state", {}, {}, {}};
  TestReward lowAt{"low_at", "instant", {{0.5, 0.5}}, {}, {}};
  const double rates[] = {0.5, 1.0, 2.5};
  for (int i = 0; i < n; i++) {
    chain.rate(i, (i + 1) % n, rates[i % 3]);
    chain.rate(i, static_cast<int>((7LL * i + 3) % n), rates[(i / 3) % 3]);
    chain.rate(i, static_cast<int>((13LL * i + 5) % n), 1.0);
    low.rates.push_back(i < n / 10 ? 1.0 : 0.0);
  }
  lowAt.rates = low.rates;
  chain.rewards = {low, lowAt};
  Options power;
  power.steady.method = Method::Power;
  std::vector<std::vector<ResultRow>> runs;
  for (const char* threads : {"1", "2"}) {
    setenv("GEN_THREADS", threads, 1);
    runs.push_back(solveChain(chain, power));
  }
  unsetenv("GEN_THREADS");
  ASSERT_EQ(runs[0].size(), 2u);
  ASSERT_EQ(runs[1].size(), 2u);
  for (std::size_t r = 0; r < 2; r++) {
    EXPECT_EQ(runs[0][r].value, runs[1][r].value) << runs[0][r].variable;
    EXPECT_EQ(runs[0][r].iterations, runs[1][r].iterations);
  }
  const auto gs = solveChain(chain);
  EXPECT_NEAR(valueOf(gs, "low") / valueOf(runs[1], "low"), 1.0, 1e-9);
}

// The component search runs on the predecessors: states the initial state
// does not reach, one leading into the reachable part and two forming a
// bottom component of their own, are left out.
TEST(SteadyState, StatesTheInitialStateDoesNotReachAreLeftOut) {
  const TestChain chain = partlyReachable();
  solvertest::TempDir dir;
  solvertest::writeRun(dir.path(), "m", chain);
  auto umb = UmbReader::open(dir.file("m.umb"));
  ASSERT_TRUE(umb.ok());
  std::vector<std::string> notes;
  auto rows = computeMeasures(**umb, Options(), [&](const std::string& line) { notes.push_back(line); });
  ASSERT_TRUE(rows.ok()) << rows.error().message;
  EXPECT_NEAR(valueOf(*rows, "in_12"), 0.25, 1e-12);
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes[0], "5 states reachable: 2 bottom strongly connected component(s), 1 transient states");
}

// SOR's first sweep on the unequal cycle overshoots below 0 in every state:
// cut at 0, the iterate is empty. The sweep starts again with plain
// Gauss-Seidel values where the relaxed ones would be negative.
TEST(SteadyState, SorThatEmptiesTheIterateStartsAgainAndConverges) {
  Options o;
  o.steady.method = Method::Sor;
  const auto rows = solveChain(unequalCycle(), o);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NEAR(rows[0].value, 100.0 / 102.0, 1e-10);
}

// Every steady-state method on each chain below: the values computed another
// way (a closed form, PRISM's published values, the direct solver), or, for
// a method that cannot solve the chain, an error and no value.
class EveryMethod : public testing::TestWithParam<Method> {
 protected:
  Options options() const {
    Options o;
    o.steady.method = GetParam();
    return o;
  }
  // The rows by this test's method; none when it must refuse (`refuses`).
  std::vector<ResultRow> solveOrRefuse(const TestChain& chain, bool refuses = false) {
    auto rows = trySolve(chain, options());
    if (refuses) {
      EXPECT_FALSE(rows.ok()) << "a value from a method that cannot solve this chain";
      return {};
    }
    EXPECT_TRUE(rows.ok()) << (rows.ok() ? "" : rows.error().message);
    return rows ? *rows : std::vector<ResultRow>{};
  }
  bool sweeps() const { return GetParam() == Method::GaussSeidel || GetParam() == Method::Sor; }
  // The same values as the direct solver's.
  void expectDirectValues(const TestChain& chain, bool refuses = false) {
    Options direct;
    direct.steady.method = Method::Direct;
    const auto want = solveChain(chain, direct);
    const auto got = solveOrRefuse(chain, refuses);
    if (refuses) return;
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); k++)
      EXPECT_NEAR(got[k].value, want[k].value, 1e-9 * (1 + std::fabs(want[k].value))) << got[k].variable;
  }
};

INSTANTIATE_TEST_SUITE_P(Methods, EveryMethod, testing::ValuesIn(kMethods),
                         [](const testing::TestParamInfo<Method>& info) {
                           return std::string(methodName(info.param));
                         });

TEST_P(EveryMethod, BirthDeathMatchesTheClosedForm) {
  const int n = 40;
  const double birth = 1.5, death = 2.0;
  TestChain chain(n);
  TestReward level{"level", "steady_state", {}, {}, {}};
  for (int k = 0; k < n; k++) {
    if (k + 1 < n) chain.rate(k, k + 1, birth);
    if (k > 0) chain.rate(k, k - 1, death);
    level.rates.push_back(k);
  }
  chain.rewards = {level};
  double norm = 0, mean = 0;
  for (int k = 0; k < n; k++) {
    norm += std::pow(birth / death, k);
    mean += k * std::pow(birth / death, k);
  }
  mean /= norm;
  const auto rows = solveOrRefuse(chain);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NEAR(rows[0].value / mean, 1.0, 1e-9);
  // The method column names the method (the automatic one starts with gs).
  const std::string name = GetParam() == Method::Automatic ? "gs" : methodName(GetParam());
  EXPECT_EQ(rows[0].method.substr(0, 2), name.substr(0, 2));
  // The error column estimates the error, not the last change (beside the
  // rounding of the sums, here and in solve).
  EXPECT_LE(std::fabs(rows[0].value - mean), rows[0].errorBound + 1e-14 * mean);
  EXPECT_LT(rows[0].errorBound, 1e-6 * mean);
}

// PRISM's ctmc_rewards_bsccs fixture: from state 0 the chain enters the
// bottom components {1, 2} (probability 0.4) and {3, 4} (0.6). R{"b"} S = 1,
// R{"c"} S = 15 (an impulse of 5 on each 3 -> 4), and R{"a"} C = 0.2 (the
// reward 2 earned for the 0.1 time units spent in state 0).
TEST_P(EveryMethod, TwoBottomComponentsAndATransientStateGivePrismValues) {
  TestChain chain(5);
  chain.rate(0, 1, 4).rate(0, 3, 6).rate(1, 2, 10).rate(2, 1, 10).rate(3, 4, 10).rate(4, 3, 10);
  chain.rewards = {{"a", "steady_state", {}, {2, 0, 0, 0, 0}, {}},
                   {"b", "steady_state", {}, {2, 5, 0, 0, 0}, {}},
                   {"c", "steady_state", {}, {2, 0, 0, 0, 0}, {{{3, 4}, 5.0}}},
                   {"a_total", "interval", {{0, 50}}, {2, 0, 0, 0, 0}, {}}};
  const auto rows = solveOrRefuse(chain);
  EXPECT_NEAR(valueOf(rows, "a"), 0.0, 1e-12);
  EXPECT_NEAR(valueOf(rows, "b"), 1.0, 1e-10);
  EXPECT_NEAR(valueOf(rows, "c"), 15.0, 1e-9);
  EXPECT_NEAR(valueOf(rows, "a_total", 50), 0.2, 1e-10);
}

// Gauss-Seidel and SOR move the iterate of a component whose jump chain is
// periodic round its cycle for ever (their sweeps follow the numbering, the
// cycles run against it): they say they did not converge.
TEST_P(EveryMethod, PeriodicBottomComponentMatchesTheDirectSolver) { expectDirectValues(periodicChain(), sweeps()); }

TEST_P(EveryMethod, ManyTransientStatesAndSeveralBottomComponentsMatchTheDirectSolver) {
  expectDirectValues(ladderIntoCycles(), sweeps());
}

// pi is proportional to 1 / rate out: (1, 1, 100) / 102 (the cycle on which
// SOR's first sweep empties the iterate).
TEST_P(EveryMethod, CycleOfUnequalRatesMatchesTheClosedForm) {
  const auto rows = solveOrRefuse(unequalCycle());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NEAR(rows[0].value, 100.0 / 102.0, 1e-10);
}

TEST_P(EveryMethod, StatesTheInitialStateDoesNotReachAreLeftOut) {
  EXPECT_NEAR(valueOf(solveOrRefuse(partlyReachable()), "in_12"), 0.25, 1e-12);
}

// Three iterations do not get Gauss-Seidel, SOR or power iteration through a
// 30-state birth and death chain: each says so. The direct solver needs
// none, the automatic method falls back on it, and BiCGSTAB's ILU(0) of a
// tridiagonal matrix is its exact factorisation.
TEST_P(EveryMethod, IterationLimitLeavesNoValue) {
  TestChain chain(30);
  for (int k = 0; k + 1 < 30; k++) chain.rate(k, k + 1, 1.0).rate(k + 1, k, 2.0);
  chain.rewards = {{"x", "steady_state", {}, std::vector<double>(30, 1.0), {}}};
  Options o = options();
  o.steady.maxIterations = 3;
  auto rows = trySolve(chain, o);
  if (GetParam() == Method::Direct || GetParam() == Method::Automatic || GetParam() == Method::Krylov) {
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    EXPECT_NEAR(valueOf(*rows, "x"), 1.0, 1e-12);
  } else {
    ASSERT_FALSE(rows.ok());
    EXPECT_NE(rows.error().message.find("did not converge"), std::string::npos) << rows.error().message;
  }
}

// The component search against reachability by brute force (a closure of
// the edge relation) on random graphs, sparse and dense, with self-loops,
// parallel edges and unreachable parts.
TEST(Components, MatchReachabilityOnRandomGraphs) {
  std::srand(7);
  for (int trial = 0; trial < 300; trial++) {
    const int n = 1 + std::rand() % 12, edges = std::rand() % (3 * n);
    std::vector<std::vector<char>> reach(n, std::vector<char>(n, 0));  // reach[i][j]: i leads to j
    std::vector<std::vector<int>> preds(n);
    for (int i = 0; i < n; i++) reach[i][i] = 1;
    for (int e = 0; e < edges; e++) {
      const int i = std::rand() % n, j = std::rand() % n;
      reach[i][j] = 1;
      preds[j].push_back(i);
    }
    for (int k = 0; k < n; k++)
      for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) reach[i][j] = reach[i][j] || (reach[i][k] && reach[k][j]);
    PredecessorGraph g;
    g.start.push_back(0);
    for (int j = 0; j < n; j++) {
      g.source.insert(g.source.end(), preds[j].begin(), preds[j].end());
      g.start.push_back(g.source.size());
    }
    const int initial = std::rand() % n;
    const Components found = findComponents(g, initial);
    for (int s = 0; s < n; s++) {
      bool bottom = true;  // everything s leads to leads back to s
      for (int t = 0; t < n; t++) bottom = bottom && (!reach[s][t] || reach[t][s]);
      const int expected = !reach[initial][s] ? Components::kUnreachable : bottom ? 0 : Components::kTransient;
      const int got = found.classOf[s] >= 0 ? 0 : found.classOf[s];
      ASSERT_EQ(got, expected) << "trial " << trial << " state " << s;
      if (found.classOf[s] >= 0) {
        const auto& members = found.bottom[found.classOf[s]];
        for (int t = 0; t < n; t++) EXPECT_EQ(std::binary_search(members.begin(), members.end(), t), reach[s][t] != 0);
      }
    }
    EXPECT_EQ(found.initialClass, found.classOf[initial]);
  }
}

// Two independent units, each a birth-death chain over 0 .. 5 failed parts
// with failure rates far below the repair rates: the joint chain is a grid
// whose stationary probabilities are the products pi1(i) pi2(j), from near 1
// down to 1e-35 in the corner. The direct method keeps each one to a few
// units of rounding relative to itself, where a factorisation whose pivots
// are differences lost the small ones (5e-6 relative on such chains).
TEST(SteadyState, DirectMethodKeepsTheRelativeAccuracyOfSmallProbabilities) {
  const int K = 6;
  const double fail1 = 1e-3, repair1 = 1.0, fail2 = 3e-4, repair2 = 2.5;
  auto unit = [&](double f, double r) {
    std::vector<double> p(K, 1.0);
    double norm = 1;
    for (int k = 1; k < K; k++) norm += (p[k] = p[k - 1] * (K - k) * f / (k * r));
    for (double& v : p) v /= norm;
    return p;
  };
  const std::vector<double> p1 = unit(fail1, repair1), p2 = unit(fail2, repair2);
  TestChain chain(K * K);
  std::vector<TestReward> rewards;
  for (int i = 0; i < K; i++)
    for (int j = 0; j < K; j++) {
      const int s = i * K + j;
      if (i + 1 < K) chain.rate(s, s + K, (K - 1 - i) * fail1);
      if (i > 0) chain.rate(s, s - K, i * repair1);
      if (j + 1 < K) chain.rate(s, s + 1, (K - 1 - j) * fail2);
      if (j > 0) chain.rate(s, s - 1, j * repair2);
      if (i == j || i + j == K - 1) {
        TestReward r{std::to_string(s), "steady_state", {}, std::vector<double>(K * K, 0.0), {}};
        r.rates[s] = 1;
        rewards.push_back(r);
      }
    }
  chain.rewards = rewards;
  Options o;
  o.steady.method = Method::Direct;
  const auto rows = solveChain(chain, o);
  ASSERT_EQ(rows.size(), rewards.size());
  for (const ResultRow& row : rows) {
    const int s = std::stoi(row.variable);
    const double want = p1[s / K] * p2[s % K];
    EXPECT_NEAR(row.value, want, 1e-13 * want) << row.variable;
  }
}

// Intervals far shorter than the chain's mean sojourn: each keeps its
// relative accuracy, the time in the initial state as well as that in the
// state one jump away (of order t^2).
TEST(Transient, ShortIntervalsKeepTheirRelativeAccuracy) {
  TestChain chain(2);
  chain.rate(0, 1, 2.0).rate(1, 0, 3.0);
  const std::vector<std::pair<double, double>> times{{0, 1e-20}, {0, 1e-9}, {0, 0.3}};
  chain.rewards = {{"up", "interval", times, {1, 0}, {}},
                   {"down", "interval", times, {0, 1}, {}},
                   {"up_share", "time_averaged", times, {1, 0}, {}}};
  const auto rows = solveChain(chain);
  for (const auto& [start, t] : times) {
    // P(down at s) = 2/5 (1 - e^(-5s)); its integral 2/5 t + 2/25 (e^(-5t) - 1),
    // by its series where that difference would cancel.
    const double down = t < 1e-3 ? t * t * (1 - 5 * t / 3 + 25 * t * t / 12) : 0.4 * t + 0.08 * std::expm1(-5 * t);
    EXPECT_NEAR(valueOf(rows, "down", t), down, 1e-12 * down) << t;
    EXPECT_NEAR(valueOf(rows, "up", t), t - down, 1e-12 * t) << t;
    EXPECT_NEAR(valueOf(rows, "up_share", t), 1 - down / t, 1e-12) << t;
  }
}
