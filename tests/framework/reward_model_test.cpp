// The reward-model wrapper (PVModel) driving reward-variable nodes over small
// composed models: worker binding, linking of actions to rate and impulse
// rewards, evaluation per firing, the state vector, the PV type file and the
// release of everything.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RewardTestModels.h"
#include "TestSupport.h"

using namespace rewardtest;
using testmodels::PairJoin;
using testmodels::PairRep;

namespace {

std::vector<char> stateOf(PVModel& pv) {
  std::vector<char> bytes(static_cast<size_t>(pv.StateSize()));
  pv.CurrentState(bytes.data());
  return bytes;
}

std::vector<char> fire(PVModel& pv, BaseActionClass* action) {
  std::vector<char> next(static_cast<size_t>(pv.StateSize()));
  pv.FireAction(next.data(), action);
  return next;
}

std::vector<int> frozenItems(const FastSet& set) {
  std::vector<int> items;
  for (int i = 0; i < set.size(); i++) items.push_back(set[i]);
  return items;
}

double sumOf(const char* place, const std::vector<BaseModelClass*>& models) {
  double sum = 0;
  for (BaseModelClass* m : models) {
    List<BaseStateVariableClass> svs;
    List<BaseModelClass> owners;
    m->listSVs(m->Name, place, &svs, &owners);
    for (int i = 0; i < svs.getNumItems(); i++) sum += static_cast<Place*>(svs[i])->getMark();
  }
  return sum;
}

TestPVModel::Factory single(std::function<TestNode*(int)> make) {
  return [make](int pv, int t) -> PerformanceVariableNode* { return pv == 0 ? make(t) : nullptr; };
}

// --- workers over the model tree ---------------------------------------------

TEST(RewardModelWorkers, TwoDependenciesGiveTheCrossProductWithTheFirstVaryingSlowest) {
  auto* r1 = new PlainRep<PairSAN>("r1", 2, "B");
  auto* r2 = new PlainRep<PairSAN>("r2", 3, "C");
  auto* join = new PlainJoin("join", {r1, r2});
  TestPVModel pv(join, 1, false, single([](int t) {
                   return new TestNode("pair", {1.0}, t, [](auto& m) { return sumOf("local", m); }, {}, {"B", "C"});
                 }));
  PerformanceVariableNode* node = pv.PVList[0];
  ASSERT_EQ(node->NumWorkers, 6);
  for (int j = 0; j < 6; j++) {
    auto* w = static_cast<FnWorker*>(node->Workers[j]);
    SCOPED_TRACE(j);
    EXPECT_EQ(w->models[0], r1->copies[static_cast<size_t>(j / 3)]);
    EXPECT_EQ(w->models[1], r2->copies[static_cast<size_t>(j % 3)]);
    EXPECT_EQ(w->Index, j);
    EXPECT_EQ(w->Name, "pair");
    EXPECT_EQ(w->PVId, 0);
  }
}

TEST(RewardModelWorkers, ReplicaNameFindsEveryReplica) {
  auto* rep = new PairRep(3);
  TestPVModel pv(rep, 1, false, single([](int t) {
                   auto* n = new TestNode("count", {1.0}, t, nullptr, {{"local", "B"}});
                   n->typedWorkers = true;
                   return n;
                 }));
  PerformanceVariableNode* node = pv.PVList[0];
  ASSERT_EQ(node->NumWorkers, 3);
  for (int j = 0; j < 3; j++)
    EXPECT_EQ(static_cast<PairWorker*>(node->Workers[j])->pair, rep->copies[static_cast<size_t>(j)]);
  pv.ConsiderOnly(nullptr, 0);
  fire(pv, &rep->copies[1]->inc);
  EXPECT_DOUBLE_EQ(node->RateReward, 1.0);
  fire(pv, &rep->copies[2]->inc);
  EXPECT_DOUBLE_EQ(node->RateReward, 2.0);
  EXPECT_DOUBLE_EQ(node->RateRewardSquared, 2.0);
  // Each copy's activities affect the node through their own copy's worker only.
  for (int j = 0; j < 3; j++) {
    BaseActionClass& inc = rep->copies[static_cast<size_t>(j)]->inc;
    EXPECT_EQ(frozenItems(inc.AffectedNodesByRateReward), std::vector<int>{0});
    EXPECT_EQ(frozenItems(inc.PVRateDS[0]), std::vector<int>{j});
  }
  EXPECT_EQ(node->NumAffectingActions, 6);
}

// --- rate rewards --------------------------------------------------------------

class RateRewards : public testing::Test {
 protected:
  void SetUp() override {
    join = new PairJoin(2, true);
    pv = std::make_unique<TestPVModel>(join, 1, false, single([](int t) {
                                         auto* n = new TestNode("a_local", {1.0}, t, nullptr, {{"local", "A"}});
                                         n->typedWorkers = true;
                                         return n;
                                       }));
    pv->ConsiderOnly(nullptr, 0);
    node = pv->PVList[0];
  }
  PairJoin* join = nullptr;
  std::unique_ptr<TestPVModel> pv;
  PerformanceVariableNode* node = nullptr;
};

TEST_F(RateRewards, AreRecomputedFromTheMarkingAfterEveryFiring) {
  fire(*pv, &join->A->inc);
  EXPECT_DOUBLE_EQ(node->RateReward, 1.0);
  fire(*pv, &join->A->inc);
  EXPECT_DOUBLE_EQ(node->RateReward, 2.0);
  EXPECT_DOUBLE_EQ(node->RateRewardSquared, 4.0);
  fire(*pv, &join->A->dec);
  EXPECT_DOUBLE_EQ(node->RateReward, 1.0);
  // An action that does not touch A's local still re-evaluates the marking.
  join->A->local->setMark(7);
  fire(*pv, &join->rep->copies[0]->inc);
  EXPECT_DOUBLE_EQ(node->RateReward, 7.0);
  EXPECT_DOUBLE_EQ(node->ImpulseReward, 0.0);
  EXPECT_EQ(pv->LastActionFired, &join->rep->copies[0]->inc);
}

TEST_F(RateRewards, LinkOnlyTheActionsThatChangeTheVariable) {
  EXPECT_EQ(pv->RateDSCount, 2);
  EXPECT_EQ(pv->ImpulseDSCount, 0);
  EXPECT_EQ(frozenItems(join->A->inc.AffectedNodesByRateReward), std::vector<int>{0});
  EXPECT_EQ(frozenItems(join->A->dec.AffectedNodesByRateReward), std::vector<int>{0});
  EXPECT_EQ(frozenItems(join->A->inc.PVRateDS[0]), std::vector<int>{0});
  EXPECT_TRUE(frozenItems(join->rep->copies[0]->inc.AffectedNodesByRateReward).empty());
  EXPECT_TRUE(frozenItems(join->rep->copies[0]->inc.PVRateDS[0]).empty());
  ASSERT_EQ(node->NumAffectingActions, 2);
  EXPECT_EQ(node->AffectingActions[0], &join->A->inc);
  EXPECT_EQ(node->AffectingActions[1], &join->A->dec);
  ASSERT_EQ(pv->NumPVAffectingActions, 2);
  EXPECT_EQ(pv->PVAffectingActions[0], &join->A->inc);
  EXPECT_EQ(pv->PVAffectedSets[0], &join->A->inc.AffectedNodes);
  EXPECT_EQ(frozenItems(join->A->inc.AffectedNodes), std::vector<int>{0});
}

TEST_F(RateRewards, PresentTheComposedModelAsOneFlatModel) {
  EXPECT_EQ(pv->NumActions, join->NumActions);
  EXPECT_EQ(pv->Actions, join->Actions);
  EXPECT_EQ(pv->Groups, join->Groups);
  EXPECT_EQ(pv->NumSharedStateVariables, 0);
  EXPECT_EQ(pv->StateSize(), join->StateSize());
  EXPECT_EQ(pv->IndexBytes, 0);
  List<BaseActionClass> actions;
  pv->listActions(&actions);
  EXPECT_EQ(actions.getNumItems(), join->NumActions);
  List<BaseGroupClass> groups;
  pv->listGroups(&groups);
  EXPECT_EQ(groups.getNumItems(), join->NumGroups);
  List<BaseModelClass> models;
  pv->listModels("B", &models);
  EXPECT_EQ(models.getNumItems(), 2);

  std::vector<char> initial = stateOf(*pv);
  std::vector<char> after = fire(*pv, &join->rep->copies[1]->inc);
  EXPECT_FALSE(pv->CompareState(initial.data(), after.data()));
  pv->SetState(initial.data());
  EXPECT_EQ(stateOf(*pv), initial);
  EXPECT_TRUE(pv->CompareState(initial.data(), stateOf(*pv).data()));
}

TEST_F(RateRewards, AgeActionReevaluatesWithoutFiring) {
  EXPECT_STREQ(pv->NoActionFiredYet.getName(), "No Action Fired Yet");
  fire(*pv, &join->A->inc);
  std::vector<char> state = stateOf(*pv);
  join->A->local->setMark(5);
  pv->AgeAction(state.data(), &join->A->dec);
  EXPECT_EQ(pv->LastActionFired, &pv->NoActionFiredYet);
  EXPECT_DOUBLE_EQ(node->RateReward, 5.0);
  EXPECT_EQ(join->A->local->getMark(), 5);
}

TEST(RewardModelRate, DependencyOnASharedPlaceLinksEveryActionOfTheSharingGroup) {
  auto* join = new PairJoin(2, true);
  TestPVModel pv(
      join, 1, false, single([](int t) {
        return new TestNode("shared", {1.0}, t, [](auto& m) { return sumOf("shared", m); }, {{"shared", "A"}});
      }));
  PerformanceVariableNode* node = pv.PVList[0];
  std::set<BaseActionClass*> linked(node->AffectingActions, node->AffectingActions + node->NumAffectingActions);
  EXPECT_EQ(node->NumAffectingActions, 3);
  EXPECT_EQ(linked,
            (std::set<BaseActionClass*>{&join->A->inc, &join->rep->copies[0]->inc, &join->rep->copies[1]->inc}));
  pv.ConsiderOnly(nullptr, 0);
  fire(pv, &join->rep->copies[1]->inc);
  EXPECT_DOUBLE_EQ(node->RateReward, 1.0);
}

TEST(RewardModelRate, ConsiderOnlyEvaluatesTheChosenNodesInTheGivenOrder) {
  auto* join = new PairJoin(1, false);
  TestPVModel pv(join, 2, false, [](int p, int t) -> PerformanceVariableNode* {
    if (p > 1) return nullptr;
    auto* n = new TestNode(p == 0 ? "first" : "second", {1.0}, t, nullptr, {{"local", "A"}});
    n->typedWorkers = true;
    return n;
  });
  int only[] = {1};
  pv.ConsiderOnly(only, 1);
  ASSERT_EQ(pv.ConsideredPVs.size(), 1u);
  EXPECT_EQ(pv.ConsideredPVs[0], pv.PVList[1]);
  fire(pv, &join->A->inc);
  EXPECT_DOUBLE_EQ(pv.PVList[0]->RateReward, 0.0);
  EXPECT_DOUBLE_EQ(pv.PVList[1]->RateReward, 1.0);
}

// --- impulse rewards -----------------------------------------------------------

class ImpulseRewards : public testing::Test {
 protected:
  // Join of B (3 CaseSAN replicas) and C (2 replicas). Node 0: rate reward,
  // the broken count of all B replicas. Node 1: impulse on fail_case2 of B,
  // which also depends on C, so each B replica has two impulse workers.
  void SetUp() override {
    rb = new PlainRep<CaseSAN>("rb", 3, "B");
    rc = new PlainRep<CaseSAN>("rc", 2, "C");
    auto* join = new PlainJoin("join", {rb, rc});
    std::vector<const ImpulseNodeClass*>* evaluations = &log;
    pv = std::make_unique<TestPVModel>(join, 2, false, [this, evaluations](int p, int t) {
      PerformanceVariableNode* n = nullptr;
      if (p == 0) {
        n = new TestNode("broken", {1.0}, t, [](auto& m) { return sumOf("broken", m); }, {{"broken", "B"}});
      } else if (p == 1) {
        prototype = std::make_unique<CaseImpulse>(2, evaluations);
        n = new TestNode("failures", {1.0}, t, nullptr, {}, {}, 1);
        n->AddImpulse("fail_case2", "B", prototype.get());
        n->AddImpulseModelDependency("C", prototype.get());
      }
      return n;
    });
    pv->ConsiderOnly(nullptr, 0);
    rate = pv->PVList[0];
    impulse = pv->PVList[1];
  }

