#include "StateSpaceGen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "GenAssert.h"
#include "HybridHash.h"
#include "PVModel.h"
#include "Queue.h"
#include "ResultsDB.h"
#include "ResultFiles.h"
#include "Reward.h"
#include "TraceFileContainer.h"
#include "TraceFileTarvelSSG.h"

StateSpaceGen::FindNextMethod StateSpaceGen::FindNext = &StateSpaceGen::FindNextNormal;

namespace {

// Arguments of the discovered-state table.
constexpr std::uint32_t kHashTableSize = 131071;
constexpr std::uint32_t kHashBlockSize = 100000;
constexpr std::uint32_t kHashChunkWidth = 5;
constexpr std::uint32_t kHashMaxBlocks = 128;

// Blank run of the state-space file's placeholder header (normal procedure).
constexpr int kNormalHeaderBlanks = 63;

[[noreturn]] void stop(const std::string& message) {
  std::cout.flush();
  std::cerr << message << std::endl;
  std::exit(1);
}

}  // namespace

StateSpaceGen::StateSpaceGen(PVModel* rewardModel, const char* pathPrefix, const char* experimentName,
                             short absorb, double loadFactor, const char* dbHost,
                             const char* /*dbEntity: not used*/, char* traceFile)
    : model(rewardModel),
      path(pathPrefix),
      name(experimentName),
      absorbFlag(absorb),
      traceFileName(traceFile),
      hashValue(loadFactor),
      maxStateNumber_(HybridHash::MaxStateNumber) {
  if (dbHost) resultsDB = std::make_unique<ResultsDB>(dbHost, -1, nullptr, nullptr, nullptr);

  model->ConsiderOnly(nullptr, -1);
  model->listActions(&actionList);
  allActions = actionList.getList();

  stateSize = model->StateSize();
  if (stateSize == 0) {
    std::cout << "The model is empty, i.e., does not have any state variables." << std::endl;
    std::exit(1);
  }

  const int numActions = actionList.getNumItems();
  model->listGroups(&groupList);
  groups = groupList.getList();

  hash = std::make_unique<HybridHash>(model, static_cast<std::uint32_t>(stateSize), kHashTableSize,
                                      kHashBlockSize, kHashChunkWidth, kHashMaxBlocks, hashValue,
                                      &memoryBudget);
  queue = std::make_unique<Queue>(static_cast<unsigned long>(stateSize), &memoryBudget);
  detList.setMemoryBudget(&memoryBudget);

  for (int i = 0; i < numActions; i++) {
    const int code = allActions[i]->DistributionType;
    if (code == DIST_INSTANTANEOUS) {
      numInstantActions++;
      distributionFlags |= 1;
      continue;
    }
    numTimedActions++;
    if (code == DIST_EXPONENTIAL) {
      distributionFlags |= 1;
    } else if (code == DIST_DETERMINISTIC) {
      distributionFlags |= 2;
    } else if (code == DIST_ERLANG) {
      distributionFlags |= 4;
      numErlangActions++;
    } else {
      distributionFlags = 0xF000;
    }
  }

  instantActions.reserve(numInstantActions);
  timedActions.reserve(numTimedActions);
  erlangActions.reserve(numErlangActions);
  for (int i = 0; i < numActions; i++) {
    BaseActionClass* action = allActions[i];
    if (action->DistributionType == DIST_INSTANTANEOUS) {
      instantActions.push_back(action);
    } else {
      timedActions.push_back(action);
      if (action->DistributionType == DIST_ERLANG) erlangActions.push_back(action);
    }
  }

  // The initial state is state 1.
  std::vector<char> initial(static_cast<std::size_t>(stateSize), 0);
  state_struct entry;
  entry.data = initial.data();
  stateCounter = 1;
  model->CurrentState(initial.data());
  entry.number = 1;
  queue->Enqueue(&entry);
  hash->Insert(initial.data(), 1);
  model->SetState(initial.data());
}

StateSpaceGen::~StateSpaceGen() { std::free(traceFileName); }

void StateSpaceGen::InitializeTrace() {
  trace = std::make_unique<TraceFileContainer>();
  trace->setTraceLevel(traceLevel);
  if (traceFileName)
    ssgTrace = std::make_unique<TraceFileTarvelSSG>(traceFileName);
  else
    ssgTrace = std::make_unique<TraceFileTarvelSSG>(&std::cout);
  ssgTrace->setTraceLevel(traceLevel);
  trace->AddTraceFile(ssgTrace.get());
  trace->addPVModel(model);
}

