// Places, sharing of equivalent variables, extended state variables and the
// scalar copy templates.
#include <gtest/gtest.h>

#include <algorithm>
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

class Probe : public BaseActionClass {
 public:
  explicit Probe(const char* name) { defineName(name); }
};

// Caches a pointer into a place, as generated activities do.
class CachingActivity : public Activity {
 public:
  explicit CachingActivity(Place* p) : p_(p) {}
  void LinkVariables() override { p_->registerAlias(&mark); }
  void Fire() override { *mark = static_cast<short>(*mark - 1); }
  short* mark = nullptr;

 private:
  Place* p_;
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

// Every member reads and writes the stored variable's cell and lists.
void expectOneGroup(Place& stored, std::initializer_list<Place*> absorbed) {
  EXPECT_TRUE(stored.getStored());
  for (Place* p : absorbed) {
    SCOPED_TRACE(p->getName());
    EXPECT_FALSE(p->getStored());
    EXPECT_TRUE(p->getShared());
    EXPECT_EQ(p->getValuePtr(), stored.getValuePtr());
    EXPECT_EQ(p->Mark, stored.getValuePtr());
    EXPECT_EQ(p->getRepresentative(), &stored);
    EXPECT_EQ(p->getAffectingActions(), stored.getAffectingActions());
    EXPECT_EQ(p->getEnabledActions(), stored.getEnabledActions());
    EXPECT_EQ(p->getHead(), nullptr);
  }
}

}  // namespace

TEST(PlaceTest, DefaultPlace) {
  Place p;
  EXPECT_STREQ(p.getName(), "default");
  EXPECT_EQ(p.getMark(), 0);
  EXPECT_EQ(p.getSharingCount(), 2);
  EXPECT_EQ(aliasCount(p), 2);
  EXPECT_TRUE(p.getStored());
  EXPECT_FALSE(p.getShared());
  EXPECT_EQ(p.StateSize(), 2);
}

TEST(PlaceTest, PrintStateAndBytes) {
  Place p("up", 3);
  std::ostringstream full, value;
  p.printState(&full);
  p.printStateVal(&value);
  EXPECT_EQ(full.str(), "up = 3\n");
  EXPECT_EQ(value.str(), "3");

  p.setMark(-2);
  unsigned char bytes[2];
  p.CurrentState(bytes);
  short expected = -2;
  EXPECT_EQ(std::memcmp(bytes, &expected, 2), 0);
  p.setMark(40);
  p.SetState(bytes);
  EXPECT_EQ(p.getMark(), -2);
}

TEST(PlaceTest, ActionIndexOutOfRangeReportsAndReturnsNull) {
  Place p("p");
  Probe a("a");
  p.appendEnabledAction(&a);
  p.appendAffectingAction(&a);
  for (int bad : {1, -1}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.getEnabledAction(bad), nullptr);
    EXPECT_EQ(p.getAffectingAction(bad), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "!! BaseStateVariableClass::getEnabledAction(int):  EnabledAction index out of bounds\n"
              "!! BaseStateVariableClass::getAffectingAction(int):  AffectingAction index out of bounds\n");
  }
}

// ---------------------------------------------------------------- sharing

// Both stored: S survives and takes O's value.
TEST(SharingTest, TwoFreshPlaces) {
  Place a("a", 0), b("b", 5);
  Probe x("x"), y("y"), z("z");
  affectArc(&a, &x);
  affectArc(&b, &y);
  affectArc(&b, &x);
  b.appendEnabledAction(&z);
  z.addEnablingSV(&b);

  a.share(&b);

  EXPECT_TRUE(a.getShared());
  expectOneGroup(a, {&b});
  EXPECT_EQ(a.getMark(), 5);
  b.setMark(7);
  EXPECT_EQ(a.getMark(), 7);
  a.setMark(8);
  EXPECT_EQ(b.getMark(), 8);
  EXPECT_EQ(a.getSharingCount(), 4);
  EXPECT_EQ(aliasCount(a), 4);
  // The union of both lists, a's items first; actions name a exactly once.
  ASSERT_EQ(a.getNumAffectingActions(), 2);
  EXPECT_EQ(a.getAffectingAction(0), &x);
  EXPECT_EQ(a.getAffectingAction(1), &y);
  EXPECT_EQ(a.getEnabledAction(0), &z);
  ASSERT_EQ(x.AffectedSVs.getNumItems(), 1);
  EXPECT_EQ(x.AffectedSVs[0], &a);
  EXPECT_EQ(y.AffectedSVs[0], &a);
  EXPECT_EQ(z.EnablingSVs[0], &a);
}

