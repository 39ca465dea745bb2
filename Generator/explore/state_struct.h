#ifndef STATE_STRUCT_H
#define STATE_STRUCT_H

#include <cstdint>

// One state vector together with its state number. Whoever allocates `data`
// owns it (the queue for its ring entries, the generator for its working
// entry).
struct state_struct {
  char* data = nullptr;
  std::uint32_t number = 0;
};

#endif