void StateSpaceGen::GenStateSpace() {
  if (!trace) InitializeTrace();
  fileType = 1;
  const std::clock_t start = std::clock();

  SetMethodPointers();

  if (currentNumber == 0) currentNumber = 1;
  std::cout << "_$" << currentNumber << "$" << std::endl;
  trace->printf(1, "Generated: %d states", static_cast<int>(currentNumber));
  std::cout << "Generated: " << currentNumber << " states" << std::endl;
  if (resultsDB && !resultsDB->writeSSGExperInfo(name, currentNumber))
    std::cout << "Error writing ssg experiment info" << std::endl;

  const std::clock_t end = std::clock();
  double seconds = static_cast<double>(end - start) / CLOCKS_PER_SEC;
  seconds = static_cast<double>(static_cast<long long>(seconds * 100000 + 0.5)) / 100000;
  trace->printf(1, "Computation time (user + system): %f", seconds);
  std::cout << "Computation Time (user + system): " << seconds << " seconds" << std::endl;
}

void StateSpaceGen::SetMethodPointers() {
  // Plain concatenation: nothing is inserted between path and name.
  const std::string base = std::string(path ? path : "") + (name ? name : "");
  const std::string armName = base + ".arm";
  const std::string varName = base + ".var";
  const std::string pvTypeName = base + ".pvtype";

  model->WritePVTypeFile(outputPath(pvTypeName).c_str(), pvTypeName.c_str());

  if (actionList.getNumItems() == 0) {
    FindNext = &StateSpaceGen::FindNextNormal;
    GenStateSpaceNormal(armName.c_str(), varName.c_str());
    return;
  }

  switch (distributionFlags) {
    case 1:
    case 4:
    case 5: {
      if (numInstantActions > 0) {
        bool unstable = false;
        for (BaseActionClass* action : instantActions)
          if (action->Enabled()) unstable = true;
        if (unstable) {
          std::cout << "Error: The initial state is not stable, i.e., at least"
                    << " one instantaneous action is enabled in that state." << std::endl;
          std::exit(1);
        }
        FindNext = &StateSpaceGen::FindNextInstant;
      } else {
        FindNext = &StateSpaceGen::FindNextNormal;
      }
      GenStateSpaceNormal(armName.c_str(), varName.c_str());
      break;
    }
    case 2:
    case 3: {
      const std::string detName = base + ".det";
      FindNext = &StateSpaceGen::FindNextInstant;
      GenStateSpaceDeterministic(armName.c_str(), varName.c_str(), detName.c_str());
      break;
    }
    default:
      std::cout << "Error:  Can not generate state space with Current Action"
                << " Distribution Type" << std::endl;
      std::exit(1);
  }
}

void StateSpaceGen::allocateRunBuffers() {
  if (!trace) InitializeTrace();
  const auto size = static_cast<std::size_t>(stateSize);
  const std::size_t levels = kMaxInstantFirings + 2;
  localState_.assign(size, 0);
  nextStateBuf_.assign(size, 0);
  nextState = nextStateBuf_.data();
  workBuf_.assign(size, 0);
  workState.data = workBuf_.data();
  workState.number = 0;
  trace1_ = trace->wants(1);
  trace4_ = trace->wants(4);
  scratch_.assign(levels * size, 0);
  enabled_.assign(levels * std::max<std::size_t>(numInstantActions, 1), nullptr);
}

void StateSpaceGen::GenStateSpaceNormal(const char* armName, const char* varName) {
  allocateRunBuffers();

  OutputFile arm;
  if (!arm.open(outputPath(armName), armName)) reportOpenFailure("Error: Could not open state space output file", arm);
  startRun(arm, varName, kNormalHeaderBlanks);
  std::uint32_t records = 0;

  while (state_struct* entry = queue->Dequeue()) {
    currentNumber = entry->number;
    if (currentNumber == 0) continue;
    if (trace1_) trace->printf(1, "State Number = %d", static_cast<int>(currentNumber));

    (this->*FindNext)(entry->data);

    arm.writeUnsigned(currentNumber);
    arm.newline();
    reportProgress(arm);
    if (absorbFlag == 1 && successorRates.empty()) {
      trace->printStr(1, "The following state is absorbing: ");
      std::cout << "absorbing state" << std::endl;
      trace->printState();
    }
    writeStateRecord(arm);
    records++;
  }

  rewriteHeader(arm, records);
  hash->ReleaseSlotTable();
  finishFiles(arm, nullptr);
}

