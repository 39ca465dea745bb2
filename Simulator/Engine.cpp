#include "Engine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <pcg_random.hpp>

#include "GenError.h"
#include "ModelFault.h"
#include "PVModel.h"

namespace sim {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

}  // namespace

// Replication i draws from stream i of the seed: pcg32's streams are
// distinct sequences by construction, so replications share no numbers
// whichever thread or process runs them.
struct Replicator::Stream final : SuccessorGenerator::Uniform {
  pcg32 rng;
  double next() override {
    const std::uint64_t high = rng(), low = rng();
    return static_cast<double>(((high << 32) | low) >> 11) * 0x1.0p-53;
  }
  double exponential(double rate) { return -std::log1p(-next()) / rate; }
};

Plan makePlan(PVModel& model, std::uint64_t warmupEvents, std::uint64_t batchEvents,
              const std::vector<std::string>& only) {
  for (const std::string& name : only) {
    bool known = false;
    for (int v = 0; v < model.NumPVNodes && !known; v++) known = model.PVList[v]->Name && name == model.PVList[v]->Name;
    if (!known) throw GenError("simulate: -V " + name + ": the model has no such reward variable");
  }
  Plan plan;
  plan.warmupEvents = warmupEvents;
  plan.batchEvents = batchEvents;
  for (int v = 0; v < model.NumPVNodes; v++) {
    PerformanceVariableNode* node = model.PVList[v];
    plan.names.emplace_back(node->Name ? node->Name : "");
    if (!only.empty() && std::find(only.begin(), only.end(), plan.names.back()) == only.end()) continue;
    const ::RewardType kind = node->GetRewardType();
    if (kind == Steady_State) {
      plan.slots.push_back(Slot{v, kind, 0.0, 0.0});
      plan.steady = true;
      continue;
    }
    for (int t = 0; t < node->GetNumTimePoints(); t++) {
      const Slot slot{v, kind, node->GetStartTime(t), node->GetStopTime(t)};
      plan.slots.push_back(slot);
      plan.horizon = std::max(plan.horizon, slot.stop);
    }
  }
  return plan;
}

Replicator::Replicator(std::unique_ptr<PVModel> model, const Plan& plan)
    : model_(std::move(model)), plan_(plan), stream_(std::make_unique<Stream>()) {
  gen_ = std::make_unique<SuccessorGenerator>(*model_);
  if (gen_->distributionFlags() & 0xF000)
    throw GenError(
        "Error: An activity of the model has a distribution the simulator does not know; it runs exponential, "
        "deterministic, Erlang and instantaneous activities.");
  const int nodes = model_->NumPVNodes;
  instantImpulses_.assign(static_cast<std::size_t>(nodes), 0);
  for (const Slot& slot : plan.slots)
    if (usedNodes_.empty() || usedNodes_.back() != slot.node) usedNodes_.push_back(slot.node);
  for (const int v : usedNodes_) {
    const PerformanceVariableNode* node = model_->PVList[v];
    if (node->NumImpulses == 0) continue;
    impulses_ = true;
    if (node->GetRewardType() != Instant_Of_Time) continue;
    // The impulse part of an instant-of-time variable is the rate at which
    // impulses are earned at that instant; a fixed delay has no such rate,
    // and the state would have to be reloaded, which moves a Rep's replicas
    // and with them the delays drawn for them.
    if (gen_->distributionFlags() & 2)
      throw GenError(std::string("Error: The instant-of-time variable ") + plan.names[static_cast<std::size_t>(v)] +
                     " has impulses, whose rate at an instant the simulator estimates only for models without "
                     "deterministic activities.");
    instantImpulses_[static_cast<std::size_t>(v)] = 1;
  }
  gen_->setBranchImpulses(impulses_);

  initial_.assign(gen_->vectorSize(), 0);
  saved_.assign(gen_->vectorSize(), 0);
  gen_->initialVector(initial_.data());
  std::vector<std::uint32_t> fixed;
  for (const auto& a : gen_->timedActivities()) {
    const Distribution d = gen_->timedAction(a.first)->DistributionType;
    if (d == DIST_DETERMINISTIC) fixed.push_back(static_cast<std::uint32_t>(activities_.size()));
    activities_.push_back(Activity{d == DIST_DETERMINISTIC ? Delay::Deterministic
                                   : d == DIST_ERLANG      ? Delay::Erlang
                                                           : Delay::Exponential,
                                   false, 0.0, kNever});
  }
  gen_->watchInterruptions(std::move(fixed));
  rate_.assign(static_cast<std::size_t>(nodes), 0.0);
  steadySum_.assign(static_cast<std::size_t>(nodes), 0.0);
  for (std::size_t s = 0; s < plan.slots.size(); s++) {
    switch (plan.slots[s].kind) {
      case Instant_Of_Time: instantOrder_.push_back(s); break;
      case Steady_State: steadySlots_.push_back(s); break;
      default: spanSlots_.push_back(s); break;
    }
  }
  std::stable_sort(instantOrder_.begin(), instantOrder_.end(),
                   [&](std::size_t a, std::size_t b) { return plan.slots[a].start < plan.slots[b].start; });
}

