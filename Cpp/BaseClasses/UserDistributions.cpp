#include "UserDistributions.h"

#include <new>

#include "LaggedFibonacci.h"
#include "StandardErrors.h"
#include "Tausworthe.h"

UserDistributions::UserDistributions() {
  delete generator;
  generator = nullptr;
  generator = new (std::nothrow) LaggedFibonacci;
  if (generator == nullptr) MemoryAllocationError();
}

UserDistributions::UserDistributions(int kind, long seed) {
  delete generator;
  generator = nullptr;
  if (kind == 1)
    generator = new (std::nothrow) Tausworthe;
  else
    generator = new (std::nothrow) LaggedFibonacci;
  if (generator == nullptr) MemoryAllocationError();
  generator->srnd(static_cast<unsigned long>(seed));
}
