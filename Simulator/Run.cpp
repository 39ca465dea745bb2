#include "Run.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "GenError.h"
#include "PVModel.h"
#include "Splitting.h"

namespace sim {

const char* kindName(::RewardType kind) {
  switch (kind) {
    case Instant_Of_Time: return "instant";
    case Interval_Of_Time: return "interval";
    case Time_Averaged_Interval_Of_Time: return "time_averaged";
    case Steady_State: return "steady_state";
  }
  return "unknown";
}

std::string stopText(const RunResult& r, const Options& o) {
  char text[256];
  switch (r.reason) {
    case StopReason::Precision:
      std::snprintf(text, sizeof text, "every interval reached the relative half-width %g", o.relativeHalfWidth);
      break;
    case StopReason::Replications:
      std::snprintf(text, sizeof text, "the replication budget (%llu) was reached",
                    static_cast<unsigned long long>(o.maxReplications));
      break;
    case StopReason::WallTime:
      std::snprintf(text, sizeof text, "the wall-time budget (%g s) ran out", o.wallSeconds);
      break;
  }
  return text;
}

namespace {

using Clock = std::chrono::steady_clock;

// The replications of one round that this process runs, shared by its
// threads through one counter.
struct Round {
  std::uint64_t first = 0, count = 0;
  int rank = 0, ranks = 1;
  std::vector<double>* rows = nullptr;  // count rows of width slots + 1 (the events last)
  std::size_t width = 0;
  std::atomic<std::uint64_t> next{0};
  std::atomic<bool> late{false};
  Clock::time_point deadline;
};

// A replication that failed: which one, and how.
struct Failure {
  std::uint64_t replication = UINT64_MAX;
  std::exception_ptr error;
};

// A plain replication as a thread's work.
class Replications final : public Worker {
 public:
  Replications(std::unique_ptr<PVModel> model, const Plan& plan) : replicator_(std::move(model), plan) {}
  std::uint64_t run(std::uint64_t seed, std::uint64_t index, double* out) override {
    return replicator_.run(seed, index, out);
  }

