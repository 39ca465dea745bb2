#ifndef SIMULATOR_RUN_H
#define SIMULATOR_RUN_H

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
  double mean = 0, halfWidth = 0;
  std::uint64_t replications = 0;
  bool wide = false;   // the half-width is above what was asked
  bool same = false;   // every observation was the same: a rare departure from it would not show
  std::string method;  // how a splitting estimate was made; empty for plain replications
};

struct RunResult {
  std::vector<Estimate> estimates;
  StopReason reason = StopReason::Replications;
  std::uint64_t replications = 0;
  std::uint64_t events = 0;
  double seconds = 0;
  unsigned threads = 1;
};

// Runs rounds of options.round replications, replication i on stream i of
// the seed, on `threads` threads of this process (each with a model of its
// own from `makeModel`) and the cluster's ranks, until every interval is as
// narrow as asked, the replication budget is spent or the wall time is up;
// the half-widths are looked at only after whole rounds, so where the run
// stops does not depend on timing or on how the work was shared. `progress`
// gets a line a second at most, and one after the last round.
RunResult simulate(const std::function<std::unique_ptr<PVModel>()>& makeModel, const Options& options, unsigned threads,
                   Cluster& cluster, const std::function<void(const std::string&)>& progress);

const char* kindName(::RewardType kind);
std::string stopText(const RunResult& result, const Options& options);

}  // namespace sim

#endif
