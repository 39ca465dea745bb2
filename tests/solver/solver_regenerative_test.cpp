// Models with fixed delays, written as gen -U writes them and solved by the
// embedded Markov regenerative chain, against closed forms.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "FoxGlynn.h"
#include "Measures.h"
#include "SolverTestSupport.h"
#include "UmbReader.h"
#include "UmbWriter.h"

using namespace solver;

namespace {

// A program ages through the phases 0 .. N at rate `aging` per phase and is
// restarted to phase 0 every `period`, whatever its phase: the restart is a
// fixed delay enabled everywhere and never interrupted. Variables: failed
// (phase N), mean_age and restarts (an impulse on the restart).
void writeRejuvenation(const std::string& path, int N, double aging, double period) {
  umb::UmbWriter::Description d;
  d.modelName = "rejuvenation";
  d.places = {"age"};
  d.variables = {{"failed", umb::RewardKind::SteadyState, {}, true, false},
                 {"mean_age", umb::RewardKind::SteadyState, {}, true, false},
                 {"restarts", umb::RewardKind::SteadyState, {}, false, true}};
  d.deterministic = true;
  d.activities = {"restart"};
  auto w = umb::UmbWriter::create("", path, d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  for (int n = 0; n <= N; n++) {
    const double rewards[] = {0, n == N ? 1.0 : 0.0, 0, static_cast<double>(n), 0, 0};
    const auto age = static_cast<std::int16_t>(n);
    const double none[] = {0, 0, 0}, restart[] = {0, 0, 1};
    (*w)->addStateRewards(rewards);
    (*w)->beginState(&age, n < N ? aging : 0.0);
    if (n < N) (*w)->addBranch(static_cast<std::uint64_t>(n + 1), aging, none);
    (*w)->addEnabling(0, period);
    (*w)->addDeterministicBranch(0, 1.0, restart);
    (*w)->endState();
  }
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());
}

std::vector<ResultRow> solveFile(const std::string& path, const Options& options = Options()) {
  auto umb = UmbReader::open(path);
  EXPECT_TRUE(umb.ok()) << (umb.ok() ? "" : umb.error().message);
  if (!umb) return {};
  auto rows = computeMeasures(**umb, options, [](const std::string&) {});
  EXPECT_TRUE(rows.ok()) << (rows.ok() ? "" : rows.error().message);
  return rows ? *rows : std::vector<ResultRow>{};
}

long double poisson(long double lambda, int k) {
  return std::exp(k * std::log(lambda) - lambda - std::lgamma(static_cast<long double>(k) + 1));
}

// sum_(j > n) (j - n) P(X = j) for X ~ Poisson(lambda), the expected time
// past phase n within one cycle times the aging rate: below lambda = 1 by
// its series, above as lambda minus the first n tails, each 1 minus a
// short sum.
long double excess(long double lambda, int n) {
  long double sum = 0;
  if (lambda < 1) {
    for (int j = n + 60; j > n; j--) sum += (j - n) * poisson(lambda, j);
    return sum;
  }
  sum = lambda;
  for (int m = 0; m < n; m++) {
    long double below = 0;
    for (int j = 0; j <= m; j++) below += poisson(lambda, j);
    sum -= 1 - below;
  }
  return sum;
}

// M/D/1/K: arrivals at rate `arrival`, a service of fixed length 1 enabled
// while anyone is there. Variable: number (in the system).
void writeMD1K(const std::string& path, int K, double arrival) {
  umb::UmbWriter::Description d;
  d.modelName = "md1k";
  d.places = {"n"};
  d.variables = {{"number", umb::RewardKind::SteadyState, {}, true, false}};
  d.deterministic = true;
  d.activities = {"service"};
  auto w = umb::UmbWriter::create("", path, d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  for (int n = 0; n <= K; n++) {
    const double rewards[] = {0, static_cast<double>(n)}, none[] = {0};
    const auto marking = static_cast<std::int16_t>(n);
    (*w)->addStateRewards(rewards);
    (*w)->beginState(&marking, n < K ? arrival : 0.0);
    if (n < K) (*w)->addBranch(static_cast<std::uint64_t>(n + 1), arrival, none);
    if (n > 0) {
      (*w)->addEnabling(0, 1.0);
      (*w)->addDeterministicBranch(static_cast<std::uint64_t>(n - 1), 1.0, none);
    }
    (*w)->endState();
  }
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());
}

// The mean number in M/D/1/K by its departure-epoch chain on 0 .. K-1 (from
// i the next departure leaves min(max(i - 1, 0) + A, K - 1), A ~
// Poisson(lambda) the arrivals in a service), solved by GTH elimination in
// long double, and renewal-reward over the cycles between departures:
// p_n = pi_n / (pi_0 + lambda) for n < K, p_K = 1 - 1 / (pi_0 + lambda).
double md1kNumber(int K, double lambda) {
  std::vector<std::vector<long double>> P(K, std::vector<long double>(K, 0.0L));
  for (int i = 0; i < K; i++) {
    const int base = i == 0 ? 0 : i - 1;
    long double left = 1;
    for (int j = base; j < K - 1; j++) left -= (P[i][j] = poisson(lambda, j - base));
    P[i][K - 1] += left;
  }
  for (int n = K - 1; n > 0; n--) {
    long double out = 0;
    for (int j = 0; j < n; j++) out += P[n][j];
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++)
        if (i != j) P[i][j] += P[i][n] * P[n][j] / out;
  }
  std::vector<long double> pi(K, 0.0L);
  pi[0] = 1;
  long double total = 1;
  for (int n = 1; n < K; n++) {
    long double out = 0, in = 0;
    for (int j = 0; j < n; j++) out += P[n][j];
    for (int i = 0; i < n; i++) in += pi[i] * P[i][n];
    total += (pi[n] = in / out);
  }
  long double number = 0;
  for (int n = 0; n < K; n++) number += n * (pi[n] / total) / (pi[0] / total + lambda);
  number += K * (1 - 1 / (pi[0] / total + lambda));
  return static_cast<double>(number);
}

