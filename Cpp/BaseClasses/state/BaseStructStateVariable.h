#ifndef BASE_STRUCT_STATE_VARIABLE_H
#define BASE_STRUCT_STATE_VARIABLE_H

#include <vector>

#include "BaseStateVariableClass.h"

// Element kind of an extended state variable, and with it the element's
// width in the state vector. Any code other than the five scalar kinds
// denotes a nested extended variable, whose width is its own StateSize().
enum ArrayType : int {
  ARRAY_SHORT = 0,   // 2 bytes
  ARRAY_INT = 1,     // 4 bytes
  ARRAY_CHAR = 2,    // 1 byte (char or bool)
  ARRAY_DOUBLE = 3,  // 8 bytes
  ARRAY_FLOAT = 4,   // 4 bytes
  ARRAY_STRUCT = 5,  // nested: the element's own size
};

// One element of an extended state variable; the element variable is not
// owned by the extended variable.
struct fieldType {
  BaseStateVariableClass* stateVariable = nullptr;
  ArrayType type = ARRAY_SHORT;
};

// An array or struct made of other state variables. Its state is its
// elements' states packed in element order; each element occupies the width
// of its kind. Its enabling and affecting relations are those of its leaves,
// and sharing two extended variables shares them element by element.
//
// An element variable of a scalar kind must read and write exactly the kind's
// width: computing the size checks this and stops the run (InvalidStructType)
// otherwise, since a wider element would write past its slot. Elements without
// a variable keep their slot; CurrentState fills it with zero bytes.
//
// Sharing: as with simple variables, the stored variable of a group owns the
// two action lists; absorbed variables (and the variables absorbed into them)
// use the stored one's lists and release nothing of the group.
class BaseStructStateVariable : public BaseStateVariableClass {
 public:
  BaseStructStateVariable();
  BaseStructStateVariable(const char* name, const char* prefix);
  BaseStructStateVariable(const char* name, const char* prefix, const ArrayType* kinds, int n);
  ~BaseStructStateVariable() override;

  int StateSize() override;
  void SetState(void* src) override;
  void CurrentState(void* dst) override;
  void printState(std::ostream* out) override;
  using BaseStateVariableClass::printState;
  void share(BaseStateVariableClass* other) override;
  void appendAffectingAction(BaseActionClass* a) override;
  void addSelfAsEnablingSVToAction(BaseActionClass* a) override;
  void addSelfAsAffectedSVToAction(BaseActionClass* a) override;
  void removeSelfFromEnablingSVOfAction(BaseActionClass* a) override;
  void removeSelfFromAffectedSVOfAction(BaseActionClass* a) override;
  List<BaseStateVariableClass>* getLeafNodes() override;  // caller owns the list
  int getNumLeafNodes() override;
  bool isLeafNode() override;
  void appendEnabledAction(BaseActionClass* a) override;

  // Pairs element i of this variable with element i of `other` (which must
  // have at least as many elements) and merges the two groups' action lists;
  // this variable's group survives.
  virtual void ShareWith(BaseStructStateVariable* other);
  // The element record for a kind and a variable; model code overrides it to
  // create the element variable.
  virtual fieldType field(ArrayType kind, BaseStateVariableClass* var) const;

  void makeArrays(const ArrayType* kinds, int n);
  int calculateStateSize();
  ArrayType getType(int i) const;
  int getSize() const { return static_cast<int>(fields.size()); }

  // Width of a scalar kind, or -1 for a nested kind.
  static int scalarWidth(ArrayType kind);

  std::vector<fieldType> fields;

 protected:
  int CachedStateSize = -1;

 private:
  int elementWidth(const fieldType& f);
  BaseStructStateVariable* root();

  BaseStructStateVariable* structRepresentative = this;
  std::vector<BaseStructStateVariable*> absorbedStructs;  // of a stored variable
};

#endif
