#include "PVModel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <system_error>
#include <unordered_set>

#include "BaseComposerClass.h"
#include "BaseGroupClass.h"
#include "BaseStateVariableClass.h"
#include "GenAssert.h"
#include "GenError.h"
#include "PerformanceVariableNode.h"

namespace {

// Emptiness of a reward set in either form (tree while the lists are built,
// sorted array once frozen).
bool setIsEmpty(const FastSet& set) { return set.isFrozen() ? set.size() == 0 : set.empty(); }

void freeze(FastSet& set) {
  if (!set.isFrozen()) set.NoMoreModifications();
}

// The member actions of a synchronised group, or null when `action` is not one.
BaseGroupClass* syncGroup(BaseActionClass* action) {
  return action->isSync() ? dynamic_cast<BaseGroupClass*>(action) : nullptr;
}

// Next free numbers of one reward model's walk.
struct PartNumbers {
  int nextModelId = 1;
  int nextActionNumber = 0;
  std::unordered_set<const BaseActionClass*> numbered;

  void number(BaseActionClass* action) {
    if (action && numbered.insert(action).second) action->ActionNumber = nextActionNumber++;
  }
};

// Numbers `model` and everything below it in pre-order: a composer before its
// children, children in order; an atomic model's actions in array order, then
// its groups that are not themselves actions. That is the order in which a
// model's constructor creates them, so the numbers do not depend on what else
// the process has built.
void numberTree(BaseModelClass* model, PartNumbers& next) {
  if (!model) return;
  model->ModelId = next.nextModelId++;
  model->ParentId = model->ModelId;
  if (auto* composer = dynamic_cast<BaseComposerClass*>(model)) {
    for (int i = 0; i < composer->NumChildren; i++) numberTree(composer->Children[i], next);
    return;
  }
  for (int a = 0; a < model->NumActions; a++) next.number(model->Actions[a]);
  for (int g = 0; g < model->NumGroups; g++) next.number(model->Groups[g]);
}

}  // namespace

PVModel::PVModel() : NoActionFiredYet("No Action Fired Yet", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 0, 0, false) {
  LastActionFired = &NoActionFiredYet;
}

void PVModel::NumberParts() {
  PartNumbers next;
  ModelId = ParentId = next.nextModelId++;
  next.number(&NoActionFiredYet);
  numberTree(TheModel, next);
}

PVModel::~PVModel() { Destruct(); }

// ---------------------------------------------------------------------------
// State

void PVModel::CurrentState(void* dest) {
  TheModel->CurrentState(dest);
  if (IndexMode == 1 && IndexBytes > 0) {
    // The 1-based position of the last action, least significant byte first.
    auto position = static_cast<unsigned int>(indexPosition(LastActionFired));
    auto* suffix = static_cast<unsigned char*>(dest) + ModelStateSize;
    for (int b = 0; b < IndexBytes; b++) suffix[b] = static_cast<unsigned char>(position >> (8 * b));
  }
}

void PVModel::SetState(void* src) { TheModel->SetState(src); }

bool PVModel::CompareState(void* a, void* b) {
  if (!TheModel->CompareState(a, b)) return false;
  if (IndexMode != 1 || IndexBytes == 0) return true;
  return std::memcmp(static_cast<char*>(a) + ModelStateSize, static_cast<char*>(b) + ModelStateSize,
                     static_cast<size_t>(IndexBytes)) == 0;
}

void PVModel::printState(std::ostream* out) {
  if (TheModel) TheModel->printState(out);
}

void PVModel::listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                      List<BaseModelClass>* models) {
  if (TheModel) TheModel->listSVs(modelName, svName, svs, models);
}

void PVModel::listActions(const char* name, List<BaseActionClass>* out) {
  if (TheModel) TheModel->listActions(name, out);
}

void PVModel::listModels(const char* name, List<BaseModelClass>* out) {
  if (TheModel) TheModel->listModels(name, out);
}

void PVModel::listActions(List<BaseActionClass>* out) {
  if (Actions) out->append(Actions, NumActions);
}

void PVModel::listGroups(List<BaseGroupClass>* out) {
  if (Groups) out->append(Groups, NumGroups);
}

// ---------------------------------------------------------------------------
// Reward-variable list

