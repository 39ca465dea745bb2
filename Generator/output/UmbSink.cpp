#include "UmbSink.h"

#include "GenError.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"

UmbSink::UmbSink(PVModel& model, std::size_t vectorSize, const std::string& path, const std::string& reportedName,
                 FileCreation creation, const std::string& modelName, const std::vector<std::string>& arguments)
    : model_(model), places_(model.TheModel), path_(path), creation_(creation) {
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
  // The parts go where the file will be, so that they are copied within one file system.
  const auto slash = path.rfind('/');
  auto writer = umb::UmbWriter::create(slash == std::string::npos ? "" : path.substr(0, slash + 1), reportedName,
                                       std::move(description));
  if (!writer) throw GenError(writer.error().message);
  umb_ = std::move(*writer);
}

void UmbSink::finish() {
  if (auto written = umb_->finish(openOutputFile(path_.c_str(), creation_)); !written)
    throw GenError(written.error().message);
}

void UmbSink::explored(const ExploredState& state) {
  model_.SetState(const_cast<char*>(state.vector()));
  places_.read(valuation_.data());
  umb_->beginState(valuation_.data(), state.exitRate());
  for (std::size_t b = 0; b < state.branchCount(); b++)
    umb_->addBranch(state.target(b) - 1, state.value(b), state.impulseSums(b));
  umb_->endState();
}
