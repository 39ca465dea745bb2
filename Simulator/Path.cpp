#include "Path.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <unordered_set>

#include "GenError.h"
#include "Importance.h"
#include "List.h"
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

struct Path::Stream final : SuccessorGenerator::Uniform {
  pcg32 rng;
  double next() override { return uniform53(rng); }
  double exponential(double rate) { return -std::log1p(-next()) / rate; }
};

Path::Path(std::unique_ptr<PVModel> model, int node)
    : model_(std::move(model)), node_(node), stream_(std::make_unique<Stream>()) {
  gen_ = std::make_unique<SuccessorGenerator>(*model_);
  if (gen_->distributionFlags() & 0xF000)
    throw GenError(
        "Error: An activity of the model has a distribution the simulator does not know; it runs exponential, "
        "deterministic, Erlang and instantaneous activities.");
  initial_.assign(gen_->vectorSize(), 0);
  vector_.assign(gen_->vectorSize(), 0);
  gen_->initialVector(initial_.data());

  // The actions of the replicas of every Rep of two or more.
  std::unordered_set<const BaseActionClass*> replicas;
  if (model_->TheModel) {
    std::vector<BaseModelClass::Replicas> found;
    model_->TheModel->listReplicas(0, 0, found);
    List<BaseActionClass> all;
    model_->listActions(&all);
    BaseActionClass** actions = all.getList();
    for (const auto& r : found) {
      if (r.count < 2) continue;
      const long end =
          std::min<long>(all.getNumItems(), r.firstAction + static_cast<long>(r.actionsPerReplica) * r.count);
      for (long a = std::max(0, r.firstAction); a < end; a++) replicas.insert(actions[a]);
    }
  }
  std::vector<std::uint32_t> fixed;
  for (const auto& a : gen_->timedActivities()) {
    BaseActionClass* action = gen_->timedAction(a.first);
    const Distribution d = action->DistributionType;
    if (d == DIST_DETERMINISTIC) fixed.push_back(static_cast<std::uint32_t>(activities_.size()));
    replicated_.push_back(d == DIST_DETERMINISTIC && replicas.count(action) ? 1 : 0);
    activities_.push_back(Activity{d == DIST_DETERMINISTIC ? Delay::Deterministic
                                   : d == DIST_ERLANG      ? Delay::Erlang
                                                           : Delay::Exponential,
                                   false, 0.0, kNever});
  }
  gen_->watchInterruptions(std::move(fixed));
}

Path::~Path() = default;

void Path::reseed(std::uint64_t seed, Purpose purpose, std::uint64_t index) {
  stream_->rng = replicationGenerator(seed, purpose, index);
}

double Path::uniform() { return stream_->next(); }

double Path::activityRate(std::size_t a) const {
  BaseActionClass* action = gen_->timedAction(gen_->timedActivities()[a].first);
  const double rate = action->Rate();
  if (!(rate >= 0) || !std::isfinite(rate))
    throw GenError(std::string("Error: The rate of action ") + action->getName() + " is " + number(rate) +
                   " in repetition " + std::to_string(repetition_) +
                   "; a rate must be finite and not negative.\nPlease check the model and try again");
  return rate;
}

double Path::deterministicDelay(std::size_t a) const {
  BaseActionClass* action = gen_->timedAction(gen_->timedActivities()[a].first);
  const double* parameters = action->ReturnDistributionParameters();
  const double delay = parameters ? parameters[0] : std::nan("");
  if (!(delay > 0) || !std::isfinite(delay))
    throw GenError(std::string("Error: The delay of action ") + action->getName() + " is " + number(delay) +
                   " in repetition " + std::to_string(repetition_) +
                   "; a delay must be finite and above 0.\nPlease check the model and try again");
  return delay;
}

void Path::refreshEnabling(std::size_t fired) {
  const auto& list = gen_->timedActivities();
  for (std::size_t a = 0; a < activities_.size(); a++) {
    Activity& activity = activities_[a];
    const bool enabled = gen_->timedAction(list[a].first)->Enabled();
    if (activity.delay == Delay::Deterministic) {
      if (!enabled)
        activity.due = kNever;
      else if (a == fired || !activity.enabled || (fired != SIZE_MAX && gen_->interrupted(a)))
        activity.due = now_ + deterministicDelay(a);
    } else {
      activity.rate = enabled ? activityRate(a) : 0.0;
    }
    activity.enabled = enabled;
  }
}

void Path::evaluateReward() {
  PerformanceVariableNode* node = model_->PVList[node_];
  node->CurrentReward(nullptr);
  reward_ = node->RateReward;
}

void Path::start() {
  gen_->loadState(initial_.data());
  now_ = 0.0;
  for (Activity& a : activities_) a = Activity{a.delay, false, 0.0, kNever};
  refreshEnabling(SIZE_MAX);
  evaluateReward();
}