void PVModel::ensurePVListCapacity(int needed) {
  if (needed < pvListCapacity_) return;
  // Twice the old capacity plus twice what is about to be added.
  int capacity = 2 * pvListCapacity_ + 2 * (needed - NumPVNodes);
  if (capacity <= needed) capacity = needed + 1;
  auto** grown = new PerformanceVariableNode*[static_cast<size_t>(capacity)]();
  for (int i = 0; i < NumPVNodes; i++) grown[i] = PVList[i];
  delete[] PVList;
  PVList = grown;
  pvListCapacity_ = capacity;
}

void PVModel::appendPVNode(PerformanceVariableNode* node) {
  if (!node) return;
  ensurePVListCapacity(NumPVNodes + 1);
  // The node's id is its index in the actions' per-node reward arrays, which
  // have one entry per node of this list.
  node->PVId = NumPVNodes;
  PVList[NumPVNodes++] = node;
}

void PVModel::CreatePVList(int numPVs, bool expand) {
  if (!PVList) {
    pvListCapacity_ = 100;
    PVList = new PerformanceVariableNode*[static_cast<size_t>(pvListCapacity_)]();
  }
  for (int p = 0; p < numPVs; p++) {
    PerformanceVariableNode* node = createPVNode(p, 0);
    if (!node) continue;
    int d = node->GetNumTimePoints();
    ensurePVListCapacity(NumPVNodes + (d > 0 ? d : 1));
    appendPVNode(node);
    if (expand)
      for (int t = 1; t < d; t++) appendPVNode(createPVNode(p, t));
  }
}

void PVModel::ConsiderOnly(int* indices, int count) {
  if (!indices) {
    ConsideredPVs.insert(ConsideredPVs.end(), PVList, PVList + NumPVNodes);
    return;
  }
  for (int k = 0; k < count; k++) {
    int i = indices[k];
    GEN_ASSERT(i >= 0 && i < NumPVNodes, "0 <= indices[k] && indices[k] < NumPVNodes", "PVModel");
    ConsideredPVs.push_back(PVList[i]);
  }
}

// ---------------------------------------------------------------------------
// Set-up

void PVModel::Initialize() {
  GEN_ASSERT(TheModel != nullptr, "TheModel != nullptr", "PVModel");
  NumberParts();

  // 1. The pseudo-action affects nothing: empty, frozen reward data.
  allocateRateDS(&NoActionFiredYet);
  allocateImpulseDS(&NoActionFiredYet);
  finishRateDS(&NoActionFiredYet);
  finishImpulseDS(&NoActionFiredYet);
  freeze(NoActionFiredYet.AffectedNodes);

  // 2. The flat arrays of the composed model (shared, not copied).
  NumActions = TheModel->NumActions;
  Actions = TheModel->Actions;
  NumGroups = TheModel->NumGroups;
  Groups = TheModel->Groups;
  NumStateVariables = TheModel->NumStateVariables;
  NumSharedStateVariables = 0;

  // 3.-5.
  for (int i = 0; i < NumPVNodes; i++) PVList[i]->FixReferences(TheModel);
  MakeAffectedLists();
  MakeImpulseAffectedLists();
  CreateAffectedLists();
  CreatePVStateIndex();
}

void PVModel::allocateRateDS(BaseActionClass* action) {
  action->AllocatePVRateDS(NumPVNodes);
  dsActions_.push_back(action);
}

void PVModel::allocateImpulseDS(BaseActionClass* action) {
  action->AllocatePVImpulseDS(NumPVNodes);
  dsActions_.push_back(action);
}

void PVModel::finishRateDS(BaseActionClass* action) {
  if (!action->IsPVRateDSAllocated()) allocateRateDS(action);
  for (int k = 0; k < action->PVDSSize; k++) freeze(action->PVRateDS[k]);
  freeze(action->AffectedNodesByRateReward);
}

void PVModel::finishImpulseDS(BaseActionClass* action) {
  if (!action->IsPVImpulseDSAllocated()) allocateImpulseDS(action);
  for (int k = 0; k < action->PVDSSize; k++) freeze(action->PVImpulseDS[k]);
  freeze(action->AffectedNodesByImpulseReward);
}

