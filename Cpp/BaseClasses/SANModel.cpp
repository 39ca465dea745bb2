#include "SANModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <set>

#include "Activity.h"
#include "BaseGroupClass.h"
#include "BaseStateVariableClass.h"
#include "Place.h"
#include "StandardErrors.h"

namespace {

bool sameName(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

template <class T>
T** allocateArray(int n) {
  T** array = new (std::nothrow) T*[n > 0 ? n : 1];
  if (!array) MemoryAllocationError();
  for (int i = 0; i < (n > 0 ? n : 1); i++) array[i] = nullptr;
  return array;
}

}  // namespace

// ---------------------------------------------------------------- LocalState

SANModel::LocalState::LocalState(BaseModelClass const* m)
    : ByteState(const_cast<BaseModelClass*>(m)->StateSize(), "SANModel") {}

void SANModel::LocalState::SetState(BaseModelClass const* m) {
  auto* model = static_cast<SANModel*>(const_cast<BaseModelClass*>(m));
  model->SetState(data);
  model->reportStateChanged(false);
}

void SANModel::LocalState::GetState(BaseModelClass const* m) { const_cast<BaseModelClass*>(m)->CurrentState(data); }

// ------------------------------------------------------------- construction

SANModel::SANModel() = default;

SANModel::SANModel(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
                   BaseStateVariableClass** readOnlyPlaces, int numActivities, Activity** activities, int numGroups,
                   BaseGroupClass** groups) {
  initializeSANModelNow(name, numPlaces, places, numReadOnly, readOnlyPlaces, numActivities, activities, numGroups,
                        groups);
}

SANModel::~SANModel() { releaseArrays(); }

void SANModel::releaseArrays() {
  delete[] Places;
  delete[] ReadOnlyPlaces;
  delete[] Actions;
  delete[] Groups;
  Places = nullptr;
  ReadOnlyPlaces = nullptr;
  Actions = nullptr;
  Groups = nullptr;
}

void SANModel::initializeSANModelNow(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
                                     BaseStateVariableClass** readOnlyPlaces, int numActivities, Activity** activities,
                                     int numGroups, BaseGroupClass** groups) {
  if (numPlaces < 0 || !places) numPlaces = 0;
  if (numReadOnly < 0 || !readOnlyPlaces) numReadOnly = 0;
  if (numActivities < 0 || !activities) numActivities = 0;
  if (numGroups < 0 || !groups) numGroups = 0;

  DefineName(name);
  NumSharedStateVariables = 0;
  NumReadOnlyPlaces = numReadOnly;
  NumStateVariables = numPlaces + numReadOnly;
  NumActions = numActivities;
  NumGroups = numGroups;

  releaseArrays();
  Places = allocateArray<BaseStateVariableClass>(NumStateVariables);
  ReadOnlyPlaces = allocateArray<BaseStateVariableClass>(NumReadOnlyPlaces);
  Actions = allocateArray<BaseActionClass>(NumActions);
  Groups = allocateArray<BaseGroupClass>(NumGroups);

  SetPlaces(places);
  SetReadOnlyPlaces(readOnlyPlaces);
  SetActions(activities);
  SetGroups(groups);
}

void SANModel::SetPlaces(BaseStateVariableClass** places) {
  for (int i = 0; i < getNumPlaces(); i++) Places[i] = places[i];
  layoutReady_ = false;
}

void SANModel::SetReadOnlyPlaces(BaseStateVariableClass** readOnlyPlaces) {
  for (int i = 0; i < NumReadOnlyPlaces; i++) {
    ReadOnlyPlaces[i] = readOnlyPlaces[i];
    Places[getNumPlaces() + i] = readOnlyPlaces[i];
  }
}

void SANModel::SetActions(Activity** activities) {
  for (int i = 0; i < NumActions; i++) {
    Actions[i] = activities[i];
    activities[i]->OwningModel = this;
  }
}

void SANModel::SetGroups(BaseGroupClass** groups) {
  for (int i = 0; i < NumGroups; i++) {
    Groups[i] = groups[i];
    groups[i]->OwningModel = this;
  }
}

bool checkLocalSVs(SANModel* model, Place** places) {
  for (int i = 0; i < model->getNumPlaces(); i++)
    if (model->Places[i] != static_cast<BaseStateVariableClass*>(places[i])) return false;
  return true;
}

bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** readOnlyPlaces) {
  for (int i = 0; i < model->NumReadOnlyPlaces; i++)
    if (model->ReadOnlyPlaces[i] != readOnlyPlaces[i]) return false;
  return true;
}

