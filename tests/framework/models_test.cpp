// Model base, local states and the atomic SAN model.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "BaseModelClass.h"
#include "ByteState.h"
#include "Place.h"
#include "SANModel.h"
#include "TestModels.h"

using testmodels::PairSAN;

namespace {

// The smallest concrete model: every pure operation answers trivially, so
// the base class's own behaviour can be observed.
class BareModel : public BaseModelClass {
 public:
  void listModels(const char*, List<BaseModelClass>*) override {}
  void CurrentState(void*) override {}
  void listActions(List<BaseActionClass>*) override {}
  void listGroups(List<BaseGroupClass>*) override {}
  void SetState(void*) override {}
  int StateSize() override { return 0; }
  bool CompareState(void*, void*) override { return true; }
  void listActions(const char*, List<BaseActionClass>*) override {}
  void listSVs(const char*, const char*, List<BaseStateVariableClass>*, List<BaseModelClass>*) override {}
};

// A bare byte state of a given size, for the byte-level operations.
class RawState : public ByteState {
 public:
  explicit RawState(int size) : ByteState(size, "SANModel") {}
  void SetState(BaseModelClass const*) override {}
  void GetState(BaseModelClass const*) override {}
};

std::vector<short> marks(const std::vector<char>& bytes) {
  std::vector<short> out(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::vector<char> stateOf(BaseModelClass& m) {
  std::vector<char> v(static_cast<std::size_t>(m.StateSize()));
  m.CurrentState(v.data());
  return v;
}

}  // namespace

// ------------------------------------------------------------ BaseModelClass

TEST(BaseModelTest, IdsWaitForTheRewardModel) {
  BareModel a;
  PairSAN b;
  EXPECT_EQ(a.ModelId, 0);
  EXPECT_EQ(b.ModelId, 0);
  EXPECT_EQ(a.ParentId, 0);
  a.SetParentId(77);
  EXPECT_EQ(a.ParentId, 77);
}

TEST(BaseModelTest, DefineNameKeepsOnlyTheLastName) {
  BareModel m;
  EXPECT_EQ(m.Name, nullptr);
  std::string first = "first";
  m.DefineName(first.c_str());
  first[0] = 'X';  // the model holds its own copy
  EXPECT_STREQ(m.Name, "first");
  m.DefineName("second");
  EXPECT_STREQ(m.Name, "second");
}

TEST(BaseModelTest, BaseAnswersAndArcs) {
  BareModel m;
  EXPECT_EQ(m.GetLocalStateVariables(&std::cout), nullptr);
  EXPECT_EQ(m.GetSharedStateVariables(), nullptr);
  EXPECT_EQ(m.getMainSharedVariable(nullptr), nullptr);
  EXPECT_EQ(m.getListOfSharedVariables(nullptr), nullptr);
  std::ostringstream out;
  m.printState(&out);
  EXPECT_EQ(out.str(), "");

  Place p("p");
  BaseActionClass a;
  m.AddAffectArc(&p, &a);
  m.AddEnableArc(&p, &a);
  EXPECT_TRUE(p.getAffectingActions()->contains(&a));
  EXPECT_TRUE(p.getEnabledActions()->contains(&a));
  EXPECT_TRUE(a.AffectedSVs.contains(&p));
  EXPECT_TRUE(a.EnablingSVs.contains(&p));
}

TEST(BaseModelDeathTest, UnsupportedOperationsReportFalse) {
  BareModel m;
  std::forward_list<BaseActionClass*> list;
  State* s = nullptr;
  const char* report = "BaseModelClass: Assertion `false' failed";
  EXPECT_DEATH(m.GetModelType(), report);
  EXPECT_DEATH(m.GetNumberOfChildren(), report);
  EXPECT_DEATH(m.GetChild(0), report);
  EXPECT_DEATH(m.GetLocalActions(list), report);
  EXPECT_DEATH(m.GetGlobalActions(list), report);
  EXPECT_DEATH(m.HasLocalState(), report);
  EXPECT_DEATH(m.GetLocalState(nullptr), report);
  EXPECT_DEATH(m.SetLocalState(nullptr), report);
  EXPECT_DEATH(m.ConstructLocalState(s), report);
  EXPECT_DEATH(m.DestructLocalState(nullptr), report);
}

// --------------------------------------------------------------- LocalState

TEST(LocalStateTest, HashWeightsBytesByPrimes) {
  RawState zeros(40);
  std::memset(zeros.data, 0, 40);
  EXPECT_EQ(zeros.hash(), 0);

  RawState minusOne(1);
  minusOne.data[0] = static_cast<char>(-1);
  EXPECT_EQ(minusOne.hash(), -2);

  RawState wide(257);
  std::memset(wide.data, 0, 257);
  wide.data[256] = 1;  // index 256 reuses the weight of index 0
  EXPECT_EQ(wide.hash(), 2);
  wide.data[1] = 2;
  wide.data[255] = 1;  // weights 3 and 1619
  EXPECT_EQ(wide.hash(), 2 + 6 + 1619);

  RawState empty(0);
  EXPECT_EQ(empty.hash(), 0);
}

TEST(LocalStateTest, CompareIsUnsignedAndThreeWay) {
  RawState a(2), b(2);
  a.data[0] = static_cast<char>(0x80);
  a.data[1] = 0;
  b.data[0] = 0x7F;
  b.data[1] = 0x7F;
  EXPECT_EQ(a.compare(b), 1);
  EXPECT_EQ(b.compare(a), -1);
  b = a;
  EXPECT_EQ(a.compare(b), 0);
  EXPECT_EQ(std::memcmp(a.data, b.data, 2), 0);
}

TEST(LocalStateTest, SelfAssignmentKeepsBytes) {
  RawState a(3);
  std::memcpy(a.data, "xyz", 3);
  State& self = a;
  self = static_cast<State&>(a);
  EXPECT_EQ(std::memcmp(a.data, "xyz", 3), 0);
  EXPECT_EQ(a.GetStatePtr(), a.data);
}

TEST(LocalStateDeathTest, AssignmentBetweenSizesIsRefused) {
  RawState a(2), b(4);
  EXPECT_DEATH(static_cast<State&>(a) = static_cast<State&>(b), "SANModel: Assertion `size == _localS->size' failed");
}

TEST(LocalStateTest, FileRoundTripIsSizePrefixed) {
  RawState out(5);
  std::memcpy(out.data, "\x01\x80\xff\x00\x7f", 5);
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(out.fwriteState(f));
  EXPECT_EQ(std::ftell(f), 4 + 5);
  std::rewind(f);
  int prefix = 0;
  ASSERT_EQ(std::fread(&prefix, 4, 1, f), 1u);
  EXPECT_EQ(prefix, 5);
  std::rewind(f);
  RawState in(5);
  std::memset(in.data, 0, 5);
  EXPECT_FALSE(in.freadState(f));
  EXPECT_EQ(std::memcmp(in.data, out.data, 5), 0);
  // Nothing left: a further read is short.
  EXPECT_TRUE(in.freadState(f));
  std::fclose(f);
}

TEST(LocalStateTest, RecordLargerThanBufferIsRefused) {
  RawState big(6);
  std::memset(big.data, 9, 6);
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  big.fwriteState(f);
  std::rewind(f);
  RawState small(2);
  small.data[0] = 1;
  small.data[1] = 2;
  EXPECT_TRUE(small.freadState(f));
  EXPECT_EQ(small.data[0], 1);
  EXPECT_EQ(small.data[1], 2);
  std::fclose(f);
}

TEST(LocalStateTest, PrintWritesSignedBytes) {
  RawState s(3);
  s.data[0] = 1;
  s.data[1] = static_cast<char>(-3);
  s.data[2] = 100;
  testing::internal::CaptureStdout();
  s.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "    1   -3  100\n");
}

// ------------------------------------------------------------------ SANModel

TEST(SANModelTest, InitializeCopiesArraysAndSetsOwners) {
  PairSAN m(2, 5);
  EXPECT_STREQ(m.Name, "pair");
  EXPECT_EQ(m.NumStateVariables, 2);
  EXPECT_EQ(m.NumSharedStateVariables, 0);
  EXPECT_EQ(m.NumReadOnlyPlaces, 0);
  EXPECT_EQ(m.NumActions, 2);
  EXPECT_EQ(m.NumGroups, 2);
  EXPECT_EQ(m.Places[0], m.local);
  EXPECT_EQ(m.Places[1], m.shared);
  EXPECT_EQ(m.Actions[0], &m.inc);
  EXPECT_EQ(m.Actions[1], &m.dec);
  EXPECT_EQ(m.inc.OwningModel, &m);
  EXPECT_EQ(m.dec.OwningModel, &m);
  EXPECT_EQ(m.GetModelType(), 1);
  EXPECT_EQ(m.GetNumberOfChildren(), 0);
  EXPECT_EQ(m.GetLocalStateVariables(nullptr), m.Places);

  Place* good[] = {m.local, m.shared};
  Place* bad[] = {m.shared, m.local};
  EXPECT_TRUE(checkLocalSVs(&m, good));
  EXPECT_FALSE(checkLocalSVs(&m, bad));
  Activity* acts[] = {&m.inc, &m.dec};
  Activity* swapped[] = {&m.dec, &m.inc};
  EXPECT_TRUE(checkLocalActions(&m, acts));
  EXPECT_FALSE(checkLocalActions(&m, swapped));
  EXPECT_TRUE(checkReadOnlyPlaces(&m, nullptr));  // no read-only places
}

TEST(SANModelTest, StateIsTheStoredPlacesInOrder) {
  PairSAN m(2, -5);
  ASSERT_EQ(m.StateSize(), 4);
  EXPECT_EQ(marks(stateOf(m)), (std::vector<short>{2, -5}));

  short in[2] = {7, 300};
  m.SetState(in);
  EXPECT_EQ(m.local->getMark(), 7);
  EXPECT_EQ(m.shared->getMark(), 300);
  // The activities see the loaded marking through their cached pointers.
  EXPECT_EQ(*m.inc.local_Mark, 7);
  m.dec.Fire();
  EXPECT_EQ(marks(stateOf(m)), (std::vector<short>{6, 300}));
}

TEST(SANModelTest, CompareStateLooksAtStateSizeBytesOnly) {
  PairSAN m;
  char a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  char b[8] = {1, 2, 3, 4, 0, 0, 0, 0};
  EXPECT_TRUE(m.CompareState(a, b));
  b[3] = 9;
  EXPECT_FALSE(m.CompareState(a, b));
}

TEST(SANModelTest, SharedPlacesLeaveTheState) {
  PairSAN m(1, 2);
  Place outside("outside");
  outside.ShareWith(m.shared);  // the model's place hands its cell over
  m.PrepareStateLayout();
  EXPECT_EQ(m.StateSize(), 2);
  EXPECT_EQ(marks(stateOf(m)), (std::vector<short>{1}));
  EXPECT_TRUE(m.HasLocalState());

  Place outside2("outside2");
  outside2.ShareWith(m.local);
  m.PrepareStateLayout();
  EXPECT_EQ(m.StateSize(), 0);
  EXPECT_FALSE(m.HasLocalState());
  char untouched[2] = {42, 43};
  m.CurrentState(untouched);
  EXPECT_EQ(untouched[0], 42);
  EXPECT_EQ(untouched[1], 43);
}

TEST(SANModelTest, ReadOnlyPlacesCountButNeverStore) {
  Place r1("r1", 3), r2("r2", 4);
  BaseStateVariableClass* ro[] = {&r1, &r2};
  SANModel m("ro", 0, nullptr, 2, ro, 0, nullptr, 0, nullptr);
  EXPECT_EQ(m.NumStateVariables, 2);
  EXPECT_EQ(m.StateSize(), 0);
  EXPECT_TRUE(checkReadOnlyPlaces(&m, ro));
  // The variable array covers NumStateVariables entries (places first).
  BaseStateVariableClass** all = m.GetLocalStateVariables(nullptr);
  EXPECT_EQ(all[0], &r1);
  EXPECT_EQ(all[1], &r2);

  List<BaseStateVariableClass> svs;
  List<BaseModelClass> models;
  m.listSVs("ro", "r2", &svs, &models);
  ASSERT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs[0], &r2);
  EXPECT_EQ(models[0], &m);
}

