// Actions, activities, Erlang phases, reward-variable sets, and the groups
// with their weighted, rank-aware selection.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Activity.h"
#include "BaseActionClass.h"
#include "Distributions.h"
#include "EmptyGroup.h"
#include "Place.h"
#include "PostselectGroup.h"
#include "PreselectGroup.h"
#include "RandomNumberGenerator.h"
#include "SingleGroup.h"
#include "UserDistributions.h"

namespace {

class Plain : public BaseActionClass {
 public:
  Plain() = default;
  Plain(const char* name, bool enabled, double weight, int rank)
      : enabled_(enabled), weight_(weight), rank_(rank) {
    defineName(name);
  }
  bool Enabled() override { return enabled_; }
  double Weight() override { return weight_; }
  int Rank() override { return rank_; }
  void Fire() override { fired++; }
  bool enabled_ = false;
  double weight_ = 0;
  int rank_ = 0;
  int fired = 0;
};

class Erlang3 : public BaseActionClass {
 public:
  double ErlangParamM() override { return 3; }
};

// A generated-style activity: Enabled() keeps the previous flag.
class Act : public Activity {
 public:
  Act(const char* name, bool enabled, double weight, int rank, double rate = 1.0)
      : Activity(name, 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false),
        enabled_(enabled), weight_(weight), rank_(rank), rate_(rate) {}
  bool Enabled() override {
    PreviousEnabledFlag = EnabledFlag;
    EnabledFlag = enabled_;
    return EnabledFlag;
  }
  double Weight() override { return weight_; }
  int Rank() override { return rank_; }
  double Rate() override { return rate_; }
  void Fire() override { fired++; }
  void LinkVariables() override {}
  bool enabled_;
  double weight_;
  int rank_;
  double rate_;
  int fired = 0;
};

// An activity that overrides only what every activity must.
class Bare : public Activity {
 public:
  void Fire() override {}
  void LinkVariables() override {}
};

// Makes the group selection draw a chosen number.
class FixedGenerator : public RandomNumberGenerator {
 public:
  explicit FixedGenerator(double v) : value(v) {}
  double rnd() override { return value; }
  double value;
};

class FixedDraw {
 public:
  explicit FixedDraw(double v) : fixed_(v), saved_(TheDistribution->generator) {
    TheDistribution->generator = &fixed_;
  }
  ~FixedDraw() { TheDistribution->generator = saved_; }
  void set(double v) { fixed_.value = v; }

 private:
  FixedGenerator fixed_;
  RandomNumberGenerator* saved_;
};

}  // namespace

// ---------------------------------------------------------------- actions

TEST(ActionTest, Defaults) {
  Plain a;
  EXPECT_STREQ(a.getName(), "default");
  EXPECT_EQ(a.DistributionType, 1);
  EXPECT_EQ(a.ExecutionPolicy, 1);
  EXPECT_EQ(a.Phase, 1);
  EXPECT_EQ(a.GroupId, 0);
  EXPECT_TRUE(a.Disabled);
  EXPECT_FALSE(a.Reactivation);
  EXPECT_FALSE(a.Fired);
  EXPECT_EQ(a.OwningModel, nullptr);
  EXPECT_EQ(a.BaseActionClass::Probability(nullptr), 1.0);
  EXPECT_EQ(a.ReturnDistributionParameters(), nullptr);
  EXPECT_EQ(a.getPrintedAction(), &a);
  EXPECT_FALSE(a.isSync());
  EXPECT_FALSE(a.IsPVRateDSAllocated());
  EXPECT_FALSE(a.IsPVImpulseDSAllocated());
  a.SetFired(5);
  EXPECT_TRUE(a.Fired);
  a.SetFired(0);
  EXPECT_FALSE(a.Fired);
}

TEST(ActionTest, ConsecutiveNumbers) {
  Plain a, b;
  EXPECT_EQ(b.ActionNumber, a.ActionNumber + 1);
  EXPECT_EQ(BaseActionClass::MaxID, b.ActionNumber + 1);
}

