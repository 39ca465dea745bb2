#ifndef PERFORMANCE_VARIABLE_WORKER_H
#define PERFORMANCE_VARIABLE_WORKER_H

#include <string>
#include <vector>

#include "BaseModelClass.h"

// Where a worker keeps one of the model instances it is bound to: a typed
// model-pointer member of the generated worker class. Binding remembers the
// member's address together with its class, so that storing a model found by
// name is type-checked once, at set-up, and Reward_Function can read the
// typed member directly.
//
//   ram_systemSAN* ram_system = nullptr;
//   ...
//   BindModelSlots(&ram_system);   // in the generated worker's constructor
class ModelSlot {
 public:
  ModelSlot() = default;
  template <class M>
  ModelSlot(M** member) : target_(member), assign_(&assignTyped<M>) {}  // NOLINT: implicit on purpose

  // Stores `model` (or null) in the bound member. False, storing nothing,
  // when the slot is unbound or the model is not of the member's class.
  bool set(BaseModelClass* model) const { return assign_ != nullptr && assign_(target_, model); }
  bool isBound() const { return assign_ != nullptr; }

 private:
  template <class M>
  static bool assignTyped(void* target, BaseModelClass* model) {
    M* typed = dynamic_cast<M*>(model);
    if (model != nullptr && typed == nullptr) return false;
    *static_cast<M**>(target) = typed;
    return true;
  }

  void* target_ = nullptr;
  bool (*assign_)(void*, BaseModelClass*) = nullptr;
};

// Evaluates a reward variable for one combination of model instances. The
// node (PerformanceVariableNode) creates one worker per combination and binds
// model slot d to the instance of its model dependency d; generated
// subclasses supply Reward_Function, which reads the marking through the
// typed members behind the slots.
//
// Ownership: the worker owns its Name and its ModelSlots (released by this
// destructor); generated code must not free them.
class PerformanceVariableWorker {
 public:
  PerformanceVariableWorker() = default;
  PerformanceVariableWorker(const PerformanceVariableWorker&) = delete;
  PerformanceVariableWorker& operator=(const PerformanceVariableWorker&) = delete;
  virtual ~PerformanceVariableWorker() = default;

  virtual double Reward_Function() = 0;
  virtual void Accumulate(double time, double duration) = 0;
  // Base: reports the call on standard error and computes nothing.
  virtual void CurrentReward();
  virtual void Reset();

  // The worker's Name becomes a copy of `name`, its Index becomes `index`.
  void DefineName(const char* name, int index);

  // Binds one model slot per argument, in dependency order.
  template <class... M>
  void BindModelSlots(M**... members) {
    ModelSlots = {ModelSlot(members)...};
    NumModelSlots = static_cast<int>(ModelSlots.size());
  }

  std::vector<ModelSlot> ModelSlots;
  int NumModelSlots = 0;
  int Reserved = 0;
  std::string Name;
  int Index = -1;
  int PVId = -1;
  double Value = 0.0;
  double ValueSquared = 0.0;
  double Weight = 0.0;  // used only by time accumulation
  double TimeStart = 0.0;
  double TimeStop = 0.0;
};

#endif
