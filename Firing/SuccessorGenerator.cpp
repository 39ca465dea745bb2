#include "SuccessorGenerator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "ByteRuns.h"
#include "GenAssert.h"
#include "GenError.h"
#include "ModelFault.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"
#include "PlaceValuations.h"
#include "RewardValues.h"
#include "TraceFileContainer.h"

namespace {

// Whether a note keyed `key` is due for the state numbered `number`: the
// first time, and again for a state numbered before every one it was made
// for (the numbering prints the note of the lowest number and drops the rest).
template <class Key>
bool noteDue(std::map<Key, std::uint32_t>& noted, const Key& key, std::uint32_t number) {
  const auto [at, added] = noted.try_emplace(key, number);
  if (added) return true;
  if (number >= at->second) return false;
  at->second = number;
  return true;
}

// Probabilities of the branches of one vanishing state may add up to a hair
// above 1 through rounding alone; only a real excess is worth a warning.
constexpr double kBranchSumTolerance = 1e-9;

std::string formatValue(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string joinNames(BaseActionClass** actions, int count) {
  std::string names;
  for (int i = 0; i < count; i++) {
    if (i > 0) names += ", ";
    names += actions[i]->getName();
  }
  return names;
}

}  // namespace

SuccessorGenerator::SuccessorGenerator(PVModel& model) : model_(model) {
  model_.ConsiderOnly(nullptr, -1);
  model_.listActions(&actionList_);
  model_.listGroups(&groupList_);
  groups_ = groupList_.getList();
  modelSize_ = static_cast<std::size_t>(model_.StateSize());

  BaseActionClass** all = actionList_.getList();
  for (int i = 0; i < actionList_.getNumItems(); i++) {
    BaseActionClass* action = all[i];
    switch (action->DistributionType) {
      case DIST_INSTANTANEOUS:
        distributionFlags_ |= 1;
        instantActions_.push_back(action);
        continue;
      case DIST_EXPONENTIAL: distributionFlags_ |= 1; break;
      case DIST_DETERMINISTIC:
        distributionFlags_ |= 2;
        deterministicIndex_.emplace(action, static_cast<std::uint32_t>(deterministicActions_.size()));
        deterministicActions_.push_back(action);
        break;
      case DIST_ERLANG:
        distributionFlags_ |= 4;
        erlangActions_.push_back(action);
        break;
      default: distributionFlags_ = 0xF000; break;
    }
    timedActions_.push_back(action);
  }
  stateSize_ = modelSize_ + erlangActions_.size() * sizeof(std::int16_t);
  refuseErlangReplicas();
  for (std::size_t t = 0; t < timedActions_.size(); t++) {
    if (t > 0 && timedActions_[t]->GroupId == timedActions_[t - 1]->GroupId)
      activities_.back().count++;
    else
      activities_.push_back(TimedActivity{static_cast<std::uint32_t>(t), 1});
  }

  const std::size_t levels = kMaxInstantFirings + 2;
  instantSlots_ = std::max<std::size_t>(instantActions_.size(), 1);
  findReplicas();
  next_.assign(stateSize_, 0);
  scratch_.assign(levels * stateSize_, 0);
  enabled_.assign(levels * instantSlots_, nullptr);
}

void SuccessorGenerator::refuseErlangReplicas() {
  if (erlangActions_.empty() || !model_.TheModel || model_.TheModel->NumActions != actionList_.getNumItems()) return;
  std::vector<BaseModelClass::Replicas> found;
  model_.TheModel->listReplicas(0, 0, found);
  BaseActionClass** all = actionList_.getList();
  for (const auto& r : found) {
    if (r.count < 2 || r.firstAction < 0 || r.actionsPerReplica <= 0) continue;
    const std::int64_t end = std::min<std::int64_t>(
        r.firstAction + static_cast<std::int64_t>(r.actionsPerReplica) * r.count, actionList_.getNumItems());
    for (std::int64_t a = r.firstAction; a < end; a++)
      if (all[a]->DistributionType == DIST_ERLANG)
        throw GenError(std::string("Error: The Erlang activity ") + all[a]->getName() + " is inside a Rep of " +
                       std::to_string(r.count) +
                       " replicas. A Rep keeps its replicas in sorted order, and the phases of Erlang activities "
                       "are kept beside the markings, where they would not follow their replicas: such a model "
                       "is not supported.");
  }
}

std::vector<std::string> SuccessorGenerator::deterministicNames() const {
  std::vector<std::string> names;
  for (const BaseActionClass* action : deterministicActions_) names.emplace_back(action->getName());
  return names;
}

void SuccessorGenerator::setTrace(TraceFileContainer* trace) {
  trace_ = trace;
  trace1_ = trace && trace->wants(1);
  trace4_ = trace && trace->wants(4);
  replicasOn_ = !replicaStarts_.empty() && !trace1_ && !trace4_ && impulseCount_ == 0;
}

void SuccessorGenerator::setBranchImpulses(bool on) {
  impulseCount_ = on ? static_cast<std::size_t>(model_.NumPVNodes) : 0;
  pathImpulse_.assign(impulseCount_ * (kMaxInstantFirings + 2), 0.0);
  // A replayed firing would need its impulses logged too; firing is exact.
  if (impulseCount_ > 0) replicasOn_ = false;
}

void SuccessorGenerator::recordImpulses(BaseActionClass* action, int level) {
  double* at = pathImpulse_.data() + static_cast<std::size_t>(level) * impulseCount_;
  for (std::size_t v = 0; v < impulseCount_; v++) {
    PerformanceVariableNode* node = model_.PVList[v];
    node->CurrentImpulse(action);
    at[v] = (level > 0 ? at[v - impulseCount_] : 0.0) + node->ImpulseReward;
  }
}

void SuccessorGenerator::findReplicas() {
  if (!model_.TheModel || !erlangActions_.empty() || model_.IndexMode == 1) return;
  const int actions = actionList_.getNumItems();
  if (model_.TheModel->NumActions != actions) return;
  std::vector<BaseModelClass::Replicas> found;
  model_.TheModel->listReplicas(0, 0, found);

  // timedBefore[a]: how many of the first a actions are timed.
  std::vector<std::uint32_t> timedBefore(static_cast<std::size_t>(actions) + 1, 0);
  BaseActionClass** all = actionList_.getList();
  for (std::size_t t = 0, a = 0; a < static_cast<std::size_t>(actions); a++) {
    if (t < timedActions_.size() && timedActions_[t] == all[a]) t++;
    timedBefore[a + 1] = static_cast<std::uint32_t>(t);
  }
  for (const auto& r : found) {
    if (r.firstAction < 0 || r.actionsPerReplica <= 0 || r.count < 2 ||
        r.firstAction + static_cast<std::int64_t>(r.actionsPerReplica) * r.count > actions ||
        r.firstPart + r.partSize * static_cast<std::size_t>(r.count) > stateSize_)
      continue;
    auto timedAt = [&](int c) {
      return timedBefore[static_cast<std::size_t>(r.firstAction + c * r.actionsPerReplica)];
    };
    const std::uint32_t perReplica = timedAt(1) - timedAt(0);
    bool alike = perReplica > 0;
    for (int c = 1; c < r.count && alike; c++) alike = timedAt(c + 1) - timedAt(c) == perReplica;
    if (!alike) continue;
    const auto group = static_cast<std::uint32_t>(replicas_.size());
    replicas_.push_back(Replicas{perReplica, r.firstPart, r.partSize});
    for (int c = 1; c < r.count; c++)
      replicaStarts_.push_back(ReplicaStart{timedAt(c), group, static_cast<std::uint32_t>(c)});
  }
  // At one position, the larger replica first: it replays more at once.
  std::stable_sort(replicaStarts_.begin(), replicaStarts_.end(), [this](const ReplicaStart& a, const ReplicaStart& b) {
    if (a.timed != b.timed) return a.timed < b.timed;
    return replicas_[a.group].timedPerReplica > replicas_[b.group].timedPerReplica;
  });
  firingSpan_.assign(timedActions_.size(), Span{0, 0});
  replicasOn_ = !replicaStarts_.empty();
}

std::size_t SuccessorGenerator::replayReplica(std::size_t timed, const char* state, Expansion& out) {
  while (nextStart_ < replicaStarts_.size() && replicaStarts_[nextStart_].timed < timed) nextStart_++;
  for (; nextStart_ < replicaStarts_.size() && replicaStarts_[nextStart_].timed == timed; nextStart_++) {
    const ReplicaStart& start = replicaStarts_[nextStart_];
    const Replicas& group = replicas_[start.group];
    const char* part = state + group.firstPart + start.replica * group.partSize;
    if (!sameBytes(part, part - group.partSize, group.partSize)) continue;
    const std::size_t count = group.timedPerReplica;
    for (std::size_t k = timed; k < timed + count; k++) {
      const Span span = firingSpan_[k - count];
      firingSpan_[k] = span;
      for (std::uint32_t i = span.begin; i < span.end; i++) {
        const Logged& entry = firingLog_[i];
        // The delay is this replica's own action's, not the one replayed.
        if (entry.successor == kDelay)
          out.addDelay(entry.value, deterministicIndex_.at(timedActions_[k]));
        else
          out.addAgain(entry.successor, entry.value);
      }
    }
    return count;
  }
  return 0;
}

void SuccessorGenerator::initialVector(char* vector) {
  for (BaseActionClass* erlang : erlangActions_) erlang->ResetPhase();
  model_.CurrentState(vector);
  writePhases(vector);
}

void SuccessorGenerator::writePhases(char* vector) const {
  char* phase = vector + modelSize_;
  for (BaseActionClass* erlang : erlangActions_) {
    const std::int16_t p = erlang->Phase;
    std::memcpy(phase, &p, sizeof p);
    phase += sizeof p;
  }
}

void SuccessorGenerator::setState(const char* vector) {
  model_.SetState(const_cast<char*>(vector));
  const char* phase = vector + modelSize_;
  for (BaseActionClass* erlang : erlangActions_) {
    std::int16_t p;
    std::memcpy(&p, phase, sizeof p);
    erlang->Phase = p;
    phase += sizeof p;
  }
}

void SuccessorGenerator::readNext() {
  model_.CurrentState(next_.data());
  writePhases(next_.data());
}

void SuccessorGenerator::settlePhases(BaseActionClass* fired) {
  if (erlangActions_.empty()) return;
  // The cases of an activity share its phase.
  if (fired->DistributionType == DIST_ERLANG) {
    BaseGroupClass* group = groupOf(fired);
    const int members = group->getNumMembers();
    for (int i = 0; i < members; i++) group->getMember(i)->ResetPhase();
    fired->ResetPhase();
  }
  // Disabled in a vanishing marking on the way counts too: the activity was
  // interrupted, if only for an instant.
  for (BaseActionClass* erlang : erlangActions_)
    if (erlang->Phase != 1 && !erlang->Enabled()) erlang->ResetPhase();
  writePhases(next_.data());
}

bool SuccessorGenerator::anyInstantEnabled() {
  bool enabled = false;
  for (BaseActionClass* action : instantActions_)
    if (action->Enabled()) enabled = true;
  return enabled;
}

// A firing that leaves a marking outside its place's bounds throws a
// ModelFault; the message gets the number of the state being explored. The
// handler around the whole expansion costs a firing nothing.
void SuccessorGenerator::expand(const char* state, std::uint32_t number, Expansion& out) try {
  explored_ = state;
  exploredNumber_ = number;
  out.setImpulseCount(impulseCount_);
  out.beginState(number);
  if (trace1_) trace_->printf(1, "State Number = %u", static_cast<unsigned>(number));

  // Enabling tests leave the markings alone, so the model needs the explored
  // state set again only after a firing, and only if another action follows.
  setState(state);
  bool moved = false;
  firingLog_.clear();
  nextStart_ = 0;
  for (std::size_t t = 0; t < timedActions_.size();) {
    if (replicasOn_) {
      if (const std::size_t replayed = replayReplica(t, state, out)) {
        t += replayed;
        continue;
      }
    }
    BaseActionClass* action = timedActions_[t];
    if (moved) {
      setState(state);
      moved = false;
    }
    if (trace4_ && procedure_ == Procedure::Normal) trace_->printf(4, "Checking Action: %s", action->getName());
    const auto begin = static_cast<std::uint32_t>(firingLog_.size());
    if (action->Enabled()) {
      moved = true;
      timedValue_ = fireTimed(action, state, out);
      resolveZeroTime(1.0, 0, out);
    }
    if (replicasOn_) firingSpan_[t] = Span{begin, static_cast<std::uint32_t>(firingLog_.size())};
    t++;
  }
  out.endState(valueText_);
} catch (const ModelFault& fault) {
  throw GenError(std::string(fault.what()) + ", while exploring state " + std::to_string(exploredNumber_) +
                 ".\nPlease check the model and try again");
}

BaseGroupClass* SuccessorGenerator::groupOf(BaseActionClass* action) {
  GEN_ASSERT(action->GroupId >= 0 && action->GroupId < groupList_.getNumItems(), "action->GroupId < NumGroups",
             "SuccessorGenerator");
  return groups_[action->GroupId];
}

double SuccessorGenerator::caseProbability(BaseActionClass* action) {
  BaseGroupClass* group = groupOf(action);
  // Only where cases compete does a weight count.
  if (group->getNumMembers() > 1) {
    const double weight = action->Weight();
    if (!(weight >= 0) || !std::isfinite(weight))
      badValue("weight", action, weight, "a case weight must be finite and not negative");
  }
  const double p = group->Probability(action);
  if (!std::isfinite(p))
    throw GenError(std::string("Error: The probability of action ") + action->getName() +
                   " within its group is undefined (the weights of the competing actions sum to 0).\n"
                   "Please check the model and try again");
  return p;
}

void SuccessorGenerator::checkRate(BaseActionClass* action, double rate, Expansion& out) {
  if (!(rate >= 0) || !std::isfinite(rate)) badValue("rate", action, rate, "a rate must be finite and not negative");
  if (rate == 0) noteZeroRate(action, out);
}

void SuccessorGenerator::noteZeroRate(BaseActionClass* action, Expansion& out) {
  // Copies of an atomic model have actions of the same name: one warning
  // for all, keyed by the first of them (the same on every thread).
  const std::string name = action->getName();
  if (!noteDue(zeroRateNoted_, name, exploredNumber_)) return;
  BaseActionClass** all = actionList_.getList();
  std::uint32_t first = 0;
  while (first < static_cast<std::uint32_t>(actionList_.getNumItems()) && name != all[first]->getName()) first++;
  out.addNote(Expansion::Note{{kZeroRateNote, first},
                              "Warning: Activity " + name + " is enabled with rate 0 (first in state " +
                                  std::to_string(exploredNumber_) + "); a zero rate makes no transition."});
}

double SuccessorGenerator::fireTimed(BaseActionClass* action, const char* state, Expansion& out) {
  double value;
  if (procedure_ == Procedure::Normal) {
    if (trace1_) trace_->printFireAction(action, 0.0);
    if (action->DistributionType == DIST_ERLANG) {
      const double phases = action->ErlangParamM();
      if (!(phases >= 1)) badValue("phase count", action, phases, "an Erlang action has at least 1 phase");
      if (!action->ReadyToFire()) {
        // Not yet in its last phase: the action (with the other cases of its
        // group) ages by one phase instead of firing.
        model_.AgeAction(const_cast<char*>(state), action);
        agePhase(action);
        const int members = groupOf(action)->getNumMembers();
        const double rate = action->Rate();
        checkRate(action, rate, out);
        readNext();
        std::fill_n(pathImpulse_.begin(), impulseCount_, 0.0);
        return members > 0 ? rate / members : rate;
      }
    }
    const double rate = action->Rate();
    checkRate(action, rate, out);
    value = rate * caseProbability(action);
  } else {
    value = caseProbability(action);
    if (trace1_) trace_->printf(1, "Enabled: %s", action->getName());
    if (action->DistributionType == DIST_DETERMINISTIC) {
      // A deterministic transition is recorded as its probability, marked by
      // the sign, and the explored state is filed under the delay.
      value = -value;
      const double* parameters = action->ReturnDistributionParameters();
      if (!parameters)
        throw GenError(std::string("Error: The deterministic action ") + action->getName() + " gives no delay value.");
      const double delay = parameters[0];
      if (!(delay > 0) || !std::isfinite(delay)) badValue("delay", action, delay, "a delay must be finite and above 0");
      const std::uint32_t activity = deterministicIndex_.at(action);
      out.addDelay(delay, activity);
      logArrival(kDelay, delay);
    } else {
      const double rate = action->Rate();
      checkRate(action, rate, out);
      value = value * rate;
    }
    if (trace1_) trace_->printFireAction(action, 0.0);
  }
  model_.FireWithoutRewards(next_.data(), action);
  settlePhases(action);
  if (impulseCount_ > 0) [[unlikely]]
    recordImpulses(action, 0);
  return value;
}

double SuccessorGenerator::afterLoneFiring(BaseActionClass* action, double probability) {
  // A lone action's weight is checked as a competitor's would be: a weight of
  // 0 or NaN makes the same model wrong whether or not another action is
  // enabled beside it. Normal: the lone action then fires with certainty.
  competingWeight(&action, 1);
  if (procedure_ == Procedure::Normal) return probability;
  return caseProbability(action) * probability;
}

SuccessorGenerator::Branch SuccessorGenerator::afterBranch(BaseActionClass* action, double probability,
                                                           double totalWeight) {
  // Normal: weights normalised over the competitors. Deterministic: the
  // case probability of the action within its own group.
  if (procedure_ == Procedure::Normal) {
    const double weight = action->Weight();
    return Branch{weight / totalWeight, probability * weight / totalWeight};
  }
  const double share = caseProbability(action);
  return Branch{share, share * probability};
}

bool SuccessorGenerator::recorded(double value) const {
  // Normal: only a positive rate is a transition. Deterministic: negative
  // values are the deterministic transitions, so only exactly 0 is dropped.
  if (procedure_ == Procedure::Normal) return value > 0;
  return value != 0;
}

double SuccessorGenerator::competingWeight(BaseActionClass** competing, int count) const {
  double total = 0.0;
  for (int i = 0; i < count; i++) {
    const double weight = competing[i]->Weight();
    if (!(weight >= 0) || !std::isfinite(weight))
      badValue("weight", competing[i], weight, "an instantaneous weight must be finite and not negative");
    total += weight;
  }
  if (!(total > 0) || !std::isfinite(total)) vanishingPathLost(competing, count, false, total);
  return total;
}

void SuccessorGenerator::resolveZeroTime(double probability, int depth, Expansion& out) {
  if (depth > kMaxInstantFirings) zeroTimeLimitExceeded();

  BaseActionClass** enabled = enabledAt(depth);
  int count = 0;
  for (BaseActionClass* action : instantActions_)
    if (action->Enabled()) enabled[count++] = action;

  if (count == 0) {
    recordStable(probability * timedValue_, depth, out);
    return;
  }

  // next_ holds the vector the last firing produced. The model is set to it
  // (which also puts replicas back in canonical order) only where the path
  // branches and each branch must start from it: enabling tests read the
  // same markings whatever the replicas' order, and reading the vector out
  // sorts the replicas again anyway.
  if (count == 1) {
    BaseActionClass* action = enabled[0];
    const double next = afterLoneFiring(action, probability);
    if (trace1_) trace_->printFireAction(action, 0.0);
    model_.FireWithoutRewards(next_.data(), action);
    settlePhases(action);
    if (impulseCount_ > 0) recordImpulses(action, depth + 1);
    resolveZeroTime(next, depth + 1, out);
    return;
  }

  // The branches start from the vector itself. Setting it may load the
  // replicas of a Rep in another order, so the enabled actions are collected
  // again from the model as it now stands.
  char* saved = scratchState(depth);
  std::memcpy(saved, next_.data(), stateSize_);
  setState(saved);
  count = 0;
  for (BaseActionClass* action : instantActions_)
    if (action->Enabled()) enabled[count++] = action;

  const int competing = highestRank(enabled, count);
  const double totalWeight = procedure_ == Procedure::Normal ? competingWeight(enabled, competing) : 0.0;

  double branchSum = 0.0;
  for (int i = 0; i < competing; i++) {
    BaseActionClass* action = enabled[i];
    const Branch branch = afterBranch(action, probability, totalWeight);
    branchSum += branch.share;
    if (trace1_) trace_->printFireAction(action, 0.0);
    model_.FireWithoutRewards(next_.data(), action);
    settlePhases(action);
    if (impulseCount_ > 0) recordImpulses(action, depth + 1);
    resolveZeroTime(branch.path, depth + 1, out);
    setState(saved);
  }
  if (branchSum > 1 + kBranchSumTolerance) noteOverfullBranching(enabled, competing, branchSum, out);
}

void SuccessorGenerator::recordStable(double value, int depth, Expansion& out) {
  if (trace4_) trace_->printf(4, "The rate to this state: %f", value);
  if (!recorded(value)) return;
  // A transition back to the explored state (a third of all transitions in
  // the compiled-in model) needs no lookup when it is numbered.
  const bool self = sameBytes(next_.data(), explored_, stateSize_);
  // The reward values of the first path to arrive are the ones written, if
  // the successor turns out to be new; only then are they worked out.
  const bool first = out.addSuccessor(next_.data(), value, self);
  logArrival(out.lastArrival(), value);
  if (impulseCount_ > 0) [[unlikely]]
    out.addImpulses(value, pathImpulse_.data() + static_cast<std::size_t>(depth) * impulseCount_);
  if (first && !self) {
    model_.EvaluateRewards();
    readRewardValues(model_, out.newRewards());
  }
}

void SuccessorGenerator::noteOverfullBranching(BaseActionClass** fired, int count, double sum, Expansion& out) {
  std::vector<std::uint32_t> key;
  key.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; i++) {
    const auto at = std::find(instantActions_.begin(), instantActions_.end(), fired[i]);
    key.push_back(static_cast<std::uint32_t>(at - instantActions_.begin()));
  }
  if (!noteDue(notedBranchings_, key, exploredNumber_)) return;
  out.addNote(Expansion::Note{
      std::move(key), "Warning: The zero-time branches of the instantaneous actions " + joinNames(fired, count) +
                          " out of one vanishing state have probabilities summing to " + formatValue(sum) +
                          " (first in state " + std::to_string(exploredNumber_) +
                          "); the values are written as they are."});
}