Replicator::~Replicator() = default;

double Replicator::activityRate(std::size_t a) const {
  BaseActionClass* action = gen_->timedAction(gen_->timedActivities()[a].first);
  const double rate = action->Rate();
  if (!(rate >= 0) || !std::isfinite(rate))
    throw GenError(std::string("Error: The rate of action ") + action->getName() + " is " + number(rate) +
                   " in replication " + std::to_string(replication_) +
                   "; a rate must be finite and not negative.\nPlease check the model and try again");
  return rate;
}

double Replicator::deterministicDelay(std::size_t a) const {
  BaseActionClass* action = gen_->timedAction(gen_->timedActivities()[a].first);
  const double* parameters = action->ReturnDistributionParameters();
  const double delay = parameters ? parameters[0] : std::nan("");
  if (!(delay > 0) || !std::isfinite(delay))
    throw GenError(std::string("Error: The delay of action ") + action->getName() + " is " + number(delay) +
                   " in replication " + std::to_string(replication_) +
                   "; a delay must be finite and above 0.\nPlease check the model and try again");
  return delay;
}

void Replicator::evaluateRates() {
  for (const int v : usedNodes_) {
    PerformanceVariableNode* node = model_->PVList[v];
    node->CurrentReward(nullptr);
    rate_[static_cast<std::size_t>(v)] = node->RateReward;
  }
}

void Replicator::refreshEnabling(std::size_t fired, double now) {
  const auto& list = gen_->timedActivities();
  for (std::size_t a = 0; a < activities_.size(); a++) {
    Activity& activity = activities_[a];
    const bool enabled = gen_->timedAction(list[a].first)->Enabled();
    if (activity.delay == Delay::Deterministic) {
      // A delay runs from its enabling; the activity that completed starts
      // a new one if it is still enabled, and one disabled, if only in a
      // vanishing marking on the way, forgets its own.
      if (!enabled)
        activity.due = kNever;
      else if (a == fired || !activity.enabled || (fired != SIZE_MAX && gen_->interrupted(a)))
        activity.due = now + deterministicDelay(a);
    } else {
      activity.rate = enabled ? activityRate(a) : 0.0;
    }
    activity.enabled = enabled;
  }
}

double Replicator::impulseRate(int node) {
  const auto& list = gen_->timedActivities();
  // Loading a vector gives replica c of a Rep slice c of it: loaded once
  // here, every reload below gives each replica the part it holds now, so
  // the activities' enabling, read once after it, stays true.
  gen_->saveState(saved_.data());
  gen_->loadState(saved_.data());
  refreshEnabling(SIZE_MAX, 0.0);
  double total = 0.0;
  for (std::size_t a = 0; a < activities_.size(); a++) {
    const Activity& activity = activities_[a];
    if (!activity.enabled || activity.rate == 0) continue;
    BaseActionClass* first = gen_->timedAction(list[a].first);
    if (activity.delay == Delay::Erlang && !first->ReadyToFire()) continue;
    for (std::uint32_t c = 0; c < list[a].count; c++) {
      BaseActionClass* action = gen_->timedAction(list[a].first + c);
      const double share = list[a].count == 1 ? 1.0 : gen_->caseShare(action);
      if (share == 0) continue;
      const int firings = gen_->firePath(action, *stream_);
      total += activity.rate * share * gen_->pathImpulses(firings)[node];
      gen_->loadState(saved_.data());
    }
  }
  return total;
}

void Replicator::observe(double from, double to, double* out) {
  while (nextInstant_ < instantOrder_.size()) {
    const std::size_t s = instantOrder_[nextInstant_];
    const Slot& slot = plan_.slots[s];
    if (!(slot.start < to)) break;
    const auto v = static_cast<std::size_t>(slot.node);
    out[s] = rate_[v] + (instantImpulses_[v] ? impulseRate(slot.node) : 0.0);
    nextInstant_++;
  }
  for (const std::size_t s : spanSlots_) {
    const Slot& slot = plan_.slots[s];
    const double r = rate_[static_cast<std::size_t>(slot.node)];
    if (r == 0) continue;
    const double overlap = std::min(to, slot.stop) - std::max(from, slot.start);
    if (overlap > 0) out[s] += r * overlap;
  }
  if (observing_)
    for (const int v : usedNodes_)
      steadySum_[static_cast<std::size_t>(v)] += rate_[static_cast<std::size_t>(v)] * (to - from);
}

