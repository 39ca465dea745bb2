#include "BaseComposerClass.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "BaseActionClass.h"
#include "BaseGroupClass.h"
#include "BaseStateVariableClass.h"
#include "GenAssert.h"
#include "StandardErrors.h"

namespace {

template <class T>
T* allocateArray(int n) {
  T* array = new (std::nothrow) T[n > 0 ? n : 1]();
  if (!array) MemoryAllocationError();
  return array;
}

char* copyName(const char* name) {
  const char* source = name ? name : "";
  std::size_t length = std::strlen(source);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) MemoryAllocationError();
  std::memcpy(copy, source, length + 1);
  return copy;
}

}  // namespace

BaseComposerClass::BaseComposerClass(const char* name, int numChildren, int numShared, const char* const* sharedNames) {
  DefineName(name);
  NumChildren = numChildren > 0 ? numChildren : 0;
  // Without children there is nothing to share.
  NumSharedStateVariables = (NumChildren >= 1 && numShared > 0) ? numShared : 0;
  Children = allocateArray<BaseModelClass*>(NumChildren);
  SharedPtrs = allocateArray<BaseStateVariableClass*>(NumSharedStateVariables);
  SharedLinks = allocateArray<SharedStateVarLink*>(NumSharedStateVariables);
  SharedChildVars.resize(static_cast<std::size_t>(NumSharedStateVariables));
  SharedStateNames = allocateArray<char*>(NumSharedStateVariables);
  numSharedNames_ = NumSharedStateVariables;
  for (int i = 0; i < NumSharedStateVariables; i++)
    SharedStateNames[i] = copyName(sharedNames ? sharedNames[i] : nullptr);
  NumActions = 0;
  NumGroups = 0;
  AddedSharedPtrs = 0;
}

BaseComposerClass::~BaseComposerClass() {
  delete[] Children;
  if (SharedStateNames) {
    for (int i = 0; i < numSharedNames_; i++) std::free(SharedStateNames[i]);
  }
  delete[] SharedStateNames;
  // NumSharedStateVariables may have been set to 0 after construction (empty
  // children); the chains can only exist below AddedSharedPtrs, which never
  // exceeds the declared count.
  if (SharedLinks) {
    for (int i = 0; i < AddedSharedPtrs; i++) SharedStateVarLink::clearStateVarList(SharedLinks[i]);
  }
  delete[] SharedLinks;
  delete[] SharedPtrs;
  delete[] Actions;
  delete[] Groups;
}

void BaseComposerClass::requireChildren() const {
  for (int i = 0; i < NumChildren; i++) GEN_ASSERT(Children[i], "Children[i]", "BaseComposerClass");
}

// --------------------------------------------------------------- sharing

void BaseComposerClass::addSharedPtr(BaseStateVariableClass* sv, const char* VarName) {
  GEN_ASSERT(AddedSharedPtrs < NumSharedStateVariables, "AddedSharedPtrs < NumSharedStateVariables",
             "BaseComposerClass");
  GEN_ASSERT(VarName && 0 == std::strcmp(VarName, SharedStateNames[AddedSharedPtrs]),
             "0 == strcmp(VarName, SharedStateNames[AddedSharedPtrs])", "BaseComposerClass");
  SharedPtrs[AddedSharedPtrs] = sv;
  AddedSharedPtrs++;
  layoutReady_ = false;
}

void BaseComposerClass::addSharingInfo(BaseStateVariableClass* childVar, BaseStateVariableClass* sharedVar,
                                       BaseModelClass* model) {
  int VarIndex = -1;
  for (int i = 0; i < AddedSharedPtrs; i++)
    if (SharedPtrs[i] == sharedVar) VarIndex = i;
  GEN_ASSERT(VarIndex != -1, "VarIndex != -1", "BaseComposerClass");

  SharedChildVars[static_cast<std::size_t>(VarIndex)].push_back(childVar);

  // The chain gets the child variable, then a copy of every variable that
  // the child variable itself stands for one level further down. The tail of
  // each chain is kept, so a shared variable of many thousand copies is
  // registered in time linear in their number.
  if (sharedTails_.size() != static_cast<std::size_t>(NumSharedStateVariables))
    sharedTails_.assign(static_cast<std::size_t>(NumSharedStateVariables), nullptr);
  SharedStateVarLink*& head = SharedLinks[VarIndex];
  SharedStateVarLink*& tail = sharedTails_[static_cast<std::size_t>(VarIndex)];
  if (!tail) tail = head;
  while (tail && tail->Next) tail = tail->Next;
  auto append = [&](BaseStateVariableClass* sv, BaseModelClass* m) {
    SharedStateVarLink* link = new (std::nothrow) SharedStateVarLink(sv, m);
    if (!link) MemoryAllocationError();
    if (tail)
      tail->Next = link;
    else
      head = link;
    tail = link;
  };
  append(childVar, model);
  for (SharedStateVarLink* l = chainBelow(childVar); l; l = l->Next) append(l->StateVar, l->Model);
  layoutReady_ = false;
}

