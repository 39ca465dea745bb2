// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#ifndef REDUNDANT_CONTROLLER_FLASH_SYSTEMSAN_H
#define REDUNDANT_CONTROLLER_FLASH_SYSTEMSAN_H

#include <memory>

#include "Activity.h"
#include "Place.h"
#include "PostselectGroup.h"
#include "SANModel.h"

// Atomic model "redundant_controller_flash_system".
//
// State variables: 0 devices_available, 1 replicas_available, 2 flash_corrupted
// Activities:      0 seu_case1, 1 seu_case2, 2 sefi, 3 power_cycle
// Groups:          0 seuGroup, 1 sefi, 2 power_cycle
class redundant_controller_flash_systemSAN : public SANModel {
 public:
  // seu_case1: exponential.
  class seuActivity_case1 : public Activity {
   public:
    ::Place* Place0 = nullptr;  // replicas_available
    short* Mark0 = nullptr;
    std::unique_ptr<double[]> Parameters;

    seuActivity_case1();
    ~seuActivity_case1() override;
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

  // seu_case2: exponential.
  class seuActivity_case2 : public Activity {
   public:
    ::Place* Place0 = nullptr;  // replicas_available
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // devices_available
    short* Mark1 = nullptr;
    ::Place* Place2 = nullptr;  // flash_corrupted
    short* Mark2 = nullptr;
    std::unique_ptr<double[]> Parameters;

    seuActivity_case2();
    ~seuActivity_case2() override;
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

  // sefi: exponential.
  class sefiActivity : public Activity {
   public:
    ::Place* Place0 = nullptr;  // replicas_available
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // devices_available
    short* Mark1 = nullptr;
    ::Place* Place2 = nullptr;  // flash_corrupted
    short* Mark2 = nullptr;
    std::unique_ptr<double[]> Parameters;

    sefiActivity();
    ~sefiActivity() override;
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

  // power_cycle: deterministic.
  class power_cycleActivity : public Activity {
   public:
    ::Place* Place0 = nullptr;  // replicas_available
    short* Mark0 = nullptr;
    ::Place* Place1 = nullptr;  // devices_available
    short* Mark1 = nullptr;
    ::Place* Place2 = nullptr;  // flash_corrupted
    short* Mark2 = nullptr;
    std::unique_ptr<double[]> Parameters;

    power_cycleActivity();
    ~power_cycleActivity() override;
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

  // State variables (owned; created by the constructor, released by the destructor).
  ::Place* devices_available = nullptr;
  ::Place* replicas_available = nullptr;
  ::Place* flash_corrupted = nullptr;

  // Activities, in activity order.
  seuActivity_case1 seu_case1;
  seuActivity_case2 seu_case2;
  sefiActivity sefi;
  power_cycleActivity power_cycle;

  // Case groups.
  ::PostselectGroup seuGroup;

  redundant_controller_flash_systemSAN();
  ~redundant_controller_flash_systemSAN() override;

  void CustomInitialization();
  void assignPlacesToActivitiesInst();
  void assignPlacesToActivitiesTimed();
};

#endif
