#ifndef GENERATOR_TEST_MODELS_H
#define GENERATOR_TEST_MODELS_H

// Small hand-built models for the generator tests. A FlatModel holds a row
// of 16-bit markings (its state vector is exactly those markings) and the
// activities of the test; every activity's enabling, firing, rate, weight and
// rank are given by the test. A TestModel wraps it in a reward model with
// optional reward variables that read the markings, and runs the real
// generator over it.

#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Activity.h"
#include "BaseModelClass.h"
#include "GenError.h"
#include "GenOptions.h"
#include "GenerationRun.h"
#include "InstantOfTime.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"
#include "PostselectGroup.h"
#include "TestSupport.h"

namespace gentest {

class FlatModel : public BaseModelClass {
 public:
  explicit FlatModel(std::vector<short> initial) : mark(std::move(initial)) {
    DefineName("flat");
    NumStateVariables = static_cast<int>(mark.size());
  }

  void publish() {
    NumActions = static_cast<int>(actions.size());
    Actions = actions.empty() ? nullptr : actions.data();
    NumGroups = static_cast<int>(groups.size());
    Groups = groups.empty() ? nullptr : groups.data();
  }

  void listModels(const char* n, List<BaseModelClass>* out) override {
    if (n && std::strcmp(n, Name) == 0) out->append(this);
  }
  void CurrentState(void* dest) override {
    if (!mark.empty()) std::memcpy(dest, mark.data(), sizeof(short) * mark.size());
  }
  void SetState(void* src) override {
    if (!mark.empty()) std::memcpy(mark.data(), src, sizeof(short) * mark.size());
  }
  int StateSize() override { return static_cast<int>(sizeof(short) * mark.size()); }
  bool CompareState(void* a, void* b) override { return std::memcmp(a, b, static_cast<std::size_t>(StateSize())) == 0; }
  void listActions(List<BaseActionClass>* out) override {
    for (BaseActionClass* a : actions) out->append(a);
  }
  void listGroups(List<BaseGroupClass>* out) override {
    for (BaseGroupClass* g : groups) out->append(g);
  }
  void listActions(const char* n, List<BaseActionClass>* out) override {
    for (BaseActionClass* a : actions)
      if (std::strcmp(a->getName(), n) == 0) {
        out->append(a);
        return;
      }
  }
  void listSVs(const char*, const char*, List<BaseStateVariableClass>*, List<BaseModelClass>*) override {}
  int GetModelType() override { return 1; }
  int GetNumberOfChildren() override { return 0; }
  bool HasLocalState() override { return false; }
  void printState(std::ostream* out) override {
    *out << "flat:";
    for (short m : mark) *out << ' ' << m;
    *out << '\n';
  }

  std::vector<short> mark;
  std::vector<BaseActionClass*> actions;
  std::vector<BaseGroupClass*> groups;
  std::vector<std::unique_ptr<BaseActionClass>> owned;
};

class TestActivity : public Activity {
 public:
  TestActivity(const char* n, Distribution dist) : Activity(n, 0, dist, POLICY_DEFAULT, 0, 0, false) {}

  bool Enabled() override {
    PreviousEnabledFlag = EnabledFlag;
    EnabledFlag = enabledFn ? enabledFn() : true;
    return EnabledFlag;
  }
  double Rate() override { return rate; }
  double Weight() override { return weight; }
  int Rank() override { return rank; }
  void Fire() override {
    if (fireFn) fireFn();
  }
  void LinkVariables() override {}
  double* ReturnDistributionParameters() override { return &delay; }
  double ErlangParamM() override { return phases; }

  std::function<bool()> enabledFn;
  std::function<void()> fireFn;
  double rate = 1.0;
  double weight = 1.0;
  int rank = 0;
  double delay = 1.0;
  double phases = 1.0;
};

using RewardFn = std::function<double(const FlatModel&)>;

class TestWorker : public InstantOfTime {
 public:
  explicit TestWorker(RewardFn f) : fn(std::move(f)) { BindModelSlots(&flat); }
  double Reward_Function() override { return fn(*flat); }
  FlatModel* flat = nullptr;
  RewardFn fn;
};

class TestNode : public PerformanceVariableNode {
 public:
  TestNode(const std::string& n, RewardFn f, int timeIndex) : fn(std::move(f)) {
    static const double times[1] = {1.0};
    TopModelRef = &top;
    Initialize(n.c_str(), Instant_Of_Time, 1, times, times, timeIndex, 0, 1, 0);
    AddModelDependency("flat");
  }
  ~TestNode() override {
    for (int i = 0; i < NumWorkers; i++) delete Workers[i];
  }
  void CreateWorkerList() override {
    for (int i = 0; i < NumWorkers; i++) Workers[i] = new TestWorker(fn);
  }
  BaseModelClass* top = nullptr;
  RewardFn fn;
};

class TestPVModel : public PVModel {
 public:
  TestPVModel(FlatModel* flat, std::vector<std::pair<std::string, RewardFn>> vars) : vars_(std::move(vars)) {
    TheModel = flat;
    DefineName("testPV");
    CreatePVList(static_cast<int>(vars_.size()), false);
    Initialize();
  }
  PerformanceVariableNode* createPVNode(int p, int t) override {
    if (p < 0 || p >= static_cast<int>(vars_.size())) return nullptr;
    return new TestNode(vars_[p].first, vars_[p].second, t);
  }

 private:
  std::vector<std::pair<std::string, RewardFn>> vars_;
};

// The files and console output of one generation run.
struct RunOutput {
  std::string arm, var, det, pvtype, trace;
  bool detWritten = false;
};

class TestModel {
 public:
  explicit TestModel(std::vector<short> initial) : flat_(new FlatModel(std::move(initial))), flatView_(flat_.get()) {}