SharedStateVarLink* BaseComposerClass::chainBelow(BaseStateVariableClass* childVar) {
  // Only a child composer can hold a chain: the variables it shares itself
  // are indexed once, anything deeper is searched for through the child
  // composers (atomic children have no chains).
  if (!childIndexReady_) {
    childSharedOwner_.clear();
    composerChildren_.clear();
    for (int c = 0; c < NumChildren; c++) {
      auto* composer = dynamic_cast<BaseComposerClass*>(Children[c]);
      if (!composer) continue;
      composerChildren_.push_back(composer);
      for (int i = 0; i < composer->AddedSharedPtrs; i++) childSharedOwner_.emplace(composer->SharedPtrs[i], composer);
    }
    childIndexReady_ = true;
  }
  auto found = childSharedOwner_.find(childVar);
  if (found != childSharedOwner_.end()) return found->second->getListOfSharedVariables(childVar);
  for (BaseComposerClass* composer : composerChildren_)
    if (SharedStateVarLink* chain = composer->getListOfSharedVariables(childVar)) return chain;
  return nullptr;
}

// ------------------------------------------------------------ structure

void BaseComposerClass::SetupActions() {
  requireChildren();
  childIndexReady_ = false;
  int numActions = 0;
  int numGroups = 0;
  for (int c = 0; c < NumChildren; c++) {
    numActions += Children[c]->NumActions;
    numGroups += Children[c]->NumGroups;
  }
  delete[] Actions;
  delete[] Groups;
  Actions = allocateArray<BaseActionClass*>(numActions);
  Groups = allocateArray<BaseGroupClass*>(numGroups);
  NumActions = numActions;
  NumGroups = numGroups;

  int a = 0;
  int g = 0;
  for (int c = 0; c < NumChildren; c++) {
    BaseModelClass* child = Children[c];
    for (int k = 0; k < child->NumActions; k++) Actions[a++] = child->Actions[k];
    for (int k = 0; k < child->NumGroups; k++) {
      // A group's number is its position in the flat array; every enclosing
      // composer numbers again, so the root's numbering is the final one.
      Groups[g] = child->Groups[k];
      Groups[g]->setGroupId(g);
      g++;
    }
  }
}

void BaseComposerClass::GeneralSetup() {
  requireChildren();
  // All sharing of this subtree is in place now: fix the layout of every
  // model below before any size is taken.
  PrepareStateLayout();
  int total = 0;
  for (int c = 0; c < NumChildren; c++) total += Children[c]->getNumStateVariables();
  for (const auto& list : SharedChildVars) total -= static_cast<int>(list.size());
  NumStateVariables = total + NumSharedStateVariables;
  CachedStateSize = StateSize();
}

bool BaseComposerClass::AllChildrenEmpty() {
  requireChildren();
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]->getNumStateVariables() >= 1) return false;
  return true;
}

// ------------------------------------------------------------------ state

void BaseComposerClass::PrepareStateLayout() {
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->PrepareStateLayout();
  sharedSlots_.clear();
  sharedStateSize_ = 0;
  int registered = AddedSharedPtrs < NumSharedStateVariables ? AddedSharedPtrs : NumSharedStateVariables;
  for (int i = 0; i < registered; i++) {
    BaseStateVariableClass* sv = SharedPtrs[i];
    if (!sv->getStored()) continue;
    sharedSlots_.push_back(StateSlot::of(sv));
    sharedStateSize_ += sharedSlots_.back().size;
  }
  layoutReady_ = true;
  CachedStateSize = prepareOwnLayout();
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->setParent(this, c);
  cache_.assign(static_cast<std::size_t>(CachedStateSize > 0 ? CachedStateSize : 1), 0);
  childDirty_.assign(static_cast<std::size_t>(NumChildren), 0);
  composerChild_.assign(static_cast<std::size_t>(NumChildren), 0);
  for (int c = 0; c < NumChildren; c++)
    composerChild_[static_cast<std::size_t>(c)] = dynamic_cast<BaseComposerClass*>(Children[c]) != nullptr;
  dirtyChildren_.clear();
  dirtyChildren_.reserve(static_cast<std::size_t>(NumChildren));
  sharedDirty_ = false;
  resetStateCache(false);
}

void BaseComposerClass::resetStateCache(bool tracking) {
  tracking_ = tracking;
  cacheValid_ = false;
  clearDirty();
}

void BaseComposerClass::visitSubtree(const std::function<void(BaseModelClass&)>& f) {
  f(*this);
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->visitSubtree(f);
}

void BaseComposerClass::appendStoredCells(std::vector<const void*>& out) {
  ensureLayout();
  for (const StateSlot& s : sharedSlots_)
    if (auto* place = dynamic_cast<SharableSV<short>*>(s.sv)) out.push_back(place->getValuePtr());
}

