#ifndef MODEL_VALUE_CHECKS_H
#define MODEL_VALUE_CHECKS_H

// Values a generated model takes from its global variables when it is built
// (initial markings, copy and replica counts), checked against the type they
// land in: a value that does not fit stops the run with a GenError naming
// the global variable and what it sets, instead of being cut down to a
// different model. `what` says what the value sets ("machine: the initial
// marking of stock").

// A marking: -32768 to 32767.
short genCheckedMarking(long long value, const char* global, const char* what);
// A count of children: 0 to 2147483647 (a negative count is left to the
// composer, which names it).
int genCheckedCount(long long value, const char* global, const char* what);
// An Erlang phase count, returned as it is: a finite value from 0 on must be
// a whole number from 1 to 32767 (the activity counts its phase in a short,
// and a fractional count would never complete its last phase); negative and
// non-finite values are left to the generator, which names the state.
// `activity` is "model.activity".
double genCheckedPhases(double value, const char* activity);

#endif
