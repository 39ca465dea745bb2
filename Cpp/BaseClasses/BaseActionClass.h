#ifndef BASE_ACTION_CLASS_H
#define BASE_ACTION_CLASS_H

#include <iostream>

#include "FastSet.h"
#include "List.h"

class BaseStateVariableClass;
class BaseModelClass;
class Distributions;
class UserDistributions;

// Delay distribution of an action. Only these codes have a meaning for the
// generator; any other value is refused at generation time.
enum Distribution : int {
  DIST_EXPONENTIAL = 1,
  DIST_DETERMINISTIC = 2,
  DIST_ERLANG = 7,
  DIST_INSTANTANEOUS = 18,
};

// Carried and printed, never branched on; every activity uses 1.
enum ExecutionPolicyType : int {
  POLICY_DEFAULT = 1,
};

// Process-wide random-variate source used by model code (SampleDistribution)
// and group selection (SelectAction). The model's code reaches it by name; the
// state-space generator calls neither operation, so generation never touches
// it and reward models can be explored side by side.
extern UserDistributions TheGenerator;
extern Distributions* TheDistribution;

// Abstract base of everything that fires and changes the state.
class BaseActionClass {
 public:
  BaseActionClass();
  BaseActionClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int numAffects,
                  int numEnabledBy, bool reactivation);
  BaseActionClass(const BaseActionClass&) = delete;
  BaseActionClass& operator=(const BaseActionClass&) = delete;
  virtual ~BaseActionClass();

  // Virtual slots, in order.
  virtual bool isSync();
  virtual bool Enabled();
  virtual double Weight();
  virtual double Rate();
  virtual bool ReactivationPredicate();
  virtual bool ReactivationFunction();
  virtual double SampleDistribution();
  virtual double* ReturnDistributionParameters();
  virtual void SetFired(int fired);
  virtual void Fire();
  virtual int Rank();
  virtual bool EnablingChange();
  virtual bool IsAMember(BaseActionClass* a);
  virtual double Probability(BaseActionClass* a);
  virtual void printAffectedState(std::ostream* out);
  virtual void printEnablingState(std::ostream* out);
  virtual BaseActionClass* getPrintedAction();
  virtual double ErlangParamM();

  void BaseActionClassInitialize(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                                 int numAffects, int numEnabledBy, bool reactivation);
  void defineName(const char* name);
  const char* getName() const { return Name; }

  void addEnablingSV(BaseStateVariableClass* v);
  void removeEnablingSV(BaseStateVariableClass* v);
  void addAffectedSV(BaseStateVariableClass* v);
  void removeAffectedSV(BaseStateVariableClass* v);

  bool IsPVRateDSAllocated() const { return PVRateDS != nullptr; }
  bool IsPVImpulseDSAllocated() const { return PVImpulseDS != nullptr; }
  void AllocatePVRateDS(int n);
  void AllocatePVImpulseDS(int n);
  void DeallocatePVRateDS();
  // Frees the sets and the two pointer arrays; the per-node arrays hanging
  // from them are released by the reward model, which knows their shapes.
  void DeallocatePVImpulseDS();

  void ResetPhase() { Phase = 1; }
  void Age() { Phase = static_cast<short>(Phase + 1); }
  // At or past the last phase: a phase count that depends on the marking may
  // have dropped below the phase reached.
  bool ReadyToFire() { return static_cast<double>(Phase) >= ErlangParamM(); }

  void PrintInfo();

  int GroupId = 0;
  ExecutionPolicyType ExecutionPolicy = POLICY_DEFAULT;
  bool Disabled = true;
  bool Reactivation = false;
  bool Fired = false;
  Distribution DistributionType = DIST_EXPONENTIAL;
  BaseModelClass* OwningModel = nullptr;

  // Reward-variable data, filled by the reward model and read by the
  // performance variables. Index i of each array is reward-variable node i.
  FastSet AffectedNodesByImpulseReward;
  FastSet* PVImpulseDS = nullptr;         // per node: impulse indices linked to this action
  int*** PVImpulseWorkers = nullptr;      // per node, per impulse: impulse-worker indices
  int** PVImpulseWorkerCounts = nullptr;  // per node, per impulse: number of those indices
  FastSet* PVRateDS = nullptr;            // per node: rate-worker indices affected
  int PVDSSize = 0;                       // number of nodes the arrays above were made for
  FastSet AffectedNodes;
  FastSet AffectedNodesByRateReward;
  short Phase = 1;
  int ActionNumber = 0;  // given by the enclosing reward model (PVModel::NumberParts)
  List<BaseStateVariableClass> AffectedSVs;
  List<BaseStateVariableClass> EnablingSVs;

 protected:
  char* Name = nullptr;
};

#endif
