#ifndef INSTANT_OF_TIME_H
#define INSTANT_OF_TIME_H

#include "PerformanceVariableWorker.h"

// Worker base of instant-of-time reward variables: the current reward is the
// reward function on the current marking.
class InstantOfTime : public PerformanceVariableWorker {
 public:
  InstantOfTime() = default;
  ~InstantOfTime() override = default;

  // Nothing to accumulate: an instant-of-time variable only observes.
  void Accumulate(double time, double duration) override;
  // Value = Reward_Function(), ValueSquared = its square.
  void CurrentReward() override;
};

#endif
