#include "Activity.h"

Activity::Activity() {
  Disabled = true;
  Reactivation = false;
  SelectedAction = this;
}

Activity::Activity(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int numAffects,
                   int numEnabledBy, bool reactivation)
    : BaseGroupClass(name, groupId, dist, policy, numAffects, numEnabledBy, reactivation) {
  SelectedAction = this;
}

Activity::~Activity() = default;

void Activity::ActivityInitialize(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                                  int numAffects, int numEnabledBy, bool reactivation) {
  BaseGroupClassInitialize(name, groupId, dist, policy, numAffects, numEnabledBy, reactivation);
}

double Activity::Weight() { return BaseActionClass::Weight(); }
double Activity::Rate() { return BaseActionClass::Rate(); }
double Activity::SampleDistribution() { return BaseActionClass::SampleDistribution(); }
int Activity::Rank() { return BaseActionClass::Rank(); }

bool Activity::EnablingChange() {
  Enabled();
  return EnabledFlag != PreviousEnabledFlag;
}

double Activity::Probability(BaseActionClass* a) { return a == this ? 1.0 : 0.0; }

bool Activity::SelectAction() { return Enabled(); }

void Activity::setGroupId(int g) { GroupId = g; }

bool Activity::IsAnAffectingStateVariable(BaseStateVariableClass* v) { return AffectedSVs.contains(v); }
