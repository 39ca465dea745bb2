#ifndef RUN_OUTPUTS_H
#define RUN_OUTPUTS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileCreation.h"
#include "GenOptions.h"
#include "OutputSink.h"

class MemoryBudget;
class PVModel;
class ResultFiles;

// The files of one generation run, as its options ask for them: the PV type
// file before it, and the sinks the explorer hands the states to. Each
// procedure has its own set, opened in the order their failures are
// reported in; the calls go to the sinks in the order they are closed.
class RunOutputs : public RunSinks, public OutputSink {
 public:
  // Names every file <path><name><suffix>. With `results`, the files are
  // written as its temporaries (not owned), else under their final names.
  RunOutputs(PVModel& model, const GenOptions& options, ResultFiles* results, std::string modelName);
  ~RunOutputs() override;

  // The PV type file; not with -u, which writes the .umb alone.
  void begin() override;
  // The normal procedure's files: .arm, .umb (-U) and .var; the
  // deterministic procedure's: .det, .arm, .var and .umb (-U, with the
  // deterministic part).
  OutputSink& open(Procedure procedure, std::size_t vectorSize, const std::vector<std::string>& delays,
                   MemoryBudget* budget) override;

  bool needsImpulseSums() const override;
  void numbered(std::uint32_t number, const double* rewards) override;
  void explored(const ExploredState& state) override;
  void check() override;
  void finish() override;

 private:
  std::string finalName(const char* suffix) const { return options_.path + options_.name + suffix; }
  // The name to write for the file `finalName`.
  std::string pathFor(const std::string& finalName) const;
  // New temporaries with result files, else the final names, replaced.
  FileCreation creation() const;
  void openNormal(std::size_t vectorSize);
  void openDeterministic(MemoryBudget* budget, std::size_t vectorSize, const std::vector<std::string>& activities);

  PVModel& model_;
  const GenOptions& options_;
  ResultFiles* results_;
  std::string modelName_;
  std::vector<std::unique_ptr<OutputSink>> files_;
  std::vector<OutputSink*> sinks_;  // in closing order
};

#endif
