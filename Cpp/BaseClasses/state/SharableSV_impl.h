// Template bodies of SharableSV<T>; included by SharableSV.h only.
#ifndef SHARABLE_SV_IMPL_H
#define SHARABLE_SV_IMPL_H

#include <cstring>
#include <new>
#include <vector>

#include "BaseActionClass.h"
#include "GenAssert.h"
#include "StandardErrors.h"

template <class T>
SharableSV<T>::SharableSV() : BaseStateVariableClass() {
  value = new (std::nothrow) T(0);
  if (value == nullptr) MemoryAllocationError();
  pushAlias(&value, this);
}

template <class T>
SharableSV<T>::SharableSV(const char* name, const char* prefix) : BaseStateVariableClass(name, prefix) {
  value = new (std::nothrow) T(0);
  if (value == nullptr) MemoryAllocationError();
  pushAlias(&value, this);
}

template <class T>
SharableSV<T>::~SharableSV() {
  if (Stored) delete value;
  value = nullptr;
  // An absorbed variable's alias list is empty: its nodes went to the group.
  while (head != nullptr) {
    SVAliasNode<T>* next = head->next;
    delete head;
    head = next;
  }
}

template <class T>
void SharableSV<T>::pushAlias(T** alias, BaseStateVariableClass* owner) {
  auto* node = new (std::nothrow) SVAliasNode<T>{alias, owner, head};
  if (node == nullptr) MemoryAllocationError();
  head = node;
  SharingCount++;
}

template <class T>
SharableSV<T>* SharableSV<T>::root() {
  SharableSV<T>* r = this;
  while (r->representative != r) r = r->representative;
  return r;
}

template <class T>
void SharableSV<T>::registerAlias(T** alias) {
  SharableSV<T>* r = root();
  *alias = r->value;
  r->pushAlias(alias, nullptr);
  if (r != this) SharingCount++;
}

template <class T>
void SharableSV<T>::SetState(void* src) {
  std::memcpy(value, src, sizeof(T));
}

template <class T>
void SharableSV<T>::CurrentState(void* dst) {
  std::memcpy(dst, value, sizeof(T));
}

template <class T>
void SharableSV<T>::printState(std::ostream* out) {
  *out << name << " = " << *value << std::endl;
}

template <class T>
void SharableSV<T>::printStateVal(std::ostream* out) {
  *out << *value;
}

template <class T>
void SharableSV<T>::share(BaseStateVariableClass* other) {
  auto* otherSV = dynamic_cast<SharableSV<T>*>(other);
  GEN_ASSERT(otherSV != nullptr, "otherSV", "state/SharableSV");
  ShareWith(otherSV);
}

template <class T>
void SharableSV<T>::appendAffectingAction(BaseActionClass* a) {
  // Every variable of a group holds the group's list; an arc registered at an
  // absorbed variable is recorded through the stored one.
  SharableSV<T>* r = root();
  for (SVAliasNode<T>* n = r->head; n != nullptr; n = n->next)
    if (n->owner != nullptr) n->owner->getAffectingActions()->append(a);
}

template <class T>
void SharableSV<T>::absorb(SharableSV<T>* x) {
  GEN_ASSERT(SVAffectingActions != nullptr, "SVAffectingActions", "state/SharableSV");
  GEN_ASSERT(SVEnabledActions != nullptr, "SVEnabledActions", "state/SharableSV");
  GEN_ASSERT(x->getHead() != nullptr, "TheOtherPointer->getHead()", "state/SharableSV");

  // 1-2: x's cell goes; every pointer of x's group follows this group's cell.
  delete x->value;
  x->representative = this;
  x->value = value;
  for (SVAliasNode<T>* n = x->head; n != nullptr; n = n->next) *n->alias = value;

  // 3
  x->Shared = true;
  x->Stored = false;

  // 4-5: merged action lists, this variable's items first.
  SVAffectingActions->append(x->SVAffectingActions);
  SVEnabledActions->append(x->SVEnabledActions);
  if (x->SVAffectingActions != SVAffectingActions) delete x->SVAffectingActions;
  if (x->SVEnabledActions != SVEnabledActions && x->SVEnabledActions != x->SVAffectingActions)
    delete x->SVEnabledActions;
  x->SVAffectingActions = SVAffectingActions;
  x->SVEnabledActions = SVEnabledActions;

  // 6: every variable of x's group now uses this group's lists and names
  // this variable as its representative.
  SVAliasNode<T>* last = nullptr;
  for (SVAliasNode<T>* n = x->head; n != nullptr; n = n->next) {
    if (n->owner != nullptr) {
      n->owner->setAffectingActions(SVAffectingActions);
      n->owner->setEnabledActions(SVEnabledActions);
      static_cast<SharableSV<T>*>(n->owner)->representative = this;
    }
    last = n;
  }

  // 7: x's alias nodes join this variable's list.
  last->next = head;
  head = x->head;
  SharingCount += x->SharingCount;
  x->head = nullptr;
}

template <class T>
void SharableSV<T>::ShareWith(SharableSV<T>* other) {
  GEN_ASSERT(other != nullptr, "otherSV", "state/SharableSV");
  SharableSV<T>* self = this;
  // The actions that name `other` are all in other's lists. While `other` is
  // stored those are its own group's lists, usually short, whereas after the
  // merge they are the whole group's: a replica joining the group of a
  // thousand copies must not walk every copy's actions.
  std::vector<BaseActionClass*> namingOther[2];
  const bool otherWasStored = other->Stored;
  if (otherWasStored) {
    const List<BaseActionClass>* own[2] = {other->SVAffectingActions, other->SVEnabledActions};
    for (int k = 0; k < 2; k++) namingOther[k].assign(own[k]->getList(), own[k]->getList() + own[k]->getNumItems());
  }
  if (other->Stored && self->Stored) {
    if (other != self) {
      self->Shared = true;
      *self->value = *other->value;
      self->absorb(other);
    }
  } else if (other->Stored) {
    SharableSV<T>* r = self->root();
    if (r != other) r->absorb(other);
  } else if (self->Stored) {
    SharableSV<T>* r = other->root();
    if (r != self) r->absorb(self);
  } else {
    SharableSV<T>* selfRoot = self->root();
    SharableSV<T>* otherRoot = other->root();
    if (selfRoot != otherRoot) {
      if (self->SharingCount > otherRoot->SharingCount)
        selfRoot->absorb(otherRoot);
      else
        otherRoot->absorb(selfRoot);
    }
  }

  // Actions that named `other` now name the group's stored variable, once.
  SharableSV<T>* rep = self->root();
  if (otherWasStored) {
    for (BaseActionClass* a : namingOther[0]) a->AffectedSVs.replaceItem(other, rep);
    for (BaseActionClass* a : namingOther[1]) a->EnablingSVs.replaceItem(other, rep);
    return;
  }
  List<BaseActionClass>* affecting = other->SVAffectingActions;
  for (int i = 0; i < affecting->getNumItems(); i++) affecting->getItem(i)->AffectedSVs.replaceItem(other, rep);
  List<BaseActionClass>* enabled = other->SVEnabledActions;
  for (int i = 0; i < enabled->getNumItems(); i++) enabled->getItem(i)->EnablingSVs.replaceItem(other, rep);
}

#endif
