#include "PerformanceVariableWorker.h"

#include <iostream>

void PerformanceVariableWorker::CurrentReward() {
  std::cerr << "!! Calling PerformanceVariableWorker::CurrentReward()" << std::endl;
}

void PerformanceVariableWorker::Reset() {
  Value = 0.0;
  ValueSquared = 0.0;
}

void PerformanceVariableWorker::DefineName(const char* name, int index) {
  Name = name ? name : "";
  Index = index;
}
