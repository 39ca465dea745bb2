#ifndef EXPANSION_PIPELINE_H
#define EXPANSION_PIPELINE_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Expansion.h"

class SuccessorGenerator;

// Expands explored states ahead of the thread that numbers them. The caller
// hands over batches of states in exploration order and takes them back,
// expanded, in the same order; numbering, the table and the files stay with
// the caller alone, so the results do not depend on who expanded what.
//
// With a helper generator (a second model instance) a worker thread expands
// the batches; the caller expands a batch itself whenever it would otherwise
// wait, so both cores stay busy whichever side is slower. Without a helper
// every batch holds one state and is expanded by the caller when taken back,
// which keeps the order of trace lines and console text exactly as in a
// plain loop.
class ExpansionPipeline {
 public:
  struct Batch {
    Batch(std::size_t stateSize, std::size_t rewardCount) : out(stateSize, rewardCount) {}
    std::vector<char> states;             // the explored vectors, back to back
    std::vector<std::uint32_t> numbers;   // their numbers
    Expansion out;
    // The failure met while expanding state `failedAt` (states before it are
    // complete, the rest not expanded).
    std::exception_ptr error;
    std::size_t failedAt = 0;
    enum class Status { Free, Queued, Running, Done } status = Status::Free;
  };

  // `own` is used on the caller's thread; `helper`, when given, on the
  // worker's. Both must outlive the pipeline.
  ExpansionPipeline(SuccessorGenerator& own, SuccessorGenerator* helper, std::size_t stateSize,
                    std::size_t rewardCount);
  ExpansionPipeline(const ExpansionPipeline&) = delete;
  ExpansionPipeline& operator=(const ExpansionPipeline&) = delete;
  // Stops the worker (abandoning batches in flight) and joins it.
  ~ExpansionPipeline();

  std::size_t statesPerBatch() const { return statesPerBatch_; }
  // An empty batch to fill, or null when enough are in flight.
  Batch* open();
  // Queues a filled batch; an empty one goes back unused.
  void submit(Batch* batch);
  // The oldest batch handed over, expanded; null when none is in flight.
  Batch* next();
  // Gives a batch taken with next() back for reuse.
  void release(Batch* batch);

 private:
  void work();
  void expand(SuccessorGenerator& generator, Batch& batch);
  // The first queued batch, marked running; null when none. Lock held.
  Batch* claimQueued();

  SuccessorGenerator& own_;
  SuccessorGenerator* helper_;
  std::size_t stateSize_;
  std::size_t statesPerBatch_;
  std::size_t maxInFlight_;
  std::vector<std::unique_ptr<Batch>> batches_;
  std::vector<Batch*> free_;     // touched by the caller's thread only
  std::deque<Batch*> inFlight_;  // in the order handed over; shared under mutex_

  std::mutex mutex_;
  std::condition_variable workQueued_;
  std::condition_variable batchDone_;
  bool stopping_ = false;
  // Who sleeps on a condition, so that nobody signals one in vain.
  bool workerWaiting_ = false;
  bool callerWaiting_ = false;
  std::thread worker_;
};

#endif
