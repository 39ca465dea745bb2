#ifndef UMB_SINK_H
#define UMB_SINK_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileCreation.h"
#include "OutputSink.h"
#include "PlaceValuations.h"
#include "UmbWriter.h"

class PVModel;

// The state space as a CTMC in a .umb file (-U): hands each state to the
// UMB writer with the valuation of its places.
class UmbSink : public OutputSink {
 public:
  // Describes the model to the writer: its name, the command line, the
  // reward variables and the places. `vectorSize` is the bytes of a state,
  // Erlang phases included.
  // `deterministicActivities`: for the deterministic procedure, the names
  // of the deterministic actions (delays' activity numbers index them); the
  // file then keeps the exponential and the deterministic parts apart.
  UmbSink(PVModel& model, std::size_t vectorSize, const std::string& path, const std::string& reportedName,
          FileCreation creation, const std::string& modelName, const std::vector<std::string>& arguments,
          const std::vector<std::string>* deterministicActivities = nullptr);

  bool needsImpulseSums() const override { return impulses_; }
  void numbered(std::uint32_t, const double* rewards) override { umb_->addStateRewards(rewards); }
  void explored(const ExploredState& state) override;
  void finish() override;

 private:
  PVModel& model_;
  PlaceValuations places_;
  std::vector<std::int16_t> valuation_;
  bool impulses_ = false;
  bool deterministic_ = false;
  // One deterministic completion's branch, merged over its paths.
  struct Completion {
    std::uint32_t target;
    double probability;
    std::size_t impulses;  // offset in completionImpulses_
  };
  std::vector<Completion> completions_;
  std::vector<double> completionImpulses_;
  std::unique_ptr<umb::UmbWriter> umb_;
};

#endif
