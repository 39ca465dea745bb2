// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_rewardPVModel.h"

#include "redundant_controller_flash_modelRJ.h"
#include "redundant_controller_flash_rewardPVNodes.h"

redundant_controller_flash_rewardPVModel::redundant_controller_flash_rewardPVModel(bool expandTimePoints) {
  TheModel = new redundant_controller_flash_modelRJ();
  DefineName("redundant_controller_flash_rewardPVModel");
  CreatePVList(NumRewardVariables, expandTimePoints);
  Initialize();
}

redundant_controller_flash_rewardPVModel::~redundant_controller_flash_rewardPVModel() = default;

PerformanceVariableNode* redundant_controller_flash_rewardPVModel::createPVNode(int pvIndex, int timeIndex) {
  switch (pvIndex) {
    case 0: return new redundant_controller_flash_rewardPV0(timeIndex);
    default: return nullptr;
  }
}
