#include "TraceFile.h"

#include <fstream>

TraceFile::TraceFile() = default;

TraceFile::TraceFile(const char* fileName) {
  // An unopenable file leaves the stream failed: trace text is then dropped
  // without a report, and generation goes on.
  ownedOutput = new std::ofstream(fileName ? fileName : "", std::ios::out | std::ios::trunc);
  output = ownedOutput;
}

TraceFile::TraceFile(std::ostream* out) : output(out) {}

// The trace never closes a stream it was handed; it releases only the file
// stream it opened itself.
TraceFile::~TraceFile() { delete ownedOutput; }
