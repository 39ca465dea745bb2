#include "BaseGroupClass.h"

#include <new>
#include <string>

#include "BaseStateVariableClass.h"
#include "Distributions.h"
#include "RandomNumberGenerator.h"
#include "StandardErrors.h"

BaseGroupClass::BaseGroupClass() = default;

BaseGroupClass::BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                               int numAffects, int numEnabledBy, bool reactivation)
    : BaseActionClass(name, groupId, dist, policy, numAffects, numEnabledBy, reactivation) {}

BaseGroupClass::BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                               int numAffects, int numEnabledBy, bool reactivation, int n)
    : BaseActionClass(name, groupId, dist, policy, numAffects, numEnabledBy, reactivation) {
  allocateArrays(n);
}

BaseGroupClass::~BaseGroupClass() {
  delete[] Members;
  delete[] WeightDistribution;
}

void BaseGroupClass::BaseGroupClassInitialize(const char* name, int groupId, Distribution dist,
                                              ExecutionPolicyType policy, int numAffects, int numEnabledBy,
                                              bool reactivation) {
  BaseActionClassInitialize(name, groupId, dist, policy, numAffects, numEnabledBy, reactivation);
}

void BaseGroupClass::allocateArrays(int n) {
  if (n < 0) n = 0;
  auto slots = static_cast<size_t>(n > 0 ? n : 1);
  auto* members = new (std::nothrow) BaseActionClass*[slots]();
  auto* weights = new (std::nothrow) WeightEntry[slots]();
  if (members == nullptr || weights == nullptr) MemoryAllocationError();
  delete[] Members;
  delete[] WeightDistribution;
  Members = members;
  WeightDistribution = weights;
  Capacity = n;
}

void BaseGroupClass::initialize(int n, const char* name) {
  allocateArrays(n);
  defineName(name);
  NumMembers = 0;
  SelectedAction = nullptr;
  CurrentRank = 0;
  NumEntries = 0;
}

void BaseGroupClass::enlargeArrays(int n) {
  // The members are kept: the arrays never shrink below the member count.
  if (n < NumMembers) n = NumMembers;
  auto slots = static_cast<size_t>(n > 0 ? n : 1);
  auto* members = new (std::nothrow) BaseActionClass*[slots]();
  auto* weights = new (std::nothrow) WeightEntry[slots]();
  if (members == nullptr || weights == nullptr) MemoryAllocationError();
  for (int i = 0; i < NumMembers; i++) members[i] = Members[i];
  if (NumEntries > n) NumEntries = n;
  for (int i = 0; i < NumEntries; i++) weights[i] = WeightDistribution[i];
  delete[] Members;
  delete[] WeightDistribution;
  Members = members;
  WeightDistribution = weights;
  Capacity = n;
}

void BaseGroupClass::appendGroup(BaseGroupClass* g) {
  if (NumMembers >= Capacity) enlargeArrays(NumMembers + 1);
  Members[NumMembers++] = g;
}

void BaseGroupClass::appendMembers(BaseGroupClass* g) {
  if (g == nullptr) return;
  int added = g->NumMembers;  // read first: g may be this group
  int newCount = NumMembers + added;
  if (Capacity < newCount) enlargeArrays(newCount);
  for (int i = 0; i < added; i++) Members[NumMembers + i] = g->Members[i];
  NumMembers = newCount;
}

void BaseGroupClass::setMember(BaseGroupClass* g, int i) {
  if (i < 0 || i >= NumMembers) {
    ArrayOutOfBoundsError("Array out of bounds (BaseGroupClass::setMember()");
    return;
  }
  Members[i] = g;
}

void BaseGroupClass::replaceMember(BaseActionClass* oldAction, BaseActionClass* newAction) {
  if (SelectedAction == oldAction) SelectedAction = newAction;
  for (int i = 0; i < NumMembers; i++)
    if (Members[i] == oldAction) Members[i] = newAction;
}

bool BaseGroupClass::Enabled() {
  bool any = false;
  for (int i = 0; i < NumMembers; i++)
    if (Members[i] != nullptr && Members[i]->Enabled()) any = true;
  return any;
}

double BaseGroupClass::Weight() { return SelectedAction ? SelectedAction->Weight() : 0; }
double BaseGroupClass::Rate() { return SelectedAction ? SelectedAction->Rate() : 0; }
bool BaseGroupClass::ReactivationPredicate() { return false; }
bool BaseGroupClass::ReactivationFunction() { return false; }
double BaseGroupClass::SampleDistribution() { return SelectedAction ? SelectedAction->SampleDistribution() : 0; }
int BaseGroupClass::Rank() { return SelectedAction ? SelectedAction->Rank() : 0; }

void BaseGroupClass::Fire() {
  if (SelectedAction != nullptr) SelectedAction->Fire();
  SelectedAction = nullptr;
}

bool BaseGroupClass::EnablingChange() {
  bool any = false;
  for (int i = 0; i < NumMembers; i++)
    if (Members[i] != nullptr && Members[i]->EnablingChange()) any = true;
  return any;
}

