// State variables, places, sharing of equivalent variables, extended state
// variables and the scalar copy templates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Activity.h"
#include "BaseStructStateVariable.h"
#include "Place.h"
#include "ScalarCopy.h"

namespace {

// A plain action that can be put on a variable's lists.
class Probe : public BaseActionClass {
 public:
  explicit Probe(const char* name) { defineName(name); }
};

// An activity that caches pointers into places, as generated activities do.
class CachingActivity : public Activity {
 public:
  CachingActivity(Place* p, Place* q) : p_(p), q_(q) { defineName("caching"); }
  void LinkVariables() override {
    p_->registerAlias(&pMark);
    q_->registerAlias(&qMark);
  }
  bool Enabled() override {
    PreviousEnabledFlag = EnabledFlag;
    EnabledFlag = *pMark > 0;
    return EnabledFlag;
  }
  void Fire() override {
    *pMark = static_cast<short>(*pMark - 1);
    *qMark = static_cast<short>(*qMark + 1);
  }
  short* pMark = nullptr;
  short* qMark = nullptr;

 private:
  Place* p_;
  Place* q_;
};

int aliasCount(const SharableSV<short>& v) {
  int n = 0;
  for (auto* node = v.getHead(); node != nullptr; node = node->next) n++;
  return n;
}

void affectArc(BaseStateVariableClass* v, BaseActionClass* a) {
  v->appendAffectingAction(a);
  a->addAffectedSV(v);
}

void enableArc(BaseStateVariableClass* v, BaseActionClass* a) {
  v->appendEnabledAction(a);
  a->addEnablingSV(v);
}

}  // namespace

// ---------------------------------------------------------------- places

TEST(PlaceTest, DefaultPlace) {
  Place p;
  EXPECT_STREQ(p.getName(), "default");
  EXPECT_STREQ(p.getPrefix(), "");
  EXPECT_EQ(p.getMark(), 0);
  EXPECT_EQ(p.getSharingCount(), 2);
  EXPECT_EQ(aliasCount(p), 2);
  EXPECT_TRUE(p.getStored());
  EXPECT_FALSE(p.getShared());
  EXPECT_FALSE(p.getFunctionallyShared());
  EXPECT_EQ(p.getRepresentative(), &p);
  EXPECT_EQ(p.Mark, p.getValuePtr());
  EXPECT_EQ(p.StateSize(), 2);
}

TEST(PlaceTest, PrintStateAndValue) {
  Place p("up", 3);
  std::ostringstream full, value;
  p.printState(&full);
  p.printStateVal(&value);
  EXPECT_EQ(full.str(), "up = 3\n");
  EXPECT_EQ(value.str(), "3");
}

TEST(PlaceTest, StateBytesRoundTripNegativeMarking) {
  Place p("p", -2);
  unsigned char bytes[2];
  p.CurrentState(bytes);
  short expected = -2;
  EXPECT_EQ(std::memcmp(bytes, &expected, 2), 0);
  p.setMark(40);
  p.SetState(bytes);
  EXPECT_EQ(p.getMark(), -2);
}

TEST(PlaceTest, NamesArePrivateCopies) {
  char name[] = "abc";
  Place p(name);
  name[0] = 'x';
  EXPECT_STREQ(p.getName(), "abc");
  p.SetName("renamed");
  p.SetPrefix("pre");
  EXPECT_STREQ(p.getName(), "renamed");
  EXPECT_STREQ(p.getPrefix(), "pre");
}

TEST(PlaceTest, LeafOfItself) {
  Place p("p");
  std::unique_ptr<List<BaseStateVariableClass>> leaves(p.getLeafNodes());
  ASSERT_EQ(leaves->getNumItems(), 1);
  EXPECT_EQ(leaves->getItem(0), &p);
  EXPECT_EQ(p.getNumLeafNodes(), 1);
  EXPECT_TRUE(p.isLeafNode());
}

TEST(PlaceTest, ActionIndexOutOfRangeReportsAndReturnsNull) {
  Place p("p");
  Probe a("a");
  p.appendEnabledAction(&a);
  p.appendAffectingAction(&a);
  EXPECT_EQ(p.getEnabledAction(0), &a);
  for (int bad : {1, -1}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.getEnabledAction(bad), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "!! BaseStateVariableClass::getEnabledAction(int):  EnabledAction index out of bounds\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.getAffectingAction(bad), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "!! BaseStateVariableClass::getAffectingAction(int):  AffectingAction index out of bounds\n");
  }
}

