#include "RewardValues.h"

#include "PVModel.h"
#include "PerformanceVariableNode.h"

int rewardValueCount(const PVModel& model) { return 2 * model.NumPVNodes; }

void readRewardValues(const PVModel& model, double* values) {
  for (int i = 0; i < model.NumPVNodes; i++) {
    *values++ = model.PVList[i]->ImpulseReward;
    *values++ = model.PVList[i]->RateReward;
  }
}
