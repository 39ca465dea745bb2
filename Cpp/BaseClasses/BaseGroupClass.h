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
class BaseGroupClass : public BaseActionClass {
 public:
  BaseGroupClass();
  BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                 int numAffects, int numEnabledBy, bool reactivation);
  BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                 int numAffects, int numEnabledBy, bool reactivation, int n);
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
  double Probability(BaseActionClass* a) override;
  void printEnablingState(std::ostream* out) override;
  BaseActionClass* getPrintedAction() override;
  virtual bool SelectAction();
  virtual void setGroupId(int g);

  void BaseGroupClassInitialize(const char* name, int groupId, Distribution dist,
                                ExecutionPolicyType policy, int numAffects, int numEnabledBy,
                                bool reactivation);
  void initialize(int n, const char* name);
  void appendGroup(BaseGroupClass* g);
  void appendMembers(BaseGroupClass* g);
  void setMember(BaseGroupClass* g, int i);
  void enlargeArrays(int n);
  void replaceMember(BaseActionClass* oldAction, BaseActionClass* newAction);
  double CalculateWeightDistribution();
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