void PVModel::MakeAffectedLists() {
  List<BaseStateVariableClass> svs;
  List<BaseModelClass> models;
  for (int PVCounter = 0; PVCounter < NumPVNodes; PVCounter++) {
    PerformanceVariableNode* node = PVList[PVCounter];
    node->CreateModelGroupList();
    node->CreateWorkerList();
    node->FixWorkerList();
    for (const VarModelPairClass& pair : node->VarModelPairs) {
      svs.clearList();
      models.clearList();
      listSVs(pair.ModelName.c_str(), pair.VarName.c_str(), &svs, &models);
      for (int v = 0; v < svs.getNumItems(); v++) {
        BaseModelClass* model = v < models.getNumItems() ? models[v] : nullptr;
        List<BaseActionClass>* affecting = svs[v]->getAffectingActions();
        for (int a = 0; affecting && a < affecting->getNumItems(); a++) {
          BaseActionClass* Action = (*affecting)[a];
          if (!Action->IsPVRateDSAllocated()) {
            allocateRateDS(Action);
            RateDSCount++;
          }
          if (Action->PVRateDS[PVCounter].empty()) {
            bool inserted = Action->AffectedNodesByRateReward.insert(PVCounter);
            GEN_ASSERT(inserted, "Action->AffectedNodesByRateReward.insert(PVCounter)", "PVModel");
            node->NumAffectingActions++;
          }
          node->AddPVWorkersToAction(Action, model);
        }
      }
    }
  }
  for (int a = 0; a < NumActions; a++) finishRateDS(Actions[a]);
  for (size_t a = 0; a < dsActions_.size(); a++) finishRateDS(dsActions_[a]);
}

// Links impulse `impulse` of node `node` to the first action of the impulse's
// action name in `model`, with the impulse workers that belong to `model`.
void PVModel::linkImpulse(int node, int impulse, BaseModelClass* model) {
  PerformanceVariableNode* pv = PVList[node];
  List<BaseActionClass> found;
  model->listActions(pv->ImpulseActions[static_cast<size_t>(impulse)].ActionName.c_str(), &found);
  if (found.getNumItems() == 0) return;
  BaseActionClass* action = found[0];
  if (!action->IsPVImpulseDSAllocated()) {
    allocateImpulseDS(action);
    ImpulseDSCount++;
  }
  if (!action->PVImpulseWorkers[node]) {
    action->AffectedNodesByImpulseReward.insert(node);
    pv->NumAffectingActions++;
    size_t n = static_cast<size_t>(pv->NumImpulses);
    action->PVImpulseWorkers[node] = new int*[n]();
    action->PVImpulseWorkerCounts[node] = new int[n]();
  }
  int** lists = action->PVImpulseWorkers[node];
  int& count = action->PVImpulseWorkerCounts[node][impulse];
  int workers = pv->ImpulseWorkerCounts[static_cast<size_t>(impulse)];
  if (action->PVImpulseDS[node].insert(impulse)) lists[impulse] = new int[static_cast<size_t>(workers)];
  ImpulseNodeClass** impulseWorkers = pv->ImpulseWorkerNodes[static_cast<size_t>(impulse)];
  for (int k = 0; impulseWorkers && k < workers; k++)
    if (impulseWorkers[k]->Model == model && count < workers) lists[impulse][count++] = k;
}

void PVModel::MakeImpulseAffectedLists() {
  List<BaseModelClass> models;
  for (int i = 0; i < NumPVNodes; i++) {
    PerformanceVariableNode* node = PVList[i];
    node->CreateImpulseModelGroupList();
    node->CreateImpulseWorkerLists();
    node->FixImpulseWorkerLists();
    for (int j = 0; j < node->NumImpulses; j++) {
      models.clearList();
      listModels(node->ImpulseActions[static_cast<size_t>(j)].ModelName.c_str(), &models);
      for (int m = 0; m < models.getNumItems(); m++) linkImpulse(i, j, models[m]);
    }
  }
  for (int a = 0; a < NumActions; a++) {
    finishImpulseDS(Actions[a]);
    if (BaseGroupClass* group = syncGroup(Actions[a]))
      for (int m = 0; m < group->getNumMembers(); m++) finishImpulseDS(group->getMember(m));
  }
  for (size_t a = 0; a < dsActions_.size(); a++) finishImpulseDS(dsActions_[a]);
}

