#include "UmbSink.h"

#include <algorithm>

#include "GenError.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"

UmbSink::UmbSink(PVModel& model, std::size_t vectorSize, const std::string& path, const std::string& reportedName,
                 FileCreation creation, const std::string& modelName, const std::vector<std::string>& arguments,
                 const std::vector<std::string>* deterministicActivities)
    : model_(model), places_(model.TheModel), deterministic_(deterministicActivities != nullptr) {
  umb::UmbWriter::Description description;
  description.modelName = modelName;
  description.arguments = arguments;
  for (int i = 0; i < model_.NumPVNodes; i++) {
    const PerformanceVariableNode* node = model_.PVList[i];
    umb::UmbWriter::Variable v;
    v.name = node->Name ? node->Name : "";
    v.kind = static_cast<umb::RewardKind>(node->GetRewardType());
    for (int t = 0; t < node->GetNumTimePoints(); t++)
      v.times.emplace_back(node->GetStartTime(t), node->GetStopTime(t));
    v.rate = node->NumWorkers > 0 && node->Workers && node->Workers[0];
    v.impulse = node->NumImpulses > 0;
    impulses_ = impulses_ || v.impulse;
    description.variables.push_back(std::move(v));
  }
  description.places = places_.names();
  description.uniqueValuations = vectorSize == static_cast<std::size_t>(model_.StateSize());
  valuation_.assign(places_.size(), 0);
  if (deterministic_) {
    description.deterministic = true;
    description.activities = *deterministicActivities;
  }
  // Opened now, so that the arrays can be written in place as they come;
  // any parts go where the file is, so that they are copied within one
  // file system.
  const auto slash = path.rfind('/');
  auto writer = umb::UmbWriter::create(openOutputFile(path.c_str(), creation, true),
                                       slash == std::string::npos ? "" : path.substr(0, slash + 1), reportedName,
                                       std::move(description));
  if (!writer) throw GenError(writer.error().message);
  umb_ = std::move(*writer);
}

void UmbSink::finish() {
  if (auto written = umb_->finish(); !written) throw GenError(written.error().message);
}

void UmbSink::explored(const ExploredState& state) {
  model_.SetState(const_cast<char*>(state.vector()));
  places_.read(valuation_.data());
  if (!deterministic_) {
    umb_->beginState(valuation_.data(), state.exitRate());
    for (std::size_t b = 0; b < state.branchCount(); b++)
      umb_->addBranch(state.target(b) - 1, state.value(b), state.impulseSums(b));
    umb_->endState();
    return;
  }
  // The exponential part: the rates alone, without the completions that
  // the state-space file adds to them.
  umb_->beginState(valuation_.data(), state.exponentialExitRate());
  for (std::size_t b = 0; b < state.branchCount(); b++)
    if (state.rate(b) > 0) umb_->addBranch(state.target(b) - 1, state.rate(b), state.impulseSums(b));
  // Each enabled deterministic action with its completion's branches,
  // merged per target and in increasing target order.
  const std::size_t variables = static_cast<std::size_t>(model_.NumPVNodes);
  for (std::size_t d = 0; d < state.delayCount(); d++) {
    completions_.clear();
    completionImpulses_.clear();
    for (std::size_t k = 0; k < state.arrivalCount(); k++) {
      if (state.arrivalDelay(k) != d) continue;
      const std::uint32_t target = state.arrivalTarget(k);
      auto at = std::find_if(completions_.begin(), completions_.end(),
                             [target](const Completion& c) { return c.target == target; });
      if (at == completions_.end()) {
        completions_.push_back(Completion{target, 0.0, completionImpulses_.size()});
        completionImpulses_.resize(completionImpulses_.size() + variables, 0.0);
        at = completions_.end() - 1;
      }
      at->probability += state.arrivalProbability(k);
      if (const double* impulses = state.arrivalImpulses(k))
        for (std::size_t v = 0; v < variables; v++) completionImpulses_[at->impulses + v] += impulses[v];
    }
    std::sort(completions_.begin(), completions_.end(),
              [](const Completion& a, const Completion& b) { return a.target < b.target; });
    umb_->addEnabling(state.delayActivity(d), state.delay(d));
    for (const Completion& c : completions_)
      umb_->addDeterministicBranch(c.target - 1, c.probability,
                                   impulses_ ? completionImpulses_.data() + c.impulses : nullptr);
  }
  umb_->endState();
}