TEST(ActionTest, ConstructorAndInitializeSetTheGivenFields) {
  Plain a;
  a.Phase = 4;
  a.BaseActionClassInitialize("x", 3, DIST_ERLANG, POLICY_DEFAULT, 9, 9, true);
  EXPECT_STREQ(a.getName(), "x");
  EXPECT_EQ(a.GroupId, 3);
  EXPECT_EQ(a.DistributionType, DIST_ERLANG);
  EXPECT_TRUE(a.Reactivation);
  EXPECT_EQ(a.Phase, 4);  // untouched by the initializer
  Act b("b", true, 1, 1);
  EXPECT_STREQ(b.getName(), "b");
  EXPECT_TRUE(b.Disabled);
}

TEST(ActionTest, ErlangPhases) {
  Erlang3 a;
  a.ResetPhase();
  EXPECT_FALSE(a.ReadyToFire());
  a.Age();
  EXPECT_FALSE(a.ReadyToFire());
  a.Age();
  EXPECT_TRUE(a.ReadyToFire());
  a.ResetPhase();
  EXPECT_EQ(a.Phase, 1);
  Plain single;  // one phase: always ready
  EXPECT_TRUE(single.ReadyToFire());
}

TEST(ActionTest, EnablingVariablesAreASet) {
  Plain a;
  Place p("p"), q("q");
  a.addEnablingSV(&p);
  a.addEnablingSV(&p);
  a.addEnablingSV(&q);
  EXPECT_EQ(a.EnablingSVs.getNumItems(), 2);
  a.removeEnablingSV(&p);
  ASSERT_EQ(a.EnablingSVs.getNumItems(), 1);
  EXPECT_EQ(a.EnablingSVs[0], &q);
  a.addAffectedSV(&p);
  a.addAffectedSV(&p);
  EXPECT_EQ(a.AffectedSVs.getNumItems(), 1);
}

TEST(ActionTest, IsAMemberOnlyOfItself) {
  Plain a, b;
  EXPECT_TRUE(a.BaseActionClass::IsAMember(&a));
  EXPECT_FALSE(a.BaseActionClass::IsAMember(&b));
}

TEST(ActionTest, PrintInfo) {
  Plain a;
  a.defineName("fail");
  Place p("up"), q("down");
  a.addEnablingSV(&p);
  a.addAffectedSV(&p);
  a.addAffectedSV(&q);
  a.GroupId = 4;
  a.Disabled = false;
  a.DistributionType = DIST_INSTANTANEOUS;
  testing::internal::CaptureStdout();
  a.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "********* fail**********\n\n"
            "Enabled by:\n\n"
            "           up\n"
            "Affects:\n\n"
            "           up\n"
            "           down\n"
            "Group ID = 4\n"
            "Execution Policy = 1\n"
            "Disabled = 0\n"
            "Reactivation = 0\n"
            "DistributionType = 18\n");
}

TEST(ActionTest, PrintStatesOfVariables) {
  Plain a;
  Place p("p", 2), q("q", 3);
  a.addEnablingSV(&p);
  a.addAffectedSV(&q);
  std::ostringstream en, af;
  a.printEnablingState(&en);
  a.printAffectedState(&af);
  EXPECT_EQ(en.str(), "p = 2\n");
  EXPECT_EQ(af.str(), "q = 3\n");
}

TEST(ActionTest, RewardSetsAllocation) {
  Plain a;
  a.AllocatePVRateDS(3);
  a.AllocatePVImpulseDS(2);
  ASSERT_TRUE(a.IsPVRateDSAllocated());
  ASSERT_TRUE(a.IsPVImpulseDSAllocated());
  EXPECT_EQ(a.PVDSSize, 2);
  for (int i = 0; i < 3; i++) EXPECT_TRUE(a.PVRateDS[i].empty());
  for (int i = 0; i < 2; i++) {
    EXPECT_TRUE(a.PVImpulseDS[i].empty());
    EXPECT_EQ(a.PVImpulseWorkers[i], nullptr);
    EXPECT_EQ(a.PVImpulseWorkerCounts[i], nullptr);
  }
  a.PVRateDS[1].insert(4);
  a.AllocatePVRateDS(1);  // replaces the old arrays without leaking them
  EXPECT_TRUE(a.PVRateDS[0].empty());
  a.DeallocatePVRateDS();
  a.DeallocatePVImpulseDS();
  EXPECT_FALSE(a.IsPVRateDSAllocated());
  EXPECT_FALSE(a.IsPVImpulseDSAllocated());
  a.AllocatePVImpulseDS(1);  // freed by the destructor
}

