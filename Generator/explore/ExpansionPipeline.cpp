#include "ExpansionPipeline.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>

#include "ByteRuns.h"
#include "GenAssert.h"
#include "PVModel.h"
#include "SuccessorGenerator.h"

namespace {

// More slots than the frontier of the models measured is wide, so that the
// helpers find a state to expand whenever one exists.
constexpr std::size_t kSlots = 256;
// Successors a slot holds without growing its buffers.
constexpr std::size_t kReservedSuccessors = 16;
// A helper with nothing to do looks again for a moment, the time of a few
// expansions, then gives way to other threads of the machine while it looks
// on for some more before it sleeps: with a frontier a few dozen states wide
// the next state comes within microseconds, far less than a sleep and
// wake-up, but on a busy machine the looking must not take the processor
// from a thread with work.
constexpr auto kSpin = std::chrono::microseconds(2);
constexpr auto kLookOn = std::chrono::microseconds(100);
// A sleeping helper is woken once this many states wait for it, so that a
// wake-up (a system call for the caller, a context switch for the helper)
// is spread over many states; the caller has the rest of the ring to number
// meanwhile.
constexpr std::uint64_t kWakeBacklog = 8;

// The holder of a slot, in the low bits of its tag. Free: the caller may
// hand over a new state. Published: handed over, anyone's to take. Claimed:
// a helper expands it. Done: the helper's result waits. Abandoned: the
// caller took the state from the helper, which frees the slot when it is
// through. Taken: the caller expands it in the slot.
enum Holder : std::uint64_t { kFree, kPublished, kClaimed, kDone, kAbandoned, kTaken };
constexpr std::uint64_t kHolderBits = 3;
constexpr std::uint64_t tagOf(std::uint64_t index, Holder holder) { return index << kHolderBits | holder; }
constexpr Holder holderOf(std::uint64_t tag) { return static_cast<Holder>(tag & ((1u << kHolderBits) - 1)); }

}  // namespace

ExpansionPipeline::Slot::Slot(std::size_t stateSize, std::size_t rewardCount)
    : vector(std::max<std::size_t>(stateSize, 64)), out(stateSize, rewardCount) {
  out.reserve(kReservedSuccessors);
}

ExpansionPipeline::ExpansionPipeline(SuccessorGenerator& own, HelperMaker makeHelper, unsigned helpers,
                                     std::size_t stateSize, std::size_t rewardCount)
    : own_(own),
      makeHelper_(std::move(makeHelper)),
      stateSize_(stateSize),
      rewardCount_(rewardCount),
      ring_(makeHelper_ && helpers > 0 ? kSlots : 1) {
  if (!makeHelper_) helpers = 0;
  for (std::atomic<Slot*>& entry : ring_) {
    storage_.push_back(std::make_unique<Slot>(stateSize, rewardCount));
    entry.store(storage_.back().get(), std::memory_order_relaxed);
  }
  for (unsigned i = 0; i < helpers; i++) helpers_.emplace_back([this] { work(); });
}

