#include "Engine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "GenError.h"
#include "ModelFault.h"
#include "PVModel.h"
#include "Statistics.h"
#include "Streams.h"

namespace sim {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

}  // namespace

struct Replicator::Stream final : SuccessorGenerator::Uniform {
  pcg32 rng;
  double next() override { return uniform53(rng); }
  double exponential(double rate) { return -std::log1p(-next()) / rate; }
};

Plan makePlan(PVModel& model, const std::vector<std::string>& only, const std::vector<double>& times) {
  for (const std::string& name : only) {
    bool known = false;
    for (int v = 0; v < model.NumPVNodes && !known; v++) known = model.PVList[v]->Name && name == model.PVList[v]->Name;
    if (!known) throw GenError("simulate: -V " + name + ": the model has no such reward variable");
  }
  Plan plan;
  for (int v = 0; v < model.NumPVNodes; v++) {
    PerformanceVariableNode* node = model.PVList[v];
    plan.names.emplace_back(node->Name ? node->Name : "");
    if (!only.empty() && std::find(only.begin(), only.end(), plan.names.back()) == only.end()) continue;
    const ::RewardType kind = node->GetRewardType();
    if (kind == Until_Condition) continue;
    if (kind == First_Passage) {
      // The condition is the node after it; the path waits for it up to the
      // cap the model file gives.
      if (v + 1 >= model.NumPVNodes || model.PVList[v + 1]->GetRewardType() != Until_Condition)
        throw GenError("simulate: the first-passage variable " + plan.names.back() + " has no condition after it");
      if (node->GetNumTimePoints() != 1 || !(node->GetStopTime(0) > 0) || !std::isfinite(node->GetStopTime(0)))
        throw GenError("simulate: the first-passage variable " + plan.names.back() +
                       " has no cap: a path waits for its condition up to the 'cap' its model file gives");
      plan.transient.push_back(plan.slots.size());
      plan.slots.push_back(Slot{v, kind, 0.0, node->GetStopTime(0), v + 1});
      plan.horizon = std::max(plan.horizon, node->GetStopTime(0));
      continue;
    }
    if (kind == Steady_State) {
      plan.steady.push_back(plan.slots.size());
      plan.slots.push_back(Slot{v, kind, 0.0, 0.0});
      continue;
    }
    std::vector<Slot> own;
    if (times.empty()) {
      for (int t = 0; t < node->GetNumTimePoints(); t++)
        own.push_back(Slot{v, kind, node->GetStartTime(t), node->GetStopTime(t)});
    } else {
      for (const double t : times)
        own.push_back(Slot{v, kind, kind == Instant_Of_Time || kind == Reached_By_Time ? t : 0.0, t});
    }
    for (const Slot& slot : own) {
      plan.transient.push_back(plan.slots.size());
      plan.slots.push_back(slot);
      plan.horizon = std::max(plan.horizon, slot.stop);
      plan.settled = std::max(plan.settled, slot.stop);
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
  for (const std::size_t s : plan.transient) {
    if (transientNodes_.empty() || transientNodes_.back() != plan.slots[s].node)
      transientNodes_.push_back(plan.slots[s].node);
    // A first passage's condition is evaluated with it.
    if (plan.slots[s].until >= 0) transientNodes_.push_back(plan.slots[s].until);
  }
  for (const std::size_t s : plan.steady) steadyNodes_.push_back(plan.slots[s].node);
  hasImpulses_.assign(static_cast<std::size_t>(nodes), 0);
  for (const auto* used : {&transientNodes_, &steadyNodes_}) {
    for (const int v : *used) {
      const PerformanceVariableNode* node = model_->PVList[v];
      if (node->NumImpulses == 0) continue;
      impulses_ = true;
      hasImpulses_[static_cast<std::size_t>(v)] = 1;
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
  beyondUnit_.assign(static_cast<std::size_t>(nodes), 0);
  for (std::size_t k = 0; k < plan.transient.size(); k++) {
    const ::RewardType kind = plan.slots[plan.transient[k]].kind;
    if (kind == Instant_Of_Time)
      instantOrder_.push_back(k);
    else if (kind == Reached_By_Time)
      reachedSlots_.push_back(k);
    else if (kind == First_Passage)
      passageSlots_.push_back(k);
    else
      spanSlots_.push_back(k);
  }
  passed_.assign(passageSlots_.size(), 0);
  std::stable_sort(instantOrder_.begin(), instantOrder_.end(), [&](std::size_t a, std::size_t b) {
    return plan.slots[plan.transient[a]].start < plan.slots[plan.transient[b]].start;
  });
}

Replicator::~Replicator() = default;

std::string Replicator::whichReplication() const {
  return (longRun_ ? "long-run replication " : "replication ") + std::to_string(replication_);
}

double Replicator::activityRate(std::size_t a) const {
  BaseActionClass* action = gen_->timedAction(gen_->timedActivities()[a].first);
  const double rate = action->Rate();
  if (!(rate >= 0) || !std::isfinite(rate))
    throw GenError(std::string("Error: The rate of action ") + action->getName() + " is " + number(rate) + " in " +
                   whichReplication() +
                   "; a rate must be finite and not negative.\nPlease check the model and try again");
  return rate;
}

double Replicator::deterministicDelay(std::size_t a) const {
  BaseActionClass* action = gen_->timedAction(gen_->timedActivities()[a].first);
  const double* parameters = action->ReturnDistributionParameters();
  const double delay = parameters ? parameters[0] : std::nan("");
  if (!(delay > 0) || !std::isfinite(delay))
    throw GenError(std::string("Error: The delay of action ") + action->getName() + " is " + number(delay) + " in " +
                   whichReplication() + "; a delay must be finite and above 0.\nPlease check the model and try again");
  return delay;
}

void Replicator::evaluateRates(const std::vector<int>& nodes) {
  for (const int v : nodes) {
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
    const std::size_t k = instantOrder_[nextInstant_];
    const Slot& slot = plan_.slots[plan_.transient[k]];
    if (!(slot.start < to)) break;
    const auto v = static_cast<std::size_t>(slot.node);
    out[k] = rate_[v] + (instantImpulses_[v] ? impulseRate(slot.node) : 0.0);
    nextInstant_++;
  }
  // The marking holds over [from, to): a condition that holds in it has
  // held by every instant from `from` on.
  for (const std::size_t k : reachedSlots_) {
    const Slot& slot = plan_.slots[plan_.transient[k]];
    if (from <= slot.stop && rate_[static_cast<std::size_t>(slot.node)] != 0) out[k] = 1.0;
  }
  for (std::size_t p = 0; p < passageSlots_.size(); p++) {
    if (passed_[p]) continue;
    const std::size_t k = passageSlots_[p];
    const Slot& slot = plan_.slots[plan_.transient[k]];
    if (!(from < slot.stop)) continue;
    if (rate_[static_cast<std::size_t>(slot.until)] != 0) {
      passed_[p] = 1;
      continue;
    }
    const auto v = static_cast<std::size_t>(slot.node);
    const double r = rate_[v];
    out[k] += r * (std::min(to, slot.stop) - from);
    if (r < 0 || r > 1) beyondUnit_[v] = 1;
  }
  for (const std::size_t k : spanSlots_) {
    const Slot& slot = plan_.slots[plan_.transient[k]];
    const double r = rate_[static_cast<std::size_t>(slot.node)];
    if (r == 0) continue;
    const double overlap = std::min(to, slot.stop) - std::max(from, slot.start);
    if (overlap > 0) {
      out[k] += r * overlap;
      if (r < 0 || r > 1) beyondUnit_[static_cast<std::size_t>(slot.node)] = 1;
    }
  }
}

void Replicator::start(std::uint64_t seed, bool longRun, std::uint64_t index, const std::vector<int>& nodes) {
  seed_ = seed;
  replication_ = index;
  longRun_ = longRun;
  stream_->rng = replicationGenerator(seed, longRun ? Purpose::LongRun : Purpose::Transient, index);
  gen_->loadState(initial_.data());
  nextInstant_ = 0;
  faultTime_ = 0.0;
  std::fill(beyondUnit_.begin(), beyondUnit_.end(), 0);
  for (Activity& a : activities_) a = Activity{a.delay, false, 0.0, kNever};
  refreshEnabling(SIZE_MAX, 0.0);
  evaluateRates(nodes);
}

Replicator::Next Replicator::drawNext(double now) {
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
  if (exponentialAt < due) return Next{exponentialAt, total, dueActivity, true};
  return Next{due, total, dueActivity, false};
}

const double* Replicator::fire(const Next& next, double now, const std::vector<int>& nodes) {
  faultTime_ = now;
  std::size_t chosen = next.due;
  if (next.exponential) {
    double u = stream_->next() * next.total;
    chosen = SIZE_MAX;
    for (std::size_t a = 0; a < activities_.size() && chosen == SIZE_MAX; a++) {
      const Activity& activity = activities_[a];
      if (!activity.enabled || activity.delay == Delay::Deterministic || activity.rate == 0) continue;
      if (u < activity.rate) chosen = a;
      u -= activity.rate;
    }
    // Rounding past the last rate: the last activity with a rate.
    for (std::size_t a = activities_.size(); a-- > 0 && chosen == SIZE_MAX;)
      if (activities_[a].enabled && activities_[a].delay != Delay::Deterministic && activities_[a].rate > 0) chosen = a;
  }
  const auto& list = gen_->timedActivities();
  BaseActionClass* first = gen_->timedAction(list[chosen].first);
  if (activities_[chosen].delay == Delay::Erlang && !first->ReadyToFire()) {
    // A phase step: the marking stays, so do enabling and rewards.
    gen_->agePhase(first);
    return nullptr;
  }
  BaseActionClass* action = gen_->drawCase(list[chosen], *stream_);
  const int firings = gen_->firePath(action, *stream_);
  const double* earned = impulses_ ? gen_->pathImpulses(firings) : nullptr;
  refreshEnabling(chosen, now);
  evaluateRates(nodes);
  return earned;
}

std::uint64_t Replicator::runTransient(std::uint64_t seed, std::uint64_t index, double* out) try {
  start(seed, false, index, transientNodes_);
  const std::size_t n = plan_.transient.size();
  std::fill(out, out + TransientRow::width(n), 0.0);
  std::uint64_t events = 0;
  double now = 0.0;
  std::fill(passed_.begin(), passed_.end(), 0);
  for (;;) {
    const Next next = drawNext(now);
    observe(now, next.at, out);
    if (next.at == kNever || next.at > plan_.horizon) break;
    if (next.at > plan_.settled && std::find(passed_.begin(), passed_.end(), 0) == passed_.end()) break;
    now = next.at;
    events++;
    if (const double* earned = fire(next, now, transientNodes_)) {
      for (const std::size_t k : spanSlots_) {
        const Slot& slot = plan_.slots[plan_.transient[k]];
        if (now > slot.start && now <= slot.stop) out[k] += earned[slot.node];
      }
      // The firing that makes the condition hold earns its impulse too.
      for (std::size_t p = 0; p < passageSlots_.size(); p++) {
        const Slot& slot = plan_.slots[plan_.transient[passageSlots_[p]]];
        if (!passed_[p] && now <= slot.stop) out[passageSlots_[p]] += earned[slot.node];
      }
    }
    if (late(events)) return kCut;
  }
  for (std::size_t p = 0; p < passageSlots_.size(); p++) {
    const auto v = static_cast<std::size_t>(plan_.slots[plan_.transient[passageSlots_[p]]].node);
    out[TransientRow::beyondUnit(n, passageSlots_[p])] = !passed_[p]                         ? TransientRow::kCapped
                                                         : beyondUnit_[v] || hasImpulses_[v] ? 1.0
                                                                                             : 0.0;
  }
  for (const std::size_t k : spanSlots_) {
    const Slot& slot = plan_.slots[plan_.transient[k]];
    if (slot.kind != Time_Averaged_Interval_Of_Time) continue;
    out[k] /= slot.stop - slot.start;
    const auto v = static_cast<std::size_t>(slot.node);
    out[TransientRow::beyondUnit(n, k)] = beyondUnit_[v] || hasImpulses_[v] ? 1.0 : 0.0;
  }
  return events;
} catch (const ModelFault& fault) {
  // The handler costs an event nothing; the time is the one the fault's
  // firing happened at.
  throw GenError(std::string(fault.what()) + ", in " + whichReplication() + " (seed " + std::to_string(seed) +
                 ") at time " + number(faultTime_) + ".\nPlease check the model and try again");
}

std::uint64_t Replicator::runLongRun(std::uint64_t seed, std::uint64_t index, std::uint64_t warmup,
                                     std::uint64_t observed, double* out) try {
  start(seed, true, index, steadyNodes_);
  const std::size_t m = steadyNodes_.size();
  std::fill(out, out + LongRunRow::width(m), 0.0);
  // Event e (counted from 1) belongs to no block up to `tail`, then to the
  // warm-up's tail up to `warmup`, to the first half of the observation up
  // to `middle`, then to the second; so do its impulses and the time since
  // the event before it.
  const std::uint64_t tail = warmup - warmup / 2, middle = warmup + observed / 2, end = warmup + observed;
  std::uint64_t events = 0;
  double now = 0.0;
  while (events < end) {
    const Next next = drawNext(now);
    if (next.at == kNever) {
      // A state with nothing enabled: the path earns its rate from now on.
      std::fill(out, out + LongRunRow::width(m), 0.0);
      for (std::size_t j = 0; j < m; j++) {
        const auto v = static_cast<std::size_t>(steadyNodes_[j]);
        out[LongRunRow::reward(j, 0)] = rate_[v];
        if (rate_[v] < 0 || rate_[v] > 1) beyondUnit_[v] = 1;
      }
      out[LongRunRow::absorbed(m)] = 1.0;
      markBeyondUnit(out);
      return events;
    }
    const int block = events < tail ? -1 : events < warmup ? kTail : events < middle ? kFirstHalf : kSecondHalf;
    if (block >= 0) {
      const double span = next.at - now;
      for (std::size_t j = 0; j < m; j++) {
        const auto v = static_cast<std::size_t>(steadyNodes_[j]);
        out[LongRunRow::reward(j, block)] += rate_[v] * span;
        if (rate_[v] < 0 || rate_[v] > 1) beyondUnit_[v] = 1;
      }
      out[LongRunRow::time(m, block)] += span;
    }
    now = next.at;
    events++;
    const double* earned = fire(next, now, steadyNodes_);
    if (earned && block >= 0)
      for (std::size_t j = 0; j < m; j++) out[LongRunRow::reward(j, block)] += earned[steadyNodes_[j]];
    if (late(events)) return kCut;
  }
  markBeyondUnit(out);
  return events;
} catch (const ModelFault& fault) {
  throw GenError(std::string(fault.what()) + ", in " + whichReplication() + " (seed " + std::to_string(seed) +
                 ") at time " + number(faultTime_) + ".\nPlease check the model and try again");
}

void Replicator::markBeyondUnit(double* out) const {
  const std::size_t m = steadyNodes_.size();
  for (std::size_t j = 0; j < m; j++) {
    const auto v = static_cast<std::size_t>(steadyNodes_[j]);
    out[LongRunRow::beyondUnit(m, j)] = beyondUnit_[v] || hasImpulses_[v] ? 1.0 : 0.0;
  }
}

}  // namespace sim
