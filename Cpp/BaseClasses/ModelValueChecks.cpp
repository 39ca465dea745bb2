#include "ModelValueChecks.h"

#include <climits>
#include <cmath>
#include <sstream>
#include <string>

#include "GenError.h"

namespace {

[[noreturn]] void refuse(long long value, const char* global, const char* what, const char* range) {
  throw GenError(std::string("Error: ") + what + " is the global variable " + global + " = " + std::to_string(value) +
                 ", outside " + range);
}

}  // namespace

short genCheckedMarking(long long value, const char* global, const char* what) {
  if (value < SHRT_MIN || value > SHRT_MAX) refuse(value, global, what, "the 16-bit markings (-32768 to 32767)");
  return static_cast<short>(value);
}

int genCheckedCount(long long value, const char* global, const char* what) {
  if (value > INT_MAX) refuse(value, global, what, "the counts a model can hold (at most 2147483647)");
  return static_cast<int>(value < INT_MIN ? INT_MIN : value);
}

double genCheckedPhases(double value, const char* activity) {
  if (std::isfinite(value) && value >= 0 && (value < 1 || value != std::floor(value) || value > SHRT_MAX)) {
    std::ostringstream text;
    text << "Error: The Erlang activity " << activity << " has " << value
         << " phases; a phase count is a whole number from 1 to 32767";
    throw GenError(text.str());
  }
  return value;
}
