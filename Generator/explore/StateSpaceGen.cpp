#include "StateSpaceGen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "GenAssert.h"
#include "GenError.h"
#include "HybridHash.h"
#include "PVModel.h"
#include "ResultsDB.h"
#include "RewardValues.h"
#include "TraceFileContainer.h"

StateSpaceGen::StateSpaceGen(PVModel* rewardModel, double loadFactor, RewardModelMaker makeExpanderModel)
    : model_(rewardModel),
      makeExpanderModel_(std::move(makeExpanderModel)),
      expander_(*rewardModel),
      stateSize_(static_cast<int>(expander_.vectorSize())),
      maxStateNumber_(HybridHash::MaxStateNumber) {
  if (stateSize_ == 0)
    throw GenError("The model is empty, i.e., does not have any state variables.", GenError::Stream::Out);

  hash_ = std::make_unique<HybridHash>(static_cast<std::uint32_t>(stateSize_), loadFactor, &memoryBudget_);

  // The initial state is state 1.
  std::vector<char> initial(static_cast<std::size_t>(stateSize_), 0);
  stateCounter_ = 1;
  expander_.initialVector(initial.data());
  hash_->Insert(initial.data(), 1);
  model_->SetState(initial.data());
}

StateSpaceGen::~StateSpaceGen() = default;

void StateSpaceGen::setTrace(TraceFileContainer* trace) {
  trace_ = trace;
  traceLevel_ = trace->getTraceLevel();
  expander_.setTrace(trace);
}

void StateSpaceGen::GenStateSpace() {
  GEN_ASSERT(sinks_ && trace_, "sinks and trace set", "StateSpaceGen");
  const std::clock_t start = std::clock();

  runProcedure();
  progress_.clear();

  if (currentNumber_ == 0) currentNumber_ = 1;
  std::cout << "_$" << currentNumber_ << "$" << std::endl;
  trace_->printf(1, "Generated: %llu states", static_cast<unsigned long long>(currentNumber_));
  std::cout << "Generated: " << currentNumber_ << " states" << std::endl;
  if (resultsDB_ && !resultsDB_->writeSSGExperInfo(experimentName_.c_str(), currentNumber_))
    std::cout << "Error writing ssg experiment info" << std::endl;

  const std::clock_t end = std::clock();
  double seconds = static_cast<double>(end - start) / CLOCKS_PER_SEC;
  seconds = static_cast<double>(static_cast<long long>(seconds * 100000 + 0.5)) / 100000;
  trace_->printf(1, "Computation time (user + system): %f", seconds);
  std::cout << "Computation Time (user + system): " << seconds << " seconds" << std::endl;
}

void StateSpaceGen::runProcedure() {
  sinks_->begin();

  if (expander_.numActions() == 0) {
    GenStateSpaceNormal();
    return;
  }
  switch (expander_.distributionFlags()) {
    case 1:
    case 4:
    case 5:
      if (expander_.anyInstantEnabled())
        throw GenError(
            "Error: The initial state is not stable, i.e., at least one instantaneous action is enabled in that "
            "state.",
            GenError::Stream::Out);
      GenStateSpaceNormal();
      break;
    case 2:
    case 3: GenStateSpaceDeterministic(); break;
    default:
      throw GenError("Error:  Can not generate state space with Current Action Distribution Type",
                     GenError::Stream::Out);
  }
}

void StateSpaceGen::GenStateSpaceNormal() {
  run(sinks_->open(Procedure::Normal, static_cast<std::size_t>(stateSize_), {}, &memoryBudget_), Procedure::Normal);
}

void StateSpaceGen::run(OutputSink& outputs, Procedure procedure) {
  expander_.setBranchImpulses(outputs.needsImpulseSums());
  std::cout << std::scientific;

  // State 1's rewards: those of the initial marking, with no action fired.
  std::vector<char> initial(static_cast<std::size_t>(stateSize_));
  model_->FireAction(initial.data(), &model_->NoActionFiredYet);
  std::vector<double> rewards(static_cast<std::size_t>(rewardValueCount(*model_)));
  readRewardValues(*model_, rewards.data());
  outputs.numbered(stateCounter_, rewards.data());

  explore(outputs, procedure);
  // Its memory goes to what the outputs still have to write.
  hash_->ReleaseSlotTable();
  outputs.finish();
}

unsigned StateSpaceGen::helperThreads() const {
  if (!makeExpanderModel_ || traceLevel_ > 0) return 0;
  return expandingThreads_ > 1 ? expandingThreads_ - 1 : 0;
}

