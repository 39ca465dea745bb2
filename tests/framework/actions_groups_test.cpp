// Actions, activities, Erlang phases, reward-variable sets, and the groups
// with their weighted, rank-aware selection.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Activity.h"
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
  double ErlangParamM() override { return phases; }
  double phases = 1;
};

// A generated-style activity: Enabled() keeps the previous flag.
class Act : public Activity {
 public:
  Act(const char* name, bool enabled, double weight, int rank)
      : Activity(name, 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false),
        enabled_(enabled),
        weight_(weight),
        rank_(rank) {}
  bool Enabled() override {
    PreviousEnabledFlag = EnabledFlag;
    EnabledFlag = enabled_;
    return EnabledFlag;
  }
  double Weight() override { return weight_; }
  int Rank() override { return rank_; }
  double Rate() override { return 0.5; }
  void Fire() override { fired++; }
  void LinkVariables() override {}
  bool enabled_;
  double weight_;
  int rank_;
  int fired = 0;
};

// An activity that overrides only what every activity must.
class Bare : public Activity {
 public:
  void Fire() override {}
  void LinkVariables() override {}
};

// Makes the group selection draw a chosen number for the scope's lifetime.
class FixedDraw : public RandomNumberGenerator {
 public:
  explicit FixedDraw(double v) : value(v), saved_(TheDistribution->generator) { TheDistribution->generator = this; }
  ~FixedDraw() override { TheDistribution->generator = saved_; }
  double rnd() override { return value; }
  double value;

 private:
  RandomNumberGenerator* saved_;
};

// A group initialised for its members, appended in order.
void fill(BaseGroupClass& g, std::initializer_list<BaseGroupClass*> members) {
  g.initialize(static_cast<int>(members.size()), "g");
  for (auto* m : members) g.appendGroup(m);
}

const char kInconsistent[] = "This program has entered into an inconsistant state. Please report this bug.\n";

}  // namespace

// ---------------------------------------------------------------- actions

TEST(ActionTest, Defaults) {
  Plain a, b;
  EXPECT_STREQ(a.getName(), "default");
  EXPECT_EQ(a.DistributionType, 1);
  EXPECT_EQ(a.ExecutionPolicy, 1);
  EXPECT_EQ(a.Phase, 1);
  EXPECT_TRUE(a.Disabled);
  EXPECT_EQ(a.Probability(&b), 1.0);
  EXPECT_TRUE(a.IsAMember(&a));
  EXPECT_FALSE(a.IsAMember(&b));
  // Numbers come from the reward model that holds the action.
  EXPECT_EQ(a.ActionNumber, 0);
  EXPECT_EQ(b.ActionNumber, 0);
  EXPECT_EQ(TheDistribution, static_cast<Distributions*>(&TheGenerator));
}

TEST(ActionTest, ErlangPhases) {
  Plain a;
  a.phases = 3;
  a.ResetPhase();
  a.Age();
  EXPECT_FALSE(a.ReadyToFire());
  a.Age();
  EXPECT_TRUE(a.ReadyToFire());
  a.ResetPhase();
  EXPECT_EQ(a.Phase, 1);
}

TEST(ActionTest, StateVariableListsAreSets) {
  Plain a;
  Place p("p"), q("q");
  a.addEnablingSV(&p);
  a.addEnablingSV(&p);
  a.addEnablingSV(&q);
  EXPECT_EQ(a.EnablingSVs.getNumItems(), 2);
  a.removeEnablingSV(&p);
  EXPECT_EQ(a.EnablingSVs[0], &q);
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
            "********* fail**********\n\nEnabled by:\n\n           up\nAffects:\n\n           up\n"
            "           down\nGroup ID = 4\nExecution Policy = 1\nDisabled = 0\nReactivation = 0\n"
            "DistributionType = 18\n");
}

