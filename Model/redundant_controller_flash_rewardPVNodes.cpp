// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_rewardPVNodes.h"

#include "redundant_controller_flash_studyRangeStudy.h"

// ---------------------------------------------------------------------------
// reliability

namespace {

constexpr double kTimes0[3] = {30.0, 180.0, 365.0};

}  // namespace

redundant_controller_flash_rewardPV0Worker::redundant_controller_flash_rewardPV0Worker() { BindModelSlots(&Slot0); }

redundant_controller_flash_rewardPV0Worker::~redundant_controller_flash_rewardPV0Worker() = default;

double redundant_controller_flash_rewardPV0Worker::Reward_Function() {
  return (
#line 178 "models/redundant_controller_flash.toml"
        (*this->Slot0->system_failed->Mark)
#line 24 "Model/redundant_controller_flash_rewardPVNodes.cpp"
  );
}

redundant_controller_flash_rewardPV0::redundant_controller_flash_rewardPV0(int timeIndex) {
  TopModelRef = &TheModelPtr;
  Initialize("reliability", Instant_Of_Time, 3, kTimes0, kTimes0, timeIndex, 0, 1, 1);
  AddVariableDependency("system_failed", "ram_system");
}

// Workers are created here, so they are deleted here; the base releases the
// Workers array and everything else.
redundant_controller_flash_rewardPV0::~redundant_controller_flash_rewardPV0() {
  for (int i = 0; i < NumWorkers; i++) {
    delete Workers[i];
    Workers[i] = nullptr;
  }
}

void redundant_controller_flash_rewardPV0::CreateWorkerList() {
  for (int i = 0; i < NumWorkers; i++) Workers[i] = new redundant_controller_flash_rewardPV0Worker();
}
