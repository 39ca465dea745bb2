// gen: state-space generator of the compiled-in redundant_controller_flash
// model. Parses the command line, loads the chosen experiment's global
// variables, builds the reward model and generates its state space.

#include <cstdlib>
#include <iostream>

#include "BaseStudyClass.h"
#include "CommandLine.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// ---------------------------------------------------------------------------
// Generation. With GEN_GENERATOR_AVAILABLE set to 0 gen is built without
// StateSpaceGen: it parses, loads and prints the experiment and then stops
// with status 1. It goes together with GEN_REWARD_MODEL_AVAILABLE in
// redundant_controller_flash_studyRangeStudy.cpp.
#ifndef GEN_GENERATOR_AVAILABLE
#define GEN_GENERATOR_AVAILABLE 1
#endif

#if GEN_GENERATOR_AVAILABLE
#include <memory>

#include "StateSpaceGen.h"
#endif

namespace {

// Ends a run that cannot go on before the generation: releases what the run
// holds and returns exit status 1.
int stopWithoutModel(char* traceFileName) {
  std::cerr << "gen: the model is not available in this build\n";
  DestructStudy();
  resetCommandLineSettings();
  std::free(traceFileName);
  return 1;
}

// Builds the reward model with the global variables as they now stand, runs
// the whole generation and tears everything down. Returns the exit status.
int generate(BaseStudyClass* study, char* traceFileName) {
#if GEN_GENERATOR_AVAILABLE
  PVModel* model = study->GetPVModel(false);
  if (!model) return stopWithoutModel(traceFileName);
  // The generator takes over traceFileName and frees it when destroyed.
  auto generator = std::make_unique<StateSpaceGen>(model, exp_path, ExpName, flagAbsorb, hash_value, db_host,
                                                   db_entity, traceFileName);
  std::cout << "SSG: SetTraceLevel: " << TempTraceLevel << '\n';
  generator->traceLevel = TempTraceLevel;
  generator->InitializeTrace();
  generator->GenStateSpace();
  // The study owns the reward model; it goes first, the generator last (its
  // destructor does not touch the model).
  DestructStudy();
  resetCommandLineSettings();
  generator.reset();
  return 0;
#else
  (void)study;
  return stopWithoutModel(traceFileName);
#endif
}

}  // namespace
// ---------------------------------------------------------------------------

int main(int argc, char** argv) {
  int fileTypeOption = 1;  // accepted; the generator always writes file type 1
  char* traceFileName = nullptr;
  const CommandLineResult parsed =
      commandline(argc, argv, fileTypeOption, traceFileName,
                  redundant_controller_flash_studyRangeStudy::NumberOfExperiments, std::cout);
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

  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(ExpNum);
  study->PrintGlobalValues(ExpNum);
  if (OverrideString) {
    study->overrideGVs(OverrideString);
    std::cout << "Overriding global variables in ssg\n";
  }
  return generate(study, traceFileName);
}
