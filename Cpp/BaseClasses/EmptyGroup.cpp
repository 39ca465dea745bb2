#include "EmptyGroup.h"

#include "StandardErrors.h"

EmptyGroup::EmptyGroup() {
  defineName("ImmediateGroup");
  GroupId = 0;
}

EmptyGroup::~EmptyGroup() = default;

void EmptyGroup::SetAction(BaseActionClass*) {}
bool EmptyGroup::Enabled() { return false; }
double EmptyGroup::Weight() { return 0; }
double EmptyGroup::Rate() { return 0; }
bool EmptyGroup::ReactivationPredicate() { return false; }
bool EmptyGroup::ReactivationFunction() { return false; }
double EmptyGroup::SampleDistribution() { return 0; }
void EmptyGroup::Fire() {}
int EmptyGroup::Rank() { return 0; }
bool EmptyGroup::EnablingChange() { return false; }
double EmptyGroup::Probability(BaseActionClass*) { return 0; }

bool EmptyGroup::SelectAction() {
  InconsistantState();
  return false;
}
