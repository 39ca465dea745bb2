#ifndef SIMULATOR_RUN_H
#define SIMULATOR_RUN_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Engine.h"
#include "Options.h"
#include "Statistics.h"

class PVModel;

namespace sim {

// The processes of a run. One process alone is the default; under MPI every
// rank holds one, and each round's observations are summed over the ranks
// (a rank leaves the rows of the others' replications at 0, so the sum is
// the gathered table, bit for bit).
class Cluster {
 public:
  virtual ~Cluster() = default;
  virtual int rank() const { return 0; }
  virtual int size() const { return 1; }
  virtual void sum(double* values, std::size_t count) { (void)values, (void)count; }
  // Whether any rank says yes.
  virtual bool any(bool mine) { return mine; }
};

enum class StopReason { Precision, Replications, WallTime };

struct Estimate {
  Slot slot;
  std::string variable;
  Interval interval;
  std::uint64_t replications = 0;
  std::uint64_t events = 0;  // of the replications of its kind (transient or long run)
  bool wide = false;         // the half-width is above what was asked
  bool same = false;         // every observation was the same: a rare departure from it would not show
  bool unit = false;         // every observation lay in [0, 1]: -r applies to min(p, 1 - p)
  bool biased = false;       // long run: the observations still drifted after the warm-up
  double drift = 0;          // long run: the warm-up check's statistic
  std::uint64_t warmup = 0;  // long run: the events each replication dropped
  std::string method;        // how a splitting estimate was made; empty for plain replications
  // First passage: the replications whose condition had not held by the cap;
  // with any, the estimate is of the reward up to the cap, below the true one.
  std::uint64_t capped = 0;
};

// One kind of replication of a run: the transient paths or the long-run ones.
struct PartResult {
  bool present = false;
  StopReason reason = StopReason::Precision;
  std::uint64_t replications = 0;  // in the estimates
  std::uint64_t run = 0;           // run, those a longer warm-up replaced included
  std::uint64_t events = 0;        // of all replications run
};

struct RunResult {
  std::vector<Estimate> estimates;  // in the model's order
  PartResult transient, longRun;
  double horizon = 0;             // where the transient paths end
  std::uint64_t warmup = 0;       // the long run's warm-up in the end
  std::uint64_t askedWarmup = 0;  // -W
  std::uint64_t observed = 0;     // -L
  int extensions = 0;             // times the warm-up was lengthened
  double seconds = 0;
  unsigned threads = 1;
  std::uint64_t replications() const { return transient.run + longRun.run; }
  std::uint64_t events() const { return transient.events + longRun.events; }
};

// Runs rounds of options.round replications of each kind still short of
// its precision, replication i of a kind on its stream i of the seed, on
// `threads` threads of this process (each with a model of its own from
// `makeModel`) and the cluster's ranks, until every interval is as narrow as
// asked, the replication budget is spent or the wall time is up. The
// intervals and the warm-up check are looked at only after whole rounds, so
// where the run stops does not depend on timing or on how the work was
// shared. The long-run replications' warm-up is checked after 1, 2, 4, ...
// rounds and before they stop (checkWarmup: the warm-up's tail against the
// observation, the observation's halves against each other): where a
// statistic passes driftThreshold, the warm-up becomes nextWarmup's and the
// long-run replications start again; where it cannot, the variables that
// drifted are marked as biased. `progress` gets a line a second at most.
RunResult simulate(const std::function<std::unique_ptr<PVModel>()>& makeModel, const Options& options, unsigned threads,
                   Cluster& cluster, const std::function<void(const std::string&)>& progress);

// The warm-up after one found too short: twice the warm-up and observation
// together, since the whole observation may have been drifting; 0 where
// that and the observation would not fit in 64 bits.
std::uint64_t nextWarmup(std::uint64_t warmup, std::uint64_t observed);

// The clock time at which `seconds` from `start` are up; a budget of 1e9 s
// (31 years) or more never is.
std::chrono::steady_clock::time_point wallDeadline(std::chrono::steady_clock::time_point start, double seconds);

const char* kindName(::RewardType kind);
std::string stopText(const RunResult& result, const Options& options);

}  // namespace sim

#endif