// O stored, S absorbed: O joins S's group, which keeps its value.
TEST(SharingTest, ThirdPlaceJoinsThroughAbsorbedOne) {
  Place a("a", 0), b("b", 5), c("c", 9);
  a.share(&b);
  b.share(&c);
  expectOneGroup(a, {&b, &c});
  EXPECT_EQ(c.getMark(), 5);
  EXPECT_EQ(a.getSharingCount(), 6);
}

// S stored, O absorbed: S joins O's group, which keeps its value.
TEST(SharingTest, StoredPlaceJoinsAbsorbedOne) {
  Place a("a", 3), b("b", 5), c("c", 9);
  a.share(&b);
  Probe x("x");
  affectArc(&c, &x);
  c.share(&b);
  expectOneGroup(a, {&b, &c});
  EXPECT_EQ(c.getMark(), 5);
  EXPECT_TRUE(a.getAffectingActions()->contains(&x));
}

// Neither stored: S's own count against that of O's representative decides.
TEST(SharingTest, GroupJoinsGroup) {
  Place a("a", 1), b("b", 2), c("c", 3), d("d", 4);
  a.share(&b);  // {a*, b}, value 2
  c.share(&d);  // {c*, d}, value 4
  Probe x("x");
  affectArc(&d, &x);
  b.share(&d);  // b's count 2 is not above c's 4: a's group goes into c's
  expectOneGroup(c, {&a, &b, &d});
  EXPECT_EQ(a.getMark(), 4);
  EXPECT_EQ(c.getSharingCount(), 8);
  EXPECT_EQ(x.AffectedSVs[0], &c);

  Place e("e", 0), f("f", 6);
  e.share(&f);
  short* extra = nullptr;
  f.registerAlias(&extra);  // on an absorbed place: recorded with the group
  EXPECT_EQ(extra, e.getValuePtr());
  b.share(&f);  // b's count 2 against e's 5: c's group goes into e's
  expectOneGroup(e, {&a, &b, &c, &d, &f});
  EXPECT_EQ(extra, e.getValuePtr());
  EXPECT_EQ(d.getMark(), 6);
}

TEST(SharingTest, SharingWithinOneGroupMovesNothing) {
  Place a("a", 1), b("b", 2);
  a.share(&a);  // must not free the own cell
  EXPECT_TRUE(a.getStored());
  EXPECT_EQ(a.getMark(), 1);
  a.share(&b);
  a.share(&b);
  b.share(&a);
  b.share(&b);
  expectOneGroup(a, {&b});
  EXPECT_EQ(a.getSharingCount(), 4);
}

TEST(SharingTest, ArcOnAbsorbedPlaceIsRecordedForTheGroup) {
  Place a("a"), b("b");
  a.share(&b);
  Probe x("x");
  b.appendAffectingAction(&x);
  EXPECT_TRUE(a.getAffectingActions()->contains(&x));
}

// The composers' pattern: a new place shares with the first child's place,
// which then shares with every further child; an outer composer repeats it on
// the inner composer's place. Activities' cached pointers follow every move.
TEST(SharingTest, ComposerChainsAndLinkedPointers) {
  constexpr int kChildren = 5;
  std::vector<std::unique_ptr<Place>> children;
  std::vector<std::unique_ptr<CachingActivity>> acts;
  for (int i = 0; i < kChildren; i++) {
    children.push_back(std::make_unique<Place>("shared", static_cast<short>(10 + i)));
    acts.push_back(std::make_unique<CachingActivity>(children.back().get()));
    acts.back()->LinkVariables();
    affectArc(children.back().get(), acts.back().get());
  }
  auto inner = std::make_unique<Place>("shared");
  inner->ShareWith(children[0].get());
  for (int i = 1; i < kChildren; i++) children[0]->ShareWith(children[i].get());
  auto outer = std::make_unique<Place>("shared");
  outer->ShareWith(inner.get());

  expectOneGroup(*outer, {inner.get(), children[0].get(), children[4].get()});
  EXPECT_EQ(outer->getMark(), 10);
  EXPECT_EQ(outer->getSharingCount(), 2 + 2 + kChildren * 3);
  EXPECT_EQ(outer->getNumAffectingActions(), kChildren);
  for (auto& act : acts) EXPECT_EQ(act->mark, outer->getValuePtr());
  acts[3]->Fire();
  EXPECT_EQ(children[0]->getMark(), 9);

  // Mixed destruction order: the stored place first.
  outer.reset();
  children[2].reset();
  inner.reset();
  children.clear();
}

