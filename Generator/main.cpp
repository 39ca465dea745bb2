// gen: state-space generator of the compiled-in redundant_controller_flash
// model. Parses the command line, loads the chosen experiment's global
// variables, builds the reward model and generates its state space.

#include <cstdlib>
#include <iostream>
#include <memory>

#include "BaseStudyClass.h"
#include "CommandLine.h"
#include "GenError.h"
#include "GenOptions.h"
#include "ModelFactory.h"
#include "PVModel.h"
#include "StateSpaceGen.h"

namespace {

// The command line's settings as the generator takes them.
GenOptions optionsFromCommandLine(char* traceFileName) {
  GenOptions options;
  options.path = exp_path ? exp_path : "";
  options.name = ExpName ? ExpName : "";
  options.experiment = ExpNum;
  options.loadFactor = hash_value;
  options.traceLevel = TempTraceLevel;
  if (traceFileName) options.traceFile = traceFileName;
  if (OverrideString) options.overrides = OverrideString;
  options.absorbing = flagAbsorb == 1;
  if (db_host) options.dbHost = db_host;
  if (db_entity) options.dbEntity = db_entity;
  return options;
}

// Builds the reward model with the global variables as they now stand and
// runs the whole generation; a second instance of the model, built the same
// way, expands states on another thread.
int generate(const ModelFactory& factory, const GenOptions& options) {
  std::unique_ptr<PVModel> rewardModel = factory.makeRewardModel(false);
  StateSpaceGen generator(rewardModel.get(), options, [&factory] { return factory.makeRewardModel(false); });
  std::cout << "SSG: SetTraceLevel: " << options.traceLevel << '\n';
  generator.InitializeTrace();
  generator.GenStateSpace();
  return 0;
}

// Prints a failure that ended the run, as the code that found it words it.
int report(const GenError& error) {
  std::cout.flush();
  std::ostream& stream = error.stream() == GenError::Stream::Out ? std::cout : std::cerr;
  stream << error.what() << std::endl;
  return error.status();
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
  const GenOptions options = optionsFromCommandLine(traceFileName);
  std::free(traceFileName);
  try {
    const int status = generate(*factory, options);
    resetCommandLineSettings();
    return status;
  } catch (const GenError& error) {
    return report(error);
  }
}
