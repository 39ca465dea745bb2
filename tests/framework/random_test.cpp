#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Distributions.h"
#include "LaggedFibonacci.h"
#include "RandomNumberGenerator.h"
#include "Tausworthe.h"
#include "UserDistributions.h"

namespace {

// Hands out a fixed list of uniform numbers, then 0.5 forever; counts draws.
class ScriptedSource : public RandomNumberGenerator {
 public:
  explicit ScriptedSource(std::initializer_list<double> v) : values(v) {}
  double rnd() override {
    ++draws;
    return next < values.size() ? values[next++] : 0.5;
  }
  std::vector<double> values;
  std::size_t next = 0;
  int draws = 0;
};

// A variate generator whose uniform numbers are scripted.
struct Scripted {
  explicit Scripted(std::initializer_list<double> v) {
    delete dist.generator;
    source = new ScriptedSource(v);
    dist.generator = source;
  }
  Distributions dist;
  ScriptedSource* source;
};

}  // namespace

// ---------------------------------------------------------------- ranf

TEST(LaggedFibonacciTest, KnownAnswerAfterShortBatches) {
  std::vector<double> a(2009);
  RanfState r;
  r.ranf_start(310952);
  for (int m = 0; m < 2009; m++) r.ranf_array(a.data(), 1009);
  EXPECT_EQ(r.ran_u[0], 0.36410514377569680455);
  EXPECT_EQ(a[0], 0.40565695769206500110);
}

TEST(LaggedFibonacciTest, KnownAnswerAfterLongBatches) {
  std::vector<double> a(2009);
  RanfState r;
  r.ranf_start(310952);
  for (int m = 0; m < 1009; m++) r.ranf_array(a.data(), 2009);
  EXPECT_EQ(r.ran_u[0], 0.36410514377569680455);
}

TEST(LaggedFibonacciTest, SeedingResetsBufferedPointerAndCycleRefills) {
  RanfState r;
  r.ranf_start(42);
  EXPECT_EQ(r.ranf_arr_ptr, &r.ranf_arr_sentinel);
  EXPECT_EQ(r.ranf_arr_sentinel, -1.0);
  double first = r.ranf_arr_cycle();
  EXPECT_EQ(first, r.ranf_arr_buf[0]);
  EXPECT_EQ(r.ranf_arr_ptr, r.ranf_arr_buf + 1);
  EXPECT_EQ(r.ranf_arr_buf[RANF_KK], -1.0);
  r.ranf_start(42);
  EXPECT_EQ(r.ranf_arr_ptr, &r.ranf_arr_sentinel);
}

TEST(LaggedFibonacciTest, SameSeedSameStreamDifferentSeedDifferentStream) {
  double a[RANF_KK], b[RANF_KK], c[RANF_KK];
  RanfState r;
  r.ranf_start(7);
  r.ranf_array(a, RANF_KK);
  r.ranf_start(7);
  r.ranf_array(b, RANF_KK);
  r.ranf_start(8);
  r.ranf_array(c, RANF_KK);
  for (int i = 0; i < RANF_KK; i++) {
    EXPECT_EQ(a[i], b[i]);
    EXPECT_GE(a[i], 0.0);
    EXPECT_LT(a[i], 1.0);
  }
  int same = 0;
  for (int i = 0; i < RANF_KK; i++) same += (a[i] == c[i]);
  EXPECT_LT(same, 5);
}

// The buffer after seeding with `seed`: the second batch of 100.
static std::vector<double> secondBatch(long seed) {
  std::vector<double> expected(RANF_KK);
  RanfState r;
  r.ranf_start(seed);
  r.ranf_array(expected.data(), RANF_KK);
  r.ranf_array(expected.data(), RANF_KK);
  return expected;
}

TEST(LaggedFibonacciTest, SeedingKeepsTheSecondBatchAndAnUnseededObjectUsesTheDefaultSeed) {
  LaggedFibonacci g;
  const std::vector<double> byDefault = secondBatch(31415);
  for (int i = 0; i < RANF_KK; i++) EXPECT_EQ(g.buffer[i], byDefault[i]);
  g.srnd(99);
  const std::vector<double> expected = secondBatch(99);
  for (int i = 0; i < RANF_KK; i++) EXPECT_EQ(g.buffer[i], expected[i]);
  EXPECT_EQ(g.rnd(), expected[0]);
}

TEST(LaggedFibonacciTest, ObjectsAreIndependentStreams) {
  LaggedFibonacci a, b;
  a.srnd(99);
  b.srnd(99);
  std::vector<double> fromA;
  for (int i = 0; i < 250; i++) fromA.push_back(a.rnd());
  // Seeding and reading a third object, and reading a, leave b's stream alone.
  LaggedFibonacci c;
  c.srnd(5);
  for (int i = 0; i < 250; i++) {
    c.rnd();
    EXPECT_EQ(b.rnd(), fromA[static_cast<std::size_t>(i)]) << i;
  }
}

