// The deterministic-delay procedure of the state-space generator: the
// transitions of deterministic actions are recorded as probabilities marked
// by a minus sign, and every state in which such an action is enabled is
// filed under the action's delay value (the deterministic file).

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "HybridHash.h"
#include "PVModel.h"
#include "Queue.h"
#include "Reward.h"
#include "StateSpaceGen.h"
#include "TraceFileContainer.h"

namespace {

// Blank run of the state-space file's placeholder header (deterministic
// procedure): an 8-digit state count overwrites it, newline included.
constexpr int kDeterministicHeaderBlanks = 8;

}  // namespace

void StateSpaceGen::GenStateSpaceDeterministic(const char* armName, const char* varName,
                                               const char* detName) {
  allocateRunBuffers();

  OutputFile det;
  if (!det.open(outputPath(detName), detName)) reportOpenFailure("Error: Could not open det file ", det);
  OutputFile arm;
  if (!arm.open(outputPath(armName), armName)) reportOpenFailure("Error: Could not open binary file dude", arm);
  startRun(arm, varName, kDeterministicHeaderBlanks);
  std::uint32_t records = 0;

  while (state_struct* entry = queue->Dequeue()) {
    if (trace1_) trace->printf(1, "State Number = %d", static_cast<int>(entry->number));
    currentNumber = entry->number;
    if (currentNumber == 0) continue;

    FindNextDeterministic(entry->data);

    arm.writeUnsigned(currentNumber);
    arm.newline();
    reportProgress(arm);
    if (absorbFlag == 1 && successorRates.empty()) {
      std::cout << '\n' << "This following State is absorbing:" << '\n';
      // Show the explored state, not whatever the last firing left behind.
      model->SetState(localState_.data());
      model->printState(&std::cout);
      std::cout.flush();
    }
    writeStateRecord(arm);
    records++;
  }

  rewriteHeader(arm, records);
  det.flush();

  hash->ReleaseSlotTable();

  const bool binary = fileType == 2 || fileType == 4 || fileType == 6;
  detList.writeEnablingStates(det, binary ? OUTPUT_BINARY : OUTPUT_TEXT);
  finishFiles(arm, &det);
}

void StateSpaceGen::FindNextDeterministic(char* state) {
  char* local = localState_.data();
  std::memcpy(local, state, static_cast<std::size_t>(stateSize));
  model->SetState(local);
  // The model is set back to the explored state before every action; when
  // nothing fired since the last reset it is still there (enabling tests do
  // not change markings), which saves a SetState per disabled action.
  bool changed = false;
  for (BaseActionClass* action : timedActions) {
    if (changed) {
      model->SetState(local);
      changed = false;
    }
    if (!action->Enabled()) continue;
    changed = true;
    currentRate = caseProbability(action);
    if (trace1_) trace->printf(1, "Enabled: %s", action->getName());
    if (action->DistributionType == DIST_DETERMINISTIC) {
      currentRate = -currentRate;
      const double* parameters = action->ReturnDistributionParameters();
      if (!parameters) {
        std::cout.flush();
        std::cerr << "Error: The deterministic action " << action->getName()
                  << " gives no delay value." << std::endl;
        std::exit(1);
      }
      // The explored state is stored under currentNumber (what a lookup of
      // the local copy would return).
      detList.insertEnablingState(currentNumber, parameters[0]);
    } else {
      currentRate = currentRate * action->Rate();
    }
    if (trace1_) trace->printFireAction(action, 0.0);
    model->FireAction(nextState, action);
    depth = 0;
    FireInstantDet(1.0);
  }
}

void StateSpaceGen::FireInstantDet(double probability) {
  if (depth > kMaxInstantFirings) zeroTimeLimitExceeded(true);

  // nextState holds the vector the last firing produced. The model is set to
  // it (which also puts replicas back in canonical order) only where the
  // path branches and each branch must start from it: enabling tests read
  // the same markings whatever the replicas' order, and reading the vector
  // out sorts the replicas again anyway.
  char* saved = scratchState(depth);

  BaseActionClass** enabled = enabledAt(depth);
  int count = 0;
  for (BaseActionClass* action : instantActions)
    if (action->Enabled()) enabled[count++] = action;

  if (count == 1) {
    BaseActionClass* action = enabled[0];
    const double q = caseProbability(action);
    if (trace1_) trace->printFireAction(action, 0.0);
    model->FireAction(nextState, action);
    depth++;
    FireInstantDet(q * probability);
    depth--;
    return;
  }

  if (count > 1) {
    // Branch weights are the case probabilities of the highest-ranked actions.
    // Setting the vector may load the replicas of a Rep in another order, so
    // the enabled actions are collected again from the model as it now stands.
    std::memcpy(saved, nextState, static_cast<std::size_t>(stateSize));
    model->SetState(saved);
    count = 0;
    for (BaseActionClass* action : instantActions)
      if (action->Enabled()) enabled[count++] = action;
    int maxRank = 0;
    for (int i = 0; i < count; i++) maxRank = std::max(maxRank, enabled[i]->Rank());
    bool anyFired = false;
    for (int i = 0; i < count; i++) {
      BaseActionClass* action = enabled[i];
      if (action->Rank() != maxRank) continue;
      anyFired = true;
      const double q = caseProbability(action);
      if (trace1_) trace->printFireAction(action, 0.0);
      model->FireAction(nextState, action);
      depth++;
      FireInstantDet(q * probability);
      depth--;
      model->SetState(saved);
    }
    if (!anyFired) vanishingPathLost(enabled, count, true, 0.0);
    return;
  }

  // No instantaneous action is enabled: the state is stable.
  const std::int64_t number = lookupSuccessor();
  const double value = probability * currentRate;
  if (trace4_) trace->printf(4, "The rate to this state: %f", value);
  if (value == 0) return;
  if (number >= 0) {
    successorRates.add(static_cast<std::uint32_t>(number), value);
  } else {
    const std::uint32_t fresh = newState();
    successorRates.add(fresh, value);
    reward->Calculate(fresh);
  }
}
