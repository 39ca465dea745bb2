#ifndef PERFORMANCE_VARIABLE_NODE_H
#define PERFORMANCE_VARIABLE_NODE_H

#include <string>
#include <vector>

#include "ActionModelPairClass.h"
#include "ImpulseNodeClass.h"
#include "ModelGroupClass.h"
#include "PerformanceVariableWorker.h"
#include "VarModelPairClass.h"

class BaseActionClass;
class BaseModelClass;

// Kind of a reward variable; the generator only knows instant-of-time (0).
enum RewardType : int {
  Instant_Of_Time = 0,
  Interval_Of_Time = 1,
  Time_Averaged_Interval_Of_Time = 2,
  Steady_State = 3,
  // Whether a condition (the rate, nonzero where it holds) has held at some
  // time up to each instant.
  Reached_By_Time = 4,
  // The reward accumulated until a condition first holds; the condition is
  // the Until_Condition node that follows the variable.
  First_Passage = 5,
  Until_Condition = 6,
};

// One reward variable (restricted to one of its time points). Because a
// composed model may hold many instances of a model, the node evaluates its
// rate reward through workers, one per combination of the instances named by
// its model dependencies, and its impulse rewards through impulse workers,
// one set per impulse. The generated node creates its workers
// (CreateWorkerList) and, in its destructor, deletes them; everything else
// (names, dependency tables, model groups, impulse workers and arrays, the
// Workers array itself) is released by this base.
//
// Set-up (PVModel::Initialize), per node: FixReferences; CreateModelGroupList,
// CreateWorkerList, FixWorkerList, AddPVWorkersToAction per affecting action;
// CreateImpulseModelGroupList, CreateImpulseWorkerLists, FixImpulseWorkerLists.
// All names are resolved there: CurrentReward only walks pointer arrays.
class PerformanceVariableNode {
 public:
  PerformanceVariableNode();
  PerformanceVariableNode(const PerformanceVariableNode&) = delete;
  PerformanceVariableNode& operator=(const PerformanceVariableNode&) = delete;
  virtual ~PerformanceVariableNode();

  // Creates NumWorkers workers of the generated worker class into Workers.
  virtual void CreateWorkerList() = 0;
  // Zeroes the node's and its workers' current values.
  virtual void Reset();

  // --- definition (generated constructor) ---
  void Initialize(const char* name, ::RewardType type, int numTimePoints, const double* startTimes,
                  const double* stopTimes, int timeIndex, int impulseCapacity, int modelDepCapacity,
                  int varDepCapacity);
  void Initialize(const char* name, int type, int numTimePoints, const double* startTimes, const double* stopTimes,
                  int timeIndex, int impulseCapacity, int modelDepCapacity, int varDepCapacity);
  void AddVariableDependency(const char* varName, const char* modelName);
  void AddModelDependency(const char* modelName);
  void AddImpulse(const char* actionName, const char* modelName, ImpulseNodeClass* impulse);
  // The rate reward is evaluated once per state over the whole composed
  // model, not summed over instances: one worker, bound to no instance, which
  // finds the instances it reads under the root model (*TopModelRef).
  void EvaluateOverWholeModel() { WholeModel = true; }
  void AddImpulseModelDependency(const char* modelName, ImpulseNodeClass* impulse);
  void AddImpulseModelDependency(const char* modelName, int impulse);
  void AddImpulseActionDependency(const char* actionName, const char* modelName, int impulse);

  bool IsDependentOnModel(const char* modelName) const;
  bool IsDependentOnImpulseModel(const char* modelName, int impulse) const;
  int GetImpulseNumber(const ImpulseNodeClass* impulse) const;
  ::RewardType GetRewardType() const { return RewardType; }
  int GetNumTimePoints() const { return NumTimePoints; }
  double GetStartTime(int t) const;
  double GetStopTime(int t) const;
  // Names every worker after `name` with its index, every impulse worker with
  // its impulse and worker index; the node's own Name is unchanged.
  void DefineName(const char* name);

