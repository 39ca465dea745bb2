// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef REDUNDANT_CONTROLLER_FLASH_REWARDPVNODES_H
#define REDUNDANT_CONTROLLER_FLASH_REWARDPVNODES_H

#include <memory>
#include <vector>

#include "ImpulseNodeClass.h"
#include "InstantOfTime.h"
#include "PerformanceVariableNode.h"
#include "ram_systemSAN.h"
#include "redundant_controller_flash_systemSAN.h"

// Worker of "reliability": one per combination of the instances of ram_system; the node sums them.
class redundant_controller_flash_rewardPV0Worker : public InstantOfTime {
 public:
  ::ram_systemSAN* Slot0 = nullptr;  // ram_system

  redundant_controller_flash_rewardPV0Worker();
  ~redundant_controller_flash_rewardPV0Worker() override;

  double Reward_Function() override;
};

// Reward variable "reliability": instant of time at 30.0, 180.0, 365.0.
class redundant_controller_flash_rewardPV0 : public PerformanceVariableNode {
 public:
  BaseModelClass* TheModelPtr = nullptr;  // the composed model, set by FixReferences

  explicit redundant_controller_flash_rewardPV0(int timeIndex);
  ~redundant_controller_flash_rewardPV0() override;

  void CreateWorkerList() override;
};

#endif