TEST(PlaceTest, ActionListingsAndListOperations) {
  Place p("p");
  Probe a("a"), b("b");
  testing::internal::CaptureStdout();
  p.printAffectingActions();
  p.printEnabledActions();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Affecting actions for p:\nNo items in the list\nEnabled actions for p:\nNo items in the list\n");
  p.appendEnabledAction(&a);
  p.replaceEnabledAction(&a, &b);
  EXPECT_EQ(p.getEnabledAction(0), &b);
  p.removeEnabledAction(&b);
  EXPECT_EQ(p.getNumEnabledActions(), 0);
  List<BaseActionClass> other;
  other.append(&a);
  other.append(&b);
  p.copyAffectingActions(&other);
  p.copyAffectingActions(&other);
  EXPECT_EQ(p.getNumAffectingActions(), 2);
  p.replaceAffectingAction(&a, &b);  // b already present: a disappears
  EXPECT_EQ(p.getNumAffectingActions(), 1);
  p.removeAffectingAction(&b);
  EXPECT_EQ(p.getNumAffectingActions(), 0);
}

// ---------------------------------------------------------------- sharing

// Both stored: S survives and takes O's value.
TEST(SharingTest, TwoFreshPlaces) {
  Place a("a", 0), b("b", 5);
  Probe x("x"), y("y"), z("z");
  affectArc(&a, &x);
  affectArc(&b, &y);
  affectArc(&b, &x);
  enableArc(&b, &z);
  a.share(&b);

  EXPECT_TRUE(a.getStored());
  EXPECT_TRUE(a.getShared());
  EXPECT_FALSE(b.getStored());
  EXPECT_TRUE(b.getShared());
  EXPECT_EQ(a.getMark(), 5);
  EXPECT_EQ(b.getMark(), 5);
  EXPECT_EQ(b.Mark, a.getValuePtr());
  EXPECT_EQ(b.getValuePtr(), a.getValuePtr());
  b.setMark(7);
  EXPECT_EQ(a.getMark(), 7);
  a.setMark(8);
  EXPECT_EQ(b.getMark(), 8);
  EXPECT_EQ(a.getSharingCount(), 4);
  EXPECT_EQ(aliasCount(a), 4);
  EXPECT_EQ(b.getHead(), nullptr);
  EXPECT_EQ(b.getRepresentative(), &a);

  // One list for the group: a's items first, then b's missing ones.
  EXPECT_EQ(b.getAffectingActions(), a.getAffectingActions());
  EXPECT_EQ(b.getEnabledActions(), a.getEnabledActions());
  ASSERT_EQ(a.getNumAffectingActions(), 2);
  EXPECT_EQ(a.getAffectingAction(0), &x);
  EXPECT_EQ(a.getAffectingAction(1), &y);
  ASSERT_EQ(a.getNumEnabledActions(), 1);
  EXPECT_EQ(a.getEnabledAction(0), &z);

  // Actions that named b name a, exactly once.
  ASSERT_EQ(x.AffectedSVs.getNumItems(), 1);
  EXPECT_EQ(x.AffectedSVs[0], &a);
  ASSERT_EQ(y.AffectedSVs.getNumItems(), 1);
  EXPECT_EQ(y.AffectedSVs[0], &a);
  ASSERT_EQ(z.EnablingSVs.getNumItems(), 1);
  EXPECT_EQ(z.EnablingSVs[0], &a);

  // The state is written from the one cell.
  short out = 0;
  b.CurrentState(&out);
  EXPECT_EQ(out, 8);
}

// O stored, S absorbed: O joins S's group, which keeps its value.
TEST(SharingTest, ThirdPlaceJoinsThroughAbsorbedOne) {
  Place a("a", 0), b("b", 5), c("c", 9);
  a.share(&b);
  b.share(&c);
  EXPECT_EQ(c.getMark(), 5);
  EXPECT_EQ(c.Mark, a.getValuePtr());
  EXPECT_FALSE(c.getStored());
  EXPECT_TRUE(a.getStored());
  EXPECT_EQ(c.getRepresentative(), &a);
  EXPECT_EQ(a.getSharingCount(), 6);
  c.setMark(11);
  EXPECT_EQ(a.getMark(), 11);
  EXPECT_EQ(b.getMark(), 11);
  EXPECT_EQ(c.getAffectingActions(), a.getAffectingActions());
}

