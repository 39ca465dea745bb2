#ifndef MODEL_GROUP_CLASS_H
#define MODEL_GROUP_CLASS_H

#include <cstddef>
#include <vector>

class BaseModelClass;

// The model instances one worker is bound to, one per model dependency.
class ModelGroupClass {
 public:
  // Makes room for `n` entries, all null (replacing any previous list).
  void CreateModelList(int n);
  // Sets entry i; an index outside the list stops the process (assertion).
  void SetModel(int i, BaseModelClass* model);
  BaseModelClass* GetModel(int i) const { return Models[static_cast<size_t>(i)]; }
  bool IsDependentOnModel(BaseModelClass* model) const;
  int GetNumModels() const { return NumModels; }

  std::vector<BaseModelClass*> Models;
  int NumModels = 0;
};

#endif
