#include "BaseModelClass.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "BaseActionClass.h"
#include "BaseStateVariableClass.h"
#include "GenAssert.h"
#include "StandardErrors.h"

namespace {
// Reports an operation the concrete model class does not support.
[[noreturn]] void unsupported() { genAssertFail("false", "BaseModelClass"); }
}  // namespace

BaseModelClass::BaseModelClass() = default;

BaseModelClass::~BaseModelClass() { std::free(Name); }

void BaseModelClass::DefineName(const char* name) {
  const char* source = name ? name : "";
  std::size_t length = std::strlen(source);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) MemoryAllocationError();
  std::memcpy(copy, source, length + 1);
  std::free(Name);
  Name = copy;
}

void BaseModelClass::printState(std::ostream* out) { (void)out; }

void BaseModelClass::printState() { printState(&std::cout); }

BaseStateVariableClass** BaseModelClass::GetLocalStateVariables(std::ostream* out) {
  (void)out;
  return nullptr;
}

BaseStateVariableClass** BaseModelClass::GetSharedStateVariables() { return nullptr; }

BaseStateVariableClass* BaseModelClass::getMainSharedVariable(BaseStateVariableClass* sv) {
  (void)sv;
  return nullptr;
}

SharedStateVarLink* BaseModelClass::getListOfSharedVariables(BaseStateVariableClass* sv) {
  (void)sv;
  return nullptr;
}

void BaseModelClass::AddAffectArc(BaseStateVariableClass* sv, BaseActionClass* a) {
  sv->appendAffectingAction(a);
  a->addAffectedSV(sv);
}

void BaseModelClass::AddEnableArc(BaseStateVariableClass* sv, BaseActionClass* a) {
  sv->appendEnabledAction(a);
  a->addEnablingSV(sv);
}

int BaseModelClass::GetModelType() { unsupported(); }

int BaseModelClass::GetNumberOfChildren() { unsupported(); }

BaseModelClass* BaseModelClass::GetChild(int i) {
  (void)i;
  unsupported();
}

void BaseModelClass::GetLocalActions(std::forward_list<BaseActionClass*>& out) {
  (void)out;
  unsupported();
}

void BaseModelClass::GetGlobalActions(std::forward_list<BaseActionClass*>& out) {
  (void)out;
  unsupported();
}

bool BaseModelClass::HasLocalState() { unsupported(); }

void BaseModelClass::GetLocalState(State* s) {
  (void)s;
  unsupported();
}

void BaseModelClass::SetLocalState(State const* s) {
  (void)s;
  unsupported();
}

void BaseModelClass::ConstructLocalState(State*& s) {
  (void)s;
  unsupported();
}

void BaseModelClass::DestructLocalState(State* s) {
  (void)s;
  unsupported();
}

// ------------------------------------------------------- change reporting

void BaseModelClass::beginTracking() {
  // Which model writes each stored place's cell, so that a firing can also
  // mark the composers holding the shared places its model changes.
  CellHolders holders;
  std::vector<const void*> cells;
  visitSubtree([&](BaseModelClass& m) {
    cells.clear();
    m.appendStoredCells(cells);
    for (const void* cell : cells) holders.emplace(cell, &m);
  });
  visitSubtree([&](BaseModelClass& m) {
    m.holdersKnown_ = m.findCellHolders(holders);
    m.resetStateCache(true);
    m.trackingRoot_ = this;
    m.reportMarks_.clear();
    if (!m.holdersKnown_) return;
    addPathMarks(&m, m.reportMarks_);
    for (BaseModelClass* holder : m.cellHolders_) {
      std::pair<BaseModelClass*, int> own{holder, -1};
      if (std::find(m.reportMarks_.begin(), m.reportMarks_.end(), own) == m.reportMarks_.end())
        m.reportMarks_.push_back(own);
      addPathMarks(holder, m.reportMarks_);
    }
  });
}

void BaseModelClass::addPathMarks(BaseModelClass* from, std::vector<std::pair<BaseModelClass*, int>>& marks) {
  for (BaseModelClass* m = from; m != this && m->parent_; m = m->parent_) {
    std::pair<BaseModelClass*, int> mark{m->parent_, m->indexInParent_};
    if (std::find(marks.begin(), marks.end(), mark) == marks.end()) marks.push_back(mark);
  }
}

void BaseModelClass::ReportFiring(BaseActionClass* action) {
  if (!tracking_) beginTracking();
  BaseModelClass* owner = action ? action->OwningModel : nullptr;
  if (!owner || owner->trackingRoot_ != this || !owner->holdersKnown_) {
    ForgetCachedState();
    return;
  }
  for (const auto& [model, child] : owner->reportMarks_) {
    if (child < 0)
      model->ownStateChanged();
    else
      model->childStateChanged(child);
  }
}

void BaseModelClass::ForgetCachedState() {
  visitSubtree([](BaseModelClass& m) { m.resetStateCache(m.tracking_); });
}

void BaseModelClass::reportStateChanged(bool own) {
  if (own) ownStateChanged();
  for (BaseModelClass* m = this; m->parent_; m = m->parent_) m->parent_->childStateChanged(m->indexInParent_);
}
