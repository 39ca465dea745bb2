#include "ExpansionPipeline.h"

#include <pthread.h>

#include "SuccessorGenerator.h"

namespace {

// Batches large enough that handing one over costs little against its
// expansion, small enough that neither side waits long for the other.
constexpr std::size_t kStatesPerBatch = 256;
constexpr std::size_t kBatchesInFlight = 6;

}  // namespace

ExpansionPipeline::ExpansionPipeline(SuccessorGenerator& own, SuccessorGenerator* helper,
                                     std::size_t stateSize, std::size_t rewardCount)
    : own_(own),
      helper_(helper),
      stateSize_(stateSize),
      statesPerBatch_(helper ? kStatesPerBatch : 1),
      maxInFlight_(helper ? kBatchesInFlight : 1) {
  for (std::size_t i = 0; i < maxInFlight_; i++) {
    batches_.push_back(std::make_unique<Batch>(stateSize, rewardCount));
    batches_.back()->states.reserve(statesPerBatch_ * stateSize);
    batches_.back()->numbers.reserve(statesPerBatch_);
    free_.push_back(batches_.back().get());
  }
  if (helper_) worker_ = std::thread([this] { work(); });
}

ExpansionPipeline::~ExpansionPipeline() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workQueued_.notify_all();
  worker_.join();
}

ExpansionPipeline::Batch* ExpansionPipeline::open() {
  if (free_.empty()) return nullptr;
  Batch* batch = free_.back();
  free_.pop_back();
  batch->states.clear();
  batch->numbers.clear();
  batch->out.clear();
  batch->error = nullptr;
  return batch;
}

void ExpansionPipeline::submit(Batch* batch) {
  if (batch->numbers.empty()) {
    free_.push_back(batch);
    return;
  }
  if (!helper_) {
    batch->status = Batch::Status::Queued;
    inFlight_.push_back(batch);
    return;
  }
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch->status = Batch::Status::Queued;
    inFlight_.push_back(batch);
    wake = workerWaiting_;
  }
  if (wake) workQueued_.notify_one();
}

ExpansionPipeline::Batch* ExpansionPipeline::claimQueued() {
  for (Batch* batch : inFlight_)
    if (batch->status == Batch::Status::Queued) {
      batch->status = Batch::Status::Running;
      return batch;
    }
  return nullptr;
}

ExpansionPipeline::Batch* ExpansionPipeline::next() {
  if (inFlight_.empty()) return nullptr;
  Batch* oldest = inFlight_.front();
  if (!helper_) {
    expand(own_, *oldest);
    inFlight_.pop_front();
    oldest->status = Batch::Status::Done;
    return oldest;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (oldest->status != Batch::Status::Done) {
    // Rather than wait, expand what the worker has not started yet: the
    // oldest batch first.
    if (Batch* batch = claimQueued()) {
      lock.unlock();
      expand(own_, *batch);
      lock.lock();
      batch->status = Batch::Status::Done;
      continue;
    }
    callerWaiting_ = true;
    batchDone_.wait(lock);
    callerWaiting_ = false;
  }
  inFlight_.pop_front();
  return oldest;
}

void ExpansionPipeline::release(Batch* batch) {
  batch->status = Batch::Status::Free;
  free_.push_back(batch);
}

void ExpansionPipeline::work() {
  // Named for profilers and debuggers.
  pthread_setname_np(pthread_self(), "gen-expand");
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Batch* batch = nullptr;
    workerWaiting_ = true;
    workQueued_.wait(lock, [&] { return stopping_ || (batch = claimQueued()) != nullptr; });
    workerWaiting_ = false;
    if (stopping_) return;
    lock.unlock();
    expand(*helper_, *batch);
    lock.lock();
    batch->status = Batch::Status::Done;
    if (callerWaiting_) batchDone_.notify_one();
  }
}

void ExpansionPipeline::expand(SuccessorGenerator& generator, Batch& batch) {
  for (std::size_t i = 0; i < batch.numbers.size(); i++) {
    try {
      generator.expand(batch.states.data() + i * stateSize_, batch.numbers[i], batch.out);
    } catch (...) {
      // Reported when the caller reaches this state, after the ones before.
      batch.error = std::current_exception();
      batch.failedAt = i;
      return;
    }
  }
}
