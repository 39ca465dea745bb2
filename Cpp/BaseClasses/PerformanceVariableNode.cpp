#include "PerformanceVariableNode.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "BaseActionClass.h"
#include "BaseGroupClass.h"
#include "BaseModelClass.h"
#include "GenAssert.h"
#include "GenError.h"
#include "List.h"
#include "StandardErrors.h"

namespace {

const char* orEmpty(const char* s) { return s ? s : ""; }

char* copyName(const char* s) {
  char* copy = strdup(orEmpty(s));
  if (!copy) MemoryAllocationError();
  return copy;
}

// Membership that works on a set in either form: reward sets are frozen into
// sorted arrays once the reward model is set up, and read only that way while
// actions fire.
bool setContains(const FastSet& set, int value) {
  if (!set.isFrozen()) return set.find(value);
  int lo = 0;
  int hi = set.size();
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (set[mid] < value)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < set.size() && set[lo] == value;
}

// Product of instance counts; a product no int can hold cannot be allocated.
int checkedProduct(long long product) {
  if (product > INT_MAX) MemoryAllocationError();
  return static_cast<int>(product);
}

// Stores `model` into a worker's model slot, refusing a model of another
// class than the slot's member expects.
void bindSlot(const ModelSlot& slot, BaseModelClass* model, const char* pvName) {
  if (slot.set(model)) return;
  throw GenError(std::string("Reward variable ") + orEmpty(pvName) + ": model " +
                 (model && model->Name ? model->Name : "NULL") + " is not of the class its reward function expects.");
}

}  // namespace

PerformanceVariableNode::PerformanceVariableNode() : TopModelRef(&ownTopModel_) {}

PerformanceVariableNode::~PerformanceVariableNode() {
  std::free(Name);
  delete[] Workers;  // the workers themselves belong to the generated node
  delete[] ModelGroups;
  delete[] AffectingActions;
  releaseImpulseWorkers();
}

void PerformanceVariableNode::Reset() {
  RateReward = RateRewardSquared = 0.0;
  ImpulseReward = ImpulseRewardSquared = 0.0;
  for (int i = 0; i < NumWorkers; i++)
    if (Workers && Workers[i]) Workers[i]->Reset();
  for (size_t i = 0; i < ImpulseWorkerNodes.size(); i++)
    for (int k = 0; ImpulseWorkerNodes[i] && k < impulseWorkerArraySizes_[i]; k++) ImpulseWorkerNodes[i][k]->Reset();
}

void PerformanceVariableNode::Initialize(const char* name, ::RewardType type, int numTimePoints,
                                         const double* startTimes, const double* stopTimes, int timeIndex,
                                         int impulseCapacity, int modelDepCapacity, int varDepCapacity) {
  RewardType = type;
  NumTimePoints = numTimePoints > 0 ? numTimePoints : 0;
  StartTimes.assign(static_cast<size_t>(NumTimePoints), 0.0);
  StopTimes.assign(static_cast<size_t>(NumTimePoints), 0.0);
  for (int t = 0; t < NumTimePoints; t++) {
    if (startTimes) StartTimes[static_cast<size_t>(t)] = startTimes[t];
    if (stopTimes) StopTimes[static_cast<size_t>(t)] = stopTimes[t];
  }
  if (timeIndex >= 0 && timeIndex < NumTimePoints) {
    TimeStart = StartTimes[static_cast<size_t>(timeIndex)];
    TimeStop = StopTimes[static_cast<size_t>(timeIndex)];
    TimeLength = TimeStop - TimeStart;
  }
  std::free(Name);
  Name = copyName(name);
  // The capacities are what the generated code declares; the tables grow
  // beyond them if more is added, so they are only a reservation.
  if (varDepCapacity > 0) VarModelPairs.reserve(static_cast<size_t>(varDepCapacity));
  if (modelDepCapacity > 0) ModelDepNames.reserve(static_cast<size_t>(modelDepCapacity));
  if (impulseCapacity > 0) {
    size_t n = static_cast<size_t>(impulseCapacity);
    ImpulseDepCounts.reserve(n);
    ImpulseWorkerCounts.reserve(n);
    ImpulseModelCounts.reserve(n);
    ImpulsePrototypes.reserve(n);
    ImpulseActions.reserve(n);
    ImpulseDepNames.reserve(n);
  }
}

