#ifndef REWARD_TEST_MODELS_H
#define REWARD_TEST_MODELS_H

// Small reward models for the tests of the reward-variable framework, written
// the way the model generator writes them (nodes that create their workers,
// workers with typed model slots, impulse classes that create their workers),
// over the model family of TestModels.h plus a model with a case activity.

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "ImpulseNodeClass.h"
#include "InstantOfTime.h"
#include "PVModel.h"
#include "PerformanceVariableNode.h"
#include "PostselectGroup.h"
#include "TestModels.h"

namespace rewardtest {

using testmodels::PairSAN;

// An atomic model with a case activity: "fail" completes with case 1 (a
// harmless hit: hits += 1) or case 2 (ok -= 1, broken += 1); "repair"
// (broken > 0: broken -= 1, ok += 1) is a plain activity.
class CaseSAN : public SANModel {
 public:
  class failCase : public Activity {
   public:
    CaseSAN* m = nullptr;
    int which;
    failCase(const char* name, int which) : which(which) {
      ActivityInitialize(name, 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
    }
    bool Enabled() override { return EnabledFlag = m->ok->getMark() > 0; }
    double Weight() override { return 0.5; }
    double Rate() override { return 1.0; }
    void Fire() override {
      if (which == 1) {
        m->hits->setMark(testmodels::plus(m->hits->getMark(), 1));
      } else {
        m->ok->setMark(testmodels::plus(m->ok->getMark(), -1));
        m->broken->setMark(testmodels::plus(m->broken->getMark(), 1));
      }
    }
    void LinkVariables() override {}
  };
  class repairActivity : public Activity {
   public:
    CaseSAN* m = nullptr;
    repairActivity() { ActivityInitialize("repair", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false); }
    bool Enabled() override { return EnabledFlag = m->broken->getMark() > 0; }
    double Rate() override { return 2.0; }
    void Fire() override {
      m->broken->setMark(testmodels::plus(m->broken->getMark(), -1));
      m->ok->setMark(testmodels::plus(m->ok->getMark(), 1));
    }
    void LinkVariables() override {}
  };

  failCase fail_case1{"fail_case1", 1};
  failCase fail_case2{"fail_case2", 2};
  repairActivity repair;
  PostselectGroup failGroup;
  Place* ok = nullptr;
  Place* broken = nullptr;
  Place* hits = nullptr;

  explicit CaseSAN(short okInit = 1) {
    fail_case1.m = fail_case2.m = repair.m = this;
    failGroup.initialize(2, "failGroup");
    failGroup.appendGroup(&fail_case1);
    failGroup.appendGroup(&fail_case2);
    ok = new Place("ok", okInit);
    broken = new Place("broken", 0);
    hits = new Place("hits", 0);
    BaseStateVariableClass* places[] = {ok, broken, hits};
    Activity* activities[] = {&fail_case1, &fail_case2, &repair};
    BaseGroupClass* groups[] = {&failGroup, &repair};
    initializeSANModelNow("case", 3, places, 0, nullptr, 3, activities, 2, groups);
    AddAffectArc(hits, &fail_case1);
    AddAffectArc(ok, &fail_case2);
    AddAffectArc(broken, &fail_case2);
    AddAffectArc(ok, &repair);
    AddAffectArc(broken, &repair);
    AddEnableArc(ok, &fail_case1);
    AddEnableArc(ok, &fail_case2);
    AddEnableArc(broken, &repair);
  }
  ~CaseSAN() override {
    for (int i = 0; i < getNumPlaces(); i++) delete Places[i];
  }
};

// A Rep of n copies of S without shared variables; every copy is named
// `replicaName`.
template <class S>
class PlainRep : public Rep {
 public:
  std::vector<S*> copies;
  PlainRep(const char* name, int n, const char* replicaName) : Rep(name, n, 0, nullptr) {
    for (int i = 0; i < n; i++) {
      copies.push_back(new S());
      Children[i] = copies.back();
    }
    SetupActions();
    if (n > 0) Setup(replicaName);
  }
  ~PlainRep() override {
    for (S* c : copies) delete c;
  }
};

// A Join without shared variables that owns its children.
class PlainJoin : public Join {
 public:
  std::vector<BaseModelClass*> kids;
  PlainJoin(const char* name, std::initializer_list<BaseModelClass*> children)
      : Join(name, static_cast<int>(children.size()), 0, nullptr), kids(children) {
    for (size_t i = 0; i < kids.size(); i++) Children[i] = kids[i];
    SetupActions();
    Setup();
  }
  ~PlainJoin() override {
    for (BaseModelClass* k : kids) delete k;
  }
};

// A worker whose slots are untyped: slot d holds the instance of model
// dependency d; the reward function is given those instances.
using RewardFn = std::function<double(const std::vector<BaseModelClass*>&)>;

class FnWorker : public InstantOfTime {
 public:
  std::vector<BaseModelClass*> models;
  RewardFn fn;
  FnWorker(int slots, RewardFn f) : models(static_cast<size_t>(slots)), fn(std::move(f)) {
    for (BaseModelClass*& m : models) ModelSlots.emplace_back(&m);
    NumModelSlots = slots;
  }
  double Reward_Function() override { return fn(models); }
};

// A worker with one typed slot, as the generator writes them.
class PairWorker : public InstantOfTime {
 public:
  PairSAN* pair = nullptr;
  PairWorker() { BindModelSlots(&pair); }
  double Reward_Function() override { return pair->local->getMark(); }
};

// A node: name, time points, dependencies and impulses given by the test.
class TestNode : public PerformanceVariableNode {
 public:
  BaseModelClass* TheModelPtr = nullptr;
  RewardFn fn;
  bool typedWorkers = false;
  int timeIndex;
  bool* destroyed = nullptr;

