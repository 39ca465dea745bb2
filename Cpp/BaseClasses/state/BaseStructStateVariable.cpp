#include "BaseStructStateVariable.h"

#include <cstring>

#include "BaseActionClass.h"
#include "GenAssert.h"
#include "StandardErrors.h"

BaseStructStateVariable::BaseStructStateVariable() : BaseStateVariableClass(), CachedStateSize(0) {}

BaseStructStateVariable::BaseStructStateVariable(const char* name, const char* prefix)
    : BaseStateVariableClass(name, prefix) {}

BaseStructStateVariable::BaseStructStateVariable(const char* name, const char* prefix, const ArrayType* kinds, int n)
    : BaseStateVariableClass(name, prefix) {
  for (int i = 0; kinds != nullptr && i < n; i++) fields.push_back(BaseStructStateVariable::field(kinds[i], nullptr));
}

BaseStructStateVariable::~BaseStructStateVariable() = default;

int BaseStructStateVariable::scalarWidth(ArrayType kind) {
  switch (static_cast<int>(kind)) {
    case 0: return 2;
    case 1: return 4;
    case 2: return 1;
    case 3: return 8;
    case 4: return 4;
    default: return -1;
  }
}

int BaseStructStateVariable::elementWidth(const fieldType& f) {
  int width = scalarWidth(f.type);
  if (width >= 0) return width;
  return f.stateVariable != nullptr ? f.stateVariable->StateSize() : 0;
}

int BaseStructStateVariable::calculateStateSize() {
  int size = 0;
  for (const fieldType& f : fields) {
    int width = scalarWidth(f.type);
    // A scalar element that writes more or less than its slot would corrupt
    // its neighbours or leave bytes of the state undefined.
    if (width >= 0 && f.stateVariable != nullptr && f.stateVariable->StateSize() != width) InvalidStructType();
    size += elementWidth(f);
  }
  return size;
}

int BaseStructStateVariable::StateSize() {
  if (CachedStateSize < 0) CachedStateSize = calculateStateSize();
  return CachedStateSize;
}

void BaseStructStateVariable::SetState(void* src) {
  auto* bytes = static_cast<char*>(src);
  for (const fieldType& f : fields) {
    if (f.stateVariable != nullptr) f.stateVariable->SetState(bytes);
    bytes += elementWidth(f);
  }
}

void BaseStructStateVariable::CurrentState(void* dst) {
  auto* bytes = static_cast<char*>(dst);
  for (const fieldType& f : fields) {
    int width = elementWidth(f);
    if (f.stateVariable != nullptr)
      f.stateVariable->CurrentState(bytes);
    else
      std::memset(bytes, 0, static_cast<size_t>(width));
    bytes += width;
  }
}

void BaseStructStateVariable::printState(std::ostream* out) {
  *out << getName() << " = {" << std::endl;
  for (const fieldType& f : fields) {
    if (f.stateVariable == nullptr) continue;
    *out << ".";
    f.stateVariable->printState(out);
  }
  *out << "}" << std::endl;
}

void BaseStructStateVariable::share(BaseStateVariableClass* other) {
  auto* otherStruct = dynamic_cast<BaseStructStateVariable*>(other);
  GEN_ASSERT(otherStruct != nullptr, "otherStruct", "StructStateVariable");
  ShareWith(otherStruct);
}

BaseStructStateVariable* BaseStructStateVariable::root() {
  BaseStructStateVariable* r = this;
  while (r->structRepresentative != r) r = r->structRepresentative;
  return r;
}

