#ifndef POSTSELECT_GROUP_H
#define POSTSELECT_GROUP_H

#include "BaseGroupClass.h"

// The group of the cases of an activity: the case is chosen (by weight) when
// the activity completes. As a whole it has weight 1 and rank 1.
class PostselectGroup : public BaseGroupClass {
 public:
  PostselectGroup();
  // n member slots, all counted as members; fill them with setMember.
  explicit PostselectGroup(int n);
  ~PostselectGroup() override;

  double Weight() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  void Fire() override;
  int Rank() override;
};

#endif
