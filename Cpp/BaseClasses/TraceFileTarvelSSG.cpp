#include "TraceFileTarvelSSG.h"

#include "BaseActionClass.h"
#include "BaseModelClass.h"
#include "BaseStateVariableClass.h"
#include "PVModel.h"

static const char kStars[] = "**************************************";  // 38

void TraceFileTarvelSSG::printHeader(PVModel*) {
  if (!output) return;
  *output << kStars << std::endl << "\t\tTRACE" << std::endl << kStars << std::endl;
}

void TraceFileTarvelSSG::printInitialState(BaseModelClass* m) {
  if (!output) return;
  *output << "Initial Model State:" << std::endl;
  printState(m);
}

void TraceFileTarvelSSG::printState(PVModel* pv) {
  if (pv) printState(pv->TheModel);
}

// Depth-first dump of the model tree: each model's line, its local state
// variables (composers have none of their own), then its children in order.
void TraceFileTarvelSSG::printState(BaseModelClass* m) {
  if (!output || !m) return;
  BaseStateVariableClass** vars = m->GetLocalStateVariables(output);
  *output << "  Model: (" << m->ModelId << ")" << (m->Name ? m->Name : "") << std::endl;
  if (vars) {
    for (int i = 0; i < m->NumStateVariables; i++) {
      *output << "    " << vars[i]->getName() << " = ";
      vars[i]->printStateVal(output);
      *output << std::endl;
    }
  }
  int children = m->GetNumberOfChildren();
  for (int i = 0; i < children; i++) printState(m->GetChild(i));
}

void TraceFileTarvelSSG::printFireAction(BaseActionClass* a, double) {
  if (!output || traceLevel < 1) return;
  *output << "Firing Action: " << a->getName() << std::endl;
}

void TraceFileTarvelSSG::printPreFireAction(BaseActionClass* a) {
  if (!output || traceLevel < 2) return;
  *output << "Enabling state before action firing:" << std::endl;
  BaseActionClass* printed = a->getPrintedAction();
  for (int i = 0; i < printed->EnablingSVs.getNumItems(); i++) {
    BaseStateVariableClass* v = printed->EnablingSVs[i];
    *output << "  " << v->getName() << " = ";
    v->printStateVal(output);
    *output << std::endl;
  }
}

void TraceFileTarvelSSG::printPostFireAction(BaseActionClass* a, BaseActionClass*) {
  if (!output) return;
  *output << "State after firing action: " << a->getName() << std::endl;
}

void TraceFileTarvelSSG::newBatch() {
  if (!output) return;
  *output << "##### NEW BATCH #####" << std::endl;
}

void TraceFileTarvelSSG::printStr(int level, const char* text) {
  if (!output || traceLevel < level) return;
  *output << text << std::endl;
}
