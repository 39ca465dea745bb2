#include "DeterministicSink.h"

DeterministicSink::DeterministicSink(const std::string& path, const std::string& reportedName, FileCreation creation,
                                     short fileType, MemoryBudget* budget)
    : fileType_(fileType) {
  if (!file_.open(path, reportedName, creation)) reportOpenFailure("Error: Could not open det file ", file_);
  list_.setMemoryBudget(budget);
}

void DeterministicSink::explored(const ExploredState& state) {
  for (std::size_t i = 0; i < state.delayCount(); i++) list_.insertEnablingState(state.number(), state.delay(i));
}

void DeterministicSink::finish() {
  file_.flush();
  const bool binary = fileType_ == 2 || fileType_ == 4 || fileType_ == 6;
  list_.writeEnablingStates(file_, binary ? OUTPUT_BINARY : OUTPUT_TEXT);
  if (!file_.close()) reportOutputFileFailure(file_);
}
