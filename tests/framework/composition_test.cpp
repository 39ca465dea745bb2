// Composer base, shared-variable links, Rep and Join.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BaseComposerClass.h"
#include "ExpectGenError.h"
#include "Join.h"
#include "Place.h"
#include "Rep.h"
#include "SANModel.h"
#include "SharedStateVarLink.h"
#include "TestModels.h"
#include "TestSupport.h"

using testmodels::PairJoin;
using testmodels::PairRep;
using testmodels::PairSAN;

namespace {

std::vector<unsigned char> stateOf(BaseModelClass& m) {
  std::vector<unsigned char> v(static_cast<std::size_t>(m.StateSize()));
  if (!v.empty()) m.CurrentState(v.data());
  return v;
}

std::vector<short> marks(const std::vector<unsigned char>& bytes) {
  std::vector<short> out(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::vector<unsigned char> bytesOf(short v) {
  std::vector<unsigned char> b(2);
  std::memcpy(b.data(), &v, 2);
  return b;
}

// An atomic model with n unshared places named p0, p1, ...
class PlacesSAN : public SANModel {
 public:
  explicit PlacesSAN(int n, const char* name = "places") {
    std::vector<BaseStateVariableClass*> places;
    for (int i = 0; i < n; i++) {
      std::string pname = testsupport::numbered("p", i);
      owned.push_back(new Place(pname.c_str(), static_cast<short>(i)));
      places.push_back(owned.back());
    }
    initializeSANModelNow(name, n, places.data(), 0, nullptr, 0, nullptr, 0, nullptr);
  }
  ~PlacesSAN() override {
    for (Place* p : owned) delete p;
  }
  std::vector<Place*> owned;
};

// A Join over caller-made children, for structural tests.
class TestJoin : public Join {
 public:
  TestJoin(std::vector<BaseModelClass*> children, int numShared, const char* const* names)
      : Join("tj", static_cast<int>(children.size()), numShared, names) {
    for (std::size_t i = 0; i < children.size(); i++) Children[i] = children[i];
  }
};

// A Rep of PairSAN copies without shared variables: each replica's state is
// its two places (4 bytes).
class PlainRep : public Rep {
 public:
  explicit PlainRep(int n) : Rep("plain", n, 0, nullptr) {
    for (int i = 0; i < n; i++) {
      copies.push_back(new PairSAN());
      Children[i] = copies.back();
    }
    SetupActions();
    Setup("P");
  }
  ~PlainRep() override {
    for (PairSAN* c : copies) delete c;
  }
  std::vector<PairSAN*> copies;
};

}  // namespace

// ------------------------------------------------------------- state layout

TEST(StateLayoutTest, WorkedTenByteExample) {
  PairJoin j(2, false, /*aLocal*/ 11, /*aShared*/ 12, /*bLocal*/ 0, /*bShared*/ 5);
  ASSERT_EQ(j.StateSize(), 10);
  j.rep->copies[0]->local->setMark(1);
  j.rep->copies[1]->local->setMark(256);
  std::vector<unsigned char> v = stateOf(j);
  std::vector<unsigned char> expected;
  for (short m : {short(11), short(12)}) {
    auto b = bytesOf(m);
    expected.insert(expected.end(), b.begin(), b.end());
  }
  // Replica with marking 256 (bytes 00 01) sorts before marking 1 (01 00).
  auto b256 = bytesOf(256), b1 = bytesOf(1), t = bytesOf(5);
  expected.insert(expected.end(), b256.begin(), b256.end());
  expected.insert(expected.end(), b1.begin(), b1.end());
  expected.insert(expected.end(), t.begin(), t.end());
  EXPECT_EQ(v, expected);
  if (b1[0] == 1) {  // little-endian machine: the bytes are those of the example
    EXPECT_EQ(std::vector<unsigned char>(v.begin() + 4, v.begin() + 8),
              (std::vector<unsigned char>{0x00, 0x01, 0x01, 0x00}));
  }
}

TEST(StateLayoutTest, JoinSharingShrinksTheInnerRep) {
  PairJoin j(3, true, 1, 7, 2, 9);
  // The Rep's shared place gave its cell to the Join's place.
  EXPECT_FALSE(j.rep->sharedPlace->getStored());
  EXPECT_TRUE(j.sharedPlace->getStored());
  EXPECT_EQ(j.rep->SharedStateSize(), 0);
  EXPECT_FALSE(j.rep->HasLocalState());
  EXPECT_EQ(j.rep->StateSize(), 3 * 2);
  EXPECT_EQ(j.StateSize(), 2 + 3 * 2 + 2);
  EXPECT_EQ(j.StateSize(), j.ChildStateSizes[0] + j.ChildStateSizes[1] + j.SharedStateSize());
  // The Join's place took the Rep's value (the second sharing).
  EXPECT_EQ(marks(stateOf(j)), (std::vector<short>{1, 2, 2, 2, 9}));
  // One cell for all: a change by any copy is seen by A and the Join.
  j.rep->copies[2]->inc.Fire();
  EXPECT_EQ(j.A->shared->getMark(), 10);
  EXPECT_EQ(j.sharedPlace->getMark(), 10);
  EXPECT_EQ(marks(stateOf(j)), (std::vector<short>{1, 2, 2, 3, 10}));
}

TEST(StateLayoutTest, PermutedReplicasGiveIdenticalVectors) {
  PairRep r1(3), r2(3);
  short a[3] = {1, 300, 2};
  short b[3] = {2, 1, 300};
  for (int i = 0; i < 3; i++) {
    r1.copies[i]->local->setMark(a[i]);
    r2.copies[i]->local->setMark(b[i]);
  }
  EXPECT_EQ(stateOf(r1), stateOf(r2));
}

TEST(StateLayoutTest, SetStateThenCurrentStateReproducesBytes) {
  PairJoin j(4, true, 1, 0, 0, 0);
  short vec[] = {3, 0, 1, 2, 2, 7};  // A.local, four sorted replicas, shared
  std::vector<unsigned char> in(sizeof vec);
  std::memcpy(in.data(), vec, sizeof vec);
  ASSERT_EQ(j.StateSize(), static_cast<int>(sizeof vec));
  j.SetState(in.data());
  // Replica k holds the k-th smallest replica state.
  EXPECT_EQ(j.rep->copies[0]->local->getMark(), 0);
  EXPECT_EQ(j.rep->copies[3]->local->getMark(), 2);
  EXPECT_EQ(j.A->shared->getMark(), 7);
  EXPECT_EQ(stateOf(j), in);
  EXPECT_TRUE(j.CompareState(in.data(), stateOf(j).data()));
}

TEST(StateLayoutTest, FiringOneReplicaKeepsTheVectorCanonical) {
  // The generator's pattern: load a vector, fire one activity, read the
  // vector. The result must equal the fully sorted arrangement.
  PairRep r(5, 0, 0);
  std::mt19937 rng(12345);
  std::vector<unsigned char> current = stateOf(r);
  for (int step = 0; step < 400; step++) {
    r.SetState(current.data());
    int k = static_cast<int>(rng() % 5);
    PairSAN* c = r.copies[static_cast<std::size_t>(k)];
    if (rng() % 2 && c->inc.Enabled())
      c->inc.Fire();
    else if (c->dec.Enabled())
      c->dec.Fire();
    current = stateOf(r);

    std::vector<std::vector<unsigned char>> replicas;
    for (PairSAN* copy : r.copies) replicas.push_back(stateOf(*copy));
    std::sort(replicas.begin(), replicas.end(), testsupport::bytesBefore);
    std::vector<unsigned char> expected;
    for (auto& s : replicas) expected.insert(expected.end(), s.begin(), s.end());
    auto shared = bytesOf(r.sharedPlace->getMark());
    expected.insert(expected.end(), shared.begin(), shared.end());
    ASSERT_EQ(current, expected) << "step " << step;
  }
}

// ----------------------------------------------------------------------- Rep

TEST(RepTest, ResortExampleTable) {
  struct Row {
    std::vector<unsigned char> in;
    int moved;  // position of the entry moved, -1 for none
    std::vector<unsigned char> out;
  };
  std::vector<Row> rows = {
      {{1, 5, 3}, 2, {1, 3, 5}},       {{7, 2, 9}, 0, {2, 7, 9}},  {{2, 9, 4, 6}, 1, {2, 4, 6, 9}},
      {{2, 4, 1, 6}, 2, {1, 2, 4, 6}}, {{3, 3, 5}, -1, {3, 3, 5}},
  };
  for (const Row& row : rows) {
    std::vector<unsigned char> bytes = row.in;
    std::vector<char*> p, scratch(bytes.size());
    for (auto& b : bytes) p.push_back(reinterpret_cast<char*>(&b));
    bool full = true;
    int moved = Rep::ResortSlices(p.data(), scratch.data(), static_cast<int>(p.size()), 1, &full);
    EXPECT_EQ(moved, row.moved);
    EXPECT_FALSE(full);
    std::vector<unsigned char> out;
    for (char* q : p) out.push_back(static_cast<unsigned char>(*q));
    EXPECT_EQ(out, row.out);
  }
}

TEST(RepTest, ResortFallsBackToAFullStableSort) {
  unsigned char bytes[] = {3, 2, 1, 2, 0};
  std::vector<char*> p, scratch(5);
  for (auto& b : bytes) p.push_back(reinterpret_cast<char*>(&b));
  bool full = false;
  Rep::ResortSlices(p.data(), scratch.data(), 5, 1, &full);
  EXPECT_TRUE(full);
  std::vector<int> out;
  for (char* q : p) out.push_back(static_cast<unsigned char>(*q));
  EXPECT_EQ(out, (std::vector<int>{0, 1, 2, 2, 3}));
  // Equal slices keep their relative order: bytes[1] before bytes[3].
  EXPECT_EQ(p[2], reinterpret_cast<char*>(&bytes[1]));
  EXPECT_EQ(p[3], reinterpret_cast<char*>(&bytes[3]));
}

TEST(RepTest, ResortComparesUnsignedBytes) {
  unsigned char bytes[] = {0x80, 0x7F};
  char* p[] = {reinterpret_cast<char*>(&bytes[0]), reinterpret_cast<char*>(&bytes[1])};
  char* scratch[2];
  Rep::ResortSlices(p, scratch, 2, 1);
  EXPECT_EQ(p[0], reinterpret_cast<char*>(&bytes[1]));
}

TEST(RepTest, TwoPlaceReplicasInEitherOrder) {
  PlainRep r1(2), r2(2);
  ASSERT_EQ(r1.ReplicaStateSize, 4);
  r1.copies[0]->local->setMark(1);
  r1.copies[0]->shared->setMark(2);
  r1.copies[1]->local->setMark(2);
  r1.copies[1]->shared->setMark(1);
  r2.copies[0]->local->setMark(2);
  r2.copies[0]->shared->setMark(1);
  r2.copies[1]->local->setMark(1);
  r2.copies[1]->shared->setMark(2);
  EXPECT_EQ(stateOf(r1), stateOf(r2));
  EXPECT_EQ(marks(stateOf(r1)), (std::vector<short>{1, 2, 2, 1}));
}

TEST(RepTest, ZeroReplicas) {
  PairRep r(0);
  EXPECT_EQ(r.NumSharedStateVariables, 0);
  EXPECT_EQ(r.StateSize(), 0);
  EXPECT_EQ(r.getNumStateVariables(), 0);
  unsigned char buffer[4] = {9, 9, 9, 9};
  r.CurrentState(buffer);
  r.SetState(buffer);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(buffer[3], 9);
  EXPECT_EQ(r.GetNumberOfChildren(), 0);

  // Inside a Join the empty Rep contributes nothing.
  PairJoin j(0, true, 4, 6);
  EXPECT_EQ(marks(stateOf(j)), (std::vector<short>{4, 6}));
}

TEST(RepTest, OneReplicaIsNotSorted) {
  PairRep r(1, 3, 8);
  EXPECT_EQ(r.StateSize(), 4);
  EXPECT_EQ(marks(stateOf(r)), (std::vector<short>{3, 8}));
}

TEST(RepTest, StructureAndNames) {
  PairRep r(3);
  EXPECT_EQ(r.GetModelType(), 3);
  EXPECT_EQ(r.GetNumberOfChildren(), 3);
  EXPECT_EQ(r.GetChild(2), r.copies[2]);
  for (PairSAN* c : r.copies) EXPECT_STREQ(c->Name, "B");
  List<BaseModelClass> models;
  r.listModels("B", &models);
  EXPECT_EQ(models.getNumItems(), 3);
  r.listModels("rep", &models);  // a composer never reports itself
  EXPECT_EQ(models.getNumItems(), 3);
  // Replica state variables: 3 × 2, minus 3 registered, plus 1 shared.
  EXPECT_EQ(r.NumStateVariables, 4);
  // The shared place took copy 0's initial marking.
  EXPECT_TRUE(r.HasLocalState());
}

TEST(RepTest, LocalStateIsTheSharedBlock) {
  PairRep r(2, 0, 5);
  State* s = nullptr;
  r.ConstructLocalState(s);
  r.GetLocalState(s);
  short v = 0;
  std::memcpy(&v, s->GetStatePtr(), 2);
  EXPECT_EQ(v, 5);
  r.copies[1]->shared->setMark(-4);
  r.SetLocalState(s);
  EXPECT_EQ(r.copies[0]->shared->getMark(), 5);
  r.DestructLocalState(s);
}

TEST(RepTest, NegativeReplicaCountEndsTheRun) {
  expectGenError([] { Rep("flash", -1, 0, nullptr); }, "Number of reps for flash must be >= 0.");
}

TEST(RepDeathTest, GetChildOutOfRange) {
  PairRep r(2);
  EXPECT_DEATH(r.GetChild(2), "Rep: Assertion `i < GetNumberOfChildren\\(\\)' failed");
  EXPECT_DEATH(r.GetChild(-1), "Rep: Assertion `i >= 0' failed");
  EXPECT_DEATH(r.CurrentState(nullptr), "Rep: Assertion `new_location' failed");
  std::forward_list<BaseActionClass*> out;
  EXPECT_DEATH(r.GetLocalActions(out), "Assertion `false' failed");
}

// ---------------------------------------------------------------------- Join

TEST(JoinTest, OneChildWithoutSharingIsThatChild) {
  PairSAN a(4, 5);
  TestJoin j({&a}, 0, nullptr);
  j.SetupActions();
  j.Setup();
  EXPECT_EQ(j.GetModelType(), 2);
  EXPECT_EQ(stateOf(j), stateOf(a));
  EXPECT_FALSE(j.HasLocalState());
}

TEST(JoinTest, LocalStateRoundTrip) {
  PairJoin j(2, true, 0, 3);
  ASSERT_TRUE(j.HasLocalState());
  State* s = nullptr;
  j.ConstructLocalState(s);
  j.GetLocalState(s);
  j.sharedPlace->setMark(99);
  j.SetLocalState(s);
  EXPECT_EQ(j.A->shared->getMark(), 0);  // the Rep's marking won the sharing
  State* t = nullptr;
  j.ConstructLocalState(t);
  j.GetLocalState(t);
  EXPECT_EQ(t->compare(*s), 0);
  j.DestructLocalState(s);
  j.DestructLocalState(t);
}

TEST(JoinDeathTest, GetChildOutOfRange) {
  PairJoin j(1, false);
  EXPECT_DEATH(j.GetChild(2), "Join: Assertion `i < GetNumberOfChildren\\(\\)' failed");
  EXPECT_DEATH(j.GetChild(-1), "Join: Assertion `i >= 0' failed");
}

// ---------------------------------------------------------- composer base

TEST(ComposerTest, ActionsAndGroupsAreConcatenatedAndRenumbered) {
  PairJoin j(2, true);
  ASSERT_EQ(j.NumActions, 6);
  ASSERT_EQ(j.NumGroups, 6);
  EXPECT_EQ(j.Actions[0], &j.A->inc);
  EXPECT_EQ(j.Actions[1], &j.A->dec);
  EXPECT_EQ(j.Actions[2], &j.rep->copies[0]->inc);
  EXPECT_EQ(j.Actions[5], &j.rep->copies[1]->dec);
  // After two levels every group's number is its position at the root, and
  // each action's number leads to its own group.
  for (int g = 0; g < j.NumGroups; g++) EXPECT_EQ(j.Groups[g]->GroupId, g);
  for (int a = 0; a < j.NumActions; a++) EXPECT_EQ(j.Groups[j.Actions[a]->GroupId], j.Actions[a]);
  // The Rep's own arrays keep their order; the first group of the second
  // child is numbered by the first child's group count.
  EXPECT_EQ(j.rep->Groups[0], &j.rep->copies[0]->inc);
  EXPECT_EQ(j.rep->copies[0]->inc.GroupId, j.A->NumGroups);

  List<BaseActionClass> actions;
  j.listActions(&actions);
  EXPECT_EQ(actions.getNumItems(), 6);
  List<BaseActionClass> named;
  j.listActions("dec", &named);  // first match of each atomic model
  ASSERT_EQ(named.getNumItems(), 3);
  EXPECT_EQ(named[0], &j.A->dec);
  List<BaseGroupClass> groups;
  j.listGroups(&groups);
  EXPECT_EQ(groups.getNumItems(), 6);
}

TEST(ComposerTest, GeneralSetupCountsStateVariables) {
  PlacesSAN a(5, "a"), b(5, "b");
  const char* names[] = {"s"};
  TestJoin j({&a, &b}, 1, names);
  j.SetupActions();
  Place s("s");
  j.addSharedPtr(&s, "s");
  s.ShareWith(a.owned[2]);
  j.addSharingInfo(a.owned[2], &s, &a);
  s.ShareWith(b.owned[4]);
  j.addSharingInfo(b.owned[4], &s, &b);
  j.Setup();
  EXPECT_EQ(j.NumStateVariables, 5 + 5 - 2 + 1);
  EXPECT_EQ(j.StateSize(), 2 * (4 + 4 + 1));
  EXPECT_EQ(j.CachedStateSize, j.StateSize());
}

TEST(ComposerTest, NoChildrenMeansNoSharedVariables) {
  const char* names[] = {"x", "y"};
  TestJoin j({}, 2, names);
  EXPECT_EQ(j.NumSharedStateVariables, 0);
  EXPECT_TRUE(j.AllChildrenEmpty());
  j.SetupActions();
  j.Setup();
  EXPECT_EQ(j.StateSize(), 0);
  EXPECT_EQ(j.NumStateVariables, 0);
}

TEST(ComposerTest, AllChildrenEmpty) {
  PlacesSAN empty1(0), empty2(0), full(1);
  TestJoin both({&empty1, &empty2}, 0, nullptr);
  EXPECT_TRUE(both.AllChildrenEmpty());
  TestJoin mixed({&empty1, &full}, 0, nullptr);
  EXPECT_FALSE(mixed.AllChildrenEmpty());
}

TEST(ComposerTest, RegisteringTwiceAppendsTwice) {
  PlacesSAN a(2);
  const char* names[] = {"s"};
  TestJoin j({&a}, 1, names);
  Place s("s");
  j.addSharedPtr(&s, "s");
  j.addSharingInfo(a.owned[0], &s, &a);
  j.addSharingInfo(a.owned[0], &s, &a);
  ASSERT_EQ(j.SharedChildVars[0].size(), 2u);
  int links = 0;
  for (SharedStateVarLink* l = j.SharedLinks[0]; l; l = l->Next) {
    EXPECT_EQ(l->StateVar, a.owned[0]);
    EXPECT_EQ(l->Model, &a);
    links++;
  }
  EXPECT_EQ(links, 2);
}

TEST(ComposerTest, ChainsListEveryEquivalentVariableBelow) {
  PairJoin j(2, true);
  SharedStateVarLink* chain = j.getListOfSharedVariables(j.sharedPlace);
  ASSERT_NE(chain, nullptr);
  EXPECT_TRUE(chain->hasStateVar(j.A->shared));
  EXPECT_TRUE(chain->hasStateVar(j.rep->sharedPlace));
  EXPECT_TRUE(chain->hasStateVar(j.rep->copies[1]->shared));
  EXPECT_FALSE(chain->hasStateVar(j.rep->copies[1]->local));
  // The Rep's chain is its own: it does not list the Join's variables.
  SharedStateVarLink* inner = j.getListOfSharedVariables(j.rep->sharedPlace);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner, j.rep->SharedLinks[0]);
  EXPECT_FALSE(inner->hasStateVar(j.A->shared));

  // Asked at each level, the main variable is that level's own.
  BaseStateVariableClass* deep = j.rep->copies[1]->shared;
  EXPECT_EQ(j.getMainSharedVariable(deep), j.sharedPlace);
  EXPECT_EQ(j.rep->getMainSharedVariable(deep), j.rep->sharedPlace);
  EXPECT_EQ(j.rep->getMainSharedVariable(j.A->shared), nullptr);
  EXPECT_EQ(j.getMainSharedVariable(j.A->local), nullptr);
  EXPECT_EQ(j.GetSharedStateVariables()[0], j.sharedPlace);
}

TEST(ComposerTest, LinkOperations) {
  Place x("x"), y("y"), z("z");
  SharedStateVarLink* a = new SharedStateVarLink(&x);
  SharedStateVarLink* b = new SharedStateVarLink(&y, nullptr);
  a->addStateVarLink(b);
  a->addStateVarLink(new SharedStateVarLink(&z));
  EXPECT_TRUE(a->hasStateVar(&z));
  EXPECT_FALSE(b->hasStateVar(&x));
  testing::internal::CaptureStdout();
  b->printAllStateVariables();
  std::string out = testing::internal::GetCapturedStdout();
  std::ostringstream expected;
  expected << "      This link holds state var y at address " << static_cast<const void*>(&y) << "\n"
           << "      This link holds state var z at address " << static_cast<const void*>(&z) << "\n";
  EXPECT_EQ(out, expected.str());
  SharedStateVarLink::clearStateVarList(a);
}

TEST(ComposerTest, Hash) {
  EXPECT_EQ(BaseComposerClass::Hash("ab", 1000), 202);
  EXPECT_EQ(BaseComposerClass::Hash("", 7), 0);
  // Wrap-around in 32 bits, result taken unsigned.
  std::uint32_t h = 0;
  for (char c : std::string("abcdefghij")) h = h * 32u + static_cast<std::uint32_t>(c);
  EXPECT_EQ(BaseComposerClass::Hash("abcdefghij", 1000003), static_cast<int>(h % 1000003u));
}

TEST(ComposerTest, PrintState) {
  PairJoin j(1, true, 1, 2, 3, 4);
  std::ostringstream out;
  j.printState(&out);
  std::ostringstream expected;
  expected << "Model: (" << j.ModelId << ")join\n"
           << "Model: (" << j.A->ModelId << ")A\n  local = 1\n  shared = 4\n"
           << "Model: (" << j.rep->ModelId << ")rep\n"
           << "Model: (" << j.rep->copies[0]->ModelId << ")B\n  local = 3\n  shared = 4\n"
           << "Shared Variables:\n"
           << "Shared Variables:\n  shared = 4\n";
  EXPECT_EQ(out.str(), expected.str());

  testing::internal::CaptureStdout();
  j.printAllSharedVariables();
  std::string all = testing::internal::GetCapturedStdout();
  EXPECT_EQ(all.rfind("Shared Variables for composer node join\n  Shared Variable 0 has name shared", 0), 0u);
  EXPECT_NE(all.find("    And here is its list of equivalent variables:\n      This link holds state var shared"),
            std::string::npos);
}

TEST(ComposerDeathTest, SharingAssertions) {
  PlacesSAN a(2);
  const char* names[] = {"s", "t"};
  TestJoin j({&a}, 2, names);
  Place s("s"), t("t"), u("u");
  EXPECT_DEATH(j.addSharedPtr(&t, "t"),
               "BaseComposerClass: Assertion `0 == strcmp\\(VarName, "
               "SharedStateNames\\[AddedSharedPtrs\\]\\)' failed");
  EXPECT_DEATH(j.addSharingInfo(a.owned[0], &s, &a), "BaseComposerClass: Assertion `VarIndex != -1' failed");
  j.addSharedPtr(&s, "s");
  j.addSharedPtr(&t, "t");
  EXPECT_DEATH(j.addSharedPtr(&u, "u"),
               "BaseComposerClass: Assertion `AddedSharedPtrs < NumSharedStateVariables' failed");
  EXPECT_DEATH(j.addSharingInfo(a.owned[0], &u, &a), "BaseComposerClass: Assertion `VarIndex != -1' failed");
  EXPECT_DEATH(BaseComposerClass::Hash("ab", 0), "Assertion `n > 0' failed");
}

// ------------------------------------------------------------- kept state

namespace {

// The state of a PairRep or PairJoin computed from the atomic models and the
// shared blocks alone, without any state the composers keep.
std::vector<unsigned char> replicaRun(PairRep& r) {
  std::vector<std::vector<unsigned char>> replicas;
  for (PairSAN* copy : r.copies) replicas.push_back(stateOf(*copy));
  std::sort(replicas.begin(), replicas.end(), testsupport::bytesBefore);
  std::vector<unsigned char> run;
  for (auto& s : replicas) run.insert(run.end(), s.begin(), s.end());
  std::vector<unsigned char> shared(static_cast<std::size_t>(r.SharedStateSize()));
  if (!shared.empty()) r.CurrentSharedState(shared.data());
  run.insert(run.end(), shared.begin(), shared.end());
  return run;
}

std::vector<unsigned char> expectedState(PairJoin& j) {
  std::vector<unsigned char> v = stateOf(*j.A);
  std::vector<unsigned char> run = replicaRun(*j.rep);
  v.insert(v.end(), run.begin(), run.end());
  std::vector<unsigned char> shared(static_cast<std::size_t>(j.SharedStateSize()));
  if (!shared.empty()) j.CurrentSharedState(shared.data());
  v.insert(v.end(), shared.begin(), shared.end());
  return v;
}

// Drives `root` the way exploration does (set a known vector, fire, report,
// read back), with the odd unsorted vector, several firings before a read
// and unreported changes made known with ForgetCachedState; every read must
// equal `expected()`, and after every SetState replica i must hold slice i.
template <class Root, class Expected>
void exploreAtRandom(Root& root, PairRep& rep, std::size_t repOffset, Expected expected, unsigned seed) {
  std::mt19937 rng(seed);
  const std::size_t L = static_cast<std::size_t>(rep.ReplicaStateSize);
  const std::size_t n = rep.copies.size();
  std::vector<std::vector<unsigned char>> seen{stateOf(root)};
  ASSERT_EQ(seen[0], expected());
  for (int step = 0; step < 1500; step++) {
    std::vector<unsigned char> from = seen[rng() % seen.size()];
    if (rng() % 8 == 0) {  // a vector whose replicas are not in order
      std::vector<std::vector<unsigned char>> slices;
      for (std::size_t i = 0; i < n; i++)
        slices.emplace_back(from.begin() + static_cast<long>(repOffset + i * L),
                            from.begin() + static_cast<long>(repOffset + (i + 1) * L));
      std::shuffle(slices.begin(), slices.end(), rng);
      for (std::size_t i = 0; i < n; i++)
        std::copy(slices[i].begin(), slices[i].end(), from.begin() + static_cast<long>(repOffset + i * L));
    }
    root.SetState(from.data());
    for (std::size_t i = 0; i < n; i++)
      ASSERT_TRUE(std::equal(from.begin() + static_cast<long>(repOffset + i * L),
                             from.begin() + static_cast<long>(repOffset + (i + 1) * L),
                             stateOf(*rep.copies[i]).begin()))
          << "step " << step << " replica " << i;
    const int firings = 1 + static_cast<int>(rng() % 3);
    for (int f = 0; f < firings; f++) {
      BaseActionClass* a = root.Actions[rng() % static_cast<unsigned>(root.NumActions)];
      if (!a->Enabled()) continue;
      a->Fire();
      if (rng() % 50 == 0) {
        root.ForgetCachedState();  // changed behind the model's back, then made known
      } else {
        root.ReportFiring(a);
      }
    }
    if (rng() % 40 == 0) {  // a replica set directly through its local state
      PairSAN* copy = rep.copies[rng() % n];
      State* s = nullptr;
      copy->ConstructLocalState(s);
      copy->local->setMark(static_cast<short>(rng() % 4));
      copy->GetLocalState(s);
      copy->local->setMark(0);
      copy->SetLocalState(s);
      copy->DestructLocalState(s);
    }
    std::vector<unsigned char> read = stateOf(root);
    ASSERT_EQ(read, expected()) << "step " << step;
    if (std::find(seen.begin(), seen.end(), read) == seen.end()) seen.push_back(read);
  }
}

}  // namespace

TEST(KeptStateTest, RandomFiringsReadTheSameAsAFullRead) {
  for (bool shareAtJoin : {false, true}) {
    SCOPED_TRACE(shareAtJoin ? "shared at the Join" : "shared at the Rep");
    PairJoin j(12, shareAtJoin, 1, 0, 0, 0);
    const std::size_t repOffset = static_cast<std::size_t>(j.ChildStateSizes[0]);
    exploreAtRandom(
        j, *j.rep, repOffset, [&] { return expectedState(j); }, shareAtJoin ? 7u : 8u);
  }
  PairRep r(9);
  exploreAtRandom(
      r, r, 0, [&] { return replicaRun(r); }, 9u);
}

TEST(KeptStateTest, AFiringOutsideTheTreeForgetsTheKeptState) {
  PairJoin j(3, true);
  PairSAN stranger;
  j.ReportFiring(&j.A->inc);  // reports begin
  std::vector<unsigned char> before = stateOf(j);
  j.rep->copies[1]->local->setMark(2);  // not reported ...
  j.ReportFiring(&stranger.inc);        // ... but an action of another model is
  EXPECT_NE(stateOf(j), before);
  EXPECT_EQ(stateOf(j), expectedState(j));
  j.rep->copies[2]->local->setMark(3);
  j.ReportFiring(nullptr);
  EXPECT_EQ(stateOf(j), expectedState(j));
}
