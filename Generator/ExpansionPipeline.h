#ifndef EXPANSION_PIPELINE_H
#define EXPANSION_PIPELINE_H

#include <atomic>
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
// the batches from the oldest on. The caller, whenever the oldest batch is
// not ready yet, expands the newest one the worker has not started: the
// worker keeps the batches the caller needs first, the caller takes the ones
// it needs last, and neither waits while there is work. Waiting starts with
// a short spin, since waking a sleeping thread costs far more (in a virtual
// machine above all) than the few microseconds a batch is usually away.
// Without a helper every batch holds one state and is expanded by the
// caller when taken back, which keeps the order of trace lines and console
// text exactly as in a plain loop.
class ExpansionPipeline {
 public:
  enum class Status { Free, Queued, Running, Done };
  struct Batch {
    Batch(std::size_t stateSize, std::size_t rewardCount) : out(stateSize, rewardCount) {}
    std::vector<const char*> states;      // the explored vectors, which stay put until released
    std::vector<std::uint32_t> numbers;   // their numbers
    Expansion out;
    // The failure met while expanding state `failedAt` (states before it are
    // complete, the rest not expanded).
    std::exception_ptr error;
    std::size_t failedAt = 0;
    std::atomic<Status> status{Status::Free};
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
  // Whether no batch is in flight.
  bool idle() const { return inFlight_.empty(); }
  // Queues a filled batch; an empty one goes back unused.
  void submit(Batch* batch);
  // The oldest batch handed over, expanded; null when none is in flight.
  Batch* next();
  // Gives a batch taken with next() back for reuse.
  void release(Batch* batch);

 private:
  void work();
  void expand(SuccessorGenerator& generator, Batch& batch);
  // The oldest (worker) or newest (caller) queued batch, marked running;
  // null when none. Lock held.
  Batch* claimOldest();
  Batch* claimNewest();
  // Spins a little while `ready` is false; whether it became true.
  template <typename Ready>
  static bool spinUntil(Ready ready);

  SuccessorGenerator& own_;
  SuccessorGenerator* helper_;
  std::size_t statesPerBatch_;
  std::size_t maxInFlight_;
  std::vector<std::unique_ptr<Batch>> batches_;
  std::vector<Batch*> free_;     // touched by the caller's thread only
  std::deque<Batch*> inFlight_;  // in the order handed over; shared under mutex_

  std::mutex mutex_;
  std::condition_variable workQueued_;
  std::condition_variable batchDone_;
  std::atomic<std::size_t> queued_{0};  // batches in flight not yet claimed
  std::atomic<bool> stopping_{false};
  // Who sleeps on a condition, so that nobody signals one in vain.
  bool workerWaiting_ = false;
  bool callerWaiting_ = false;
  std::thread worker_;
};

#endif
