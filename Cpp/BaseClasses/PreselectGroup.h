#ifndef PRESELECT_GROUP_H
#define PRESELECT_GROUP_H

#include "BaseGroupClass.h"

// A group that chooses its member before its timing is asked for: a pending
// selection is made on the first question after construction or firing.
class PreselectGroup : public BaseGroupClass {
 public:
  PreselectGroup();
  // Arrays with n slots, no members yet.
  explicit PreselectGroup(int n);
  ~PreselectGroup() override;

  bool Enabled() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  void Fire() override;
  int Rank() override;
  bool SelectAction() override;

  bool SelectionPending = true;

 private:
  void selectIfPending();
};

#endif
