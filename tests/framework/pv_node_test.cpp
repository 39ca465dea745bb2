// Performance-variable nodes, workers and their small value classes, tested
// on their own (the reward-model wrapper drives them in reward_model_test).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ExpectGenError.h"
#include "RewardTestModels.h"
#include "TestSupport.h"

using namespace rewardtest;
using testing::HasSubstr;

namespace {

double zero(const std::vector<BaseModelClass*>&) { return 0.0; }

TEST(PerformanceVariableNode, IdComesFromTheRewardModelsList) {
  // A node outside a reward model's list has no place in the actions'
  // per-node data.
  TestNode a("a", {1.0}, 0, zero);
  EXPECT_EQ(a.PVId, -1);
}

TEST(PerformanceVariableNode, InitializeCopiesNameAndTimePoints) {
  char name[] = "reliability";
  double start[] = {30.0, 180.0, 365.0};
  double stop[] = {31.0, 200.0, 365.0};
  TestNode node("x", {}, 0, zero);
  node.Initialize(name, 0, 3, start, stop, 1, 0, 1, 1);
  std::strcpy(name, "changed");
  start[1] = -5;
  EXPECT_STREQ(node.Name, "reliability");
  EXPECT_EQ(node.GetRewardType(), Instant_Of_Time);
  EXPECT_EQ(node.GetNumTimePoints(), 3);
  EXPECT_DOUBLE_EQ(node.GetStartTime(1), 180.0);
  EXPECT_DOUBLE_EQ(node.GetStopTime(1), 200.0);
  EXPECT_DOUBLE_EQ(node.TimeStart, 180.0);
  EXPECT_DOUBLE_EQ(node.TimeStop, 200.0);
  EXPECT_DOUBLE_EQ(node.TimeLength, 20.0);
  EXPECT_DOUBLE_EQ(node.RateReward, 0.0);
  EXPECT_DOUBLE_EQ(node.ImpulseReward, 0.0);
}

TEST(PerformanceVariableNode, TimeIndexOutsideTheTimePointsLeavesTimesUnset) {
  TestNode node("x", {5.0, 6.0}, 7, zero);
  EXPECT_DOUBLE_EQ(node.TimeStart, -1.0);
  EXPECT_DOUBLE_EQ(node.TimeStop, -1.0);
  testing::internal::CaptureStderr();
  EXPECT_DOUBLE_EQ(node.GetStartTime(2), 0.0);
  EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Array out of bounds"));
}

TEST(PerformanceVariableNode, ModelDependenciesAreKeptOnce) {
  TestNode node("x", {1.0}, 0, zero, {}, {}, 0);
  node.AddModelDependency("A");
  node.AddModelDependency("A");
  node.AddVariableDependency("local", "A");
  node.AddVariableDependency("shared", "B");
  EXPECT_EQ(node.NumModelDeps, 2);
  EXPECT_EQ(node.NumVarModelPairs, 2);
  EXPECT_EQ(node.VarModelPairs[1].VarName, "shared");
  EXPECT_EQ(node.VarModelPairs[1].ModelName, "B");
  EXPECT_TRUE(node.IsDependentOnModel("B"));
  EXPECT_FALSE(node.IsDependentOnModel("C"));
}

TEST(PerformanceVariableNode, DependenciesBeyondTheDeclaredCapacityGrowTheTables) {
  TestNode node("x", {1.0}, 0, zero);  // capacities 0
  std::vector<std::string> names;
  for (int i = 0; i < 40; i++) names.push_back(testsupport::numbered("m", i));
  for (const std::string& n : names) node.AddVariableDependency("v", n.c_str());
  EXPECT_EQ(node.NumVarModelPairs, 40);
  EXPECT_EQ(node.NumModelDeps, 40);
  EXPECT_EQ(node.ModelDepNames[39], "m39");
}

TEST(PerformanceVariableNode, ImpulsesAreRegisteredOnceWithTheirDependencies) {
  TestNode node("x", {1.0}, 0, zero, {}, {}, 1);
  CaseImpulse first(2, nullptr);
  CaseImpulse second(1, nullptr);
  node.AddImpulse("fail_case2", "B", &first);
  node.AddImpulse("fail_case1", "B", &first);  // same impulse: pair replaced
  node.AddImpulseModelDependency("C", &first);
  node.AddImpulseModelDependency("C", &first);
  node.AddImpulse("repair", "C", &second);  // beyond the declared capacity of 1
  EXPECT_EQ(node.NumImpulses, 2);
  EXPECT_EQ(node.GetImpulseNumber(&first), 0);
  EXPECT_EQ(node.GetImpulseNumber(&second), 1);
  EXPECT_EQ(node.ImpulseActions[0].ActionName, "fail_case1");
  EXPECT_EQ(node.ImpulseActions[0].ModelName, "B");
  EXPECT_EQ(node.ImpulseDepCounts[0], 2);
  EXPECT_TRUE(node.IsDependentOnImpulseModel("C", 0));
  EXPECT_FALSE(node.IsDependentOnImpulseModel("C", 7));
  node.AddImpulseModelDependency("C", 1);
  node.AddImpulseModelDependency("C", 1);  // by position: no duplicate check
  EXPECT_EQ(node.ImpulseDepCounts[1], 3);
  node.AddImpulseActionDependency("fail_case2", "A", 1);
  EXPECT_EQ(node.ImpulseActions[1].ActionName, "fail_case2");
  EXPECT_EQ(node.ImpulseActions[1].ModelName, "A");
  CaseImpulse unknown(1, nullptr);
  EXPECT_EQ(node.GetImpulseNumber(&unknown), -1);
}

TEST(PerformanceVariableNode, DependencyOnAnUnregisteredImpulseFailsTheRun) {
  const char* text = "Model Dependency requested on undefined impulse.  Check code generator.  Error code GP0001.";
  TestNode node("x", {1.0}, 0, zero);
  CaseImpulse unknown(1, nullptr);
  expectGenError([&] { node.AddImpulseModelDependency("B", &unknown); }, text);
  expectGenError([&] { node.AddImpulseModelDependency("B", 0); }, text);
}

TEST(PerformanceVariableNode, NodeWithoutModelDependenciesHasNoWorkers) {
  PairSAN model;
  TestNode node("x", {1.0}, 0, [](const std::vector<BaseModelClass*>&) { return 5.0; });
  node.FixReferences(&model);
  EXPECT_EQ(node.TheModelPtr, &model);
  EXPECT_EQ(node.NumWorkers, 0);
  node.CreateModelGroupList();
  node.CreateWorkerList();
  node.FixWorkerList();
  node.CurrentReward(&model.inc);
  EXPECT_DOUBLE_EQ(node.RateReward, 0.0);
  EXPECT_DOUBLE_EQ(node.ImpulseReward, 0.0);
}

TEST(PerformanceVariableNode, WorkersAreNamedAndBoundBySetUp) {
  PairSAN model;
  model.DefineName("A");
  model.local->setMark(4);
  TestNode node("count", {2.0, 3.0}, 1, zero, {{"local", "A"}});
  node.typedWorkers = true;
  node.FixReferences(&model);
  ASSERT_EQ(node.NumWorkers, 1);
  node.CreateModelGroupList();
  node.CreateWorkerList();
  node.FixWorkerList();
  auto* w = static_cast<PairWorker*>(node.Workers[0]);
  EXPECT_EQ(w->pair, &model);
  EXPECT_EQ(w->Name, "count");
  EXPECT_EQ(w->Index, 0);
  EXPECT_EQ(w->PVId, node.PVId);
  EXPECT_DOUBLE_EQ(w->TimeStart, 3.0);
  EXPECT_TRUE(node.ModelGroups[0].IsDependentOnModel(&model));
  node.CurrentReward(&model.dec);
  EXPECT_DOUBLE_EQ(node.RateReward, 4.0);
  EXPECT_DOUBLE_EQ(node.RateRewardSquared, 16.0);
  node.DefineName("renamed");
  EXPECT_EQ(w->Name, "renamed");
  EXPECT_STREQ(node.Name, "count");
  node.Reset();
  EXPECT_DOUBLE_EQ(node.RateReward, 0.0);
  EXPECT_DOUBLE_EQ(w->Value, 0.0);
}

TEST(PerformanceVariableNode, DependencyWithoutInstanceFailsTheRun) {
  PlainJoin join("join", {new PairSAN()});
  TestNode node("x", {1.0}, 0, zero, {}, {"nothere"});
  node.FixReferences(&join);
  expectGenError([&] { node.CreateModelGroupList(); },
                 "Number of nothere's was 0.  Model cannot be created.\nModel Name was: join\n.");
}

TEST(PerformanceVariableNode, SlotOfAnotherModelClassFailsTheRun) {
  CaseSAN model;
  model.DefineName("A");
  TestNode node("x", {1.0}, 0, zero, {{"ok", "A"}});
  node.typedWorkers = true;  // PairSAN slots
  node.FixReferences(&model);
  node.CreateModelGroupList();
  node.CreateWorkerList();
  expectGenError([&] { node.FixWorkerList(); },
                 "Reward variable x: model A is not of the class its reward function expects.");
}

class SyncGroup : public BaseGroupClass {
 public:
  bool isSync() override { return true; }
};

TEST(PerformanceVariableNode, SynchronisedGroupIsImpulseAffectedThroughItsMembers) {
  CaseSAN model;
  TestNode node("x", {1.0}, 0, zero);
  node.PVId = 3;
  SyncGroup sync;
  sync.initialize(2, "sync");
  sync.appendGroup(&model.repair);
  sync.appendGroup(&model.fail_case2);
  EXPECT_FALSE(node.ImpulseAffectedBy(&sync));
  model.fail_case2.AffectedNodesByImpulseReward.insert(3);
  EXPECT_TRUE(node.ImpulseAffectedBy(&model.fail_case2));
  EXPECT_TRUE(node.ImpulseAffectedBy(&sync));
  model.fail_case2.AffectedNodesByImpulseReward.NoMoreModifications();  // frozen form too
  EXPECT_TRUE(node.ImpulseAffectedBy(&sync));
  EXPECT_FALSE(node.ImpulseAffectedBy(&model.repair));
  // A plain group is not searched.
  EXPECT_FALSE(node.ImpulseAffectedBy(&model.failGroup));
}

// --- workers and small classes ---------------------------------------------

class RawWorker : public PerformanceVariableWorker {
 public:
  double Reward_Function() override { return 9.0; }
  void Accumulate(double, double) override {}
};

TEST(PerformanceVariableWorker, BaseCurrentRewardOnlyComplains) {
  RawWorker w;
  EXPECT_EQ(w.Index, -1);
  EXPECT_EQ(w.PVId, -1);
  w.Value = 2.0;
  testing::internal::CaptureStderr();
  w.CurrentReward();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "!! Calling PerformanceVariableWorker::CurrentReward()\n");
  EXPECT_DOUBLE_EQ(w.Value, 2.0);
  w.Reset();
  EXPECT_DOUBLE_EQ(w.Value, 0.0);
}

