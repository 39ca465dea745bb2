#ifndef REP_H
#define REP_H

#include <vector>

#include "BaseComposerClass.h"
#include "ByteState.h"

// N interchangeable replicas of one child model with variables shared by all
// of them. The state lists the replica states in ascending order of their
// bytes (compared unsigned), so markings that differ only by which replica
// is in which local state give the same vector; the Rep's shared block
// follows.
//
// CurrentState re-sorts a table of pointers into SortBuffer. Replicas are
// loaded in sorted order by SetState, and one action changes at most one
// replica, so a single displaced entry is repaired in linear time; when more
// than one entry is out of place a stable merge sort over the same table
// takes over. All buffers are sized when the layout is fixed (Setup).
class Rep : public BaseComposerClass {
 public:
  // The block of shared variables the Rep stores itself.
  class LocalState : public ByteState {
   public:
    explicit LocalState(BaseModelClass const* m);
    using ByteState::operator=;
    void SetState(BaseModelClass const* m) override;
    void GetState(BaseModelClass const* m) override;
  };

  // A negative replica count ends the process with exit status 1.
  Rep(const char* name, int numReplicas, int numShared, const char* const* sharedNames);
  ~Rep() override;

  void Setup(const char* replicaName);

  int StateSize() override;
  void CurrentState(void* dest) override;
  void SetState(void* src) override;
  int GetModelType() override { return 3; }
  int GetNumberOfChildren() override { return NumChildren; }
  BaseModelClass* GetChild(int i) override;
  bool HasLocalState() override;
  void GetLocalState(State* s) override;
  void SetLocalState(State const* s) override;
  void ConstructLocalState(State*& s) override;
  void DestructLocalState(State* s) override;

  // Puts the table p of n slices of sliceSize bytes into ascending order
  // (bytes compared unsigned, equal slices keep their relative order). The
  // single displaced entry is repaired in linear time; when that does not
  // restore the order, a stable merge sort using `scratch` (n entries)
  // finishes the job. Returns the position (before the repair) of the entry
  // the repair moved, -1 when the table was already sorted; *fullSort tells
  // whether the merge sort was needed.
  static int ResortSlices(char** p, char** scratch, int n, int sliceSize, bool* fullSort = nullptr);

  int ReplicaStateSize = 0;
  char* SortBuffer = nullptr;

 protected:
  int prepareOwnLayout() override;

 private:
  static int checkedReplicaCount(const char* name, int numReplicas);

  int sortBufferSize_ = 0;
  std::vector<char*> slices_;   // P: replica slices of SortBuffer in state-vector order
  std::vector<char*> scratch_;  // merge-sort workspace, same length as slices_
};

#endif