 private:
  Replicator replicator_;
};

void work(Worker& replicator, Round& round, std::uint64_t seed, Failure& failure) {
  std::uint64_t j = 0;
  try {
    for (;;) {
      // Replication first + j belongs to rank j mod ranks.
      const std::uint64_t k = round.next.fetch_add(1);
      j = k * static_cast<std::uint64_t>(round.ranks) + static_cast<std::uint64_t>(round.rank);
      if (j >= round.count) return;
      if (Clock::now() > round.deadline) {
        round.late = true;
        return;
      }
      double* row = round.rows->data() + j * round.width;
      row[round.width - 1] = static_cast<double>(replicator.run(seed, round.first + j, row));
    }
  } catch (...) {
    failure = Failure{round.first + j, std::current_exception()};
  }
}

}  // namespace

RunResult simulate(const std::function<std::unique_ptr<PVModel>()>& makeModel, const Options& options, unsigned threads,
                   Cluster& cluster, const std::function<void(const std::string&)>& progress) {
  const Clock::time_point start = Clock::now();
  const auto deadline =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.wallSeconds));
  std::vector<std::unique_ptr<Worker>> replicators;
  std::unique_ptr<PVModel> first = makeModel();
  const Plan plan = makePlan(*first, options.warmupEvents, options.batchEvents, options.variables);
  std::unique_ptr<SplitPlan> split;
  if (options.split) {
    first.reset();
    split = prepareSplitting(makeModel, plan, options, progress);
    for (unsigned t = 0; t < threads; t++) replicators.push_back(std::make_unique<Splitter>(makeModel, plan, *split));
  } else {
    replicators.push_back(std::make_unique<Replications>(std::move(first), plan));
    for (unsigned t = 1; t < threads; t++) replicators.push_back(std::make_unique<Replications>(makeModel(), plan));
  }

  const std::size_t slots = plan.slots.size();
  std::vector<Accumulator> stats(slots);
  RunResult result;
  result.threads = threads;
  std::vector<double> rows;
  std::uint64_t done = 0;
  Clock::time_point lastProgress = start;
  for (;;) {
    const std::uint64_t count = std::min(options.round, options.maxReplications - done);
    rows.assign(count * (slots + 1), 0.0);
    Round round;
    round.first = done;
    round.count = count;
    round.rank = cluster.rank();
    round.ranks = cluster.size();
    round.rows = &rows;
    round.width = slots + 1;
    round.deadline = deadline;
    std::vector<Failure> failures(replicators.size());
    {
      std::vector<std::thread> pool;
      for (std::size_t t = 1; t < replicators.size(); t++)
        pool.emplace_back(work, std::ref(*replicators[t]), std::ref(round), options.seed, std::ref(failures[t]));
      work(*replicators[0], round, options.seed, failures[0]);
      for (auto& thread : pool) thread.join();
    }
    // The failure of the earliest replication is the one reported, whichever
    // thread met it.
    const Failure* first = nullptr;
    for (const Failure& failure : failures)
      if (failure.error && (!first || failure.replication < first->replication)) first = &failure;
    if (first) std::rethrow_exception(first->error);
    // A round cut short by the clock on any rank is dropped whole: what is
    // reported is then exactly the run of the rounds before it.
    if (cluster.any(round.late.load())) {
      result.reason = StopReason::WallTime;
      break;
    }
    cluster.sum(rows.data(), rows.size());
    for (std::uint64_t j = 0; j < count; j++) {
      const double* row = rows.data() + j * (slots + 1);
      for (std::size_t s = 0; s < slots; s++) stats[s].add(row[s]);
      result.events += static_cast<std::uint64_t>(row[slots]);
    }
    done += count;

    double widest = 0;
    bool allMet = true;
    for (std::size_t s = 0; s < slots; s++) {
      const double hw = halfWidth(stats[s], options.level);
      const double mean = std::fabs(stats[s].mean());
      const double relative = mean > 0 ? hw / mean : (hw > 0 ? INFINITY : 0.0);
      widest = std::max(widest, relative);
      if (!(hw <= options.relativeHalfWidth * mean) || !stats[s].varied()) allMet = false;
    }
    // A line a second at most, and one for the last round.
    const Clock::time_point now = Clock::now();
    const bool last = done >= options.maxReplications || (allMet && slots > 0) || slots == 0 || now > deadline;
    if (last || now - lastProgress >= std::chrono::seconds(1)) {
      char line[200];
      std::snprintf(line, sizeof line, "simulate: %llu replications, widest relative half-width %.3g%% (asked %.3g%%)",
                    static_cast<unsigned long long>(done), widest * 100, options.relativeHalfWidth * 100);
      progress(line);
      lastProgress = now;
    }
    if (allMet && slots > 0) {
      result.reason = StopReason::Precision;
      break;
    }
    if (slots == 0 || done >= options.maxReplications) {
      result.reason = slots == 0 ? StopReason::Precision : StopReason::Replications;
      break;
    }
    if (cluster.any(Clock::now() > deadline)) {
      result.reason = StopReason::WallTime;
      break;
    }
  }
  result.replications = done;
  if (done < 2 && slots > 0)
    throw GenError("Error: The wall-time budget (" + std::to_string(options.wallSeconds) +
                       " s) ran out before the first round of replications was complete, so there is no interval to "
                       "report; give more time (-T) or a smaller round (-k).",
                   GenError::Stream::Err, 1);
  for (std::size_t s = 0; s < slots; s++) {
    Estimate e;
    e.slot = plan.slots[s];
    e.variable = plan.names[static_cast<std::size_t>(e.slot.node)];
    e.mean = stats[s].mean();
    e.halfWidth = halfWidth(stats[s], options.level);
    e.replications = stats[s].count();
    e.same = !stats[s].varied();
    e.wide = e.same || !(e.halfWidth <= options.relativeHalfWidth * std::fabs(e.mean));
    if (split) e.method = split->slots[s].method;
    result.estimates.push_back(e);
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

}  // namespace sim