void PerformanceVariableNode::Initialize(const char* name, int type, int numTimePoints, const double* startTimes,
                                         const double* stopTimes, int timeIndex, int impulseCapacity,
                                         int modelDepCapacity, int varDepCapacity) {
  Initialize(name, static_cast<::RewardType>(type), numTimePoints, startTimes, stopTimes, timeIndex, impulseCapacity,
             modelDepCapacity, varDepCapacity);
}

void PerformanceVariableNode::AddVariableDependency(const char* varName, const char* modelName) {
  VarModelPairs.emplace_back(varName, modelName);
  NumVarModelPairs = static_cast<int>(VarModelPairs.size());
  AddModelDependency(modelName);
}

void PerformanceVariableNode::AddModelDependency(const char* modelName) {
  if (IsDependentOnModel(modelName)) return;
  ModelDepNames.emplace_back(orEmpty(modelName));
  NumModelDeps = static_cast<int>(ModelDepNames.size());
}

void PerformanceVariableNode::AddImpulse(const char* actionName, const char* modelName, ImpulseNodeClass* impulse) {
  int pos = GetImpulseNumber(impulse);
  if (pos < 0) {
    pos = NumImpulses++;
    ImpulsePrototypes.push_back(impulse);
    ImpulseDepCounts.push_back(0);
    ImpulseWorkerCounts.push_back(0);
    ImpulseModelCounts.push_back(0);
    ImpulseActions.emplace_back();
    ImpulseDepNames.emplace_back();
    if (impulse && impulse->NumDeps > 0) ImpulseDepNames.back().reserve(static_cast<size_t>(impulse->NumDeps));
  }
  ImpulseActions[static_cast<size_t>(pos)].SetPair(actionName, modelName);
  AddImpulseModelDependency(modelName, impulse);
}

void PerformanceVariableNode::checkImpulse(int impulse) const {
  if (impulse >= 0 && impulse < NumImpulses) return;
  throw GenError(
      "Model Dependency requested on undefined impulse."
      "  Check code generator.  Error code GP0001.");
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* modelName, ImpulseNodeClass* impulse) {
  int pos = GetImpulseNumber(impulse);
  checkImpulse(pos);
  if (!IsDependentOnImpulseModel(modelName, pos)) AddImpulseModelDependency(modelName, pos);
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* modelName, int impulse) {
  checkImpulse(impulse);
  std::vector<std::string>& names = ImpulseDepNames[static_cast<size_t>(impulse)];
  names.emplace_back(orEmpty(modelName));
  ImpulseDepCounts[static_cast<size_t>(impulse)] = static_cast<int>(names.size());
}

void PerformanceVariableNode::AddImpulseActionDependency(const char* actionName, const char* modelName, int impulse) {
  checkImpulse(impulse);
  ImpulseActions[static_cast<size_t>(impulse)].SetPair(actionName, modelName);
}

bool PerformanceVariableNode::IsDependentOnModel(const char* modelName) const {
  const char* name = orEmpty(modelName);
  for (const std::string& dep : ModelDepNames)
    if (dep == name) return true;
  return false;
}

bool PerformanceVariableNode::IsDependentOnImpulseModel(const char* modelName, int impulse) const {
  if (impulse < 0 || impulse >= NumImpulses) return false;
  const char* name = orEmpty(modelName);
  for (const std::string& dep : ImpulseDepNames[static_cast<size_t>(impulse)])
    if (dep == name) return true;
  return false;
}

int PerformanceVariableNode::GetImpulseNumber(const ImpulseNodeClass* impulse) const {
  for (int i = 0; i < NumImpulses; i++)
    if (ImpulsePrototypes[static_cast<size_t>(i)] == impulse) return i;
  return -1;
}

double PerformanceVariableNode::GetStartTime(int t) const {
  if (t < 0 || t >= NumTimePoints) {
    ArrayOutOfBoundsError("PerformanceVariableNode::GetStartTime");
    return 0.0;
  }
  return StartTimes[static_cast<size_t>(t)];
}

double PerformanceVariableNode::GetStopTime(int t) const {
  if (t < 0 || t >= NumTimePoints) {
    ArrayOutOfBoundsError("PerformanceVariableNode::GetStopTime");
    return 0.0;
  }
  return StopTimes[static_cast<size_t>(t)];
}

