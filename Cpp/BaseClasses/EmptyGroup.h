#ifndef EMPTY_GROUP_H
#define EMPTY_GROUP_H

#include "SingleGroup.h"

// A group that never does anything: never enabled, nothing to fire, every
// value 0. Named "ImmediateGroup", GroupId 0, no members.
class EmptyGroup : public SingleGroup {
 public:
  EmptyGroup();
  ~EmptyGroup() override;

  void SetAction(BaseActionClass* a) override;  // ignored
  void SetImpulseList(int, double) {}
  void CreateImpulseList(int) {}

  bool Enabled() override;
  double Weight() override;
  double Rate() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  void Fire() override;
  int Rank() override;
  bool EnablingChange() override;
  double Probability(BaseActionClass* a) override;
  // Reports the inconsistent state: nothing can be selected.
  bool SelectAction() override;
};

#endif