void BaseStructStateVariable::ShareWith(BaseStructStateVariable* otherStruct) {
  GEN_ASSERT(otherStruct != nullptr, "otherStruct", "StructStateVariable");
  auto otheri = otherStruct->fields.begin();
  for (const fieldType& f : fields) {
    GEN_ASSERT(otheri != otherStruct->fields.end(), "otheri!=otherStruct->fields.end()", "StructStateVariable");
    if (f.stateVariable != nullptr && otheri->stateVariable != nullptr && f.stateVariable != otheri->stateVariable)
      f.stateVariable->share(otheri->stateVariable);
    ++otheri;
  }

  BaseStructStateVariable* survivor = root();
  BaseStructStateVariable* absorbed = otherStruct->root();
  if (survivor != absorbed) {
    List<BaseActionClass>* oldAffecting = absorbed->SVAffectingActions;
    List<BaseActionClass>* oldEnabled = absorbed->SVEnabledActions;
    SVAffectingActions->append(oldAffecting);
    SVEnabledActions->append(oldEnabled);
    // The absorbed group's variables all use the survivor's lists from now on.
    absorbed->absorbedStructs.push_back(absorbed);
    for (BaseStructStateVariable* member : absorbed->absorbedStructs) {
      member->SVAffectingActions = SVAffectingActions;
      member->SVEnabledActions = SVEnabledActions;
      member->structRepresentative = survivor;
      survivor->absorbedStructs.push_back(member);
    }
    absorbed->absorbedStructs.clear();
    absorbed->absorbedStructs.shrink_to_fit();
    if (oldAffecting != SVAffectingActions) delete oldAffecting;
    if (oldEnabled != SVEnabledActions && oldEnabled != oldAffecting) delete oldEnabled;
    absorbed->Shared = true;
    absorbed->Stored = false;
    otherStruct->Shared = true;
    otherStruct->Stored = false;
  }

  List<BaseActionClass>* affecting = otherStruct->SVAffectingActions;
  for (int i = 0; i < affecting->getNumItems(); i++) affecting->getItem(i)->AffectedSVs.replaceItem(otherStruct, this);
  List<BaseActionClass>* enabled = otherStruct->SVEnabledActions;
  for (int i = 0; i < enabled->getNumItems(); i++) enabled->getItem(i)->EnablingSVs.replaceItem(otherStruct, this);
}

fieldType BaseStructStateVariable::field(ArrayType kind, BaseStateVariableClass* var) const {
  fieldType f;
  f.stateVariable = var;
  f.type = kind;
  return f;
}

void BaseStructStateVariable::makeArrays(const ArrayType* kinds, int n) {
  for (int i = 0; kinds != nullptr && i < n; i++) fields.push_back(field(kinds[i], nullptr));
  CachedStateSize = -1;
}

ArrayType BaseStructStateVariable::getType(int i) const {
  GEN_ASSERT(i >= 0 && i < getSize(), "i < getSize()", "StructStateVariable");
  return fields[static_cast<size_t>(i)].type;
}

void BaseStructStateVariable::appendAffectingAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) f.stateVariable->appendAffectingAction(a);
  SVAffectingActions->append(a);
}

void BaseStructStateVariable::appendEnabledAction(BaseActionClass* a) {
  SVEnabledActions->append(a);
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) f.stateVariable->appendEnabledAction(a);
}

void BaseStructStateVariable::addSelfAsEnablingSVToAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) f.stateVariable->addSelfAsEnablingSVToAction(a);
}

void BaseStructStateVariable::addSelfAsAffectedSVToAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) f.stateVariable->addSelfAsAffectedSVToAction(a);
}

void BaseStructStateVariable::removeSelfFromEnablingSVOfAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) f.stateVariable->removeSelfFromEnablingSVOfAction(a);
}

void BaseStructStateVariable::removeSelfFromAffectedSVOfAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) f.stateVariable->removeSelfFromAffectedSVOfAction(a);
}

List<BaseStateVariableClass>* BaseStructStateVariable::getLeafNodes() {
  // A variable without elements is a leaf itself (as isLeafNode and
  // getNumLeafNodes report).
  if (fields.empty()) return BaseStateVariableClass::getLeafNodes();
  auto* leaves = new (std::nothrow) List<BaseStateVariableClass>;
  if (leaves == nullptr) MemoryAllocationError();
  for (const fieldType& f : fields) {
    if (f.stateVariable == nullptr) continue;
    List<BaseStateVariableClass>* childTemp = f.stateVariable->getLeafNodes();
    GEN_ASSERT(childTemp != nullptr, "childTemp", "StructStateVariable");
    leaves->append(childTemp);
    delete childTemp;
  }
  return leaves;
}

int BaseStructStateVariable::getNumLeafNodes() {
  int n = 0;
  for (const fieldType& f : fields)
    if (f.stateVariable != nullptr) n += f.stateVariable->getNumLeafNodes();
  return n == 0 ? 1 : n;
}

bool BaseStructStateVariable::isLeafNode() { return fields.empty(); }
