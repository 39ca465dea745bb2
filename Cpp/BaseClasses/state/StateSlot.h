#ifndef STATE_SLOT_H
#define STATE_SLOT_H

#include <cstring>
#include <typeinfo>

#include "Place.h"

// One state variable's part of a model's packed state vector. Models build
// their slots once the sharing of the model tree is in place; the copies in
// and out then run for every explored transition. For a plain place the slot
// holds the value cell itself, so the copy is two bytes without a virtual
// call; any other variable copies through its own CurrentState/SetState.
// A cell stays valid as long as its variable is stored, which is what a
// model's slot list is rebuilt for after any sharing.
struct StateSlot {
  BaseStateVariableClass* sv;
  int size;
  short* cell;

  static StateSlot of(BaseStateVariableClass* sv) {
    short* cell = nullptr;
    if (typeid(*sv) == typeid(Place)) cell = static_cast<Place*>(sv)->getValuePtr();
    return {sv, sv->StateSize(), cell};
  }

  void write(char* dst) const {
    if (cell)
      std::memcpy(dst, cell, sizeof(short));
    else
      sv->CurrentState(dst);
  }

  void read(char* src) const {
    if (cell)
      std::memcpy(cell, src, sizeof(short));
    else
      sv->SetState(src);
  }
};

#endif