void StateSpaceGen::startRun(OutputFile& arm, const char* varName, int headerBlanks) {
  std::cout << std::scientific;

  // State 1's reward record: the rewards of the initial marking, with no
  // action fired.
  reward = std::make_unique<Reward>(model, fileType, outputPath(varName).c_str(), varName);
  model->FireAction(nextState, &model->NoActionFiredYet);
  reward->Calculate(stateCounter);

  // Placeholder header, overwritten with the record count at the end.
  arm.writeSigned(fileType);
  arm.newline();
  arm.writePlaceholder(headerBlanks);
}

void StateSpaceGen::reportProgress(OutputFile& arm) {
  if (currentNumber % 1000 != 0) return;
  std::cout << "_$" << currentNumber << "$" << std::endl;
  // A full disk shows up here rather than after the whole run.
  if (arm.failed()) reportOutputFileFailure(arm);
  if (reward->file().failed()) reportOutputFileFailure(reward->file());
}

void StateSpaceGen::rewriteHeader(OutputFile& arm, std::uint32_t records) {
  arm.rewriteHeader(std::to_string(fileType) + "\n" + std::to_string(records) + "\n");
}

std::string StateSpaceGen::outputPath(const std::string& finalName) const {
  return results ? results->temporaryFor(finalName) : finalName;
}

void StateSpaceGen::writeStateRecord(OutputFile& arm) {
  successorRates.merge();
  for (const SuccessorRates::Entry& e : successorRates.entries()) {
    arm.writeUnsigned(e.number);
    arm.newline();
    arm.writeScientific(e.value);
    arm.newline();
  }
  successorRates.clear();
  arm.writeChar('0');
  arm.newline();
}

void StateSpaceGen::finishFiles(OutputFile& arm, OutputFile* det) {
  if (!arm.close()) reportOutputFileFailure(arm);
  if (det && !det->close()) reportOutputFileFailure(*det);
  if (!reward->Close()) reportOutputFileFailure(reward->file());
  reward.reset();
}

BaseGroupClass* StateSpaceGen::groupOf(BaseActionClass* action) {
  GEN_ASSERT(action->GroupId >= 0 && action->GroupId < groupList.getNumItems(),
             "action->GroupId < NumGroups", "StateSpaceGen");
  return groups[action->GroupId];
}

double StateSpaceGen::caseProbability(BaseActionClass* action) {
  const double p = groupOf(action)->Probability(action);
  if (!std::isfinite(p))
    stop(std::string("Error: The probability of action ") + action->getName() +
         " within its group is undefined (the weights of the competing actions sum to 0).\n"
         "Please check the model and try again");
  return p;
}

void StateSpaceGen::FindNextNormal(char* state) {
  char* local = localState_.data();
  std::memcpy(local, state, static_cast<std::size_t>(stateSize));
  model->SetState(local);
  for (BaseActionClass* action : timedActions) {
    if (trace4_) trace->printf(4, "Checking Action: %s", action->getName());
    if (FireAction(action, local)) {
      SaveStableState(currentRate, lookupSuccessor());
      model->SetState(local);
    }
  }
}

bool StateSpaceGen::FireAction(BaseActionClass* action, char* state) {
  if (!action->Enabled()) return false;
  if (trace1_) trace->printFireAction(action, 0.0);

  if (action->DistributionType == DIST_ERLANG && !action->ReadyToFire()) {
    // Not yet in its last phase: the action ages by one phase instead of firing.
    model->AgeAction(state, action);
    BaseGroupClass* group = groupOf(action);
    const int members = group->getNumMembers();
    if (members > 0) {
      for (int i = 0; i < members; i++) group->getMember(i)->Age();
      currentRate = action->Rate() / members;
    } else {
      action->Age();
      currentRate = action->Rate();
    }
  } else {
    currentRate = action->Rate() * caseProbability(action);
    model->FireAction(nextState, action);
    for (BaseActionClass* erlang : erlangActions)
      if (!erlang->Enabled()) erlang->ResetPhase();
  }
  model->CurrentState(nextState);
  return true;
}

// The successor's number, or negative when it is new. A transition back to
// the explored state (a third of all transitions in the compiled-in model)
// needs no probe of the table.
std::int64_t StateSpaceGen::lookupSuccessor() {
  if (std::memcmp(nextState, localState_.data(), static_cast<std::size_t>(stateSize)) == 0)
    return currentNumber;
  const unsigned long number = hash->Lookup(nextState);
  return number == HybridHash::NotFound ? -1 : static_cast<std::int64_t>(number);
}