// S stored, O absorbed: S joins O's group, which keeps its value.
TEST(SharingTest, StoredPlaceJoinsAbsorbedOne) {
  Place a("a", 3), b("b", 5), c("c", 9);
  a.share(&b);  // group value 5
  Probe x("x");
  affectArc(&c, &x);
  c.share(&b);
  EXPECT_FALSE(c.getStored());
  EXPECT_TRUE(a.getStored());
  EXPECT_EQ(c.getMark(), 5);
  EXPECT_EQ(c.getRepresentative(), &a);
  EXPECT_TRUE(a.getAffectingActions()->contains(&x));
  EXPECT_EQ(x.AffectedSVs[0], &c);  // x named c, not b: unchanged
}

// Neither stored: S's sharing count against that of O's representative
// decides which group's stored variable survives.
TEST(SharingTest, GroupJoinsGroup) {
  Place a("a", 1), b("b", 2), c("c", 3), d("d", 4);
  a.share(&b);  // {a*, b}, value 2
  c.share(&d);  // {c*, d}, value 4
  Probe x("x");
  affectArc(&d, &x);
  ASSERT_EQ(b.getSharingCount(), 2);
  ASSERT_EQ(c.getSharingCount(), 4);
  b.share(&d);  // 2 > 4 fails: a's group is absorbed into c
  EXPECT_TRUE(c.getStored());
  for (Place* p : {&a, &b, &d}) {
    EXPECT_FALSE(p->getStored()) << p->getName();
    EXPECT_TRUE(p->getShared()) << p->getName();
    EXPECT_EQ(p->getValuePtr(), c.getValuePtr()) << p->getName();
    EXPECT_EQ(p->Mark, c.getValuePtr()) << p->getName();
    EXPECT_EQ(p->getRepresentative(), &c) << p->getName();
    EXPECT_EQ(p->getAffectingActions(), c.getAffectingActions()) << p->getName();
    EXPECT_EQ(p->getEnabledActions(), c.getEnabledActions()) << p->getName();
  }
  EXPECT_EQ(a.getMark(), 4);
  EXPECT_EQ(c.getSharingCount(), 8);
  EXPECT_EQ(aliasCount(c), 8);
  // x named d; d is replaced by S's representative, now c.
  EXPECT_EQ(x.AffectedSVs[0], &c);
}

TEST(SharingTest, LargerCountSurvivesGroupJoin) {
  Place a("a", 1), b("b", 2), e("e", 6), c("c", 3), d("d", 4);
  a.share(&b);
  a.share(&e);  // {a*, b, e}; both stored, so a takes e's value 6
  c.share(&d);  // {c*, d}
  a.registerAlias(&b.Mark);  // irrelevant pointer; raises a's count
  short* extra = nullptr;
  b.registerAlias(&extra);  // b absorbed: recorded with a
  EXPECT_EQ(extra, a.getValuePtr());
  EXPECT_EQ(b.getSharingCount(), 3);
  d.share(&b);  // S = d (count 2) vs O's representative a (count 8): c absorbed into a
  EXPECT_TRUE(a.getStored());
  EXPECT_FALSE(c.getStored());
  EXPECT_EQ(c.getMark(), 6);
  EXPECT_EQ(extra, a.getValuePtr());
  EXPECT_EQ(d.Mark, a.getValuePtr());
}

TEST(SharingTest, SharingWithinOneGroupChangesNothing) {
  Place a("a", 1), b("b", 2);
  a.share(&a);
  EXPECT_TRUE(a.getStored());
  EXPECT_FALSE(a.getShared());
  EXPECT_EQ(a.getMark(), 1);
  a.share(&b);
  a.share(&b);
  b.share(&a);
  b.share(&b);
  EXPECT_TRUE(a.getStored());
  EXPECT_EQ(a.getSharingCount(), 4);
  a.setMark(9);
  EXPECT_EQ(b.getMark(), 9);
}

