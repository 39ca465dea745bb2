#ifndef ACTION_MODEL_PAIR_CLASS_H
#define ACTION_MODEL_PAIR_CLASS_H

#include <string>

// The action that earns an impulse reward: an action name in the models of a
// given name.
class ActionModelPairClass {
 public:
  ActionModelPairClass() = default;

  // Replaces both names by copies (null stands for the empty name).
  void SetPair(const char* actionName, const char* modelName);

  std::string ModelName;
  std::string ActionName;
};

#endif
