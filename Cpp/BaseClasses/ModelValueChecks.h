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

#endif