  // The model's markings stay reachable after build() hands the model over.
  FlatModel& flat() { return *flatView_; }
  short& m(int i) { return flatView_->mark[static_cast<std::size_t>(i)]; }

  // An activity that is its own group.
  TestActivity* add(const char* n, Distribution dist, double rateOrWeight, std::function<bool()> enabled,
                    std::function<void()> fire) {
    TestActivity* a = make(n, dist, rateOrWeight, std::move(enabled), std::move(fire));
    a->setGroupId(static_cast<int>(flat_->groups.size()));
    flat_->groups.push_back(a);
    return a;
  }
  // An activity that will be a case of a group made with addCases.
  TestActivity* makeCase(const char* n, Distribution dist, double weight, std::function<bool()> enabled,
                         std::function<void()> fire) {
    return make(n, dist, weight, std::move(enabled), std::move(fire));
  }
  // The case group of the given activities (in case order).
  PostselectGroup* addCases(const char* n, const std::vector<TestActivity*>& cases) {
    auto group = std::make_unique<PostselectGroup>();
    PostselectGroup* g = group.get();
    g->initialize(static_cast<int>(cases.size()), n);
    for (TestActivity* c : cases) g->appendGroup(c);
    g->setGroupId(static_cast<int>(flat_->groups.size()));
    flat_->groups.push_back(g);
    flat_->owned.push_back(std::move(group));
    return g;
  }
  void addReward(const std::string& n, RewardFn fn) { vars_.emplace_back(n, std::move(fn)); }

  PVModel* build() {
    if (!pv_) {
      flat_->publish();
      pv_ = std::make_unique<TestPVModel>(flat_.release(), vars_);
    }
    return pv_.get();
  }

  // Hands the reward model over (built if need be); the markings stay
  // reachable through flat().
  std::unique_ptr<PVModel> release() {
    build();
    return std::move(pv_);
  }

  // Runs the generator in this process, writing <dir>/t.arm etc. With a
  // maker of further instances of the model, states are expanded on
  // `threads` threads.
  RunOutput generate(const std::string& dir, short absorb = 0, int traceLevel = 0,
                     GenerationRun::RewardModelMaker second = {}, unsigned threads = 2) {
    PVModel* pv = build();
    const std::string prefix = dir + "/";
    const std::string traceName = prefix + "trace.txt";
    GenOptions options;
    options.path = prefix;
    options.name = "t";
    options.absorbing = absorb == 1;
    options.traceLevel = traceLevel;
    if (traceLevel > 0) options.traceFile = traceName;
    try {
      GenerationRun gen(pv, options, std::move(second));
      gen.setExpandingThreads(threads);
      gen.InitializeTrace();
      gen.GenStateSpace();
    } catch (...) {
      std::cout << std::defaultfloat;
      throw;
    }
    std::cout << std::defaultfloat;
    RunOutput out;
    out.arm = testsupport::readFile(prefix + "t.arm");
    out.var = testsupport::readFile(prefix + "t.var");
    out.pvtype = testsupport::readFile(prefix + "t.pvtype");
    out.detWritten = testsupport::fileExists(prefix + "t.det");
    if (out.detWritten) out.det = testsupport::readFile(prefix + "t.det");
    if (traceLevel > 0) out.trace = testsupport::readFile(traceName);
    return out;
  }

  // The failure that stops a run (with standard output captured and
  // dropped); a run that succeeds fails the test.
  GenError failure(const std::string& dir, short absorb = 0) {
    testing::internal::CaptureStdout();
    try {
      generate(dir, absorb);
    } catch (const GenError& error) {
      testing::internal::GetCapturedStdout();
      return error;
    }
    testing::internal::GetCapturedStdout();
    ADD_FAILURE() << "the run did not fail";
    return GenError("");
  }

  // The same, with standard output sent to the error stream, for death tests
  // whose messages go to standard output.
  void generateToStderr(const std::string& dir, short absorb = 0) {
    std::cout.rdbuf(std::cerr.rdbuf());
    generate(dir, absorb);
  }

 private:
  TestActivity* make(const char* n, Distribution dist, double rateOrWeight, std::function<bool()> enabled,
                     std::function<void()> fire) {
    auto activity = std::make_unique<TestActivity>(n, dist);
    TestActivity* a = activity.get();
    if (dist == DIST_INSTANTANEOUS)
      a->weight = rateOrWeight;
    else
      a->rate = rateOrWeight;
    a->enabledFn = std::move(enabled);
    a->fireFn = std::move(fire);
    flat_->actions.push_back(a);
    flat_->owned.push_back(std::move(activity));
    return a;
  }

  std::unique_ptr<FlatModel> flat_;
  FlatModel* flatView_ = nullptr;
  std::vector<std::pair<std::string, RewardFn>> vars_;
  std::unique_ptr<TestPVModel> pv_;
};

// "1", the record count and the rest of the 63-blank placeholder line.
inline std::string normalHeader(unsigned long records) {
  const std::string count = std::to_string(records);
  return "1\n" + count + "\n" + std::string(62 - count.size(), ' ') + "\n";
}

// The deterministic procedure's header over its 8-blank placeholder.
inline std::string deterministicHeader(unsigned long records) {
  const std::string count = std::to_string(records);
  std::string header = "1\n" + count + "\n";
  if (count.size() < 8) header += std::string(7 - count.size(), ' ') + "\n";
  return header;
}

}  // namespace gentest

#endif
