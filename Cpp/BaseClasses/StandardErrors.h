#ifndef STANDARD_ERRORS_H
#define STANDARD_ERRORS_H

#include "GenError.h"

// One wording for each kind of framework error. Every report goes to standard
// error and is flushed line by line; only the out-of-memory report ends the
// run (exit status 1), by throwing the GenError below.

// The out-of-memory failure: two lines on standard error, exit status 1.
GenError outOfMemoryError();
[[noreturn]] void MemoryAllocationError();
void MemoryError();
void ErrorEmptyParameter(const char* name);
namespace SyncError {
void WrongDistributionType();
void NoAction();
}  // namespace SyncError
void InconsistantState();
void UserError();
void ArrayTypeMismatchError(const char* first, const char* second);
void StructTypeMismatchError(const char* first, const char* second);
void InvalidArrayType();
// The struct layout being built is unusable: reports and aborts.
[[noreturn]] void InvalidStructType();
void InvalidUnorderedType();
void ArrayOutOfBoundsError(const char* where);

#endif