int BaseComposerClass::SharedStateSize() {
  ensureLayout();
  return sharedStateSize_;
}

void BaseComposerClass::CurrentSharedState(void* dest) {
  ensureLayout();
  char* p = static_cast<char*>(dest);
  for (const StateSlot& s : sharedSlots_) {
    s.write(p);
    p += s.size;
  }
}

void BaseComposerClass::SetSharedState(void* src) {
  ensureLayout();
  loadSharedState(static_cast<char*>(src));
  // Set from outside the state operations: the kept block no longer holds.
  reportStateChanged(true);
}

void BaseComposerClass::loadSharedState(const char* src) {
  for (const StateSlot& s : sharedSlots_) {
    s.read(const_cast<char*>(src));
    src += s.size;
  }
}

bool BaseComposerClass::CompareState(void* a, void* b) {
  ensureLayout();
  return std::memcmp(a, b, static_cast<std::size_t>(CachedStateSize)) == 0;
}

// ---------------------------------------------------------------- queries

void BaseComposerClass::listModels(const char* name, List<BaseModelClass>* out) {
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->listModels(name, out);
}

void BaseComposerClass::listActions(List<BaseActionClass>* out) {
  for (int i = 0; i < NumActions; i++) out->append(Actions[i]);
}

void BaseComposerClass::listReplicas(std::size_t offset, int firstAction, std::vector<Replicas>& out) {
  ensureLayout();
  // The children's parts come first, in child order, as do their actions.
  for (int c = 0; c < NumChildren; c++) {
    if (!Children[c]) return;
    Children[c]->listReplicas(offset, firstAction, out);
    offset += static_cast<std::size_t>(Children[c]->StateSize());
    firstAction += Children[c]->NumActions;
  }
}

void BaseComposerClass::listGroups(List<BaseGroupClass>* out) {
  for (int i = 0; i < NumGroups; i++) out->append(Groups[i]);
}

void BaseComposerClass::listActions(const char* name, List<BaseActionClass>* out) {
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->listActions(name, out);
}

void BaseComposerClass::listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                                List<BaseModelClass>* models) {
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->listSVs(modelName, svName, svs, models);
}

BaseStateVariableClass* BaseComposerClass::getMainSharedVariable(BaseStateVariableClass* sv) {
  for (int i = 0; i < AddedSharedPtrs; i++)
    if (SharedLinks[i] && SharedLinks[i]->hasStateVar(sv)) return SharedPtrs[i];
  for (int c = 0; c < NumChildren; c++) {
    if (!Children[c]) continue;
    if (BaseStateVariableClass* found = Children[c]->getMainSharedVariable(sv)) return found;
  }
  return nullptr;
}

SharedStateVarLink* BaseComposerClass::getListOfSharedVariables(BaseStateVariableClass* sv) {
  for (int i = 0; i < AddedSharedPtrs; i++)
    if (SharedPtrs[i] == sv) return SharedLinks[i];
  for (int c = 0; c < NumChildren; c++) {
    if (!Children[c]) continue;
    if (SharedStateVarLink* found = Children[c]->getListOfSharedVariables(sv)) return found;
  }
  return nullptr;
}

int BaseComposerClass::Hash(char const* s, int n) {
  // A modulus below 1 has no residues; refuse it rather than divide by zero.
  GEN_ASSERT(n > 0, "n > 0", "BaseComposerClass");
  std::uint32_t h = 0;
  for (const char* p = s; p && *p; ++p)
    h = h * 32u + static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(*p)));
  return static_cast<int>(h % static_cast<std::uint32_t>(n));
}

// ----------------------------------------------------------------- output

void BaseComposerClass::printState(std::ostream* out) {
  *out << "Model: (" << ModelId << ")" << (Name ? Name : "") << "\n";
  for (int c = 0; c < NumChildren; c++)
    if (Children[c]) Children[c]->printState(out);
  *out << "Shared Variables:"
       << "\n";
  int registered = AddedSharedPtrs < NumSharedStateVariables ? AddedSharedPtrs : NumSharedStateVariables;
  for (int i = 0; i < registered; i++) {
    if (!SharedPtrs[i]->getStored()) continue;
    *out << "  ";
    SharedPtrs[i]->printState(out);
  }
}

void BaseComposerClass::printAllSharedVariables() {
  std::cout << "Shared Variables for composer node " << (Name ? Name : "") << "\n";
  int registered = AddedSharedPtrs < NumSharedStateVariables ? AddedSharedPtrs : NumSharedStateVariables;
  for (int i = 0; i < registered; i++) {
    BaseStateVariableClass* sv = SharedPtrs[i];
    std::cout << "  Shared Variable " << i << " has name " << (sv->getName() ? sv->getName() : "") << " and address "
              << static_cast<const void*>(sv) << "\n";
    std::cout << "    And here is its list of equivalent variables:"
              << "\n";
    if (SharedLinks[i]) SharedLinks[i]->printAllStateVariables();
  }
  std::cout << "\n";
}
