#ifndef SOLVER_PVTYPE_H
#define SOLVER_PVTYPE_H

#include <string>
#include <utility>
#include <vector>

#include "Outcome.h"

// The reward variables of a run as its .pvtype lists them.
namespace solver {

enum class RewardKind { Instant = 0, Interval = 1, TimeAveraged = 2, SteadyState = 3 };

// "instant", "interval", "time_averaged", "steady_state"
const char* kindName(RewardKind kind);

struct RewardVariable {
  std::string name;
  RewardKind kind = RewardKind::Instant;
  std::vector<std::pair<double, double>> times;  // [start, stop] pairs
};

Outcome<std::vector<RewardVariable>> readPvType(const std::string& path);
Outcome<std::vector<RewardVariable>> parsePvType(const std::string& text);

}  // namespace solver

#endif
