// simulate: runs a compiled model's reward variables by discrete-event
// simulation, with confidence intervals. Parses the command line, loads the
// chosen experiment's global variables, runs replications on every usable
// CPU (and, built with MPI, on every rank) and reports the estimates.

#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <set>

#include "AtomicFile.h"
#include "BaseStudyClass.h"
#include "FailureReport.h"
#include "GenError.h"
#include "ModelFactory.h"
#include "PVModel.h"
#include "PlotScript.h"
#include "Report.h"
#include "Run.h"
#include "UsableCpus.h"

#ifdef GEN_WITH_MPI
#include <mpi.h>
#endif

namespace {

#ifdef GEN_WITH_MPI
class MpiCluster final : public sim::Cluster {
 public:
  MpiCluster() {
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
  }
  int rank() const override { return rank_; }
  int size() const override { return size_; }
  void sum(double* values, std::size_t count) override {
    // In pieces that an int counts; each element is one rank's number plus zeros.
    constexpr std::size_t kPiece = 1u << 26;
    for (std::size_t at = 0; at < count; at += kPiece)
      MPI_Allreduce(MPI_IN_PLACE, values + at, static_cast<int>(std::min(kPiece, count - at)), MPI_DOUBLE, MPI_SUM,
                    MPI_COMM_WORLD);
  }
  bool any(bool mine) override {
    int flag = mine ? 1 : 0;
    MPI_Allreduce(MPI_IN_PLACE, &flag, 1, MPI_INT, MPI_LOR, MPI_COMM_WORLD);
    return flag != 0;
  }

