#ifndef STATE_SPACE_GEN_H
#define STATE_SPACE_GEN_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BaseActionClass.h"
#include "BaseGroupClass.h"
#include "DeterministicList.h"
#include "List.h"
#include "MemoryBudget.h"
#include "OutputFile.h"
#include "SuccessorRates.h"
#include "state_struct.h"

class HybridHash;
class PVModel;
class Queue;
class ResultFiles;
class ResultsDB;
class Reward;
class TraceFileContainer;
class TraceFileTarvelSSG;

// The state-space generator: explores every reachable stable state of the
// reward model breadth-first, numbers the states in discovery order and
// writes the state-space file, the reward file and, for models with
// deterministic actions, the deterministic file.
//
// Zero-time (instantaneous) actions are resolved depth-first after every
// timed firing, so only stable states are numbered. The exploration of one
// transition allocates nothing: the local copy of the explored state, the
// successor vector and the state saved at every level of a zero-time path
// live in buffers sized once per run.
class StateSpaceGen {
 public:
  using FindNextMethod = void (StateSpaceGen::*)(char*);

  // Longest zero-time path accepted: 23 firings in a row.
  static constexpr int kMaxInstantFirings = 23;

  StateSpaceGen(PVModel* model, const char* path, const char* name, short absorbFlag,
                double hashValue, const char* dbHost, const char* dbEntity, char* traceFileName);
  StateSpaceGen(const StateSpaceGen&) = delete;
  StateSpaceGen& operator=(const StateSpaceGen&) = delete;
  ~StateSpaceGen();

  void InitializeTrace();
  void GenStateSpace();
  void SetMethodPointers();
  void GenStateSpaceNormal(const char* armName, const char* varName);
  void GenStateSpaceDeterministic(const char* armName, const char* varName, const char* detName);

  void FindNextNormal(char* state);
  void FindNextInstant(char* state);
  void FindNextDeterministic(char* state);
  bool FireAction(BaseActionClass* action, char* state);
  void FireInstant(double probability);
  void FireInstantDet(double probability);
  void SaveStableState(double rate, std::int64_t number);

  // What the run's table, store, queue and lists may hold (declared first:
  // they refer to it until they are gone).
  MemoryBudget memoryBudget;
  // Members, in the order of the generator's data model.
  std::uint32_t currentNumber = 0;
  SuccessorRates successorRates;
  std::uint32_t numTimedActions = 0;
  std::uint32_t stateCounter = 0;
  int stateSize = 0;
  std::uint32_t numErlangActions = 0;
  std::unique_ptr<ResultsDB> resultsDB;
  std::uint32_t distributionFlags = 0;
  PVModel* model;
  std::unique_ptr<Reward> reward;
  std::unique_ptr<Queue> queue;
  std::unique_ptr<HybridHash> hash;
  std::vector<BaseActionClass*> instantActions;
  std::vector<BaseActionClass*> timedActions;
  std::vector<BaseActionClass*> erlangActions;
  List<BaseActionClass> actionList;
  BaseActionClass** allActions = nullptr;
  List<BaseGroupClass> groupList;
  BaseGroupClass** groups = nullptr;
  state_struct workState;
  double currentRate = 0.0;
  DeterministicList detList;
  char* nextState = nullptr;
  const char* path;
  const char* name;
  short absorbFlag;
  short fileType = 1;
  char* traceFileName;  // owned (C allocator)
  std::unique_ptr<TraceFileContainer> trace;
  std::unique_ptr<TraceFileTarvelSSG> ssgTrace;
  int traceLevel = 0;
  short depth = 0;
  std::uint32_t numInstantActions = 0;
  double hashValue;
  // Where the files go: their temporaries when set, else their final names.
  ResultFiles* results = nullptr;

  // The procedure SetMethodPointers chose: FindNextNormal or FindNextInstant.
  static FindNextMethod FindNext;

 private:
  // Buffers of one run, allocated by the procedures and kept to the end.
  void allocateRunBuffers();
  char* scratchState(int level) { return scratch_.data() + static_cast<std::size_t>(level) * stateSize; }
  BaseActionClass** enabledAt(int level) {
    return enabled_.data() + static_cast<std::size_t>(level) * numInstantActions;
  }
  BaseGroupClass* groupOf(BaseActionClass* action);
  // The case probability of a timed or instantaneous action; stops the run
  // when the group cannot give a number (the weights of its group sum to 0).
  double caseProbability(BaseActionClass* action);
  // The number of the state in nextState, or negative when it is new.
  std::int64_t lookupSuccessor();
  // Numbers the state in nextState as new, stores and queues it, writes its
  // reward record; returns its number.
  std::uint32_t newState();
  // Writes the record of the explored state: its number, its successors in
  // increasing number with their values, and 0. Empties successorRates.
  void writeStateRecord(OutputFile& arm);
  // Start of a run, once its files are open: the reward file with state 1's
  // record, and the state-space file's placeholder header.
  void startRun(OutputFile& arm, const char* varName, int headerBlanks);
  // The progress line every 1000 states, with a check of the output files.
  void reportProgress(OutputFile& arm);
  // Writes the file type and the record count over the placeholder header.
  void rewriteHeader(OutputFile& arm, std::uint32_t records);
  // Closes and checks the files of a run; a failure stops the run.
  void finishFiles(OutputFile& arm, OutputFile* det);
  [[noreturn]] void zeroTimeLimitExceeded(bool deterministic);
  [[noreturn]] void vanishingPathLost(BaseActionClass** enabled, int count, bool negativeRanks,
                                      double totalWeight);

  // The name to write for the output file `finalName`.
  std::string outputPath(const std::string& finalName) const;

  std::vector<char> localState_;    // the explored state, copied out of the queue
  std::vector<char> nextStateBuf_;  // storage of nextState
  std::vector<char> workBuf_;       // storage of workState.data
  std::vector<char> scratch_;       // one state per level of a zero-time path
  std::vector<BaseActionClass*> enabled_;  // the enabled instantaneous actions, per level
  std::uint64_t maxStateNumber_;    // the last number the state store can hold
  // Whether the trace wants messages of level 1 and 4; the trace level is
  // fixed for the run, so the hot paths test these instead of asking.
  bool trace1_ = false;
  bool trace4_ = false;
};

#endif
