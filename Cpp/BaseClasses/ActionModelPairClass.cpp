#include "ActionModelPairClass.h"

void ActionModelPairClass::SetPair(const char* actionName, const char* modelName) {
  ActionName = actionName ? actionName : "";
  ModelName = modelName ? modelName : "";
}