void PerformanceVariableNode::DefineName(const char* name) {
  for (int i = 0; i < NumWorkers; i++)
    if (Workers && Workers[i]) Workers[i]->DefineName(name, i);
  for (size_t i = 0; i < ImpulseWorkerNodes.size(); i++)
    for (int k = 0; ImpulseWorkerNodes[i] && k < impulseWorkerArraySizes_[i]; k++)
      ImpulseWorkerNodes[i][k]->DefineName(name, static_cast<int>(i), k);
}

int PerformanceVariableNode::countInstances(const std::string& modelName) const {
  BaseModelClass* top = root();
  if (!top) return 0;
  List<BaseModelClass> found;
  top->listModels(modelName.c_str(), &found);
  return found.getNumItems();
}

void PerformanceVariableNode::FixReferences(BaseModelClass* model) {
  if (!TopModelRef) TopModelRef = &ownTopModel_;
  *TopModelRef = model;
  NumWorkers = GetNumberOfWorkers();
  GetNumberOfImpulseWorkers();
  delete[] Workers;
  Workers = new PerformanceVariableWorker*[static_cast<size_t>(NumWorkers)]();
}

int PerformanceVariableNode::GetNumberOfWorkers() {
  if (NumModelDeps == 0) return WholeModel ? 1 : 0;
  long long product = 1;
  for (const std::string& dep : ModelDepNames) {
    product *= countInstances(dep);
    if (product == 0) return 0;
    checkedProduct(product);
  }
  return checkedProduct(product);
}

void PerformanceVariableNode::GetNumberOfImpulseWorkers() {
  for (int i = 0; i < NumImpulses; i++) {
    size_t at = static_cast<size_t>(i);
    long long product = 1;
    for (const std::string& dep : ImpulseDepNames[at]) {
      product *= countInstances(dep);
      if (product == 0) break;
      checkedProduct(product);
    }
    const std::string& modelName = ImpulseActions[at].ModelName;
    ImpulseModelCounts[at] = countInstances(modelName);
    if (!IsDependentOnImpulseModel(modelName.c_str(), i)) product *= ImpulseModelCounts[at];
    ImpulseWorkerCounts[at] = checkedProduct(product);
  }
}

void PerformanceVariableNode::CreateModelGroupList() {
  BaseModelClass* top = root();
  GEN_ASSERT(top != nullptr, "*TopModelRef != nullptr", "PerformanceVariableNode");
  delete[] ModelGroups;
  ModelGroups = new ModelGroupClass[static_cast<size_t>(NumWorkers)];
  for (int j = 0; j < NumWorkers; j++) ModelGroups[j].CreateModelList(NumModelDeps);

  // Dependency 0 varies slowest, the last one fastest: worker j takes, for
  // dependency i, instance (j / b_i) mod m_i with b_i = NumWorkers / (m_0 ... m_i).
  long long prefix = 1;
  List<BaseModelClass> found;
  for (int i = 0; i < NumModelDeps; i++) {
    const std::string& dep = ModelDepNames[static_cast<size_t>(i)];
    found.clearList();
    top->listModels(dep.c_str(), &found);
    int m = found.getNumItems();
    if (m == 0) {
      // A reward variable that cannot be evaluated fails the run.
      throw GenError("Number of " + dep + "'s was 0.  Model cannot be created.\nModel Name was: " +
                     (top->Name ? std::string(top->Name) + "\n." : std::string("NULL")));
    }
    prefix *= m;
    long long block = prefix > 0 ? NumWorkers / prefix : 0;
    if (block == 0) continue;  // counts changed since FixReferences: leave unbound
    for (int j = 0; j < NumWorkers; j++) ModelGroups[j].SetModel(i, found[static_cast<int>((j / block) % m)]);
  }
}

void PerformanceVariableNode::FixWorkerList() {
  GEN_ASSERT(NumWorkers == 0 || ModelGroups != nullptr, "ModelGroups != nullptr", "PerformanceVariableNode");
  for (int i = 0; i < NumWorkers; i++) {
    PerformanceVariableWorker* w = Workers[i];
    GEN_ASSERT(w != nullptr, "Workers[i] != nullptr", "PerformanceVariableNode");
    w->TimeStart = TimeStart;
    w->TimeStop = TimeStop;
    w->DefineName(Name, i);
    w->PVId = PVId;
    int slots = static_cast<int>(w->ModelSlots.size());
    GEN_ASSERT(slots <= ModelGroups[i].GetNumModels(), "NumModelSlots <= NumModelDeps", "PerformanceVariableNode");
    for (int d = 0; d < slots; d++) bindSlot(w->ModelSlots[static_cast<size_t>(d)], ModelGroups[i].GetModel(d), Name);
  }
}