void SuccessorGenerator::zeroTimeLimitExceeded() const {
  if (procedure_ == Procedure::Deterministic)
    throw GenError("Error:  Maximum number of zero time transition firings exceeded(" +
                   std::to_string(kMaxInstantFirings) +
                   ")\nPossible undetermined model\nPlease check the model and try again");
  throw GenError("Error:  Maximum number of zero time transition recursive firings exceeded(" +
                 std::to_string(kMaxInstantFirings) +
                 ")\nPossible undetermined model.\nPlease check the model and try again");
}

void SuccessorGenerator::vanishingPathLost(BaseActionClass** enabled, int count, bool negativeRanks,
                                           double totalWeight) const {
  const std::string names = joinNames(enabled, count);
  if (negativeRanks)
    throw GenError("Error: No instantaneous action can fire: the enabled instantaneous actions " + names +
                   " all have a negative rank.\nPlease check the model and try again");
  if (count == 1)
    throw GenError("Error: The weight of instantaneous action " + names + ", the only one enabled, is " +
                   formatValue(totalWeight) + ", so it cannot fire" + vanishingPlace() +
                   ".\nPlease check the model and try again");
  throw GenError("Error: The weights of the competing instantaneous actions " + names + " sum to " +
                 formatValue(totalWeight) + ", so their probabilities are undefined" + vanishingPlace() +
                 ".\nPlease check the model and try again");
}

