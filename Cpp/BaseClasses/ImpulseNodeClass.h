#ifndef IMPULSE_NODE_CLASS_H
#define IMPULSE_NODE_CLASS_H

#include <string>
#include <vector>

#include "PerformanceVariableWorker.h"

// An impulse reward: a value earned when a particular action of a particular
// model instance fires. The generated impulse class serves both as the
// prototype registered with the node (PerformanceVariableNode::AddImpulse)
// and as the class of its workers, which CreateImpulseWorkers creates. Each
// worker belongs to one instance (`Model`) of the impulse's model and has one
// model slot per model-dependency name of the impulse.
//
// Ownership: a worker owns its Name and ModelSlots; the arrays returned by
// CreateImpulseWorkers, and the workers in them, are owned by the node.
class ImpulseNodeClass {
 public:
  ImpulseNodeClass() = default;
  explicit ImpulseNodeClass(int numDeps) : NumDeps(numDeps) {}
  ImpulseNodeClass(const ImpulseNodeClass&) = delete;
  ImpulseNodeClass& operator=(const ImpulseNodeClass&) = delete;
  virtual ~ImpulseNodeClass() = default;

  // The value earned by the firing just done (the generated impulse function).
  virtual double Impulse_Function() = 0;
  // Time accumulation of a simulator; not used by state-space generation.
  virtual void Accumulate(double time) = 0;
  virtual void ResetAccumulation() = 0;
  // Sets Value and ValueSquared for the firing just done.
  virtual void EvaluateImpulse() = 0;
  // Whether the impulse counts at `time` (time accumulation only).
  virtual bool IsActiveAt(double time) = 0;
  // A new array (new[]) of `count` new workers (new) of the generated class.
  virtual ImpulseNodeClass** CreateImpulseWorkers(int count) = 0;

  void Reset() {
    Value = 0.0;
    ValueSquared = 0.0;
  }
  void DefineName(const char* name, int impulseIndex, int workerIndex);
  static double min(double a, double b) { return a < b ? a : b; }
  static double max(double a, double b) { return a > b ? a : b; }

  template <class... M>
  void BindModelSlots(M**... members) {
    ModelSlots = {ModelSlot(members)...};
    NumModelSlots = static_cast<int>(ModelSlots.size());
  }

  std::vector<ModelSlot> ModelSlots;
  int NumModelSlots = 0;
  BaseModelClass* Model = nullptr;
  std::string Name;
  int WorkerIndex = -1;
  int ImpulseIndex = -1;
  int NumDeps = 0;
  int PVId = -1;
  double Value = 0.0;
  double ValueSquared = 0.0;
  double TimeStart = 0.0;
  double TimeStop = 0.0;
};

#endif