bool BaseGroupClass::IsAMember(BaseActionClass* a) {
  for (int i = 0; i < NumMembers; i++)
    if (Members[i] == a) return true;
  return false;
}

double BaseGroupClass::CalculateWeightDistribution() {
  int i = 0;
  for (; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (m == nullptr) continue;
    if (m->Enabled()) break;
    m->Disabled = true;
  }
  if (i >= NumMembers) {
    NumEntries = 0;
    return -1;
  }
  BaseActionClass* first = Members[i];
  CurrentRank = first->Rank();
  first->Disabled = false;
  WeightDistribution[0] = {first->Weight(), first};
  int entries = 1;
  for (i++; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (m == nullptr) continue;
    if (!m->Enabled()) {
      m->Disabled = true;
      continue;
    }
    int rank = m->Rank();
    if (rank < CurrentRank) {
      m->Disabled = true;
    } else if (rank == CurrentRank) {
      m->Disabled = false;
      WeightDistribution[entries] = {WeightDistribution[entries - 1].cumulativeWeight + m->Weight(), m};
      entries++;
    } else {
      CurrentRank = rank;
      WeightDistribution[0] = {m->Weight(), m};
      entries = 1;
      m->Disabled = false;
    }
  }
  NumEntries = entries;
  return WeightDistribution[entries - 1].cumulativeWeight;
}

int BaseGroupClass::findEntry(double x) const {
  int lo = 0;
  int hi = NumEntries - 1;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (WeightDistribution[mid].cumulativeWeight > x)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

bool BaseGroupClass::SelectAction() {
  double u = TheDistribution->getGenerator()->rnd();
  // Tested before scaling: a draw of 0 would turn the "none enabled" total of
  // -1 into -0, which is not negative.
  double total = CalculateWeightDistribution();
  if (total < 0 || NumEntries == 0) return false;
  double x = total * u;
  BaseActionClass* winner = WeightDistribution[findEntry(x)].member;
  if (auto* group = dynamic_cast<BaseGroupClass*>(winner)) {
    group->SelectAction();
    SelectedAction = group->SelectedAction;
  } else {
    SelectedAction = winner;
  }
  return true;
}

double BaseGroupClass::Probability(BaseActionClass* a) {
  int maxRank = 0;
  double total = 0;
  BaseActionClass* holder = nullptr;
  for (int i = 0; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (m == nullptr) continue;
    if (m->Enabled()) {
      int rank = m->Rank();
      if (rank > maxRank) {
        maxRank = rank;
        total = 0;
      }
      if (rank == maxRank) total += m->Weight();
    }
    if (m == a || m->IsAMember(a)) holder = m;
  }
  if (holder == nullptr) return 0;
  if (holder->Rank() < maxRank) return 0;
  double p = holder->Weight() / total;
  if (total == 0) std::cout << "BaseGroupClass::Probability() TotalWeight is zero.\n";
  return holder->Probability(a) * p;
}

void BaseGroupClass::printEnablingState(std::ostream* out) {
  BaseActionClass* shown = (NumMembers > 0 && Members[0] != nullptr) ? Members[0] : this;
  for (int i = 0; i < shown->EnablingSVs.getNumItems(); i++) shown->EnablingSVs[i]->printState(out);
}

BaseActionClass* BaseGroupClass::getPrintedAction() {
  return (NumMembers > 0 && Members[0] != nullptr) ? Members[0] : this;
}

void BaseGroupClass::setGroupId(int g) {
  for (int i = 0; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (m == nullptr) continue;
    if (auto* group = dynamic_cast<BaseGroupClass*>(m))
      group->setGroupId(g);
    else
      m->GroupId = g;
  }
}

void BaseGroupClass::PrintInfo() {
  std::cout << "************ Group: " << getName() << " ****************" << std::endl;
  std::cout << "Contains the following actions:" << std::endl;
  for (int i = 0; i < NumMembers; i++) std::cout << "  " << (Members[i] ? Members[i]->getName() : "") << std::endl;
  std::cout << "Selected Action = " << (SelectedAction ? SelectedAction->getName() : "") << std::endl;
}

void BaseGroupClass::printGroup() {
  std::cout << "** Members of Group " << getName() << std::endl;
  printGroup("", 0);
}

void BaseGroupClass::printGroup(const char* prefix, int indent) {
  if (prefix == nullptr) prefix = "";
  for (int i = 0; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (m == nullptr) continue;
    std::cout << std::string(static_cast<size_t>(indent > 0 ? indent : 0), ' ') << "[" << prefix << i << "] "
              << m->getName() << std::endl;
    auto* group = dynamic_cast<BaseGroupClass*>(m);
    if (group != nullptr && group != this && group->NumMembers > 1) {
      std::string nested = std::string(prefix) + std::to_string(i) + ".";
      group->printGroup(nested.c_str(), indent + 2);
    }
  }
}
