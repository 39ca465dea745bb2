#ifndef SAN_MODEL_H
#define SAN_MODEL_H

#include <forward_list>
#include <iostream>
#include <vector>

#include "BaseModelClass.h"
#include "ByteState.h"
#include "StateSlot.h"

class Activity;
class Place;

// An atomic stochastic activity network: places and extended state variables
// (its state), read-only places, activities and groups. Generated model
// classes derive from it, create their variables and activities and hand
// them over with initializeSANModelNow.
//
// State layout: the values of the stored places (those that own their value
// cell; after sharing only the composer's variable does), in the order of
// `Places`, each in the bytes its own CurrentState writes. The list of those
// places is cached (see BaseModelClass::PrepareStateLayout): it is built on
// the first StateSize/CurrentState/SetState call and rebuilt by every
// enclosing composer's Setup, after which sharing is complete.
class SANModel : public BaseModelClass {
 public:
  // The whole state of the atomic model.
  class LocalState : public ByteState {
   public:
    explicit LocalState(BaseModelClass const* m);
    using ByteState::operator=;
    void SetState(BaseModelClass const* m) override;
    void GetState(BaseModelClass const* m) override;
  };

  SANModel();
  SANModel(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
           BaseStateVariableClass** readOnlyPlaces, int numActivities, Activity** activities, int numGroups,
           BaseGroupClass** groups);
  ~SANModel() override;

  void initializeSANModelNow(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
                             BaseStateVariableClass** readOnlyPlaces, int numActivities, Activity** activities,
                             int numGroups, BaseGroupClass** groups);
  void SetPlaces(BaseStateVariableClass** places);
  void SetReadOnlyPlaces(BaseStateVariableClass** readOnlyPlaces);
  void SetActions(Activity** activities);
  void SetGroups(BaseGroupClass** groups);

  // Number of entries of `Places` that are places (the read-only places
  // follow them in the same array, see `Places`).
  int getNumPlaces() const { return NumStateVariables - NumReadOnlyPlaces; }

  void listModels(const char* name, List<BaseModelClass>* out) override;
  void CurrentState(void* dest) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  void SetState(void* src) override;
  int StateSize() override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  void printState(std::ostream* out) override;
  using BaseModelClass::printState;
  BaseStateVariableClass** GetLocalStateVariables(std::ostream* out) override;
  int GetModelType() override { return 1; }
  int GetNumberOfChildren() override { return 0; }
  void GetLocalActions(std::forward_list<BaseActionClass*>& out) override;
  void GetGlobalActions(std::forward_list<BaseActionClass*>& out) override;
  bool HasLocalState() override;
  void GetLocalState(State* s) override;
  void SetLocalState(State const* s) override;
  void ConstructLocalState(State*& s) override;
  void DestructLocalState(State* s) override;
  void PrepareStateLayout() override;

  void PrintSANModelInfo();

  // The stored state variables: the places in the order given, followed by
  // the read-only places, so that any index below NumStateVariables is valid
  // (the trace dump walks NumStateVariables entries). Only the first
  // getNumPlaces() entries are the model's places.
  BaseStateVariableClass** Places = nullptr;
  BaseStateVariableClass** ReadOnlyPlaces = nullptr;
  int NumReadOnlyPlaces = 0;

 protected:
  void appendStoredCells(std::vector<const void*>& out) override;
  bool findCellHolders(const CellHolders& holders) override;

 private:
  void releaseArrays();
  void ensureLayout() {
    if (!layoutReady_) PrepareStateLayout();
  }

  std::vector<StateSlot> slots_;  // places that contribute to the state, in order
  int stateSize_ = 0;
  bool layoutReady_ = false;
};

bool checkLocalSVs(SANModel* model, Place** places);
bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** readOnlyPlaces);
bool checkLocalActions(SANModel* model, Activity** activities);

#endif