  std::vector<const ImpulseNodeClass*> log;
  std::unique_ptr<CaseImpulse> prototype;  // declared before pv: outlives it
  PlainRep<CaseSAN>* rb = nullptr;
  PlainRep<CaseSAN>* rc = nullptr;
  std::unique_ptr<TestPVModel> pv;
  PerformanceVariableNode* rate = nullptr;
  PerformanceVariableNode* impulse = nullptr;
};

TEST_F(ImpulseRewards, WorkersAreBlockedByTheInstanceOfTheImpulsesModel) {
  ASSERT_EQ(impulse->NumImpulses, 1);
  EXPECT_EQ(impulse->ImpulseModelCounts[0], 3);
  ASSERT_EQ(impulse->ImpulseWorkerCounts[0], 6);
  EXPECT_EQ(impulse->NumWorkers, 0);
  for (int k = 0; k < 6; k++) {
    auto* w = static_cast<CaseImpulse*>(impulse->ImpulseWorkerNodes[0][k]);
    SCOPED_TRACE(k);
    EXPECT_EQ(w->Model, rb->copies[static_cast<size_t>(k / 2)]);
    EXPECT_EQ(w->deps[0], rb->copies[static_cast<size_t>(k / 2)]);
    EXPECT_EQ(w->deps[1], rc->copies[static_cast<size_t>(k % 2)]);
    EXPECT_EQ(w->WorkerIndex, k);
    EXPECT_EQ(w->ImpulseIndex, 0);
    EXPECT_EQ(w->PVId, 1);
    EXPECT_EQ(w->Name, "failures");
  }
  BaseActionClass& linked = rb->copies[1]->fail_case2;
  EXPECT_EQ(frozenItems(linked.AffectedNodesByImpulseReward), std::vector<int>{1});
  EXPECT_EQ(frozenItems(linked.PVImpulseDS[1]), std::vector<int>{0});
  ASSERT_EQ(linked.PVImpulseWorkerCounts[1][0], 2);
  EXPECT_EQ(linked.PVImpulseWorkers[1][0][0], 2);
  EXPECT_EQ(linked.PVImpulseWorkers[1][0][1], 3);
  EXPECT_EQ(pv->ImpulseDSCount, 3);
  EXPECT_TRUE(frozenItems(rc->copies[0]->fail_case2.AffectedNodesByImpulseReward).empty());
  EXPECT_EQ(impulse->NumAffectingActions, 3);
}

TEST_F(ImpulseRewards, AreEarnedOnlyByTheLinkedActionOnItsOwnWorkers) {
  rb->copies[1]->hits->setMark(2);
  rc->copies[0]->ok->setMark(1);
  rc->copies[1]->ok->setMark(0);
  fire(*pv, &rb->copies[1]->fail_case2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], impulse->ImpulseWorkerNodes[0][2]);
  EXPECT_EQ(log[1], impulse->ImpulseWorkerNodes[0][3]);
  EXPECT_DOUBLE_EQ(impulse->ImpulseReward, (1 + 20 + 1) + (1 + 20 + 0));
  EXPECT_DOUBLE_EQ(impulse->ImpulseRewardSquared, 22.0 * 22.0 + 21.0 * 21.0);
  EXPECT_DOUBLE_EQ(rate->RateReward, 1.0);
  EXPECT_DOUBLE_EQ(rate->ImpulseReward, 0.0);

