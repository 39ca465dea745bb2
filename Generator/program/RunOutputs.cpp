#include "RunOutputs.h"

#include "DeterministicSink.h"
#include "GenError.h"
#include "PVModel.h"
#include "ResultFiles.h"
#include "RewardFileSink.h"
#include "StateSpaceFileSink.h"
#include "UmbSink.h"

namespace {

// -F is accepted, but the files are always written as type 1 (text).
constexpr short kFileType = 1;
// The blanks the record count overwrites in the state-space file's header:
// the normal procedure leaves room for any count; the deterministic one for
// 8 digits and the newline.
constexpr int kNormalHeaderBlanks = 63;
constexpr int kDeterministicHeaderBlanks = 8;

}  // namespace

RunOutputs::RunOutputs(PVModel& model, const GenOptions& options, ResultFiles* results, std::string modelName)
    : model_(model), options_(options), results_(results), modelName_(std::move(modelName)) {}

RunOutputs::~RunOutputs() = default;

void RunOutputs::begin() {
  if (options_.umbOnly) return;
  const std::string name = finalName(".pvtype");
  model_.WritePVTypeFile(pathFor(name).c_str(), name.c_str(), creation());
}

OutputSink& RunOutputs::open(Procedure procedure, std::size_t vectorSize, const std::vector<std::string>& delays,
                             MemoryBudget* budget) {
  if (procedure == Procedure::Deterministic)
    openDeterministic(budget, vectorSize, delays);
  else
    openNormal(vectorSize);
  return *this;
}

void RunOutputs::openNormal(std::size_t vectorSize) {
  // Opened in this order (the order of their failures), kept in the order they close.
  std::unique_ptr<OutputSink> armSink, umbSink, varSink;
  if (!options_.umbOnly) {
    const std::string arm = finalName(".arm");
    armSink = std::make_unique<StateSpaceFileSink>(
        pathFor(arm), arm, creation(), "Error: Could not open state space output file", kFileType, kNormalHeaderBlanks);
  }
  if (options_.umb) {
    const std::string umb = finalName(".umb");
    umbSink =
        std::make_unique<UmbSink>(model_, vectorSize, pathFor(umb), umb, creation(), modelName_, options_.arguments);
  }
  if (!options_.umbOnly) {
    const std::string var = finalName(".var");
    varSink = std::make_unique<RewardFileSink>(&model_, kFileType, pathFor(var), var, creation());
  }
  for (auto* sink : {&armSink, &varSink, &umbSink})
    if (*sink) files_.push_back(std::move(*sink));
  for (const auto& file : files_) sinks_.push_back(file.get());
}

void RunOutputs::openDeterministic(MemoryBudget* budget, std::size_t vectorSize,
                                   const std::vector<std::string>& activities) {
  std::unique_ptr<OutputSink> detSink, armSink, varSink, umbSink;
  if (!options_.umbOnly) {
    const std::string det = finalName(".det");
    detSink = std::make_unique<DeterministicSink>(pathFor(det), det, creation(), kFileType, budget);
    const std::string arm = finalName(".arm");
    armSink = std::make_unique<StateSpaceFileSink>(
        pathFor(arm), arm, creation(), "Error: Could not open binary file dude", kFileType, kDeterministicHeaderBlanks);
    const std::string var = finalName(".var");
    varSink = std::make_unique<RewardFileSink>(&model_, kFileType, pathFor(var), var, creation());
  }
  if (options_.umb) {
    const std::string umb = finalName(".umb");
    umbSink = std::make_unique<UmbSink>(model_, vectorSize, pathFor(umb), umb, creation(), modelName_,
                                        options_.arguments, &activities);
  }
  for (auto* sink : {&armSink, &detSink, &varSink, &umbSink})
    if (*sink) files_.push_back(std::move(*sink));
  for (const auto& file : files_) sinks_.push_back(file.get());
}

bool RunOutputs::needsImpulseSums() const {
  for (OutputSink* sink : sinks_)
    if (sink->needsImpulseSums()) return true;
  return false;
}

void RunOutputs::numbered(std::uint32_t number, const double* rewards) {
  for (OutputSink* sink : sinks_) sink->numbered(number, rewards);
}

void RunOutputs::explored(const ExploredState& state) {
  for (OutputSink* sink : sinks_) sink->explored(state);
}

void RunOutputs::check() {
  for (OutputSink* sink : sinks_) sink->check();
}

void RunOutputs::finish() {
  for (OutputSink* sink : sinks_) sink->finish();
  sinks_.clear();
  files_.clear();
}

std::string RunOutputs::pathFor(const std::string& finalName) const {
  return results_ ? results_->temporaryFor(finalName) : finalName;
}

FileCreation RunOutputs::creation() const { return results_ ? FileCreation::New : FileCreation::Replace; }
