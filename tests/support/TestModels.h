#ifndef TEST_MODELS_H
#define TEST_MODELS_H

// A family of small hand-built models written the way the model generator
// writes them, for tests of the framework:
//
//  - PairSAN: atomic model with places "local" and "shared" and two
//    exponential activities, "inc" (local < limit: local += 1, shared += 1)
//    and "dec" (local > 0: local -= 1); each activity is its own group.
//  - FlagSAN: atomic model with places "local", "shared" and "flag", an
//    exponential "inc" (local < limit: local += 1, shared += 1), an
//    exponential "reset" (flag > 0: local := 0, flag := 0) and an
//    instantaneous "raise" (shared >= threshold and flag = 0: flag := 1).
//  - PairRep: a Rep of n PairSAN copies sharing "shared" (replica name "B").
//  - PairJoin: a Join of a PairSAN named "A" and a PairRep named "rep";
//    with shareAtJoin it shares "shared" of A with the Rep's shared place.
//
// Construction follows the generated order: activities, places,
// initializeSANModelNow, place pointers, affect arcs, enable arcs,
// LinkVariables; composers: construct, children, SetupActions, shared
// variables (addSharedPtr, ShareWith, addSharingInfo), Setup.

#include <vector>

#include "Activity.h"
#include "Join.h"
#include "Place.h"
#include "Rep.h"
#include "SANModel.h"

namespace testmodels {

inline short plus(short v, int d) { return static_cast<short>(v + d); }

class PairSAN : public SANModel {
 public:
  class incActivity : public Activity {
   public:
    Place* local = nullptr;
    short* local_Mark = nullptr;
    Place* shared = nullptr;
    short* shared_Mark = nullptr;
    short limit = 3;
    double* TheDistributionParameters;
    incActivity() {
      TheDistributionParameters = new double[1];
      ActivityInitialize("inc", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
    }
    ~incActivity() override { delete[] TheDistributionParameters; }
    bool Enabled() override {
      PreviousEnabledFlag = EnabledFlag;
      EnabledFlag = *local_Mark < limit;
      return EnabledFlag;
    }
    double Weight() override { return 1; }
    double Rate() override { return 1.0; }
    bool ReactivationPredicate() override { return false; }
    bool ReactivationFunction() override { return false; }
    double SampleDistribution() override { return 1.0 / Rate(); }
    double* ReturnDistributionParameters() override {
      TheDistributionParameters[0] = Rate();
      return TheDistributionParameters;
    }
    void Fire() override {
      *local_Mark = plus(*local_Mark, 1);
      *shared_Mark = plus(*shared_Mark, 1);
    }
    int Rank() override { return 1; }
    void LinkVariables() override {
      local->registerAlias(&local_Mark);
      shared->registerAlias(&shared_Mark);
    }
  };

  class decActivity : public Activity {
   public:
    Place* local = nullptr;
    short* local_Mark = nullptr;
    double* TheDistributionParameters;
    decActivity() {
      TheDistributionParameters = new double[1];
      ActivityInitialize("dec", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 1, 1, false);
    }
    ~decActivity() override { delete[] TheDistributionParameters; }
    bool Enabled() override {
      PreviousEnabledFlag = EnabledFlag;
      EnabledFlag = *local_Mark > 0;
      return EnabledFlag;
    }
    double Weight() override { return 1; }
    double Rate() override { return 2.0; }
    bool ReactivationPredicate() override { return false; }
    bool ReactivationFunction() override { return false; }
    double SampleDistribution() override { return 1.0 / Rate(); }
    double* ReturnDistributionParameters() override {
      TheDistributionParameters[0] = Rate();
      return TheDistributionParameters;
    }
    void Fire() override { *local_Mark = plus(*local_Mark, -1); }
    int Rank() override { return 1; }
    void LinkVariables() override { local->registerAlias(&local_Mark); }
  };

  incActivity inc;
  decActivity dec;
  Place* local = nullptr;
  Place* shared = nullptr;

