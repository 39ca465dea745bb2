// The M/E_k/1/3 queue of tests/models/erlang_queue.toml, through its gen
// (-U) and solve, against its phase-type chain built and solved here: the
// service phases are part of the state, so the blocking probability is that
// of the 1 + 3k-state chain, whatever k.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

using testsupport::TempDir;

namespace {

constexpr double kArrival = 0.5;
constexpr int kCapacity = 3;

// Long-run probability of a full queue: pi Q = 0, sum pi = 1, by Gaussian
// elimination with partial pivoting on Q transposed, the last equation
// replaced by the normalisation. State 0 is the empty queue; (n, p), n jobs
// with the one in service in phase p, is 1 + (n - 1) k + (p - 1).
double blockingOfPhaseTypeChain(int k) {
  const int states = 1 + kCapacity * k;
  auto at = [k](int n, int p) { return n == 0 ? 0 : 1 + (n - 1) * k + (p - 1); };
  std::vector<std::vector<double>> a(states, std::vector<double>(states + 1, 0.0));  // a[j][i] = Q[i][j]
  auto rate = [&a](int from, int to, double r) {
    a[to][from] += r;
    a[from][from] -= r;
  };
  rate(at(0, 1), at(1, 1), kArrival);
  for (int n = 1; n <= kCapacity; n++)
    for (int p = 1; p <= k; p++) {
      if (n < kCapacity) rate(at(n, p), at(n + 1, p), kArrival);  // the job in service keeps its phase
      if (p < k)
        rate(at(n, p), at(n, p + 1), k);
      else
        rate(at(n, p), at(n - 1, 1), k);
    }
  for (int i = 0; i <= states; i++) a[states - 1][i] = 1.0;
  for (int c = 0; c < states; c++) {
    int pivot = c;
    for (int r = c + 1; r < states; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    std::swap(a[c], a[pivot]);
    for (int r = 0; r < states; r++) {
      if (r == c || a[r][c] == 0.0) continue;
      const double f = a[r][c] / a[c][c];
      for (int i = c; i <= states; i++) a[r][i] -= f * a[c][i];
    }
  }
  double full = 0.0;
  for (int p = 1; p <= k; p++) full += a[at(kCapacity, p)][states] / a[at(kCapacity, p)][at(kCapacity, p)];
  return full;
}

}  // namespace

TEST(ErlangQueue, HandBuiltChainGivesTheKnownValues) {
  // M/M/1/3 at load 1/2: (1/8)(1/2) / (1 - 1/16).
  EXPECT_NEAR(blockingOfPhaseTypeChain(1), 1.0 / 15, 1e-15);
  EXPECT_NEAR(blockingOfPhaseTypeChain(2), 0.0481064483, 1e-10);
}

TEST(ErlangQueue, GenAndSolveGiveThePhaseTypeChainsBlocking) {
  const std::string gen = std::string(GEN_MODELS_DIR) + "/erlang_queue/gen";
  const int phases[] = {1, 2, 5, 50};
  for (int experiment = 0; experiment < 4; experiment++) {
    const int k = phases[experiment];
    SCOPED_TRACE("k = " + std::to_string(k));
    TempDir dir;
    const auto g = testsupport::runProgram(
        gen, {"-P" + dir.path() + "/", "-Nq", "-B" + std::to_string(experiment), "-U"}, dir.path());
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_NE(g.out.find("Generated: " + std::to_string(1 + kCapacity * k) + " states\n"), std::string::npos) << g.out;
    const auto s = testsupport::runProgram(SOLVE_BINARY, {"-P" + dir.path() + "/", "-Nq", "-m", "direct"}, dir.path());
    ASSERT_EQ(s.status, 0) << s.err;
    std::ifstream csv(dir.file("q.results.csv"));
    std::string header, row;
    ASSERT_TRUE(std::getline(csv, header) && std::getline(csv, row)) << s.out;
    // blocking,steady_state,start,stop,value,...
    std::stringstream fields(row);
    std::string field;
    for (int i = 0; i < 5; i++) std::getline(fields, field, ',');
    EXPECT_EQ(row.rfind("blocking,", 0), 0u) << row;
    EXPECT_NEAR(std::stod(field), blockingOfPhaseTypeChain(k), 1e-9) << row;
  }
}

// k is a double: an override with the float letter is read as a double, not
// dropped.
TEST(ErlangQueue, AFloatOverrideSetsTheDoubleGlobal) {
  TempDir dir;
  const auto g = testsupport::runProgram(std::string(GEN_MODELS_DIR) + "/erlang_queue/gen",
                                         {"-P" + dir.path() + "/", "-Nq", "-B1", "-O", "f:k:5"}, dir.path());
  ASSERT_EQ(g.status, 0) << g.err;
  EXPECT_EQ(g.err.find("ignored"), std::string::npos) << g.err;
  EXPECT_NE(g.out.find("Generated: 16 states\n"), std::string::npos) << g.out;
}