TEST(ActionTest, RandomSourceIsTheProcessWideGenerator) {
  EXPECT_EQ(TheDistribution, static_cast<Distributions*>(&TheGenerator));
  ASSERT_NE(TheDistribution->getGenerator(), nullptr);
  double u = TheDistribution->getGenerator()->rnd();
  EXPECT_GE(u, 0.0);
  EXPECT_LT(u, 1.0);
}

// ---------------------------------------------------------------- activities

TEST(ActivityTest, OwnGroupWithProbabilityOne) {
  Act a("a", true, 1, 1), b("b", true, 1, 1);
  EXPECT_EQ(a.getSelectedAction(), &a);
  EXPECT_EQ(a.Probability(&a), 1.0);
  EXPECT_EQ(a.Probability(&b), 0.0);
  EXPECT_TRUE(a.SelectAction());
  a.enabled_ = false;
  EXPECT_FALSE(a.SelectAction());
  a.setGroupId(7);
  EXPECT_EQ(a.GroupId, 7);
  EXPECT_EQ(a.getPrintedAction(), &a);
  EXPECT_FALSE(a.IsAMember(&a));  // a group with no members
}

TEST(ActivityTest, EnablingChangeComparesTheLastTwoEvaluations) {
  Act a("a", false, 1, 1);
  EXPECT_FALSE(a.EnablingChange());  // false, false
  a.enabled_ = true;
  EXPECT_TRUE(a.EnablingChange());  // false -> true
  EXPECT_FALSE(a.EnablingChange());  // true, true
  a.enabled_ = false;
  EXPECT_TRUE(a.EnablingChange());
}

TEST(ActivityTest, AffectingVariables) {
  Act a("a", true, 1, 1);
  Place p("p"), q("q");
  a.addAffectedSV(&p);
  EXPECT_TRUE(a.IsAnAffectingStateVariable(&p));
  EXPECT_FALSE(a.IsAnAffectingStateVariable(&q));
}

TEST(ActivityTest, UnoverriddenTimingIsZeroNotARecursion) {
  Bare a;
  EXPECT_EQ(a.Weight(), 0);
  EXPECT_EQ(a.Rate(), 0);
  EXPECT_EQ(a.Rank(), 0);
  EXPECT_EQ(a.SampleDistribution(), 0);
  EXPECT_TRUE(a.Disabled);
  EXPECT_FALSE(a.Reactivation);
}

// ---------------------------------------------------------------- weights and selection

TEST(GroupSelectionTest, NothingEnabled) {
  FixedDraw draw(0.0);  // a zero draw must not turn -1 into a selection
  PostselectGroup g;
  g.initialize(2, "g");
  Act a("a", false, 1, 1), b("b", false, 2, 1);
  a.Disabled = false;
  b.Disabled = false;
  g.appendGroup(&a);
  g.appendGroup(&b);
  EXPECT_EQ(g.CalculateWeightDistribution(), -1);
  EXPECT_FALSE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), nullptr);
  EXPECT_TRUE(a.Disabled);
  EXPECT_TRUE(b.Disabled);
  EXPECT_FALSE(g.Enabled());
}

TEST(GroupSelectionTest, HighestRankCompetes) {
  BaseGroupClass g;
  g.initialize(3, "g");
  Act a("a", true, 5, 1), b("b", true, 1, 2), c("c", true, 3, 2);
  g.appendGroup(&a);
  g.appendGroup(&b);
  g.appendGroup(&c);
  EXPECT_EQ(g.CalculateWeightDistribution(), 4);
  ASSERT_EQ(g.getNumEntries(), 2);
  EXPECT_EQ(g.getWeightEntry(0).cumulativeWeight, 1);
  EXPECT_EQ(g.getWeightEntry(0).member, &b);
  EXPECT_EQ(g.getWeightEntry(1).cumulativeWeight, 4);
  EXPECT_EQ(g.getWeightEntry(1).member, &c);
  EXPECT_EQ(g.getCurrentRank(), 2);
  EXPECT_FALSE(b.Disabled);
  EXPECT_FALSE(c.Disabled);
  EXPECT_DOUBLE_EQ(g.Probability(&c), 0.75);
  EXPECT_DOUBLE_EQ(g.Probability(&b), 0.25);
  EXPECT_EQ(g.Probability(&a), 0.0);
}

