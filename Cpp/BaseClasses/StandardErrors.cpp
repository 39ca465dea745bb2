#include "StandardErrors.h"

#include <cstdlib>
#include <iostream>

GenError outOfMemoryError() {
  return GenError(
      "Insufficient Memory to allocate dynamic data structures from heap memory\n"
      "Exiting program...",
      GenError::Stream::Err, 1);
}

void MemoryAllocationError() { throw outOfMemoryError(); }

void MemoryError() { std::cerr << "Memory Error" << std::endl; }

void ErrorEmptyParameter(const char* name) {
  std::cerr << (name ? name : "") << ": Parameter was an empty reference" << std::endl;
}

namespace SyncError {
void WrongDistributionType() {
  std::cerr << "You can only synchronize actions from one type,"
            << "either exponential or instantenous" << std::endl;
}
void NoAction() { std::cerr << " no Action found in model" << std::endl; }
}  // namespace SyncError

void InconsistantState() {
  std::cerr << "This program has entered into an inconsistant state. Please report this bug." << std::endl;
}

void UserError() { std::cerr << "A user error has been detected" << std::endl; }

static void mismatch(const char* message, const char* first, const char* second) {
  std::cerr << message << std::endl;
  std::cerr << "  " << (first ? first : "") << std::endl;
  std::cerr << "  " << (second ? second : "") << std::endl;
}

void ArrayTypeMismatchError(const char* first, const char* second) {
  mismatch("Array types for equivalence sharing do not match for state variables: ", first, second);
}

void StructTypeMismatchError(const char* first, const char* second) {
  mismatch("Struct types for equivalence sharing do not match for state variables: ", first, second);
}

void InvalidArrayType() { std::cerr << "ArrayType is not valid" << std::endl; }

void InvalidStructType() {
  std::cerr << "ArrayType is invalid for struct element" << std::endl;
  std::abort();
}

void InvalidUnorderedType() { std::cerr << "ArrayType is invalid for unordered element" << std::endl; }

void ArrayOutOfBoundsError(const char* where) {
  std::cerr << "Array out of bounds error at " << (where ? where : "") << std::endl;
}
