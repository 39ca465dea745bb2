#ifndef TRACE_FILE_TARVEL_SSG_H
#define TRACE_FILE_TARVEL_SSG_H

#include "TraceFile.h"

// The state-space generator's trace output: writes the actual text, one
// flushed line at a time, filtered by its own trace level.
class TraceFileTarvelSSG : public TraceFile {
 public:
  TraceFileTarvelSSG() = default;
  explicit TraceFileTarvelSSG(const char* fileName) : TraceFile(fileName) {}
  explicit TraceFileTarvelSSG(std::ostream* out) : TraceFile(out) {}

  void printHeader(PVModel* pv) override;
  void printFooter() override {}
  void printInitialState(BaseModelClass* m) override;
  void printState(BaseModelClass* m) override;
  void printState(PVModel* pv) override;
  void printFireAction(BaseActionClass* a, double x) override;
  void printPreFireAction(BaseActionClass* a) override;
  void printPostFireAction(BaseActionClass* a, BaseActionClass* b) override;
  void newBatch() override;
  void printStr(int level, const char* text) override;
};

#endif
