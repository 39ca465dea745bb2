#include "Rep.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "GenAssert.h"
#include "GenError.h"
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
  if (numReplicas < 0) throw GenError(std::string("Number of reps for ") + (name ? name : "") + " must be >= 0.");
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
  freshSlice_.assign(static_cast<std::size_t>(ReplicaStateSize > 0 ? ReplicaStateSize : 1), 0);
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

namespace {

// Offset of the first byte at or after `from` where a and b differ, or len.
// Equal stretches are skipped a block at a time.
std::size_t firstDifference(const char* a, const char* b, std::size_t from, std::size_t len) {
  constexpr std::size_t kBlock = 256;
  // Word by word; in a little-endian word the first differing byte is the
  // lowest differing one.
  auto withinWords = [a, b, len](std::size_t at) {
    if constexpr (std::endian::native == std::endian::little) {
      for (; at + sizeof(std::uint64_t) <= len; at += sizeof(std::uint64_t)) {
        std::uint64_t x, y;
        std::memcpy(&x, a + at, sizeof x);
        std::memcpy(&y, b + at, sizeof y);
        if (x != y) return at + static_cast<std::size_t>(__builtin_ctzll(x ^ y)) / 8;
      }
    }
    while (at < len && a[at] == b[at]) at++;
    return at;
  };
  if (len - from <= 32) return withinWords(from);  // a short run: no library call
  while (from < len) {
    const std::size_t chunk = std::min(kBlock, len - from);
    if (std::memcmp(a + from, b + from, chunk) != 0) return withinWords(from);
    from += chunk;
  }
  return len;
}

}  // namespace

// SortBuffer holds each replica's state as last read, in child order; the
// kept state holds the same slices in ascending order, then the shared
// block. A replica that changed leaves its old slice's place in the sorted
// run and enters at its new one, so a firing costs a few comparisons and one
// move of the slices between the two places.
void Rep::readAllReplicas() {
  const int n = NumChildren;
  const int L = ReplicaStateSize;
  std::memset(SortBuffer, 0, static_cast<std::size_t>(n) * static_cast<std::size_t>(L));
  for (int i = 0; i < n; i++) Children[i]->CurrentState(SortBuffer + static_cast<std::ptrdiff_t>(i) * L);
  sortReplicas();
}

void Rep::sortReplicas() {
  const int n = NumChildren;
  const int L = ReplicaStateSize;
  for (int i = 0; i < n; i++) slices_[static_cast<std::size_t>(i)] = SortBuffer + static_cast<std::ptrdiff_t>(i) * L;
  if (n > 1) ResortSlices(slices_.data(), scratch_.data(), n, L);
  char* out = cache_.data();
  for (int i = 0; i < n; i++) {
    std::memcpy(out, slices_[static_cast<std::size_t>(i)], static_cast<std::size_t>(L));
    out += L;
  }
}