bool checkLocalActions(SANModel* model, Activity** activities) {
  for (int i = 0; i < model->NumActions; i++)
    if (model->Actions[i] != static_cast<BaseActionClass*>(activities[i])) return false;
  return true;
}

// -------------------------------------------------------------------- state

void SANModel::PrepareStateLayout() {
  // A place contributes while it owns its value cell; a place that gave its
  // cell to a composer's variable is written by that composer instead. Read-
  // only places never take part.
  slots_.clear();
  stateSize_ = 0;
  for (int i = 0; i < getNumPlaces(); i++) {
    BaseStateVariableClass* sv = Places[i];
    if (!sv->getStored()) continue;
    slots_.push_back(StateSlot::of(sv));
    stateSize_ += slots_.back().size;
  }
  layoutReady_ = true;
  holdersKnown_ = false;  // the cells may have moved: firings here forget kept states
}

void SANModel::appendStoredCells(std::vector<const void*>& out) {
  ensureLayout();
  for (const StateSlot& s : slots_)
    if (auto* place = dynamic_cast<SharableSV<short>*>(s.sv)) out.push_back(place->getValuePtr());
}

bool SANModel::findCellHolders(const CellHolders& holders) {
  ensureLayout();
  cellHolders_.clear();
  for (int i = 0; i < getNumPlaces(); i++) {
    BaseStateVariableClass* sv = Places[i];
    if (sv->getStored()) continue;
    // Only a place's cell can be followed to the model that writes it.
    auto* place = dynamic_cast<SharableSV<short>*>(sv);
    if (!place) return false;
    auto found = holders.find(place->getValuePtr());
    if (found == holders.end()) return false;
    if (found->second != this &&
        std::find(cellHolders_.begin(), cellHolders_.end(), found->second) == cellHolders_.end())
      cellHolders_.push_back(found->second);
  }
  return true;
}

int SANModel::StateSize() {
  ensureLayout();
  return stateSize_;
}

void SANModel::CurrentState(void* dest) {
  ensureLayout();
  char* p = static_cast<char*>(dest);
  for (const StateSlot& s : slots_) {
    s.write(p);
    p += s.size;
  }
}

void SANModel::SetState(void* src) {
  ensureLayout();
  char* p = static_cast<char*>(src);
  for (const StateSlot& s : slots_) {
    s.read(p);
    p += s.size;
  }
}

bool SANModel::CompareState(void* a, void* b) { return std::memcmp(a, b, static_cast<std::size_t>(StateSize())) == 0; }

bool SANModel::HasLocalState() { return StateSize() > 0; }

void SANModel::GetLocalState(State* s) { s->GetState(this); }

void SANModel::SetLocalState(State const* s) { const_cast<State*>(s)->SetState(this); }

void SANModel::ConstructLocalState(State*& s) { s = new LocalState(this); }

void SANModel::DestructLocalState(State* s) { delete s; }

// ------------------------------------------------------------------ queries

void SANModel::listModels(const char* name, List<BaseModelClass>* out) {
  if (sameName(name, Name)) out->append(this);
}

void SANModel::listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                       List<BaseModelClass>* models) {
  if (!sameName(modelName, Name)) return;
  for (int i = 0; i < getNumPlaces(); i++) {
    if (sameName(svName, Places[i]->getName())) {
      svs->append(Places[i]);
      models->append(this);
    }
  }
  for (int i = 0; i < NumReadOnlyPlaces; i++) {
    if (sameName(svName, ReadOnlyPlaces[i]->getName())) {
      svs->append(ReadOnlyPlaces[i]);
      models->append(this);
    }
  }
}

