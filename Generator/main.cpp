// gen: state-space generator of the compiled-in redundant_controller_flash
// model. Parses the command line, loads the chosen experiment's global
// variables, builds the reward model and generates its state space.

#include <cstdlib>
#include <iostream>
#include <memory>

#include "BaseStudyClass.h"
#include "CommandLine.h"
#include "ModelFactory.h"
#include "PVModel.h"
#include "StateSpaceGen.h"

namespace {

// Builds the reward model with the global variables as they now stand, runs
// the whole generation and tears everything down. Returns the exit status;
// every fatal error on the way ends the process itself with status 1.
int generate(const ModelFactory& factory, char* traceFileName) {
  std::unique_ptr<PVModel> rewardModel = factory.makeRewardModel(false);
  PVModel* model = rewardModel.get();
  // The generator takes over traceFileName and frees it when destroyed.
  auto generator = std::make_unique<StateSpaceGen>(model, exp_path, ExpName, flagAbsorb, hash_value, db_host,
                                                   db_entity, traceFileName);
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
  return generate(*factory, traceFileName);
}
