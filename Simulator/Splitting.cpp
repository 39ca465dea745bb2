#include "Splitting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "GenError.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"
#include "SuccessorGenerator.h"

namespace sim {

namespace {

// The share of a stage's paths the pilot aims to see reach the next level:
// about e^-2, where fixed effort's variance for a given work is least when
// there are many levels.
constexpr double kStageShare = 0.1;
// More levels than this means the pilot is lost, not that the event is rare.
constexpr std::size_t kMaxLevels = 400;
// Stable states explored for an importance function at most.
constexpr std::size_t kMaxImportanceStates = 1000000;
// Importance sampling: the least probability given to an exponential
// completion before the horizon and to the activities that raise the
// importance (balanced failure biasing's usual choice).
constexpr double kBias = 0.5;

std::string text(const char* format, double v) {
  char out[64];
  std::snprintf(out, sizeof out, format, v);
  return out;
}

double horizonOf(const Slot& slot) { return slot.kind == Instant_Of_Time ? slot.start : slot.stop; }

double observation(const Slot& slot, const Path& path, double integral) {
  switch (slot.kind) {
    case Instant_Of_Time: return path.reward();
    case Time_Averaged_Interval_Of_Time: return integral / (slot.stop - slot.start);
    default: return integral;
  }
}

// Spreads `effort` paths over `starts` starting points: each gets
// effort / starts, and the rest go one each to points drawn uniformly
// without replacement, so that every point expects the same share and the
// stage's success ratio is unbiased for the mean over the points.
void allocate(std::size_t starts, std::uint64_t effort, Path& path, std::vector<std::uint64_t>& counts,
              std::vector<std::size_t>& order) {
  counts.assign(starts, effort / starts);
  const std::uint64_t rest = effort % starts;
  if (rest == 0) return;
  order.resize(starts);
  std::iota(order.begin(), order.end(), std::size_t{0});
  for (std::uint64_t i = 0; i < rest; i++) {
    const auto pick = i + static_cast<std::size_t>(path.uniform() * static_cast<double>(starts - i));
    std::swap(order[i], order[std::min<std::size_t>(pick, starts - 1)]);
    counts[order[i]]++;
  }
}

// Chooses one slot's levels: stage by stage, `effort` paths from the
// entrances into the last level chosen run to the horizon, noting each new
// highest importance they reach (with their state there); the next level
// is the highest importance that a tenth of them reach, and the stages end
// when a tenth of the paths observe the event itself, or when none rises
// further.
void choosePilotLevels(Path& path, const Importance& importance, const Slot& slot, SplitSlot& split,
                       std::uint64_t effort, std::uint64_t seed, std::uint64_t stream) {
  path.reseed(seed, Purpose::Pilot, stream);
  path.setLabel(seed, stream);
  path.setHorizon(split.horizon);
  path.start();
  double current = path.importance(importance);
  split.pilot = 1.0;
  if ((importance.variable() < 0 && importance.rareStates() == 0) || current == -Importance::kInfinity) return;
  std::vector<Path::Snapshot> entrances, pool;
  std::vector<std::uint64_t> counts;
  std::vector<std::size_t> order;
  struct Record {
    double value;
    std::size_t snapshot;
  };
  for (;;) {
    if (split.levels.size() > kMaxLevels)
      throw GenError("Error: Splitting found no way to the rare set of " +
                     std::string(path.model().PVList[split.node]->Name) + " in " + std::to_string(kMaxLevels) +
                     " levels. Run without -X.");
    allocate(entrances.empty() ? 1 : entrances.size(), effort, path, counts, order);
    pool.clear();
    std::vector<std::vector<Record>> records;
    std::vector<double> highest;
    std::uint64_t seen = 0;
    double sum = 0;
    // The least importance of a state at the instant in which the event
    // was observed: no level goes above it, or paths into the event below
    // a level would be lost (a user's importance need not rank the event
    // highest).
    double lowestSeen = Importance::kInfinity;
    for (std::size_t i = 0; i < counts.size(); i++) {
      for (std::uint64_t c = 0; c < counts[i]; c++) {
        if (entrances.empty())
          path.start();
        else
          path.restore(entrances[i]);
        records.emplace_back();
        double top = path.importance(importance), integral = 0;
        while (path.climb(std::nextafter(top, Importance::kInfinity), &importance, &slot, integral)) {
          top = path.importance(importance);
          pool.emplace_back();
          path.save(pool.back());
          records.back().push_back(Record{top, pool.size() - 1});
        }
        const double observed = observation(slot, path, integral);
        sum += observed;
        if (observed != 0) {
          seen++;
          if (slot.kind == Instant_Of_Time) lowestSeen = std::min(lowestSeen, path.importance(importance));
        }
        highest.push_back(top);
      }
    }
    const double share = static_cast<double>(seen) / static_cast<double>(effort);
    std::vector<double> sorted = highest;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    const auto rank = static_cast<std::size_t>(std::ceil(kStageShare * static_cast<double>(effort))) - 1;
    double next = sorted[std::min(rank, sorted.size() - 1)];
    if (!(next > current)) {
      next = Importance::kInfinity;
      for (const double h : highest)
        if (h > current) next = std::min(next, h);
    }
    if (next > lowestSeen) next = lowestSeen > current ? lowestSeen : Importance::kInfinity;
    if (share >= kStageShare || next == Importance::kInfinity) {
      // At importance 0 the paths stand in the rare set, or one certain way
      // from it: no level is left to add, whatever the last stage sees.
      if (seen == 0 && current < 0)
        throw GenError("Error: Splitting cannot reach the rare set of " +
                       std::string(path.model().PVList[split.node]->Name) + ": no pilot path rose above importance " +
                       text("%.6g", current) + " (the log-probability of the most likely way into the set) by time " +
                       text("%g", split.horizon) + ", past " + std::to_string(split.levels.size()) +
                       " levels; where the rest is one jump, there is nothing to split. Raise the paths a stage "
                       "(-E) or run without -X.");
      split.pilot *= sum / static_cast<double>(effort);
      return;
    }
    std::vector<Path::Snapshot> reached;
    for (const auto& list : records)
      for (const Record& r : list)
        if (r.value >= next) {
          reached.push_back(std::move(pool[r.snapshot]));
          break;
        }
    split.pilot *= static_cast<double>(reached.size()) / static_cast<double>(effort);
    split.levels.push_back(next);
    current = next;
    entrances = std::move(reached);
  }
}

}  // namespace

std::unique_ptr<SplitPlan> prepareSplitting(const std::function<std::unique_ptr<PVModel>()>& makeModel,
                                            const Plan& plan, const Options& options,
                                            const std::function<void(const std::string&)>& progress) {
  auto split = std::make_unique<SplitPlan>();
  split->effort = options.effort;
  split->sampling = options.sampling;
  std::map<int, std::unique_ptr<Path>> paths;
  for (const auto& [variable, importance] : options.importanceOf)
    if (std::find(plan.names.begin(), plan.names.end(), variable) == plan.names.end())
      throw GenError("simulate: -I " + variable + "=" + importance + ": the model has no such reward variable");
  for (std::size_t s = 0; s < plan.slots.size(); s++) {
    const Slot& slot = plan.slots[s];
    const std::string& name = plan.names[static_cast<std::size_t>(slot.node)];
    if (slot.kind == Steady_State)
      throw GenError("Error: " + name +
                     " is a steady-state variable; -X estimates instants and intervals of time. Leave it out "
                     "(-V) or run without -X.");
    if (slot.kind == Reached_By_Time || slot.kind == First_Passage)
      throw GenError("Error: " + name +
                     " is a variable of a condition's first holding; -X estimates instants and intervals of time. "
                     "Leave it out (-V) or run without -X.");
    if (!split->importances.count(slot.node)) {
      std::unique_ptr<PVModel> model = makeModel();
      if (model->PVList[slot.node]->NumImpulses > 0)
        throw GenError("Error: " + name +
                       " has impulses; -X estimates variables of rate rewards only. Leave it out (-V) or run "
                       "without -X.");
      SuccessorGenerator generator(*model);
      const auto given = std::find_if(options.importanceOf.begin(), options.importanceOf.end(),
                                      [&](const auto& pair) { return pair.first == name; });
      int written = -1;
      if (given != options.importanceOf.end()) {
        const auto at = std::find(plan.names.begin(), plan.names.end(), given->second);
        if (at == plan.names.end())
          throw GenError("simulate: -I " + given->first + "=" + given->second +
                         ": the model has no such reward variable");
        written = static_cast<int>(at - plan.names.begin());
      }
      Importance importance = written >= 0 ? Importance::ofVariable(written, given->second)
                                           : Importance::derive(*model, generator, slot.node, kMaxImportanceStates);
      if (!importance.failure().empty())
        throw GenError("Error: No importance function for " + name + ": " + importance.failure() + ". Run without -X.");
      split->importances.emplace(slot.node, std::move(importance));
      paths.emplace(slot.node, std::make_unique<Path>(makeModel(), slot.node));
    }
    SplitSlot one;
    one.node = slot.node;
    one.importance = &split->importances.at(slot.node);
    one.horizon = horizonOf(slot);
    const std::string states =
        one.importance->variable() >= 0
            ? "variable " + one.importance->variableName()
            : std::to_string(one.importance->states()) + (one.importance->partial() ? " states (of more)" : " states");
    if (options.sampling) {
      one.method =
          "importance sampling: forcing and biasing " + text("%g", kBias) + " towards the importance over " + states;
      split->slots.push_back(std::move(one));
      continue;
    }
    choosePilotLevels(*paths.at(slot.node), *one.importance, slot, one, options.effort, options.seed, s);
    one.method = "splitting: " + std::to_string(one.levels.size()) + " levels, " + std::to_string(options.effort) +
                 " paths a stage, importance over " + states;
    progress("simulate: " + name + " at " + text("%g", one.horizon) + ": " + one.method + ", pilot estimate " +
             text("%.3g", one.pilot));
    split->slots.push_back(std::move(one));
  }
  return split;
}

Splitter::Splitter(const std::function<std::unique_ptr<PVModel>()>& makeModel, const Plan& plan, const SplitPlan& split)
    : plan_(plan), split_(split) {
  for (const Slot& slot : plan.slots)
    if (!paths_.count(slot.node)) paths_.emplace(slot.node, std::make_unique<Path>(makeModel(), slot.node));
}

std::uint64_t Splitter::run(std::uint64_t seed, std::uint64_t index, double* out) {
  std::uint64_t events = 0;
  const std::uint64_t effort = split_.effort;
  for (std::size_t s = 0; s < plan_.slots.size(); s++) {
    const Slot& slot = plan_.slots[s];
    const SplitSlot& split = split_.slots[s];
    Path& path = *paths_.at(slot.node);
    const std::uint64_t before = path.events();
    if (split_.sampling) {
      path.reseed(seed, Purpose::Sampling, index);
      path.setLabel(seed, index);
      path.setHorizon(split.horizon);
      path.start();
      out[s] = path.weighted(*split.importance, slot, kBias);
      events += path.events() - before;
      continue;
    }
    path.reseed(seed, Purpose::Splitting, index);
    path.setLabel(seed, index);
    path.setHorizon(split.horizon);
    const std::size_t levels = split.levels.size();
    double estimate = 1.0;
    std::size_t entrances = 0;
    for (std::size_t k = 0; k <= levels && estimate > 0; k++) {
      if (Clock::now() > deadline_) return Replicator::kCut;
      allocate(k == 0 ? 1 : entrances, effort, path, counts_, order_);
      std::size_t hits = 0;
      double sum = 0;
      for (std::size_t i = 0; i < counts_.size(); i++) {
        for (std::uint64_t c = 0; c < counts_[i]; c++) {
          if (k == 0)
            path.start();
          else
            path.restore(entrances_[i]);
          double integral = 0;
          if (k < levels) {
            if (path.climb(split.levels[k], split.importance, nullptr, integral)) {
              if (hits_.size() <= hits) hits_.emplace_back();
              path.save(hits_[hits++]);
            }
          } else {
            path.climb(Importance::kInfinity, nullptr, &slot, integral);
            sum += observation(slot, path, integral);
          }
        }
      }
      if (k < levels) {
        estimate *= static_cast<double>(hits) / static_cast<double>(effort);
        std::swap(entrances_, hits_);
        entrances = hits;
      } else {
        estimate *= sum / static_cast<double>(effort);
      }
    }
    out[s] = estimate;
    events += path.events() - before;
  }
  return events;
}

}  // namespace sim
