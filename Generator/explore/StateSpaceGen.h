#ifndef STATE_SPACE_GEN_H
#define STATE_SPACE_GEN_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ExpansionPipeline.h"
#include "MemoryBudget.h"
#include "OutputSink.h"
#include "ProgressLine.h"
#include "SuccessorGenerator.h"

class HybridHash;
class PVModel;
class ResultsDB;
class TraceFileContainer;

// The state-space generator: explores every reachable stable state of the
// reward model breadth-first, numbers the states in discovery order and
// hands each state to the sinks of the run, which whoever runs it opens
// (RunSinks) once the procedure is known.
//
// The firing rules live behind a SuccessorGenerator; this class keeps the
// discovered-state table, the numbering and the progress, and knows no file
// format, command line or trace file. Given a way to build further reward models, states are expanded on
// further threads ahead of the numbering, which stays on the caller's thread
// and in order, so the files are the same either way.
class StateSpaceGen {
 public:
  // Builds another instance of the reward model, with the same global values.
  using RewardModelMaker = std::function<std::unique_ptr<PVModel>()>;

  // Stores the initial state as state 1. The model is not owned;
  // `loadFactor` is the discovered-state table's.
  StateSpaceGen(PVModel* model, double loadFactor, RewardModelMaker makeExpanderModel = {});
  StateSpaceGen(const StateSpaceGen&) = delete;
  StateSpaceGen& operator=(const StateSpaceGen&) = delete;
  ~StateSpaceGen();

  // Runs the whole generation and prints the summary. The sinks and the
  // trace must be set. Failures are thrown as GenError.
  void GenStateSpace();

  // Where the states go (not owned).
  void setSinks(RunSinks* sinks) { sinks_ = sinks; }
  // The trace outputs (not owned), at their level from here on: any level
  // above 0 keeps the expansion on this thread, so that the trace lines
  // interleave with the numbering.
  void setTrace(TraceFileContainer* trace);
  // Where the state count goes at the end, under the experiment's name (not owned).
  void setResultsDB(ResultsDB* db, std::string experimentName) {
    resultsDB_ = db;
    experimentName_ = std::move(experimentName);
  }
  // Whether states without successors are reported (-a).
  void setReportAbsorbing(bool on) { absorbing_ = on; }
  // How many threads expand states, this one included (given a way to build
  // further models; 2 unless set).
  void setExpandingThreads(unsigned threads) { expandingThreads_ = threads; }
  // The model's name, named in messages when there is no model file.
  void setModelName(std::string name) { modelName_ = std::move(name); }
  // The model file the model was built from, named in messages of model
  // faults (the model's name stands in without one).
  void setModelFile(std::string file) { modelFile_ = std::move(file); }
  // What the table, store and deterministic lists may hold together.
  void setMemoryLimit(std::optional<std::uint64_t> bytes) { memoryBudget_.setLimit(bytes); }

  // The number of states once the run is over.
  std::uint32_t numberOfStates() const { return currentNumber_; }
  // Numbers the next new state `last` + 1, as if states up to `last` had
  // been numbered: lets a test reach the largest number the store can hold.
  void skipNumbersUpTo(std::uint32_t last) {
    skippedAfter_ = stateCounter_;
    skippedTo_ = stateCounter_ = last;
  }

 private:
  // Starts the sinks, chooses the procedure by the distributions of the
  // actions, and runs it.
  void runProcedure();
  void GenStateSpaceNormal();
  void GenStateSpaceDeterministic();
  // A run whose outputs are open: state 1's rewards, the exploration, and
  // the end of the outputs.
  void run(OutputSink& outputs, Procedure procedure);
  // Expands, numbers and hands on every numbered state, in number order,
  // until none is left.
  void explore(OutputSink& outputs, Procedure procedure);
  // How many threads expand states beside this one: none while tracing (the
  // trace lines must interleave with the numbering), and only when given a
  // way to build further models.
  unsigned helperThreads() const;
  // How many numbered states are not yet handed to the expansion.
  std::uint64_t unexplored();
  // Numbers the successors of one expanded state and hands the state, its
  // successors in increasing number, to the outputs.
  void numberState(const Expansion& expansion, const char* explored, OutputSink& outputs);
  // The number of a successor, numbering and storing it when it is
  // new (one probe of the table either way).
  // `hash` is the vector's stateHash.
  std::uint32_t numberOf(const char* vector, std::uint64_t hash, const double* rewards, OutputSink& outputs);
  // Starts loading the table's slots for the successors of the expanded state.
  void prefetchSlots(const Expansion& expansion) const;
  void reportAbsorbing(const char* explored);
  // The progress line every 1000 states, with a check of the outputs.
  void reportProgress(OutputSink& outputs);

  // Declared first: the table, store and lists refer to it until they
  // are gone.
  MemoryBudget memoryBudget_;

  PVModel* model_;
  RewardModelMaker makeExpanderModel_;
  unsigned expandingThreads_ = 2;
  SuccessorGenerator expander_;
  Procedure procedure_ = Procedure::Normal;
  int stateSize_;  // bytes of a state vector, the Erlang phases included

  std::uint32_t currentNumber_ = 0;  // the state being explored; after the run, the number of states
  std::uint32_t stateCounter_ = 0;   // the highest number given out
  std::uint64_t nextToExplore_ = 1;  // the first state not yet handed to the expansion
  // Numbers after skippedAfter_ up to skippedTo_ were never given out.
  std::uint64_t skippedAfter_ = ~std::uint64_t{0} - 1;
  std::uint64_t skippedTo_ = 0;
  std::uint64_t maxStateNumber_;  // the last number the state store can hold
  // The successors of the state being numbered.
  std::vector<ExploredState::Branch> record_;
  std::unique_ptr<HybridHash> hash_;
  RunSinks* sinks_ = nullptr;
  TraceFileContainer* trace_ = nullptr;
  int traceLevel_ = 0;
  ResultsDB* resultsDB_ = nullptr;
  std::string experimentName_;
  bool absorbing_ = false;
  // The zero-time branchings already warned about (instantaneous actions by
  // position), so that each is reported once.
  std::set<std::vector<std::uint32_t>> warnedBranchings_;
  std::string modelName_;
  std::string modelFile_;
  // Declared last, so destroyed first: a line shown is gone before any
  // message of a failure.
  ProgressLine progress_;
};

#endif