TEST(LaggedFibonacciTest, ValuesStayInUnitIntervalAcrossRefills) {
  LaggedFibonacci g;
  g.srnd(1);
  for (int i = 0; i < 1000; i++) {
    double v = g.rnd();
    EXPECT_GE(v, 0.0);
    EXPECT_LT(v, 1.0);
  }
}

// ---------------------------------------------------------------- Tausworthe

TEST(TauswortheTest, SeedZeroIsAFixedPoint) {
  Tausworthe t;
  t.srnd(0);
  for (int i = 0; i < 10; i++) EXPECT_EQ(t.rnd(), 0.0);
}

TEST(TauswortheTest, SeedOneFirstStep) {
  Tausworthe t;
  t.srnd(1);
  EXPECT_DOUBLE_EQ(t.rnd(), 8193.0 / 2147483647.0);
  EXPECT_EQ(t.state, 8193u);
}

TEST(TauswortheTest, ValuesStayInClosedUnitInterval) {
  Tausworthe t;
  t.srnd(123456789);
  for (int i = 0; i < 10000; i++) {
    double v = t.rnd();
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 1.0);
    EXPECT_LE(t.state, 0x7FFFFFFFu);
  }
}

TEST(RandomNumberGeneratorTest, BaseIsANullSource) {
  RandomNumberGenerator g;
  g.srnd(5);
  EXPECT_EQ(g.rnd(), 0.0);
}

// ---------------------------------------------------------------- sources

TEST(UserDistributionsTest, KindSelectsAndSeedsTheSource) {
  UserDistributions taus(1, 1);
  ASSERT_NE(dynamic_cast<Tausworthe*>(taus.getGenerator()), nullptr);
  EXPECT_DOUBLE_EQ(taus.getGenerator()->rnd(), 8193.0 / 2147483647.0);

  UserDistributions other(5, 3);
  EXPECT_NE(dynamic_cast<LaggedFibonacci*>(other.getGenerator()), nullptr);

  UserDistributions lf(0, 31415);
  auto* g = dynamic_cast<LaggedFibonacci*>(lf.getGenerator());
  ASSERT_NE(g, nullptr);
  const std::vector<double> expected = secondBatch(31415);
  EXPECT_EQ(g->buffer[0], expected[0]);
  EXPECT_EQ(g->buffer[RANF_KK - 1], expected[RANF_KK - 1]);

  UserDistributions plain;
  EXPECT_NE(dynamic_cast<LaggedFibonacci*>(plain.getGenerator()), nullptr);
}

// ---------------------------------------------------------------- variates

TEST(DistributionsTest, FormulasOnScriptedNumbers) {
  {
    Scripted s({0.5});
    EXPECT_DOUBLE_EQ(s.dist.Exponential(2.0), std::log(2.0) / 2.0);
  }
  {
    Scripted s({0.25});
    EXPECT_DOUBLE_EQ(s.dist.Uniform(2.0, 6.0), 3.0);
  }
  {
    Scripted s({0.25});  // floor(ln 0.25 / ln 0.5) = 2
    EXPECT_DOUBLE_EQ(s.dist.Geometric(0.5), 2.0);
  }
  {
    Scripted s({0.5, 0.5, 0.5});
    EXPECT_DOUBLE_EQ(s.dist.Erlang(3.0, 6.0), -(6.0 / 3.0) * std::log(0.125));
    EXPECT_EQ(s.source->draws, 3);
  }
  {
    Scripted s({0.5, 0.25});
    double rates[] = {1.0, 2.0};
    EXPECT_DOUBLE_EQ(s.dist.HypoExponential(2, rates), std::log(2.0) + std::log(4.0) / 2.0);
  }
  {
    Scripted s({0.1, 0.6, 0.2, 0.9});
    EXPECT_DOUBLE_EQ(s.dist.Binomial(4.0, 0.5), 2.0);
  }
  {
    Scripted s({0.25});
    EXPECT_DOUBLE_EQ(s.dist.Pareto(2.0, 2.0), 4.0);
  }
  {
    Scripted s({0.5});
    EXPECT_DOUBLE_EQ(s.dist.Weibull(2.0, 3.0), 3.0 * std::sqrt(std::log(2.0)));
  }
}

TEST(DistributionsTest, TriangularBranches) {
  {
    Scripted s({0.25});  // g = 0.5, U <= g
    EXPECT_DOUBLE_EQ(s.dist.Triangular(0.0, 2.0, 1.0), 2.0 * std::sqrt(0.125));
  }
  {
    Scripted s({0.75});  // U > g
    EXPECT_DOUBLE_EQ(s.dist.Triangular(0.0, 2.0, 1.0), 2.0 * (1.0 - std::sqrt(0.125)));
  }
  {
    Scripted s({});
    EXPECT_EQ(s.dist.Triangular(3.0, 3.0, 7.0), 3.0);
    EXPECT_EQ(s.source->draws, 0);
  }
}