std::uint64_t Replicator::run(std::uint64_t seed, std::uint64_t index, double* out) try {
  replication_ = index;
  stream_->rng.seed(seed, index);
  gen_->loadState(initial_.data());
  std::fill(out, out + plan_.slots.size(), 0.0);
  std::fill(steadySum_.begin(), steadySum_.end(), 0.0);
  nextInstant_ = 0;
  observing_ = false;
  faultTime_ = 0.0;
  for (Activity& a : activities_) a = Activity{a.delay, false, 0.0, kNever};
  refreshEnabling(SIZE_MAX, 0.0);
  evaluateRates();

  const auto& list = gen_->timedActivities();
  const std::uint64_t steadyStart = plan_.warmupEvents;
  const std::uint64_t steadyEnd = plan_.warmupEvents + plan_.batchEvents;
  std::uint64_t events = 0;
  double now = 0.0, observedFrom = 0.0;
  bool absorbed = false;
  if (plan_.steady && steadyStart == 0) observing_ = true;
  for (;;) {
    double total = 0.0;
    double due = kNever;
    std::size_t dueActivity = SIZE_MAX;
    for (std::size_t a = 0; a < activities_.size(); a++) {
      const Activity& activity = activities_[a];
      if (!activity.enabled) continue;
      if (activity.delay == Delay::Deterministic) {
        // Two delays ending at the same instant complete in activity order.
        if (activity.due < due) {
          due = activity.due;
          dueActivity = a;
        }
      } else {
        total += activity.rate;
      }
    }
    // The exponential clocks are memoryless: the next of them completes
    // after an exponential time of their total rate, whatever happened before.
    const double exponentialAt = total > 0 ? now + stream_->exponential(total) : kNever;
    const double next = std::min(exponentialAt, due);
    observe(now, next, out);
    const bool steadyDone = !plan_.steady || events >= steadyEnd;
    if (next == kNever) {
      absorbed = true;
      break;
    }
    if (next > plan_.horizon && steadyDone) break;
    now = next;
    faultTime_ = now;

    std::size_t chosen = dueActivity;
    if (exponentialAt < due) {
      double u = stream_->next() * total;
      chosen = SIZE_MAX;
      for (std::size_t a = 0; a < activities_.size() && chosen == SIZE_MAX; a++) {
        const Activity& activity = activities_[a];
        if (!activity.enabled || activity.delay == Delay::Deterministic || activity.rate == 0) continue;
        if (u < activity.rate) chosen = a;
        u -= activity.rate;
      }
      // Rounding past the last rate: the last activity with a rate.
      for (std::size_t a = activities_.size(); a-- > 0 && chosen == SIZE_MAX;)
        if (activities_[a].enabled && activities_[a].delay != Delay::Deterministic && activities_[a].rate > 0)
          chosen = a;
    }
    events++;
    BaseActionClass* first = gen_->timedAction(list[chosen].first);
    if (activities_[chosen].delay == Delay::Erlang && !first->ReadyToFire()) {
      // A phase step: the marking stays, so do enabling and rewards.
      gen_->agePhase(first);
    } else {
      BaseActionClass* action = gen_->drawCase(list[chosen], *stream_);
      const int firings = gen_->firePath(action, *stream_);
      if (impulses_) {
        const double* earned = gen_->pathImpulses(firings);
        for (const std::size_t s : spanSlots_) {
          const Slot& slot = plan_.slots[s];
          if (now > slot.start && now <= slot.stop) out[s] += earned[slot.node];
        }
        if (observing_)
          for (const int v : usedNodes_) steadySum_[static_cast<std::size_t>(v)] += earned[v];
      }
      refreshEnabling(chosen, now);
      evaluateRates();
    }
    if (plan_.steady) {
      if (events == steadyStart) {
        observing_ = true;
        observedFrom = now;
      } else if (events == steadyEnd) {
        observing_ = false;
        for (const std::size_t s : steadySlots_) {
          const auto v = static_cast<std::size_t>(plan_.slots[s].node);
          out[s] = now > observedFrom ? steadySum_[v] / (now - observedFrom) : rate_[v];
        }
      }
    }
  }
  if (plan_.steady && (absorbed && events < steadyEnd)) {
    // Absorbed before the observation ended: the long run is the last state.
    for (const std::size_t s : steadySlots_) out[s] = rate_[static_cast<std::size_t>(plan_.slots[s].node)];
  }
  for (const std::size_t s : spanSlots_) {
    const Slot& slot = plan_.slots[s];
    if (slot.kind == Time_Averaged_Interval_Of_Time) out[s] /= slot.stop - slot.start;
  }
  return events;
} catch (const ModelFault& fault) {
  // The handler costs an event nothing; the time is the one the fault's
  // firing happened at.
  throw GenError(std::string(fault.what()) + ", in replication " + std::to_string(index) + " (seed " +
                 std::to_string(seed) + ") at time " + number(faultTime_) + ".\nPlease check the model and try again");
}

}  // namespace sim