TEST(SharingTest, DestructionInAnyOrderFreesEverythingOnce) {
  // AddressSanitizer reports a double free, a leak or a use after free.
  const std::vector<std::vector<int>> orders{{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 0, 3, 1}, {1, 3, 0, 2}};
  for (const auto& order : orders) {
    Place* p[4] = {new Place("a", 1), new Place("b", 2), new Place("c", 3), new Place("d", 4)};
    Probe x("x");
    affectArc(p[1], &x);
    p[0]->share(p[1]);
    p[2]->share(p[3]);
    p[1]->share(p[3]);
    for (int i : order) delete p[i];
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

template <class T>
class Scalar : public BaseStateVariableClass {
 public:
  Scalar(const char* name, T v) : BaseStateVariableClass(name, ""), value(v) {}
  int StateSize() override { return sizeof(T); }
  void SetState(void* src) override { readMemory2(src, &value); }
  void CurrentState(void* dst) override { writeMemory(value, dst); }
  void share(BaseStateVariableClass*) override {}
  T value;
};

// A model-side extended variable whose field() creates its elements.
class Record : public BaseStructStateVariable {
 public:
  Record(const char* name, std::initializer_list<ArrayType> kinds) : BaseStructStateVariable(name, "") {
    std::vector<ArrayType> k(kinds);
    makeArrays(k.data(), static_cast<int>(k.size()));
  }
  ~Record() override {
    for (auto* e : owned) delete e;
  }
  fieldType field(ArrayType kind, BaseStateVariableClass*) const override {
    std::string n = std::string(getName()) + std::to_string(owned.size());
    BaseStateVariableClass* v = nullptr;
    if (kind == ARRAY_SHORT) v = new Place(n.c_str(), static_cast<short>(owned.size() + 1));
    if (kind == ARRAY_CHAR) v = new Scalar<char>(n.c_str(), 'c');
    if (kind == ARRAY_DOUBLE) v = new Scalar<double>(n.c_str(), 2.5);
    owned.push_back(v);
    return BaseStructStateVariable::field(kind, v);
  }
  Place* place(int i) { return static_cast<Place*>(fields[i].stateVariable); }
  mutable std::vector<BaseStateVariableClass*> owned;
};

}  // namespace

TEST(ExtendedVariableTest, LayoutFollowsKindWidths) {
  Record r("r", {ARRAY_SHORT, ARRAY_CHAR, ARRAY_DOUBLE});
  EXPECT_EQ(r.StateSize(), 11);
  unsigned char bytes[11];
  r.CurrentState(bytes);
  short s;
  double d;
  std::memcpy(&s, bytes, 2);
  std::memcpy(&d, bytes + 3, 8);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(bytes[2], 'c');
  EXPECT_EQ(d, 2.5);

  bytes[2] = 'z';
  r.SetState(bytes);
  EXPECT_EQ(static_cast<Scalar<char>*>(r.fields[1].stateVariable)->value, 'z');
}

TEST(ExtendedVariableTest, SizeAndLeaves) {
  BaseStructStateVariable empty;
  EXPECT_EQ(empty.StateSize(), 0);
  EXPECT_TRUE(empty.isLeafNode());
  EXPECT_EQ(empty.getNumLeafNodes(), 1);

  Record r("r", {ARRAY_SHORT});
  EXPECT_EQ(r.StateSize(), 2);
  const ArrayType more[] = {ARRAY_SHORT, ARRAY_CHAR};
  r.makeArrays(more, 2);
  EXPECT_EQ(r.StateSize(), 5);

  // Elements without a variable keep their slot, written as zero bytes.
  const ArrayType kinds[] = {ARRAY_CHAR, ARRAY_FLOAT, ARRAY_STRUCT};
  BaseStructStateVariable bare("bare", "", kinds, 3);
  EXPECT_EQ(bare.StateSize(), 5);
  unsigned char bytes[5];
  std::memset(bytes, 0xEE, sizeof bytes);
  bare.CurrentState(bytes);
  EXPECT_EQ(std::count(bytes, bytes + 5, 0), 5);

  // A nested variable takes its own size; leaves are collected in order.
  Record out("out", {ARRAY_SHORT});
  out.fields.push_back(out.BaseStructStateVariable::field(ARRAY_STRUCT, &r));
  out.makeArrays(nullptr, 0);
  EXPECT_EQ(out.StateSize(), 7);
  EXPECT_EQ(out.getNumLeafNodes(), 4);
  std::unique_ptr<List<BaseStateVariableClass>> leaves(out.getLeafNodes());
  ASSERT_EQ(leaves->getNumItems(), 4);
  EXPECT_EQ(leaves->getItem(1), r.fields[0].stateVariable);
}

TEST(ExtendedVariableTest, ScalarElementOfWrongWidthStops) {
  // A place (2 bytes) in a 4-byte slot would leave state bytes undefined.
  BaseStructStateVariable s("s", "");
  Place p("p");
  s.fields.push_back(s.field(ARRAY_INT, &p));
  s.makeArrays(nullptr, 0);
  EXPECT_DEATH(s.StateSize(), "ArrayType is invalid for struct element");
}

TEST(ExtendedVariableTest, ActionsRecordLeavesOnly) {
  Record r("r", {ARRAY_SHORT, ARRAY_SHORT});
  Probe a("a");
  a.addEnablingSV(&r);
  ASSERT_EQ(a.EnablingSVs.getNumItems(), 2);
  EXPECT_EQ(a.EnablingSVs[0], r.place(0));
  EXPECT_EQ(a.EnablingSVs[1], r.place(1));
  r.appendAffectingAction(&a);
  EXPECT_TRUE(r.getAffectingActions()->contains(&a));
  EXPECT_TRUE(r.place(1)->getAffectingActions()->contains(&a));
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
  Record s1("s1", {ARRAY_SHORT, ARRAY_SHORT}), s2("s2", {ARRAY_SHORT, ARRAY_SHORT});
  Probe x("x");
  s2.appendEnabledAction(&x);
  s2.place(0)->setMark(40);
  s1.share(&s2);
  EXPECT_TRUE(s1.getStored());
  EXPECT_FALSE(s2.getStored());
  EXPECT_EQ(s2.getEnabledActions(), s1.getEnabledActions());
  EXPECT_TRUE(s1.getEnabledActions()->contains(&x));
  EXPECT_EQ(s1.place(0)->getMark(), 40);
  s2.place(1)->setMark(6);
  EXPECT_EQ(s1.place(1)->getMark(), 6);
}

TEST(ExtendedVariableTest, SharingChainsOfGroupsFreeListsOnce) {
  const std::vector<std::vector<int>> orders{{0, 1, 2, 3}, {3, 2, 1, 0}, {3, 1, 0, 2}};
  for (const auto& order : orders) {
    Record* s[4] = {new Record("s0", {ARRAY_SHORT}), new Record("s1", {ARRAY_SHORT}), new Record("s2", {ARRAY_SHORT}),
                    new Record("s3", {ARRAY_SHORT})};
    Probe x("x");
    s[2]->appendAffectingAction(&x);
    s[1]->ShareWith(s[2]);  // {s1*, s2}
    s[0]->ShareWith(s[1]);  // s1's group joins s0's: s2 follows to s0's lists
    EXPECT_EQ(s[2]->getAffectingActions(), s[0]->getAffectingActions());
    s[3]->ShareWith(s[2]);  // through an absorbed member: s0's group joins s3's
    s[0]->ShareWith(s[3]);  // already one group
    for (int i = 0; i < 3; i++) {
      EXPECT_FALSE(s[i]->getStored());
      EXPECT_EQ(s[i]->getAffectingActions(), s[3]->getAffectingActions());
    }
    EXPECT_TRUE(s[3]->getStored());
    EXPECT_TRUE(s[3]->getAffectingActions()->contains(&x));
    s[1]->place(0)->setMark(12);
    EXPECT_EQ(s[3]->place(0)->getMark(), 12);
    for (int i : order) delete s[i];
  }
}

TEST(ExtendedVariableTest, SharingFailures) {
  Record big("big", {ARRAY_SHORT, ARRAY_SHORT}), small("small", {ARRAY_SHORT});
  Place p("p");
  EXPECT_DEATH(big.share(&p), "gen: StructStateVariable: Assertion `otherStruct' failed.");
  EXPECT_DEATH(big.ShareWith(&small), "Assertion `otheri!=otherStruct->fields.end\\(\\)' failed.");
}

// ---------------------------------------------------------------- scalar copies

namespace {

template <class T>
void roundTrip(T a, T b) {
  unsigned char buffer[1 + 2 * sizeof(T)];
  T in[2] = {a, b};
  writeArray(in, buffer + 1, 2);  // deliberately misaligned
  T out[2] = {};
  readArray(out, buffer + 1, 2);
  EXPECT_EQ(out[0], a);
  EXPECT_EQ(out[1], b);
  writeMemory(a, buffer + 1);
  T single{};
  readMemory2(buffer + 1, &single);
  EXPECT_EQ(single, a);
}

}  // namespace

TEST(ScalarCopyTest, RoundTripsInNativeLayout) {
  roundTrip<bool>(true, false);
  roundTrip<char>('a', 'z');
  roundTrip<short>(-2, 32767);
  roundTrip<int>(-100000, 7);
  roundTrip<float>(1.5f, -0.25f);
  roundTrip<double>(3.25, -1e300);
  unsigned char bytes[2] = {0, 2};
  bool flags[2] = {true, false};
  readArray(flags, bytes, 2);  // any non-zero byte is true
  EXPECT_FALSE(flags[0]);
  EXPECT_TRUE(flags[1]);
}
