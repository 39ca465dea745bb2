// The reward model's list of reward-variable nodes, its PV type file, the
// optional last-fired-action suffix of the state vector and the release of
// everything it owns.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExpectGenError.h"
#include "RewardTestModels.h"
#include "TestSupport.h"

using namespace rewardtest;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

double zero(const std::vector<BaseModelClass*>&) { return 0.0; }

// A factory of nodes without dependencies, named "v<p>", with the given time
// points.
TestPVModel::Factory named(int numPVs, std::vector<double> times) {
  return [numPVs, times](int p, int t) -> PerformanceVariableNode* {
    if (p < 0 || p >= numPVs) return nullptr;
    return new TestNode(testsupport::numbered("v", p).c_str(), times, t, zero);
  };
}

TEST(PVList, OneNodePerVariableWhenNotExpanded) {
  TestPVModel pv(new PairSAN(), 2, false, named(2, {30, 180, 365}));
  ASSERT_EQ(pv.NumPVNodes, 2);
  EXPECT_EQ(pv.created, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}}));
  EXPECT_DOUBLE_EQ(pv.PVList[1]->TimeStart, 30.0);
}

TEST(PVList, ExpandedVariableGetsOneNodePerTimePoint) {
  TestPVModel pv(new PairSAN(), 1, true, named(1, {30, 180, 365}));
  ASSERT_EQ(pv.NumPVNodes, 3);
  EXPECT_EQ(pv.created, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}}));
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(pv.PVList[i]->PVId, i);
    EXPECT_EQ(static_cast<TestNode*>(pv.PVList[i])->timeIndex, i);
  }
  EXPECT_DOUBLE_EQ(pv.PVList[2]->TimeStart, 365.0);
}

TEST(PVList, GrowsPastOneHundredNodesKeepingOrder) {
  TestPVModel pv(new PairSAN(), 150, false, named(150, {1.0}));
  ASSERT_EQ(pv.NumPVNodes, 150);
  for (int i = 0; i < 150; i++) {
    EXPECT_EQ(std::string(pv.PVList[i]->Name), testsupport::numbered("v", i));
    EXPECT_EQ(pv.PVList[i]->PVId, i);
  }
  TestPVModel expanded(new PairSAN(), 45, true, named(45, {1, 2, 3}));
  ASSERT_EQ(expanded.NumPVNodes, 135);
  for (int i = 0; i < 135; i++) {
    EXPECT_EQ(std::string(expanded.PVList[i]->Name), testsupport::numbered("v", i / 3));
    EXPECT_EQ(static_cast<TestNode*>(expanded.PVList[i])->timeIndex, i % 3);
  }
}

TEST(PVListDeathTest, ConsideringANodeThatDoesNotExistIsRefused) {
  TestPVModel pv(new PairSAN(), 1, false, named(1, {1.0}));
  int indices[] = {0, 1};
  EXPECT_DEATH(pv.ConsiderOnly(indices, 2), "NumPVNodes");
}

// The failure leaves the constructor of the reward model; what it had built
// is released on the way (the sanitizer build checks that).
TEST(PVList, VariableWithoutItsModelFailsTheRewardModel) {
  auto makeModel = [] {
    TestPVModel pv(new PlainJoin("top", {new PairSAN()}), 1, false, [](int, int) -> PerformanceVariableNode* {
      return new TestNode("v0", {1.0}, 0, zero, {}, {"nothere"});
    });
  };
  expectGenError(makeModel, "Number of nothere's was 0.  Model cannot be created.\nModel Name was: top\n.");
}

TEST(PVList, NoRewardVariablesLinksNothing) {
  auto* model = new PairSAN();
  TestPVModel pv(model, 0, false, named(0, {}));
  EXPECT_EQ(pv.NumPVNodes, 0);
  EXPECT_EQ(pv.PVAffectingActions, nullptr);
  EXPECT_EQ(pv.PVAffectedSets, nullptr);
  EXPECT_EQ(pv.NumPVAffectingActions, 0);
  EXPECT_EQ(pv.RateDSCount + pv.ImpulseDSCount, 0);
  EXPECT_TRUE(model->inc.IsPVRateDSAllocated());
  EXPECT_TRUE(model->inc.IsPVImpulseDSAllocated());
  pv.ConsiderOnly(nullptr, 0);
  std::vector<char> next(static_cast<size_t>(pv.StateSize()));
  pv.FireAction(next.data(), &model->inc);
  EXPECT_EQ(model->local->getMark(), 1);
}

// --- PV type file ------------------------------------------------------------

TEST(PVTypeFile, ListsEveryTimePointOfTheVariable) {
  TempDir dir;
  TestPVModel pv(new PairSAN(), 1, false, [](int p, int t) -> PerformanceVariableNode* {
    return p == 0 ? new TestNode("reliability", {30, 180, 365}, t, zero) : nullptr;
  });
  pv.WritePVTypeFile(dir.file("m.pvtype").c_str());
  EXPECT_EQ(readFile(dir.file("m.pvtype")),
            "Version:1\nNumPV:1\nName:reliability\nType:0\nNumTimes:3\n"
            "Start:30\nStop:30\nStart:180\nStop:180\nStart:365\nStop:365\n");
}

