// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include <iterator>
#include <memory>

#include "ModelFactory.h"
#include "redundant_controller_flash_rewardPVModel.h"
#include "redundant_controller_flash_studyRangeStudy.h"

namespace {

class redundant_controller_flash_Factory final : public ModelFactory {
 public:
  std::string_view name() const override { return "redundant_controller_flash"; }
  int numberOfExperiments() const override { return redundant_controller_flash_studyRangeStudy::NumberOfExperiments; }
  std::string_view experimentName(int experiment) const override {
    static constexpr std::string_view kNames[] = {"one_device_one_replica", "two_devices_one_replica", "three_devices_one_replica", "one_device_two_replicas", "two_devices_two_replicas", "three_devices_two_replicas"};
    return experiment >= 0 && experiment < static_cast<int>(std::size(kNames)) ? kNames[experiment] : "";
  }
  std::unique_ptr<BaseStudyClass> makeStudy() const override {
    return std::make_unique<redundant_controller_flash_studyRangeStudy>();
  }
  std::unique_ptr<PVModel> makeRewardModel(bool expandTimePoints) const override {
    return std::make_unique<redundant_controller_flash_rewardPVModel>(expandTimePoints);
  }
};

}  // namespace

std::unique_ptr<ModelFactory> makeModelFactory() { return std::make_unique<redundant_controller_flash_Factory>(); }
