#ifndef FAILURE_REPORT_H
#define FAILURE_REPORT_H

#include <iostream>
#include <new>

#include "GenError.h"
#include "StandardErrors.h"

// Where a program's failures become console text and an exit status: the
// `main` of each program runs its body through reportingFailures.

// Prints a failure's message on the stream it names (standard output flushed
// first, so the two keep their order) and gives its exit status.
inline int reportFailure(const GenError& error) {
  std::cout.flush();
  std::ostream& stream = error.stream() == GenError::Stream::Out ? std::cout : std::cerr;
  stream << error.what() << '\n';
  stream.flush();
  return error.status();
}

// A program's body run to its exit status: a GenError, or an allocation the
// system refused, becomes its console text and status.
template <class Body>
int reportingFailures(Body&& body) {
  try {
    return body();
  } catch (const GenError& error) {
    return reportFailure(error);
  } catch (const std::bad_alloc&) {
    return reportFailure(outOfMemoryError());
  }
}

#endif
