// gen: state-space generator of the compiled-in redundant_controller_flash
// model. Parses the command line, loads the chosen experiment's global
// variables, builds the reward model and generates its state space.

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "BaseStudyClass.h"
#include "CommandLine.h"
#include "ModelFactory.h"
#include "GenError.h"
#include "PVModel.h"
#include "ResultFiles.h"
#include "StateSpaceGen.h"
#include "TraceFileTarvelSSG.h"

namespace {

// Builds the reward model with the global variables as they now stand, runs
// the whole generation and tears everything down. Returns the exit status;
// every fatal error on the way ends the process itself with status 1.
int generate(const ModelFactory& factory, char* traceFileName, ResultFiles& results,
             const std::optional<std::string>& traceFile) {
  std::unique_ptr<PVModel> rewardModel = factory.makeRewardModel(false);
  PVModel* model = rewardModel.get();
  // The generator takes over traceFileName and frees it when destroyed.
  auto generator = std::make_unique<StateSpaceGen>(model, exp_path, ExpName, flagAbsorb, hash_value, db_host,
                                                   db_entity, traceFileName);
  std::cout << "SSG: SetTraceLevel: " << TempTraceLevel << '\n';
  generator->traceLevel = TempTraceLevel;
  generator->results = &results;
  generator->InitializeTrace();
  generator->GenStateSpace();
  if (traceFile && generator->ssgTrace && generator->ssgTrace->fileFailed())
    throw GenError("Error: writing trace file " + *traceFile + " failed");
  results.commit();
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

  try {
    // Before anything is printed or created: the trace file's check and the
    // lock on the output prefix.
    std::optional<std::string> traceFile;
    if (traceFileName) traceFile = traceFileName;
    ResultFiles results(std::string(exp_path ? exp_path : "") + (ExpName ? ExpName : ""), traceFile);
    const std::unique_ptr<BaseStudyClass> study = factory->makeStudy();
    study->SetGVs(ExpNum);
    study->PrintGlobalValues(ExpNum);
    if (OverrideString) {
      study->overrideGVs(OverrideString);
      std::cout << "Overriding global variables in ssg\n";
    }
    return generate(*factory, traceFileName, results, traceFile);
  } catch (const GenError& error) {
    std::cout.flush();
    (error.stream() == GenError::Stream::Out ? std::cout : std::cerr) << error.what() << std::endl;
    return error.status();
  }
}
