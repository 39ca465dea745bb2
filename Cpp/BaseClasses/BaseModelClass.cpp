#include "BaseModelClass.h"

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
