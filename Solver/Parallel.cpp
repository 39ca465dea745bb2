#include "Parallel.h"

#include <algorithm>

#include "UsableCpus.h"

namespace solver {

Parallel::Parallel(unsigned threads) {
  if (threads == 0) threads = usableThreads();
  for (unsigned t = 1; t < threads; t++) workers_.emplace_back([this] { work(); });
}

Parallel::~Parallel() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

// Takes blocks until none is left. The blocks are handed out one at a time
// under the lock: a block is thousands of rows, so the lock is never hot.
void Parallel::runBlocks() {
  for (;;) {
    std::int64_t b, count;
    const std::function<void(std::int64_t, std::int64_t, std::int64_t)>* job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (nextBlock_ >= blocks(count_)) return;
      b = nextBlock_++;
      count = count_;
      job = job_;
    }
    const std::int64_t first = b * kBlock;
    (*job)(b, first, std::min(count, first + kBlock));
  }
}

void Parallel::work() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      busy_++;
    }
    runBlocks();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy_--;
    }
    done_.notify_one();
  }
}

void Parallel::forBlocks(std::int64_t count, const std::function<void(std::int64_t, std::int64_t, std::int64_t)>& f) {
  if (count <= 0) return;
  if (workers_.empty() || count <= kBlock) {
    for (std::int64_t b = 0, first = 0; first < count; b++, first += kBlock)
      f(b, first, std::min(count, first + kBlock));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &f;
    count_ = count;
    nextBlock_ = 0;
    generation_++;
  }
  wake_.notify_all();
  runBlocks();
  // Every block has been handed out; wait for the workers still inside one.
  // A worker that wakes only now finds nothing left and leaves at once.
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return busy_ == 0; });
  job_ = nullptr;
}

}  // namespace solver