 private:
  int rank_ = 0, size_ = 1;
};
#endif

int run(int argc, char** argv, sim::Cluster& cluster) {
  const bool lead = cluster.rank() == 0;
  const std::unique_ptr<ModelFactory> factory = makeModelFactory();
  const sim::ParsedOptions parsed = sim::parseOptions(argc, argv, factory->numberOfExperiments());
  switch (parsed.action) {
    case sim::ParsedOptions::Action::Usage:
      if (lead) sim::printUsage(std::cout);
      return 0;
    case sim::ParsedOptions::Action::Fail:
      if (lead) {
        for (const std::string& error : parsed.errors) std::cerr << error << '\n';
        sim::printUsage(std::cerr);
      }
      return 1;
    case sim::ParsedOptions::Action::Run: break;
  }
  const sim::Options& options = parsed.options;
  if (lead) atomic_file::removeTemporariesOnSignals();

  const std::unique_ptr<BaseStudyClass> study = factory->makeStudy();
  if (lead)
    std::cerr << "Experiment " << factory->experimentName(options.experiment) << " (-B" << options.experiment << ")\n";
  study->SetGVs(options.experiment);
  if (lead) study->PrintGlobalValues(options.experiment);
  if (options.overrides) {
    study->overrideGVs(options.overrides->c_str());
    if (lead) std::cout << "Overriding global variables in simulate\n";
  }

  // A plot needs a variable of the model with two points or more.
  if (!options.plots.empty()) {
    const std::unique_ptr<PVModel> model = factory->makeRewardModel(false);
    const sim::Plan plan = sim::makePlan(*model, options.variables, options.times);
    for (const std::string& variable : options.plots) {
      int points = 0;
      for (const sim::Slot& slot : plan.slots)
        if (plan.names[static_cast<std::size_t>(slot.node)] == variable) points++;
      if (points < 2)
        throw GenError("simulate: -p " + variable +
                       (points == 0 ? ": the model has no such reward variable" : ": a plot needs two points or more"));
    }
  }

  const unsigned threads = usableThreads();
  std::cout.flush();
  const sim::RunResult result =
      sim::simulate([&factory] { return factory->makeRewardModel(false); }, options, threads, cluster,
                    [lead](const std::string& line) {
                      if (lead) std::cerr << line << '\n';
                    });
  if (!lead) return 0;

  std::cout << "Simulated " << result.replications()
            << (options.split      ? " repetitions of splitting ("
                : options.sampling ? " replications of importance sampling ("
                                   : " replications (")
            << result.events() << " events) on " << cluster.size() << (cluster.size() == 1 ? " process" : " processes")
            << " of " << threads << (threads == 1 ? " thread" : " threads") << ", seed " << options.seed << "\n";
  if (result.transient.present)
    std::cout << "Transient: " << result.transient.replications << " replications to t = " << result.horizon << " ("
              << result.transient.events << " events)\n";
  if (result.longRun.present) {
    std::cout << "Long run: " << result.longRun.replications << " replications, each a warm-up of " << result.warmup
              << " events, then " << result.observed << " observed (" << result.longRun.events << " events)";
    if (result.extensions > 0)
      std::cout << "; the warm-up was lengthened from " << result.askedWarmup << " (-W) " << result.extensions
                << (result.extensions == 1 ? " time" : " times")
                << ", each time its tail or the observations' halves still drifted ("
                << result.longRun.run - result.longRun.replications << " replications dropped)";
    std::cout << "\n";
  }
  std::cout << "Stopped: " << sim::stopText(result, options) << "\n";
  std::size_t biased = 0;
  for (const sim::Estimate& e : result.estimates) biased += e.biased ? 1 : 0;
  if (biased > 0)
    std::cout << biased << " of " << result.estimates.size()
              << " estimates may be biased: their observations still drifted after the warm-up of " << result.warmup
              << " events; give a longer warm-up (-W), more time (-T) or more replications (-R)\n";
  std::size_t wide = 0;
  for (const sim::Estimate& e : result.estimates) wide += e.wide ? 1 : 0;
  if (wide > 0)
    std::cout << wide << " of " << result.estimates.size() << " intervals are wider than the relative half-width "
              << options.relativeHalfWidth << " asked\n";
  for (const sim::Estimate& e : result.estimates)
    if (e.capped > 0)
      std::cout << e.variable << ": " << e.capped << " of " << e.replications << " replications reached the cap, "
                << e.slot.stop
                << ", before the condition held: the estimate is of the reward up to the cap, below the true one; "
                   "give a larger cap\n";
  std::cout << sim::formatTable(result, options);
  std::cout.flush();

  const std::string csv = options.path + options.name + ".sim.csv";
  if (const auto failure = atomic_file::writeFileAtomically(csv, sim::formatCsv(result, options), "simulate", ".sim"))
    throw GenError("simulate: " + *failure);
  std::cout << "The estimates are in " << csv << "\n";
  std::set<std::string> plotted;
  for (const std::string& variable : options.plots) {
    if (!plotted.insert(variable).second) continue;
    const std::string target = options.path + options.name + "." + plotFileId(variable) + "." + options.plotFormat;
    if (const auto failure = sim::plotVariable(result, variable, options.plotFormat, target))
      throw GenError("simulate: " + *failure);
    std::cout << "Plot of " << variable << ": " << target << "\n";
  }
  return 0;
}

int runReporting(int argc, char** argv, sim::Cluster& cluster) {
  return reportingFailures([&] { return run(argc, argv, cluster); });
}

}  // namespace

int main(int argc, char** argv) {
#ifdef GEN_WITH_MPI
  // Started by mpirun (or another PMI launcher): one rank of several. Alone,
  // MPI stays out of the way (its set-up alone takes a third of a second).
  if (std::getenv("OMPI_COMM_WORLD_SIZE") || std::getenv("PMI_RANK") || std::getenv("PMIX_RANK")) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    MpiCluster cluster;
    const int status = runReporting(argc, argv, cluster);
    // A failure on one rank would leave the others waiting in a collective.
    if (status != 0 && cluster.size() > 1) MPI_Abort(MPI_COMM_WORLD, status);
    MPI_Finalize();
    return status;
  }
#endif
  sim::Cluster cluster;
  return runReporting(argc, argv, cluster);
}
