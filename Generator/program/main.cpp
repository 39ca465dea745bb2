// gen: state-space generator of the compiled-in redundant_controller_flash
// model. Parses the command line, loads the chosen experiment's global
// variables, builds the reward model and generates its state space.

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <optional>

#include "BaseStudyClass.h"
#include "CommandLine.h"
#include "FailureReport.h"
#include "GenError.h"
#include "GenerationRun.h"
#include "MemoryBudget.h"
#include "ModelFactory.h"
#include "ModelSource.h"
#include "PVModel.h"
#include "ResultFiles.h"
#include "TraceFileTarvelSSG.h"
#include "UsableCpus.h"

namespace {

// Builds the reward model with the global variables as they now stand and
// runs the whole generation; further instances of the model, built the same
// way, expand states on other threads. Returns the exit status; a failure on
// the way arrives as a GenError.
int generate(const ModelFactory& factory, const GenOptions& options, std::optional<std::uint64_t> memoryLimit,
             ResultFiles& results) {
  std::unique_ptr<PVModel> rewardModel = factory.makeRewardModel(false);
  // Every thread expands states, the numbering thread included.
  const unsigned threads = usableThreads();
  GenerationRun::RewardModelMaker moreModels;
  if (threads > 1) moreModels = [&factory] { return factory.makeRewardModel(false); };
  GenerationRun generator(rewardModel.get(), options, std::move(moreModels));
  generator.setExpandingThreads(threads);
  generator.setMemoryLimit(memoryLimit);
  generator.setResultFiles(&results);
  generator.setModelName(std::string(factory.name()));
  generator.setModelFile(genModelSourceFile());
  std::cout << "SSG: SetTraceLevel: " << options.traceLevel << '\n';
  generator.InitializeTrace();
  generator.GenStateSpace();
  if (options.traceFile && generator.traceFileFailed())
    throw GenError("Error: writing trace file " + *options.traceFile + " failed");
  results.commit();
  return 0;
}

// The memory the run's tables may hold: GEN_MAX_MEMORY, in bytes with an
// optional K, M or G suffix; no limit when it is unset or empty.
std::optional<std::uint64_t> memoryLimitFromEnvironment() {
  const char* text = std::getenv("GEN_MAX_MEMORY");
  if (text == nullptr || *text == '\0') return std::nullopt;
  const std::optional<std::uint64_t> limit = parseMemorySize(text);
  if (!limit)
    throw GenError(std::string("Error: GEN_MAX_MEMORY must be a positive number of bytes with an optional K, "
                               "M or G suffix, such as 512M (it is \"") +
                   text + "\").");
  return limit;
}

int run(int argc, char** argv) {
  const std::optional<std::uint64_t> memoryLimit = memoryLimitFromEnvironment();
  const std::unique_ptr<ModelFactory> factory = makeModelFactory();
  const CommandLineResult parsed = commandline(argc, argv, factory->numberOfExperiments(), std::cout);

  switch (parsed.action) {
    case CommandLineResult::Action::Usage: printUsage(std::cout); return 0;
    case CommandLineResult::Action::Fail:
      std::cout.flush();
      for (const std::string& error : parsed.errors) std::cerr << error << '\n';
      if (parsed.showUsage) printUsage(std::cerr);
      return 1;
    case CommandLineResult::Action::Run: break;
  }

  const GenOptions& options = parsed.options;
  // Before anything is printed or created: the trace file's check and the
  // lock on the output prefix.
  ResultFiles results(options.path + options.name, options.traceFile);
  const std::unique_ptr<BaseStudyClass> study = factory->makeStudy();
#ifndef GEN_COMPILED_IN_MODEL
  // The study numbers its experiments from 1 ("Experiment 1" is -B0); this
  // line gives the model file's own name of the experiment run. Standard
  // output is the study's text, so it goes to standard error. The
  // compiled-in model's gen keeps its standard error to failures alone, for
  // scripts that read anything there as a warning.
  std::cerr << "Experiment " << factory->experimentName(options.experiment) << " (-B" << options.experiment << ")\n";
#endif
  study->SetGVs(options.experiment);
  study->PrintGlobalValues(options.experiment);
  if (options.overrides) {
    study->overrideGVs(options.overrides->c_str());
    std::cout << "Overriding global variables in ssg\n";
  }
  return generate(*factory, options, memoryLimit, results);
}

}  // namespace

int main(int argc, char** argv) {
  return reportingFailures([&] { return run(argc, argv); });
}
