#include "SingleGroup.h"

#include "StandardErrors.h"

SingleGroup::SingleGroup() = default;

SingleGroup::SingleGroup(BaseGroupClass* g) {
  if (g == nullptr) return;
  allocateArrays(1);
  Members[0] = g;
  NumMembers = 1;
  defineName(g->getName());
}

SingleGroup::~SingleGroup() = default;

void SingleGroup::SetAction(BaseActionClass* a) {
  Action = a;
  if (a == nullptr) {
    NumMembers = 0;
    return;
  }
  if (Capacity < 1) allocateArrays(1);
  Members[0] = a;
  NumMembers = 1;
}

bool SingleGroup::Enabled() {
  PreviousEnabledFlag = EnabledFlag;
  EnabledFlag = Action != nullptr && Action->Enabled();
  return EnabledFlag;
}

double SingleGroup::Weight() { return Action ? Action->Weight() : 0; }
double SingleGroup::Rate() { return Action ? Action->Rate() : 0; }
bool SingleGroup::ReactivationPredicate() { return Action != nullptr && Action->ReactivationPredicate(); }
bool SingleGroup::ReactivationFunction() { return Action != nullptr && Action->ReactivationFunction(); }
double SingleGroup::SampleDistribution() { return Action ? Action->SampleDistribution() : 0; }
int SingleGroup::Rank() { return Action ? Action->Rank() : 0; }

void SingleGroup::Fire() {
  if (Action != nullptr) Action->Fire();
}

bool SingleGroup::EnablingChange() { return EnabledFlag != PreviousEnabledFlag; }

double SingleGroup::Probability(BaseActionClass* a) { return (a != nullptr && a == Action) ? 1.0 : 0.0; }

bool SingleGroup::SelectAction() {
  InconsistantState();
  if (Action == nullptr || !Action->Enabled()) return false;
  SelectedAction = Action;
  Action->Disabled = false;
  ExecutionPolicy = Action->ExecutionPolicy;
  Reactivation = Action->Reactivation;
  Disabled = false;
  return true;
}