TEST(PerformanceVariableWorker, InstantOfTimeTakesTheRewardFunction) {
  FnWorker w(0, [](const std::vector<BaseModelClass*>&) { return -3.0; });
  w.CurrentReward();
  EXPECT_DOUBLE_EQ(w.Value, -3.0);
  EXPECT_DOUBLE_EQ(w.ValueSquared, 9.0);
}

TEST(ModelSlot, StoresOnlyModelsOfTheMembersClass) {
  PairSAN pair;
  CaseSAN other;
  PairSAN* member = nullptr;
  ModelSlot slot(&member);
  EXPECT_TRUE(slot.set(&pair));
  EXPECT_EQ(member, &pair);
  EXPECT_FALSE(slot.set(&other));
  EXPECT_EQ(member, &pair);
  EXPECT_FALSE(ModelSlot().set(&pair));
}

TEST(ImpulseNodeClass, NamesResetsAndComparisons) {
  CaseImpulse imp(3, nullptr);
  EXPECT_EQ(imp.NumDeps, 3);
  EXPECT_EQ(imp.WorkerIndex, -1);
  EXPECT_EQ(imp.ImpulseIndex, -1);
  EXPECT_EQ(imp.PVId, -1);
  imp.DefineName("pv", 2, 5);
  EXPECT_EQ(imp.Name, "pv");
  EXPECT_EQ(imp.ImpulseIndex, 2);
  EXPECT_EQ(imp.WorkerIndex, 5);
  imp.Value = imp.ValueSquared = 4;
  imp.Reset();
  EXPECT_DOUBLE_EQ(imp.Value, 0.0);
  EXPECT_DOUBLE_EQ(imp.ValueSquared, 0.0);
  EXPECT_DOUBLE_EQ(ImpulseNodeClass::min(2.0, -1.0), -1.0);
  EXPECT_DOUBLE_EQ(ImpulseNodeClass::max(2.0, -1.0), 2.0);
}

TEST(SmallValueClasses, PairsCopyTheirNamesAndGroupsAnswerMembership) {
  char var[] = "v";
  char model[] = "m";
  VarModelPairClass vm;
  vm.SetPair(var, model);
  var[0] = 'x';
  EXPECT_EQ(vm.VarName, "v");
  EXPECT_EQ(vm.ModelName, "m");
  ActionModelPairClass am;
  am.SetPair("act", "mod");
  am.SetPair("act2", "mod2");
  EXPECT_EQ(am.ActionName, "act2");
  EXPECT_EQ(am.ModelName, "mod2");

  PairSAN a;
  PairSAN b;
  ModelGroupClass g;
  g.CreateModelList(2);
  g.SetModel(1, &b);
  EXPECT_TRUE(g.IsDependentOnModel(&b));
  EXPECT_FALSE(g.IsDependentOnModel(&a));
  EXPECT_EQ(g.GetNumModels(), 2);
  EXPECT_DEATH(g.SetModel(2, &a), "ModelGroupClass");
}

}  // namespace
