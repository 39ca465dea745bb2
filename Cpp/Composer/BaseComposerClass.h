#ifndef BASE_COMPOSER_CLASS_H
#define BASE_COMPOSER_CLASS_H

#include <cstdint>
#include <cstring>
#include <iostream>
#include <unordered_map>
#include <vector>

#include "BaseModelClass.h"
#include "ByteRuns.h"
#include "SharedStateVarLink.h"
#include "StateSlot.h"

// Common base of the composition operators Rep and Join: child models, the
// composer's own named shared variables (each holding the single storage of
// the child variables it stands for), the flat action and group arrays of
// the whole subtree, and the shared block of the state vector.
//
// Build order (generated composed models): construct; create the children
// into `Children`; SetupActions(); then, unless AllChildrenEmpty(), for each
// shared variable in declared order create it, addSharedPtr() it, share it
// with the children's variables and addSharingInfo() each of them; finally
// the subclass's Setup(), which calls GeneralSetup(). GeneralSetup fixes the
// state layout of the whole subtree, so the state operations may be used
// only after it.
//
// Chains: each composer owns every node of its `SharedLinks` chains. The
// chain of a child composer is copied node by node, not linked in, so that a
// composer never changes a child's chain and the chains can be released by
// the composer that holds them.
//
// Kept state: each composer keeps the state it last read and, once firings
// are reported (see BaseModelClass::ReportFiring), reads back only the
// children that reports named and sets only the children whose part of the
// vector differs from what they hold.
class BaseComposerClass : public BaseModelClass {
 public:
  // `Children` is allocated with new[] (numChildren entries, all null) and
  // released with delete[] by this class; a subclass that installs its own
  // child array must allocate it the same way.
  BaseComposerClass(const char* name, int numChildren, int numShared, const char* const* sharedNames);
  ~BaseComposerClass() override;

  void addSharedPtr(BaseStateVariableClass* sv, const char* VarName);
  void addSharingInfo(BaseStateVariableClass* childVar, BaseStateVariableClass* sharedVar, BaseModelClass* model);
  void SetupActions();
  void GeneralSetup();
  bool AllChildrenEmpty();

  int SharedStateSize();
  // Write or load the shared block: each stored shared variable in SharedPtrs
  // order at the running position.
  void CurrentSharedState(void* dest);
  // Loads the block and, since the state operations did not, tells the
  // kept states above that it changed.
  void SetSharedState(void* src);

  bool CompareState(void* a, void* b) override;
  void listModels(const char* name, List<BaseModelClass>* out) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  void printState(std::ostream* out) override;
  using BaseModelClass::printState;
  BaseStateVariableClass** GetSharedStateVariables() override { return SharedPtrs; }
  BaseStateVariableClass* getMainSharedVariable(BaseStateVariableClass* sv) override;
  SharedStateVarLink* getListOfSharedVariables(BaseStateVariableClass* sv) override;
  void PrepareStateLayout() override;
  // Each child's entries, at its offset in this composer's state.
  void listReplicas(std::size_t offset, int firstAction, std::vector<Replicas>& out) override;

  void printAllSharedVariables();
  static int Hash(char const* s, int n);

  BaseModelClass** Children = nullptr;
  int NumChildren = 0;
  BaseStateVariableClass** SharedPtrs = nullptr;
  SharedStateVarLink** SharedLinks = nullptr;
  // Per shared variable, the child variables registered for it, in
  // registration order (a variable registered twice appears twice).
  std::vector<std::vector<BaseStateVariableClass*>> SharedChildVars;
  char** SharedStateNames = nullptr;
  int AddedSharedPtrs = 0;
  int CachedStateSize = 0;

 protected:
  void visitSubtree(const std::function<void(BaseModelClass&)>& f) override;
  void appendStoredCells(std::vector<const void*>& out) override;
  void childStateChanged(int index) override {
    if (childDirty_[static_cast<std::size_t>(index)]) return;
    childDirty_[static_cast<std::size_t>(index)] = 1;
    dirtyChildren_.push_back(index);
  }
  void ownStateChanged() override { sharedDirty_ = true; }
  void resetStateCache(bool tracking) override;
  void loadSharedState(const char* src);
  // Whether child c already holds `part` (its part of a vector being set),
  // given `kept`, its part of the state last read.
  bool childHolds(int c, const char* part, const char* kept, std::size_t size) {
    return !childDirty_[static_cast<std::size_t>(c)] && sameBytes(part, kept, size) &&
           (!composerChild_[static_cast<std::size_t>(c)] || childArranged(c));
  }
  bool childArranged(int c) { return Children[c]->arrangedAsRead(); }
  // Whether the kept state may stand in for the parts no report named.
  bool trusted() const { return tracking_ && cacheValid_; }
  void clearDirty() {
    for (int c : dirtyChildren_) childDirty_[static_cast<std::size_t>(c)] = 0;
    dirtyChildren_.clear();
    sharedDirty_ = false;
  }

  // Subclass part of PrepareStateLayout, run after the children's layouts
  // and the shared block are known; returns the composer's state size.
  virtual int prepareOwnLayout() = 0;
  void ensureLayout() {
    if (!layoutReady_) PrepareStateLayout();
  }
  // Precondition of the child queries: every child slot has been filled.
  void requireChildren() const;

  int numSharedNames_ = 0;
  // The chain of variables a child composer's variable stands for, or null.
  SharedStateVarLink* chainBelow(
      BaseStateVariableClass* childVar);  // entries of SharedStateNames, whatever NumSharedStateVariables becomes
  std::vector<StateSlot> sharedSlots_;    // stored shared variables, in SharedPtrs order
  int sharedStateSize_ = 0;
  bool layoutReady_ = false;

  // The state as last read (subclass layout), and what changed since: the
  // children named by reports or set since (dirtyChildren_ in report order,
  // childDirty_ by child) and the shared block.
  std::vector<char> cache_;
  std::vector<int> dirtyChildren_;
  std::vector<char> childDirty_;
  std::vector<char> composerChild_;  // by child: whether it is a composer
  bool sharedDirty_ = false;
  bool cacheValid_ = false;

 private:
  std::vector<SharedStateVarLink*> sharedTails_;  // last node of each SharedLinks chain
  // The child composers, and which of them shares each variable it shares
  // itself; built on the first registration after SetupActions.
  std::vector<BaseComposerClass*> composerChildren_;
  std::unordered_map<BaseStateVariableClass*, BaseComposerClass*> childSharedOwner_;
  bool childIndexReady_ = false;
};

#endif
