// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef RAM_SYSTEMSAN_H
#define RAM_SYSTEMSAN_H

#include <memory>

#include "Activity.h"
#include "Place.h"
#include "PostselectGroup.h"
#include "SANModel.h"

// Atomic model "ram_system".
//
// State variables: 0 flash_corrupted, 1 ram_working, 2 ram_corrupted, 3 system_failed
// Activities:      0 failure, 1 watchdog_reboot, 2 random_failure, 3 bit_error_case1, 4 bit_error_case2, 5 page_error_case1, 6 page_error_case2
// Groups:          0 watchdog_reboot, 1 random_failure, 2 bit_errorGroup, 3 page_errorGroup, 4 failure
class ram_systemSAN : public SANModel {
 public:
  // failure: instantaneous.
  class failureActivity : public Activity {
   public:
    ::Place* Place0 = nullptr;  // flash_corrupted
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // ram_corrupted
    short* Mark1 = nullptr;
    ::Place* Place2 = nullptr;  // system_failed
    short* Mark2 = nullptr;

    failureActivity();
    ~failureActivity() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
  };

  // watchdog_reboot: deterministic.
  class watchdog_rebootActivity : public Activity {
   public:
    ::Place* Place0 = nullptr;  // ram_corrupted
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // ram_working
    short* Mark1 = nullptr;
    std::unique_ptr<double[]> Parameters;

    watchdog_rebootActivity();
    ~watchdog_rebootActivity() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
    double DeterministicParamValue();
  };

  // random_failure: exponential.
  class random_failureActivity : public Activity {
   public:
    ::Place* Place0 = nullptr;  // ram_corrupted
    short* Mark0 = nullptr;
    std::unique_ptr<double[]> Parameters;

    random_failureActivity();
    ~random_failureActivity() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
  };

  // bit_error_case1: exponential.
  class bit_errorActivity_case1 : public Activity {
   public:
    ::Place* Place0 = nullptr;  // ram_working
    short* Mark0 = nullptr;
    std::unique_ptr<double[]> Parameters;

    bit_errorActivity_case1();
    ~bit_errorActivity_case1() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
  };

  // bit_error_case2: exponential.
  class bit_errorActivity_case2 : public Activity {
   public:
    ::Place* Place0 = nullptr;  // ram_working
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // ram_corrupted
    short* Mark1 = nullptr;
    std::unique_ptr<double[]> Parameters;

    bit_errorActivity_case2();
    ~bit_errorActivity_case2() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
  };

  // page_error_case1: exponential.
  class page_errorActivity_case1 : public Activity {
   public:
    ::Place* Place0 = nullptr;  // ram_working
    short* Mark0 = nullptr;
    std::unique_ptr<double[]> Parameters;

    page_errorActivity_case1();
    ~page_errorActivity_case1() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
  };

  // page_error_case2: exponential.
  class page_errorActivity_case2 : public Activity {
   public:
    ::Place* Place0 = nullptr;  // ram_working
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // ram_corrupted
    short* Mark1 = nullptr;
    std::unique_ptr<double[]> Parameters;

    page_errorActivity_case2();
    ~page_errorActivity_case2() override;
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    void Fire() override;
    int Rank() override;
    void LinkVariables() override;
  };

  // State variables (owned; created by the constructor, released by the destructor).
  ::Place* flash_corrupted = nullptr;
  ::Place* ram_working = nullptr;
  ::Place* ram_corrupted = nullptr;
  ::Place* system_failed = nullptr;

  // Activities, in activity order.
  failureActivity failure;
  watchdog_rebootActivity watchdog_reboot;
  random_failureActivity random_failure;
  bit_errorActivity_case1 bit_error_case1;
  bit_errorActivity_case2 bit_error_case2;
  page_errorActivity_case1 page_error_case1;
  page_errorActivity_case2 page_error_case2;

  // Case groups.
  ::PostselectGroup bit_errorGroup;
  ::PostselectGroup page_errorGroup;

  ram_systemSAN();
  ~ram_systemSAN() override;

  void CustomInitialization();
  void assignPlacesToActivitiesInst();
  void assignPlacesToActivitiesTimed();
};

#endif