std::string SuccessorGenerator::vanishingPlace() const {
  std::string text = "; in ";
  if (!modelLabel_.empty()) text += modelLabel_ + ", in ";
  text += "a vanishing state reached from state " + std::to_string(exploredNumber_);
  const PlaceValuations places(model_.TheModel);
  std::vector<std::int16_t> marks(places.size());
  places.read(marks.data());
  for (std::size_t i = 0; i < marks.size(); i++)
    text += (i == 0 ? ", with markings " : ", ") + places.names()[i] + " = " + std::to_string(marks[i]);
  return text;
}

void SuccessorGenerator::badValue(const char* what, BaseActionClass* action, double value,
                                  const char* requirement) const {
  throw GenError(std::string("Error: The ") + what + " of action " + action->getName() + " is " + formatValue(value) +
                 " in state " + std::to_string(exploredNumber_) + "; " + requirement +
                 ".\nPlease check the model and try again");
}

void SuccessorGenerator::saveState(char* vector) {
  model_.CurrentState(vector);
  writePhases(vector);
}

BaseActionClass* SuccessorGenerator::drawCase(const TimedActivity& activity, Uniform& uniform) {
  BaseActionClass* first = timedActions_[activity.first];
  if (activity.count == 1) return first;
  double u = uniform.next();
  BaseActionClass* last = first;
  for (std::uint32_t c = 0; c < activity.count; c++) {
    BaseActionClass* action = timedActions_[activity.first + c];
    const double p = caseProbability(action);
    if (p > 0) last = action;
    if (u < p) return action;
    u -= p;
  }
  // Rounding may leave a sliver past the last case: it belongs to the last
  // case that can happen at all.
  return last;
}

