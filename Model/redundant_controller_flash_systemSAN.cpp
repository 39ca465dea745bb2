// Generated from redundant_controller_flash.toml; edit the model file, not this unit.
#include "redundant_controller_flash_systemSAN.h"

#include <string>

#include "Distributions.h"
#include "ModelFault.h"
#include "redundant_controller_flash_studyRangeStudy.h"

// Markings are 16-bit: a change computed in int is converted back, which
// wraps modulo 2^16.

// ---------------------------------------------------------------------------
// seu_case1 (exponential)

redundant_controller_flash_systemSAN::seuActivity_case1::seuActivity_case1() : Parameters(new double[1]) {
  ActivityInitialize("seu_case1", 0, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 1, 1, false);
}
redundant_controller_flash_systemSAN::seuActivity_case1::~seuActivity_case1() = default;

bool redundant_controller_flash_systemSAN::seuActivity_case1::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& replicas_available = *this->Mark0;
  this->EnabledFlag = (
#line 118 "models/redundant_controller_flash.toml"
           replicas_available > 0
#line 28 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double redundant_controller_flash_systemSAN::seuActivity_case1::Weight() {
  short& replicas_available = *this->Mark0;
  using ::model_globals::flash_size;
  return (
#line 123 "models/redundant_controller_flash.toml"
          1 - replicas_available * flash_size * 0.001953125f
#line 38 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
double redundant_controller_flash_systemSAN::seuActivity_case1::Rate() {
  return (
#line 117 "models/redundant_controller_flash.toml"
        1.5e-16
#line 45 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
bool redundant_controller_flash_systemSAN::seuActivity_case1::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::seuActivity_case1::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::seuActivity_case1::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* redundant_controller_flash_systemSAN::seuActivity_case1::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::seuActivity_case1::Fire() {
  short& replicas_available = *this->Mark0;
#line 124 "models/redundant_controller_flash.toml"
          replicas_available--; replicas_available++;
#line 65 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'seu' (case 1) of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, ::kNoUpperBound);
}
int redundant_controller_flash_systemSAN::seuActivity_case1::Rank() { return 1; }
void redundant_controller_flash_systemSAN::seuActivity_case1::LinkVariables() {
  Place0->registerAlias(&Mark0);
}

// ---------------------------------------------------------------------------
// seu_case2 (exponential)

redundant_controller_flash_systemSAN::seuActivity_case2::seuActivity_case2() : Parameters(new double[1]) {
  ActivityInitialize("seu_case2", 0, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 3, 1, false);
}
redundant_controller_flash_systemSAN::seuActivity_case2::~seuActivity_case2() = default;

bool redundant_controller_flash_systemSAN::seuActivity_case2::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& replicas_available = *this->Mark0;
  this->EnabledFlag = (
#line 118 "models/redundant_controller_flash.toml"
           replicas_available > 0
#line 88 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double redundant_controller_flash_systemSAN::seuActivity_case2::Weight() {
  short& replicas_available = *this->Mark0;
  using ::model_globals::flash_size;
  return (
#line 129 "models/redundant_controller_flash.toml"
          replicas_available * flash_size * 0.001953125f
#line 98 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
double redundant_controller_flash_systemSAN::seuActivity_case2::Rate() {
  return (
#line 117 "models/redundant_controller_flash.toml"
        1.5e-16
#line 105 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
bool redundant_controller_flash_systemSAN::seuActivity_case2::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::seuActivity_case2::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::seuActivity_case2::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* redundant_controller_flash_systemSAN::seuActivity_case2::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::seuActivity_case2::Fire() {
  short& replicas_available = *this->Mark0;
  short& devices_available = *this->Mark1;
  short& flash_corrupted = *this->Mark2;
#line 131 "models/redundant_controller_flash.toml"
replicas_available--;
if (replicas_available == 0) {
  devices_available--;
  if (devices_available == 0) flash_corrupted = 1;
}
#line 131 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'seu' (case 2) of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, ::kNoUpperBound);
  if (const int v = *this->Mark2; v < 0)
    ::markingOutOfBounds("activity 'seu' (case 2) of atomic model 'redundant_controller_flash_system'", "flash_corrupted", v, 0, ::kNoUpperBound);
}
int redundant_controller_flash_systemSAN::seuActivity_case2::Rank() { return 1; }
void redundant_controller_flash_systemSAN::seuActivity_case2::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
  Place2->registerAlias(&Mark2);
}

// ---------------------------------------------------------------------------
// sefi (exponential)

redundant_controller_flash_systemSAN::sefiActivity::sefiActivity() : Parameters(new double[1]) {
  ActivityInitialize("sefi", 1, ::DIST_EXPONENTIAL, ::POLICY_DEFAULT, 3, 1, false);
}
redundant_controller_flash_systemSAN::sefiActivity::~sefiActivity() = default;

bool redundant_controller_flash_systemSAN::sefiActivity::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& replicas_available = *this->Mark0;
  this->EnabledFlag = (
#line 143 "models/redundant_controller_flash.toml"
           replicas_available > 0
#line 158 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double redundant_controller_flash_systemSAN::sefiActivity::Weight() {
  return (1);
}
double redundant_controller_flash_systemSAN::sefiActivity::Rate() {
  return (
#line 142 "models/redundant_controller_flash.toml"
        0.00274
#line 169 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
bool redundant_controller_flash_systemSAN::sefiActivity::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::sefiActivity::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::sefiActivity::SampleDistribution() {
  return ::TheDistribution->Exponential(Rate());
}
double* redundant_controller_flash_systemSAN::sefiActivity::ReturnDistributionParameters() {
  Parameters[0] = Rate();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::sefiActivity::Fire() {
  short& replicas_available = *this->Mark0;
  short& devices_available = *this->Mark1;
  short& flash_corrupted = *this->Mark2;
#line 145 "models/redundant_controller_flash.toml"
replicas_available = 0;
devices_available--;
if (devices_available == 0) flash_corrupted = 1;
#line 193 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'sefi' of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, ::kNoUpperBound);
  if (const int v = *this->Mark2; v < 0)
    ::markingOutOfBounds("activity 'sefi' of atomic model 'redundant_controller_flash_system'", "flash_corrupted", v, 0, ::kNoUpperBound);
}
int redundant_controller_flash_systemSAN::sefiActivity::Rank() { return 1; }
void redundant_controller_flash_systemSAN::sefiActivity::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
  Place2->registerAlias(&Mark2);
}

// ---------------------------------------------------------------------------
// power_cycle (deterministic)

redundant_controller_flash_systemSAN::power_cycleActivity::power_cycleActivity() : Parameters(new double[1]) {
  ActivityInitialize("power_cycle", 2, ::DIST_DETERMINISTIC, ::POLICY_DEFAULT, 3, 1, false);
}
redundant_controller_flash_systemSAN::power_cycleActivity::~power_cycleActivity() = default;

bool redundant_controller_flash_systemSAN::power_cycleActivity::Enabled() {
  this->PreviousEnabledFlag = this->EnabledFlag;
  short& replicas_available = *this->Mark0;
  using ::model_globals::num_replicas;
  this->EnabledFlag = (
#line 158 "models/redundant_controller_flash.toml"
           replicas_available < num_replicas
#line 221 "Model/redundant_controller_flash_systemSAN.cpp"
  );
  return this->EnabledFlag;
}
double redundant_controller_flash_systemSAN::power_cycleActivity::Weight() {
  return (1);
}
double redundant_controller_flash_systemSAN::power_cycleActivity::Rate() {
  return 0;
}
bool redundant_controller_flash_systemSAN::power_cycleActivity::ReactivationPredicate() {
  return (false);
}
bool redundant_controller_flash_systemSAN::power_cycleActivity::ReactivationFunction() {
  return (false);
}
double redundant_controller_flash_systemSAN::power_cycleActivity::SampleDistribution() {
  using ::model_globals::power_cycle_rate;
  return (
#line 157 "models/redundant_controller_flash.toml"
         power_cycle_rate
#line 242 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}
double* redundant_controller_flash_systemSAN::power_cycleActivity::ReturnDistributionParameters() {
  Parameters[0] = DeterministicParamValue();
  return Parameters.get();
}
void redundant_controller_flash_systemSAN::power_cycleActivity::Fire() {
  short& replicas_available = *this->Mark0;
  short& devices_available = *this->Mark1;
  short& flash_corrupted = *this->Mark2;
  using ::model_globals::num_replicas;
#line 159 "models/redundant_controller_flash.toml"
          replicas_available = num_replicas; devices_available++; flash_corrupted = 0;
#line 256 "Model/redundant_controller_flash_systemSAN.cpp"
  if (const int v = *this->Mark0; v < 0)
    ::markingOutOfBounds("activity 'power_cycle' of atomic model 'redundant_controller_flash_system'", "replicas_available", v, 0, ::kNoUpperBound);
  if (const int v = *this->Mark2; v < 0)
    ::markingOutOfBounds("activity 'power_cycle' of atomic model 'redundant_controller_flash_system'", "flash_corrupted", v, 0, ::kNoUpperBound);
}
int redundant_controller_flash_systemSAN::power_cycleActivity::Rank() { return 1; }
void redundant_controller_flash_systemSAN::power_cycleActivity::LinkVariables() {
  Place0->registerAlias(&Mark0);
  Place1->registerAlias(&Mark1);
  Place2->registerAlias(&Mark2);
}
double redundant_controller_flash_systemSAN::power_cycleActivity::DeterministicParamValue() {
  using ::model_globals::power_cycle_rate;
  return (
#line 157 "models/redundant_controller_flash.toml"
         power_cycle_rate
#line 273 "Model/redundant_controller_flash_systemSAN.cpp"
  );
}

// ---------------------------------------------------------------------------
// The model

redundant_controller_flash_systemSAN::redundant_controller_flash_systemSAN() {
  // Case groups, case 1 first.
  this->seuGroup.initialize(2, "seuGroup");
  this->seuGroup.appendGroup(&this->seu_case1);
  this->seuGroup.appendGroup(&this->seu_case2);

  // State variables, with their initial markings (global variables as they stand now).
  this->devices_available = new ::Place("devices_available", static_cast<short>(::model_globals::num_devices));
  this->replicas_available = new ::Place("replicas_available", static_cast<short>(::model_globals::num_replicas));
  this->flash_corrupted = new ::Place("flash_corrupted", static_cast<short>(0));
  ::checkInitialMarking("atomic model 'redundant_controller_flash_system'", "replicas_available", *this->replicas_available->Mark, 0, ::kNoUpperBound);

  ::BaseStateVariableClass* places[] = {this->devices_available, this->replicas_available, this->flash_corrupted};
  ::Activity* activities[] = {&this->seu_case1, &this->seu_case2, &this->sefi, &this->power_cycle};
  ::BaseGroupClass* groups[] = {&this->seuGroup, &this->sefi, &this->power_cycle};
  SANModel::initializeSANModelNow("redundant_controller_flash_system", 3, places, 0, nullptr, 4, activities, 3, groups);

  redundant_controller_flash_systemSAN::assignPlacesToActivitiesInst();
  redundant_controller_flash_systemSAN::assignPlacesToActivitiesTimed();

  // Arcs, in registration order.
  SANModel::AddAffectArc(this->replicas_available, &this->seu_case1);
  SANModel::AddAffectArc(this->replicas_available, &this->seu_case2);
  SANModel::AddAffectArc(this->devices_available, &this->seu_case2);
  SANModel::AddAffectArc(this->flash_corrupted, &this->seu_case2);
  SANModel::AddAffectArc(this->replicas_available, &this->sefi);
  SANModel::AddAffectArc(this->devices_available, &this->sefi);
  SANModel::AddAffectArc(this->flash_corrupted, &this->sefi);
  SANModel::AddAffectArc(this->replicas_available, &this->power_cycle);
  SANModel::AddAffectArc(this->devices_available, &this->power_cycle);
  SANModel::AddAffectArc(this->flash_corrupted, &this->power_cycle);
  SANModel::AddEnableArc(this->replicas_available, &this->seu_case1);
  SANModel::AddEnableArc(this->replicas_available, &this->seu_case2);
  SANModel::AddEnableArc(this->replicas_available, &this->sefi);
  SANModel::AddEnableArc(this->replicas_available, &this->power_cycle);

  for (::Activity* activity : activities) activity->LinkVariables();
}

redundant_controller_flash_systemSAN::~redundant_controller_flash_systemSAN() {
  for (int i = 0; i < 3; i++) delete SANModel::Places[i];
}

void redundant_controller_flash_systemSAN::CustomInitialization() {}

// Sets the place pointers of the instantaneous activities from the Places array.
void redundant_controller_flash_systemSAN::assignPlacesToActivitiesInst() {
}

// Sets the place pointers of the timed activities from the Places array.
void redundant_controller_flash_systemSAN::assignPlacesToActivitiesTimed() {
  this->seu_case1.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->seu_case2.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->seu_case2.Place1 = static_cast<::Place*>(SANModel::Places[0]);
  this->seu_case2.Place2 = static_cast<::Place*>(SANModel::Places[2]);
  this->sefi.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->sefi.Place1 = static_cast<::Place*>(SANModel::Places[0]);
  this->sefi.Place2 = static_cast<::Place*>(SANModel::Places[2]);
  this->power_cycle.Place0 = static_cast<::Place*>(SANModel::Places[1]);
  this->power_cycle.Place1 = static_cast<::Place*>(SANModel::Places[0]);
  this->power_cycle.Place2 = static_cast<::Place*>(SANModel::Places[2]);
}
