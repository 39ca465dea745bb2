// The deterministic-delay procedure of the state-space generator: the
// transitions of deterministic actions are recorded as probabilities marked
// by a minus sign, and every state in which such an action is enabled is
// filed under the action's delay value (the deterministic file).

#include "StateSpaceGen.h"

void StateSpaceGen::GenStateSpaceDeterministic() {
  OutputSink& outputs = sinks_->open(Procedure::Deterministic, static_cast<std::size_t>(stateSize_),
                                     expander_.deterministicNames(), &memoryBudget_);
  run(outputs, Procedure::Deterministic);
}