// The composers' pattern: a new place shares with the first child's place,
// which then shares with every further child; an outer composer repeats it
// on the inner composer's place.
TEST(SharingTest, ComposerChainsAndLinkedPointers) {
  constexpr int kChildren = 5;
  std::vector<std::unique_ptr<Place>> children;
  std::vector<std::unique_ptr<Place>> others;
  std::vector<std::unique_ptr<CachingActivity>> acts;
  for (int i = 0; i < kChildren; i++) {
    children.push_back(std::make_unique<Place>("shared", static_cast<short>(10 + i)));
    others.push_back(std::make_unique<Place>("local", 0));
    acts.push_back(std::make_unique<CachingActivity>(children.back().get(), others.back().get()));
    acts.back()->LinkVariables();
    affectArc(children.back().get(), acts.back().get());
    enableArc(children.back().get(), acts.back().get());
  }
  auto inner = std::make_unique<Place>("shared");
  inner->ShareWith(children[0].get());
  for (int i = 1; i < kChildren; i++) children[0]->ShareWith(children[i].get());
  auto outer = std::make_unique<Place>("shared");
  outer->ShareWith(inner.get());

  EXPECT_TRUE(outer->getStored());
  EXPECT_FALSE(inner->getStored());
  EXPECT_EQ(outer->getMark(), 10);
  EXPECT_EQ(outer->getSharingCount(), 2 + 2 + kChildren * 3);
  EXPECT_EQ(outer->getNumAffectingActions(), kChildren);
  EXPECT_EQ(outer->getNumEnabledActions(), kChildren);
  for (int i = 0; i < kChildren; i++) {
    EXPECT_EQ(acts[i]->pMark, outer->getValuePtr()) << i;
    EXPECT_EQ(children[i]->Mark, outer->getValuePtr()) << i;
    EXPECT_EQ(children[i]->getRepresentative(), outer.get()) << i;
    EXPECT_EQ(children[i]->getAffectingActions(), outer->getAffectingActions()) << i;
    EXPECT_FALSE(children[i]->getStored()) << i;
  }
  EXPECT_EQ(inner->getRepresentative(), outer.get());

  // A firing through one activity's cached pointer is seen everywhere.
  EXPECT_TRUE(acts[3]->Enabled());
  acts[3]->Fire();
  EXPECT_EQ(outer->getMark(), 9);
  EXPECT_EQ(children[0]->getMark(), 9);
  EXPECT_EQ(*acts[1]->pMark, 9);
  EXPECT_EQ(others[3]->getMark(), 1);
  EXPECT_EQ(others[1]->getMark(), 0);

  // Destroy in a mixed order: the stored place first, then children.
  outer.reset();
  children[2].reset();
  inner.reset();
  children.clear();
}

TEST(SharingTest, ArcOnAbsorbedPlaceIsRecordedForTheGroup) {
  Place a("a"), b("b");
  a.share(&b);
  Probe x("x");
  b.appendAffectingAction(&x);
  b.appendEnabledAction(&x);
  EXPECT_TRUE(a.getAffectingActions()->contains(&x));
  EXPECT_TRUE(a.getEnabledActions()->contains(&x));
}

TEST(SharingTest, DestructionInAnyOrderFreesEverythingOnce) {
  // Under AddressSanitizer a double free, a leak or a use after free fails.
  for (int order = 0; order < 4; order++) {
    auto* a = new Place("a", 1);
    auto* b = new Place("b", 2);
    auto* c = new Place("c", 3);
    auto* d = new Place("d", 4);
    Probe x("x");
    affectArc(b, &x);
    enableArc(d, &x);
    a->share(b);
    c->share(d);
    b->share(d);  // groups into groups
    std::vector<Place*> all{a, b, c, d};
    if (order == 1) std::reverse(all.begin(), all.end());
    if (order == 2) all = {c, a, d, b};
    if (order == 3) all = {b, d, a, c};
    for (Place* p : all) delete p;
  }
}

TEST(SharingTest, ShareWithOtherKindOfVariableStops) {
  Place p("p");
  BaseStructStateVariable s("s", "");
  EXPECT_DEATH(p.share(&s), "gen: state/SharableSV: Assertion `otherSV' failed.");
  EXPECT_DEATH(p.share(nullptr), "Assertion `otherSV' failed.");
}

// ---------------------------------------------------------------- extended variables