TEST(DistributionsTest, DeterministicDrawsNothing) {
  Scripted s({});
  EXPECT_EQ(s.dist.Deterministic(4.5), 4.5);
  EXPECT_EQ(s.source->draws, 0);

  UserDistributions a(1, 777), b(1, 777);
  a.Deterministic(1.0);
  EXPECT_EQ(a.Exponential(1.0), b.Exponential(1.0));
}

TEST(DistributionsTest, HyperExponentialPicksByCumulativeWeight) {
  double pairs[] = {1.0, 1.0, 2.0, 1.0, 4.0, 2.0};  // W = 4: 0.25, 0.5, 1
  {
    Scripted s({0.3, 0.5});
    EXPECT_DOUBLE_EQ(s.dist.HyperExponential(3, pairs), std::log(2.0) / 2.0);
  }
  {
    Scripted s({0.1, 0.5});
    EXPECT_DOUBLE_EQ(s.dist.HyperExponential(3, pairs), std::log(2.0) / 1.0);
  }
}

TEST(DistributionsTest, HyperExponentialStopsAtLastPairWhenUniformIsOne) {
  double pairs[] = {1.0, 1.0, 8.0, 3.0};
  Scripted s({1.0, 0.5});
  EXPECT_DOUBLE_EQ(s.dist.HyperExponential(2, pairs), std::log(2.0) / 8.0);
  EXPECT_EQ(s.source->draws, 2);

  // The same through a real source that reaches 1: a Tausworthe state whose
  // successor is 2^31 - 1 (the step is inverted here).
  const std::uint32_t target = 0x7FFFFFFFu;
  std::uint32_t b = target ^ (target >> 18);
  std::uint32_t before = (b ^ (b << 13) ^ (b << 26)) & 0x7FFFFFFFu;
  UserDistributions t(1, before);
  Tausworthe probe;
  probe.srnd(before);
  ASSERT_EQ(probe.rnd(), 1.0);
  double v = t.HyperExponential(2, pairs);
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_GE(v, 0.0);
}

TEST(DistributionsTest, NormalRedrawsZeroRadiusAndNeverReturnsNegative) {
  {
    // (0.5, 0.5) gives s = 0, which is redrawn; then y1 = 0.5, y2 = 0, s = 0.25.
    Scripted s({0.5, 0.5, 0.75, 0.5});
    double expected = 0.5 * std::sqrt(-2.0 * std::log(0.25) / 0.25);
    EXPECT_DOUBLE_EQ(s.dist.Normal(0.0, 1.0), expected);
    EXPECT_EQ(s.source->draws, 4);
  }
  {
    // A negative first draw (y1 = -0.5) is repeated as a whole.
    Scripted s({0.25, 0.5, 0.75, 0.5});
    EXPECT_GT(s.dist.Normal(0.0, 1.0), 0.0);
    EXPECT_EQ(s.source->draws, 4);
  }
  UserDistributions d(0, 2024);
  for (int i = 0; i < 10000; i++) EXPECT_GE(d.Normal(0.0, 1.0), 0.0);
  for (int i = 0; i < 1000; i++) EXPECT_GT(d.Lognormal(0.0, 1.0), 0.0);
}

TEST(DistributionsTest, GammaShapeOneIsScaledExponential) {
  UserDistributions a(1, 4242), b(1, 4242);
  for (int i = 0; i < 100; i++) EXPECT_DOUBLE_EQ(a.Gamma(1.0, 3.0), 3.0 * b.Exponential(1.0));
}

TEST(DistributionsTest, GammaAndBetaHaveTheirMeans) {
  UserDistributions d(1, 99991);
  const int n = 20000;
  double big = 0.0, small = 0.0, beta = 0.0;
  for (int i = 0; i < n; i++) {
    double g = d.Gamma(3.0, 2.0);
    double h = d.Gamma(0.5, 1.0);
    double b = d.Beta(2.0, 2.0);
    ASSERT_GE(g, 0.0);
    ASSERT_GE(h, 0.0);
    ASSERT_GE(b, 0.0);
    ASSERT_LE(b, 1.0);
    big += g;
    small += h;
    beta += b;
  }
  EXPECT_NEAR(big / n, 6.0, 0.15);
  EXPECT_NEAR(small / n, 0.5, 0.03);
  EXPECT_NEAR(beta / n, 0.5, 0.02);
  EXPECT_TRUE(std::isnan(d.Gamma(std::nan(""), 1.0)));
}
