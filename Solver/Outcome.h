#ifndef SOLVER_OUTCOME_H
#define SOLVER_OUTCOME_H

#include "UmbOutcome.h"

// Errors travel up as values, the same values as those of the .umb reader;
// only main turns one into a message and an exit status.
namespace solver {

using umb::Error;
using umb::okStatus;
using umb::Outcome;
using umb::Status;

}  // namespace solver

#endif