TEST(ActionTest, RewardSetsAllocation) {
  Plain a;
  a.AllocatePVRateDS(3);
  a.AllocatePVImpulseDS(2);
  ASSERT_TRUE(a.IsPVRateDSAllocated() && a.IsPVImpulseDSAllocated());
  EXPECT_TRUE(a.PVRateDS[2].empty());
  EXPECT_TRUE(a.PVImpulseDS[1].empty());
  EXPECT_EQ(a.PVImpulseWorkers[1], nullptr);
  EXPECT_EQ(a.PVImpulseWorkerCounts[1], nullptr);
  a.AllocatePVRateDS(1);  // replaces the old sets; AddressSanitizer sees leaks
  a.DeallocatePVImpulseDS();
  EXPECT_FALSE(a.IsPVImpulseDSAllocated());
}  // the rest goes with the destructor

// ---------------------------------------------------------------- activities

TEST(ActivityTest, OwnGroupWithProbabilityOne) {
  Act a("a", true, 1, 1), b("b", true, 1, 1);
  EXPECT_EQ(a.getSelectedAction(), &a);
  EXPECT_EQ(a.Probability(&a), 1.0);
  EXPECT_EQ(a.Probability(&b), 0.0);
  EXPECT_TRUE(a.SelectAction());
  a.setGroupId(7);
  EXPECT_EQ(a.GroupId, 7);
}

TEST(ActivityTest, EnablingChangeComparesTheLastTwoEvaluations) {
  Act a("a", false, 1, 1);
  EXPECT_FALSE(a.EnablingChange());
  a.enabled_ = true;
  EXPECT_TRUE(a.EnablingChange());
  EXPECT_FALSE(a.EnablingChange());
  a.enabled_ = false;
  EXPECT_TRUE(a.EnablingChange());
}

TEST(ActivityTest, UnoverriddenTimingIsZeroNotARecursion) {
  Bare a;
  EXPECT_EQ(a.Weight(), 0);
  EXPECT_EQ(a.Rate(), 0);
  EXPECT_EQ(a.Rank(), 0);
  EXPECT_EQ(a.SampleDistribution(), 0);
}

// ---------------------------------------------------------------- weights and selection

TEST(GroupSelectionTest, NothingEnabled) {
  FixedDraw draw(0.0);  // a zero draw must not turn the -1 into a selection
  Act a("a", false, 1, 1), b("b", false, 2, 1);
  a.Disabled = b.Disabled = false;
  PostselectGroup g;
  fill(g, {&a, &b});
  EXPECT_EQ(g.CalculateWeightDistribution(), -1);
  EXPECT_FALSE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), nullptr);
  EXPECT_TRUE(a.Disabled && b.Disabled);
}

TEST(GroupSelectionTest, HighestRankCompetes) {
  Act a("a", true, 5, 1), b("b", true, 1, 2), c("c", true, 3, 2), d("d", true, 9, 1);
  BaseGroupClass g;
  fill(g, {&a, &b, &c, &d});
  EXPECT_EQ(g.CalculateWeightDistribution(), 4);
  ASSERT_EQ(g.getNumEntries(), 2);
  EXPECT_EQ(g.getWeightEntry(0).cumulativeWeight, 1);
  EXPECT_EQ(g.getWeightEntry(1).cumulativeWeight, 4);
  EXPECT_EQ(g.getWeightEntry(1).member, &c);
  EXPECT_FALSE(b.Disabled || c.Disabled);
  EXPECT_TRUE(d.Disabled);
  EXPECT_DOUBLE_EQ(g.Probability(&c), 0.75);
  EXPECT_EQ(g.Probability(&a), 0.0);
  EXPECT_EQ(g.Probability(&g), 0.0);  // held by no member
}

TEST(GroupSelectionTest, RankZeroCompetesOnlyAlone) {
  Act zero("zero", true, 2, 0), one("one", true, 3, 1);
  BaseGroupClass g;
  fill(g, {&zero, &one});
  EXPECT_EQ(g.Probability(&zero), 0.0);
  one.enabled_ = false;
  EXPECT_EQ(g.Probability(&zero), 1.0);
}

