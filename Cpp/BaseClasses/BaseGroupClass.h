#ifndef BASE_GROUP_CLASS_H
#define BASE_GROUP_CLASS_H

#include "BaseActionClass.h"

// One entry of a group's cumulative weight distribution.
struct WeightEntry {
  double cumulativeWeight;
  BaseActionClass* member;
};

// An action made of member actions that compete: only the enabled members of
// the highest rank take part, in proportion to their weights.
//
// Growth: appendGroup grows the arrays by exactly one slot when full;
// appendMembers grows them to exactly the new member count. The weight
// distribution always has as many slots as the members array (capacity).
// Members are usually groups (activities are groups of themselves); a member
// that is a plain action is selected directly and gets its GroupId set
// directly. Null slots (a PostselectGroup(n) not yet filled) are skipped.
//
// Enabled, Rate, Weight, Rank and Probability run for every explored
// transition: they only walk the members array and never allocate.
class BaseGroupClass : public BaseActionClass {
 public:
  BaseGroupClass();
  BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int numAffects,
                 int numEnabledBy, bool reactivation);
  BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int numAffects,
                 int numEnabledBy, bool reactivation, int n);
  ~BaseGroupClass() override;

  bool Enabled() override;
  double Weight() override;
  double Rate() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  void Fire() override;
  int Rank() override;
  bool EnablingChange() override;
  bool IsAMember(BaseActionClass* a) override;
  // The chance that, among the members competing now (enabled, highest
  // rank), the one holding `a` is chosen, times the chance that it chooses
  // `a`. 0 when `a` is held by no member or its holder is outranked. When the
  // competing weights add up to 0 the message "BaseGroupClass::Probability()
  // TotalWeight is zero." goes to standard output and the result is that of
  // the division: NaN (holder weight 0) or infinite; the caller decides how to
  // report it.
  double Probability(BaseActionClass* a) override;
  void printEnablingState(std::ostream* out) override;
  BaseActionClass* getPrintedAction() override;
  // Draws u from TheDistribution's generator and picks the entry of the
  // weight distribution in which total weight * u falls (the first entry whose
  // cumulative weight exceeds it). False, with nothing selected, when no
  // member is enabled.
  virtual bool SelectAction();
  virtual void setGroupId(int g);

  void BaseGroupClassInitialize(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                                int numAffects, int numEnabledBy, bool reactivation);
  void initialize(int n, const char* name);
  void appendGroup(BaseGroupClass* g);
  void appendMembers(BaseGroupClass* g);
  void setMember(BaseGroupClass* g, int i);
  void enlargeArrays(int n);
  void replaceMember(BaseActionClass* oldAction, BaseActionClass* newAction);
  // Lays out the weights of the enabled members of the highest rank as a
  // cumulative distribution and marks every other member disabled. Returns the
  // total weight, or -1 when no member is enabled.
  double CalculateWeightDistribution();
  // Index of the first entry whose cumulative weight is greater than x (the
  // last entry when none is); needs at least one entry.
  int findEntry(double x) const;
  void Check() {}
  void PrintInfo();
  void printGroup();
  void printGroup(const char* prefix, int indent);

  int getNumMembers() const { return NumMembers; }
  BaseActionClass* getMember(int i) const { return Members[i]; }
  BaseActionClass* getSelectedAction() const { return SelectedAction; }
  int getNumEntries() const { return NumEntries; }
  const WeightEntry& getWeightEntry(int i) const { return WeightDistribution[i]; }
  int getCapacity() const { return Capacity; }
  int getCurrentRank() const { return CurrentRank; }

 protected:
  void allocateArrays(int n);  // both arrays with n slots; capacity n

  BaseActionClass** Members = nullptr;
  BaseActionClass* SelectedAction = nullptr;
  WeightEntry* WeightDistribution = nullptr;
  int CurrentRank = 0;
  int NumMembers = 0;
  int NumEntries = 0;
  int Capacity = 0;
};

#endif