namespace {

// A scalar variable of any width, for elements of kinds other than places.
template <class T>
class Scalar : public BaseStateVariableClass {
 public:
  explicit Scalar(const char* name, T v = T{}) : BaseStateVariableClass(name, ""), value(v) {}
  int StateSize() override { return sizeof(T); }
  void SetState(void* src) override { readMemory2(src, &value); }
  void CurrentState(void* dst) override { writeMemory(value, dst); }
  void share(BaseStateVariableClass*) override {}
  T value;
};

// A model-side extended variable whose field() creates the element variables.
class Record : public BaseStructStateVariable {
 public:
  Record(const char* name, const ArrayType* kinds, int n) : BaseStructStateVariable(name, "") {
    makeArrays(kinds, n);
  }
  ~Record() override {
    for (auto& e : owned) delete e;
  }
  fieldType field(ArrayType kind, BaseStateVariableClass*) const override {
    BaseStateVariableClass* v = nullptr;
    std::string n = std::string(getName()) + "_" + std::to_string(owned.size());
    switch (kind) {
      case ARRAY_SHORT: v = new Place(n.c_str(), static_cast<short>(owned.size() + 1)); break;
      case ARRAY_CHAR: v = new Scalar<char>(n.c_str(), 'c'); break;
      case ARRAY_DOUBLE: v = new Scalar<double>(n.c_str(), 2.5); break;
      case ARRAY_INT: v = new Scalar<int>(n.c_str(), 77); break;
      default: break;
    }
    owned.push_back(v);
    return BaseStructStateVariable::field(kind, v);
  }
  mutable std::vector<BaseStateVariableClass*> owned;
};

Place* placeAt(BaseStructStateVariable& s, int i) { return static_cast<Place*>(s.fields[i].stateVariable); }

}  // namespace

TEST(ExtendedVariableTest, LayoutFollowsKindWidths) {
  const ArrayType kinds[] = {ARRAY_SHORT, ARRAY_CHAR, ARRAY_DOUBLE};
  Record r("r", kinds, 3);
  EXPECT_EQ(r.StateSize(), 11);
  EXPECT_EQ(r.calculateStateSize(), 11);
  EXPECT_EQ(r.getSize(), 3);
  EXPECT_EQ(r.getType(2), ARRAY_DOUBLE);
  unsigned char bytes[11];
  std::memset(bytes, 0xEE, sizeof bytes);
  r.CurrentState(bytes);
  short s;
  std::memcpy(&s, bytes, 2);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(bytes[2], 'c');
  double d;
  std::memcpy(&d, bytes + 3, 8);
  EXPECT_EQ(d, 2.5);

  short s2 = -7;
  double d2 = -1.25;
  std::memcpy(bytes, &s2, 2);
  bytes[2] = 'z';
  std::memcpy(bytes + 3, &d2, 8);
  r.SetState(bytes);
  EXPECT_EQ(placeAt(r, 0)->getMark(), -7);
  EXPECT_EQ(static_cast<Scalar<char>*>(r.fields[1].stateVariable)->value, 'z');
  EXPECT_EQ(static_cast<Scalar<double>*>(r.fields[2].stateVariable)->value, -1.25);
}

TEST(ExtendedVariableTest, SizeIsRecomputedAfterMakeArrays) {
  BaseStructStateVariable empty;
  EXPECT_EQ(empty.StateSize(), 0);
  EXPECT_TRUE(empty.isLeafNode());
  EXPECT_EQ(empty.getNumLeafNodes(), 1);
  const ArrayType one[] = {ARRAY_INT};
  Record r("r", one, 1);
  EXPECT_EQ(r.StateSize(), 4);
  const ArrayType more[] = {ARRAY_SHORT, ARRAY_SHORT};
  r.makeArrays(more, 2);
  EXPECT_EQ(r.StateSize(), 8);
}

TEST(ExtendedVariableTest, ElementsWithoutVariableKeepTheirSlot) {
  const ArrayType kinds[] = {ARRAY_CHAR, ARRAY_FLOAT, ARRAY_STRUCT};
  BaseStructStateVariable s("s", "", kinds, 3);
  EXPECT_EQ(s.StateSize(), 5);
  unsigned char bytes[5];
  std::memset(bytes, 0xEE, sizeof bytes);
  s.CurrentState(bytes);
  for (unsigned char b : bytes) EXPECT_EQ(b, 0);
  s.SetState(bytes);  // nothing to load, nothing to crash
  EXPECT_EQ(s.getNumLeafNodes(), 1);
}