// Two states, 0 -> 1 at rate 2 and 1 -> 0 at rate 3, and the deterministic
// activity tick enabled in state s with delay delays[s] (none where 0),
// its completion going to the other state. Variables: up (steady state)
// and up_at_1 (instant, t = 1), both 1 in state 0.
void writeTwoStates(const std::string& path, const double (&delays)[2]) {
  umb::UmbWriter::Description d;
  d.modelName = "two";
  d.places = {"n"};
  d.variables = {{"up", umb::RewardKind::SteadyState, {}, true, false},
                 {"up_at_1", umb::RewardKind::Instant, {{1.0, 1.0}}, true, false}};
  d.deterministic = true;
  d.activities = {"tick"};
  auto w = umb::UmbWriter::create("", path, d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  for (int s = 0; s < 2; s++) {
    const double up = s == 0 ? 1.0 : 0.0, rewards[] = {0, up, 0, up}, none[] = {0, 0};
    const auto marking = static_cast<std::int16_t>(s);
    (*w)->addStateRewards(rewards);
    (*w)->beginState(&marking, s == 0 ? 2.0 : 3.0);
    (*w)->addBranch(static_cast<std::uint64_t>(1 - s), s == 0 ? 2.0 : 3.0, none);
    if (delays[s] > 0) {
      (*w)->addEnabling(0, delays[s]);
      (*w)->addDeterministicBranch(static_cast<std::uint64_t>(1 - s), 1.0, none);
    }
    (*w)->endState();
  }
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());
}

}  // namespace

// What solve cannot compute gets its row in its place, the table and the
// CSV say the simulator is to answer it, standard error says why, and the
// status is 3; the rest have their values. Here the transient one: no step
// divides both the delay, sqrt(1/2), and the time 1.
TEST(RegenerativeCli, TransientVariablesAreLeftToTheSimulatorBesideTheExactOnes) {
  solvertest::TempDir dir;
  writeTwoStates(dir.file("m.umb"), {std::sqrt(0.5), 0});
  const solvertest::SolveRun r = solvertest::runSolve({"-P" + dir.path() + "/", "-Nm"}, dir.path());
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("solve: up_at_1: the transient solution by the clock's age: no step of 32 to 2048 per "
                       "shortest delay (0.707107) divides every delay and every time asked for; left for the "
                       "simulator\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("up_at_1   instant       1     -               simulate      -           -\n"),
            std::string::npos)
      << r.out;
  const std::string csv = solvertest::readFile(dir.file("m.results.csv"));
  EXPECT_NE(csv.find("\nup,steady_state,,,0."), std::string::npos) << csv;
  EXPECT_NE(csv.find("\nup_at_1,instant,1,1,,simulate,,\n"), std::string::npos) << csv;
}