  TestNode(const char* name, std::vector<double> times, int t, RewardFn f,
           std::vector<std::pair<const char*, const char*>> varDeps = {}, std::vector<const char*> modelDeps = {},
           int impulseCapacity = 0)
      : fn(std::move(f)), timeIndex(t) {
    TopModelRef = &TheModelPtr;
    Initialize(name, Instant_Of_Time, static_cast<int>(times.size()), times.data(), times.data(), t, impulseCapacity,
               static_cast<int>(modelDeps.size()), static_cast<int>(varDeps.size()));
    for (auto& d : varDeps) AddVariableDependency(d.first, d.second);
    for (const char* m : modelDeps) AddModelDependency(m);
  }
  ~TestNode() override {
    for (int i = 0; i < NumWorkers; i++) delete Workers[i];
    if (destroyed) *destroyed = true;
  }
  void CreateWorkerList() override {
    for (int i = 0; i < NumWorkers; i++) {
      if (typedWorkers)
        Workers[i] = new PairWorker();
      else
        Workers[i] = new FnWorker(NumModelDeps, fn);
    }
  }
};

// An impulse on a CaseSAN action: earns 1 + 10 x (hits of the instance that
// fired) + the sum of the ok markings of its other dependency instances.
// Every evaluation is recorded, so that tests can see which worker earned it.
class CaseImpulse : public ImpulseNodeClass {
 public:
  std::vector<BaseModelClass*> deps;
  std::vector<const ImpulseNodeClass*>* log = nullptr;

  CaseImpulse(int numDeps, std::vector<const ImpulseNodeClass*>* evaluations)
      : ImpulseNodeClass(numDeps), deps(static_cast<size_t>(numDeps)), log(evaluations) {
    for (BaseModelClass*& m : deps) ModelSlots.emplace_back(&m);
    NumModelSlots = numDeps;
  }
  double Impulse_Function() override {
    double v = 1 + 10 * static_cast<CaseSAN*>(Model)->hits->getMark();
    for (BaseModelClass* m : deps)
      if (m != Model) v += static_cast<CaseSAN*>(m)->ok->getMark();
    return v;
  }
  void Accumulate(double) override {}
  void ResetAccumulation() override {}
  void EvaluateImpulse() override {
    Value = Impulse_Function();
    ValueSquared = Value * Value;
    if (log) log->push_back(this);
  }
  bool IsActiveAt(double) override { return true; }
  ImpulseNodeClass** CreateImpulseWorkers(int count) override {
    auto** workers = new ImpulseNodeClass*[static_cast<size_t>(count)];
    for (int k = 0; k < count; k++) workers[k] = new CaseImpulse(NumDeps, log);
    return workers;
  }
};

// A reward model over a given composed model; the nodes come from a factory.
class TestPVModel : public PVModel {
 public:
  using Factory = std::function<PerformanceVariableNode*(int, int)>;
  Factory factory;
  std::vector<std::pair<int, int>> created;  // (pv, time index) of createPVNode calls

  TestPVModel(BaseModelClass* model, int numPVs, bool expand, Factory f, int indexMode = 0) : factory(std::move(f)) {
    TheModel = model;
    DefineName("test_rewardPVModel");
    IndexMode = indexMode;
    CreatePVList(numPVs, expand);
    Initialize();
  }
  PerformanceVariableNode* createPVNode(int pv, int t) override {
    created.emplace_back(pv, t);
    return factory(pv, t);
  }
};

}  // namespace rewardtest

#endif