void PerformanceVariableNode::AddPVWorkersToAction(BaseActionClass* action, BaseModelClass* model) {
  if (!action || !action->PVRateDS || PVId < 0 || PVId >= action->PVDSSize) return;
  FastSet& workers = action->PVRateDS[PVId];
  for (int w = 0; w < NumWorkers; w++)
    if (ModelGroups && ModelGroups[w].IsDependentOnModel(model)) workers.insert(w);
}

void PerformanceVariableNode::CreateImpulseModelGroupList() {
  BaseModelClass* top = root();
  size_t numImpulses = static_cast<size_t>(NumImpulses);
  impulseModelInstances_.assign(numImpulses, {});
  ImpulseModelGroups.assign(numImpulses, {});
  if (!top) return;
  List<BaseModelClass> found;
  for (size_t i = 0; i < numImpulses; i++) {
    const std::string& modelName = ImpulseActions[i].ModelName;
    const std::vector<std::string>& deps = ImpulseDepNames[i];
    found.clearList();
    top->listModels(modelName.c_str(), &found);
    std::vector<BaseModelClass*>& instances = impulseModelInstances_[i];
    for (int k = 0; k < found.getNumItems(); k++) instances.push_back(found[k]);

    long long workers = ImpulseWorkerCounts[i];
    std::vector<ModelGroupClass>& groups = ImpulseModelGroups[i];
    groups.resize(static_cast<size_t>(workers));
    for (ModelGroupClass& g : groups) g.CreateModelList(static_cast<int>(deps.size()));
    long long models = static_cast<long long>(instances.size());
    if (workers == 0 || models == 0) continue;

    // Block j (one per instance of the impulse's model) enumerates the
    // combinations of the other dependencies like the rate workers do; a
    // dependency on the impulse's own model is the block's instance.
    long long blockSize = workers / models;
    std::vector<std::vector<BaseModelClass*>> depInstances(deps.size());
    std::vector<long long> stride(deps.size(), 1);
    long long prefix = 1;
    for (size_t d = 0; d < deps.size(); d++) {
      if (deps[d] == modelName) continue;
      found.clearList();
      top->listModels(deps[d].c_str(), &found);
      for (int k = 0; k < found.getNumItems(); k++) depInstances[d].push_back(found[k]);
      prefix *= static_cast<long long>(depInstances[d].size());
      stride[d] = prefix > 0 ? blockSize / prefix : 0;
    }
    for (long long k = 0; k < workers; k++) {
      long long block = k / blockSize;
      long long r = k % blockSize;
      ModelGroupClass& g = groups[static_cast<size_t>(k)];
      for (size_t d = 0; d < deps.size(); d++) {
        int at = static_cast<int>(d);
        if (deps[d] == modelName) {
          g.SetModel(at, instances[static_cast<size_t>(block)]);
        } else if (!depInstances[d].empty() && stride[d] > 0) {
          long long m = static_cast<long long>(depInstances[d].size());
          g.SetModel(at, depInstances[d][static_cast<size_t>((r / stride[d]) % m)]);
        }
      }
    }
  }
}

void PerformanceVariableNode::releaseImpulseWorkers() {
  for (size_t i = 0; i < ImpulseWorkerNodes.size(); i++) {
    ImpulseNodeClass** workers = ImpulseWorkerNodes[i];
    if (!workers) continue;
    for (int k = 0; k < impulseWorkerArraySizes_[i]; k++) delete workers[k];
    delete[] workers;
  }
  ImpulseWorkerNodes.clear();
  impulseWorkerArraySizes_.clear();
}

