#ifndef BASE_STATE_VARIABLE_CLASS_H
#define BASE_STATE_VARIABLE_CLASS_H

#include <iostream>

#include "List.h"

class BaseActionClass;

// Abstract base of every state variable: name and prefix, the two sharing
// flags, and the lists of actions that change the variable (affecting) and
// that read it for their enabling (enabled). After sharing, every variable of
// a sharing group points at the lists of the group's one stored variable,
// which owns them.
class BaseStateVariableClass {
 public:
  BaseStateVariableClass();
  BaseStateVariableClass(const char* name, const char* prefix);
  BaseStateVariableClass(const BaseStateVariableClass&) = delete;
  BaseStateVariableClass& operator=(const BaseStateVariableClass&) = delete;
  virtual ~BaseStateVariableClass();

  virtual int StateSize() = 0;
  virtual void SetState(void* src) = 0;
  virtual void CurrentState(void* dst) = 0;
  virtual void printState(std::ostream* out);
  virtual void printState();
  virtual void printStateVal(std::ostream* out);
  virtual void share(BaseStateVariableClass* other) = 0;
  virtual void appendAffectingAction(BaseActionClass* a);
  virtual void removeAffectingAction(BaseActionClass* a);
  virtual void replaceAffectingAction(BaseActionClass* oldAction, BaseActionClass* newAction);
  virtual void addSelfAsEnablingSVToAction(BaseActionClass* a);
  virtual void addSelfAsAffectedSVToAction(BaseActionClass* a);
  virtual void removeSelfFromEnablingSVOfAction(BaseActionClass* a);
  virtual void removeSelfFromAffectedSVOfAction(BaseActionClass* a);
  virtual List<BaseStateVariableClass>* getLeafNodes();  // caller owns the list
  virtual int getNumLeafNodes();
  virtual bool isLeafNode();
  virtual void appendEnabledAction(BaseActionClass* a);
  virtual void removeEnabledAction(BaseActionClass* a);
  virtual void replaceEnabledAction(BaseActionClass* oldAction, BaseActionClass* newAction);

  void SetName(const char* name);
  void SetPrefix(const char* prefix);
  const char* getName() const { return name; }
  const char* getPrefix() const { return prefix; }

  bool getShared() const { return Shared; }
  void setShared(bool v) { Shared = v; }
  bool getStored() const { return Stored; }
  void setStored(bool v) { Stored = v; }
  bool getFunctionallyShared() const { return FunctionallyShared; }
  void setFunctionallyShared(bool v) { FunctionallyShared = v; }
  int getSharingCount() const { return SharingCount; }

  List<BaseActionClass>* getAffectingActions() const { return SVAffectingActions; }
  List<BaseActionClass>* getEnabledActions() const { return SVEnabledActions; }
  void setAffectingActions(List<BaseActionClass>* list) { SVAffectingActions = list; }
  void setEnabledActions(List<BaseActionClass>* list) { SVEnabledActions = list; }
  void copyAffectingActions(List<BaseActionClass>* list);
  void copyEnabledActions(List<BaseActionClass>* list);
  int getNumAffectingActions() const;
  int getNumEnabledActions() const;
  BaseActionClass* getAffectingAction(int i) const;  // null and a report when out of range
  BaseActionClass* getEnabledAction(int i) const;
  void printAffectingActions() const;
  void printEnabledActions() const;

 protected:
  char* name = nullptr;
  char* prefix = nullptr;
  bool Shared = false;
  bool Stored = true;
  bool FunctionallyShared = false;
  int SharingCount = 0;
  List<BaseActionClass>* SVAffectingActions = nullptr;
  List<BaseActionClass>* SVEnabledActions = nullptr;
};

#endif