void StateSpaceGen::explore(OutputSink& outputs, Procedure procedure) {
  procedure_ = procedure;
  expander_.setProcedure(procedure);
  const std::string label = !modelFile_.empty()   ? "model file " + modelFile_
                            : !modelName_.empty() ? "model " + modelName_
                                                  : std::string();
  expander_.setModelLabel(label);

  const unsigned helpers = helperThreads();
  ExpansionPipeline::HelperMaker makeHelper;
  if (helpers > 0)
    makeHelper = [this, procedure, label] {
      ExpansionPipeline::Helper helper;
      helper.model = makeExpanderModel_();
      GEN_ASSERT(helper.model, "second model", "StateSpaceGen");
      helper.generator = std::make_unique<SuccessorGenerator>(*helper.model);
      GEN_ASSERT(helper.generator->vectorSize() == static_cast<std::size_t>(stateSize_),
                 "second model of the same size", "StateSpaceGen");
      helper.generator->setProcedure(procedure);
      helper.generator->setModelLabel(label);
      helper.generator->setBranchImpulses(expander_.branchImpulses());
      return helper;
    };
  // Declared last: stopped and joined before anything it uses goes.
  ExpansionPipeline pipeline(expander_, std::move(makeHelper), helpers, static_cast<std::size_t>(stateSize_),
                             static_cast<std::size_t>(rewardValueCount(*model_)));

  for (;;) {
    // Breadth-first order is number order: the states still to explore are
    // the numbers after the last one handed over, and their vectors are the
    // table's own copies, which stay where they are.
    while (unexplored() > 0) {
      const auto number = static_cast<std::uint32_t>(nextToExplore_);
      if (!pipeline.push(hash_->StoredCopy(number), number)) break;
      nextToExplore_++;
    }
    ExpansionPipeline::Slot* slot = pipeline.front();
    if (!slot) break;
    if (slot->error) std::rethrow_exception(slot->error);
    // The table's slots for this state's successors load together.
    prefetchSlots(slot->out);
    numberState(slot->out, slot->state(), outputs);
    pipeline.pop();
  }
}

std::uint64_t StateSpaceGen::unexplored() {
  if (nextToExplore_ == skippedAfter_ + 1) nextToExplore_ = skippedTo_ + 1;
  return nextToExplore_ <= stateCounter_ ? stateCounter_ - nextToExplore_ + 1 : 0;
}

void StateSpaceGen::numberState(const Expansion& expansion, const char* explored, OutputSink& outputs) {
  const Expansion::State& state = expansion.state(0);
  currentNumber_ = state.number;
  for (std::uint32_t i = state.firstNote; i < state.endNote; i++) {
    const Expansion::Note& note = expansion.note(i);
    if (warnedBranchings_.insert(note.actions).second) {
      progress_.clear();
      std::cout.flush();
      std::cerr << note.text << std::endl;
    }
  }
  // Successors in order of arrival: new ones are numbered in that order.
  record_.clear();
  for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++) {
    const Expansion::Successor& successor = expansion.successor(i);
    const std::uint32_t number =
        successor.self ? currentNumber_ : numberOf(expansion.vector(i), successor.hash, expansion.rewards(i), outputs);
    record_.push_back(ExploredState::Branch{number, i});
  }
  // Successors in increasing number.
  using Branch = ExploredState::Branch;
  std::sort(record_.begin(), record_.end(), [](const Branch& a, const Branch& b) { return a.target < b.target; });
  for (std::size_t i = 1; i < record_.size(); i++)
    GEN_ASSERT(record_[i - 1].target != record_[i].target, "one entry per successor", "StateSpaceGen");
  outputs.explored(ExploredState(expansion, currentNumber_, explored, record_));

  reportProgress(outputs);
  if (absorbing_ && record_.empty()) reportAbsorbing(explored);
}

void StateSpaceGen::prefetchSlots(const Expansion& expansion) const {
  const Expansion::State& state = expansion.state(0);
  for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++)
    if (!expansion.successor(i).self) hash_->prefetch(expansion.successor(i).hash);
}

std::uint32_t StateSpaceGen::numberOf(const char* vector, std::uint64_t hash, const double* rewards,
                                      OutputSink& outputs) {
  if (stateCounter_ >= maxStateNumber_) {
    // No number is left to give: only a state seen before can go on.
    const unsigned long found = hash_->Lookup(vector);
    if (found != HybridHash::NotFound) return static_cast<std::uint32_t>(found);
    throw GenError("Error: The state space has more states than can be stored (" + std::to_string(maxStateNumber_) +
                   " at most); generation stopped.");
  }
  const HybridHash::Found found = hash_->findOrAdd(vector, hash, stateCounter_ + 1);
  if (!found.added) return static_cast<std::uint32_t>(found.number);
  stateCounter_++;
  // The reward values of the firing that discovered the state.
  outputs.numbered(stateCounter_, rewards);
  return stateCounter_;
}

void StateSpaceGen::reportAbsorbing(const char* explored) {
  // Either report shows the explored state, which the model is set back to
  // (the expansion leaves it elsewhere).
  model_->SetState(const_cast<char*>(explored));
  if (procedure_ == Procedure::Normal) {
    trace_->printStr(1, "The following state is absorbing: ");
    std::cout << "absorbing state" << std::endl;
    trace_->printState();
  } else {
    std::cout << '\n' << "This following State is absorbing:" << '\n';
    model_->printState(&std::cout);
    std::cout.flush();
  }
}

void StateSpaceGen::reportProgress(OutputSink& outputs) {
  if (currentNumber_ % 1000 != 0) return;
  progress_.suspend();
  std::cout << "_$" << currentNumber_ << "$" << std::endl;
  progress_.update(stateCounter_);
  outputs.check();
}
