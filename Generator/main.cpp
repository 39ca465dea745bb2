// gen: state-space generator of the compiled-in redundant_controller_flash
// model. Parses the command line, loads the chosen experiment's global
// variables, builds the reward model and generates its state space.

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "BaseStudyClass.h"
#include "CommandLine.h"
#include "GenError.h"
#include "MemoryBudget.h"
#include "ModelFactory.h"
#include "PVModel.h"
#include "StateSpaceGen.h"

namespace {

// Builds the reward model with the global variables as they now stand, runs
// the whole generation and tears everything down. Returns the exit status;
// every fatal error on the way ends the process itself with status 1.
int generate(const ModelFactory& factory, char* traceFileName, std::optional<std::uint64_t> memoryLimit) {
  std::unique_ptr<PVModel> rewardModel = factory.makeRewardModel(false);
  PVModel* model = rewardModel.get();
  // The generator takes over traceFileName and frees it when destroyed.
  auto generator = std::make_unique<StateSpaceGen>(model, exp_path, ExpName, flagAbsorb, hash_value, db_host,
                                                   db_entity, traceFileName);
  generator->memoryBudget.setLimit(memoryLimit);
  std::cout << "SSG: SetTraceLevel: " << TempTraceLevel << '\n';
  generator->traceLevel = TempTraceLevel;
  generator->InitializeTrace();
  generator->GenStateSpace();
  // The reward model goes first, the generator last (its destructor does not
  // touch the model).
  rewardModel.reset();
  resetCommandLineSettings();
  generator.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The memory the run's tables may hold, in bytes (K, M or G suffix).
  std::optional<std::uint64_t> memoryLimit;
  if (const char* text = std::getenv("GEN_MAX_MEMORY"); text != nullptr && *text != '\0') {
    memoryLimit = parseMemorySize(text);
    if (!memoryLimit) {
      std::cerr << "Error: GEN_MAX_MEMORY must be a positive number of bytes with an optional K, M or G"
                << " suffix, such as 512M (it is \"" << text << "\")." << std::endl;
      return 1;
    }
  }
  const std::unique_ptr<ModelFactory> factory = makeModelFactory();
  int fileTypeOption = 1;  // accepted; the generator always writes file type 1
  char* traceFileName = nullptr;
  const CommandLineResult parsed =
      commandline(argc, argv, fileTypeOption, traceFileName,
                  factory->numberOfExperiments(), std::cout);
  (void)fileTypeOption;

  switch (parsed.action) {
    case CommandLineResult::Action::Usage:
      printUsage(std::cout);
      return 0;
    case CommandLineResult::Action::Fail:
      std::cout.flush();
      for (const std::string& error : parsed.errors) std::cerr << error << '\n';
      if (parsed.showUsage) printUsage(std::cerr);
      resetCommandLineSettings();
      std::free(traceFileName);
      return 1;
    case CommandLineResult::Action::Run:
      break;
  }

  const std::unique_ptr<BaseStudyClass> study = factory->makeStudy();
  study->SetGVs(ExpNum);
  study->PrintGlobalValues(ExpNum);
  if (OverrideString) {
    study->overrideGVs(OverrideString);
    std::cout << "Overriding global variables in ssg\n";
  }
  try {
    return generate(*factory, traceFileName, memoryLimit);
  } catch (const GenError& error) {
    std::cout.flush();
    (error.stream() == GenError::Stream::Out ? std::cout : std::cerr) << error.what() << std::endl;
    return error.status();
  }
}
