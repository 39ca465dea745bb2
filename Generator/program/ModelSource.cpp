// Alone in its unit: a gen that defines genModelSourceFile itself never
// pulls this one from the library.

#include "ModelSource.h"

const char* genModelSourceFile() { return ""; }
