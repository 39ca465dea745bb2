#include "TraceFileContainer.h"

#include <cstdarg>
#include <cstdio>

#include "PVModel.h"

TraceFileContainer::TraceFileContainer() = default;

void TraceFileContainer::printFooter() {
  for (TraceFile* t : outputs) t->printFooter();
}

void TraceFileContainer::printFireAction(BaseActionClass* a, double x) {
  for (TraceFile* t : outputs) t->printFireAction(a, x);
}

void TraceFileContainer::printPreFireAction(BaseActionClass* a) {
  for (TraceFile* t : outputs) t->printPreFireAction(a);
}

void TraceFileContainer::printPostFireAction(BaseActionClass* a, BaseActionClass* b) {
  for (TraceFile* t : outputs) t->printPostFireAction(a, b);
}

void TraceFileContainer::newBatch() {
  for (TraceFile* t : outputs) t->newBatch();
}

void TraceFileContainer::printf(int level, const char* format, ...) {
  if (outputs.empty()) return;
  // Formatted once for all outputs. A message longer than the buffer is
  // truncated rather than written past its end.
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  for (TraceFile* t : outputs) t->printStr(level, buffer);
}

void TraceFileContainer::printStr(int level, const char* text) {
  for (TraceFile* t : outputs) t->printStr(level, text);
}

void TraceFileContainer::printHeader() {
  for (TraceFile* t : outputs) t->printHeader(model);
}

void TraceFileContainer::printState() {
  for (TraceFile* t : outputs) t->printState(model);
}

void TraceFileContainer::printInitialState() {
  BaseModelClass* composed = model ? model->TheModel : nullptr;
  for (TraceFile* t : outputs) t->printInitialState(composed);
}

bool TraceFileContainer::wants(int level) const {
  for (const TraceFile* t : outputs)
    if (t->getTraceLevel() >= level) return true;
  return false;
}
