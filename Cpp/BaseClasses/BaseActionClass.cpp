#include "BaseActionClass.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "BaseStateVariableClass.h"
#include "GenError.h"
#include "StandardErrors.h"
#include "UserDistributions.h"

// The process-wide random-variate source: lagged-Fibonacci numbers seeded
// with 31415.
UserDistributions TheGenerator(0, 31415);
Distributions* TheDistribution = &TheGenerator;

namespace {

char* copyName(const char* text) {
  if (text == nullptr) text = "";
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy == nullptr) MemoryAllocationError();
  std::memcpy(copy, text, n);
  return copy;
}

}  // namespace

BaseActionClass::BaseActionClass() : Name(copyName("default")) {}

BaseActionClass::BaseActionClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                                 int numAffects, int numEnabledBy, bool reactivation) {
  BaseActionClassInitialize(name, groupId, dist, policy, numAffects, numEnabledBy, reactivation);
}

BaseActionClass::~BaseActionClass() {
  std::free(Name);
  DeallocatePVRateDS();
  DeallocatePVImpulseDS();
}

void BaseActionClass::BaseActionClassInitialize(const char* name, int groupId, Distribution dist,
                                                ExecutionPolicyType policy, int, int, bool reactivation) {
  defineName(name);
  GroupId = groupId;
  DistributionType = dist;
  ExecutionPolicy = policy;
  Reactivation = reactivation;
}

void BaseActionClass::defineName(const char* name) {
  char* copy = copyName(name);
  std::free(Name);
  Name = copy;
}

bool BaseActionClass::isSync() { return false; }
bool BaseActionClass::Enabled() { return false; }
double BaseActionClass::Weight() { return 0; }
double BaseActionClass::Rate() { return 0; }
bool BaseActionClass::ReactivationPredicate() { return false; }
bool BaseActionClass::ReactivationFunction() { return false; }
double BaseActionClass::SampleDistribution() { return 0; }
double* BaseActionClass::ReturnDistributionParameters() { return nullptr; }
void BaseActionClass::SetFired(int fired) { Fired = fired != 0; }
void BaseActionClass::Fire() {}
int BaseActionClass::Rank() { return 0; }
bool BaseActionClass::EnablingChange() { return false; }
bool BaseActionClass::IsAMember(BaseActionClass* a) { return a == this; }
double BaseActionClass::Probability(BaseActionClass*) { return 1; }

void BaseActionClass::printAffectedState(std::ostream* out) {
  for (int i = 0; i < AffectedSVs.getNumItems(); i++) AffectedSVs[i]->printState(out);
}

void BaseActionClass::printEnablingState(std::ostream* out) {
  for (int i = 0; i < EnablingSVs.getNumItems(); i++) EnablingSVs[i]->printState(out);
}

BaseActionClass* BaseActionClass::getPrintedAction() { return this; }

double BaseActionClass::ErlangParamM() { return 1; }

void BaseActionClass::addEnablingSV(BaseStateVariableClass* v) {
  if (v == nullptr) return;
  if (v->isLeafNode())
    EnablingSVs.append(v);
  else
    v->addSelfAsEnablingSVToAction(this);
}

void BaseActionClass::removeEnablingSV(BaseStateVariableClass* v) {
  if (v == nullptr) return;
  if (v->isLeafNode())
    EnablingSVs.remove(v);
  else
    v->removeSelfFromEnablingSVOfAction(this);
}

void BaseActionClass::addAffectedSV(BaseStateVariableClass* v) {
  if (v == nullptr) return;
  if (v->isLeafNode())
    AffectedSVs.append(v);
  else
    v->addSelfAsAffectedSVToAction(this);
}

void BaseActionClass::removeAffectedSV(BaseStateVariableClass* v) {
  if (v == nullptr) return;
  if (v->isLeafNode())
    AffectedSVs.remove(v);
  else
    v->removeSelfFromAffectedSVOfAction(this);
}

void BaseActionClass::AllocatePVRateDS(int n) {
  DeallocatePVRateDS();
  if (n < 0) n = 0;
  PVRateDS = new (std::nothrow) FastSet[static_cast<size_t>(n)];
  if (PVRateDS == nullptr) {
    throw GenError("!! Memory allocation error in BaseActionClass::AllocatePVRateDS()");
  }
  PVDSSize = n;
}

void BaseActionClass::AllocatePVImpulseDS(int n) {
  DeallocatePVImpulseDS();
  if (n < 0) n = 0;
  auto count = static_cast<size_t>(n);
  PVImpulseDS = new (std::nothrow) FastSet[count];
  PVImpulseWorkers = new (std::nothrow) int**[count > 0 ? count : 1]();
  PVImpulseWorkerCounts = new (std::nothrow) int*[count > 0 ? count : 1]();
  if (PVImpulseDS == nullptr || PVImpulseWorkers == nullptr || PVImpulseWorkerCounts == nullptr) {
    throw GenError("!! Memory allocation error in BaseActionClass::AllocatePVImpulseDS()");
  }
  PVDSSize = n;
}

void BaseActionClass::DeallocatePVRateDS() {
  delete[] PVRateDS;
  PVRateDS = nullptr;
}

void BaseActionClass::DeallocatePVImpulseDS() {
  delete[] PVImpulseDS;
  PVImpulseDS = nullptr;
  delete[] PVImpulseWorkers;
  PVImpulseWorkers = nullptr;
  delete[] PVImpulseWorkerCounts;
  PVImpulseWorkerCounts = nullptr;
}

void BaseActionClass::PrintInfo() {
  std::cout << "********* " << Name << "**********" << std::endl << std::endl;
  std::cout << "Enabled by:" << std::endl << std::endl;
  for (int i = 0; i < EnablingSVs.getNumItems(); i++)
    std::cout << "           " << EnablingSVs[i]->getName() << std::endl;
  std::cout << "Affects:" << std::endl << std::endl;
  for (int i = 0; i < AffectedSVs.getNumItems(); i++)
    std::cout << "           " << AffectedSVs[i]->getName() << std::endl;
  std::cout << "Group ID = " << GroupId << std::endl;
  std::cout << "Execution Policy = " << static_cast<int>(ExecutionPolicy) << std::endl;
  std::cout << "Disabled = " << (Disabled ? 1 : 0) << std::endl;
  std::cout << "Reactivation = " << (Reactivation ? 1 : 0) << std::endl;
  std::cout << "DistributionType = " << static_cast<int>(DistributionType) << std::endl;
}