void Path::save(Snapshot& snapshot) {
  snapshot.vector.resize(vector_.size());
  gen_->saveState(snapshot.vector.data());
  snapshot.activities = activities_;
  snapshot.now = now_;
}

void Path::restore(const Snapshot& snapshot) {
  gen_->loadState(snapshot.vector.data());
  now_ = snapshot.now;
  activities_ = snapshot.activities;
  afterLoad();
}

void Path::afterLoad() {
  const auto& list = gen_->timedActivities();
  for (std::size_t a = 0; a < activities_.size(); a++) {
    Activity& activity = activities_[a];
    if (activity.delay != Delay::Deterministic) {
      // Loading may have moved a replica's part to another replica: rates
      // and enabling follow the marking, so they are read again.
      activity.enabled = gen_->timedAction(list[a].first)->Enabled();
      activity.rate = activity.enabled ? activityRate(a) : 0.0;
    } else if (replicated_[a]) {
      // Which replica a running delay belonged to is lost in the sorted
      // vector; it does not matter while every such delay ends after the
      // horizon, since none of them then completes on this path.
      if (activity.enabled && activity.due <= horizon_)
        throw GenError(std::string("Error: Splitting cannot restart a path in which the fixed delay of ") +
                       gen_->timedAction(list[a].first)->getName() +
                       ", inside a Rep of several replicas, ends before the time point " + number(horizon_) +
                       " (repetition " + std::to_string(repetition_) +
                       "): the saved state does not say which replica it belongs to. Run without -X.");
      activity.enabled = gen_->timedAction(list[a].first)->Enabled();
      activity.due = kNever;
    }
  }
  evaluateReward();
}

double Path::importance(const Importance& importance) {
  if (importance.variable() >= 0) {
    PerformanceVariableNode* node = model_->PVList[importance.variable()];
    node->CurrentReward(nullptr);
    return node->RateReward;
  }
  gen_->saveState(vector_.data());
  return importance.of(vector_.data());
}

bool Path::climb(double threshold, const Importance* importance, const Slot* slot, double& integral) try {
  if (importance && this->importance(*importance) >= threshold) return true;
  const auto& list = gen_->timedActivities();
  for (;;) {
    double total = 0.0;
    double due = kNever;
    std::size_t dueActivity = SIZE_MAX;
    for (std::size_t a = 0; a < activities_.size(); a++) {
      const Activity& activity = activities_[a];
      if (!activity.enabled) continue;
      if (activity.delay == Delay::Deterministic) {
        if (activity.due < due) {
          due = activity.due;
          dueActivity = a;
        }
      } else {
        total += activity.rate;
      }
    }
    const double exponentialAt = total > 0 ? now_ + stream_->exponential(total) : kNever;
    const double next = std::min(exponentialAt, due);
    if (slot && reward_ != 0) {
      const double overlap = std::min({next, horizon_, slot->stop}) - std::max(now_, slot->start);
      if (overlap > 0) integral += reward_ * overlap;
    }
    if (next > horizon_) {
      now_ = horizon_;
      return false;
    }
    now_ = next;
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
      for (std::size_t a = activities_.size(); a-- > 0 && chosen == SIZE_MAX;)
        if (activities_[a].enabled && activities_[a].delay != Delay::Deterministic && activities_[a].rate > 0)
          chosen = a;
    }
    events_++;
    BaseActionClass* first = gen_->timedAction(list[chosen].first);
    if (activities_[chosen].delay == Delay::Erlang && !first->ReadyToFire()) {
      gen_->agePhase(first);
    } else {
      BaseActionClass* action = gen_->drawCase(list[chosen], *stream_);
      gen_->firePath(action, *stream_);
      refreshEnabling(chosen);
      evaluateReward();
    }
    if (importance && this->importance(*importance) >= threshold) return true;
  }
} catch (const ModelFault& fault) {
  throw GenError(std::string(fault.what()) + ", in repetition " + std::to_string(repetition_) + " (seed " +
                 std::to_string(seed_) + ") at time " + number(now_) + ".\nPlease check the model and try again");
}

