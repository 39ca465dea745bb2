#include "ExpansionPipeline.h"

#include <pthread.h>

#include <chrono>

#include "SuccessorGenerator.h"

namespace {

// Batches large enough that handing one over costs little against its
// expansion, small enough that neither side waits long for the other; enough
// of them in flight that the worker always finds one while the caller numbers.
constexpr std::size_t kStatesPerBatch = 8;
constexpr std::size_t kBatchesInFlight = 16;
// How long a thread spins before it sleeps: about the time a batch of the
// compiled-in model takes to expand.
constexpr auto kSpin = std::chrono::microseconds(200);

}  // namespace

ExpansionPipeline::ExpansionPipeline(SuccessorGenerator& own, SuccessorGenerator* helper,
                                     std::size_t stateSize, std::size_t rewardCount)
    : own_(own),
      helper_(helper),
      statesPerBatch_(helper ? kStatesPerBatch : 1),
      maxInFlight_(helper ? kBatchesInFlight : 1) {
  for (std::size_t i = 0; i < maxInFlight_; i++) {
    batches_.push_back(std::make_unique<Batch>(stateSize, rewardCount));
    batches_.back()->states.reserve(statesPerBatch_);
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

template <typename Ready>
bool ExpansionPipeline::spinUntil(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kSpin;
  do {
    for (int i = 0; i < 64; i++) {
      if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  } while (std::chrono::steady_clock::now() < until);
  return ready();
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
    batch->status = Status::Queued;
    inFlight_.push_back(batch);
    return;
  }
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch->status = Status::Queued;
    inFlight_.push_back(batch);
    queued_++;
    wake = workerWaiting_;
  }
  if (wake) workQueued_.notify_one();
}

ExpansionPipeline::Batch* ExpansionPipeline::claimOldest() {
  for (Batch* batch : inFlight_)
    if (batch->status == Status::Queued) {
      batch->status = Status::Running;
      queued_--;
      return batch;
    }
  return nullptr;
}

ExpansionPipeline::Batch* ExpansionPipeline::claimNewest() {
  for (auto at = inFlight_.rbegin(); at != inFlight_.rend(); ++at)
    if ((*at)->status == Status::Queued) {
      (*at)->status = Status::Running;
      queued_--;
      return *at;
    }
  return nullptr;
}

ExpansionPipeline::Batch* ExpansionPipeline::next() {
  if (inFlight_.empty()) return nullptr;
  Batch* oldest = inFlight_.front();
  if (!helper_) {
    expand(own_, *oldest);
    inFlight_.pop_front();
    oldest->status = Status::Done;
    return oldest;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (oldest->status != Status::Done) {
    if (Batch* batch = claimNewest()) {
      lock.unlock();
      expand(own_, *batch);
      lock.lock();
      batch->status = Status::Done;
      continue;
    }
    // Only the worker's batch is left to wait for.
    lock.unlock();
    const bool done = spinUntil([&] { return oldest->status == Status::Done; });
    lock.lock();
    if (done) break;
    callerWaiting_ = true;
    batchDone_.wait(lock, [&] { return oldest->status == Status::Done; });
    callerWaiting_ = false;
  }
  inFlight_.pop_front();
  return oldest;
}

void ExpansionPipeline::release(Batch* batch) {
  batch->status = Status::Free;
  free_.push_back(batch);
}

void ExpansionPipeline::work() {
  // Named for profilers and debuggers.
  pthread_setname_np(pthread_self(), "gen-expand");
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopping_) return;
    Batch* batch = claimOldest();
    if (!batch) {
      lock.unlock();
      const bool found = spinUntil([&] { return queued_ > 0 || stopping_; });
      lock.lock();
      if (!found) {
        workerWaiting_ = true;
        workQueued_.wait(lock, [&] { return stopping_ || queued_ > 0; });
        workerWaiting_ = false;
      }
      continue;
    }
    lock.unlock();
    expand(*helper_, *batch);
    lock.lock();
    batch->status = Status::Done;
    if (callerWaiting_) batchDone_.notify_one();
  }
}

void ExpansionPipeline::expand(SuccessorGenerator& generator, Batch& batch) {
  for (std::size_t i = 0; i < batch.numbers.size(); i++) {
    try {
      generator.expand(batch.states[i], batch.numbers[i], batch.out);
    } catch (...) {
      // Reported when the caller reaches this state, after the ones before.
      batch.error = std::current_exception();
      batch.failedAt = i;
      return;
    }
  }
}
