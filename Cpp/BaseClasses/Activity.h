#ifndef ACTIVITY_H
#define ACTIVITY_H

#include "BaseGroupClass.h"

class BaseStateVariableClass;

// Base of every generated activity: a group that consists of itself, so a
// plain activity is its own group with probability 1. Generated Enabled()
// implementations copy EnabledFlag to PreviousEnabledFlag, evaluate their
// condition, store it in EnabledFlag and return it.
class Activity : public BaseGroupClass {
 public:
  Activity();
  Activity(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int numAffects,
           int numEnabledBy, bool reactivation);
  ~Activity() override;

  // An activity is its own selected action, so the group versions of these
  // (which forward to the selected action) would call themselves: an activity
  // that does not override them gets the plain action's values (0).
  double Weight() override;
  double Rate() override;
  double SampleDistribution() override;
  int Rank() override;
  void Fire() override = 0;
  bool EnablingChange() override;
  double Probability(BaseActionClass* a) override;
  bool SelectAction() override;
  void setGroupId(int g) override;
  virtual void LinkVariables() = 0;

  void ActivityInitialize(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int numAffects,
                          int numEnabledBy, bool reactivation);
  bool IsAnAffectingStateVariable(BaseStateVariableClass* v);

  bool EnabledFlag = false;
  bool PreviousEnabledFlag = false;
};

#endif
