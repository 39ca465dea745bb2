#include "InstantOfTime.h"

void InstantOfTime::Accumulate(double, double) {}

void InstantOfTime::CurrentReward() {
  Value = Reward_Function();
  ValueSquared = Value * Value;
}
