#ifndef SHARED_STATE_VAR_LINK_H
#define SHARED_STATE_VAR_LINK_H

class BaseStateVariableClass;
class BaseModelClass;

// One node of a singly linked chain listing the variables that a composer's
// shared variable stands for. A node does not own the node after it; a whole
// chain is released with clearStateVarList.
class SharedStateVarLink {
 public:
  SharedStateVarLink() = default;
  explicit SharedStateVarLink(BaseStateVariableClass* sv) : StateVar(sv) {}
  SharedStateVarLink(BaseStateVariableClass* sv, BaseModelClass* model) : StateVar(sv), Model(model) {}
  SharedStateVarLink(const SharedStateVarLink&) = delete;
  SharedStateVarLink& operator=(const SharedStateVarLink&) = delete;

  // True when sv is held by this node or by any node after it.
  bool hasStateVar(BaseStateVariableClass* sv) const;
  // Appends `link` (with whatever follows it) after the last node of this chain.
  void addStateVarLink(SharedStateVarLink* link);
  // Deletes `link` and every node after it.
  static void clearStateVarList(SharedStateVarLink* link);
  void printAllStateVariables() const;

  BaseStateVariableClass* StateVar = nullptr;
  BaseModelClass* Model = nullptr;
  SharedStateVarLink* Next = nullptr;
};

#endif
