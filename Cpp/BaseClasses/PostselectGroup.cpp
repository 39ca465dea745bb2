#include "PostselectGroup.h"

PostselectGroup::PostselectGroup() = default;

PostselectGroup::PostselectGroup(int n) {
  allocateArrays(n);
  NumMembers = Capacity;
}

PostselectGroup::~PostselectGroup() = default;

double PostselectGroup::Weight() { return 1; }

int PostselectGroup::Rank() { return 1; }

bool PostselectGroup::ReactivationPredicate() {
  return NumMembers > 0 && Members[0] != nullptr && Members[0]->ReactivationPredicate();
}

bool PostselectGroup::ReactivationFunction() {
  return NumMembers > 0 && Members[0] != nullptr && Members[0]->ReactivationFunction();
}

double PostselectGroup::SampleDistribution() {
  return (NumMembers > 0 && Members[0] != nullptr) ? Members[0]->SampleDistribution() : 0;
}

void PostselectGroup::Fire() {
  SelectAction();
  if (SelectedAction != nullptr) SelectedAction->Fire();
  SelectedAction = nullptr;
}