TEST(GroupSelectionTest, LowerRankAfterTheLeaderIsMarkedDisabled) {
  BaseGroupClass g;
  g.initialize(3, "g");
  Act a("a", true, 1, 2), b("b", true, 1, 1), c("c", false, 1, 2);
  c.Disabled = false;
  g.appendGroup(&a);
  g.appendGroup(&b);
  g.appendGroup(&c);
  EXPECT_EQ(g.CalculateWeightDistribution(), 1);
  EXPECT_FALSE(a.Disabled);
  EXPECT_TRUE(b.Disabled);
  EXPECT_TRUE(c.Disabled);
}

TEST(GroupSelectionTest, RankZeroCompetesOnlyAlone) {
  BaseGroupClass g;
  g.initialize(2, "g");
  Act zero("zero", true, 2, 0), one("one", true, 3, 1);
  g.appendGroup(&zero);
  g.appendGroup(&one);
  EXPECT_EQ(g.Probability(&zero), 0.0);
  EXPECT_EQ(g.Probability(&one), 1.0);
  one.enabled_ = false;
  EXPECT_EQ(g.Probability(&zero), 1.0);
  EXPECT_EQ(g.CalculateWeightDistribution(), 2);
}

TEST(GroupSelectionTest, DrawOnACumulativeWeightPicksTheNextEntry) {
  BaseGroupClass g;
  g.initialize(3, "g");
  Act a("a", true, 5, 1), b("b", true, 1, 2), c("c", true, 3, 2);
  g.appendGroup(&a);
  g.appendGroup(&b);
  g.appendGroup(&c);
  FixedDraw draw(0.25);  // x = 4 * 0.25 = 1.0, exactly entry 0's weight
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), &c);
  draw.set(0.2499);
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), &b);
  draw.set(0.0);
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), &b);
  draw.set(1.0);  // beyond every entry: the last one
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), &c);
}

TEST(GroupSelectionTest, BinarySearchOverManyEntries) {
  BaseGroupClass g;
  g.initialize(7, "g");
  std::vector<std::unique_ptr<Act>> acts;
  for (int i = 0; i < 7; i++) {
    acts.push_back(std::make_unique<Act>("m", true, 1.0, 1));
    g.appendGroup(acts.back().get());
  }
  ASSERT_EQ(g.CalculateWeightDistribution(), 7);
  // Cumulative weights 1..7: entry k holds k + 1.
  for (int k = 0; k < 7; k++) {
    EXPECT_EQ(g.findEntry(k + 0.5), k) << k;
    EXPECT_EQ(g.findEntry(k + 1.0), k + 1 < 7 ? k + 1 : 6) << k;  // on entry k's weight: the next one
  }
}

TEST(GroupSelectionTest, NestedGroupChoosesItsOwnMember) {
  FixedDraw draw(0.9);
  PostselectGroup inner;
  inner.initialize(2, "inner");
  Act a("a", true, 1, 1), b("b", true, 1, 1);
  inner.appendGroup(&a);
  inner.appendGroup(&b);
  BaseGroupClass outer;
  outer.initialize(1, "outer");
  outer.appendGroup(&inner);
  EXPECT_TRUE(outer.SelectAction());
  EXPECT_EQ(outer.getSelectedAction(), &b);
  EXPECT_DOUBLE_EQ(outer.Probability(&b), 0.5);
  outer.Fire();
  EXPECT_EQ(b.fired, 1);
  EXPECT_EQ(outer.getSelectedAction(), nullptr);
}

TEST(GroupSelectionTest, CaseGroupProbabilities) {
  PostselectGroup g;
  g.initialize(2, "caseGroup");
  Act c1("c1", true, 0.3, 1), c2("c2", true, 0.7, 1);
  g.appendGroup(&c1);
  g.appendGroup(&c2);
  EXPECT_DOUBLE_EQ(g.Probability(&c2), 0.7);
  EXPECT_DOUBLE_EQ(g.Probability(&c1), 0.3);
  c1.enabled_ = false;
  EXPECT_DOUBLE_EQ(g.Probability(&c2), 1.0);
  EXPECT_EQ(g.Weight(), 1);
  EXPECT_EQ(g.Rank(), 1);
  EXPECT_TRUE(g.IsAMember(&c1));
}

