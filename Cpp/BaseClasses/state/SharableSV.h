#ifndef SHARABLE_SV_H
#define SHARABLE_SV_H

#include "BaseStateVariableClass.h"

// One registered pointer that must always point at a sharing group's value
// cell: the variable's own value pointer (owner = the variable), Place::Mark
// or a pointer cached by model code (owner = null).
template <class T>
struct SVAliasNode {
  T** alias;
  BaseStateVariableClass* owner;
  SVAliasNode* next;
  BaseStateVariableClass* getOwner() const { return owner; }
};

// A simple (one-value) state variable whose value lives in a separately
// allocated cell. Sharing merges groups of equivalent variables so that all
// of them read and write one cell; the alias list records every pointer that
// has to follow the cell when groups merge. Instantiated for short only.
//
// Ownership: the stored variable of a group owns the cell, the two action
// lists and every alias node of the group; an absorbed variable owns nothing
// of it, so the members of a group may be destroyed in any order and the cell
// is released exactly once.
template <class T>
class SharableSV : public BaseStateVariableClass {
 public:
  SharableSV();
  SharableSV(const char* name, const char* prefix);
  ~SharableSV() override;

  int StateSize() override { return static_cast<int>(sizeof(T)); }
  void SetState(void* src) override;      // copies sizeof(T) bytes into the cell
  void CurrentState(void* dst) override;  // copies the cell's sizeof(T) bytes out
  void printState(std::ostream* out) override;
  void printStateVal(std::ostream* out) override;
  void share(BaseStateVariableClass* other) override;
  void appendAffectingAction(BaseActionClass* a) override;
  using BaseStateVariableClass::printState;

  // Same as share() without the type check; used by generated composed models.
  // Sharing with a member of the own group only brings the action lists in
  // line; nothing is absorbed.
  void ShareWith(SharableSV<T>* other);

  // Registers a pointer that must always point at the group's value cell:
  // *alias is set to the current cell, the sharing count grows by one. On a
  // variable that has been absorbed, the pointer is recorded with the group's
  // stored variable, which moves the group's pointers on later sharing.
  void registerAlias(T** alias);

  SVAliasNode<T>* getHead() const { return head; }
  // The stored variable of the group: the variable itself until it is
  // absorbed. Every absorption re-points the representative of each variable
  // of the absorbed group, so it never names a variable that was absorbed in
  // turn.
  SharableSV<T>* getRepresentative() const { return representative; }
  T* getValuePtr() const { return value; }

 protected:
  T* value = nullptr;
  SVAliasNode<T>* head = nullptr;
  SharableSV<T>* representative = this;

 private:
  void pushAlias(T** alias, BaseStateVariableClass* owner);
  SharableSV<T>* root();
  // x, the stored variable of another group, gives up its cell, its lists
  // and its alias list to this variable, the stored variable of its group.
  void absorb(SharableSV<T>* x);
};

#include "SharableSV_impl.h"

#endif
