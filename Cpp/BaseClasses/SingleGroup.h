#ifndef SINGLE_GROUP_H
#define SINGLE_GROUP_H

#include "BaseGroupClass.h"

// A group that wraps one action and answers for it. Without an action it is
// disabled and has rate, weight and rank 0.
class SingleGroup : public BaseGroupClass {
 public:
  SingleGroup();
  // g becomes the only member (none when g is null) and lends its name; the
  // action is given afterwards with SetAction.
  explicit SingleGroup(BaseGroupClass* g);
  ~SingleGroup() override;

  // The action becomes the group's action and its one member.
  virtual void SetAction(BaseActionClass* a);
  BaseActionClass* getAction() const { return Action; }

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
  // Reports the inconsistent state (a single action needs no selection), then
  // selects the action if it is enabled.
  bool SelectAction() override;

  BaseActionClass* Action = nullptr;
  bool EnabledFlag = false;
  bool PreviousEnabledFlag = false;
};

#endif