ExpansionPipeline::~ExpansionPipeline() {
  if (helpers_.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workPublished_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

bool ExpansionPipeline::push(const char* state, std::uint32_t number) {
  const std::uint64_t index = published_.load(std::memory_order_relaxed);
  if (index - taken_.load(std::memory_order_relaxed) == ring_.size()) return false;
  Slot& s = slot(index);
  // A copy in the slot: a helper then never reads the lines of the table's
  // store that this thread is writing the next new states into.
  copyBytes(s.vector.data(), state, stateSize_);
  s.number = number;
  s.tag.store(tagOf(index, kPublished), std::memory_order_release);
  published_.store(index + 1, std::memory_order_seq_cst);
  if (sleeping_.load(std::memory_order_seq_cst) > 0 && index >= lastWake_ + kWakeBacklog && backlog() >= kWakeBacklog) {
    lastWake_ = index;
    { std::lock_guard<std::mutex> lock(mutex_); }
    workPublished_.notify_one();
  }
  return true;
}

void ExpansionPipeline::expand(SuccessorGenerator& generator, Slot& s) {
  // Cleared here rather than when handed over: the expanding thread writes
  // these lines next anyway, and they need not cross to another core first.
  s.out.clear();
  s.error = nullptr;
  try {
    generator.expand(s.state(), s.number, s.out);
  } catch (...) {
    // Reported when the caller takes this state back, after the ones before.
    s.error = std::current_exception();
  }
}

ExpansionPipeline::Slot* ExpansionPipeline::front() {
  const std::uint64_t index = taken_.load(std::memory_order_relaxed);
  if (index == published_.load(std::memory_order_relaxed)) return nullptr;
  Slot& s = slot(index);
  std::uint64_t tag = s.tag.load(std::memory_order_acquire);
  for (;;) {
    switch (holderOf(tag)) {
      case kDone: current_ = &s; return current_;
      case kPublished:
        if (s.tag.compare_exchange_weak(tag, tagOf(index, kTaken), std::memory_order_acquire)) {
          expand(own_, s);
          current_ = &s;
          return current_;
        }
        break;
      case kClaimed:
        // A helper is at it. Rather than do its work a second time, this
        // thread expands a state further on that no one has taken yet and
        // looks again: the helper is most likely through by then.
        if (expandAhead()) {
          tag = s.tag.load(std::memory_order_acquire);
          break;
        }
        // Nothing else is left to do: the helper is late, perhaps not even
        // running. The state is expanded here, in a slot that takes the
        // place of the helper's in the ring, and the helper's result,
        // whenever it comes, is dropped.
        if (s.tag.compare_exchange_weak(tag, tagOf(index, kAbandoned), std::memory_order_acq_rel)) {
          Slot& mine = replace(s, index);
          expand(own_, mine);
          current_ = &mine;
          return current_;
        }
        break;
      default:
        GEN_ASSERT(false, "a handed-over state is published, claimed or done", "ExpansionPipeline");
        return nullptr;
    }
  }
}

bool ExpansionPipeline::expandAhead() {
  // The newest states first: they are the farthest from the helpers, which
  // take the oldest, and from the state this thread needs next. States
  // in [aheadLow_, aheadHigh_) were passed over or taken by an earlier look
  // and none of them can be free to take since (a state once taken is never
  // handed back).
  const std::uint64_t low = std::max(next_.load(std::memory_order_acquire), taken_.load(std::memory_order_relaxed) + 1);
  const std::uint64_t high = published_.load(std::memory_order_relaxed);
  for (std::uint64_t index = high; index > low;) {
    index--;
    if (index < aheadHigh_ && index >= aheadLow_) {
      index = aheadLow_;
      continue;
    }
    Slot& s = slot(index);
    std::uint64_t published = tagOf(index, kPublished);
    if (s.tag.compare_exchange_strong(published, tagOf(index, kTaken), std::memory_order_acquire)) {
      aheadHigh_ = high;
      aheadLow_ = index;
      expand(own_, s);
      s.tag.store(tagOf(index, kDone), std::memory_order_release);
      return true;
    }
  }
  aheadHigh_ = high;
  aheadLow_ = low;
  return false;
}

ExpansionPipeline::Slot& ExpansionPipeline::replace(Slot& held, std::uint64_t index) {
  // A spare is free once no helper holds it any more; there are never more
  // held than helpers.
  auto free = std::find_if(spares_.begin(), spares_.end(), [](const Slot* spare) {
    return holderOf(spare->tag.load(std::memory_order_acquire)) == kFree;
  });
  if (free == spares_.end()) {
    storage_.push_back(std::make_unique<Slot>(stateSize_, rewardCount_));
    free = spares_.insert(spares_.end(), storage_.back().get());
  }
  Slot& mine = **free;
  *free = &held;
  copyBytes(mine.vector.data(), held.state(), stateSize_);
  mine.number = held.number;
  mine.tag.store(tagOf(index, kTaken), std::memory_order_relaxed);
  ring_[index % ring_.size()].store(&mine, std::memory_order_release);
  return mine;
}

void ExpansionPipeline::pop() {
  const std::uint64_t index = taken_.load(std::memory_order_relaxed);
  current_->tag.store(tagOf(index, kFree), std::memory_order_release);
  current_ = nullptr;
  taken_.store(index + 1, std::memory_order_release);
}

std::uint64_t ExpansionPipeline::backlog() const {
  const std::uint64_t from =
      std::max(next_.load(std::memory_order_seq_cst), taken_.load(std::memory_order_seq_cst) + 1);
  const std::uint64_t published = published_.load(std::memory_order_seq_cst);
  return published > from ? published - from : 0;
}

bool ExpansionPipeline::waitForWork() const {
  const auto ready = [this] { return backlog() > 0 || stopping_.load(std::memory_order_relaxed); };
  const auto start = std::chrono::steady_clock::now();
  const auto spinUntil = start + kSpin;
  do {
    for (int i = 0; i < 64; i++) {
      if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
  } while (std::chrono::steady_clock::now() < spinUntil);
  const auto yieldUntil = start + kLookOn;
  do {
    std::this_thread::yield();
    if (ready()) return true;
  } while (std::chrono::steady_clock::now() < yieldUntil);
  return false;
}

bool ExpansionPipeline::claim(std::uint64_t& index, Slot*& claimed) {
  std::uint64_t next = next_.load(std::memory_order_acquire);
  for (;;) {
    // The state the caller takes next is left to it: it would take the
    // state back from a helper that had just begun.
    const std::uint64_t from = std::max(next, taken_.load(std::memory_order_acquire) + 1);
    if (from >= published_.load(std::memory_order_acquire)) return false;
    if (!next_.compare_exchange_weak(next, from + 1, std::memory_order_acq_rel)) continue;
    std::uint64_t published = tagOf(from, kPublished);
    Slot* s = ring_[from % ring_.size()].load(std::memory_order_acquire);
    if (s->tag.compare_exchange_strong(published, tagOf(from, kClaimed), std::memory_order_acq_rel)) {
      index = from;
      claimed = s;
      return true;
    }
    next = from + 1;
  }
}

void ExpansionPipeline::work() {
  // Named for profilers and debuggers.
  pthread_setname_np(pthread_self(), "gen-expand");
  Helper helper;
  try {
    std::lock_guard<std::mutex> lock(makeMutex_);
    helper = makeHelper_();
  } catch (...) {
    return;  // the others and the caller expand its share
  }
  if (!helper.generator) return;
  while (!stopping_.load(std::memory_order_acquire)) {
    std::uint64_t index;
    Slot* s;
    if (claim(index, s)) {
      expand(*helper.generator, *s);
      std::uint64_t claimed = tagOf(index, kClaimed);
      if (!s->tag.compare_exchange_strong(claimed, tagOf(index, kDone), std::memory_order_acq_rel))
        s->tag.store(tagOf(index, kFree), std::memory_order_release);  // abandoned: the caller moved on
      continue;
    }
    if (waitForWork()) continue;
    std::unique_lock<std::mutex> lock(mutex_);
    sleeping_.fetch_add(1, std::memory_order_seq_cst);
    while (!stopping_.load(std::memory_order_acquire) && backlog() < kWakeBacklog) workPublished_.wait(lock);
    sleeping_.fetch_sub(1, std::memory_order_seq_cst);
  }
}
