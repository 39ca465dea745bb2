#include "BaseStateVariableClass.h"

#include <cstdlib>
#include <cstring>

#include "BaseActionClass.h"
#include "StandardErrors.h"

namespace {

// Copies a name with the C allocator. A copy that cannot be made ends the
// run: a variable without its name cannot be listed or looked up. Renaming
// says so first ("Not Enough Memory").
char* copyText(const char* text, bool renaming = false) {
  if (text == nullptr) text = "";
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy == nullptr) {
    if (renaming) std::cerr << "Not Enough Memory" << std::endl;
    MemoryAllocationError();
  }
  std::memcpy(copy, text, n);
  return copy;
}

List<BaseActionClass>* newActionList() {
  auto* list = new (std::nothrow) List<BaseActionClass>;
  if (list == nullptr) MemoryAllocationError();
  return list;
}

}  // namespace

BaseStateVariableClass::BaseStateVariableClass()
    : name(copyText("default")),
      prefix(copyText("")),
      SVAffectingActions(newActionList()),
      SVEnabledActions(newActionList()) {}

BaseStateVariableClass::BaseStateVariableClass(const char* n, const char* p)
    : name(copyText(n)), prefix(copyText(p)), SVAffectingActions(newActionList()), SVEnabledActions(newActionList()) {}

BaseStateVariableClass::~BaseStateVariableClass() {
  std::free(name);
  std::free(prefix);
  // Absorbed variables point at the lists of their group's stored variable,
  // which alone releases them.
  if (Stored) {
    if (SVEnabledActions != SVAffectingActions) delete SVEnabledActions;
    delete SVAffectingActions;
  }
}

void BaseStateVariableClass::printState(std::ostream*) {}

void BaseStateVariableClass::printState() { printState(&std::cout); }

void BaseStateVariableClass::printStateVal(std::ostream*) {}

void BaseStateVariableClass::appendAffectingAction(BaseActionClass* a) { SVAffectingActions->append(a); }

void BaseStateVariableClass::removeAffectingAction(BaseActionClass* a) { SVAffectingActions->remove(a); }

void BaseStateVariableClass::replaceAffectingAction(BaseActionClass* oldAction, BaseActionClass* newAction) {
  SVAffectingActions->replaceItem(oldAction, newAction);
}

void BaseStateVariableClass::addSelfAsEnablingSVToAction(BaseActionClass* a) { a->addEnablingSV(this); }

void BaseStateVariableClass::addSelfAsAffectedSVToAction(BaseActionClass* a) { a->addAffectedSV(this); }

void BaseStateVariableClass::removeSelfFromEnablingSVOfAction(BaseActionClass* a) { a->removeEnablingSV(this); }

void BaseStateVariableClass::removeSelfFromAffectedSVOfAction(BaseActionClass* a) { a->removeAffectedSV(this); }

List<BaseStateVariableClass>* BaseStateVariableClass::getLeafNodes() {
  auto* list = new (std::nothrow) List<BaseStateVariableClass>;
  if (list == nullptr) MemoryAllocationError();
  list->append(this);
  return list;
}

int BaseStateVariableClass::getNumLeafNodes() { return 1; }

bool BaseStateVariableClass::isLeafNode() { return true; }

void BaseStateVariableClass::appendEnabledAction(BaseActionClass* a) { SVEnabledActions->append(a); }

void BaseStateVariableClass::removeEnabledAction(BaseActionClass* a) { SVEnabledActions->remove(a); }

void BaseStateVariableClass::replaceEnabledAction(BaseActionClass* oldAction, BaseActionClass* newAction) {
  SVEnabledActions->replaceItem(oldAction, newAction);
}

void BaseStateVariableClass::SetName(const char* n) {
  char* copy = copyText(n, true);
  std::free(name);
  name = copy;
}

void BaseStateVariableClass::SetPrefix(const char* p) {
  char* copy = copyText(p, true);
  std::free(prefix);
  prefix = copy;
}

void BaseStateVariableClass::copyAffectingActions(List<BaseActionClass>* list) {
  if (list == nullptr) return;
  for (int i = 0; i < list->getNumItems(); i++) SVAffectingActions->append(list->getItem(i));
}

void BaseStateVariableClass::copyEnabledActions(List<BaseActionClass>* list) {
  if (list == nullptr) return;
  for (int i = 0; i < list->getNumItems(); i++) SVEnabledActions->append(list->getItem(i));
}

int BaseStateVariableClass::getNumAffectingActions() const {
  return SVAffectingActions ? SVAffectingActions->getNumItems() : 0;
}

int BaseStateVariableClass::getNumEnabledActions() const {
  return SVEnabledActions ? SVEnabledActions->getNumItems() : 0;
}

BaseActionClass* BaseStateVariableClass::getAffectingAction(int i) const {
  if (i < 0 || i >= getNumAffectingActions()) {
    std::cerr << "!! BaseStateVariableClass::getAffectingAction(int):  AffectingAction index out of bounds"
              << std::endl;
    return nullptr;
  }
  return SVAffectingActions->getItem(i);
}

BaseActionClass* BaseStateVariableClass::getEnabledAction(int i) const {
  if (i < 0 || i >= getNumEnabledActions()) {
    std::cerr << "!! BaseStateVariableClass::getEnabledAction(int):  EnabledAction index out of bounds" << std::endl;
    return nullptr;
  }
  return SVEnabledActions->getItem(i);
}

void BaseStateVariableClass::printAffectingActions() const {
  std::cout << "Affecting actions for " << name << ":" << std::endl;
  if (SVAffectingActions) SVAffectingActions->printList();
}

void BaseStateVariableClass::printEnabledActions() const {
  std::cout << "Enabled actions for " << name << ":" << std::endl;
  if (SVEnabledActions) SVEnabledActions->printList();
}
