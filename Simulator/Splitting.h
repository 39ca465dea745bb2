#ifndef SIMULATOR_SPLITTING_H
#define SIMULATOR_SPLITTING_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Engine.h"
#include "Importance.h"
#include "Options.h"
#include "Path.h"

class PVModel;

namespace sim {

// Splitting of one slot, fixed before the first repetition.
struct SplitSlot {
  int node = 0;
  const Importance* importance = nullptr;
  std::vector<double> levels;  // increasing thresholds on the importance
  double horizon = 0;          // the instant observed, or the interval's end
  double pilot = 0;            // the pilot's estimate, for the report
  std::string method;          // how the estimate is made, in words
};

struct SplitPlan {
  std::map<int, Importance> importances;  // by reward variable
  std::vector<SplitSlot> slots;           // as the plan's
  std::uint64_t effort = 0;               // paths a stage
  bool sampling = false;                  // importance sampling: one weighted path a replication
};

// Refuses (GenError) a slot splitting cannot estimate; derives each
// variable's importance and chooses each slot's levels by a pilot run on
// streams no repetition uses. Deterministic for a seed: every rank makes the
// same plan.
std::unique_ptr<SplitPlan> prepareSplitting(const std::function<std::unique_ptr<PVModel>()>& makeModel,
                                            const Plan& plan, const Options& options,
                                            const std::function<void(const std::string&)>& progress);

// One repetition of fixed-effort splitting for every slot: repetition r draws
// from the stream of the seed and r (purpose Splitting), derived as
// replication r's is. One instance per thread.
class Splitter {
 public:
  using Clock = std::chrono::steady_clock;
  Splitter(const std::function<std::unique_ptr<PVModel>()>& makeModel, const Plan& plan, const SplitPlan& split);
  // The slots' estimates into out[0 .. slots), and the events it took, or
  // Replicator::kCut when the deadline passed first.
  std::uint64_t run(std::uint64_t seed, std::uint64_t index, double* out);
  void setDeadline(Clock::time_point deadline) { deadline_ = deadline; }

 private:
  const Plan& plan_;
  const SplitPlan& split_;
  Clock::time_point deadline_ = Clock::time_point::max();
  std::map<int, std::unique_ptr<Path>> paths_;  // by reward variable
  std::vector<Path::Snapshot> entrances_, hits_;
  std::vector<std::uint64_t> counts_;
  std::vector<std::size_t> order_;
};

}  // namespace sim

#endif
