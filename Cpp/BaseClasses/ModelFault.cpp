#include "ModelFault.h"

namespace {

std::string boundsText(int low, int high) {
  std::string text = "(";
  if (low != kNoLowerBound) text += "min " + std::to_string(low);
  if (low != kNoLowerBound && high != kNoUpperBound) text += ", ";
  if (high != kNoUpperBound) text += "max " + std::to_string(high);
  return text + ")";
}

}  // namespace

void markingOutOfBounds(const char* activity, const std::string& place, int value, int low, int high) {
  throw ModelFault(std::string("Error: Firing ") + activity + " leaves place '" + place + "' at " +
                   std::to_string(value) + ", outside its bounds " + boundsText(low, high));
}

void checkInitialMarking(const char* model, const char* place, int value, int low, int high) {
  if (value >= low && value <= high) return;
  throw GenError(std::string("Error: The initial marking ") + std::to_string(value) + " of place '" + place + "' of " +
                 model + " is outside its bounds " + boundsText(low, high) +
                 ".\nPlease check the global variables and try again");
}