TEST(GroupSelectionTest, ZeroTotalWeightIsReported) {
  BaseGroupClass g;
  g.initialize(2, "g");
  Act a("a", true, 0, 1), b("b", true, 0, 1);
  g.appendGroup(&a);
  g.appendGroup(&b);
  testing::internal::CaptureStdout();
  double p = g.Probability(&a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BaseGroupClass::Probability() TotalWeight is zero.\n");
  EXPECT_TRUE(std::isnan(p));
}

TEST(GroupSelectionTest, ProbabilityOfAnActionNotHeldIsZero) {
  BaseGroupClass g;
  g.initialize(1, "g");
  Act a("a", true, 1, 1), stranger("s", true, 1, 1);
  g.appendGroup(&a);
  EXPECT_EQ(g.Probability(&stranger), 0.0);
}

// ---------------------------------------------------------------- member arrays

TEST(GroupMembersTest, AppendGroupGrowsByOneSlot) {
  BaseGroupClass g;
  g.initialize(2, "g");
  Act a("a", true, 1, 1), b("b", true, 1, 1), c("c", true, 1, 1);
  g.appendGroup(&a);
  g.appendGroup(&b);
  EXPECT_EQ(g.getCapacity(), 2);
  g.appendGroup(&c);
  EXPECT_EQ(g.getCapacity(), 3);
  ASSERT_EQ(g.getNumMembers(), 3);
  EXPECT_EQ(g.getMember(0), &a);
  EXPECT_EQ(g.getMember(2), &c);
  EXPECT_EQ(g.CalculateWeightDistribution(), 3);  // the weight array grew too
}

TEST(GroupMembersTest, AppendMembersGrowsToTheNewCount) {
  BaseGroupClass g, h;
  g.initialize(1, "g");
  h.initialize(3, "h");
  Act a("a", true, 1, 1), b("b", true, 1, 1), c("c", true, 1, 1);
  g.appendGroup(&a);
  h.appendGroup(&b);
  h.appendGroup(&c);
  g.appendMembers(&h);
  EXPECT_EQ(g.getCapacity(), 3);
  ASSERT_EQ(g.getNumMembers(), 3);
  EXPECT_EQ(g.getMember(1), &b);
  EXPECT_EQ(g.getMember(2), &c);
  g.appendMembers(&g);  // its own members once more
  EXPECT_EQ(g.getNumMembers(), 6);
  EXPECT_EQ(g.getMember(5), &c);
}

TEST(GroupMembersTest, SetMemberOutOfRangeIsReported) {
  PostselectGroup g(2);
  EXPECT_EQ(g.getNumMembers(), 2);
  EXPECT_EQ(g.getCapacity(), 2);
  EXPECT_FALSE(g.Enabled());  // unfilled slots are skipped
  Act a("a", true, 1, 1), b("b", true, 1, 1);
  g.setMember(&a, 0);
  g.setMember(&b, 1);
  for (int bad : {2, -1}) {
    testing::internal::CaptureStderr();
    g.setMember(&a, bad);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Array out of bounds error at Array out of bounds (BaseGroupClass::setMember()\n");
  }
  EXPECT_EQ(g.getMember(0), &a);
  EXPECT_EQ(g.getMember(1), &b);
  EXPECT_TRUE(g.Enabled());
}

TEST(GroupMembersTest, EnlargeAndReplace) {
  BaseGroupClass g;
  g.initialize(1, "g");
  Act a("a", true, 1, 1), b("b", true, 1, 1);
  g.appendGroup(&a);
  g.enlargeArrays(4);
  EXPECT_EQ(g.getCapacity(), 4);
  EXPECT_EQ(g.getMember(0), &a);
  g.enlargeArrays(0);  // never drops members
  EXPECT_EQ(g.getCapacity(), 1);
  EXPECT_EQ(g.getMember(0), &a);
  FixedDraw draw(0.5);
  ASSERT_TRUE(g.SelectAction());
  g.replaceMember(&a, &b);
  EXPECT_EQ(g.getMember(0), &b);
  EXPECT_EQ(g.getSelectedAction(), &b);
}

TEST(GroupMembersTest, SetGroupIdReachesMembers) {
  PostselectGroup g;
  g.initialize(2, "g");
  Act a("a", true, 1, 1);
  Plain p("p", true, 1, 1);
  g.appendGroup(&a);
  g.appendGroup(nullptr);  // an empty slot is skipped
  g.setGroupId(5);
  EXPECT_EQ(a.GroupId, 5);
  g.replaceMember(nullptr, &p);  // a plain action as member gets the number directly
  g.setGroupId(6);
  EXPECT_EQ(p.GroupId, 6);
  EXPECT_EQ(a.GroupId, 6);
  EXPECT_EQ(g.GroupId, 0);  // the group keeps its own number
}

TEST(GroupMembersTest, EnabledAndEnablingChangeAskEveryMember) {
  BaseGroupClass g;
  g.initialize(2, "g");
  Act a("a", true, 1, 1), b("b", false, 1, 1);
  g.appendGroup(&a);
  g.appendGroup(&b);
  EXPECT_TRUE(g.Enabled());
  EXPECT_TRUE(b.PreviousEnabledFlag == false && b.EnabledFlag == false);
  b.enabled_ = true;
  EXPECT_TRUE(g.EnablingChange());  // b changed
  EXPECT_TRUE(b.EnabledFlag);
  EXPECT_FALSE(g.EnablingChange());
}

TEST(GroupMembersTest, PrintedActionAndEnablingState) {
  BaseGroupClass g;
  EXPECT_EQ(g.getPrintedAction(), &g);
  g.initialize(1, "g");
  Act a("a", true, 1, 1);
  Place p("p", 4);
  a.addEnablingSV(&p);
  g.appendGroup(&a);
  EXPECT_EQ(g.getPrintedAction(), &a);
  std::ostringstream out;
  g.printEnablingState(&out);
  EXPECT_EQ(out.str(), "p = 4\n");
}

TEST(GroupListingTest, PrintInfoAndNestedMembers) {
  PostselectGroup inner;
  inner.initialize(2, "inner");
  Act a("a", true, 1, 1), b("b", true, 1, 1), c("c", true, 1, 1);
  inner.appendGroup(&a);
  inner.appendGroup(&b);
  BaseGroupClass outer;
  outer.initialize(2, "outer");
  outer.appendGroup(&c);
  outer.appendGroup(&inner);
  FixedDraw draw(0.1);
  ASSERT_TRUE(outer.SelectAction());
  testing::internal::CaptureStdout();
  outer.PrintInfo();
  outer.printGroup();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "************ Group: outer ****************\n"
            "Contains the following actions:\n"
            "  c\n"
            "  inner\n"
            "Selected Action = c\n"
            "** Members of Group outer\n"
            "[0] c\n"
            "[1] inner\n"
            "  [1.0] a\n"
            "  [1.1] b\n");
}

// ---------------------------------------------------------------- group kinds

TEST(PostselectGroupTest, FireSelectsThenFiresTheCase) {
  PostselectGroup g;
  g.initialize(2, "g");
  Act c1("c1", true, 0.25, 1), c2("c2", true, 0.75, 1);
  g.appendGroup(&c1);
  g.appendGroup(&c2);
  FixedDraw draw(0.5);
  g.Fire();
  EXPECT_EQ(c1.fired, 0);
  EXPECT_EQ(c2.fired, 1);
  EXPECT_EQ(g.getSelectedAction(), nullptr);
  draw.set(0.1);
  g.Fire();
  EXPECT_EQ(c1.fired, 1);
}

TEST(PostselectGroupTest, TimingComesFromTheFirstCase) {
  PostselectGroup empty;
  EXPECT_EQ(empty.SampleDistribution(), 0);
  EXPECT_FALSE(empty.ReactivationPredicate());
  EXPECT_EQ(empty.Weight(), 1);
}

TEST(PreselectGroupTest, SelectsWhenAskedAndAgainAfterFiring) {
  PreselectGroup g(2);
  EXPECT_EQ(g.getNumMembers(), 0);
  EXPECT_TRUE(g.SelectionPending);
  Act a("a", true, 1, 3), b("b", true, 1, 3);
  g.appendGroup(&a);
  g.appendGroup(&b);
  FixedDraw draw(0.9);
  EXPECT_EQ(g.Rank(), 3);
  EXPECT_FALSE(g.SelectionPending);
  EXPECT_EQ(g.getSelectedAction(), &b);
  draw.set(0.1);
  EXPECT_TRUE(g.Enabled());
  EXPECT_EQ(g.getSelectedAction(), &b);  // no new selection while one stands
  g.Fire();
  EXPECT_EQ(b.fired, 1);
  EXPECT_TRUE(g.SelectionPending);
  g.Enabled();
  EXPECT_EQ(g.getSelectedAction(), &a);
}

TEST(PreselectGroupTest, NothingEnabledKeepsTheSelectionPending) {
  PreselectGroup g;
  Act a("a", false, 1, 1);
  g.appendGroup(&a);
  EXPECT_FALSE(g.Enabled());
  EXPECT_TRUE(g.SelectionPending);
  EXPECT_EQ(g.Rank(), 0);
  EXPECT_EQ(g.SampleDistribution(), 0);
}

TEST(SingleGroupTest, AnswersForItsAction) {
  SingleGroup g;
  Act a("a", true, 2, 3, 0.5);
  g.SetAction(&a);
  ASSERT_EQ(g.getNumMembers(), 1);
  EXPECT_EQ(g.getMember(0), &a);
  EXPECT_TRUE(g.Enabled());
  EXPECT_TRUE(g.EnablingChange());
  EXPECT_TRUE(g.Enabled());
  EXPECT_FALSE(g.EnablingChange());
  EXPECT_EQ(g.Weight(), 2);
  EXPECT_EQ(g.Rank(), 3);
  EXPECT_EQ(g.Rate(), 0.5);
  EXPECT_EQ(g.Probability(&a), 1.0);
  EXPECT_EQ(g.Probability(&g), 0.0);
  g.Fire();
  EXPECT_EQ(a.fired, 1);
}

TEST(SingleGroupTest, SelectActionAlwaysReportsInconsistentState) {
  const std::string report = "This program has entered into an inconsistant state. Please report this bug.\n";
  SingleGroup g;
  Act a("a", true, 1, 1);
  a.Reactivation = true;
  g.SetAction(&a);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), report);
  EXPECT_EQ(g.getSelectedAction(), &a);
  EXPECT_FALSE(a.Disabled);
  EXPECT_FALSE(g.Disabled);
  EXPECT_TRUE(g.Reactivation);
  a.enabled_ = false;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(g.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), report);
}

