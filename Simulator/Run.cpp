#include "Run.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>

#include "GenError.h"
#include "PVModel.h"
#include "Splitting.h"

namespace sim {

using Clock = std::chrono::steady_clock;

const char* kindName(::RewardType kind) {
  switch (kind) {
    case Instant_Of_Time: return "instant";
    case Interval_Of_Time: return "interval";
    case Time_Averaged_Interval_Of_Time: return "time_averaged";
    case Steady_State: return "steady_state";
    case Reached_By_Time: return "reached";
    case First_Passage: return "first_passage";
    case Until_Condition: return "until";
  }
  return "unknown";
}

namespace {

std::string reasonText(StopReason reason, const Options& o) {
  char text[256];
  switch (reason) {
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

}  // namespace

std::string stopText(const RunResult& r, const Options& o) {
  if (r.transient.present && r.longRun.present && r.transient.reason != r.longRun.reason)
    return "transient, " + reasonText(r.transient.reason, o) + "; long run, " + reasonText(r.longRun.reason, o);
  return reasonText(r.transient.present ? r.transient.reason : r.longRun.reason, o);
}

std::uint64_t nextWarmup(std::uint64_t warmup, std::uint64_t observed) {
  const std::uint64_t most = UINT64_MAX - observed;
  if (warmup > most / 2 || observed > most / 2 || 2 * (warmup + observed) > most) return 0;
  return 2 * (warmup + observed);
}

Clock::time_point wallDeadline(Clock::time_point start, double seconds) {
  if (!(seconds < 1e9)) return Clock::time_point::max();
  return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

namespace {

// The replications of one round of one kind that this process runs,
// shared by its threads through one counter.
struct Round {
  std::uint64_t count = 0;
  int rank = 0, ranks = 1;
  std::vector<double>* rows = nullptr;  // count rows of `width` (the events last)
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

// Replication j of the round into row j: its events, or Replicator::kCut.
// Worker: a Replicator, or a Splitter whose replication is a repetition.
template <class Worker>
using Job = std::function<std::uint64_t(Worker&, std::uint64_t j, double* row)>;

template <class Worker>
void work(Worker& replicator, Round& round, const Job<Worker>& job, Failure& failure) {
  std::uint64_t j = 0;
  try {
    for (;;) {
      // Replication j of the round belongs to rank j mod ranks.
      const std::uint64_t k = round.next.fetch_add(1);
      j = k * static_cast<std::uint64_t>(round.ranks) + static_cast<std::uint64_t>(round.rank);
      if (j >= round.count || round.late.load(std::memory_order_relaxed)) return;
      if (Clock::now() > round.deadline) {
        round.late = true;
        return;
      }
      double* row = round.rows->data() + j * round.width;
      const std::uint64_t events = job(replicator, j, row);
      if (events == Replicator::kCut) {
        round.late = true;
        return;
      }
      row[round.width - 1] = static_cast<double>(events);
    }
  } catch (...) {
    failure = Failure{j, std::current_exception()};
  }
}

// Runs `count` replications on the threads of this process and the ranks,
// into rows of `width` values plus their events, summed over the ranks.
// False when the clock cut the round short on any rank: its rows are then
// incomplete.
template <class Worker>
bool runRound(std::vector<std::unique_ptr<Worker>>& replicators, Cluster& cluster, Clock::time_point deadline,
              std::uint64_t count, std::size_t width, std::vector<double>& rows, const Job<Worker>& job) {
  rows.assign(count * (width + 1), 0.0);
  Round round;
  round.count = count;
  round.rank = cluster.rank();
  round.ranks = cluster.size();
  round.rows = &rows;
  round.width = width + 1;
  round.deadline = deadline;
  std::vector<Failure> failures(replicators.size());
  {
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < replicators.size(); t++)
      pool.emplace_back(work<Worker>, std::ref(*replicators[t]), std::ref(round), std::cref(job),
                        std::ref(failures[t]));
    work(*replicators[0], round, job, failures[0]);
    for (auto& thread : pool) thread.join();
  }
  // The failure of the earliest replication is the one reported, whichever
  // thread met it.
  const Failure* first = nullptr;
  for (const Failure& failure : failures)
    if (failure.error && (!first || failure.replication < first->replication)) first = &failure;
  if (first) std::rethrow_exception(first->error);
  if (cluster.any(round.late.load())) return false;
  cluster.sum(rows.data(), rows.size());
  return true;
}

// The half-width over the precision scale, for the progress line.
double relativeWidth(const Interval& interval, const Accumulator& observations) {
  const double scale = precisionScale(interval.estimate, observations.unit());
  const double hw = interval.halfWidth();
  return scale > 0 ? hw / scale : (hw > 0 ? INFINITY : 0.0);
}

bool powerOfTwo(std::uint64_t n) { return n > 0 && (n & (n - 1)) == 0; }

constexpr int kMostExtensions = 8;

}  // namespace

RunResult simulate(const std::function<std::unique_ptr<PVModel>()>& makeModel, const Options& options, unsigned threads,
                   Cluster& cluster, const std::function<void(const std::string&)>& progress) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = wallDeadline(start, options.wallSeconds);
  std::vector<std::unique_ptr<Replicator>> replicators;
  std::unique_ptr<PVModel> firstModel = makeModel();
  const Plan plan = makePlan(*firstModel, options.variables, options.times);
  // Splitting: each thread's replication is a whole repetition of it.
  std::unique_ptr<SplitPlan> split;
  std::vector<std::unique_ptr<Splitter>> splitters;
  if (options.split || options.sampling) {
    firstModel.reset();
    split = prepareSplitting(makeModel, plan, options, progress);
    for (unsigned t = 0; t < threads; t++) splitters.push_back(std::make_unique<Splitter>(makeModel, plan, *split));
    for (auto& splitter : splitters) splitter->setDeadline(deadline);
  } else {
    replicators.push_back(std::make_unique<Replicator>(std::move(firstModel), plan));
    for (unsigned t = 1; t < threads; t++) replicators.push_back(std::make_unique<Replicator>(makeModel(), plan));
    for (auto& replicator : replicators) replicator->setDeadline(deadline);
  }

  RunResult result;
  result.threads = threads;
  result.horizon = plan.horizon;
  result.askedWarmup = result.warmup = options.warmupEvents;
  result.observed = options.batchEvents;
  PartResult& transient = result.transient;
  PartResult& longRun = result.longRun;
  transient.present = !plan.transient.empty();
  longRun.present = !plan.steady.empty();
  bool transientActive = transient.present, longRunActive = longRun.present;

  const std::size_t nt = plan.transient.size(), ns = plan.steady.size();
  std::vector<Accumulator> transientStats(nt);
  std::vector<std::uint64_t> capped(nt, 0);  // per transient slot: first passages cut at the cap
  std::vector<LongRunAccumulator> longRunStats(ns);
  std::vector<double> drift(ns, 0.0);
  const double threshold = driftThreshold(ns);
  std::uint64_t roundsSinceStart = 0;  // long-run rounds with the present warm-up
  // The long run before its last extension: reported, as biased, if the
  // clock stops the longer warm-up's first round.
  struct Fallback {
    std::vector<LongRunAccumulator> stats;
    std::uint64_t warmup = 0, replications = 0;
  };
  std::optional<Fallback> fallback;
  Clock::time_point lastProgress = start;
  bool timeUp = false;

  // Runs the next round of each kind still active; false when the clock cut
  // it short, and then it counts for nothing.
  auto round = [&]() {
    std::uint64_t transientCount = 0, longRunCount = 0;
    std::vector<double> transientRows, longRunRows;
    if (transientActive) {
      transientCount = std::min(options.round, options.maxReplications - transient.run);
      const std::uint64_t first = transient.run;
      if (split) {
        const Job<Splitter> job = [&](Splitter& r, std::uint64_t j, double* row) {
          return r.run(options.seed, first + j, row);
        };
        if (!runRound(splitters, cluster, deadline, transientCount, TransientRow::width(nt), transientRows, job))
          return false;
      } else {
        const Job<Replicator> job = [&](Replicator& r, std::uint64_t j, double* row) {
          return r.runTransient(options.seed, first + j, row);
        };
        if (!runRound(replicators, cluster, deadline, transientCount, TransientRow::width(nt), transientRows, job))
          return false;
      }
    }
    if (longRunActive) {
      longRunCount = std::min(options.round, options.maxReplications - longRun.run);
      const std::uint64_t first = longRun.run;
      const std::uint64_t warmup = result.warmup;
      const Job<Replicator> job = [&](Replicator& r, std::uint64_t j, double* row) {
        return r.runLongRun(options.seed, first + j, warmup, options.batchEvents, row);
      };
      if (!runRound(replicators, cluster, deadline, longRunCount, LongRunRow::width(ns), longRunRows, job))
        return false;
    }
    const std::size_t transientWidth = TransientRow::width(nt);
    for (std::uint64_t j = 0; j < transientCount; j++) {
      const double* row = transientRows.data() + j * (transientWidth + 1);
      for (std::size_t k = 0; k < nt; k++) {
        transientStats[k].add(row[k]);
        if (row[TransientRow::beyondUnit(nt, k)] != 0) transientStats[k].markBeyondUnit();
        if (row[TransientRow::beyondUnit(nt, k)] == TransientRow::kCapped) capped[k]++;
      }
      transient.events += static_cast<std::uint64_t>(row[transientWidth]);
    }
    transient.run += transientCount;
    transient.replications += transientCount;
    const std::size_t width = LongRunRow::width(ns);
    for (std::uint64_t j = 0; j < longRunCount; j++) {
      const double* row = longRunRows.data() + j * (width + 1);
      const bool absorbed = row[LongRunRow::absorbed(ns)] != 0;
      const double time[3] = {row[LongRunRow::time(ns, kTail)], row[LongRunRow::time(ns, kFirstHalf)],
                              row[LongRunRow::time(ns, kSecondHalf)]};
      for (std::size_t k = 0; k < ns; k++) {
        if (absorbed)
          longRunStats[k].addAbsorbed(row[LongRunRow::reward(k, 0)]);
        else
          longRunStats[k].addWindow(row + LongRunRow::reward(k, 0), time);
        if (row[LongRunRow::beyondUnit(ns, k)] != 0) longRunStats[k].markBeyondUnit();
      }
      longRun.events += static_cast<std::uint64_t>(row[width]);
    }
    longRun.run += longRunCount;
    longRun.replications += longRunCount;
    if (longRunCount > 0) roundsSinceStart++;
    return true;
  };

  // The warm-up check over every long-run variable: whether one drifted.
  auto drifted = [&]() {
    bool any = false;
    for (std::size_t k = 0; k < ns; k++) {
      drift[k] = checkWarmup(longRunStats[k]).worst();
      any = any || std::fabs(drift[k]) > threshold;
    }
    return any;
  };

  for (;;) {
    if (!round()) {
      timeUp = true;
      break;
    }
    double widest = 0;
    if (transientActive) {
      bool met = true;
      for (std::size_t k = 0; k < nt; k++) {
        const Interval interval = meanInterval(transientStats[k], options.level);
        widest = std::max(widest, relativeWidth(interval, transientStats[k]));
        met = met && narrowEnough(interval, transientStats[k], options.relativeHalfWidth);
      }
      if (met || transient.run >= options.maxReplications) {
        transientActive = false;
        transient.reason = met ? StopReason::Precision : StopReason::Replications;
      }
    }
    if (longRunActive) {
      bool met = true;
      for (std::size_t k = 0; k < ns; k++) {
        const Interval interval = longRunInterval(longRunStats[k], options.level);
        widest = std::max(widest, relativeWidth(interval, longRunStats[k].averages()));
        met = met && narrowEnough(interval, longRunStats[k].averages(), options.relativeHalfWidth);
      }
      const bool spent = longRun.run >= options.maxReplications;
      if ((met || spent || powerOfTwo(roundsSinceStart)) && drifted()) {
        const std::uint64_t longer = nextWarmup(result.warmup, options.batchEvents);
        if (!spent && longer != 0 && result.extensions < kMostExtensions) {
          // Too short: what was observed is dropped, and the replications
          // start again on streams not used yet.
          fallback = Fallback{longRunStats, result.warmup, longRun.replications};
          result.warmup = longer;
          result.extensions++;
          longRun.replications = 0;
          roundsSinceStart = 0;
          longRunStats.assign(ns, LongRunAccumulator());
          met = false;
        }
      }
      if (met || spent) {
        longRunActive = false;
        longRun.reason = met ? StopReason::Precision : StopReason::Replications;
      }
    }
    const Clock::time_point now = Clock::now();
    const bool last = !transientActive && !longRunActive;
    if (last || now - lastProgress >= std::chrono::seconds(1)) {
      char line[200];
      std::snprintf(line, sizeof line, "simulate: %llu replications, widest relative half-width %.3g%% (asked %.3g%%)",
                    static_cast<unsigned long long>(result.replications()), widest * 100,
                    options.relativeHalfWidth * 100);
      progress(line);
      lastProgress = now;
    }
    if (last) break;
    if (cluster.any(Clock::now() > deadline)) {
      timeUp = true;
      break;
    }
  }
  if (timeUp) {
    if (transientActive) transient.reason = StopReason::WallTime;
    if (longRunActive) {
      longRun.reason = StopReason::WallTime;
      if (longRun.replications < 2 && fallback) {
        longRunStats = std::move(fallback->stats);
        result.warmup = fallback->warmup;
        longRun.replications = fallback->replications;
        result.extensions--;
      }
      drifted();
    }
  }
  for (const PartResult* part : {&transient, &longRun})
    if (part->present && part->replications < 2)
      throw GenError("Error: The wall-time budget (" + std::to_string(options.wallSeconds) + " s) ran out before " +
                         "the first round of replications" +
                         " was complete, so there is no interval to report; give more time (-T) or a smaller round "
                         "(-k).",
                     GenError::Stream::Err, 1);

  std::size_t t = 0, s = 0;
  for (std::size_t i = 0; i < plan.slots.size(); i++) {
    Estimate e;
    e.slot = plan.slots[i];
    e.variable = plan.names[static_cast<std::size_t>(e.slot.node)];
    const Accumulator* observations = nullptr;
    if (e.slot.kind == Steady_State) {
      const LongRunAccumulator& stats = longRunStats[s];
      e.interval = longRunInterval(stats, options.level);
      observations = &stats.averages();
      e.replications = stats.count();
      e.events = longRun.events;
      e.drift = drift[s];
      e.biased = std::fabs(drift[s]) > threshold;
      e.warmup = result.warmup;
      s++;
    } else {
      e.interval = meanInterval(transientStats[t], options.level);
      observations = &transientStats[t];
      e.replications = transientStats[t].count();
      e.events = transient.events;
      if (split) e.method = split->slots[i].method;
      e.capped = capped[t];
      t++;
    }
    e.same = !observations->varied();
    e.unit = observations->unit();
    e.wide = !narrowEnough(e.interval, *observations, options.relativeHalfWidth);
    result.estimates.push_back(e);
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

}  // namespace sim
