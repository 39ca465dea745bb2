#include "ImpulseNodeClass.h"

void ImpulseNodeClass::DefineName(const char* name, int impulseIndex, int workerIndex) {
  Name = name ? name : "";
  ImpulseIndex = impulseIndex;
  WorkerIndex = workerIndex;
}