TEST(ExtendedVariableTest, NestedVariableTakesItsOwnSize) {
  const ArrayType inner[] = {ARRAY_SHORT, ARRAY_CHAR};
  Record in("in", inner, 2);
  const ArrayType outerKinds[] = {ARRAY_SHORT};
  Record out("out", outerKinds, 1);
  out.fields.push_back(out.BaseStructStateVariable::field(ARRAY_STRUCT, &in));
  out.makeArrays(nullptr, 0);  // invalidates the cached size
  EXPECT_EQ(out.StateSize(), 5);
  EXPECT_EQ(out.getNumLeafNodes(), 3);
  std::unique_ptr<List<BaseStateVariableClass>> leaves(out.getLeafNodes());
  ASSERT_EQ(leaves->getNumItems(), 3);
  EXPECT_EQ(leaves->getItem(0), out.fields[0].stateVariable);
  EXPECT_EQ(leaves->getItem(1), in.fields[0].stateVariable);
  EXPECT_EQ(leaves->getItem(2), in.fields[1].stateVariable);
  EXPECT_FALSE(out.isLeafNode());
}

TEST(ExtendedVariableTest, ScalarElementOfWrongWidthStops) {
  // A place (2 bytes) as element of a 4-byte kind would leave bytes undefined.
  BaseStructStateVariable s("s", "");
  Place p("p");
  s.fields.push_back(s.field(ARRAY_INT, &p));
  s.makeArrays(nullptr, 0);
  EXPECT_DEATH(s.StateSize(), "ArrayType is invalid for struct element");
}

TEST(ExtendedVariableTest, ActionsRecordLeavesOnly) {
  const ArrayType kinds[] = {ARRAY_SHORT, ARRAY_SHORT};
  Record r("r", kinds, 2);
  Probe a("a");
  a.addEnablingSV(&r);
  ASSERT_EQ(a.EnablingSVs.getNumItems(), 2);
  EXPECT_EQ(a.EnablingSVs[0], r.fields[0].stateVariable);
  EXPECT_EQ(a.EnablingSVs[1], r.fields[1].stateVariable);
  a.addAffectedSV(&r);
  EXPECT_EQ(a.AffectedSVs.getNumItems(), 2);
  EXPECT_FALSE(a.AffectedSVs.contains(&r));
  a.removeEnablingSV(&r);
  a.removeAffectedSV(&r);
  EXPECT_EQ(a.EnablingSVs.getNumItems(), 0);
  EXPECT_EQ(a.AffectedSVs.getNumItems(), 0);

  r.appendAffectingAction(&a);
  r.appendEnabledAction(&a);
  EXPECT_TRUE(r.getAffectingActions()->contains(&a));
  EXPECT_TRUE(placeAt(r, 0)->getAffectingActions()->contains(&a));
  EXPECT_TRUE(placeAt(r, 1)->getEnabledActions()->contains(&a));
}

TEST(ExtendedVariableTest, PrintState) {
  BaseStructStateVariable s("s", "");
  Place a("a", 1), b("b", 2);
  s.fields.push_back(s.field(ARRAY_SHORT, &a));
  s.fields.push_back(s.field(ARRAY_SHORT, &b));
  std::ostringstream out;
  s.printState(&out);
  EXPECT_EQ(out.str(), "s = {\n.a = 1\n.b = 2\n}\n");
}

TEST(ExtendedVariableTest, SharingElementByElement) {
  const ArrayType kinds[] = {ARRAY_SHORT, ARRAY_SHORT};
  Record s1("s1", kinds, 2), s2("s2", kinds, 2);
  Probe x("x"), y("y");
  s2.appendAffectingAction(&x);
  s2.appendEnabledAction(&y);
  placeAt(s2, 0)->setMark(40);
  s1.share(&s2);
  EXPECT_TRUE(s1.getStored());
  EXPECT_FALSE(s2.getStored());
  EXPECT_TRUE(s2.getShared());
  EXPECT_EQ(s2.getAffectingActions(), s1.getAffectingActions());
  EXPECT_TRUE(s1.getAffectingActions()->contains(&x));
  EXPECT_TRUE(s1.getEnabledActions()->contains(&y));
  EXPECT_EQ(placeAt(s1, 0)->getMark(), 40);  // element 0 of s1 took s2's value
  placeAt(s2, 1)->setMark(6);
  EXPECT_EQ(placeAt(s1, 1)->getMark(), 6);
  EXPECT_FALSE(placeAt(s2, 0)->getStored());
  unsigned char a[4], b[4];
  s1.CurrentState(a);
  s2.CurrentState(b);
  EXPECT_EQ(std::memcmp(a, b, 4), 0);
}

