#include "ModelGroupClass.h"

#include "GenAssert.h"

void ModelGroupClass::CreateModelList(int n) {
  NumModels = n > 0 ? n : 0;
  Models.assign(static_cast<size_t>(NumModels), nullptr);
}

void ModelGroupClass::SetModel(int i, BaseModelClass* model) {
  GEN_ASSERT(i >= 0 && i < NumModels, "i >= 0 && i < NumModels", "ModelGroupClass");
  Models[static_cast<size_t>(i)] = model;
}

bool ModelGroupClass::IsDependentOnModel(BaseModelClass* model) const {
  for (BaseModelClass* m : Models)
    if (m == model) return true;
  return false;
}