TEST(SingleGroupTest, NullGroupGivesAnEmptyHarmlessGroup) {
  SingleGroup g(nullptr);
  EXPECT_EQ(g.getNumMembers(), 0);
  EXPECT_STREQ(g.getName(), "default");
  EXPECT_FALSE(g.Enabled());
  EXPECT_EQ(g.Rate(), 0);
  EXPECT_EQ(g.Weight(), 0);
  EXPECT_EQ(g.Probability(nullptr), 0.0);
  g.Fire();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(g.SelectAction());
  testing::internal::GetCapturedStderr();
}

TEST(SingleGroupTest, WrapsAGroupAndTakesItsName) {
  PostselectGroup inner;
  inner.initialize(1, "cases");
  SingleGroup g(&inner);
  EXPECT_STREQ(g.getName(), "cases");
  ASSERT_EQ(g.getNumMembers(), 1);
  EXPECT_EQ(g.getMember(0), &inner);
}

TEST(EmptyGroupTest, NeverDoesAnything) {
  EmptyGroup g;
  Act a("a", true, 1, 1);
  g.SetAction(&a);
  g.SetImpulseList(1, 2.0);
  g.CreateImpulseList(3);
  EXPECT_STREQ(g.getName(), "ImmediateGroup");
  EXPECT_EQ(g.GroupId, 0);
  EXPECT_EQ(g.getNumMembers(), 0);
  EXPECT_FALSE(g.Enabled());
  EXPECT_EQ(g.Weight(), 0);
  EXPECT_EQ(g.Rate(), 0);
  EXPECT_EQ(g.Rank(), 0);
  EXPECT_FALSE(g.ReactivationPredicate());
  EXPECT_FALSE(g.ReactivationFunction());
  EXPECT_EQ(g.SampleDistribution(), 0);
  EXPECT_FALSE(g.EnablingChange());
  EXPECT_EQ(g.Probability(&a), 0.0);
  g.Fire();
  EXPECT_EQ(a.fired, 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(g.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "This program has entered into an inconsistant state. Please report this bug.\n");
}
