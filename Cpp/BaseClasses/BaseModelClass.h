#ifndef BASE_MODEL_CLASS_H
#define BASE_MODEL_CLASS_H

#include <forward_list>
#include <iostream>

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
};

#endif