  // --- set-up (PVModel::Initialize) ---
  void FixReferences(BaseModelClass* model);
  int GetNumberOfWorkers();
  void GetNumberOfImpulseWorkers();
  void CreateModelGroupList();
  void FixWorkerList();
  void AddPVWorkersToAction(BaseActionClass* action, BaseModelClass* model);
  void CreateImpulseModelGroupList();
  void CreateImpulseWorkerLists();
  void FixImpulseWorkerLists();

  // --- evaluation (every firing) ---
  void CurrentReward(BaseActionClass* action);
  // Only the impulse part of CurrentReward: ImpulseReward of `action`'s
  // firing on the marking it left.
  void CurrentImpulse(BaseActionClass* action) {
    ImpulseReward = 0.0;
    ImpulseRewardSquared = 0.0;
    // Most variables have no impulse part: this runs for every new state, and
    // the search of the action's sets is not free.
    if (action && !ImpulseWorkerNodes.empty()) sumImpulses(action);
  }
  bool ImpulseAffectedBy(BaseActionClass* action) const;

  // Where FixReferences stores the root model; points at an internal slot
  // unless the generated node points it at a member of its own.
  BaseModelClass** TopModelRef;
  char* Name = nullptr;
  double RateReward = 0.0;
  double RateRewardSquared = 0.0;
  double TimeStart = -1.0;
  double TimeStop = -1.0;
  int NumTimePoints = 0;
  std::vector<double> StartTimes;
  std::vector<double> StopTimes;
  double ImpulseReward = 0.0;
  double ImpulseRewardSquared = 0.0;
  double TimeLength = 0.0;
  int AccumulationMode = 0;
  ::RewardType RewardType = Instant_Of_Time;
  int AccumulationStatus = 0;
  int PVId = -1;  // index in the reward model's PVList, given when the node is added to it
  int Reserved = 0;
  BaseActionClass** AffectingActions = nullptr;  // filled by PVModel
  int NumAffectingActions = 0;
  int AffectingActionsCapacity = 0;        // entries allocated in AffectingActions
  ModelGroupClass* ModelGroups = nullptr;  // NumWorkers entries
  int NumWorkers = 0;
  PerformanceVariableWorker** Workers = nullptr;  // NumWorkers entries
  std::vector<VarModelPairClass> VarModelPairs;
  int NumVarModelPairs = 0;
  int NumImpulses = 0;
  std::vector<int> ImpulseDepCounts;
  std::vector<int> ImpulseWorkerCounts;
  std::vector<int> ImpulseModelCounts;
  std::vector<ImpulseNodeClass*> ImpulsePrototypes;    // not owned
  std::vector<ImpulseNodeClass**> ImpulseWorkerNodes;  // owned, ImpulseWorkerCounts[i] each
  std::vector<ActionModelPairClass> ImpulseActions;
  std::vector<std::vector<std::string>> ImpulseDepNames;
  std::vector<std::vector<ModelGroupClass>> ImpulseModelGroups;  // per impulse, per worker
  std::vector<std::string> ModelDepNames;
  int NumModelDeps = 0;
  bool WholeModel = false;

 private:
  BaseModelClass* root() const { return TopModelRef ? *TopModelRef : nullptr; }
  // The part of CurrentImpulse for a variable with impulses.
  void sumImpulses(BaseActionClass* action);
  int countInstances(const std::string& modelName) const;
  void checkImpulse(int impulse) const;
  void releaseImpulseWorkers();

  BaseModelClass* ownTopModel_ = nullptr;
  // Per impulse, the instances of the impulse's model, in listModels order;
  // block j of the impulse's workers belongs to instance j.
  std::vector<std::vector<BaseModelClass*>> impulseModelInstances_;
  // Per impulse, the number of workers in ImpulseWorkerNodes[i] (what the
  // arrays were created with, so they are released with the right count).
  std::vector<int> impulseWorkerArraySizes_;
};

#endif