  explicit PairSAN(short localInit = 0, short sharedInit = 0, short limit = 3) {
    inc.limit = limit;
    local = new Place("local", localInit);
    shared = new Place("shared", sharedInit);
    BaseStateVariableClass* places[] = {local, shared};
    Activity* activities[] = {&inc, &dec};
    BaseGroupClass* groups[] = {&inc, &dec};
    initializeSANModelNow("pair", 2, places, 0, nullptr, 2, activities, 2, groups);

    inc.local = static_cast<Place*>(Places[0]);
    inc.shared = static_cast<Place*>(Places[1]);
    dec.local = static_cast<Place*>(Places[0]);

    AddAffectArc(local, &inc);
    AddAffectArc(shared, &inc);
    AddAffectArc(local, &dec);
    AddEnableArc(local, &inc);
    AddEnableArc(local, &dec);

    inc.LinkVariables();
    dec.LinkVariables();
  }
  ~PairSAN() override {
    for (int i = 0; i < getNumPlaces(); i++) delete Places[i];
  }
};

class FlagSAN : public SANModel {
 public:
  class incActivity : public Activity {
   public:
    Place* local = nullptr;
    short* local_Mark = nullptr;
    Place* shared = nullptr;
    short* shared_Mark = nullptr;
    short limit = 2;
    double* TheDistributionParameters;
    incActivity() {
      TheDistributionParameters = new double[1];
      ActivityInitialize("inc", 0, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
    }
    ~incActivity() override { delete[] TheDistributionParameters; }
    bool Enabled() override {
      PreviousEnabledFlag = EnabledFlag;
      EnabledFlag = *local_Mark < limit;
      return EnabledFlag;
    }
    double Weight() override { return 1; }
    double Rate() override { return 1.0; }
    double SampleDistribution() override { return 1.0; }
    double* ReturnDistributionParameters() override {
      TheDistributionParameters[0] = Rate();
      return TheDistributionParameters;
    }
    void Fire() override {
      *local_Mark = plus(*local_Mark, 1);
      *shared_Mark = plus(*shared_Mark, 1);
    }
    int Rank() override { return 1; }
    void LinkVariables() override {
      local->registerAlias(&local_Mark);
      shared->registerAlias(&shared_Mark);
    }
  };

  class resetActivity : public Activity {
   public:
    Place* local = nullptr;
    short* local_Mark = nullptr;
    Place* flag = nullptr;
    short* flag_Mark = nullptr;
    double* TheDistributionParameters;
    resetActivity() {
      TheDistributionParameters = new double[1];
      ActivityInitialize("reset", 1, DIST_EXPONENTIAL, POLICY_DEFAULT, 2, 1, false);
    }
    ~resetActivity() override { delete[] TheDistributionParameters; }
    bool Enabled() override {
      PreviousEnabledFlag = EnabledFlag;
      EnabledFlag = *flag_Mark > 0;
      return EnabledFlag;
    }
    double Weight() override { return 1; }
    double Rate() override { return 0.5; }
    double SampleDistribution() override { return 2.0; }
    double* ReturnDistributionParameters() override {
      TheDistributionParameters[0] = Rate();
      return TheDistributionParameters;
    }
    void Fire() override {
      *local_Mark = 0;
      *flag_Mark = 0;
    }
    int Rank() override { return 1; }
    void LinkVariables() override {
      local->registerAlias(&local_Mark);
      flag->registerAlias(&flag_Mark);
    }
  };

  class raiseActivity : public Activity {
   public:
    Place* shared = nullptr;
    short* shared_Mark = nullptr;
    Place* flag = nullptr;
    short* flag_Mark = nullptr;
    short threshold = 2;
    raiseActivity() { ActivityInitialize("raise", 2, DIST_INSTANTANEOUS, POLICY_DEFAULT, 1, 2, false); }
    bool Enabled() override {
      PreviousEnabledFlag = EnabledFlag;
      EnabledFlag = *shared_Mark >= threshold && *flag_Mark == 0;
      return EnabledFlag;
    }
    double Weight() override { return 1; }
    double Rate() override { return 0; }
    double SampleDistribution() override { return 0; }
    double* ReturnDistributionParameters() override { return nullptr; }
    void Fire() override { *flag_Mark = 1; }
    int Rank() override { return 1; }
    void LinkVariables() override {
      shared->registerAlias(&shared_Mark);
      flag->registerAlias(&flag_Mark);
    }
  };

