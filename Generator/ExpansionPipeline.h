#ifndef EXPANSION_PIPELINE_H
#define EXPANSION_PIPELINE_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Expansion.h"

class PVModel;
class SuccessorGenerator;

// Expands explored states ahead of the thread that numbers them. The caller
// hands over states in exploration order and takes them back, expanded, in
// the same order; numbering, the table and the files stay with the caller
// alone, so the results do not depend on who expanded what.
//
// The states wait in a ring of slots. With a helper generator (a second
// model instance) a worker thread claims the next unclaimed slot, one state
// at a time, and so does the caller whenever the state it must number next
// is still being expanded. A breadth-first frontier can be only a few dozen
// states wide (the compiled-in model's is), so the unit of work is one state:
// a newly numbered state can be expanded at once, and neither thread waits
// while the other holds a long run of work. Waiting starts with a short
// spin, since waking a sleeping thread costs far more (in a virtual machine
// above all) than the microseconds a state is usually away.
//
// Without a helper the ring has one slot, expanded by the caller when taken
// back, which keeps the order of trace lines and console text exactly as in
// a plain loop.
class ExpansionPipeline {
 public:
  // Each slot keeps to its own cache lines, and so do the buffers of its
  // expansion: the two threads write neighbouring slots at the same time.
  struct alignas(64) Slot {
    Slot(std::size_t stateSize, std::size_t rewardCount);
    std::vector<char> vector;     // a copy of the explored vector
    const char* state() const { return vector.data(); }
    std::uint32_t number = 0;
    Expansion out;                // this one state's expansion
    std::exception_ptr error;     // the failure met while expanding it
    std::atomic<bool> done{false};
  };

  // The worker's generator and the model it drives (declared first, so
  // that it goes last).
  struct Helper {
    std::unique_ptr<PVModel> model;
    std::unique_ptr<SuccessorGenerator> generator;
  };
  using HelperMaker = std::function<Helper()>;

  // `own` is used on the caller's thread and must outlive the pipeline.
  // `makeHelper`, when given, builds the worker's generator on the worker's
  // thread, so that its model lives in that thread's own memory and the two
  // models never share a cache line; should it fail, the caller expands
  // every state.
  ExpansionPipeline(SuccessorGenerator& own, HelperMaker makeHelper, std::size_t stateSize,
                    std::size_t rewardCount);
  ExpansionPipeline(const ExpansionPipeline&) = delete;
  ExpansionPipeline& operator=(const ExpansionPipeline&) = delete;
  // Stops the worker (abandoning states in flight) and joins it.
  ~ExpansionPipeline();

  bool full() const { return published_.load(std::memory_order_relaxed) - taken_ == slots_.size(); }
  // Hands over a copy of the state `number`. Not when full.
  void push(const char* state, std::uint32_t number);
  // The oldest state handed over, expanded (its error set if that failed);
  // null when none is in flight.
  Slot* front();
  // Frees front()'s slot.
  void pop() { taken_++; }

 private:
  Slot& slot(std::uint64_t index) { return *slots_[index % slots_.size()]; }
  const Slot& slot(std::uint64_t index) const { return *slots_[index % slots_.size()]; }
  // Claims the next slot not yet claimed; false when every one handed over is.
  bool claim(std::uint64_t& index);
  void expand(SuccessorGenerator& generator, Slot& s);
  void work();

  SuccessorGenerator& own_;
  HelperMaker makeHelper_;
  bool threaded_;
  std::size_t stateSize_;
  std::vector<std::unique_ptr<Slot>> slots_;

  // Slots are numbered by the order of their states: published_ states have
  // been handed over, claimed_ of them claimed for expansion, taken_ taken
  // back (caller only). Each counter has a cache line of its own.
  alignas(64) std::atomic<std::uint64_t> published_{0};
  alignas(64) std::atomic<std::uint64_t> claimed_{0};
  alignas(64) std::uint64_t taken_ = 0;

  std::mutex mutex_;
  std::condition_variable workPublished_;
  std::condition_variable slotDone_;
  std::atomic<bool> stopping_{false};
  // Who sleeps on a condition, so that nobody signals one in vain.
  std::atomic<bool> workerWaiting_{false};
  std::atomic<bool> callerWaiting_{false};
  std::thread worker_;
};

#endif