void PVModel::CreateTotalPVAffectsList(BaseActionClass* action) {
  GEN_ASSERT(action->AffectedNodes.empty(), "Action->AffectedNodes.empty()", "PVModel");
  const FastSet& rate = action->AffectedNodesByRateReward;
  const FastSet& impulse = action->AffectedNodesByImpulseReward;
  for (int k = 0; k < rate.size(); k++) action->AffectedNodes.insert(rate[k]);
  for (int k = 0; k < impulse.size(); k++) action->AffectedNodes.insert(impulse[k]);
  action->AffectedNodes.NoMoreModifications();
}

void PVModel::CreateAffectedLists() {
  for (int i = 0; i < NumPVNodes; i++) {
    PerformanceVariableNode* node = PVList[i];
    if (node->NumAffectingActions == 0) continue;
    delete[] node->AffectingActions;
    node->AffectingActions = new BaseActionClass*[static_cast<size_t>(node->NumAffectingActions)]();
    node->AffectingActionsCapacity = node->NumAffectingActions;
    node->NumAffectingActions = 0;
  }
  int total = RateDSCount + ImpulseDSCount;
  if (total == 0) return;
  PVAffectingActions = new BaseActionClass*[static_cast<size_t>(total)]();
  PVAffectedSets = new FastSet*[static_cast<size_t>(total)]();
  for (int a = 0; a < NumActions; a++) {
    BaseActionClass* action = Actions[a];
    if (setIsEmpty(action->AffectedNodesByRateReward) && setIsEmpty(action->AffectedNodesByImpulseReward)) continue;
    CreateTotalPVAffectsList(action);
    if (NumPVAffectingActions < total) {
      PVAffectingActions[NumPVAffectingActions] = action;
      PVAffectedSets[NumPVAffectingActions] = &action->AffectedNodes;
      NumPVAffectingActions++;
    }
    const FastSet& nodes = action->AffectedNodes;
    for (int k = 0; k < nodes.size(); k++) {
      PerformanceVariableNode* node = PVList[nodes[k]];
      if (node->NumAffectingActions < node->AffectingActionsCapacity)
        node->AffectingActions[node->NumAffectingActions++] = action;
    }
  }
}

int PVModel::indexPosition(const BaseActionClass* action) const {
  long long at = static_cast<long long>(action->ActionNumber) - indexBase_;
  if (at < 0 || at >= static_cast<long long>(indexPositions_.size())) return 0;
  int position = indexPositions_[static_cast<size_t>(at)];
  return position > 0 && IndexActions[position - 1] == action ? position : 0;
}

void PVModel::CreatePVStateIndex() {
  ModelStateSize = TheModel->StateSize();
  IndexBytes = 0;
  indexPositions_.clear();
  if (IndexMode == 1) {
    IndexActions = Actions;
    NumIndexActions = NumActions;
    // Wide enough for the positions 0..NumIndexActions.
    IndexBytes = NumIndexActions < 0x100 ? 1 : NumIndexActions < 0x10000 ? 2 : 4;
    int low = 0;
    int high = -1;
    for (int a = 0; a < NumIndexActions; a++) {
      int n = IndexActions[a]->ActionNumber;
      if (a == 0 || n < low) low = n;
      if (a == 0 || n > high) high = n;
    }
    indexBase_ = low;
    indexPositions_.assign(static_cast<size_t>(high - low + 1), 0);
    for (int a = NumIndexActions - 1; a >= 0; a--)
      indexPositions_[static_cast<size_t>(IndexActions[a]->ActionNumber - low)] = a + 1;
  }
  TotalStateSize = ModelStateSize + IndexBytes;
}

// ---------------------------------------------------------------------------
// Firing

void PVModel::FireAction(void* dest, BaseActionClass* action) {
  FireWithoutRewards(dest, action);
  EvaluateRewards();
}

void PVModel::FireWithoutRewards(void* dest, BaseActionClass* action) {
  action->Fire();
  TheModel->ReportFiring(action);
  LastActionFired = action;
  CurrentState(dest);
}

void PVModel::EvaluateRewards() {
  for (PerformanceVariableNode* node : ConsideredPVs) node->CurrentReward(LastActionFired);
}

