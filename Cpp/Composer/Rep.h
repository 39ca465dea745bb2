#ifndef REP_H
#define REP_H

#include <vector>

#include "BaseComposerClass.h"
#include "ByteState.h"

// N interchangeable replicas of one child model with variables shared by all
// of them. The state lists the replica states in ascending order of their
// bytes (compared unsigned), so markings that differ only by which replica
// is in which local state give the same vector; the Rep's shared block
// follows. SetState gives replica i the i-th slice.
//
// The Rep keeps each replica's state as last read and the sorted run built
// from them. A full read sorts a table of pointers (ResortSlices); once
// firings are reported, a read takes back only the replicas that changed and
// moves each into its place in the kept run, and SetState sets only the
// replicas whose slice differs from what they hold. All buffers are sized
// when the layout is fixed (Setup).
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
  // Its own entry, after the replicas' entries.
  void listReplicas(std::size_t offset, int firstAction, std::vector<Replicas>& out) override;
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
  // The replicas' states as last read, in child order.
  char* SortBuffer = nullptr;

 protected:
  int prepareOwnLayout() override;
  bool arrangedAsRead() override;

 private:
  static int checkedReplicaCount(const char* name, int numReplicas);
  void readAllReplicas();
  // Rebuilds the kept sorted run from SortBuffer.
  void sortReplicas();
  int lowerBound(const char* slice) const;
  // Replaces one slice equal to `before` in the kept run by `after`, keeping
  // the run sorted; false when no slice equals `before`.
  bool replaceSorted(const char* before, const char* after);

  int sortBufferSize_ = 0;
  std::vector<char*> slices_;     // replica slices of SortBuffer, sorted by sortReplicas
  std::vector<char*> scratch_;    // merge-sort workspace, same length as slices_
  std::vector<char> freshSlice_;  // one replica's state being read back
};

#endif