void SANModel::listActions(List<BaseActionClass>* out) {
  for (int i = 0; i < NumActions; i++) out->append(Actions[i]);
}

void SANModel::listActions(const char* name, List<BaseActionClass>* out) {
  for (int i = 0; i < NumActions; i++) {
    if (sameName(name, Actions[i]->getName())) {
      out->append(Actions[i]);
      return;
    }
  }
}

void SANModel::listGroups(List<BaseGroupClass>* out) {
  for (int i = 0; i < NumGroups; i++) out->append(Groups[i]);
}

BaseStateVariableClass** SANModel::GetLocalStateVariables(std::ostream* out) {
  (void)out;
  return Places;
}

void SANModel::GetGlobalActions(std::forward_list<BaseActionClass*>& out) {
  // Own activities that read or change a place whose value is held by a
  // composer.
  std::set<BaseActionClass*> own(Actions, Actions + NumActions);
  std::set<BaseActionClass*> touching;
  for (int i = 0; i < getNumPlaces(); i++) {
    BaseStateVariableClass* sv = Places[i];
    if (sv->getStored()) continue;
    for (List<BaseActionClass>* list : {sv->getAffectingActions(), sv->getEnabledActions()}) {
      if (!list) continue;
      for (int k = 0; k < list->getNumItems(); k++) touching.insert(list->getItem(k));
    }
  }
  // Both sets iterate in ascending pointer order (std::less on pointers is a
  // total order).
  std::vector<BaseActionClass*> global;
  std::set_intersection(own.begin(), own.end(), touching.begin(), touching.end(), std::back_inserter(global),
                        std::less<BaseActionClass*>());
  for (BaseActionClass* a : global) out.push_front(a);
}

void SANModel::GetLocalActions(std::forward_list<BaseActionClass*>& out) {
  std::forward_list<BaseActionClass*> global;
  GetGlobalActions(global);
  for (int i = 0; i < NumActions; i++)
    if (std::find(global.begin(), global.end(), Actions[i]) == global.end()) out.push_front(Actions[i]);
}

// ------------------------------------------------------------------- output

void SANModel::printState(std::ostream* out) {
  *out << "Model: (" << ModelId << ")" << (Name ? Name : "") << "\n";
  for (int i = 0; i < getNumPlaces(); i++) {
    *out << "  ";
    Places[i]->printState(out);
  }
  for (int i = 0; i < NumReadOnlyPlaces; i++) {
    *out << "  ";
    ReadOnlyPlaces[i]->printState(out);
  }
}

void SANModel::PrintSANModelInfo() {
  std::fflush(stdout);
  std::cout.flush();
  std::printf("SANModelInfo\n");
  std::printf("Number of Actions = %i, Number of Groups = %i, Number of State Variables = %i\n", NumActions, NumGroups,
              NumStateVariables);
  for (int i = 0; i < NumActions; i++) {
    BaseActionClass* a = Actions[i];
    std::printf("ActionName = %s\n", a->getName() ? a->getName() : "");
    std::printf("Group Id = %i\n", a->GroupId);
    std::printf("DistributionType = %i\n", static_cast<int>(a->DistributionType));
    std::printf("ExecutionPolicy = %i\n", static_cast<int>(a->ExecutionPolicy));
    std::printf("Number of affected state variables = %i\n", a->AffectedSVs.getNumItems());
    std::printf("Number of enabling state variables = %i\n", a->EnablingSVs.getNumItems());
  }
  std::printf("\n");
  for (int i = 0; i < NumGroups; i++)
    std::printf("Group Name = %s \n", Groups[i]->getName() ? Groups[i]->getName() : "");
  for (int i = 0; i < getNumPlaces(); i++)
    std::printf("Place Name = %s\n", Places[i]->getName() ? Places[i]->getName() : "");
  for (int i = 0; i < NumReadOnlyPlaces; i++)
    std::printf("Read Only Place Name = %s\n", ReadOnlyPlaces[i]->getName() ? ReadOnlyPlaces[i]->getName() : "");
  std::fflush(stdout);
}