void PerformanceVariableNode::CreateImpulseWorkerLists() {
  releaseImpulseWorkers();
  size_t numImpulses = static_cast<size_t>(NumImpulses);
  ImpulseWorkerNodes.assign(numImpulses, nullptr);
  impulseWorkerArraySizes_.assign(numImpulses, 0);
  for (size_t i = 0; i < numImpulses; i++) {
    int count = ImpulseWorkerCounts[i];
    if (count <= 0 || !ImpulsePrototypes[i]) continue;
    ImpulseNodeClass** workers = ImpulsePrototypes[i]->CreateImpulseWorkers(count);
    GEN_ASSERT(workers != nullptr, "CreateImpulseWorkers(count) != nullptr", "PerformanceVariableNode");
    ImpulseWorkerNodes[i] = workers;
    impulseWorkerArraySizes_[i] = count;
    for (int k = 0; k < count; k++)
      GEN_ASSERT(workers[k] != nullptr, "ImpulseWorkerNodes[i][k] != nullptr", "PerformanceVariableNode");
  }
}

void PerformanceVariableNode::FixImpulseWorkerLists() {
  for (size_t i = 0; i < ImpulseWorkerNodes.size() && i < impulseModelInstances_.size(); i++) {
    ImpulseNodeClass** workers = ImpulseWorkerNodes[i];
    long long count = impulseWorkerArraySizes_[i];
    const std::vector<BaseModelClass*>& instances = impulseModelInstances_[i];
    long long models = static_cast<long long>(instances.size());
    if (!workers || count == 0 || models == 0) continue;
    for (long long j = 0; j < models; j++) {
      for (long long k = j * count / models; k < (j + 1) * count / models; k++) {
        ImpulseNodeClass* w = workers[k];
        w->TimeStart = TimeStart;
        w->TimeStop = TimeStop;
        w->PVId = PVId;
        w->DefineName(Name, static_cast<int>(i), static_cast<int>(k));
        w->Model = instances[static_cast<size_t>(j)];
        const ModelGroupClass& g = ImpulseModelGroups[i][static_cast<size_t>(k)];
        int slots = static_cast<int>(w->ModelSlots.size());
        GEN_ASSERT(slots <= g.GetNumModels(), "NumModelSlots <= ImpulseDepCounts[i]", "PerformanceVariableNode");
        for (int d = 0; d < slots; d++) bindSlot(w->ModelSlots[static_cast<size_t>(d)], g.GetModel(d), Name);
      }
    }
  }
}

void PerformanceVariableNode::CurrentReward(BaseActionClass* action) {
  RateReward = 0.0;
  RateRewardSquared = 0.0;
  for (int i = 0; i < NumWorkers; i++) {
    PerformanceVariableWorker* w = Workers[i];
    w->CurrentReward();
    RateReward += w->Value;
    RateRewardSquared += w->ValueSquared;
  }
  CurrentImpulse(action);
}

void PerformanceVariableNode::sumImpulses(BaseActionClass* action) {
  if (!ImpulseAffectedBy(action)) return;
  if (!action->PVImpulseDS || PVId < 0 || PVId >= action->PVDSSize) return;
  const FastSet& impulses = action->PVImpulseDS[PVId];
  int** workerLists = action->PVImpulseWorkers ? action->PVImpulseWorkers[PVId] : nullptr;
  int* workerCounts = action->PVImpulseWorkerCounts ? action->PVImpulseWorkerCounts[PVId] : nullptr;
  if (!impulses.isFrozen() || !workerLists || !workerCounts) return;
  for (int n = 0; n < impulses.size(); n++) {
    int j = impulses[n];
    const int* indices = workerLists[j];
    ImpulseNodeClass** workers = ImpulseWorkerNodes[static_cast<size_t>(j)];
    for (int k = 0; k < workerCounts[j]; k++) {
      ImpulseNodeClass* w = workers[indices[k]];
      w->EvaluateImpulse();
      ImpulseReward += w->Value;
      ImpulseRewardSquared += w->ValueSquared;
    }
  }
}

bool PerformanceVariableNode::ImpulseAffectedBy(BaseActionClass* action) const {
  if (setContains(action->AffectedNodesByImpulseReward, PVId)) return true;
  if (!action->isSync()) return false;
  auto* group = dynamic_cast<BaseGroupClass*>(action);
  if (!group) return false;
  for (int m = 0; m < group->getNumMembers(); m++) {
    BaseActionClass* member = group->getMember(m);
    if (member && member != action && ImpulseAffectedBy(member)) return true;
  }
  return false;
}
