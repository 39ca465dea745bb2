#ifndef DETERMINISTIC_SINK_H
#define DETERMINISTIC_SINK_H

#include <cstdint>
#include <string>

#include "DeterministicList.h"
#include "OutputFile.h"
#include "OutputSink.h"

class MemoryBudget;

// The deterministic file (.det): every explored state is filed under the
// delay of each deterministic action enabled in it, and the list is written
// once the run is over.
class DeterministicSink : public OutputSink {
 public:
  // Opens the file; the list's growth is accounted to `budget` (may be null).
  DeterministicSink(const std::string& path, const std::string& reportedName, FileCreation creation, short fileType,
                    MemoryBudget* budget);

  void numbered(std::uint32_t, const double*) override {}
  void explored(const ExploredState& state) override;
  void finish() override;

 private:
  OutputFile file_;
  short fileType_;
  DeterministicList list_;
};

#endif
