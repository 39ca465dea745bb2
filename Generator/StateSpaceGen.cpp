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
#include "PerformanceVariableNode.h"
#include "PlaceValuations.h"
#include "ResultFiles.h"
#include "ResultsDB.h"
#include "Reward.h"
#include "TraceFileContainer.h"
#include "TraceFileTarvelSSG.h"
#include "UmbWriter.h"

namespace {


// Blank run of the state-space file's placeholder header (normal procedure).
constexpr int kNormalHeaderBlanks = 63;

}  // namespace

StateSpaceGen::StateSpaceGen(PVModel* rewardModel, const GenOptions& options, RewardModelMaker makeExpanderModel)
    : model_(rewardModel),
      options_(options),
      makeExpanderModel_(std::move(makeExpanderModel)),
      expander_(*rewardModel),
      stateSize_(static_cast<int>(expander_.vectorSize())),
      maxStateNumber_(HybridHash::MaxStateNumber) {
  if (options_.dbHost)
    resultsDB_ = std::make_unique<ResultsDB>(options_.dbHost->c_str(), -1, nullptr, nullptr, nullptr);
  if (stateSize_ == 0)
    throw GenError("The model is empty, i.e., does not have any state variables.", GenError::Stream::Out);

  hash_ = std::make_unique<HybridHash>(static_cast<std::uint32_t>(stateSize_), options_.loadFactor, &memoryBudget_);
  detList_.setMemoryBudget(&memoryBudget_);

  // The initial state is state 1.
  std::vector<char> initial(static_cast<std::size_t>(stateSize_), 0);
  stateCounter_ = 1;
  expander_.initialVector(initial.data());
  hash_->Insert(initial.data(), 1);
  model_->SetState(initial.data());
}

StateSpaceGen::~StateSpaceGen() = default;

void StateSpaceGen::InitializeTrace() {
  trace_ = std::make_unique<TraceFileContainer>();
  trace_->setTraceLevel(options_.traceLevel);
  if (options_.traceFile)
    ssgTrace_ = std::make_unique<TraceFileTarvelSSG>(options_.traceFile->c_str());
  else
    ssgTrace_ = std::make_unique<TraceFileTarvelSSG>(&std::cout);
  ssgTrace_->setTraceLevel(options_.traceLevel);
  trace_->AddTraceFile(ssgTrace_.get());
  trace_->addPVModel(model_);
  expander_.setTrace(trace_.get());
}

bool StateSpaceGen::traceFileFailed() const { return ssgTrace_ && ssgTrace_->fileFailed(); }

void StateSpaceGen::GenStateSpace() {
  if (!trace_) InitializeTrace();
  fileType_ = 1;
  const std::clock_t start = std::clock();

  runProcedure();
  progress_.clear();

  if (currentNumber_ == 0) currentNumber_ = 1;
  std::cout << "_$" << currentNumber_ << "$" << std::endl;
  trace_->printf(1, "Generated: %llu states", static_cast<unsigned long long>(currentNumber_));
  std::cout << "Generated: " << currentNumber_ << " states" << std::endl;
  if (resultsDB_ && !resultsDB_->writeSSGExperInfo(options_.name.c_str(), currentNumber_))
    std::cout << "Error writing ssg experiment info" << std::endl;

  const std::clock_t end = std::clock();
  double seconds = static_cast<double>(end - start) / CLOCKS_PER_SEC;
  seconds = static_cast<double>(static_cast<long long>(seconds * 100000 + 0.5)) / 100000;
  trace_->printf(1, "Computation time (user + system): %f", seconds);
  std::cout << "Computation Time (user + system): " << seconds << " seconds" << std::endl;
}

void StateSpaceGen::runProcedure() {
  // Plain concatenation: nothing is inserted between path and name.
  const std::string base = options_.path + options_.name;
  const std::string armName = base + ".arm";
  const std::string varName = base + ".var";

  // Refused before any file is written: the option asks for a CTMC.
  if (options_.umb && expander_.numActions() > 0 && (expander_.distributionFlags() & 2) != 0)
    throw GenError("Error: -U writes the state space as a CTMC, and this model has deterministic activities: "
                   "a fixed delay is not exponential, so its state space is not a CTMC. Run it without -U.");
  if (options_.umb) umbName_ = base + ".umb";

  const std::string pvTypeName = base + ".pvtype";
  model_->WritePVTypeFile(outputPath(pvTypeName).c_str(), pvTypeName.c_str(), outputCreation());

  if (expander_.numActions() == 0) {
    GenStateSpaceNormal(armName, varName);
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
      GenStateSpaceNormal(armName, varName);
      break;
    case 2:
    case 3:
      GenStateSpaceDeterministic(armName, varName, base + ".det");
      break;
    default:
      throw GenError("Error:  Can not generate state space with Current Action Distribution Type",
                     GenError::Stream::Out);
  }
}

