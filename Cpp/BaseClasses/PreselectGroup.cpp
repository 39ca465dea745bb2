#include "PreselectGroup.h"

PreselectGroup::PreselectGroup() = default;

PreselectGroup::PreselectGroup(int n) { allocateArrays(n); }

PreselectGroup::~PreselectGroup() = default;

void PreselectGroup::selectIfPending() {
  if (SelectionPending) SelectAction();
}

bool PreselectGroup::Enabled() {
  selectIfPending();
  return BaseGroupClass::Enabled();
}

int PreselectGroup::Rank() {
  selectIfPending();
  return SelectedAction ? SelectedAction->Rank() : 0;
}

bool PreselectGroup::ReactivationPredicate() {
  selectIfPending();
  return SelectedAction != nullptr && SelectedAction->ReactivationPredicate();
}

bool PreselectGroup::ReactivationFunction() {
  selectIfPending();
  return SelectedAction != nullptr && SelectedAction->ReactivationFunction();
}

double PreselectGroup::SampleDistribution() {
  selectIfPending();
  return SelectedAction ? SelectedAction->SampleDistribution() : 0;
}

void PreselectGroup::Fire() {
  SelectionPending = true;
  if (SelectedAction != nullptr) SelectedAction->Fire();
}

bool PreselectGroup::SelectAction() {
  bool selected = BaseGroupClass::SelectAction();
  SelectionPending = !selected;
  return selected;
}