std::uint32_t StateSpaceGen::newState() {
  if (stateCounter >= maxStateNumber_)
    stop("Error: The state space has more states than can be stored (" +
         std::to_string(maxStateNumber_) + " at most); generation stopped.");
  stateCounter++;
  std::memcpy(workState.data, nextState, static_cast<std::size_t>(stateSize));
  workState.number = stateCounter;
  queue->Enqueue(&workState);
  hash->Insert(nextState, stateCounter);
  return stateCounter;
}

void StateSpaceGen::SaveStableState(double rate, std::int64_t number) {
  if (trace4_) trace->printf(4, "The rate to this state: %f", rate);
  if (!(rate > 0)) return;
  if (number < 0) {
    const std::uint32_t fresh = newState();
    successorRates.add(fresh, rate);
    reward->Calculate(fresh);
  } else {
    successorRates.add(static_cast<std::uint32_t>(number), rate);
  }
}

void StateSpaceGen::FindNextInstant(char* state) {
  char* local = localState_.data();
  std::memcpy(local, state, static_cast<std::size_t>(stateSize));
  model->SetState(local);
  for (BaseActionClass* action : timedActions) {
    if (trace4_) trace->printf(4, "Checking Action: %s", action->getName());
    // A disabled action leaves the model untouched, so only a firing needs
    // the explored state set again.
    if (FireAction(action, local)) {
      depth = 0;
      FireInstant(1.0);
      model->SetState(local);
    }
  }
}

void StateSpaceGen::zeroTimeLimitExceeded(bool deterministic) {
  std::cout.flush();
  if (deterministic)
    std::cerr << "Error:  Maximum number of zero time transition firings exceeded"
              << "(" << kMaxInstantFirings << ")\nPossible undetermined model" << std::endl;
  else
    std::cerr << "Error:  Maximum number of zero time transition recursive "
              << "firings exceeded"
              << "(" << kMaxInstantFirings << ")\nPossible undetermined model." << std::endl;
  std::cerr << "Please check the model and try again" << std::endl;
  std::exit(1);
}

void StateSpaceGen::vanishingPathLost(BaseActionClass** enabled, int count, bool negativeRanks,
                                      double totalWeight) {
  std::string names;
  for (int i = 0; i < count; i++) {
    if (i > 0) names += ", ";
    names += enabled[i]->getName();
  }
  if (negativeRanks)
    stop("Error: No instantaneous action can fire: the enabled instantaneous actions " + names +
         " all have a negative rank.\nPlease check the model and try again");
  stop("Error: The weights of the competing instantaneous actions " + names + " sum to " +
       std::to_string(totalWeight) +
       ", so their probabilities are undefined.\nPlease check the model and try again");
}

void StateSpaceGen::FireInstant(double probability) {
  if (depth > kMaxInstantFirings) zeroTimeLimitExceeded(false);

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

  if (count == 0) {
    SaveStableState(probability * currentRate, lookupSuccessor());
    return;
  }

  if (count == 1) {
    // A lone action fires with probability 1, whatever its weight.
    BaseActionClass* action = enabled[0];
    if (trace1_) trace->printFireAction(action, 0.0);
    model->FireAction(nextState, action);
    depth++;
    FireInstant(probability);
    depth--;
    return;
  }

  // The branches start from the vector itself. Setting it may load the
  // replicas of a Rep in another order, so the enabled actions are collected
  // again from the model as it now stands.
  std::memcpy(saved, nextState, static_cast<std::size_t>(stateSize));
  model->SetState(saved);
  count = 0;
  for (BaseActionClass* action : instantActions)
    if (action->Enabled()) enabled[count++] = action;

  // Only the enabled actions of the highest rank compete, by weight.
  int maxRank = 0;
  for (int i = 0; i < count; i++) maxRank = std::max(maxRank, enabled[i]->Rank());
  int competing = 0;
  for (int i = 0; i < count; i++)
    if (enabled[i]->Rank() == maxRank) enabled[competing++] = enabled[i];
  if (competing == 0) vanishingPathLost(enabled, count, true, 0.0);
  double totalWeight = 0.0;
  for (int i = 0; i < competing; i++) totalWeight += enabled[i]->Weight();
  if (!(totalWeight > 0) || !std::isfinite(totalWeight))
    vanishingPathLost(enabled, competing, false, totalWeight);

  for (int i = 0; i < competing; i++) {
    BaseActionClass* action = enabled[i];
    const double weight = action->Weight();
    if (trace1_) trace->printFireAction(action, 0.0);
    model->FireAction(nextState, action);
    depth++;
    FireInstant(probability * weight / totalWeight);
    depth--;
    model->SetState(saved);
  }
}
