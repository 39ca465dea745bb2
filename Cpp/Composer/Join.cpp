#include "Join.h"

#include <cstring>
#include <new>

#include "GenAssert.h"
#include "StandardErrors.h"

namespace {

Join* asJoin(BaseModelClass const* m) {
  Join* join = dynamic_cast<Join*>(const_cast<BaseModelClass*>(m));
  GEN_ASSERT(join, "dynamic_cast<Join*>(m)", "Join");
  return join;
}

}  // namespace

// ---------------------------------------------------------------- LocalState

Join::LocalState::LocalState(BaseModelClass const* m) : ByteState(asJoin(m)->SharedStateSize(), "Join") {}

void Join::LocalState::SetState(BaseModelClass const* m) { asJoin(m)->SetSharedState(data); }

void Join::LocalState::GetState(BaseModelClass const* m) { asJoin(m)->CurrentSharedState(data); }

// ------------------------------------------------------------- construction

Join::Join(const char* name, int numChildren, int numShared, const char* const* sharedNames)
    : BaseComposerClass(name, numChildren, numShared, sharedNames) {
  ChildStateSizes = new (std::nothrow) int[NumChildren > 0 ? NumChildren : 1]();
  if (!ChildStateSizes) MemoryAllocationError();
}

Join::~Join() { delete[] ChildStateSizes; }

void Join::Setup() { GeneralSetup(); }

int Join::prepareOwnLayout() {
  childStatesSize_ = 0;
  childOffsets_.assign(static_cast<std::size_t>(NumChildren), 0);
  for (int c = 0; c < NumChildren; c++) {
    ChildStateSizes[c] = Children[c] ? Children[c]->StateSize() : 0;
    childOffsets_[static_cast<std::size_t>(c)] = childStatesSize_;
    childStatesSize_ += ChildStateSizes[c];
  }
  return childStatesSize_ + sharedStateSize_;
}

// -------------------------------------------------------------------- state

int Join::StateSize() {
  ensureLayout();
  return CachedStateSize;
}

void Join::CurrentState(void* dest) {
  ensureLayout();
  char* kept = cache_.data();
  if (trusted()) {
    for (int c : dirtyChildren_) Children[c]->CurrentState(kept + childOffsets_[static_cast<std::size_t>(c)]);
    if (sharedDirty_) CurrentSharedState(kept + childStatesSize_);
  } else {
    for (int c = 0; c < NumChildren; c++) Children[c]->CurrentState(kept + childOffsets_[static_cast<std::size_t>(c)]);
    CurrentSharedState(kept + childStatesSize_);
    cacheValid_ = true;
  }
  clearDirty();
  copyBytes(static_cast<char*>(dest), kept, static_cast<std::size_t>(CachedStateSize));
}

void Join::SetState(void* src) {
  ensureLayout();
  char* in = static_cast<char*>(src);
  if (!trusted()) {
    for (int c = 0; c < NumChildren; c++) Children[c]->SetState(in + childOffsets_[static_cast<std::size_t>(c)]);
    loadSharedState(in + childStatesSize_);
    return;
  }
  // A child that changed since the last read is set whatever its part holds;
  // any other child only when its part differs from what it holds. What is
  // set is read back next time rather than trusted, since a child may read
  // back other bytes than it was given (a Rep sorts its replicas).
  const char* kept = cache_.data();
  for (int c : dirtyChildren_) Children[c]->SetState(in + childOffsets_[static_cast<std::size_t>(c)]);
  for (int c = 0; c < NumChildren; c++) {
    const std::size_t at = childOffsets_[static_cast<std::size_t>(c)];
    if (childDirty_[static_cast<std::size_t>(c)] ||
        childHolds(c, in + at, kept + at, static_cast<std::size_t>(ChildStateSizes[c])))
      continue;
    Children[c]->SetState(in + at);
    childStateChanged(c);
  }
  if (sharedDirty_ ||
      !sameBytes(in + childStatesSize_, kept + childStatesSize_, static_cast<std::size_t>(sharedStateSize_))) {
    loadSharedState(in + childStatesSize_);
    sharedDirty_ = true;
  }
}

bool Join::arrangedAsRead() {
  if (!trusted() || !dirtyChildren_.empty() || sharedDirty_) return false;
  for (int c = 0; c < NumChildren; c++)
    if (composerChild_[static_cast<std::size_t>(c)] && !childArranged(c)) return false;
  return true;
}

// ------------------------------------------------------------------ queries

BaseModelClass* Join::GetChild(int i) {
  GEN_ASSERT(i >= 0, "i >= 0", "Join");
  GEN_ASSERT(i < GetNumberOfChildren(), "i < GetNumberOfChildren()", "Join");
  return Children[i];
}

bool Join::HasLocalState() { return SharedStateSize() > 0; }

void Join::GetLocalState(State* s) { s->GetState(this); }

void Join::SetLocalState(State const* s) { const_cast<State*>(s)->SetState(this); }

void Join::ConstructLocalState(State*& s) { s = new LocalState(this); }

void Join::DestructLocalState(State* s) { delete s; }