TEST(SANModelTest, NameQueries) {
  PairSAN m;
  List<BaseModelClass> models;
  m.listModels("pair", &models);
  m.listModels("other", &models);
  ASSERT_EQ(models.getNumItems(), 1);
  EXPECT_EQ(models[0], &m);

  List<BaseStateVariableClass> svs;
  List<BaseModelClass> owners;
  m.listSVs("other", "local", &svs, &owners);
  EXPECT_EQ(svs.getNumItems(), 0);
  m.listSVs("pair", "shared", &svs, &owners);
  ASSERT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs[0], m.shared);
  EXPECT_EQ(owners[0], &m);

  // Two activities of one name: only the first is reported.
  m.dec.defineName("inc");
  List<BaseActionClass> found;
  m.listActions("inc", &found);
  ASSERT_EQ(found.getNumItems(), 1);
  EXPECT_EQ(found[0], &m.inc);

  List<BaseActionClass> all;
  m.listActions(&all);
  ASSERT_EQ(all.getNumItems(), 2);
  EXPECT_EQ(all[1], &m.dec);
  List<BaseGroupClass> groups;
  m.listGroups(&groups);
  ASSERT_EQ(groups.getNumItems(), 2);
  EXPECT_EQ(groups[0], &m.inc);
}

TEST(SANModelTest, GlobalActionsTouchPlacesHeldElsewhere) {
  PairSAN m;
  std::forward_list<BaseActionClass*> global, local;
  m.GetGlobalActions(global);
  EXPECT_TRUE(global.empty());
  m.GetLocalActions(local);
  EXPECT_EQ(std::distance(local.begin(), local.end()), 2);

  Place outside("outside");
  outside.ShareWith(m.shared);
  global.clear();
  local.clear();
  m.GetGlobalActions(global);
  m.GetLocalActions(local);
  ASSERT_EQ(std::distance(global.begin(), global.end()), 1);
  EXPECT_EQ(global.front(), &m.inc);
  ASSERT_EQ(std::distance(local.begin(), local.end()), 1);
  EXPECT_EQ(local.front(), &m.dec);
}

