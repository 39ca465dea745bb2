#ifndef JOIN_H
#define JOIN_H

#include <cstddef>
#include <vector>

#include "BaseComposerClass.h"
#include "ByteState.h"

// A fixed list of possibly different child models interacting through
// shared variables. State: the children's states in child order, then the
// Join's shared block; the child offsets are fixed when the layout is.
class Join : public BaseComposerClass {
 public:
  // The block of shared variables the Join stores itself.
  class LocalState : public ByteState {
   public:
    explicit LocalState(BaseModelClass const* m);
    using ByteState::operator=;
    void SetState(BaseModelClass const* m) override;
    void GetState(BaseModelClass const* m) override;
  };

  Join(const char* name, int numChildren, int numShared, const char* const* sharedNames);
  ~Join() override;

  void Setup();

  int StateSize() override;
  void CurrentState(void* dest) override;
  void SetState(void* src) override;
  int GetModelType() override { return 2; }
  int GetNumberOfChildren() override { return NumChildren; }
  BaseModelClass* GetChild(int i) override;
  bool HasLocalState() override;
  void GetLocalState(State* s) override;
  void SetLocalState(State const* s) override;
  void ConstructLocalState(State*& s) override;
  void DestructLocalState(State* s) override;

  // Each child's StateSize(), one entry per child (allocated by the
  // constructor, filled when the layout is fixed).
  int* ChildStateSizes = nullptr;

 protected:
  int prepareOwnLayout() override;
  bool arrangedAsRead() override;

 private:
  int childStatesSize_ = 0;                // sum of ChildStateSizes: offset of the shared block
  std::vector<std::size_t> childOffsets_;  // where each child's state starts
};

#endif