  incActivity inc;
  resetActivity reset;
  raiseActivity raise;
  Place* local = nullptr;
  Place* shared = nullptr;
  Place* flag = nullptr;

  explicit FlagSAN(short localInit = 0, short sharedInit = 0) {
    local = new Place("local", localInit);
    shared = new Place("shared", sharedInit);
    flag = new Place("flag", 0);
    BaseStateVariableClass* places[] = {local, shared, flag};
    Activity* activities[] = {&inc, &reset, &raise};
    BaseGroupClass* groups[] = {&inc, &reset, &raise};
    initializeSANModelNow("flag", 3, places, 0, nullptr, 3, activities, 3, groups);

    inc.local = local;
    inc.shared = shared;
    reset.local = local;
    reset.flag = flag;
    raise.shared = shared;
    raise.flag = flag;

    AddAffectArc(local, &inc);
    AddAffectArc(shared, &inc);
    AddAffectArc(local, &reset);
    AddAffectArc(flag, &reset);
    AddAffectArc(flag, &raise);
    AddEnableArc(local, &inc);
    AddEnableArc(flag, &reset);
    AddEnableArc(shared, &raise);
    AddEnableArc(flag, &raise);

    inc.LinkVariables();
    reset.LinkVariables();
    raise.LinkVariables();
  }
  ~FlagSAN() override {
    for (int i = 0; i < getNumPlaces(); i++) delete Places[i];
  }
};

inline const char* const PairRep_SharedNames[] = {"shared"};

class PairRep : public Rep {
 public:
  std::vector<PairSAN*> copies;
  Place* sharedPlace = nullptr;

  explicit PairRep(int n, short localInit = 0, short sharedInit = 0) : Rep("rep", n, 1, PairRep_SharedNames) {
    for (int i = 0; i < n; i++) {
      copies.push_back(new PairSAN(localInit, sharedInit));
      Children[i] = copies.back();
    }
    SetupActions();
    if (n == 0) return;
    if (AllChildrenEmpty()) {
      NumSharedStateVariables = 0;
    } else {
      sharedPlace = new Place("shared");
      addSharedPtr(sharedPlace, "shared");
      sharedPlace->ShareWith(copies[0]->shared);
      for (int i = 0; i < n; i++) addSharingInfo(copies[i]->shared, sharedPlace, nullptr);
      for (int i = 1; i < n; i++) copies[0]->shared->ShareWith(copies[i]->shared);
    }
    Setup("B");
  }
  ~PairRep() override {
    delete sharedPlace;
    for (PairSAN* c : copies) delete c;
  }
};

inline const char* const PairJoin_SharedNames[] = {"shared"};

class PairJoin : public Join {
 public:
  PairSAN* A = nullptr;
  PairRep* rep = nullptr;
  Place* sharedPlace = nullptr;

  // The Join's shared place takes A's marking, then the Rep's (the Rep's
  // place is the stored one when the second sharing is made).
  PairJoin(int n, bool shareAtJoin, short aLocal = 0, short aShared = 0, short bLocal = 0, short bShared = 0)
      : Join("join", 2, shareAtJoin ? 1 : 0, PairJoin_SharedNames) {
    A = new PairSAN(aLocal, aShared);
    Children[0] = A;
    A->DefineName("A");
    rep = new PairRep(n, bLocal, bShared);
    Children[1] = rep;
    rep->DefineName("rep");
    SetupActions();
    if (AllChildrenEmpty()) {
      NumSharedStateVariables = 0;
    } else if (shareAtJoin) {
      sharedPlace = new Place("shared");
      addSharedPtr(sharedPlace, "shared");
      if (A->getNumStateVariables() >= 1) {
        sharedPlace->ShareWith(A->shared);
        addSharingInfo(A->shared, sharedPlace, A);
      }
      if (rep->getNumStateVariables() >= 1) {
        sharedPlace->ShareWith(rep->sharedPlace);
        addSharingInfo(rep->sharedPlace, sharedPlace, rep);
      }
    }
    Setup();
  }
  ~PairJoin() override {
    delete sharedPlace;
    delete A;
    delete rep;
  }
};

}  // namespace testmodels

#endif
