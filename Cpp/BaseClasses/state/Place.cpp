#include "Place.h"

// Every constructor registers Mark as an alias of the value cell, so a fresh
// place has two alias nodes (its value pointer and Mark) and sharing count 2.

Place::Place() : SharableSV<short>() { registerAlias(&Mark); }

Place::Place(const char* name) : SharableSV<short>(name, "") { registerAlias(&Mark); }

Place::Place(const char* name, short initialMarking) : SharableSV<short>(name, "") {
  registerAlias(&Mark);
  *Mark = initialMarking;
}
