#ifndef GENERATION_RUN_H
#define GENERATION_RUN_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "GenOptions.h"
#include "StateSpaceGen.h"

class PVModel;
class ResultFiles;
class ResultsDB;
class TraceFileContainer;
class TraceFileTarvelSSG;

// One run of gen as its options describe it: builds what the explorer writes
// to (the files the options ask for, the trace outputs, the results
// database) and runs the explorer on them.
class GenerationRun {
 public:
  using RewardModelMaker = StateSpaceGen::RewardModelMaker;

  // Stores the initial state as state 1. The model is not owned.
  GenerationRun(PVModel* model, const GenOptions& options, RewardModelMaker makeExpanderModel = {});
  GenerationRun(const GenerationRun&) = delete;
  GenerationRun& operator=(const GenerationRun&) = delete;
  ~GenerationRun();

  // Creates the trace outputs at the options' level; GenStateSpace does it
  // when it was not done before.
  void InitializeTrace();
  // Runs the whole generation and prints the summary. Failures are thrown as
  // GenError.
  void GenStateSpace();

  // Where the files go: the run's temporaries when set, else their final
  // names. The result files are not owned.
  void setResultFiles(ResultFiles* results) { results_ = results; }
  // How many threads expand states, this one included (given a way to build
  // further models; 2 unless set).
  void setExpandingThreads(unsigned threads) { explorer_.setExpandingThreads(threads); }
  // The model's name, recorded in the .umb file (-U) and named in messages.
  void setModelName(std::string name);
  // The model file the model was built from, named in messages of model
  // faults (the model's name stands in without one).
  void setModelFile(std::string file) { explorer_.setModelFile(std::move(file)); }
  // What the table, store and deterministic lists may hold together.
  void setMemoryLimit(std::optional<std::uint64_t> bytes) { explorer_.setMemoryLimit(bytes); }

  // Whether the trace file could not be written completely.
  bool traceFileFailed() const;

  std::uint32_t numberOfStates() const { return explorer_.numberOfStates(); }
  void skipNumbersUpTo(std::uint32_t last) { explorer_.skipNumbersUpTo(last); }

 private:
  PVModel* model_;
  GenOptions options_;
  std::unique_ptr<ResultsDB> resultsDB_;
  ResultFiles* results_ = nullptr;
  std::string modelName_;
  std::unique_ptr<TraceFileContainer> trace_;
  std::unique_ptr<TraceFileTarvelSSG> ssgTrace_;
  // Declared last: the explorer refers to the trace and the database until
  // it is gone.
  StateSpaceGen explorer_;
};

#endif
