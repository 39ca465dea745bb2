#include "Join.h"

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
  for (int c = 0; c < NumChildren; c++) {
    ChildStateSizes[c] = Children[c] ? Children[c]->StateSize() : 0;
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
  char* p = static_cast<char*>(dest);
  for (int c = 0; c < NumChildren; c++) {
    Children[c]->CurrentState(p);
    p += ChildStateSizes[c];
  }
  CurrentSharedState(p);
}

void Join::SetState(void* src) {
  ensureLayout();
  char* p = static_cast<char*>(src);
  for (int c = 0; c < NumChildren; c++) {
    Children[c]->SetState(p);
    p += ChildStateSizes[c];
  }
  SetSharedState(p);
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
