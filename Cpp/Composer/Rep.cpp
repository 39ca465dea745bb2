#include "Rep.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "GenError.h"
#include "GenAssert.h"
#include "StandardErrors.h"

namespace {

Rep* asRep(BaseModelClass const* m) {
  Rep* rep = dynamic_cast<Rep*>(const_cast<BaseModelClass*>(m));
  GEN_ASSERT(rep, "dynamic_cast<Rep*>(m)", "Rep");
  return rep;
}

}  // namespace

// ---------------------------------------------------------------- LocalState

Rep::LocalState::LocalState(BaseModelClass const* m) : ByteState(asRep(m)->SharedStateSize(), "Rep") {}

void Rep::LocalState::SetState(BaseModelClass const* m) { asRep(m)->SetSharedState(data); }

void Rep::LocalState::GetState(BaseModelClass const* m) { asRep(m)->CurrentSharedState(data); }

// ------------------------------------------------------------- construction

int Rep::checkedReplicaCount(const char* name, int numReplicas) {
  if (numReplicas < 0)
    throw GenError(std::string("Number of reps for ") + (name ? name : "") + " must be >= 0.");
  return numReplicas;
}

Rep::Rep(const char* name, int numReplicas, int numShared, const char* const* sharedNames)
    : BaseComposerClass(name, checkedReplicaCount(name, numReplicas), numShared, sharedNames) {}

Rep::~Rep() { delete[] SortBuffer; }

void Rep::Setup(const char* replicaName) {
  requireChildren();
  ReplicaStateSize = NumChildren > 0 ? Children[0]->StateSize() : 0;
  GeneralSetup();  // fixes the layout, sizing SortBuffer and the sort tables
  // All replicas carry one name, so a name query finds every one of them.
  for (int i = 0; i < NumChildren; i++) Children[i]->DefineName(replicaName);
}

int Rep::prepareOwnLayout() {
  int n = NumChildren;
  ReplicaStateSize = n > 0 && Children[0] ? Children[0]->StateSize() : 0;
  if (n == 0) return 0;
  int size = n * ReplicaStateSize + sharedStateSize_;
  if (sortBufferSize_ < size || !SortBuffer) {
    char* fresh = new (std::nothrow) char[size > 0 ? size : 1];
    if (!fresh) MemoryAllocationError();
    delete[] SortBuffer;
    SortBuffer = fresh;
    sortBufferSize_ = size;
  }
  slices_.assign(static_cast<std::size_t>(n), nullptr);
  scratch_.assign(static_cast<std::size_t>(n), nullptr);
  return size;
}

// -------------------------------------------------------------------- state

int Rep::StateSize() {
  ensureLayout();
  return CachedStateSize;
}

int Rep::ResortSlices(char** p, char** scratch, int n, int sliceSize, bool* fullSort) {
  // memcmp compares the bytes as unsigned values, which is the state order.
  const std::size_t L = static_cast<std::size_t>(sliceSize > 0 ? sliceSize : 0);
  auto above = [L](const char* a, const char* b) { return std::memcmp(a, b, L) > 0; };
  if (fullSort) *fullSort = false;

  int i = 0;
  while (i < n - 1 && !above(p[i], p[i + 1])) i++;
  if (i >= n - 1) return -1;  // already in order

  // Single-displacement repair: pick the entry that is out of place, take it
  // out and put it back after every entry that is not above it.
  int moved;
  if (i == 0)
    moved = 0;
  else if (i + 1 == n - 1)
    moved = n - 1;
  else if (above(p[i], p[i + 2]))
    moved = i;
  else
    moved = i + 1;

  char* entry = p[moved];
  for (int k = moved; k < n - 1; k++) p[k] = p[k + 1];
  int at = n - 1;
  for (int k = 0; k < n - 1; k++) {
    if (above(p[k], entry)) {
      at = k;
      break;
    }
  }
  for (int k = n - 1; k > at; k--) p[k] = p[k - 1];
  p[at] = entry;

  bool sorted = true;
  for (int k = 0; k < n - 1 && sorted; k++) sorted = !above(p[k], p[k + 1]);
  if (sorted) return moved;

  // More than one entry was out of place. Bottom-up stable merge sort over
  // the pointer table, alternating with the scratch table: no allocation.
  if (fullSort) *fullSort = true;
  char** from = p;
  char** to = scratch;
  for (int width = 1; width < n; width *= 2) {
    for (int lo = 0; lo < n; lo += 2 * width) {
      int mid = std::min(lo + width, n);
      int hi = std::min(lo + 2 * width, n);
      int a = lo, b = mid, k = lo;
      while (a < mid && b < hi) to[k++] = above(from[a], from[b]) ? from[b++] : from[a++];
      while (a < mid) to[k++] = from[a++];
      while (b < hi) to[k++] = from[b++];
    }
    std::swap(from, to);
  }
  if (from != p) std::copy(from, from + n, p);
  return moved;
}

void Rep::CurrentState(void* dest) {
  GEN_ASSERT(dest, "new_location", "Rep");
  ensureLayout();
  const int n = NumChildren;
  if (n == 0) return;
  const int L = ReplicaStateSize;
  std::memset(SortBuffer, 0, static_cast<std::size_t>(n) * static_cast<std::size_t>(L));
  for (int i = 0; i < n; i++) {
    char* slice = SortBuffer + static_cast<std::ptrdiff_t>(i) * L;
    Children[i]->CurrentState(slice);
    slices_[static_cast<std::size_t>(i)] = slice;
  }
  if (n > 1) ResortSlices(slices_.data(), scratch_.data(), n, L);
  char* out = static_cast<char*>(dest);
  for (int i = 0; i < n; i++) {
    std::memcpy(out, slices_[static_cast<std::size_t>(i)], static_cast<std::size_t>(L));
    out += L;
  }
  CurrentSharedState(out);
}

void Rep::SetState(void* src) {
  ensureLayout();
  const int n = NumChildren;
  if (n == 0) return;
  char* in = static_cast<char*>(src);
  for (int i = 0; i < n; i++) {
    Children[i]->SetState(in);
    in += ReplicaStateSize;
  }
  SetSharedState(in);
}

// ------------------------------------------------------------------ queries

BaseModelClass* Rep::GetChild(int i) {
  GEN_ASSERT(i >= 0, "i >= 0", "Rep");
  GEN_ASSERT(i < GetNumberOfChildren(), "i < GetNumberOfChildren()", "Rep");
  return Children[i];
}

bool Rep::HasLocalState() { return SharedStateSize() > 0; }

void Rep::GetLocalState(State* s) { s->GetState(this); }

void Rep::SetLocalState(State const* s) { const_cast<State*>(s)->SetState(this); }

void Rep::ConstructLocalState(State*& s) { s = new LocalState(this); }

void Rep::DestructLocalState(State* s) { delete s; }