TEST(SANModelTest, LocalStateCoversTheWholeState) {
  PairSAN m(3, 4);
  State* s = nullptr;
  ASSERT_TRUE(m.HasLocalState());
  m.ConstructLocalState(s);
  ASSERT_NE(s, nullptr);
  m.GetLocalState(s);
  EXPECT_EQ(std::memcmp(s->GetStatePtr(), stateOf(m).data(), 4), 0);

  m.local->setMark(0);
  m.shared->setMark(0);
  m.SetLocalState(s);
  EXPECT_EQ(m.local->getMark(), 3);
  EXPECT_EQ(m.shared->getMark(), 4);

  // Written and read back through a file into a state of the same model.
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(s->fwriteState(f));
  std::rewind(f);
  State* t = nullptr;
  m.ConstructLocalState(t);
  EXPECT_FALSE(t->freadState(f));
  EXPECT_EQ(t->compare(*s), 0);
  EXPECT_EQ(t->hash(), s->hash());
  std::fclose(f);

  SANModel::LocalState copy(&m);
  copy = *static_cast<SANModel::LocalState*>(s);
  EXPECT_EQ(copy.compare(*s), 0);
  m.DestructLocalState(t);
  m.DestructLocalState(s);
  m.DestructLocalState(nullptr);
}

