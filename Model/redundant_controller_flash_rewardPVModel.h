// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef REDUNDANT_CONTROLLER_FLASH_REWARDPVMODEL_H
#define REDUNDANT_CONTROLLER_FLASH_REWARDPVMODEL_H

#include "PVModel.h"

// Reward model of redundant_controller_flash: the composed model (redundant_controller_flash_modelRJ) with its reward variables.
class redundant_controller_flash_rewardPVModel : public PVModel {
 public:
  static constexpr int NumRewardVariables = 1;

  // expandTimePoints: one node per time point (true) or per variable (false).
  explicit redundant_controller_flash_rewardPVModel(bool expandTimePoints);
  ~redundant_controller_flash_rewardPVModel() override;

  // A new node of reward variable pvIndex at time point timeIndex; null for
  // an index that names no reward variable.
  PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) override;
};

#endif
