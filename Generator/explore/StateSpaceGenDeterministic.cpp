// The deterministic-delay procedure of the state-space generator: the
// transitions of deterministic actions are recorded as probabilities marked
// by a minus sign, and every state in which such an action is enabled is
// filed under the action's delay value (the deterministic file).

#include "RunOutputs.h"
#include "StateSpaceGen.h"

void StateSpaceGen::GenStateSpaceDeterministic(RunOutputs& outputs) {
  outputs.openDeterministic(&memoryBudget_, static_cast<std::size_t>(stateSize_), expander_.deterministicNames());
  run(outputs, Procedure::Deterministic);
}