TEST(GroupSelectionTest, DrawOnACumulativeWeightPicksTheNextEntry) {
  Act a("a", true, 5, 1), b("b", true, 1, 2), c("c", true, 3, 2);
  BaseGroupClass g;
  fill(g, {&a, &b, &c});
  FixedDraw draw(0.25);  // x = 4 * 0.25 = 1.0, exactly the first entry's weight
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), &c);
  draw.value = 0.2499;
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(g.getSelectedAction(), &b);
  // Cumulative weights 1..7: x on entry k's weight picks entry k + 1.
  Act m[7] = {{"m", true, 1, 1}, {"m", true, 1, 1}, {"m", true, 1, 1}, {"m", true, 1, 1},
              {"m", true, 1, 1}, {"m", true, 1, 1}, {"m", true, 1, 1}};
  BaseGroupClass seven;
  fill(seven, {&m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6]});
  ASSERT_EQ(seven.CalculateWeightDistribution(), 7);
  for (int k = 0; k < 7; k++) {
    EXPECT_EQ(seven.findEntry(k + 0.5), k);
    EXPECT_EQ(seven.findEntry(k + 1.0), std::min(k + 1, 6));
  }
}

TEST(GroupSelectionTest, NestedGroupChoosesItsOwnMember) {
  FixedDraw draw(0.9);
  Act a("a", true, 1, 1), b("b", true, 1, 1);
  PostselectGroup inner;
  fill(inner, {&a, &b});
  BaseGroupClass outer;
  fill(outer, {&inner});
  EXPECT_TRUE(outer.SelectAction());
  EXPECT_EQ(outer.getSelectedAction(), &b);
  EXPECT_DOUBLE_EQ(outer.Probability(&b), 0.5);
  outer.Fire();
  EXPECT_EQ(b.fired, 1);
  EXPECT_EQ(outer.getSelectedAction(), nullptr);
}

TEST(GroupSelectionTest, CaseGroupProbabilities) {
  Act c1("c1", true, 0.3, 1), c2("c2", true, 0.7, 1);
  PostselectGroup g;
  fill(g, {&c1, &c2});
  EXPECT_DOUBLE_EQ(g.Probability(&c2), 0.7);
  c1.enabled_ = false;
  EXPECT_DOUBLE_EQ(g.Probability(&c2), 1.0);
}

TEST(GroupSelectionTest, ZeroTotalWeightIsReported) {
  Act a("a", true, 0, 1), b("b", true, 0, 1);
  BaseGroupClass g;
  fill(g, {&a, &b});
  testing::internal::CaptureStdout();
  double p = g.Probability(&a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BaseGroupClass::Probability() TotalWeight is zero.\n");
  EXPECT_TRUE(std::isnan(p));
}

// ---------------------------------------------------------------- member arrays

TEST(GroupMembersTest, Growth) {
  Act a("a", true, 1, 1), b("b", true, 1, 1), c("c", true, 1, 1);
  BaseGroupClass g;
  fill(g, {&a, &b});
  g.appendGroup(&c);
  EXPECT_EQ(g.getCapacity(), 3);
  EXPECT_EQ(g.getMember(2), &c);
  EXPECT_EQ(g.CalculateWeightDistribution(), 3);  // the weights grew too

  BaseGroupClass h;
  fill(h, {&a});
  h.appendMembers(&g);
  EXPECT_EQ(h.getCapacity(), 4);
  EXPECT_EQ(h.getMember(3), &c);
  h.enlargeArrays(1);  // never drops members
  EXPECT_EQ(h.getCapacity(), 4);
  h.replaceMember(&c, &b);
  EXPECT_EQ(h.getMember(3), &b);
}

TEST(GroupMembersTest, SetMemberOutOfRangeIsReported) {
  PostselectGroup g(2);
  EXPECT_EQ(g.getNumMembers(), 2);
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
  EXPECT_EQ(g.getMember(1), &b);
  g.setGroupId(5);
  EXPECT_EQ(b.GroupId, 5);
}

TEST(GroupListingTest, PrintInfoAndNestedMembers) {
  Act a("a", true, 1, 1), b("b", true, 1, 1), c("c", true, 1, 1);
  PostselectGroup inner;
  fill(inner, {&a, &b});
  inner.defineName("inner");
  BaseGroupClass outer;
  fill(outer, {&c, &inner});
  outer.defineName("outer");
  FixedDraw draw(0.1);
  ASSERT_TRUE(outer.SelectAction());
  testing::internal::CaptureStdout();
  outer.PrintInfo();
  outer.printGroup();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "************ Group: outer ****************\nContains the following actions:\n  c\n  inner\n"
            "Selected Action = c\n"
            "** Members of Group outer\n[0] c\n[1] inner\n  [1.0] a\n  [1.1] b\n");
}

