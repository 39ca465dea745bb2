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
// The states wait in a ring of slots. Helper threads, each with a model
// instance of its own, claim states ahead of the caller, one at a time,
// oldest first. The caller never waits for a helper: when the state it must
// number next is not expanded yet, it expands it itself, with its own
// generator. Should a helper be at that state already, the caller expands
// the newest state no one has taken instead and looks again, so that the two
// do not do the same work; only when no such state is left does it take the
// state from the helper (into a spare slot that takes the helper's place in
// the ring) and drop the helper's late result. A helper that the system has
// descheduled therefore costs the run nothing but its unfinished state,
// which the caller would have expanded anyway. Expansion is deterministic,
// so every result is the same whoever computes it.
//
// Without helpers the ring has one slot, expanded by the caller when taken
// back, which keeps the order of trace lines and console text exactly as in
// a plain loop.
class ExpansionPipeline {
 public:
  // Each slot keeps to its own cache lines, and so do the buffers of its
  // expansion: threads write neighbouring slots at the same time.
  struct alignas(64) Slot {
    Slot(std::size_t stateSize, std::size_t rewardCount);
    std::vector<char> vector;  // a copy of the explored vector
    const char* state() const { return vector.data(); }
    std::uint32_t number = 0;
    Expansion out;             // this one state's expansion
    std::exception_ptr error;  // the failure met while expanding it
    // Who holds the slot, and for which state: the state's index in the
    // order handed over, times 8, plus the holder (see the .cpp).
    std::atomic<std::uint64_t> tag{0};
  };

  // A helper's generator and the model it drives (declared first, so
  // that it goes last).
  struct Helper {
    std::unique_ptr<PVModel> model;
    std::unique_ptr<SuccessorGenerator> generator;
  };
  using HelperMaker = std::function<Helper()>;

  // `own` is used on the caller's thread and must outlive the pipeline.
  // `helpers` threads each build their generator with `makeHelper`, one at a
  // time, on their own thread, so that their models live in their own
  // memory; a helper whose maker fails stops, and the others and the caller
  // expand its share.
  ExpansionPipeline(SuccessorGenerator& own, HelperMaker makeHelper, unsigned helpers, std::size_t stateSize,
                    std::size_t rewardCount);
  ExpansionPipeline(const ExpansionPipeline&) = delete;
  ExpansionPipeline& operator=(const ExpansionPipeline&) = delete;
  // Stops the helpers (each finishes the state in hand) and joins them.
  ~ExpansionPipeline();

  // Hands over a copy of the state `number`; false when the ring is full.
  bool push(const char* state, std::uint32_t number);
  // The oldest state handed over, expanded (its error set if that failed);
  // null when none is in flight.
  Slot* front();
  // Frees front()'s slot.
  void pop();

 private:
  // The caller's view of the ring.
  Slot& slot(std::uint64_t index) { return *ring_[index % ring_.size()].load(std::memory_order_relaxed); }
  // Puts a free spare in the place of `held`, whose state `index` a late
  // helper holds, with a copy of that state; `held` becomes a spare.
  Slot& replace(Slot& held, std::uint64_t index);
  void expand(SuccessorGenerator& generator, Slot& s);
  // Expands, on the caller's thread, a state after the next one that no
  // helper has taken; false when there is none.
  bool expandAhead();
  // The next state a helper may take and its slot, and whether it took it.
  bool claim(std::uint64_t& index, Slot*& claimed);
  // How many handed-over states a helper may still take.
  std::uint64_t backlog() const;
  // Waits a while for a state a helper may take; false when none came.
  bool waitForWork() const;
  void work();

  SuccessorGenerator& own_;
  HelperMaker makeHelper_;
  std::size_t stateSize_;
  std::size_t rewardCount_;
  // Every slot there is (the caller's alone), and the ring of those that
  // hold the states in flight, by index modulo its size. A slot taken from a
  // late helper leaves the ring for a spare until the helper is through.
  std::vector<std::unique_ptr<Slot>> storage_;
  std::vector<std::atomic<Slot*>> ring_;
  std::vector<Slot*> spares_;
  Slot* current_ = nullptr;  // what front() gave last
  // The states expandAhead() looked at last (see there).
  std::uint64_t aheadLow_ = 0;
  std::uint64_t aheadHigh_ = 0;

  // Slots are numbered by the order of their states: published_ states have
  // been handed over, taken_ taken back (the one at taken_ is the caller's
  // next or current); helpers look at states from next_ on and only past
  // taken_. Each counter has a cache line of its own.
  alignas(64) std::atomic<std::uint64_t> published_{0};
  alignas(64) std::atomic<std::uint64_t> next_{0};
  alignas(64) std::atomic<std::uint64_t> taken_{0};

  std::mutex mutex_;      // guards the sleep and wake-up of helpers
  std::mutex makeMutex_;  // one helper at a time builds its model
  std::condition_variable workPublished_;
  std::atomic<bool> stopping_{false};
  // Helpers asleep. The caller wakes one at most once in kWakeBacklog states
  // handed over (lastWake_: the index of the last), since a woken helper
  // may take a while to get up.
  std::atomic<unsigned> sleeping_{0};
  std::uint64_t lastWake_ = 0;
  std::vector<std::thread> helpers_;
};

#endif
