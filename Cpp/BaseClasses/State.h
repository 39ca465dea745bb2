#ifndef STATE_H
#define STATE_H

#include <cstdio>

class BaseModelClass;

// A detachable copy of the part of the state that one model owns itself.
class State {
 public:
  virtual int hash() { return 1; }
  virtual int compare(State const& other) const {
    (void)other;
    return 1;
  }
  virtual void print() {}
  virtual bool fwriteState(FILE* f) = 0;  // true on a short write
  virtual bool freadState(FILE* f) = 0;   // true on a short read
  virtual State& operator=(State const& other) = 0;
  virtual ~State() = default;
  virtual void SetState(BaseModelClass const* m) = 0;  // push into the model
  virtual void GetState(BaseModelClass const* m) = 0;  // pull from the model
  virtual char* GetStatePtr() = 0;
};

#endif
