#ifndef PLACE_H
#define PLACE_H

#include "SharableSV.h"

// A place of a stochastic activity network: its value is the marking, a
// signed 16-bit token count. Mark always points at the (possibly shared)
// value cell.
class Place : public SharableSV<short> {
 public:
  Place();
  explicit Place(const char* name);
  Place(const char* name, short initialMarking);

  short getMark() const { return *Mark; }
  void setMark(short m) { *Mark = m; }
  void test() {}

  short* Mark = nullptr;
};

#endif
