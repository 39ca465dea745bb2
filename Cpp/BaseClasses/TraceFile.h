#ifndef TRACE_FILE_H
#define TRACE_FILE_H

#include <iostream>

class BaseActionClass;
class BaseModelClass;
class PVModel;

// Interface of one trace output: a trace level and an output stream. Messages
// of a level above the trace level are suppressed by the outputs that filter.
// In this base every operation does nothing.
class TraceFile {
 public:
  TraceFile();
  explicit TraceFile(const char* fileName);  // unopenable file: the trace is silently lost
  explicit TraceFile(std::ostream* out);
  virtual ~TraceFile();

  virtual void printHeader(PVModel*) {}
  virtual void printFooter() {}
  virtual void printInitialState(BaseModelClass*) {}
  virtual void printState(BaseModelClass*) {}
  virtual void printState(PVModel*) {}
  virtual void printFireAction(BaseActionClass*, double) {}
  virtual void printPreFireAction(BaseActionClass*) {}
  virtual void printPostFireAction(BaseActionClass*, BaseActionClass*) {}
  virtual void newBatch() {}
  virtual void printf(int, const char*, ...) {}
  virtual void printStr(int, const char*) {}

  void setTraceLevel(int level) { traceLevel = level; }
  // Whether the file this trace opened lost some of its text (a full disk).
  bool fileFailed() const { return ownedOutput != nullptr && (ownedOutput->flush(), ownedOutput->bad()); }
  int getTraceLevel() const { return traceLevel; }

 protected:
  int traceLevel = 1;
  std::ostream* output = nullptr;
  std::ostream* ownedOutput = nullptr;  // the file stream opened by TraceFile(const char*)
};

#endif