TEST(SANModelTest, PrintStateAndInfo) {
  PairSAN m(1, 2);
  std::ostringstream out;
  m.printState(&out);
  EXPECT_EQ(out.str(), "Model: (" + std::to_string(m.ModelId) + ")pair\n  local = 1\n  shared = 2\n");

  testing::internal::CaptureStdout();
  m.PrintSANModelInfo();
  std::string info = testing::internal::GetCapturedStdout();
  EXPECT_EQ(info,
            "SANModelInfo\n"
            "Number of Actions = 2, Number of Groups = 2, Number of State Variables = 2\n"
            "ActionName = inc\nGroup Id = 0\nDistributionType = 1\nExecutionPolicy = 1\n"
            "Number of affected state variables = 2\nNumber of enabling state variables = 1\n"
            "ActionName = dec\nGroup Id = 1\nDistributionType = 1\nExecutionPolicy = 1\n"
            "Number of affected state variables = 1\nNumber of enabling state variables = 1\n"
            "\n"
            "Group Name = inc \nGroup Name = dec \n"
            "Place Name = local\nPlace Name = shared\n");
}

TEST(SANModelDeathTest, GetChildIsUnsupported) {
  PairSAN m;
  EXPECT_DEATH(m.GetChild(0), "BaseModelClass: Assertion `false' failed");
}

TEST(SANModelTest, FlagModelActivitiesFollowTheirMarkings) {
  testmodels::FlagSAN m;
  EXPECT_EQ(m.StateSize(), 6);
  EXPECT_TRUE(m.inc.Enabled());
  EXPECT_FALSE(m.raise.Enabled());
  EXPECT_FALSE(m.reset.Enabled());
  m.inc.Fire();
  m.inc.Fire();
  EXPECT_FALSE(m.inc.Enabled());
  EXPECT_TRUE(m.raise.Enabled());
  EXPECT_EQ(m.raise.DistributionType, DIST_INSTANTANEOUS);
  m.raise.Fire();
  EXPECT_TRUE(m.reset.Enabled());
  m.reset.Fire();
  EXPECT_EQ(marks(stateOf(m)), (std::vector<short>{0, 2, 0}));
  EXPECT_EQ(m.raise.GroupId, 2);
  EXPECT_EQ(m.Groups[2], &m.raise);
}