// ---------------------------------------------------------------- group kinds

TEST(PostselectGroupTest, FireSelectsThenFiresTheCase) {
  Act c1("c1", true, 0.25, 1), c2("c2", true, 0.75, 1);
  PostselectGroup g;
  fill(g, {&c1, &c2});
  EXPECT_EQ(g.Weight(), 1);
  EXPECT_EQ(g.Rank(), 1);
  FixedDraw draw(0.5);
  g.Fire();
  EXPECT_EQ(c2.fired, 1);
  EXPECT_EQ(g.getSelectedAction(), nullptr);
}

TEST(PreselectGroupTest, SelectsWhenAskedAndAgainAfterFiring) {
  Act a("a", true, 1, 3), b("b", true, 1, 3);
  PreselectGroup g(2);
  g.appendGroup(&a);
  g.appendGroup(&b);
  FixedDraw draw(0.9);
  EXPECT_EQ(g.Rank(), 3);
  EXPECT_FALSE(g.SelectionPending);
  draw.value = 0.1;
  EXPECT_TRUE(g.Enabled());
  EXPECT_EQ(g.getSelectedAction(), &b);  // no new selection while one stands
  g.Fire();
  EXPECT_EQ(b.fired, 1);
  EXPECT_TRUE(g.SelectionPending);
  g.Enabled();
  EXPECT_EQ(g.getSelectedAction(), &a);
  a.enabled_ = b.enabled_ = false;
  g.Fire();
  EXPECT_FALSE(g.Enabled());
  EXPECT_TRUE(g.SelectionPending);
}

TEST(SingleGroupTest, AnswersForItsAction) {
  Act a("a", true, 2, 3);
  a.Reactivation = true;
  SingleGroup g;
  g.SetAction(&a);
  EXPECT_EQ(g.getMember(0), &a);
  EXPECT_TRUE(g.Enabled());
  EXPECT_TRUE(g.EnablingChange());
  EXPECT_EQ(g.Weight(), 2);
  EXPECT_EQ(g.Rank(), 3);
  EXPECT_EQ(g.Probability(&a), 1.0);
  EXPECT_EQ(g.Probability(&g), 0.0);

  testing::internal::CaptureStderr();
  EXPECT_TRUE(g.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kInconsistent);
  EXPECT_EQ(g.getSelectedAction(), &a);
  EXPECT_FALSE(a.Disabled || g.Disabled);
  EXPECT_TRUE(g.Reactivation);
  a.enabled_ = false;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(g.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kInconsistent);
}

TEST(SingleGroupTest, NullGroupGivesAnEmptyHarmlessGroup) {
  SingleGroup g(nullptr);
  EXPECT_EQ(g.getNumMembers(), 0);
  EXPECT_STREQ(g.getName(), "default");
  EXPECT_FALSE(g.Enabled());
  EXPECT_EQ(g.Rate(), 0);
  g.Fire();
  PostselectGroup cases;
  cases.initialize(1, "cases");
  SingleGroup wrapper(&cases);
  EXPECT_STREQ(wrapper.getName(), "cases");
  EXPECT_EQ(wrapper.getMember(0), &cases);
}

TEST(EmptyGroupTest, NeverDoesAnything) {
  Act a("a", true, 1, 1);
  EmptyGroup g;
  g.SetAction(&a);
  EXPECT_STREQ(g.getName(), "ImmediateGroup");
  EXPECT_EQ(g.getNumMembers(), 0);
  EXPECT_FALSE(g.Enabled());
  EXPECT_EQ(g.Rate() + g.Weight() + g.Rank() + g.SampleDistribution() + g.Probability(&a), 0);
  g.Fire();
  EXPECT_EQ(a.fired, 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(g.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kInconsistent);
}