void PVModel::AgeAction(char* state, BaseActionClass*) {
  LastActionFired = &NoActionFiredYet;
  if (IndexMode == 1 && IndexBytes > 0 && state) {
    const auto* suffix = reinterpret_cast<const unsigned char*>(state) + ModelStateSize;
    unsigned int position = 0;
    for (int b = 0; b < IndexBytes; b++) position |= static_cast<unsigned int>(suffix[b]) << (8 * b);
    if (position > 0 && position <= static_cast<unsigned int>(NumIndexActions))
      LastActionFired = IndexActions[position - 1];
  }
  for (PerformanceVariableNode* node : ConsideredPVs) node->CurrentReward(LastActionFired);
}

// ---------------------------------------------------------------------------
// PV type file

void PVModel::WritePVTypeFile(const char* path, const char* reportedName, FileCreation creation) {
  if (!path) return;
  std::ostringstream out;
  out << "Version:1\n";
  out << "NumPV:" << NumPVNodes << "\n";
  for (int i = 0; i < NumPVNodes; i++) {
    const PerformanceVariableNode* node = PVList[i];
    out << "Name:" << (node->Name ? node->Name : "") << "\n";
    out << "Type:" << static_cast<int>(node->GetRewardType()) << "\n";
    out << "NumTimes:" << node->GetNumTimePoints() << "\n";
    for (int t = 0; t < node->GetNumTimePoints(); t++) {
      out << "Start:" << node->StartTimes[static_cast<size_t>(t)] << "\n";
      out << "Stop:" << node->StopTimes[static_cast<size_t>(t)] << "\n";
    }
  }
  const std::string text = out.str();
  const std::string name = reportedName ? reportedName : path;
  const auto failure = [&name](int error) {
    return GenError("Error: writing output file " + name + " failed: " + std::generic_category().message(error));
  };

  const int fd = openOutputFile(path, creation);
  if (fd < 0)
    throw GenError("Error: Could not open pvtype file " + name + ": " + std::generic_category().message(errno));
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      throw failure(error);
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  // A device that cannot be synced (EINVAL) has nothing to sync.
  if (::fsync(fd) != 0 && errno != EINVAL) {
    const int error = errno;
    ::close(fd);
    throw failure(error);
  }
  if (::close(fd) != 0 && errno != EINTR) throw failure(errno);
}

// ---------------------------------------------------------------------------
// Release

void PVModel::releaseActionDS(BaseActionClass* action) {
  if (action->PVImpulseWorkers) {
    for (int i = 0; i < action->PVDSSize && i < NumPVNodes; i++) {
      int** lists = action->PVImpulseWorkers[i];
      if (!lists) continue;
      for (int j = 0; j < PVList[i]->NumImpulses; j++) delete[] lists[j];
      delete[] lists;
      action->PVImpulseWorkers[i] = nullptr;
      delete[] action->PVImpulseWorkerCounts[i];
      action->PVImpulseWorkerCounts[i] = nullptr;
    }
  }
  action->DeallocatePVRateDS();
  action->DeallocatePVImpulseDS();
}

void PVModel::Destruct() {
  if (destructed_) return;
  destructed_ = true;
  for (BaseActionClass* action : dsActions_) releaseActionDS(action);
  dsActions_.clear();
  releaseActionDS(&NoActionFiredYet);
  for (int i = 0; i < NumPVNodes; i++) {
    delete[] PVList[i]->AffectingActions;
    PVList[i]->AffectingActions = nullptr;
  }
  delete[] PVAffectingActions;
  PVAffectingActions = nullptr;
  delete[] PVAffectedSets;
  PVAffectedSets = nullptr;
  NumPVAffectingActions = 0;
  ConsideredPVs.clear();
  for (int i = 0; i < NumPVNodes; i++) delete PVList[i];
  delete[] PVList;
  PVList = nullptr;
  NumPVNodes = 0;
  delete TheModel;
  TheModel = nullptr;
  // The flat arrays belonged to TheModel.
  Actions = nullptr;
  NumActions = 0;
  Groups = nullptr;
  NumGroups = 0;
  IndexActions = nullptr;
  NumIndexActions = 0;
  LastActionFired = &NoActionFiredYet;
}