int Rep::lowerBound(const char* slice) const {
  // First position of the sorted run whose slice is not below `slice`; a
  // short run is scanned, a long one halved.
  const std::size_t L = static_cast<std::size_t>(ReplicaStateSize);
  const char* sorted = cache_.data();
  int lo = 0;
  int hi = NumChildren;
  if (hi <= 8) {
    while (lo < hi && compareBytes(sorted + static_cast<std::size_t>(lo) * L, slice, L) < 0) lo++;
    return lo;
  }
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (compareBytes(sorted + static_cast<std::size_t>(mid) * L, slice, L) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

bool Rep::replaceSorted(const char* before, const char* after) {
  const std::size_t L = static_cast<std::size_t>(ReplicaStateSize);
  char* sorted = cache_.data();
  const int from = lowerBound(before);
  if (from >= NumChildren || !sameBytes(sorted + static_cast<std::size_t>(from) * L, before, L))
    return false;  // the run does not hold the old slice: it must be rebuilt
  const int to = lowerBound(after);
  if (to > from) {
    // Larger than before: the slices in between move down one place.
    copyBytes(sorted + static_cast<std::size_t>(from) * L, sorted + static_cast<std::size_t>(from + 1) * L,
              static_cast<std::size_t>(to - 1 - from) * L);
    copyBytes(sorted + static_cast<std::size_t>(to - 1) * L, after, L);
  } else {
    copyBytes(sorted + static_cast<std::size_t>(to + 1) * L, sorted + static_cast<std::size_t>(to) * L,
              static_cast<std::size_t>(from - to) * L);
    copyBytes(sorted + static_cast<std::size_t>(to) * L, after, L);
  }
  return true;
}

void Rep::CurrentState(void* dest) {
  GEN_ASSERT(dest, "new_location", "Rep");
  ensureLayout();
  const int n = NumChildren;
  if (n == 0) return;
  const int L = ReplicaStateSize;
  char* replicaStates = cache_.data();
  char* sharedBlock = replicaStates + static_cast<std::ptrdiff_t>(n) * L;
  if (!trusted()) {
    readAllReplicas();
    CurrentSharedState(sharedBlock);
    cacheValid_ = true;
  } else {
    // Moving each changed slice costs up to a pass over the run; when many
    // replicas changed, one sort is cheaper.
    const std::size_t changed = dirtyChildren_.size();
    bool resort = changed > 8 && changed * 4 > static_cast<std::size_t>(n);
    for (int c : dirtyChildren_) {
      char* held = SortBuffer + static_cast<std::ptrdiff_t>(c) * L;
      char* fresh = freshSlice_.data();
      std::memset(fresh, 0, static_cast<std::size_t>(L));
      Children[c]->CurrentState(fresh);
      if (sameBytes(fresh, held, static_cast<std::size_t>(L))) continue;
      if (!resort && !replaceSorted(held, fresh)) resort = true;
      copyBytes(held, fresh, static_cast<std::size_t>(L));
    }
    if (resort) sortReplicas();
    if (sharedDirty_) CurrentSharedState(sharedBlock);
  }
  clearDirty();
  copyBytes(static_cast<char*>(dest), replicaStates, static_cast<std::size_t>(CachedStateSize));
}

void Rep::SetState(void* src) {
  ensureLayout();
  const int n = NumChildren;
  if (n == 0) return;
  const int L = ReplicaStateSize;
  char* in = static_cast<char*>(src);
  char* sharedIn = in + static_cast<std::ptrdiff_t>(n) * L;
  if (!trusted()) {
    for (int i = 0; i < n; i++) Children[i]->SetState(in + static_cast<std::ptrdiff_t>(i) * L);
    loadSharedState(sharedIn);
    return;
  }
  // Replica i takes slice i, as always (the order of the replicas' actions
  // depends on it); only replicas that changed since they were read or whose
  // slice differs from what they hold are set, and read back next time.
  for (int c : dirtyChildren_) Children[c]->SetState(in + static_cast<std::ptrdiff_t>(c) * L);
  const std::size_t total = static_cast<std::size_t>(n) * static_cast<std::size_t>(L);
  if (composerChild_[0]) {
    // Replicas that are composers may hold their parts in another order
    // than they read them back: each one decides for itself.
    for (int c = 0; c < n; c++) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(c) * L;
      if (childDirty_[static_cast<std::size_t>(c)] ||
          childHolds(c, in + at, SortBuffer + at, static_cast<std::size_t>(L)))
        continue;
      Children[c]->SetState(in + at);
      childStateChanged(c);
    }
  }
  for (std::size_t at = firstDifference(in, SortBuffer, 0, total); at < total;
       at = firstDifference(in, SortBuffer, at, total)) {
    const int c = static_cast<int>(at / static_cast<std::size_t>(L));
    if (!childDirty_[static_cast<std::size_t>(c)]) {
      Children[c]->SetState(in + static_cast<std::ptrdiff_t>(c) * L);
      childStateChanged(c);
    }
    at = static_cast<std::size_t>(c + 1) * static_cast<std::size_t>(L);
  }
  const char* keptShared = cache_.data() + total;
  if (sharedDirty_ || !sameBytes(sharedIn, keptShared, static_cast<std::size_t>(sharedStateSize_))) {
    loadSharedState(sharedIn);
    sharedDirty_ = true;
  }
}

bool Rep::arrangedAsRead() {
  if (!trusted() || !dirtyChildren_.empty() || sharedDirty_) return false;
  const int n = NumChildren;
  if (n == 0) return true;
  // Replica i holds the i-th slice of the sorted run.
  if (!sameBytes(SortBuffer, cache_.data(), static_cast<std::size_t>(n) * static_cast<std::size_t>(ReplicaStateSize)))
    return false;
  if (composerChild_[0])
    for (int c = 0; c < n; c++)
      if (!childArranged(c)) return false;
  return true;
}

void Rep::listReplicas(std::size_t offset, int firstAction, std::vector<Replicas>& out) {
  BaseComposerClass::listReplicas(offset, firstAction, out);
  const int n = NumChildren;
  if (n < 2 || !Children[0]) return;
  const int actions = Children[0]->NumActions;
  // Replicas are built alike; if one is not, the Rep lists nothing.
  for (int c = 1; c < n; c++)
    if (!Children[c] || Children[c]->NumActions != actions || Children[c]->StateSize() != ReplicaStateSize) return;
  out.push_back(Replicas{firstAction, actions, n, offset, static_cast<std::size_t>(ReplicaStateSize)});
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
