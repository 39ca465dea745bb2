#include "ExpansionPipeline.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>

#include "ByteRuns.h"
#include "PVModel.h"
#include "SuccessorGenerator.h"

namespace {

// More slots than the frontier of the models measured is wide, so that the
// worker finds a state to expand whenever one exists.
constexpr std::size_t kSlots = 256;
// How long a thread spins before it sleeps: many times the expansion of one
// state, far less than the sleep and wake-up it saves.
constexpr auto kSpin = std::chrono::microseconds(100);
// Successors a slot holds without growing its buffers.
constexpr std::size_t kReservedSuccessors = 16;

template <typename Ready>
bool spinUntil(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kSpin;
  do {
    for (int i = 0; i < 32; i++) {
      if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  } while (std::chrono::steady_clock::now() < until);
  return ready();
}

}  // namespace

ExpansionPipeline::Slot::Slot(std::size_t stateSize, std::size_t rewardCount)
    : vector(std::max<std::size_t>(stateSize, 64)), out(stateSize, rewardCount) {
  out.reserve(kReservedSuccessors);
}

ExpansionPipeline::ExpansionPipeline(SuccessorGenerator& own, HelperMaker makeHelper, std::size_t stateSize,
                                     std::size_t rewardCount)
    : own_(own), makeHelper_(std::move(makeHelper)), threaded_(static_cast<bool>(makeHelper_)),
      stateSize_(stateSize) {
  const std::size_t count = threaded_ ? kSlots : 1;
  for (std::size_t i = 0; i < count; i++) slots_.push_back(std::make_unique<Slot>(stateSize, rewardCount));
  if (threaded_) worker_ = std::thread([this] { work(); });
}

ExpansionPipeline::~ExpansionPipeline() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workPublished_.notify_all();
  worker_.join();
}

void ExpansionPipeline::push(const char* state, std::uint32_t number) {
  const std::uint64_t index = published_.load(std::memory_order_relaxed);
  Slot& s = slot(index);
  // A copy in the slot: the worker then never reads the lines of the table's
  // store that this thread is writing the next new states into.
  copyBytes(s.vector.data(), state, stateSize_);
  s.number = number;
  s.done.store(false, std::memory_order_relaxed);
  published_.store(index + 1, std::memory_order_seq_cst);
  if (threaded_ && workerWaiting_.load(std::memory_order_seq_cst)) {
    { std::lock_guard<std::mutex> lock(mutex_); }
    workPublished_.notify_one();
  }
}

bool ExpansionPipeline::claim(std::uint64_t& index) {
  index = claimed_.load(std::memory_order_acquire);
  while (index < published_.load(std::memory_order_acquire))
    if (claimed_.compare_exchange_weak(index, index + 1, std::memory_order_acq_rel)) return true;
  return false;
}

void ExpansionPipeline::expand(SuccessorGenerator& generator, Slot& s) {
  // Cleared here rather than when handed over: the expanding thread writes
  // these lines next anyway, and they need not cross to the other core first.
  s.out.clear();
  s.error = nullptr;
  try {
    generator.expand(s.state(), s.number, s.out);
  } catch (...) {
    // Reported when the caller takes this state back, after the ones before.
    s.error = std::current_exception();
  }
  s.done.store(true, std::memory_order_seq_cst);
}

ExpansionPipeline::Slot* ExpansionPipeline::front() {
  if (taken_ == published_.load(std::memory_order_relaxed)) return nullptr;
  Slot& oldest = slot(taken_);
  if (!threaded_) {
    expand(own_, oldest);
    return &oldest;
  }
  while (!oldest.done.load(std::memory_order_acquire)) {
    // Rather than wait, expand the next state nobody has claimed yet.
    std::uint64_t index;
    if (claim(index)) {
      expand(own_, slot(index));
      continue;
    }
    // Only the worker's state is left to wait for.
    if (spinUntil([&] { return oldest.done.load(std::memory_order_acquire); })) break;
    std::unique_lock<std::mutex> lock(mutex_);
    callerWaiting_.store(true, std::memory_order_seq_cst);
    slotDone_.wait(lock, [&] { return oldest.done.load(std::memory_order_seq_cst); });
    callerWaiting_.store(false, std::memory_order_relaxed);
  }
  return &oldest;
}

void ExpansionPipeline::work() {
  // Named for profilers and debuggers.
  pthread_setname_np(pthread_self(), "gen-expand");
  Helper helper;
  try {
    helper = makeHelper_();
  } catch (...) {
    return;  // the caller claims every state itself
  }
  if (!helper.generator) return;
  for (;;) {
    std::uint64_t index;
    if (claim(index)) {
      Slot& s = slot(index);
      expand(*helper.generator, s);
      if (callerWaiting_.load(std::memory_order_seq_cst)) {
        { std::lock_guard<std::mutex> lock(mutex_); }
        slotDone_.notify_one();
      }
      continue;
    }
    const auto ready = [this] {
      return stopping_.load(std::memory_order_acquire) ||
             claimed_.load(std::memory_order_acquire) < published_.load(std::memory_order_acquire);
    };
    if (!spinUntil(ready)) {
      std::unique_lock<std::mutex> lock(mutex_);
      workerWaiting_.store(true, std::memory_order_seq_cst);
      workPublished_.wait(lock, ready);
      workerWaiting_.store(false, std::memory_order_relaxed);
    }
    if (stopping_.load(std::memory_order_acquire)) return;
  }
}