int SuccessorGenerator::highestRank(BaseActionClass** enabled, int count) const {
  int maxRank = 0;
  for (int i = 0; i < count; i++) maxRank = std::max(maxRank, enabled[i]->Rank());
  int competing = 0;
  for (int i = 0; i < count; i++)
    if (enabled[i]->Rank() == maxRank) enabled[competing++] = enabled[i];
  if (competing == 0) vanishingPathLost(enabled, count, true, 0.0);
  return competing;
}

void SuccessorGenerator::agePhase(BaseActionClass* action) {
  BaseGroupClass* group = groupOf(action);
  const int members = group->getNumMembers();
  if (members > 0) {
    for (int i = 0; i < members; i++) group->getMember(i)->Age();
  } else {
    action->Age();
  }
}

void SuccessorGenerator::watchInterruptions(std::vector<std::uint32_t> activities) {
  watched_ = std::move(activities);
  interrupted_.assign(activities_.size(), 0);
}

int SuccessorGenerator::firePath(BaseActionClass* action, Uniform& uniform) {
  model_.FireWithoutRewards(next_.data(), action);
  settlePhases(action);
  if (impulseCount_ > 0) recordImpulses(action, 0);
  for (const std::uint32_t a : watched_) interrupted_[a] = 0;
  int depth = 0;
  for (;;) {
    BaseActionClass** enabled = enabledAt(0);
    int count = 0;
    for (BaseActionClass* instant : instantActions_)
      if (instant->Enabled()) enabled[count++] = instant;
    if (count == 0) return depth + 1;
    if (depth >= kMaxInstantFirings) zeroTimeLimitExceeded();
    // A vanishing marking: an activity it disables is interrupted, as an
    // Erlang activity is (settlePhases).
    for (const std::uint32_t a : watched_)
      if (!timedActions_[activities_[a].first]->Enabled()) interrupted_[a] = 1;

    BaseActionClass* chosen = enabled[0];
    if (count == 1) {
      competingWeight(enabled, 1);
    } else {
      const int competing = highestRank(enabled, count);
      const double totalWeight = competingWeight(enabled, competing);
      double u = uniform.next() * totalWeight;
      chosen = nullptr;
      for (int i = 0; i < competing && !chosen; i++) {
        const double weight = enabled[i]->Weight();
        if (u < weight) chosen = enabled[i];
        u -= weight;
      }
      // Rounding past the last weight: the last competitor that can win.
      for (int i = competing - 1; i >= 0 && !chosen; i--)
        if (enabled[i]->Weight() > 0) chosen = enabled[i];
    }
    depth++;
    model_.FireWithoutRewards(next_.data(), chosen);
    settlePhases(chosen);
    if (impulseCount_ > 0) recordImpulses(chosen, depth);
  }
}
