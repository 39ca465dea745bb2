// Throughput and memory of the discovered-state table for 16-byte state
// vectors, at 1, 5, 10 and 20 million states with the generator's
// configuration (initial table 131071 slots, blocks of 100000 states, load
// factor 0.5); 20 million crosses 2^24, where the slots widen to 64 bits.
//
// BM_FindOrAdd is the generator's path: one probe per successor, which
// either finds the state or numbers it. Counters: inserts_per_s /
// lookups_per_s, and bytes_per_state = (slot table + block pointers + open
// blocks) / states.
//
// The second argument selects the vectors: 0 markings of small place values
// (like a real model's states), 1 scattered bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "BaseModelClass.h"
#include "HybridHash.h"

namespace {

constexpr int kStateSize = 16;

// Compares state strings byte by byte, as the reward model does for a model
// whose state is a plain marking.
class BenchModel : public BaseModelClass {
 public:
  void listModels(const char*, List<BaseModelClass>*) override {}
  void CurrentState(void*) override {}
  void listActions(List<BaseActionClass>*) override {}
  void listGroups(List<BaseGroupClass>*) override {}
  void SetState(void*) override {}
  int StateSize() override { return kStateSize; }
  bool CompareState(void* a, void* b) override { return std::memcmp(a, b, kStateSize) == 0; }
  void listActions(const char*, List<BaseActionClass>*) override {}
  void listSVs(const char*, const char*, List<BaseStateVariableClass>*, List<BaseModelClass>*) override {}
};

// State i. Pattern 0: a marking of eight 16-bit places, each one octal digit
// of i (distinct for i below 2^24). Pattern 1: i spread over all 16 bytes by
// a multiplicative mix, with i itself in the last four (distinct).
void MakeState(std::uint32_t i, int pattern, char* out) {
  if (pattern == 0) {
    for (int p = 0; p < kStateSize / 2; p++) {
      auto mark = static_cast<std::int16_t>((i >> (3 * p)) & 7);
      std::memcpy(out + 2 * p, &mark, 2);
    }
    return;
  }
  std::uint64_t a = i * 0x9E3779B97F4A7C15ull;
  std::uint32_t b = i * 2654435761u;
  std::memcpy(out, &a, 8);
  std::memcpy(out + 8, &b, 4);
  std::memcpy(out + 12, &i, 4);
}

std::unique_ptr<HybridHash> Filled(BenchModel& model, std::uint32_t n, int pattern) {
  auto hash = std::make_unique<HybridHash>(&model, kStateSize, 131071, 100000, 5, 128, 0.5);
  char state[kStateSize];
  for (std::uint32_t i = 1; i <= n; i++) {
    MakeState(i, pattern, state);
    hash->Insert(state, i);
  }
  return hash;
}

// The lookup benchmarks of one size share a filled table (dropped before an
// insert benchmark, to keep one large table in memory at a time).
struct Cache {
  BenchModel model;
  std::unique_ptr<HybridHash> hash;
  std::uint32_t n = 0;
  int pattern = -1;
};
Cache& TheCache() {
  static Cache cache;
  return cache;
}
HybridHash& Table(std::uint32_t n, int pattern) {
  Cache& c = TheCache();
  if (!c.hash || c.n != n || c.pattern != pattern) {
    c.hash.reset();
    c.hash = Filled(c.model, n, pattern);
    c.n = n;
    c.pattern = pattern;
  }
  return *c.hash;
}

void SetMemoryCounter(benchmark::State& st, const HybridHash& hash, std::uint32_t n) {
  st.counters["bytes_per_state"] = static_cast<double>(hash.MemoryBytes()) / n;
  st.counters["table_slots"] = hash.tableSize;
}

void BM_Insert(benchmark::State& st) {
  const auto n = static_cast<std::uint32_t>(st.range(0));
  const int pattern = static_cast<int>(st.range(1));
  TheCache().hash.reset();
  BenchModel model;
  for (auto _ : st) {
    auto hash = Filled(model, n, pattern);
    st.PauseTiming();
    SetMemoryCounter(st, *hash, n);
    hash.reset();
    st.ResumeTiming();
  }
  st.counters["inserts_per_s"] =
      benchmark::Counter(static_cast<double>(n) * st.iterations(), benchmark::Counter::kIsRate);
}

// Lookups of stored states in a scattered order.
void BM_LookupHit(benchmark::State& st) {
  const auto n = static_cast<std::uint32_t>(st.range(0));
  const int pattern = static_cast<int>(st.range(1));
  HybridHash& hash = Table(n, pattern);
  char state[kStateSize];
  std::uint64_t x = 1;
  for (auto _ : st) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    auto i = static_cast<std::uint32_t>((x >> 33) % n) + 1;
    MakeState(i, pattern, state);
    benchmark::DoNotOptimize(hash.Lookup(state));
  }
  SetMemoryCounter(st, hash, n);
  st.counters["lookups_per_s"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

// Lookups of states that are not stored (what every new state costs).
void BM_LookupMiss(benchmark::State& st) {
  const auto n = static_cast<std::uint32_t>(st.range(0));
  const int pattern = static_cast<int>(st.range(1));
  HybridHash& hash = Table(n, pattern);
  char state[kStateSize];
  std::uint64_t x = 1;
  for (auto _ : st) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    auto i = n + 1 + static_cast<std::uint32_t>((x >> 33) % ((1u << 24) - n - 1));
    MakeState(i, pattern, state);
    benchmark::DoNotOptimize(hash.Lookup(state));
  }
  SetMemoryCounter(st, hash, n);
  st.counters["lookups_per_s"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

// The generator's mix: successors of a state are mostly states seen before
// (here 3 in 4), the rest are new and numbered on the spot.
void BM_FindOrAdd(benchmark::State& st) {
  const auto n = static_cast<std::uint32_t>(st.range(0));
  const int pattern = static_cast<int>(st.range(1));
  TheCache().hash.reset();
  BenchModel model;
  for (auto _ : st) {
    HybridHash hash(&model, kStateSize, 131071, 100000, 5, 128, 0.5);
    char state[kStateSize];
    std::uint32_t next = 1;
    std::uint64_t x = 1;
    while (next <= n) {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      const bool old = next > 1 && (x >> 62) != 0;
      const std::uint32_t i = old ? static_cast<std::uint32_t>((x >> 20) % (next - 1)) + 1 : next;
      MakeState(i, pattern, state);
      if (hash.findOrAdd(state, next).added) next++;
    }
    st.PauseTiming();
    SetMemoryCounter(st, hash, n);
    st.ResumeTiming();
  }
  st.counters["states_per_s"] =
      benchmark::Counter(static_cast<double>(n) * st.iterations(), benchmark::Counter::kIsRate);
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int pattern : {0, 1})
    for (long n : {1000000L, 5000000L, 10000000L}) b->Args({n, pattern});
}

}  // namespace

// Grouped by size so that the lookups of one size reuse one filled table.
BENCHMARK(BM_Insert)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FindOrAdd)->Args({5000000, 0})->Args({20000000, 1})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LookupHit)->Args({1000000, 0});
BENCHMARK(BM_LookupMiss)->Args({1000000, 0});
BENCHMARK(BM_LookupHit)->Args({5000000, 0});
BENCHMARK(BM_LookupMiss)->Args({5000000, 0});
BENCHMARK(BM_LookupHit)->Args({10000000, 0});
BENCHMARK(BM_LookupMiss)->Args({10000000, 0});
BENCHMARK(BM_LookupHit)->Args({1000000, 1});
BENCHMARK(BM_LookupMiss)->Args({1000000, 1});
BENCHMARK(BM_LookupHit)->Args({5000000, 1});
BENCHMARK(BM_LookupMiss)->Args({5000000, 1});
BENCHMARK(BM_LookupHit)->Args({10000000, 1});
BENCHMARK(BM_LookupMiss)->Args({10000000, 1});
