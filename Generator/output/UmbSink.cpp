#include "UmbSink.h"

#include "PVModel.h"
#include "PerformanceVariableNode.h"

UmbSink::UmbSink(PVModel& model, std::size_t vectorSize, const std::string& path, const std::string& reportedName,
                 FileCreation creation, const std::string& modelName, const std::vector<std::string>& arguments)
    : model_(model), places_(model.TheModel) {
  UmbFile::Description description;
  description.modelName = modelName;
  description.arguments = arguments;
  for (int i = 0; i < model_.NumPVNodes; i++) {
    const PerformanceVariableNode* node = model_.PVList[i];
    UmbFile::Variable v;
    v.name = node->Name ? node->Name : "";
    v.kind = static_cast<int>(node->GetRewardType());
    for (int t = 0; t < node->GetNumTimePoints(); t++) v.times.emplace_back(node->GetStartTime(t), node->GetStopTime(t));
    v.rate = node->NumWorkers > 0 && node->Workers && node->Workers[0];
    v.impulse = node->NumImpulses > 0;
    impulses_ = impulses_ || v.impulse;
    description.variables.push_back(std::move(v));
  }
  description.places = places_.names();
  description.uniqueValuations = vectorSize == static_cast<std::size_t>(model_.StateSize());
  valuation_.assign(places_.size(), 0);
  umb_ = std::make_unique<UmbFile>(path, reportedName, std::move(description), creation);
}

void UmbSink::explored(const ExploredState& state) {
  model_.SetState(const_cast<char*>(state.vector()));
  places_.read(valuation_.data());
  umb_->beginState(valuation_.data(), state.exitRate());
  for (std::size_t b = 0; b < state.branchCount(); b++)
    umb_->addBranch(state.target(b) - 1, state.value(b), state.impulseSums(b));
  umb_->endState();
}
