#ifndef BASE_MODEL_CLASS_H
#define BASE_MODEL_CLASS_H

#include <cstddef>
#include <forward_list>
#include <functional>
#include <iostream>
#include <unordered_map>
#include <utility>
#include <vector>

#include "List.h"

class BaseActionClass;
class BaseGroupClass;
class BaseStateVariableClass;
class SharedStateVarLink;
class State;

// Abstract base of every node of a composed model (atomic SAN, Rep, Join and
// the reward-model wrapper). It presents a model as a flat byte string (its
// state), a flat list of actions and groups, and a tree of named submodels.
// Operations a concrete class does not support stop the process with the
// assertion "false".
class BaseModelClass {
 public:
  BaseModelClass();
  BaseModelClass(const BaseModelClass&) = delete;
  BaseModelClass& operator=(const BaseModelClass&) = delete;
  virtual ~BaseModelClass();

  virtual int getNumStateVariables() { return NumStateVariables; }
  virtual void listModels(const char* name, List<BaseModelClass>* out) = 0;
  virtual void CurrentState(void* dest) = 0;
  virtual void listActions(List<BaseActionClass>* out) = 0;
  virtual void listGroups(List<BaseGroupClass>* out) = 0;
  virtual void SetState(void* src) = 0;
  virtual int StateSize() = 0;
  virtual bool CompareState(void* a, void* b) = 0;
  virtual void listActions(const char* name, List<BaseActionClass>* out) = 0;
  virtual void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                       List<BaseModelClass>* models) = 0;
  virtual void printState(std::ostream* out);
  virtual void printState();
  virtual BaseStateVariableClass** GetLocalStateVariables(std::ostream* out);
  virtual BaseStateVariableClass** GetSharedStateVariables();
  virtual BaseStateVariableClass* getMainSharedVariable(BaseStateVariableClass* sv);
  virtual SharedStateVarLink* getListOfSharedVariables(BaseStateVariableClass* sv);
  virtual void AddAffectArc(BaseStateVariableClass* sv, BaseActionClass* a);
  virtual void AddEnableArc(BaseStateVariableClass* sv, BaseActionClass* a);
  virtual int GetModelType();
  virtual int GetNumberOfChildren();
  virtual BaseModelClass* GetChild(int i);
  virtual void GetLocalActions(std::forward_list<BaseActionClass*>& out);
  virtual void GetGlobalActions(std::forward_list<BaseActionClass*>& out);
  virtual bool HasLocalState();
  virtual void GetLocalState(State* s);
  virtual void SetLocalState(State const* s);
  virtual void ConstructLocalState(State*& s);
  virtual void DestructLocalState(State* s);

  // Recomputes the cached state layout (which state variables this model and
  // the models below it write, their sizes and offsets) from the current
  // sharing flags. The state operations build the cache lazily on first use;
  // every composer calls this for its whole subtree in its Setup, so the
  // layout is fixed once the root's Setup has run. Sharing that happens after
  // a model's layout was built must be followed by a call of this operation
  // on an enclosing model (the composers' Setup does it) before the state is
  // used again. The base model has no layout.
  virtual void PrepareStateLayout() {}

  // Change reporting. Exploring a composed model sets it to a state, fires
  // one action and reads the state back, over and over; a composer keeps the
  // state it last read and, once firings are reported to it, reads back only
  // the submodels a firing touched. The caller reports every firing to the
  // root model with ReportFiring (the reward model does it in FireAction). A
  // firing is assumed to change only the places of the action's own atomic
  // model (OwningModel), which may stand for variables stored higher up. From
  // the first report on, the root trusts its kept state: a caller that then
  // changes markings in any other way than SetState or a reported firing
  // calls ForgetCachedState before reading the state again. An action
  // without an atomic model of this tree makes the next read a full one.
  void ReportFiring(BaseActionClass* action);
  void ForgetCachedState();

  // Interchangeable replicas. Two replicas of one Rep whose parts of a state
  // vector are equal are interchangeable there: an action of one leads, once
  // the Rep has sorted its replicas, to the same states with the same values
  // as the same action of the other. (The Rep's sorting rests on the same
  // premise: a replica's actions read nothing but its own places and the
  // shared ones.) Each entry describes one Rep of the subtree: replica c owns
  // actions firstAction + c * actionsPerReplica on (in this model's Actions)
  // and the part at firstPart + c * partSize (in this model's state). Action
  // indices count from `firstAction`, offsets from `offset`. An atomic model
  // lists nothing.
  struct Replicas {
    int firstAction;
    int actionsPerReplica;
    int count;
    std::size_t firstPart;
    std::size_t partSize;
  };
  virtual void listReplicas(std::size_t offset, int firstAction, std::vector<Replicas>& out) {
    (void)offset;
    (void)firstAction;
    (void)out;
  }

  // The composer this model is a child of (null at the root), set when the
  // composer fixes its layout.
  BaseModelClass* parentModel() const { return parent_; }

  void DefineName(const char* name);
  void SetParentId(int id) { ParentId = id; }
  const char* getName() const { return Name; }

  int NumStateVariables = 0;
  int NumSharedStateVariables = 0;
  int NumActions = 0;
  int NumGroups = 0;
  BaseGroupClass** Groups = nullptr;
  char* Name = nullptr;
  // Given by the enclosing reward model (PVModel::NumberParts): 0 until then.
  int ModelId = 0;
  int ParentId = 0;
  BaseActionClass** Actions = nullptr;

 protected:
  using CellHolders = std::unordered_map<const void*, BaseModelClass*>;

  // Links this model below `parent` as its child number `index`.
  void setParent(BaseModelClass* parent, int index) {
    parent_ = parent;
    indexInParent_ = index;
  }
  // Tells every composer from this model up to the root that this model's
  // state changed; with `own` also this composer's shared block.
  void reportStateChanged(bool own);

  // Hooks of change reporting, overridden by the models that keep state.
  virtual void visitSubtree(const std::function<void(BaseModelClass&)>& f) { f(*this); }
  // The value cells of the places whose values this model writes itself.
  virtual void appendStoredCells(std::vector<const void*>& out) { (void)out; }
  // Records which models write the cells of this model's places that it
  // does not store itself; false when that cannot be told.
  virtual bool findCellHolders(const CellHolders& holders) {
    (void)holders;
    return true;
  }
  // Whether the model's parts are arranged as its last read listed them, so
  // that setting it to that vector again would change nothing. Asked only of
  // a model that has been read since it was last set and had no report since;
  // an atomic model always is.
  virtual bool arrangedAsRead() { return true; }
  virtual void childStateChanged(int index) { (void)index; }
  virtual void ownStateChanged() {}
  virtual void resetStateCache(bool tracking) { tracking_ = tracking; }

  bool tracking_ = false;  // firings are reported to the root of this model
  std::vector<BaseModelClass*> cellHolders_;
  bool holdersKnown_ = false;
  // What a firing of this model's actions marks, worked out once when the
  // root begins tracking: (composer, child index), or (composer, -1) for
  // its shared block.
  BaseModelClass* trackingRoot_ = nullptr;
  std::vector<std::pair<BaseModelClass*, int>> reportMarks_;

 private:
  friend class BaseComposerClass;  // links its children and walks their subtrees

  void beginTracking();
  void addPathMarks(BaseModelClass* from, std::vector<std::pair<BaseModelClass*, int>>& marks);

  BaseModelClass* parent_ = nullptr;
  int indexInParent_ = -1;
};

#endif