TEST(PVTypeFile, ExpandedNodesEachListAllTimePoints) {
  TempDir dir;
  TestPVModel pv(new PairSAN(), 1, true, [](int p, int t) -> PerformanceVariableNode* {
    if (p != 0) return nullptr;
    double start[] = {0.5, 2, 1234567};
    double stop[] = {1.25, 2, 0.1};
    auto* n = new TestNode("x", {}, t, zero);
    n->Initialize("r", 0, 3, start, stop, t, 0, 0, 0);
    return n;
  });
  pv.WritePVTypeFile(dir.file("e.pvtype").c_str());
  std::string node =
      "Name:r\nType:0\nNumTimes:3\nStart:0.5\nStop:1.25\nStart:2\nStop:2\n"
      "Start:1.23457e+06\nStop:0.1\n";
  EXPECT_EQ(readFile(dir.file("e.pvtype")), "Version:1\nNumPV:3\n" + node + node + node);
}

TEST(PVTypeFile, WithoutRewardVariablesHasTwoLines) {
  TempDir dir;
  TestPVModel pv(new PairSAN(), 0, false, named(0, {}));
  pv.WritePVTypeFile(dir.file("n.pvtype").c_str());
  EXPECT_EQ(readFile(dir.file("n.pvtype")), "Version:1\nNumPV:0\n");
}

TEST(PVTypeFile, UnopenableOrUnwritableFileStopsTheRun) {
  TempDir dir;
  TestPVModel pv(new PairSAN(), 1, false, named(1, {1.0}));
  std::string path = dir.file("missing/dir/x.pvtype");
  expectGenError([&] { pv.WritePVTypeFile(path.c_str()); },
                 "Error: Could not open pvtype file " + path + ": No such file or directory");
  EXPECT_FALSE(fileExists(path));
  expectGenError([&] { pv.WritePVTypeFile("/dev/full", "out/x.pvtype"); },
                 "Error: writing output file out/x.pvtype failed: No space left on device");
}

// --- last-fired-action suffix -------------------------------------------------

TEST(StateIndex, SuffixRecordsTheLastActionFired) {
  auto* model = new PairSAN();
  TestPVModel pv(model, 1, false, named(1, {1.0}), 1);
  pv.ConsiderOnly(nullptr, 0);
  EXPECT_EQ(pv.ModelStateSize, model->StateSize());
  ASSERT_EQ(pv.IndexBytes, 1);
  EXPECT_EQ(pv.StateSize(), model->StateSize() + 1);
  EXPECT_EQ(pv.NumIndexActions, 2);

  std::vector<char> a(static_cast<size_t>(pv.StateSize()));
  std::vector<char> initial = a;
  pv.CurrentState(initial.data());
  std::vector<char> b(a.size());
  pv.FireAction(a.data(), &model->dec);  // dec is action 2
  EXPECT_EQ(a.back(), 2);
  model->local->setMark(0);
  pv.FireAction(b.data(), &model->inc);
  model->local->setMark(0);
  model->shared->setMark(0);  // inc adds to both places
  pv.FireAction(a.data(), &model->inc);
  EXPECT_TRUE(pv.CompareState(a.data(), b.data()));
  b.back() = 2;
  EXPECT_FALSE(pv.CompareState(a.data(), b.data()));

  pv.AgeAction(b.data(), nullptr);
  EXPECT_EQ(pv.LastActionFired, &model->dec);
  pv.SetState(initial.data());  // the suffix is not read back
  EXPECT_EQ(pv.LastActionFired, &model->dec);
  EXPECT_EQ(model->local->getMark(), 0);
  pv.FireAction(a.data(), &pv.NoActionFiredYet);
  EXPECT_EQ(a.back(), 0);
  pv.AgeAction(a.data(), &model->inc);
  EXPECT_EQ(pv.LastActionFired, &pv.NoActionFiredYet);
}

// --- release ------------------------------------------------------------------

class FlaggedSAN : public PairSAN {
 public:
  explicit FlaggedSAN(bool* flag) : flag_(flag) {}
  ~FlaggedSAN() override { *flag_ = true; }

 private:
  bool* flag_;
};

TEST(Release, DestructorReleasesNodesAndTheComposedModel) {
  bool modelGone = false;
  bool node0Gone = false;
  bool node1Gone = false;
  {
    auto* model = new FlaggedSAN(&modelGone);
    model->DefineName("A");
    TestPVModel pv(model, 2, false, [&](int p, int t) -> PerformanceVariableNode* {
      if (p > 1) return nullptr;
      auto* n = new TestNode("v", {1.0}, t, zero, {{"local", "A"}});
      n->typedWorkers = true;
      n->destroyed = p == 0 ? &node0Gone : &node1Gone;
      return n;
    });
    EXPECT_TRUE(model->inc.IsPVRateDSAllocated());
  }
  EXPECT_TRUE(modelGone);
  EXPECT_TRUE(node0Gone);
  EXPECT_TRUE(node1Gone);
}

TEST(Release, DestructIsIdempotent) {
  TestPVModel pv(new PairSAN(), 1, false, named(1, {1.0}));
  pv.Destruct();
  EXPECT_EQ(pv.TheModel, nullptr);
  EXPECT_EQ(pv.PVList, nullptr);
  EXPECT_EQ(pv.NumPVNodes, 0);
  EXPECT_EQ(pv.Actions, nullptr);
  EXPECT_EQ(pv.LastActionFired, &pv.NoActionFiredYet);
}

}  // namespace