// A state where tick is enabled with delay 1 and one with the next double
// above: the reason tells them apart.
TEST(RegenerativeCli, TwoDelaysOfOneActivityAreToldApart) {
  solvertest::TempDir dir;
  writeTwoStates(dir.file("m.umb"), {1.0, std::nextafter(1.0, 2.0)});
  const solvertest::SolveRun r = solvertest::runSolve({"-P" + dir.path() + "/", "-Nm"}, dir.path());
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("has delay 1 in State 0 (n = 0) and 1.0000000000000002 in State 1 (n = 1)"), std::string::npos)
      << r.err;
}

// A deterministic activity that no state enables: the chain is a CTMC, and
// every variable has its value, the transient ones by uniformisation.
TEST(RegenerativeCli, NoDelayEnabledAnywhereIsSolvedAsACtmc) {
  solvertest::TempDir dir;
  writeTwoStates(dir.file("m.umb"), {0, 0});
  const std::vector<ResultRow> rows = solveFile(dir.file("m.umb"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NEAR(rows[0].value, 0.6, 1e-12);
  // P(up at 1) = 3/5 + 2/5 e^-5.
  EXPECT_NEAR(rows[1].value, 0.6 + 0.4 * std::exp(-5.0), 1e-10);
  EXPECT_EQ(rows[1].method, "uniformisation");
}

// A queue near saturation mixes slowly: its embedded chain's iteration
// stops with changes that are far smaller than its error. The error column
// estimates the error itself (the changes still to come), so the exact
// value lies within it.
TEST(RegenerativeAccuracy, ErrorEstimateCoversTheErrorOfASlowlyMixingQueue) {
  solvertest::TempDir dir;
  writeMD1K(dir.file("q.umb"), 30, 0.95);
  const std::vector<ResultRow> rows = solveFile(dir.file("q.umb"));
  ASSERT_EQ(rows.size(), 1u);
  const double exact = md1kNumber(30, 0.95);
  EXPECT_LE(std::fabs(rows[0].value - exact), rows[0].errorBound) << rows[0].value << " vs " << exact;
  EXPECT_LT(rows[0].errorBound, 1e3 * std::fabs(rows[0].value - exact) + 1e-9);
}

// Each restart begins a cycle of exactly `period`, in which the phase is a
// pure-birth chain: the time in phase n < N is P(X > n) / aging, so the
// time in phases m and above is excess(lambda, m) / aging, X ~
// Poisson(aging * period). The values
// keep their relative accuracy from the shortest delays (where rounding
// once emptied the tails and gave 0 restarts) to the longest.
TEST(RegenerativeAccuracy, RestartClockMatchesTheRenewalClosedFormAtEveryDelay) {
  const int N = 3;
  const double aging = 0.7;
  for (double period : {1e-300, 1e-20, 1e-12, 1e-8, 1e-6, 1e-2, 1.0, 1e2, 1e4, 1e6}) {
    SCOPED_TRACE("period " + std::to_string(period));
    solvertest::TempDir dir;
    writeRejuvenation(dir.file("r.umb"), N, aging, period);
    const std::vector<ResultRow> rows = solveFile(dir.file("r.umb"));
    ASSERT_EQ(rows.size(), 3u);
    const long double lambda = static_cast<long double>(aging) * period;
    // As shares of the cycle, period = lambda / aging: the time in phases
    // m and above is excess(lambda, m) / aging.
    long double meanAge = 0;
    for (int m = 1; m <= N; m++) meanAge += excess(lambda, m) / lambda;
    const double failed = static_cast<double>(excess(lambda, N) / lambda);
    EXPECT_NEAR(rows[0].value, failed, 1e-11 * failed + 1e-30);
    EXPECT_NEAR(rows[1].value, static_cast<double>(meanAge), 1e-11 * static_cast<double>(meanAge));
    EXPECT_NEAR(rows[2].value, 1.0 / period, 1e-11 / period);
  }
}

TEST(RegenerativeAccuracy, DelayTermsKeepTheirRelativeAccuracy) {
  for (double lambda : {0.0, 1e-300, 1e-9, 0.3, 1.0, 30.0, 5000.0}) {
    SCOPED_TRACE("lambda " + std::to_string(lambda));
    auto t = delayTerms(lambda, 1e-12);
    ASSERT_TRUE(t.ok());
    double time = 0;
    for (double u : t->stay) time += u;
    EXPECT_NEAR(time, 1.0, 1e-12);
    // u_0 = (1 - e^-lambda) / lambda, and p_1 = lambda e^-lambda.
    const double u0 = lambda > 0 ? -std::expm1(-lambda) / lambda : 1.0;
    EXPECT_NEAR(t->stay[0], u0, 1e-15 * u0);
    if (t->right >= 1) {
      const double p1 = lambda * std::exp(-lambda);
      EXPECT_NEAR(t->weight[1], p1, 1e-13 * p1);
    }
  }
}

namespace {

// A renewal process whose cycle is an exponential wait (rate mu, no clock)
// then a fixed delay tau: state 2c is waiting and 2c + 1 timing after c
// completions, and 2K the end after K. Variables: fired_<k> (instant, 1
// from k completions on) and timing (interval and time averaged, 1 while
// the clock runs), at `times`.
void writeRenewal(const std::string& path, int K, double mu, double tau,
                  const std::vector<std::pair<double, double>>& instants,
                  const std::vector<std::pair<double, double>>& intervals) {
  umb::UmbWriter::Description d;
  d.modelName = "renewal";
  d.places = {"n"};
  for (int k = 1; k <= K; k++)
    d.variables.push_back({"fired_" + std::to_string(k), umb::RewardKind::Instant, instants, true, false});
  d.variables.push_back({"timing", umb::RewardKind::Interval, intervals, true, false});
  d.variables.push_back({"timing_share", umb::RewardKind::TimeAveraged, intervals, true, false});
  d.deterministic = true;
  d.activities = {"clock"};
  auto w = umb::UmbWriter::create("", path, d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  for (int s = 0; s <= 2 * K; s++) {
    const int c = s / 2;
    const bool timing = s % 2 == 1;
    std::vector<double> rewards;
    for (int k = 1; k <= K; k++) rewards.insert(rewards.end(), {0, c >= k ? 1.0 : 0.0});
    for (int i = 0; i < 2; i++) rewards.insert(rewards.end(), {0, timing ? 1.0 : 0.0});
    std::vector<double> none(d.variables.size(), 0.0);
    const auto marking = static_cast<std::int16_t>(s);
    (*w)->addStateRewards(rewards.data());
    const bool waiting = s < 2 * K && !timing;
    (*w)->beginState(&marking, waiting ? mu : 0.0);
    if (waiting) (*w)->addBranch(static_cast<std::uint64_t>(s + 1), mu, none.data());
    if (timing) {
      (*w)->addEnabling(0, tau);
      (*w)->addDeterministicBranch(static_cast<std::uint64_t>(s + 1), 1.0, none.data());
    }
    (*w)->endState();
  }
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());
}

// P(Erlang(k, mu) <= x), and its integral from 0 to x.
double erlang(int k, double mu, double x) {
  if (k == 0) return 1;
  if (x <= 0) return 0;
  double term = 1, sum = 0;
  for (int j = 0; j < k; j++) {
    sum += term;
    term *= mu * x / (j + 1);
  }
  return 1 - std::exp(-mu * x) * sum;
}
double erlangIntegral(int k, double mu, double x) {
  return x <= 0 ? 0 : x * erlang(k, mu, x) - k / mu * erlang(k + 1, mu, x);
}

}  // namespace

// The k-th completion comes after k exponential waits and k delays: P(N(t)
// >= k) = P(Erlang(k, mu) <= t - k tau); the clock runs its k-th time from
// S_k = Erlang(k, mu) + (k - 1) tau for tau, so the time it runs by t is
// sum_k I_k(t - (k - 1) tau) - I_k(t - k tau), I_k the integral of the
// Erlang distribution function.
TEST(RegenerativeTransient, RenewalWithExponentialWaitsMatchesTheErlangClosedForm) {
  solvertest::TempDir dir;
  const int K = 3;
  const double mu = 2, tau = 0.5;
  const std::vector<double> times{0.7, 1.3, 2.9};
  std::vector<std::pair<double, double>> instants, intervals;
  for (double t : times) {
    instants.emplace_back(t, t);
    intervals.emplace_back(0, t);
  }
  intervals.emplace_back(0.7, 2.9);
  writeRenewal(dir.file("m.umb"), K, mu, tau, instants, intervals);
  const std::vector<ResultRow> rows = solveFile(dir.file("m.umb"));
  auto running = [&](double t) {
    double sum = 0;
    for (int k = 1; k <= K; k++) sum += erlangIntegral(k, mu, t - (k - 1) * tau) - erlangIntegral(k, mu, t - k * tau);
    return sum;
  };
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(K * 3 + 8));
  for (const ResultRow& r : rows) {
    EXPECT_EQ(r.method, "age steps") << r.variable;
    double exact = 0;
    if (r.kind == RewardKind::Instant)
      exact = erlang(std::stoi(r.variable.substr(6)), mu, r.stop - std::stoi(r.variable.substr(6)) * tau);
    else
      exact = (running(r.stop) - running(r.start)) / (r.kind == RewardKind::TimeAveraged ? r.stop - r.start : 1);
    EXPECT_NEAR(r.value, exact, 1e-6) << r.variable << " " << r.start << " " << r.stop;
    EXPECT_LE(std::fabs(r.value - exact), r.errorBound + 1e-15) << r.variable << " " << r.stop;
  }
}

// A clock of delay tau that interruptions (rate g) preempt, restarted after
// an exponential pause (rate m); its completion ends the run. Before 2 tau
// the completed run is the first (probability e^(-g tau)) or one started at
// s <= t - tau after the pauses, at rate m P(paused at s) = m g / (g + m)
// (1 - e^(-(g + m) s)) (no run completes before tau), so P(fired by t) =
// e^(-g tau) (1 + m g / (g + m) (x - (1 - e^(-(g + m) x)) / (g + m))), x = t - tau.
TEST(RegenerativeTransient, InterruptedClockMatchesItsClosedFormBeforeTwoDelays) {
  solvertest::TempDir dir;
  const double g = 1, m = 2, tau = 1;
  const std::vector<double> times{0.5, 1.0, 1.5, 1.9};
  std::vector<std::pair<double, double>> at;
  for (double t : times) at.emplace_back(t, t);
  umb::UmbWriter::Description d;
  d.modelName = "interrupted";
  d.places = {"n"};
  d.variables = {{"fired", umb::RewardKind::Instant, at, true, false}};
  d.deterministic = true;
  d.activities = {"clock"};
  const std::string path = dir.file("m.umb");
  auto w = umb::UmbWriter::create("", path, d);
  ASSERT_TRUE(w.ok()) << w.error().message;
  for (int s = 0; s < 3; s++) {
    const double rewards[] = {0, s == 2 ? 1.0 : 0.0}, none[] = {0};
    const auto marking = static_cast<std::int16_t>(s);
    const double rate = s == 0 ? g : s == 1 ? m : 0.0;
    (*w)->addStateRewards(rewards);
    (*w)->beginState(&marking, rate);
    if (s < 2) (*w)->addBranch(static_cast<std::uint64_t>(1 - s), rate, none);
    if (s == 0) {
      (*w)->addEnabling(0, tau);
      (*w)->addDeterministicBranch(2, 1.0, none);
    }
    (*w)->endState();
  }
  ASSERT_TRUE((*w)->finish(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)).ok());
  const std::vector<ResultRow> rows = solveFile(path);
  ASSERT_EQ(rows.size(), times.size());
  for (const ResultRow& r : rows) {
    const double x = r.stop - tau;
    const double exact =
        x < 0 ? 0 : std::exp(-g * tau) * (1 + m * g / (g + m) * (x - (1 - std::exp(-(g + m) * x)) / (g + m)));
    EXPECT_NEAR(r.value, exact, 1e-6) << r.stop;
    EXPECT_LE(std::fabs(r.value - exact), r.errorBound + 1e-15) << r.stop;
  }
}
