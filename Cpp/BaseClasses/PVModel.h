#ifndef PV_MODEL_H
#define PV_MODEL_H

#include <vector>

#include "BaseActionClass.h"
#include "BaseModelClass.h"
#include "FileCreation.h"

class PerformanceVariableNode;

// The root object the generator works on: wraps the composed model
// (TheModel) and its reward variables, presents the whole model as one state
// vector and one flat array of actions and groups, fires actions and has the
// reward variables evaluate themselves after each firing.
//
// State vector: TheModel's state at offset 0, followed by IndexBytes bytes of
// last-fired-action suffix when IndexMode is 1. The generator never switches
// it on; a subclass may set IndexMode to 1 before Initialize, and the suffix
// is then the 1-based position of LastActionFired in IndexActions (0 when
// absent), least significant byte first, in 1, 2 or 4 bytes as the action
// count needs.
//
// Ownership: TheModel, the nodes and PVList, and the reward-variable data
// this model hangs on the actions are released by Destruct (called by the
// destructor); generated subclasses release only what they own themselves.
class PVModel : public BaseModelClass {
 public:
  PVModel();
  ~PVModel() override;

  int StateSize() override { return TotalStateSize; }
  void CurrentState(void* dest) override;
  void SetState(void* src) override;
  bool CompareState(void* a, void* b) override;
  void printState(std::ostream* out) override;
  using BaseModelClass::printState;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listModels(const char* name, List<BaseModelClass>* out) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;

  // Given a reward-variable index and a time-point index, a new node for that
  // variable at that time point, or null when the index is out of range.
  virtual PerformanceVariableNode* createPVNode(int pvIndex, int timeIndex) = 0;

  // Each node's PVId becomes its position in PVList, the index of its entry
  // in the actions' per-node reward data.
  void CreatePVList(int numPVs, bool expand);
  // Numbers the parts (NumberParts), then links the reward variables to the
  // actions.
  void Initialize();
  // Gives this model ModelId 1 and the models below it the following ids in
  // pre-order; gives NoActionFiredYet ActionNumber 0 and every action and
  // group of the tree the following numbers. Each reward model numbers only
  // its own parts, so several can live in one process with the same numbers.
  void NumberParts();
  void ConsiderOnly(int* indices, int count);
  // Writes the reward variables' types to `path` (nothing when it is null),
  // synced to the disk. `reportedName`, when given, names the file in
  // messages. A file that cannot be opened or written throws GenError.
  void WritePVTypeFile(const char* path, const char* reportedName = nullptr,
                       FileCreation creation = FileCreation::Replace);

  // Fires `action`, lets every considered node evaluate the firing on the new
  // marking, and copies the new state into dest. Runs once per explored
  // transition: no allocation, no lookups.
  void FireAction(void* dest, BaseActionClass* action);
  // FireAction without the reward evaluation, for a caller that wants the
  // rewards of few of its firings: EvaluateRewards, on the marking the
  // firing left, gives the nodes the values FireAction would have.
  void FireWithoutRewards(void* dest, BaseActionClass* action);
  void EvaluateRewards();
  void AgeAction(char* state, BaseActionClass* action);

  void MakeAffectedLists();
  void MakeImpulseAffectedLists();
  void CreateAffectedLists();
  void CreateTotalPVAffectsList(BaseActionClass* action);
  void RemakeAffectedLists() {}
  void Destruct();

  BaseModelClass* TheModel = nullptr;
  BaseActionClass* LastActionFired = nullptr;
  BaseActionClass NoActionFiredYet;
  PerformanceVariableNode** PVList = nullptr;
  int NumPVNodes = 0;
  std::vector<PerformanceVariableNode*> ConsideredPVs;
  int ModelStateSize = 0;
  int TotalStateSize = 0;
  int IndexMode = 0;
  int IndexBytes = 0;
  BaseActionClass** IndexActions = nullptr;
  int NumIndexActions = 0;
  int RateDSCount = 0;
  int ImpulseDSCount = 0;
  BaseActionClass** PVAffectingActions = nullptr;
  FastSet** PVAffectedSets = nullptr;
  int NumPVAffectingActions = 0;

 protected:
  void CreatePVStateIndex();
  bool destructed_ = false;

 private:
  void ensurePVListCapacity(int needed);
  void appendPVNode(PerformanceVariableNode* node);
  void allocateRateDS(BaseActionClass* action);
  void allocateImpulseDS(BaseActionClass* action);
  void finishRateDS(BaseActionClass* action);
  void finishImpulseDS(BaseActionClass* action);
  void linkImpulse(int node, int impulse, BaseModelClass* model);
  void releaseActionDS(BaseActionClass* action);
  int indexPosition(const BaseActionClass* action) const;

  int pvListCapacity_ = 0;
  // Every action whose reward-variable data this model allocated (recorded
  // at set-up, so that Destruct releases exactly those, including member
  // actions of synchronised groups that are not in Actions).
  std::vector<BaseActionClass*> dsActions_;
  // IndexMode 1 only: 1-based position in IndexActions by action number
  // (ActionNumber - indexBase_), built once so that CurrentState needs no
  // search.
  std::vector<int> indexPositions_;
  int indexBase_ = 0;
};

#endif
