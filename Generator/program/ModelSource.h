#ifndef MODEL_SOURCE_H
#define MODEL_SOURCE_H

// The model file a gen was built from, as its build named it; empty for the
// compiled-in model. A gen built from a model file links a unit of its own
// that defines this; the generator library's definition is the fallback.
const char* genModelSourceFile();

#endif
