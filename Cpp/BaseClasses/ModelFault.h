#ifndef MODEL_FAULT_H
#define MODEL_FAULT_H

#include <climits>
#include <string>

#include "GenError.h"

// A fault of the model found while an activity fires: a marking that left
// the bounds its place declares. The code that fired the activity knows the
// state it was exploring and ends the run with a message naming it; the
// fault's own text names the activity, the place and the value.
class ModelFault : public GenError {
 public:
  explicit ModelFault(const std::string& message) : GenError(message) {}
};

// The bound of a place that declares only the other one.
inline constexpr int kNoLowerBound = INT_MIN;
inline constexpr int kNoUpperBound = INT_MAX;

// Throws the ModelFault of `place` holding `value`, outside [low, high],
// after `activity` (e.g. "activity 'serve' of atomic model 'queue'") fired.
[[noreturn]] void markingOutOfBounds(const char* activity, const std::string& place, int value, int low, int high);

// Throws a GenError when the initial marking `value` of `place` of `model`
// (e.g. "atomic model 'queue'"), taken from a global variable, is outside
// [low, high].
void checkInitialMarking(const char* model, const char* place, int value, int low, int high);

#endif