void StateSpaceGen::GenStateSpaceNormal(const std::string& armName, const std::string& varName) {
  OutputFile arm;
  if (!arm.open(outputPath(armName), armName, outputCreation())) reportOpenFailure("Error: Could not open state space output file", arm);
  if (!umbName_.empty()) startUmb(umbName_);
  startRun(arm, varName, kNormalHeaderBlanks);
  explore(arm, Procedure::Normal);
  rewriteHeader(arm, records_);
  hash_->ReleaseSlotTable();
  finishFiles(arm, nullptr);
  if (umb_) {
    const std::string path = outputPath(umbName_);
    auto written = umb_->finish(openOutputFile(path.c_str(), outputCreation()));
    umb_.reset();
    if (!written) throw GenError(written.error().message);
  }
}

void StateSpaceGen::startUmb(const std::string& umbName) {
  umb::UmbWriter::Description description;
  description.modelName = modelName_;
  description.arguments = options_.arguments;
  bool impulses = false;
  for (int i = 0; i < model_->NumPVNodes; i++) {
    const PerformanceVariableNode* node = model_->PVList[i];
    umb::UmbWriter::Variable v;
    v.name = node->Name ? node->Name : "";
    v.kind = static_cast<umb::RewardKind>(node->GetRewardType());
    for (int t = 0; t < node->GetNumTimePoints(); t++) v.times.emplace_back(node->GetStartTime(t), node->GetStopTime(t));
    v.rate = node->NumWorkers > 0 && node->Workers && node->Workers[0];
    v.impulse = node->NumImpulses > 0;
    impulses = impulses || v.impulse;
    description.variables.push_back(std::move(v));
  }
  places_ = std::make_unique<PlaceValuations>(model_->TheModel);
  description.places = places_->names();
  description.uniqueValuations = expander_.vectorSize() == static_cast<std::size_t>(model_->StateSize());
  valuation_.assign(places_->size(), 0);
  // The parts go where the file will be, so that they are copied within one file system.
  const std::string path = outputPath(umbName);
  const auto slash = path.rfind('/');
  auto writer = umb::UmbWriter::create(slash == std::string::npos ? "" : path.substr(0, slash + 1), umbName,
                                       std::move(description));
  if (!writer) throw GenError(writer.error().message);
  umb_ = std::move(*writer);
  expander_.setBranchImpulses(impulses);
}

void StateSpaceGen::writeUmbRecord(const Expansion& expansion, const char* explored) {
  // The expansion left the model elsewhere.
  model_->SetState(const_cast<char*>(explored));
  places_->read(valuation_.data());
  double exitRate = 0.0;
  for (const Entry& e : record_) exitRate += expansion.successor(e.successor).value;
  umb_->beginState(valuation_.data(), exitRate);
  for (const Entry& e : record_)
    umb_->addBranch(e.number - 1, expansion.successor(e.successor).value,
                    expansion.impulseCount() > 0 ? expansion.impulseSums(e.successor) : nullptr);
  umb_->endState();
}

void StateSpaceGen::startRun(OutputFile& arm, const std::string& varName, int headerBlanks) {
  std::cout << std::scientific;

  // State 1's reward record: the rewards of the initial marking, with no
  // action fired.
  reward_ = std::make_unique<Reward>(model_, fileType_, outputPath(varName).c_str(), varName, outputCreation());
  std::vector<char> initial(static_cast<std::size_t>(stateSize_));
  model_->FireAction(initial.data(), &model_->NoActionFiredYet);
  reward_->Calculate(stateCounter_);
  if (umb_) {
    std::vector<double> values(static_cast<std::size_t>(Reward::ValueCount(*model_)));
    Reward::ReadValues(*model_, values.data());
    umb_->addStateRewards(values.data());
  }

  // Placeholder header, overwritten with the record count at the end.
  arm.writeSigned(fileType_);
  arm.newline();
  arm.writePlaceholder(headerBlanks);
  records_ = 0;
}

