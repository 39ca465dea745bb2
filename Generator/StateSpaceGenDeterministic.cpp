// The deterministic-delay procedure of the state-space generator: the
// transitions of deterministic actions are recorded as probabilities marked
// by a minus sign, and every state in which such an action is enabled is
// filed under the action's delay value (the deterministic file).

#include <string>

#include "GenError.h"
#include "HybridHash.h"
#include "StateSpaceGen.h"

namespace {

// Blank run of the state-space file's placeholder header (deterministic
// procedure): an 8-digit state count overwrites it, newline included.
constexpr int kDeterministicHeaderBlanks = 8;

}  // namespace

void StateSpaceGen::GenStateSpaceDeterministic(const std::string& armName, const std::string& varName,
                                               const std::string& detName) {
  OutputFile det;
  if (!det.open(outputPath(detName), detName, outputCreation())) reportOpenFailure("Error: Could not open det file ", det);
  OutputFile arm;
  if (!arm.open(outputPath(armName), armName, outputCreation())) reportOpenFailure("Error: Could not open binary file dude", arm);
  startRun(arm, varName, kDeterministicHeaderBlanks);
  explore(arm, Procedure::Deterministic);

  rewriteHeader(arm, records_);
  det.flush();
  hash_->ReleaseSlotTable();

  const bool binary = fileType_ == 2 || fileType_ == 4 || fileType_ == 6;
  detList_.writeEnablingStates(det, binary ? OUTPUT_BINARY : OUTPUT_TEXT);
  finishFiles(arm, &det);
}
