#ifndef VAR_MODEL_PAIR_CLASS_H
#define VAR_MODEL_PAIR_CLASS_H

#include <string>

// A variable dependency of a reward variable: a state-variable name in the
// models of a given name.
class VarModelPairClass {
 public:
  VarModelPairClass() = default;
  VarModelPairClass(const char* varName, const char* modelName) { SetPair(varName, modelName); }

  // Stores copies of both names (null stands for the empty name).
  void SetPair(const char* varName, const char* modelName);

  std::string ModelName;
  std::string VarName;
};

#endif
