#include "VarModelPairClass.h"

void VarModelPairClass::SetPair(const char* varName, const char* modelName) {
  VarName = varName ? varName : "";
  ModelName = modelName ? modelName : "";
}
