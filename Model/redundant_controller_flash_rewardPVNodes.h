#ifndef REDUNDANT_CONTROLLER_FLASH_REWARDPVNODES_H
#define REDUNDANT_CONTROLLER_FLASH_REWARDPVNODES_H

#include "InstantOfTime.h"
#include "PerformanceVariableNode.h"
#include "ram_systemSAN.h"

// Worker of "reliability": reads system_failed of the ram_system instance
// that its one model slot is bound to.
class redundant_controller_flash_rewardPV0Worker : public InstantOfTime {
 public:
  ram_systemSAN* ram_system = nullptr;

  redundant_controller_flash_rewardPV0Worker();
  ~redundant_controller_flash_rewardPV0Worker() override;

  double Reward_Function() override;
};

// Reward variable "reliability": an instant-of-time variable at 30, 180 and
// 365 whose rate reward is the marking of system_failed in ram_system, so its
// value at a time point is the probability that the system has failed by then.
class redundant_controller_flash_rewardPV0 : public PerformanceVariableNode {
 public:
  BaseModelClass* TheModelPtr = nullptr;  // the composed model, set by FixReferences

  explicit redundant_controller_flash_rewardPV0(int timeIndex);
  ~redundant_controller_flash_rewardPV0() override;

  void CreateWorkerList() override;
};

#endif