unsigned StateSpaceGen::helperThreads() const {
  if (!makeExpanderModel_ || options_.traceLevel > 0) return 0;
  return expandingThreads_ > 1 ? expandingThreads_ - 1 : 0;
}

void StateSpaceGen::explore(OutputFile& arm, Procedure procedure) {
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
                             static_cast<std::size_t>(Reward::ValueCount(*model_)));

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
    numberState(slot->out, slot->state(), arm);
    pipeline.pop();
  }
}

std::uint64_t StateSpaceGen::unexplored() {
  if (nextToExplore_ == skippedAfter_ + 1) nextToExplore_ = skippedTo_ + 1;
  return nextToExplore_ <= stateCounter_ ? stateCounter_ - nextToExplore_ + 1 : 0;
}

void StateSpaceGen::numberState(const Expansion& expansion, const char* explored, OutputFile& arm) {
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
        successor.self ? currentNumber_ : numberOf(expansion.vector(i), successor.hash, expansion.rewards(i));
    record_.push_back(Entry{number, i});
  }
  // The explored state is stored under currentNumber_.
  for (std::uint32_t i = state.firstDelay; i < state.endDelay; i++)
    detList_.insertEnablingState(currentNumber_, expansion.delay(i));

  arm.writeUnsigned(currentNumber_);
  arm.newline();
  reportProgress(arm);
  if (options_.absorbing && record_.empty()) reportAbsorbing(explored);

  // The record: successors in increasing number, each with its value.
  std::sort(record_.begin(), record_.end(), [](const Entry& a, const Entry& b) { return a.number < b.number; });
  for (std::size_t i = 1; i < record_.size(); i++)
    GEN_ASSERT(record_[i - 1].number != record_[i].number, "one entry per successor", "StateSpaceGen");
  for (const Entry& e : record_) {
    arm.writeUnsigned(e.number);
    arm.newline();
    arm.writeText(expansion.text(expansion.successor(e.successor)));
    arm.newline();
  }
  arm.writeChar('0');
  arm.newline();
  records_++;
  if (umb_) writeUmbRecord(expansion, explored);
}

void StateSpaceGen::prefetchSlots(const Expansion& expansion) const {
  const Expansion::State& state = expansion.state(0);
  for (std::uint32_t i = state.firstSuccessor; i < state.endSuccessor; i++)
    if (!expansion.successor(i).self) hash_->prefetch(expansion.successor(i).hash);
}

std::uint32_t StateSpaceGen::numberOf(const char* vector, std::uint64_t hash, const double* rewards) {
  if (stateCounter_ >= maxStateNumber_) {
    // No number is left to give: only a state seen before can go on.
    const unsigned long found = hash_->Lookup(vector);
    if (found != HybridHash::NotFound) return static_cast<std::uint32_t>(found);
    throw GenError("Error: The state space has more states than can be stored (" +
                   std::to_string(maxStateNumber_) + " at most); generation stopped.");
  }
  const HybridHash::Found found = hash_->findOrAdd(vector, hash, stateCounter_ + 1);
  if (!found.added) return static_cast<std::uint32_t>(found.number);
  stateCounter_++;
  // The reward values of the firing that discovered the state.
  reward_->Write(stateCounter_, rewards);
  if (umb_) umb_->addStateRewards(rewards);
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

void StateSpaceGen::reportProgress(OutputFile& arm) {
  if (currentNumber_ % 1000 != 0) return;
  progress_.suspend();
  std::cout << "_$" << currentNumber_ << "$" << std::endl;
  progress_.update(stateCounter_);
  // A full disk shows up here rather than after the whole run.
  if (arm.failed()) reportOutputFileFailure(arm);
  if (reward_->file().failed()) reportOutputFileFailure(reward_->file());
}

void StateSpaceGen::rewriteHeader(OutputFile& arm, std::uint32_t records) {
  arm.rewriteHeader(std::to_string(fileType_) + "\n" + std::to_string(records) + "\n");
}

std::string StateSpaceGen::outputPath(const std::string& finalName) const {
  return results_ ? results_->temporaryFor(finalName) : finalName;
}

FileCreation StateSpaceGen::outputCreation() const {
  return results_ ? FileCreation::New : FileCreation::Replace;
}

void StateSpaceGen::finishFiles(OutputFile& arm, OutputFile* det) {
  if (!arm.close()) reportOutputFileFailure(arm);
  if (det && !det->close()) reportOutputFileFailure(*det);
  if (!reward_->Close()) reportOutputFileFailure(reward_->file());
  reward_.reset();
}
