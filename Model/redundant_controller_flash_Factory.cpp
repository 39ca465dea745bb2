// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include <memory>

#include "ModelFactory.h"
#include "redundant_controller_flash_rewardPVModel.h"
#include "redundant_controller_flash_studyRangeStudy.h"

namespace {

class redundant_controller_flash_Factory final : public ModelFactory {
 public:
  std::string_view name() const override { return "redundant_controller_flash"; }
  int numberOfExperiments() const override { return redundant_controller_flash_studyRangeStudy::NumberOfExperiments; }
  std::unique_ptr<BaseStudyClass> makeStudy() const override {
    return std::make_unique<redundant_controller_flash_studyRangeStudy>();
  }
  std::unique_ptr<PVModel> makeRewardModel(bool expandTimePoints) const override {
    return std::make_unique<redundant_controller_flash_rewardPVModel>(expandTimePoints);
  }
};

}  // namespace

std::unique_ptr<ModelFactory> makeModelFactory() { return std::make_unique<redundant_controller_flash_Factory>(); }
