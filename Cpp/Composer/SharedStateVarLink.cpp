#include "SharedStateVarLink.h"

#include <iostream>

#include "BaseStateVariableClass.h"

bool SharedStateVarLink::hasStateVar(BaseStateVariableClass* sv) const {
  for (const SharedStateVarLink* l = this; l; l = l->Next)
    if (l->StateVar == sv) return true;
  return false;
}

void SharedStateVarLink::addStateVarLink(SharedStateVarLink* link) {
  SharedStateVarLink* last = this;
  while (last->Next) last = last->Next;
  last->Next = link;
}

void SharedStateVarLink::clearStateVarList(SharedStateVarLink* link) {
  while (link) {
    SharedStateVarLink* next = link->Next;
    delete link;
    link = next;
  }
}

void SharedStateVarLink::printAllStateVariables() const {
  for (const SharedStateVarLink* l = this; l; l = l->Next) {
    std::cout << "      This link holds state var "
              << (l->StateVar && l->StateVar->getName() ? l->StateVar->getName() : "") << " at address "
              << static_cast<const void*>(l->StateVar) << "\n";
  }
}
