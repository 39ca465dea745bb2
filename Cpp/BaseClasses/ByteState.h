#ifndef BYTE_STATE_H
#define BYTE_STATE_H

#include "State.h"

// The common part of the models' LocalState classes: an owned buffer of
// `size` bytes with the byte hash (weights from `primes`), the unsigned
// three-way comparison, printing and the size-prefixed file form. The nested
// LocalState class of each model only decides which part of the model's
// state the bytes hold (SetState / GetState).
class ByteState : public State {
 public:
  // `source` names the model unit in assertion reports.
  ByteState(int size, const char* source);
  ByteState(const ByteState&) = delete;
  // Copies the bytes (same size required), never the buffer pointer.
  ByteState& operator=(const ByteState& other) {
    operator=(static_cast<State const&>(other));
    return *this;
  }
  ~ByteState() override;

  int hash() override;
  int compare(State const& other) const override;
  void print() override;
  bool fwriteState(FILE* f) override;
  bool freadState(FILE* f) override;
  State& operator=(State const& other) override;
  char* GetStatePtr() override { return data; }

  char* data = nullptr;
  int size = 0;

 protected:
  const char* source_;
};

#endif