TEST(ExtendedVariableTest, SharingChainsOfGroupsFreeListsOnce) {
  const ArrayType kinds[] = {ARRAY_SHORT};
  for (int order = 0; order < 3; order++) {
    auto* s0 = new Record("s0", kinds, 1);
    auto* s1 = new Record("s1", kinds, 1);
    auto* s2 = new Record("s2", kinds, 1);
    auto* s3 = new Record("s3", kinds, 1);
    Probe x("x");
    s2->appendAffectingAction(&x);
    s1->ShareWith(s2);  // {s1*, s2}
    s0->ShareWith(s1);  // s1's group joins s0's: s2 must follow to s0's lists
    EXPECT_EQ(s2->getAffectingActions(), s0->getAffectingActions());
    EXPECT_TRUE(s0->getAffectingActions()->contains(&x));
    s3->ShareWith(s2);  // through an absorbed member: s0's group joins s3's
    for (auto* s : {s0, s1, s2}) {
      EXPECT_FALSE(s->getStored());
      EXPECT_EQ(s->getAffectingActions(), s3->getAffectingActions());
      EXPECT_EQ(s->getEnabledActions(), s3->getEnabledActions());
    }
    EXPECT_TRUE(s3->getStored());
    s0->ShareWith(s3);  // already one group: nothing moves
    EXPECT_TRUE(s3->getStored());
    placeAt(*s1, 0)->setMark(12);
    EXPECT_EQ(placeAt(*s3, 0)->getMark(), 12);
    std::vector<Record*> all{s0, s1, s2, s3};
    if (order == 1) std::reverse(all.begin(), all.end());
    if (order == 2) all = {s3, s1, s0, s2};
    for (auto* s : all) delete s;
  }
}

TEST(ExtendedVariableTest, SharingFailures) {
  const ArrayType two[] = {ARRAY_SHORT, ARRAY_SHORT};
  const ArrayType one[] = {ARRAY_SHORT};
  Record big("big", two, 2), small("small", one, 1);
  Place p("p");
  EXPECT_DEATH(big.share(&p), "gen: StructStateVariable: Assertion `otherStruct' failed.");
  EXPECT_DEATH(big.ShareWith(&small), "Assertion `otheri!=otherStruct->fields.end\\(\\)' failed.");
}

// ---------------------------------------------------------------- scalar copies

template <class T>
void roundTrip(T a, T b) {
  unsigned char buffer[1 + 2 * sizeof(T)];
  T in[2] = {a, b};
  writeArray(in, buffer + 1, 2);  // deliberately misaligned
  T out[2] = {};
  readArray(out, buffer + 1, 2);
  EXPECT_EQ(out[0], a);
  EXPECT_EQ(out[1], b);
  writeMemory(b, buffer + 1);
  T single{};
  readMemory2(buffer + 1, &single);
  EXPECT_EQ(single, b);
  EXPECT_EQ(std::memcmp(buffer + 1, &b, sizeof(T)), 0);
}

TEST(ScalarCopyTest, RoundTripsInNativeLayout) {
  roundTrip<bool>(true, false);
  roundTrip<char>('a', 'z');
  roundTrip<short>(-2, 32767);
  roundTrip<int>(-100000, 7);
  roundTrip<float>(1.5f, -0.25f);
  roundTrip<double>(3.25, -1e300);
}

TEST(ScalarCopyTest, AnyNonZeroByteReadsAsTrue) {
  unsigned char bytes[3] = {0, 2, 255};
  bool out[3] = {true, false, false};
  readArray(out, bytes, 3);
  EXPECT_FALSE(out[0]);
  EXPECT_TRUE(out[1]);
  EXPECT_TRUE(out[2]);
}
