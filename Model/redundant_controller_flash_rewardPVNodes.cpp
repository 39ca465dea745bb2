#include "redundant_controller_flash_rewardPVNodes.h"

namespace {

constexpr int kNumTimePoints = 3;
constexpr double kStartTimes[kNumTimePoints] = {30.0, 180.0, 365.0};
constexpr double kStopTimes[kNumTimePoints] = {30.0, 180.0, 365.0};

}  // namespace

// ---------------------------------------------------------------------------
// Worker

redundant_controller_flash_rewardPV0Worker::redundant_controller_flash_rewardPV0Worker() {
  BindModelSlots(&ram_system);
}

redundant_controller_flash_rewardPV0Worker::~redundant_controller_flash_rewardPV0Worker() = default;

double redundant_controller_flash_rewardPV0Worker::Reward_Function() {
  return *ram_system->system_failed->Mark;
}

// ---------------------------------------------------------------------------
// Node

redundant_controller_flash_rewardPV0::redundant_controller_flash_rewardPV0(int timeIndex) {
  TopModelRef = &TheModelPtr;
  Initialize("reliability", Instant_Of_Time, kNumTimePoints, kStartTimes, kStopTimes, timeIndex, 0, 1, 1);
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
