// Throughput and memory of the discovered-state table for 16-byte state
// vectors, at 1, 5 and 10 million states with the generator's configuration
// (initial table 131071 slots, blocks of 100000 states, load factor 0.5).
//
// Counters: inserts_per_s / lookups_per_s, and bytes_per_state = (slot table
// + block pointers + open blocks + scratch) / states. The target is below
// 2 x (16 + 4) = 40 bytes per state.
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

// State i as a marking of eight 16-bit places, each one octal digit of i
// (distinct for i below 2^24), like the small markings of a real model.
void MakeState(std::uint32_t i, char* out) {
  for (int p = 0; p < kStateSize / 2; p++) {
    auto mark = static_cast<std::int16_t>((i >> (3 * p)) & 7);
    std::memcpy(out + 2 * p, &mark, 2);
  }
}

std::unique_ptr<HybridHash> Filled(BenchModel& model, std::uint32_t n) {
  auto hash = std::make_unique<HybridHash>(&model, kStateSize, 131071, 100000, 5, 128, 0.5);
  char state[kStateSize];
  for (std::uint32_t i = 1; i <= n; i++) {
    MakeState(i, state);
    hash->Insert(state, i);
  }
  return hash;
}

void SetMemoryCounter(benchmark::State& st, const HybridHash& hash, std::uint32_t n) {
  st.counters["bytes_per_state"] = static_cast<double>(hash.MemoryBytes()) / n;
  st.counters["table_slots"] = hash.tableSize;
}

void BM_Insert(benchmark::State& st) {
  const auto n = static_cast<std::uint32_t>(st.range(0));
  BenchModel model;
  for (auto _ : st) {
    auto hash = Filled(model, n);
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
  BenchModel model;
  auto hash = Filled(model, n);
  char state[kStateSize];
  std::uint64_t x = 1;
  for (auto _ : st) {
    x = (x * 6364136223846793005ull + 1442695040888963407ull);
    auto i = static_cast<std::uint32_t>((x >> 33) % n) + 1;
    MakeState(i, state);
    benchmark::DoNotOptimize(hash->Lookup(state));
  }
  SetMemoryCounter(st, *hash, n);
  st.counters["lookups_per_s"] =
      benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

// Lookups of states that are not stored (what every new state costs).
void BM_LookupMiss(benchmark::State& st) {
  const auto n = static_cast<std::uint32_t>(st.range(0));
  BenchModel model;
  auto hash = Filled(model, n);
  char state[kStateSize];
  std::uint64_t x = 1;
  for (auto _ : st) {
    x = (x * 6364136223846793005ull + 1442695040888963407ull);
    auto i = n + 1 + static_cast<std::uint32_t>((x >> 33) % ((1u << 24) - n - 1));
    MakeState(i, state);
    benchmark::DoNotOptimize(hash->Lookup(state));
  }
  SetMemoryCounter(st, *hash, n);
  st.counters["lookups_per_s"] =
      benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Insert)->Arg(1000000)->Arg(5000000)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupHit)->Arg(1000000)->Arg(5000000)->Arg(10000000);
BENCHMARK(BM_LookupMiss)->Arg(1000000)->Arg(5000000)->Arg(10000000);