double Path::weighted(const Importance& importance, const Slot& slot, double bias) try {
  const auto& list = gen_->timedActivities();
  double weight = 1.0, integral = 0.0;
  std::vector<char>& here = peek_;
  here.resize(vector_.size());
  for (;;) {
    double total = 0.0, due = kNever;
    std::size_t dueActivity = SIZE_MAX;
    for (std::size_t a = 0; a < activities_.size(); a++) {
      const Activity& activity = activities_[a];
      if (!activity.enabled) continue;
      if (activity.delay == Delay::Deterministic) {
        if (activity.due < due) {
          due = activity.due;
          dueActivity = a;
        }
      } else {
        total += activity.rate;
      }
    }
    // Forcing: an exponential completion before the horizon, which has
    // probability p, is given probability max(p, bias); the time is then
    // drawn from its law given that it comes before the horizon (or after).
    double exponentialAt = kNever;
    if (total > 0) {
      const double left = horizon_ - now_;
      const double p = left > 0 ? -std::expm1(-total * left) : 0.0;
      const double q = std::max(p, bias);
      if (p > 0 && stream_->next() < q) {
        weight *= p / q;
        exponentialAt = now_ - std::log1p(-stream_->next() * p) / total;
        if (!(exponentialAt <= horizon_)) exponentialAt = horizon_;
      } else {
        if (p > 0) weight *= (1.0 - p) / (1.0 - q);
        exponentialAt = kNever;
      }
    }
    const double next = std::min(exponentialAt, due);
    if (reward_ != 0) {
      const double overlap = std::min({next, horizon_, slot.stop}) - std::max(now_, slot.start);
      if (overlap > 0) integral += reward_ * overlap;
    }
    if (next > horizon_) break;
    now_ = next;
    std::size_t chosen = dueActivity;
    if (exponentialAt < due) {
      // Biasing: the activities whose completion leads to a state of higher
      // importance (found by firing each once and going back) share
      // probability max(their share, bias); the likelihood ratio takes the
      // choice back to the model's own probabilities.
      const double from = this->importance(importance);
      // Loaded once, the vector gives each replica of a Rep the part it
      // will get on every reload below, so the enabling read now holds
      // for every peek.
      gen_->saveState(here.data());
      gen_->loadState(here.data());
      afterLoad();
      const std::vector<Activity> kept = activities_;
      total = 0.0;
      for (const Activity& activity : kept)
        if (activity.enabled && activity.delay != Delay::Deterministic) total += activity.rate;
      toward_.assign(activities_.size(), 0);
      double towardRate = 0.0;
      for (std::size_t a = 0; a < activities_.size(); a++) {
        const Activity& activity = kept[a];
        if (!activity.enabled || activity.delay == Delay::Deterministic || activity.rate == 0) continue;
        BaseActionClass* first = gen_->timedAction(list[a].first);
        if (activity.delay == Delay::Erlang && !first->ReadyToFire()) continue;
        bool up = false;
        for (std::uint32_t c = 0; c < list[a].count && !up; c++) {
          BaseActionClass* action = gen_->timedAction(list[a].first + c);
          if (list[a].count > 1 && gen_->caseShare(action) == 0) continue;
          gen_->firePath(action, *stream_);
          up = this->importance(importance) > from;
          gen_->loadState(here.data());
        }
        if (up) {
          toward_[a] = 1;
          towardRate += activity.rate;
        }
      }
      activities_ = kept;
      afterLoad();
      double share = towardRate / total;
      const bool biased = towardRate > 0 && towardRate < total && share < bias;
      const bool pickToward = biased ? stream_->next() < bias : false;
      double u = stream_->next() * (biased ? (pickToward ? towardRate : total - towardRate) : total);
      chosen = SIZE_MAX;
      std::size_t last = SIZE_MAX;
      for (std::size_t a = 0; a < activities_.size() && chosen == SIZE_MAX; a++) {
        const Activity& activity = activities_[a];
        if (!activity.enabled || activity.delay == Delay::Deterministic || activity.rate == 0) continue;
        if (biased && (toward_[a] != 0) != pickToward) continue;
        last = a;
        if (u < activity.rate) chosen = a;
        u -= activity.rate;
      }
      if (chosen == SIZE_MAX) chosen = last;
      if (biased) weight *= pickToward ? share / bias : (1.0 - share) / (1.0 - bias);
    }
    events_++;
    BaseActionClass* first = gen_->timedAction(list[chosen].first);
    if (activities_[chosen].delay == Delay::Erlang && !first->ReadyToFire()) {
      gen_->agePhase(first);
    } else {
      BaseActionClass* action = gen_->drawCase(list[chosen], *stream_);
      gen_->firePath(action, *stream_);
      refreshEnabling(chosen);
      evaluateReward();
    }
  }
  now_ = horizon_;
  double observed = integral;
  if (slot.kind == Instant_Of_Time) observed = reward_;
  if (slot.kind == Time_Averaged_Interval_Of_Time) observed = integral / (slot.stop - slot.start);
  return observed * weight;
} catch (const ModelFault& fault) {
  throw GenError(std::string(fault.what()) + ", in replication " + std::to_string(repetition_) + " (seed " +
                 std::to_string(seed_) + ") at time " + number(now_) + ".\nPlease check the model and try again");
}

}  // namespace sim