  log.clear();
  fire(*pv, &rb->copies[1]->fail_case1);  // the other case of the same activity
  fire(*pv, &rb->copies[1]->repair);
  fire(*pv, &rc->copies[0]->fail_case2);  // same action name, unlinked model
  EXPECT_TRUE(log.empty());
  EXPECT_DOUBLE_EQ(impulse->ImpulseReward, 0.0);
  EXPECT_DOUBLE_EQ(rate->RateReward, 0.0);

  fire(*pv, &rb->copies[0]->fail_case2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], impulse->ImpulseWorkerNodes[0][0]);
  // B0 has no hits; C0 lost its ok token above and C1's was cleared: 1 each.
  EXPECT_DOUBLE_EQ(impulse->ImpulseReward, 2.0);
}

TEST_F(ImpulseRewards, PseudoActionEarnsNothing) {
  std::vector<char> next = fire(*pv, &pv->NoActionFiredYet);
  EXPECT_TRUE(log.empty());
  EXPECT_DOUBLE_EQ(impulse->ImpulseReward, 0.0);
  EXPECT_EQ(next, stateOf(*pv));
  EXPECT_FALSE(impulse->ImpulseAffectedBy(&pv->NoActionFiredYet));
  EXPECT_TRUE(impulse->ImpulseAffectedBy(&rb->copies[2]->fail_case2));
  EXPECT_FALSE(rate->ImpulseAffectedBy(&rb->copies[2]->fail_case2));
}

TEST(RewardModelImpulse, ImpulseOnItsOwnModelOnlyHasOneWorkerPerInstance) {
  std::vector<const ImpulseNodeClass*> log;
  CaseImpulse prototype(1, &log);
  auto* rb = new PlainRep<CaseSAN>("rb", 3, "B");
  TestPVModel pv(rb, 1, false, single([&](int t) {
                   auto* n = new TestNode("failures", {1.0}, t, nullptr, {}, {}, 1);
                   n->AddImpulse("fail_case2", "B", &prototype);
                   return n;
                 }));
  pv.ConsiderOnly(nullptr, 0);
  PerformanceVariableNode* node = pv.PVList[0];
  ASSERT_EQ(node->ImpulseWorkerCounts[0], 3);
  fire(pv, &rb->copies[2]->fail_case2);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], node->ImpulseWorkerNodes[0][2]);
  EXPECT_EQ(static_cast<const CaseImpulse*>(log[0])->deps[0], rb->copies[2]);
  EXPECT_DOUBLE_EQ(node->ImpulseReward, 1.0);
}

}  // namespace
