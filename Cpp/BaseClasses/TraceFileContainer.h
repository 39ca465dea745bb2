#ifndef TRACE_FILE_CONTAINER_H
#define TRACE_FILE_CONTAINER_H

#include <vector>

#include "TraceFile.h"

// Fans every trace call out to the registered outputs, in registration order.
// printf-style messages are formatted once, here, for all outputs. The
// container's own level filters nothing.
class TraceFileContainer : public TraceFile {
 public:
  TraceFileContainer();

  void AddTraceFile(TraceFile* t) { outputs.push_back(t); }
  void RemoveTraceFile(TraceFile*) {}
  void addPVModel(PVModel* pv) { model = pv; }

  void printFooter() override;
  void printFireAction(BaseActionClass* a, double x) override;
  void printPreFireAction(BaseActionClass* a) override;
  void printPostFireAction(BaseActionClass* a, BaseActionClass* b) override;
  void newBatch() override;
  void printf(int level, const char* format, ...) override __attribute__((format(printf, 3, 4)));
  void printStr(int level, const char* text) override;
  void printHeader(PVModel*) override {}
  void printState(PVModel*) override {}
  void printState(BaseModelClass*) override {}

  void printHeader();
  void printState();
  void printInitialState();

  // True when some output would write a message of this level; lets callers
  // skip formatting work on the hot path.
  bool wants(int level) const;

 private:
  PVModel* model = nullptr;
  std::vector<TraceFile*> outputs;
};

#endif
